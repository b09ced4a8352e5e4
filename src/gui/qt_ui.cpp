#include "gui/qt_ui.h"

#include "gui/caixas.h"
#include "gui/tfrm_menu_edi.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>
#include <chrono>
#include <thread>

namespace edi::gui {

namespace {
QString qt(const std::string& text) {
    return QString::fromStdString(text);
}
} // namespace

void QtUi::setPanelText(int panel, const std::string& text) {
    // The panels have fixed widths: a long text is cut there, and read whole on hovering it.
    QLabel* painel = janela_.textoDoPainel(panel);
    painel->setText(qt(text));
    painel->setToolTip(painel->text());
}

void QtUi::setStageText(const std::string& text) {
    setPanelText(1, text);
}

void QtUi::setMessage(const std::string& text) {
    message_ = text;
    setPanelText(2, text);
}

void QtUi::setUnitText(const std::string& text) {
    setPanelText(3, text);
}

void QtUi::setActive(bool active) {
    janela_.setAtivo(active);
}

void QtUi::setProgressMax(int max) {
    max_ = std::max(max, 0);
    // A bar whose range is 0..0 would show Qt's "busy" animation; an empty bar is what is meant.
    janela_.pbGeral->setRange(0, std::max(max_, 1));
    setProgressPosition(progressPosition());
}

void QtUi::setProgressPosition(int position) {
    // Like a native progress bar, the position stays inside 0..max.
    janela_.pbGeral->setValue(std::clamp(position, 0, max_));
}

int QtUi::progressPosition() const {
    return janela_.pbGeral->value();
}

void QtUi::pumpEvents() {
    QCoreApplication::processEvents();
}

void QtUi::repaint() {
    janela_.repaint();
}

void QtUi::pause(int milliseconds) {
    if (milliseconds > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void QtUi::showWarning(const std::string& caption, const std::string& text) {
    caixaModal(&janela_, QMessageBox::Warning, qt(caption), qt(text), QMessageBox::Ok);
}

void QtUi::showError(const std::string& text) {
    mostraErro(&janela_, text);
}

void QtUi::showInformation(const std::string& text) {
    caixaModal(&janela_, QMessageBox::Information, QStringLiteral("Informação"), qt(text), QMessageBox::Ok);
}

bool QtUi::askYesNo(const std::string& caption, const std::string& text) {
    return caixaModal(&janela_, QMessageBox::Question, qt(caption), qt(text), QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

} // namespace edi::gui

#include "gui/tfrm_log_sql.h"

#include "app/log_sql.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace edi::gui {

TfrmLogSQL::TfrmLogSQL(ListaLogSQL& LogSQL, QWidget* parent) : QWidget(parent, Qt::Window), LogSQL_(LogSQL) {
    setObjectName(QStringLiteral("frmLogSQL"));
    setWindowTitle(QStringLiteral("Log SQL"));
    resize(720, 480);

    mmLog = new QPlainTextEdit(this);
    mmLog->setObjectName(QStringLiteral("mmLog"));
    mmLog->setReadOnly(true);
    mmLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    pnBaixo = new QWidget(this);
    btLimpar = new QPushButton(QStringLiteral("Limpar"), pnBaixo);
    btLimpar->setObjectName(QStringLiteral("btLimpar"));
    auto* barra = new QHBoxLayout(pnBaixo);
    barra->setContentsMargins(6, 6, 6, 6);
    barra->addStretch(1);
    barra->addWidget(btLimpar);

    auto* tudo = new QVBoxLayout(this);
    tudo->setContentsMargins(0, 0, 0, 0);
    tudo->setSpacing(0);
    tudo->addWidget(mmLog, 1);
    tudo->addWidget(pnBaixo);

    connect(btLimpar, &QPushButton::clicked, this, [this] { btLimparClick(); });
    observador_ = LogSQL_.Observa([this](const std::string* linha) { ouve(linha); });
}

TfrmLogSQL::~TfrmLogSQL() {
    LogSQL_.Esquece(observador_);
}

void TfrmLogSQL::btLimparClick() {
    LogSQL_.Clear();
    mmLog->clear();
}

void TfrmLogSQL::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (desatualizado_)
        recarrega();
}

void TfrmLogSQL::recarrega() {
    QStringList linhas;
    for (const auto& linha : LogSQL_.Linhas())
        linhas << QString::fromStdString(linha);
    mmLog->setPlainText(linhas.join(QLatin1Char('\n')));
    mmLog->moveCursor(QTextCursor::End);
    desatualizado_ = false;
}

void TfrmLogSQL::ouve(const std::string* linha) {
    if (QThread::currentThread() != thread()) {
        // Another thread's statement: the memo belongs to this window's thread.
        QMetaObject::invokeMethod(
            this,
            [this] {
                desatualizado_ = true;
                if (isVisible())
                    recarrega();
            },
            Qt::QueuedConnection);
        return;
    }
    if (!isVisible()) {
        desatualizado_ = true;
        return;
    }
    if (!linha)
        mmLog->clear();
    else if (mmLog->blockCount() > static_cast<int>(2 * ListaLogSQL::kLinhasMaximas))
        recarrega(); // the list dropped its oldest lines long ago; so does the memo
    else
        mmLog->appendPlainText(QString::fromStdString(*linha));
}

} // namespace edi::gui

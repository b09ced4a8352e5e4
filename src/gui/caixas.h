#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>
#include <string>

namespace edi::tools {
struct TextosDoErro;
}

namespace edi::gui {

// A modal message box over `pai`; returns the button pressed.
QMessageBox::StandardButton caixaModal(QWidget* pai, QMessageBox::Icon icone, const QString& titulo,
                                       const QString& texto, QMessageBox::StandardButtons botoes);

// Whether one of the boxes below is open: a timer run waits for it to close, so boxes never pile up.
bool caixaAberta();

// Loads Qt's own Portuguese texts (buttons, file dialog) into the application; false when they are missing.
bool instalaTextosDoQt();

// Marks a window that lives beside the main one (log, report viewer): left open, it does not keep the
// program running once the main window is closed.
void janelaAuxiliar(QWidget& janela);

// The error box every window uses for a failure it cannot handle itself.
void mostraErro(QWidget* pai, const std::string& texto);

// Runs an operation started by a click or a tick: a silent abort ends it quietly, any other failure goes to
// the error reporter (log, mail, dialog). Nothing may escape into the event loop.
void executaProtegido(QWidget* pai, const std::function<void()>& operacao);

// The error reporter's dialog, "Application Error", over `pai`: the message first, the technical report under
// the details button. One at a time: errors that come while it is open are counted in it and their reports
// added to its details (the log may already have gone by mail), so an unattended unit does not pile up windows.
void mostraErroDaAplicacao(QWidget* pai, const tools::TextosDoErro& textos);
// That dialog as the way the process's error reporter shows errors.
std::function<void(const tools::TextosDoErro&)> dialogoDeErros(QWidget* pai);

} // namespace edi::gui

#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>
#include <string>

namespace edi::gui {

// A modal message box over `pai`; returns the button pressed.
QMessageBox::StandardButton caixaModal(QWidget* pai, QMessageBox::Icon icone, const QString& titulo,
                                       const QString& texto, QMessageBox::StandardButtons botoes);

// The error box every window uses for a failure it cannot handle itself.
void mostraErro(QWidget* pai, const std::string& texto);

// Runs an operation started by a click or a tick: a silent abort ends it quietly, any other failure is
// shown in an error box. Nothing may escape into the event loop.
void executaProtegido(QWidget* pai, const std::function<void()>& operacao);

} // namespace edi::gui

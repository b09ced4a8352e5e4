#include "gui/caixas.h"

#include "core/errors.h"

namespace edi::gui {

QMessageBox::StandardButton caixaModal(QWidget* pai, QMessageBox::Icon icone, const QString& titulo,
                                       const QString& texto, QMessageBox::StandardButtons botoes) {
    QMessageBox caixa(icone, titulo, texto, botoes, pai);
    caixa.setWindowModality(Qt::ApplicationModal);
    return static_cast<QMessageBox::StandardButton>(caixa.exec());
}

void mostraErro(QWidget* pai, const std::string& texto) {
    caixaModal(pai, QMessageBox::Critical, QStringLiteral("Erro"), QString::fromStdString(texto), QMessageBox::Ok);
}

void executaProtegido(QWidget* pai, const std::function<void()>& operacao) {
    try {
        operacao();
    } catch (const Abort&) {
        // Whoever aborted has already said what it had to say.
    } catch (const std::exception& e) {
        mostraErro(pai, e.what());
    } catch (...) {
        mostraErro(pai, "Erro desconhecido");
    }
}

} // namespace edi::gui

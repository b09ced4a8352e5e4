#include "gui/caixas.h"

#include "core/errors.h"
#include "tools/error_reporter.h"

#include <QPointer>

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

void executaProtegido(QWidget* /*pai: the dialog belongs to the window the reporter was given*/,
                      const std::function<void()>& operacao) {
    try {
        operacao();
    } catch (const Abort&) {
        // Whoever aborted has already said what it had to say.
    } catch (...) {
        tools::ErrorReporter().HandleException(std::current_exception());
    }
}

namespace {

QPointer<QMessageBox> gDialogoAberto;
int gErrosSeguintes = 0;

QString textoDosSeguintes(int n) {
    return n == 1 ? QStringLiteral("Mais 1 erro ocorreu com esta janela aberta; está no registro de erros.")
                  : QStringLiteral("Mais %1 erros ocorreram com esta janela aberta; estão no registro de erros.").arg(n);
}

} // namespace

void mostraErroDaAplicacao(QWidget* pai, const tools::TextosDoErro& textos) {
    if (gDialogoAberto) {
        gDialogoAberto->setInformativeText(textoDosSeguintes(++gErrosSeguintes));
        return;
    }
    QMessageBox caixa(QMessageBox::Critical, QString::fromStdString(textos.titulo),
                      QString::fromStdString(textos.texto), QMessageBox::Ok, pai);
    caixa.setWindowModality(Qt::ApplicationModal);
    caixa.setDetailedText(QString::fromStdString("Pilha de chamadas:\n" + textos.pilha));
    gDialogoAberto = &caixa;
    gErrosSeguintes = 0;
    caixa.exec();
    gDialogoAberto = nullptr;
    gErrosSeguintes = 0;
}

std::function<void(const tools::TextosDoErro&)> dialogoDeErros(QWidget* pai) {
    return [janela = QPointer<QWidget>(pai)](const tools::TextosDoErro& textos) {
        mostraErroDaAplicacao(janela, textos);
    };
}

} // namespace edi::gui

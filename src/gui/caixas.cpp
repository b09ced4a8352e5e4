#include "gui/caixas.h"

#include "core/errors.h"
#include "tools/error_reporter.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

namespace edi::gui {

namespace {

int gCaixasAbertas = 0;

// Runs a box's loop, counted as open for as long as it lasts.
int executaCaixa(QMessageBox& caixa) {
    ++gCaixasAbertas;
    struct Fecha {
        ~Fecha() { --gCaixasAbertas; }
    } fecha;
    return caixa.exec();
}

} // namespace

bool caixaAberta() {
    return gCaixasAbertas > 0;
}

bool instalaTextosDoQt() {
    auto* traducao = new QTranslator(QCoreApplication::instance());
    if (!traducao->load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete traducao;
        return false;
    }
    return QCoreApplication::installTranslator(traducao);
}

void janelaAuxiliar(QWidget& janela) {
    janela.setAttribute(Qt::WA_QuitOnClose, false);
}

QMessageBox::StandardButton caixaModal(QWidget* pai, QMessageBox::Icon icone, const QString& titulo,
                                       const QString& texto, QMessageBox::StandardButtons botoes) {
    QMessageBox caixa(icone, titulo, texto, botoes, pai);
    caixa.setWindowModality(Qt::ApplicationModal);
    return static_cast<QMessageBox::StandardButton>(executaCaixa(caixa));
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
    return n == 1 ? QStringLiteral("Mais 1 erro ocorreu com esta janela aberta; veja os detalhes.")
                  : QStringLiteral("Mais %1 erros ocorreram com esta janela aberta; veja os detalhes.").arg(n);
}

QString detalhes(const tools::TextosDoErro& textos) {
    return QString::fromStdString(textos.texto + "\n\nPilha de chamadas:\n" + textos.pilha);
}

} // namespace

void mostraErroDaAplicacao(QWidget* pai, const tools::TextosDoErro& textos) {
    if (gDialogoAberto) {
        gDialogoAberto->setInformativeText(textoDosSeguintes(++gErrosSeguintes));
        gDialogoAberto->setDetailedText(gDialogoAberto->detailedText() + QStringLiteral("\n\n") + detalhes(textos));
        return;
    }
    const std::string& mensagem = textos.mensagem.empty() ? textos.texto : textos.mensagem;
    QMessageBox caixa(QMessageBox::Critical, QString::fromStdString(textos.titulo), QString::fromStdString(mensagem),
                      QMessageBox::Ok, pai);
    caixa.setWindowModality(Qt::ApplicationModal);
    caixa.setDetailedText(detalhes(textos));
    gDialogoAberto = &caixa;
    gErrosSeguintes = 0;
    executaCaixa(caixa);
    gDialogoAberto = nullptr;
    gErrosSeguintes = 0;
}

std::function<void(const tools::TextosDoErro&)> dialogoDeErros(QWidget* pai) {
    return
        [janela = QPointer<QWidget>(pai)](const tools::TextosDoErro& textos) { mostraErroDaAplicacao(janela, textos); };
}

} // namespace edi::gui

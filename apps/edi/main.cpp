// edi: the desktop client. The main window runs the synchronization cycle when it first appears and
// then on its timer.
#include "gui/caixas.h"
#include "gui/janela_do_motor.h"
#include "gui/qt_ui.h"
#include "gui/tfrm_depara.h"
#include "gui/tfrm_estado.h"
#include "gui/tfrm_log_sql.h"
#include "gui/tfrm_menu_edi.h"
#include "gui/tfrm_relatorio_web.h"
#include "gui/tfrm_sql.h"
#include "platform/linha_de_comando.h"
#include "shell/programa.h"
#include "tools/new_dialog_filter.h"

#include <QApplication>
#include <QFileDialog>
#include <QSocketNotifier>

#include <csignal>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

constexpr const char* kAjuda =
    "Uso: edi [--home PASTA] [--relatorio ARQUIVO] [OPÇÃO-QT...]\n"
    "O programa de mesa do EDI: a janela principal faz o ciclo de sincronização ao abrir e depois a cada\n"
    "\"Tempo\" minutos do jaq.ini (exportar, enviar, receber, importar e atualizar a aplicação).\n"
    "\n"
    "Opções:\n"
    "      --home PASTA  pasta do programa: o jaq.ini e as pastas EDI/IN, EDI/OUT, EDI/PROT e Temp\n"
    "                    (sem ela, a variável de ambiente EDI_HOME; sem esta, a pasta do executável)\n"
    "      --relatorio ARQUIVO\n"
    "                    abre também a página HTML ARQUIVO (um resumo de protocolos, qualquer relatório)\n"
    "                    no visualizador de relatórios, que a exporta para uma planilha; o menu da janela\n"
    "                    principal abre outros com \"Relatório...\"\n"
    "  -h, --help        mostra esta ajuda e sai (não precisa de tela)\n"
    "      --version     mostra a versão e sai (não precisa de tela)\n"
    "\n"
    "As opções do Qt de um só traço, como -platform offscreen, também são aceites.\n"
    "Situação de saída: 0 ao sair pelo menu ou com SIGTERM, 1 quando a ligação à base de dados falhou,\n"
    "2 quando a linha de comando está errada.\n";

int erroDeUso(const std::string& texto) {
    return edi::platform::erroDeUso("edi", texto);
}

// Options of two dashes are ours and Qt's take one: a wrong one of ours is told before QApplication, which
// needs a display. The value of --home is checked after, with the arguments Qt leaves.
std::optional<std::string> opcaoDesconhecida(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--home" || a == "--relatorio")
            ++i;
        else if (a.starts_with("--"))
            return std::string(a);
    }
    return std::nullopt;
}

// SIGTERM and SIGINT are blocked in every thread (the database client's included, which inherit the mask)
// and read from a descriptor by the event loop: a request to stop ends the program like "Sair", and no
// handler interrupts the database client's own threads.
int bloqueiaSinaisDeSaida() {
    sigset_t sinais;
    sigemptyset(&sinais);
    sigaddset(&sinais, SIGTERM);
    sigaddset(&sinais, SIGINT);
    pthread_sigmask(SIG_BLOCK, &sinais, nullptr);
    return signalfd(-1, &sinais, SFD_NONBLOCK | SFD_CLOEXEC);
}

void atendePedidosDeSaida(int descritor, QObject* dono) {
    if (descritor < 0)
        return;
    auto* aviso = new QSocketNotifier(descritor, QSocketNotifier::Read, dono);
    QObject::connect(aviso, &QSocketNotifier::activated, [descritor] {
        signalfd_siginfo info{};
        while (read(descritor, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        }
        // exit, not quit: it also ends the loop of a modal box, even one shown before the main loop runs.
        QCoreApplication::exit(0);
    });
}

void mostraJanela(QWidget& janela) {
    janela.show();
    janela.raise();
    janela.activateWindow();
}

// "Salvar Imagem" of the report viewer: [Relatorio] SalvarImagem, relative to the program folder, else Temp.
std::filesystem::path arquivoDaImagem(edi::Programa& p) {
    if (p.config().relatorioImagem.empty())
        return p.geral().sPathTemp / "RelatorioGeralPrograma.xml";
    return p.geral().sPath / p.config().relatorioImagem;
}

} // namespace

int main(int argc, char** argv) {
    if (const auto respondido = edi::platform::respondeAjudaOuVersao(argc, argv, "edi", kAjuda))
        return *respondido;
    if (const auto opcao = opcaoDesconhecida(argc, argv))
        return erroDeUso("opção desconhecida: " + *opcao);
    if (const int relato = edi::tools::AtendeRelatoDeFalhaFatal(); relato >= 0)
        return relato;
    const int sinaisDeSaida = bloqueiaSinaisDeSaida();
    QApplication app(argc, argv);
    atendePedidosDeSaida(sinaisDeSaida, &app);
    edi::gui::instalaTextosDoQt();
    // Not the display name: that one would be appended to every window caption.
    QApplication::setApplicationName(QStringLiteral("EDI - Data Interchange"));

    std::string home;
    std::filesystem::path relatorioInicial;
    const QStringList argumentos = QApplication::arguments();
    for (qsizetype i = 1; i < argumentos.size(); ++i) {
        const QString& a = argumentos[i];
        if (a == QLatin1String("--home") && i + 1 < argumentos.size()) {
            home = argumentos[++i].toStdString();
        } else if (a == QLatin1String("--relatorio") && i + 1 < argumentos.size()) {
            relatorioInicial = std::filesystem::absolute(argumentos[++i].toStdString());
            if (!std::filesystem::is_regular_file(relatorioInicial))
                return erroDeUso("relatório não encontrado: " + relatorioInicial.string());
        } else {
            return erroDeUso("argumento desconhecido: " + a.toStdString());
        }
    }
    std::cout << edi::platform::linhaDeVersao("edi") << std::endl;

    edi::gui::TfrmMenuEDI janela;
    edi::gui::QtUi ui(janela);
    const std::filesystem::path pasta = edi::pastaDoPrograma(home, argv[0]);
    edi::tools::InstalaRelatorDeErros(pasta, edi::gui::dialogoDeErros(&janela));
    std::unique_ptr<edi::Programa> programa;
    try {
        programa = std::make_unique<edi::Programa>(pasta, ui);
    } catch (const std::exception& e) {
        // No connection, no cycle: say why and end.
        ui.showError(e.what());
        return 1;
    }

    // The engine's own window is created hidden, like every long-lived form; nothing shows it.
    edi::Programa& p = *programa;
    const edi::tools::FiltroDoPrograma filtroDeErros(p.config(), p.geral());
    edi::gui::JanelaDoMotor frmEDI({[&p] { p.engine().btExportarClick(); }, [&p] { p.engine().btImportarClick(); },
                                    [&p] { p.engine().btLimparDtExpClick(); }, [&p] { return p.engine().lbLog(); }});

    edi::gui::TfrmDePara frmDePara(p.config(), &janela);

    janela.ligaCiclo(p.ciclo(), [&p] { p.ExecucaoInicial(); });
    janela.ligaOperacao(janela.VersaoUnidades1, [&p] { p.GetVersaoUnidadesWeb(); });
    janela.ligaOperacao(janela.Teste1, [&p] { p.transporte().este1Click(); });
    janela.ligaOperacao(janela.DePara1, [&frmDePara] { frmDePara.exec(); });

    // The operator tools: the SQL log and the report viewer live as long as the program, a console per opening.
    edi::gui::TfrmLogSQL frmLogSQL(p.dm().LogSQL());
    edi::gui::TfrmRelatorioWEB frmRelatorioWEB(p.geral().sPathTemp, arquivoDaImagem(p));
    // Closing the main window ends the program, whatever else is open.
    edi::gui::janelaAuxiliar(frmLogSQL);
    edi::gui::janelaAuxiliar(frmRelatorioWEB);
    edi::gui::janelaAuxiliar(frmEDI);
    janela.ligaOperacao(janela.Log1, [&frmLogSQL] { mostraJanela(frmLogSQL); });
    // The state is read in a transaction of its own: the cycle's is left alone.
    auto leEstado = [&p] { return edi::leEstadoDoIntercambio(p.geral().sPath, p.config()); };
    edi::gui::TfrmEstado frmEstado(leEstado);
    edi::gui::janelaAuxiliar(frmEstado);
    janela.ligaOperacao(janela.Estado1, [&frmEstado] {
        frmEstado.atualiza();
        mostraJanela(frmEstado);
    });
    janela.ligaResumo([leEstado] { return edi::resumoDoEstado(leEstado()); });
    janela.ligaOperacao(janela.SQL1, [&p, &janela] {
        edi::gui::TfrmSQL frmSQL([&p](const std::string& url) { return p.transporte().Get(url); }, p.geral().sDominio,
                                 p.geral().sPathTemp, &janela);
        frmSQL.exec();
    });
    janela.ligaOperacao(janela.Relatorio1, [&p, &janela, &frmRelatorioWEB] {
        const QString arquivo = QFileDialog::getOpenFileName(
            &janela, QStringLiteral("Abrir relatório"), QString::fromStdString(p.geral().sPathProt.string()),
            QStringLiteral("Páginas HTML (*.html *.htm);;Todos os arquivos (*)"));
        if (arquivo.isEmpty())
            return;
        frmRelatorioWEB.Abre(arquivo.toStdString());
        mostraJanela(frmRelatorioWEB);
    });
    janela.show();
    if (!relatorioInicial.empty()) {
        frmRelatorioWEB.Abre(relatorioInicial);
        mostraJanela(frmRelatorioWEB);
    }
    return QApplication::exec();
}

#include "app/app_fixture.h"
#include "app/ciclo.h"
#include "app/configuracao.h"
#include "app/geral.h"
#include "core/errors.h"
#include "core/files.h"
#include "gui/caixas.h"
#include "gui/componentes.h"
#include "gui/janela_do_motor.h"
#include "gui/qt_ui.h"
#include "gui/tfrm_email.h"
#include "gui/tfrm_estado.h"
#include "gui/tfrm_menu_edi.h"
#include "interchange/estado_do_intercambio.h"
#include "support/smtp_conta.h"
#include "support/temp_dir.h"
#include "tools/new_dialog_filter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <stdexcept>

namespace edi {
namespace {

void salvaFoto(QWidget& janela, const QString& nome) {
    const QString pasta = qEnvironmentVariable("EDI_SCREENSHOT_DIR", QDir::tempPath());
    QVERIFY(QDir().mkpath(pasta));
    QVERIFY(janela.grab().save(pasta + "/" + nome));
}

const char* const kStatus = "select VALOR from PARAMETRO where CD_PARAMETRO = 29";

// A main window on a real cycle over a throwaway database; the stage bodies record that they ran.
struct Bancada {
    test::AppFixture base;
    gui::TfrmMenuEDI janela;
    gui::QtUi ui{janela};
    std::unique_ptr<CicloEDI> ciclo;
    QStringList etapas;
    bool online = true;
    std::function<void()> duranteExportar;
    std::function<void()> duranteImportar;

    test::TempDir pasta; // the program folder: the error log lives there

    Bancada() {
        tools::ErrorReporter().LogFile = pasta / "EDIMorvanix.log";
        tools::ErrorReporter().mostraErro = gui::dialogoDeErros(&janela);
        ciclo = std::make_unique<CicloEDI>(*base.dm, ui, corpos());
        ciclo->pausaMs = 5;
        ciclo->intervaloMs = 3600000;
        ciclo->estaNaInternet = [this] { return online; };
    }
    std::function<void()> corpo(const QString& nome, std::function<void()>* durante = nullptr) {
        return [this, nome, durante] {
            etapas << nome;
            if (durante && *durante)
                (*durante)();
        };
    }
    CorposDasEtapas corpos() {
        return {corpo("exportar", &duranteExportar),
                corpo("enviar"),
                corpo("versoes"),
                corpo("receber"),
                corpo("importar", &duranteImportar),
                corpo("aplicacao"),
                corpo("protocolos"),
                corpo("limpaMarcas"),
                corpo("reimportar"),
                {}, // the census stages run empty here
                {}};
    }
    // Wires the cycle without a start-up run and shows the window.
    void mostra(std::function<void()> FormShow = {}) {
        janela.ligaCiclo(*ciclo, std::move(FormShow));
        janela.show();
        QVERIFY(QTest::qWaitForWindowExposed(&janela));
    }
    QColor corDoIndicador() const {
        const QImage imagem = janela.painel(0)->grab().toImage();
        return imagem.pixelColor(imagem.width() / 2, imagem.height() / 2);
    }
    std::string status() { return base.scalarText(kStatus); }
    ~Bancada() { tools::ErrorReporter().mostraErro = nullptr; }
};

// Answers every modal message box that opens, recording what it showed.
class Respondedor : public QObject {
public:
    struct Caixa {
        QString titulo, texto, detalhes;
        QMessageBox::Icon icone;
        QMessageBox::StandardButtons botoes;
    };
    explicit Respondedor(QMessageBox::StandardButton resposta = QMessageBox::Ok) : resposta_(resposta) {
        connect(&vigia_, &QTimer::timeout, this, [this] { responde(); });
        vigia_.start(10);
    }
    QList<Caixa> caixas;

private:
    void responde() {
        auto* caixa = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!caixa || !caixa->isVisible())
            return;
        caixas.append(
            {caixa->windowTitle(), caixa->text(), caixa->detailedText(), caixa->icon(), caixa->standardButtons()});
        caixa->button(resposta_)->click();
    }
    QMessageBox::StandardButton resposta_;
    QTimer vigia_;
};

} // namespace

class JanelasTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Bancada> b;

private slots:
    void init() { b = std::make_unique<Bancada>(); }
    void cleanup() { b.reset(); }

    void janelaPrincipalTemTituloTamanhoEMoldura() {
        auto& j = b->janela;
        QCOMPARE(j.windowTitle(), QStringLiteral("EDI - Data Interchange [Versão 2.1.0-04]"));
        QVERIFY(j.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!j.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        b->mostra();
        QCOMPARE(j.size(), QSize(446, 382));
        QCOMPARE(j.minimumSize(), j.maximumSize());

        QCOMPARE(j.lbEDI->text(), QStringLiteral("EDI"));
        QCOMPARE(j.lbDataInterchange->text(), QStringLiteral("Data Interchange"));
        QVERIFY(j.lbEDI->font().pixelSize() > 2 * j.lbDataInterchange->font().pixelSize());
        QVERIFY(j.lbEDI->geometry().bottom() < j.lbDataInterchange->geometry().top());
        QVERIFY(j.imgLogo->geometry().left() > j.lbDataInterchange->geometry().right());
        QVERIFY(!j.imgLogo->pixmap().isNull());
        QCOMPARE(j.PNGButton2->text(), QStringLiteral("Enviar"));
        QCOMPARE(j.PNGButton1->text(), QStringLiteral("Receber"));

        // The background fills the client area above the status bar; the progress bar lies on its bottom edge.
        QCOMPARE(j.centralWidget(), j.Image1);
        QCOMPARE(j.Image1->geometry(), QRect(0, 0, 446, j.StatusBar1->geometry().top()));
        const QRect barra(j.pbGeral->mapTo(&j, QPoint(0, 0)), j.pbGeral->size());
        QCOMPARE(barra.width(), 446);
        QCOMPARE(barra.bottom(), j.Image1->geometry().bottom());

        // A realistic moment for the review screenshot.
        b->ui.setUnitText("12");
        b->ui.setMessage("Próxima execução 14:5:09");
        b->ui.setProgressMax(4);
        b->ui.setProgressPosition(3);
        const QString pasta = qEnvironmentVariable("EDI_SCREENSHOT_DIR", QDir::tempPath());
        QVERIFY(QDir().mkpath(pasta));
        QVERIFY(j.grab().save(pasta + "/main-window.png"));
    }

    void barraDeStatusTemQuatroPaineisDaEsquerdaParaADireita() {
        b->mostra();
        const int larguras[] = {50, 100, 200, 20};
        int direita = -1;
        for (int i = 0; i < 4; ++i) {
            QWidget* painel = b->janela.painel(i);
            QCOMPARE(painel->parentWidget(), b->janela.StatusBar1);
            QCOMPARE(painel->width(), larguras[i]);
            QVERIFY2(painel->x() > direita, qPrintable(QString("panel %1 out of order").arg(i)));
            direita = painel->geometry().right();
        }
        QVERIFY(direita < 446);
        // Panel 0 is drawn, not written.
        QVERIFY(qobject_cast<QLabel*>(b->janela.painel(0)) == nullptr);
        QVERIFY(b->janela.textoDoPainel(1)->text().isEmpty());
    }

    void menuPopupTemAsEntradasEmOrdem() {
        const QList<QPair<QString, bool>> esperado = {{"Importar", true},    {"Exportar", true},
                                                      {"Enviar", true},      {"Receber", true},
                                                      {"Log", true},         {"Estado do intercâmbio", true},
                                                      {"-", true},           {"SQL", true},
                                                      {"Aplicação", true},   {"Versao Unidades", false},
                                                      {"-", true},           {"Minimizar", true},
                                                      {"Maximizar", true},   {"Sair", true},
                                                      {"-", true},           {"Protocolo", false},
                                                      {"Teste", true},       {"De->Para", true},
                                                      {"Relatório...", true}};
        QList<QPair<QString, bool>> visto;
        for (QAction* acao : b->janela.PopupMenu1->actions())
            visto.append({acao->isSeparator() ? QStringLiteral("-") : acao->text(), acao->isVisible()});
        QCOMPARE(visto, esperado);
    }

    void menuPopupAbreNaJanelaENoFundo() {
        b->mostra();
        QMenu* menu = b->janela.PopupMenu1;
        // On the background, on a label lying on it, and on the status bar of the window.
        for (QWidget* alvo : {static_cast<QWidget*>(b->janela.Image1), static_cast<QWidget*>(b->janela.lbEDI),
                              static_cast<QWidget*>(b->janela.StatusBar1)}) {
            QContextMenuEvent clique(QContextMenuEvent::Mouse, QPoint(5, 5), alvo->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(alvo, &clique);
            QTRY_VERIFY2(menu->isVisible(), qPrintable(alvo->objectName()));
            menu->hide();
            QTRY_VERIFY(!menu->isVisible());
        }
    }

    void indicadorFicaVermelhoEnquantoUmaEtapaCorre() {
        b->mostra();
        QColor durante;
        QString etapa;
        b->duranteExportar = [&] {
            durante = b->corDoIndicador();
            etapa = b->janela.textoDoPainel(1)->text();
        };
        QCOMPARE(b->corDoIndicador(), QColor(0, 128, 0));
        b->janela.entradaDaEtapa("export")->trigger();
        QCOMPARE(durante, QColor(255, 0, 0));
        QCOMPARE(etapa, QStringLiteral("Exportando..."));
        QCOMPARE(b->corDoIndicador(), QColor(0, 128, 0));
        QVERIFY(b->janela.textoDoPainel(1)->text().isEmpty());
        QCOMPARE(b->status(), std::string("Exportar!"));
    }

    void timerRodaOCicloEMostraAProximaExecucao() {
        auto& j = b->janela;
        QVERIFY(j.tmEDI->isActive());
        QCOMPARE(j.tmEDI->interval(), 60000);
        b->ciclo->bImportar = true;
        b->ciclo->intervaloMs = 150;
        bool timerLigadoDuranteARodada = true;
        b->duranteImportar = [&] { timerLigadoDuranteARodada = j.tmEDI->isActive(); };
        b->mostra();
        QCOMPARE(j.tmEDI->interval(), 150);

        const QString prefixo = QStringLiteral("Próxima execução ");
        QTRY_VERIFY_WITH_TIMEOUT(j.textoDoPainel(2)->text().startsWith(prefixo), 10000);
        QVERIFY(QRegularExpression("^Próxima execução \\d\\d:\\d{1,2}:\\d\\d$")
                    .match(j.textoDoPainel(2)->text())
                    .hasMatch());
        QCOMPARE(b->etapas.mid(0, 4), QStringList({"versoes", "receber", "importar", "aplicacao"}));
        QVERIFY(!timerLigadoDuranteARodada);
        QVERIFY(j.tmEDI->isActive());
        QCOMPARE(b->status(), std::string("EDI - Fim:"));
    }

    void intervaloZeroNuncaDispara() {
        b->ciclo->intervaloMs = 0;
        b->mostra();
        QVERIFY(!b->janela.tmEDI->isActive());
        b->ciclo->habilitaTimer(true);
        QVERIFY(!b->janela.tmEDI->isActive());
        QTest::qWait(50);
        QVERIFY(b->etapas.isEmpty());
    }

    void botoesChamamAsEtapasCertas() {
        b->mostra();
        QTest::mouseClick(b->janela.PNGButton2, Qt::LeftButton);
        QCOMPARE(b->etapas, QStringList({"exportar", "enviar"}));
        QCOMPARE(b->status(), std::string("Enviar!"));
        b->etapas.clear();
        QTest::mouseClick(b->janela.PNGButton1, Qt::LeftButton);
        QCOMPARE(b->etapas, QStringList({"versoes", "receber", "importar"}));
        QCOMPARE(b->status(), std::string("EDI - Fim:"));
    }

    void entradasDoMenu_data() {
        QTest::addColumn<QString>("entrada");
        QTest::addColumn<QStringList>("etapas");
        QTest::addColumn<QString>("status");
        QTest::newRow("Importar") << "Importar1" << QStringList{"importar"} << "EDI - Fim:";
        QTest::newRow("Exportar") << "Exportar1" << QStringList{"exportar"} << "Exportar!";
        QTest::newRow("Enviar") << "Enviar1" << QStringList{"enviar"} << "Enviar!";
        QTest::newRow("Receber") << "Receber1" << QStringList{"versoes", "receber"} << "Receber!";
        QTest::newRow("Aplicação") << "Aplicao1" << QStringList{"aplicacao"} << "x";
        QTest::newRow("Protocolo") << "Protocolo1" << QStringList{"protocolos"} << "x";
        // Entries wired by the program, not by this bench, leave the cycle alone.
        for (const char* inerte : {"VersaoUnidades1", "Teste1", "DePara1"})
            QTest::newRow(inerte) << inerte << QStringList{} << "x";
    }

    void entradasDoMenu() {
        QFETCH(QString, entrada);
        QFETCH(QStringList, etapas);
        QFETCH(QString, status);
        b->mostra();
        Respondedor respondedor;
        auto* acao = b->janela.PopupMenu1->findChild<QAction*>(entrada);
        QVERIFY(acao);
        acao->trigger();
        QCOMPARE(b->etapas, etapas);
        QCOMPARE(QString::fromStdString(b->status()), status);
        QVERIFY(respondedor.caixas.isEmpty());
    }

    void minimizarMaximizarESair() {
        b->mostra();
        b->janela.Minimizar1->trigger();
        QTRY_VERIFY(b->janela.isMinimized());
        b->janela.Maximizar1->trigger();
        QTRY_VERIFY(!b->janela.isMinimized());
        QVERIFY(b->janela.isVisible());
        b->janela.Sair1->trigger();
        QTRY_VERIFY(!b->janela.isVisible());
    }

    void sairComOutraJanelaAbertaTerminaOPrograma() {
        QWidget log;
        gui::janelaAuxiliar(log);
        log.show();
        b->mostra();
        // The program's own loop, which Qt ends when the last window that holds it closes.
        QTimer::singleShot(0, b->janela.Sair1, &QAction::trigger);
        QTimer guarda;
        guarda.setSingleShot(true);
        connect(&guarda, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        guarda.start(10000);
        QCOMPARE(QApplication::exec(), 0);
    }

    void textosDoQtEmPortugues() {
        QVERIFY(gui::instalaTextosDoQt());
        QMessageBox caixa(QMessageBox::Question, "Excluir", "Deseja Excluir?", QMessageBox::Yes | QMessageBox::No);
        caixa.setDetailedText("detalhe");
        QCOMPARE(caixa.button(QMessageBox::Yes)->text().remove('&'), QStringLiteral("Sim"));
        QCOMPARE(caixa.button(QMessageBox::No)->text().remove('&'), QStringLiteral("Não"));
        caixa.show();
        QVERIFY(QTest::qWaitForWindowExposed(&caixa));
        const auto botoes = caixa.findChildren<QAbstractButton*>();
        QVERIFY(std::any_of(botoes.begin(), botoes.end(),
                            [](auto* bt) { return bt->text().startsWith(QStringLiteral("Mostrar")); }));
        salvaFoto(caixa, "caixa-em-portugues.png");
    }

    void umaCaixaDeCadaVezMesmoComOTimerCorrendo() {
        b->online = false;
        b->ciclo->bImportar = true;
        b->ciclo->intervaloMs = 20;
        b->mostra();
        int maximo = 0;
        QElapsedTimer aberta;
        QTimer vigia;
        connect(&vigia, &QTimer::timeout, [&] {
            int visiveis = 0;
            for (QWidget* w : QApplication::topLevelWidgets())
                visiveis += qobject_cast<QMessageBox*>(w) && w->isVisible();
            maximo = std::max(maximo, visiveis);
            if (visiveis > 1)
                b->janela.tmEDI->setInterval(0); // the fault is seen; let the stack unwind
            auto* caixa = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!caixa)
                return;
            if (!aberta.isValid())
                aberta.start();
            // Open long enough for several ticks.
            if (aberta.elapsed() > 300) {
                aberta.invalidate();
                caixa->button(QMessageBox::Ok)->click();
            }
        });
        vigia.start(10);
        b->janela.entradaDaEtapa("receive")->trigger();
        QCOMPARE(maximo, 1);
    }

    void execucaoInicialUmaVezDepoisDaPrimeiraPintura() {
        int pinturas = 0;
        struct ContaPinturas : QObject {
            int& n;
            explicit ContaPinturas(int& contador) : n(contador) {}
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint)
                    ++n;
                return false;
            }
        } contador(pinturas);
        b->janela.Image1->installEventFilter(&contador);
        int pinturasAntes = -1;
        b->duranteExportar = [&] { pinturasAntes = pinturas; };

        b->mostra([this] { b->ciclo->ExecucaoInicial("12"); });
        QTRY_COMPARE(b->etapas.size(), 6);
        QCOMPARE(b->etapas, QStringList({"exportar", "enviar", "versoes", "receber", "importar", "aplicacao"}));
        QVERIFY(pinturasAntes > 0);
        QCOMPARE(b->janela.textoDoPainel(3)->text(), QStringLiteral("12"));
        QCOMPARE(b->status(), std::string("EDI - Inicio:"));

        b->janela.hide();
        b->janela.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b->janela));
        QTest::qWait(50);
        QCOMPARE(b->etapas.size(), 6);
    }

    void falhaDeEtapaVaiParaOReporterEAbortoEmSilencio() {
        b->mostra();
        Respondedor respondedor;
        b->duranteExportar = [] { throw std::runtime_error("disco cheio"); };
        b->janela.entradaDaEtapa("export")->trigger();
        QCOMPARE(respondedor.caixas.size(), 1);
        QCOMPARE(respondedor.caixas[0].titulo, QStringLiteral("Application Error"));
        // The operator reads the message; the technical report waits under the details button.
        QCOMPARE(respondedor.caixas[0].texto, QStringLiteral("disco cheio"));
        const QString& detalhes = respondedor.caixas[0].detalhes;
        QVERIFY(detalhes.startsWith(QStringLiteral("Exceção std::runtime_error em test_gui+0x")));
        QVERIFY(detalhes.contains(QStringLiteral(":\ndisco cheio\n\nPilha de chamadas:\n")));
        QCOMPARE(respondedor.caixas[0].icone, QMessageBox::Critical);
        QVERIFY(readFile(b->pasta / "EDIMorvanix.log").find("disco cheio") != std::string::npos);
        QVERIFY(!b->ciclo->bExportando);
        QCOMPARE(b->corDoIndicador(), QColor(0, 128, 0));

        b->duranteExportar = [] { throw Abort(); };
        b->janela.entradaDaEtapa("export")->trigger();
        QCOMPARE(respondedor.caixas.size(), 1);
        QCOMPARE(b->etapas, QStringList({"exportar", "exportar"}));

        // The failed stage runs again.
        b->duranteExportar = {};
        b->janela.entradaDaEtapa("export")->trigger();
        QCOMPARE(b->status(), std::string("Exportar!"));
    }

    void recusaSemRedeMostraAvisoModal() {
        b->mostra();
        b->online = false;
        Respondedor respondedor;
        b->janela.entradaDaEtapa("receive")->trigger();
        QCOMPARE(respondedor.caixas.size(), 1);
        QCOMPARE(respondedor.caixas[0].titulo, QStringLiteral("Atenção"));
        QCOMPARE(respondedor.caixas[0].icone, QMessageBox::Warning);
        QCOMPARE(respondedor.caixas[0].botoes, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(respondedor.caixas[0].texto,
                 QStringLiteral("Não foi possivel efetuar a comunicação com o Servidor WEB.\n"
                                "Verifique a conexão com a Internet e Tente novamente!"));
        QCOMPARE(b->status(), std::string("Erro:"));
        QVERIFY(b->etapas.isEmpty());
    }

    void portaQtMostraProgressoMensagensEPerguntas() {
        auto& ui = b->ui;
        ui.setProgressMax(3);
        ui.setProgressPosition(2);
        QCOMPARE(ui.progressPosition(), 2);
        ui.setProgressPosition(ui.progressPosition() + 5);
        QCOMPARE(ui.progressPosition(), 3);
        ui.setProgressMax(0);
        QCOMPARE(ui.progressPosition(), 0);
        QVERIFY(b->janela.pbGeral->maximum() > b->janela.pbGeral->minimum()); // not the busy animation

        ui.setMessage("Próxima execução 9:1:05");
        QCOMPARE(ui.message(), std::string("Próxima execução 9:1:05"));
        QCOMPARE(b->janela.textoDoPainel(2)->text(), QStringLiteral("Próxima execução 9:1:05"));
        const QString longo = QStringLiteral("Erro: servidor central fora do ar desde o começo da tarde de ontem");
        ui.setMessage(longo.toStdString());
        QCOMPARE(b->janela.textoDoPainel(2)->toolTip(), longo);
        ui.setActive(true);
        b->mostra();
        QCOMPARE(b->corDoIndicador(), QColor(255, 0, 0));

        {
            Respondedor sim(QMessageBox::Yes);
            QVERIFY(ui.askYesNo("Excluir", "Deseja Excluir este registro?"));
            QCOMPARE(sim.caixas.size(), 1);
            QCOMPARE(sim.caixas[0].icone, QMessageBox::Question);
            QCOMPARE(sim.caixas[0].botoes, QMessageBox::Yes | QMessageBox::No);
            QCOMPARE(sim.caixas[0].titulo, QStringLiteral("Excluir"));
        }
        {
            Respondedor nao(QMessageBox::No);
            QVERIFY(!ui.askYesNo("Excluir", "Deseja Excluir este registro?"));
        }
        {
            Respondedor ok;
            ui.showInformation("Arquivo recebido");
            ui.showError("Erro GetDate : select");
            QCOMPARE(ok.caixas.size(), 2);
            QCOMPARE(ok.caixas[0].icone, QMessageBox::Information);
            QCOMPARE(ok.caixas[1].icone, QMessageBox::Critical);
            QCOMPARE(ok.caixas[1].texto, QStringLiteral("Erro GetDate : select"));
        }
    }

    void errosDeEtapaOperacaoEJanelaSaoRegistradosEnviadosEMostrados() {
        test::ServidorSmtp servidor;
        const Configuracao config = test::contaDoServidor(servidor);
        UGeral geral;
        geral.sLogComputer = "ESTACAO7";
        geral.sPath = b->pasta.path() / "";
        const tools::FiltroDoPrograma filtro(config, geral);
        gui::JanelaDoMotor motor(
            {[] { throw IoError("pasta EDI/OUT inacessível"); }, {}, {}, [] { return std::string(); }});
        b->janela.ligaOperacao(b->janela.Teste1, [] { throw TransportError("servidor central fora do ar"); });
        b->duranteImportar = [] { throw DatabaseError("tabela PACIENTE bloqueada"); };
        b->mostra();

        Respondedor respondedor;
        b->janela.entradaDaEtapa("import")->trigger();
        b->janela.Teste1->trigger();
        QTest::mouseClick(motor.btExportar, Qt::LeftButton);

        const QStringList esperado = {"tabela PACIENTE bloqueada", "servidor central fora do ar",
                                      "pasta EDI/OUT inacessível"};
        QCOMPARE(respondedor.caixas.size(), 3);
        const auto mensagens = servidor.mensagens();
        QCOMPARE(int(mensagens.size()), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(respondedor.caixas[i].titulo, QStringLiteral("Application Error"));
            QVERIFY(respondedor.caixas[i].texto.endsWith(esperado[i]));
            const auto& m = mensagens[static_cast<size_t>(i)];
            QCOMPARE(m.assunto, std::string("Haldren - Erro"));
            QVERIFY2(m.corpo.find(esperado[i].toStdString()) != std::string::npos, m.corpo.c_str());
            QVERIFY(m.corpo.find("Computer:ESTACAO7\nUnidade:\nUsuário:\nSistema:\nLocal:" + geral.sPath.string()) !=
                    std::string::npos);
        }
        QVERIFY(!std::filesystem::exists(b->pasta / "EDIMorvanix.log"));
    }

    void comODialogoAbertoOsErrosSeguintesSoSaoContados() {
        b->mostra();
        b->duranteExportar = [] { throw std::runtime_error("primeiro"); };
        QString informativo, detalhes;
        int caixasAbertas = 0;
        // Runs inside the first dialog's loop, like a timer run behind an unanswered dialog.
        QTimer::singleShot(0, [&] {
            gui::executaProtegido(&b->janela, [] { throw std::runtime_error("segundo"); });
            gui::executaProtegido(&b->janela, [] { throw std::runtime_error("terceiro"); });
            for (QWidget* w : QApplication::topLevelWidgets())
                caixasAbertas += qobject_cast<QMessageBox*>(w) && w->isVisible();
            auto* caixa = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(caixa);
            informativo = caixa->informativeText();
            detalhes = caixa->detailedText();
            salvaFoto(*caixa, "erro-da-aplicacao.png");
            caixa->button(QMessageBox::Ok)->click();
        });
        b->janela.entradaDaEtapa("export")->trigger();
        QCOMPARE(caixasAbertas, 1);
        // The log may have gone by mail meanwhile: the reports of the others are in the dialog itself.
        QCOMPARE(informativo, QStringLiteral("Mais 2 erros ocorreram com esta janela aberta; veja os detalhes."));
        QVERIFY(detalhes.indexOf("primeiro") < detalhes.indexOf("segundo"));
        QVERIFY(detalhes.indexOf("segundo") < detalhes.indexOf("terceiro"));
        const std::string log = readFile(b->pasta / "EDIMorvanix.log");
        QVERIFY(log.find("primeiro") < log.find("segundo") && log.find("segundo") < log.find("terceiro"));
        QVERIFY(log.find("terceiro") != std::string::npos);

        // Closed, the next error opens a dialog of its own again.
        Respondedor respondedor;
        gui::executaProtegido(&b->janela, [] { throw std::runtime_error("quarto"); });
        QCOMPARE(respondedor.caixas.size(), 1);
    }

    void janelaDeEmailEnviaOQueOsCamposDizem() {
        test::ServidorSmtp servidor;
        gui::TfrmEmail frm(test::contaDoServidor(servidor));
        QCOMPARE(frm.windowTitle(), QStringLiteral("Email"));
        QCOMPARE(frm.edPort->text(), QString::number(servidor.porta()));
        QCOMPARE(frm.edPara->text(), QStringLiteral("suporte@central.test"));
        QCOMPARE(frm.mmMsg->toPlainText(), QStringLiteral("MSG Teste"));
        QCOMPARE(frm.btEnviar->text(), QStringLiteral("Enviar"));
        frm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frm));

        frm.edPara->setText(QStringLiteral("ana@central.test, rui@central.test"));
        frm.mmMsg->setPlainText(QStringLiteral("uma\nduas"));
        QTest::mouseClick(frm.btEnviar, Qt::LeftButton);
        auto m = servidor.mensagens();
        QCOMPARE(int(m.size()), 1);
        QCOMPARE(m[0].para, std::string("ana@central.test,rui@central.test"));
        QCOMPARE(m[0].corpo, std::string("uma\nduas\n"));
        QCOMPARE(m[0].assunto, std::string());
        QVERIFY(frm.mmLog->toPlainText().isEmpty());

        gui::TfrmEmail recusado(test::contaDoServidor(servidor));
        recusado.edSenha->setText(QStringLiteral("errada"));
        QTest::mouseClick(recusado.btEnviar, Qt::LeftButton);
        QTest::mouseClick(recusado.btEnviar, Qt::LeftButton);
        const QStringList log = recusado.mmLog->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(log.size(), 2);
        QVERIFY(log[0].startsWith(QStringLiteral("ERROR: O servidor de e-mail 127.0.0.1:")));
        QCOMPARE(int(servidor.mensagens().size()), 1);
        recusado.show();
        QVERIFY(QTest::qWaitForWindowExposed(&recusado));
        const QString pasta = qEnvironmentVariable("EDI_SCREENSHOT_DIR", QDir::tempPath());
        QVERIFY(QDir().mkpath(pasta));
        QVERIFY(recusado.grab().save(pasta + "/email-window.png"));
    }

    // The cycle's events go to a real journal; the window and the main window's line read it back.
    void estadoDoIntercambioNaJanelaENaLinhaDeResumo() {
        UGeral pastas;
        pastas.definePastas(b->pasta.path());
        std::filesystem::create_directories(pastas.sPathOut);
        DiarioDoIntercambio diario(pastas.sArquivoDiario);
        const std::time_t agora = std::time(nullptr);
        for (int dia = 1; dia <= 20; dia += 3) { // the weeks before: rows received and sent
            diario.agora = [&] { return agora - dia * 86400; };
            diario.pacoteAndou("PACIENTE31" + std::to_string(dia) + ".xml", PassoDoPacote::Importado, 10 + dia);
            diario.pacoteAndou("PACIENTE12" + std::to_string(dia) + ".xml", PassoDoPacote::Exportado, 25 - dia);
        }
        diario.agora = [&] { return agora; };
        const std::string pacote = "PACIENTE12101226000159.xml";
        b->ciclo->eventos = &diario;
        b->duranteExportar = [&] {
            writeFileAtomically(pastas.sPathOut / pacote, "<DATAPACKET/>");
            diario.pacoteAndou(pacote, PassoDoPacote::Exportado, 3);
        };
        b->online = false;
        auto le = [&] {
            EstadoDoIntercambio e = leEstadoDasPastas(b->pasta.path());
            e.baseLida = true;
            e.pendentes = {{"PACIENTE", 2, ""}, {"NOTIFICACAO", 0, ""}, {"AGENDA", 0, "tabela em uso"}};
            return e;
        };
        b->janela.ligaResumo([&] { return resumoDoEstado(le()); });
        b->mostra();
        QCOMPARE(b->janela.lbResumo->text(), QStringLiteral("2 linhas a enviar"));
        {
            Respondedor respondedor; // the offline warning of the send stage
            QTest::mouseClick(b->janela.PNGButton2, Qt::LeftButton);
        }
        const QString resumo = b->janela.lbResumo->text();
        QVERIFY2(resumo.startsWith(QStringLiteral("2 linhas a enviar, 1 pacote a enviar, último erro (Enviar, ")),
                 qPrintable(resumo));
        QVERIFY2(resumo.endsWith(QStringLiteral("): sem comunicação com o servidor central")), qPrintable(resumo));
        salvaFoto(b->janela, "main-window-resumo.png");

        gui::TfrmEstado estado(le);
        estado.atualiza();
        estado.show();
        QVERIFY(QTest::qWaitForWindowExposed(&estado));
        QCOMPARE(estado.windowTitle(), QStringLiteral("Estado do intercâmbio"));
        QCOMPARE(estado.tbPendentes->rowCount(), 2); // tables with rows waiting, and those not counted
        QCOMPARE(estado.tbPendentes->item(1, 1)->text(), QStringLiteral("não contadas: tabela em uso"));
        QCOMPARE(estado.tbEtapas->rowCount(), 3); // the census runs first, with nothing due
        QCOMPARE(estado.tbEtapas->item(1, 0)->text(), QStringLiteral("Exportar"));
        QCOMPARE(estado.tbEtapas->item(1, 2)->text(), QStringLiteral("nenhum"));
        QCOMPARE(estado.tbEtapas->item(2, 3)->text(), QStringLiteral("sem comunicação com o servidor central"));
        QCOMPARE(estado.tbPacotes->item(0, 0)->text(), QString::fromStdString(pacote));
        QVERIFY(estado.tbPacotes->item(0, 1)->text().endsWith(QStringLiteral(" (3)")));
        QVERIFY(estado.tbPacotes->item(0, 2)->text().isEmpty()); // not sent
        QCOMPARE(estado.tbPacotes->rowCount(), 15);
        salvaFoto(estado, "estado.png");
    }

    void janelaDoMotor() {
        QStringList chamadas;
        std::string log;
        gui::JanelaDoMotor motor({[&] {
                                      chamadas << "exportar";
                                      log = "PACIENTE: falhou\rCONSULTA: falhou\r";
                                  },
                                  [&] { chamadas << "importar"; }, [&] { chamadas << "limpar"; }, [&] { return log; }});
        QCOMPARE(motor.windowTitle(), QStringLiteral("EDI - Intercambio de Dados"));
        QCOMPARE(motor.btExportar->text(), QStringLiteral("Exportar"));
        QCOMPARE(motor.btImportar->text(), QStringLiteral("Importar"));
        QCOMPARE(motor.btLimparDtExp->text(), QStringLiteral("Limpar DtExp"));
        QCOMPARE(motor.lbTabela->text(), QStringLiteral("Tabela:"));
        QVERIFY(motor.lbTabela->font().bold());

        motor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&motor));
        QVERIFY(motor.lbLog->geometry().top() > motor.lbTabela->geometry().bottom());
        QTest::mouseClick(motor.btExportar, Qt::LeftButton);
        QTest::mouseClick(motor.btImportar, Qt::LeftButton);
        QTest::mouseClick(motor.btLimparDtExp, Qt::LeftButton);
        QCOMPARE(chamadas, QStringList({"exportar", "importar", "limpar"}));
        QCOMPARE(motor.lbLog->text(), QStringLiteral("PACIENTE: falhou\nCONSULTA: falhou"));
    }
};

} // namespace edi

QTEST_MAIN(edi::JanelasTest)
#include "janelas_test.moc"

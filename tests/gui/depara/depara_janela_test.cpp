// The De-Para window: captions and fields, the grids reading as they scroll, and a copy and a confirmed
// delete between an embedded database and one on the loopback server.
#include "app/configuracao.h"
#include "gui/tfrm_depara.h"
#include "support/db/dois_bancos.h"
#include "support/temp_dir.h"
#include "tools/depara.h"
#include "tools/error_reporter.h"

#include <QApplication>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace edi {
namespace {

// Answers the next question box with `resposta`, remembering its text.
class Resposta : public QObject {
public:
    explicit Resposta(QMessageBox::StandardButton resposta) : resposta_(resposta) {
        connect(&vigia_, &QTimer::timeout, this, [this] {
            auto* caixa = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!caixa || !caixa->isVisible())
                return;
            texto = caixa->text();
            caixa->button(resposta_)->click();
        });
        vigia_.start(10);
    }
    QString texto;

private:
    QMessageBox::StandardButton resposta_;
    QTimer vigia_;
};

class DeParaJanelaTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::DoisBancos> bancos;
    std::unique_ptr<gui::TfrmDePara> janela;
    test::TempDir registro; // the error log
    QStringList erros;

    // Both databases connected and the register's table named, as an operator starts.
    void conectaAmbosNoRegistro(gui::TfrmDePara& j) const {
        j.edDe->setText(QString::fromStdString(bancos->conexaoDe()));
        j.edPara->setText(QString::fromStdString(bancos->conexaoPara()));
        j.btDe->click();
        j.btPara->click();
        j.edTabela->setText(QStringLiteral("REGISTRO_TARV"));
    }
    QStringList linhasDoLog() const { return janela->mLog->toPlainText().split(QLatin1Char('\n')); }
    int64_t linhasPara() { return test::DoisBancos::conta(bancos->para(), "select count(*) from REGISTRO_TARV"); }

private slots:
    void init() {
        bancos = std::make_unique<test::DoisBancos>();
        test::runScript(bancos->de(), "execute block as declare i integer = 1; begin\n"
                                      "  while (i <= 450) do begin\n"
                                      "    insert into REGISTRO_TARV values (:i, 10, mod(:i, 3), 202401 + mod(:i, 2),\n"
                                      "      'nota ' || :i, dateadd(:i minute to timestamp '2024-01-01 08:00'));\n"
                                      "    i = i + 1;\n"
                                      "  end\n"
                                      "end");
        Configuracao config;
        const db::ConnectionParams login = bancos->login();
        config.usuario = login.user;
        config.senha = login.password;
        config.charset = login.charset;
        janela = std::make_unique<gui::TfrmDePara>(config);
        tools::ErrorReporter().LogFile = registro / "erros.log";
        tools::ErrorReporter().mostraErro = [this](const tools::TextosDoErro& t) {
            erros << QString::fromStdString(t.texto);
        };
    }
    void cleanup() {
        janela.reset();
        bancos.reset();
    }

    void captionsFieldsAndButtons() {
        gui::TfrmDePara& j = *janela;
        QCOMPARE(j.windowTitle(), QStringLiteral("De - > Para"));
        auto* paginas = j.findChild<QTabWidget*>();
        QVERIFY(paginas);
        QCOMPARE(paginas->count(), 1);
        QCOMPARE(paginas->tabText(0), QStringLiteral("Geral"));
        QStringList rotulos;
        for (auto* l : paginas->widget(0)->findChildren<QLabel*>())
            rotulos << l->text();
        rotulos.sort();
        QCOMPARE(rotulos,
                 (QStringList{"De:", "Mes/Ano:", "Municipio:", "Para:", "Provincia:", "Tabela:", "Und:", "Unidade:"}));
        for (QLineEdit* ed :
             {j.edTabela, j.edProvincia, j.edMunicipio, j.edUnidade, j.edUnd, j.edMesAno, j.edDe, j.edPara})
            QVERIFY(ed->text().isEmpty() == (ed != j.edDe && ed != j.edPara));
        QCOMPARE(j.btAbrir->text(), QStringLiteral("Abrir"));
        QCOMPARE(j.btDelPara->text(), QStringLiteral("Apagar Para"));
        QCOMPARE(j.btDePara->text(), QStringLiteral("De -> Para"));
        QCOMPARE(j.btComparar->text(), QStringLiteral("Comparar"));
        QStringList grades;
        for (auto* g : j.findChildren<QGroupBox*>())
            grades << g->title();
        grades.sort();
        QCOMPARE(grades, (QStringList{"De", "Para"}));

        // The longest register's name is read whole in its field.
        j.show();
        QVERIFY(QTest::qWaitForWindowExposed(&j));
        const QString longo = QString::fromLatin1(tools::DePara::kRegistros.back());
        QVERIFY2(j.edTabela->width() >= j.edTabela->fontMetrics().horizontalAdvance(longo) + 16,
                 qPrintable(QString::number(j.edTabela->width())));
    }

    void opensCopiesAndDeletesAfterConfirmationKeepingItsStateWhenHidden() {
        gui::TfrmDePara& j = *janela;
        conectaAmbosNoRegistro(j);
        j.edMesAno->setText(QStringLiteral("202401, 202402"));
        j.btAbrir->click();
        QCOMPARE(erros, QStringList());
        QCOMPARE(linhasDoLog(),
                 (QStringList{"DB De - Aberto", "DB Para - Aberto", "Tabela: REGISTRO_TARV De: 450 Para: 0"}));

        // The grid reads the cursor as it scrolls, not the whole table at once.
        j.show();
        QVERIFY(QTest::qWaitForWindowExposed(&j));
        QAbstractItemModel* de = j.gdDe->model();
        QCOMPARE(de->columnCount(), 6);
        QCOMPARE(de->headerData(4, Qt::Horizontal).toString(), QStringLiteral("DS_NOTA"));
        QVERIFY(de->rowCount() > 0 && de->rowCount() < 450);
        while (de->canFetchMore({}))
            de->fetchMore({});
        QCOMPARE(de->rowCount(), 450);
        QCOMPARE(de->data(de->index(449, 4)).toString(), QStringLiteral("nota 450"));
        j.hide();

        j.btDePara->click();
        QCOMPARE(linhasPara(), 450);
        QCOMPARE(j.pb->maximum(), 450);
        QCOMPARE(j.pb->value(), 450);

        j.edProvincia->setText(QStringLiteral("0"));
        j.btAbrir->click();
        QCOMPARE(linhasDoLog().last(), QStringLiteral("Tabela: REGISTRO_TARV De: 150 Para: 150"));
        QCOMPARE(j.pb->value(), 0); // the bar of the copy is not this operation's
        {
            Resposta nao(QMessageBox::No);
            j.btDelPara->click();
            QVERIFY(nao.texto.contains(QStringLiteral("150 linhas de REGISTRO_TARV")));
        }
        QCOMPARE(linhasPara(), 450);
        {
            Resposta sim(QMessageBox::Yes);
            j.btDelPara->click();
        }
        QCOMPARE(linhasDoLog().last(), QStringLiteral("Exclusao Para - Realizado"));
        QCOMPARE(linhasPara(), 300);
        QCOMPARE(j.gdPara->model()->rowCount(), 0);

        // Shown again, it keeps connections, filters and log.
        j.show();
        QVERIFY(QTest::qWaitForWindowExposed(&j));
        QCOMPARE(j.edProvincia->text(), QStringLiteral("0"));
        j.edProvincia->clear();
        j.btAbrir->click();
        QCOMPARE(linhasDoLog().last(), QStringLiteral("Tabela: REGISTRO_TARV De: 450 Para: 300"));
        QCOMPARE(erros, QStringList());

        // The review screenshot.
        j.gdDe->scrollToTop();
        const QString pasta = qEnvironmentVariable("EDI_SCREENSHOT_DIR", QDir::tempPath());
        QVERIFY(QDir().mkpath(pasta));
        QVERIFY(j.grab().save(pasta + "/depara.png"));
    }

    void aRefusedFilterGoesToTheErrorReporterAndOpensNothing() {
        gui::TfrmDePara& j = *janela;
        conectaAmbosNoRegistro(j);
        j.edUnd->setText(QStringLiteral("10 /* e o resto */"));
        j.btAbrir->click();
        QCOMPARE(erros.size(), 1);
        QVERIFY(erros[0].contains(QStringLiteral("O filtro \"Und:\" não pode conter")));
        QCOMPARE(j.gdDe->model()->rowCount(), 0);
        QCOMPARE(linhasDoLog().size(), 2);
    }
};

} // namespace
} // namespace edi

QTEST_MAIN(edi::DeParaJanelaTest)
#include "depara_janela_test.moc"

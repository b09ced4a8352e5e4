#include "ferramentas_test.h"

#include "app/app_fixture.h"
#include "app/log_sql.h"
#include "core/files.h"
#include "gui/tfrm_log_sql.h"
#include "gui/tfrm_relatorio_web.h"
#include "gui/tfrm_sql.h"
#include "support/http/recording_server.h"
#include "support/temp_dir.h"
#include "transport/http_client.h"

#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <pugixml.hpp>
#include <zip.h>

#include <map>

namespace edi {
namespace {

namespace fs = std::filesystem;

void salvaFoto(QWidget& janela, const QString& nome) {
    const QString pasta = qEnvironmentVariable("EDI_SCREENSHOT_DIR", QDir::tempPath());
    QVERIFY(QDir().mkpath(pasta));
    QVERIFY(janela.grab().save(pasta + "/" + nome));
}

// The console's GET, through the program's own HTTP client.
tools::PedidoGet getReal() {
    return [](const std::string& url) {
        transport::HttpOptions opcoes;
        opcoes.requestTimeout = std::chrono::seconds(5);
        return transport::HttpClient(opcoes).getPage(url);
    };
}

std::string entradaDoZip(const fs::path& arquivo, const char* nome) {
    int erro = 0;
    zip_t* zip = zip_open(arquivo.c_str(), ZIP_RDONLY, &erro);
    if (!zip)
        return {};
    std::string conteudo;
    zip_stat_t st;
    if (zip_stat(zip, nome, 0, &st) == 0) {
        if (zip_file_t* f = zip_fopen(zip, nome, 0)) {
            conteudo.resize(st.size);
            zip_fread(f, conteudo.data(), st.size);
            zip_fclose(f);
        }
    }
    zip_close(zip);
    return conteudo;
}

// Each cell of the first worksheet by its reference: "n:<number>", "d<style>:<serial>" or "s:<text>".
std::map<std::string, std::string> celulasDaPlanilha(const fs::path& arquivo) {
    pugi::xml_document folha, textos;
    folha.load_string(entradaDoZip(arquivo, "xl/worksheets/sheet1.xml").c_str());
    textos.load_string(entradaDoZip(arquivo, "xl/sharedStrings.xml").c_str());
    std::vector<std::string> partilhados;
    for (auto si : textos.child("sst").children("si"))
        partilhados.push_back(si.child("t").text().get());
    std::map<std::string, std::string> celulas;
    for (auto row : folha.child("worksheet").child("sheetData").children("row"))
        for (auto c : row.children("c")) {
            const std::string tipo = c.attribute("t").value(), valor = c.child("v").text().get();
            std::string v;
            if (tipo == "s")
                v = "s:" + partilhados.at(std::stoul(valor));
            else if (c.attribute("s"))
                v = "d:" + valor;
            else
                v = "n:" + valor;
            celulas[c.attribute("r").value()] = v;
        }
    return celulas;
}

} // namespace

void FerramentasTest::consoleSQLMandaOComandoIntactoEMostraCadaResposta() {
    test::RecordingServer servidor;
    servidor.on("/dbSQL.php", test::Reply::text("<html><body><p>primeira resposta</p></body></html>"));
    test::TempDir pasta;
    gui::TfrmSQL sql(getReal(), "http://" + servidor.host(), pasta / "Temp" / "");
    QCOMPARE(sql.windowTitle(), QStringLiteral("SQL"));
    QCOMPARE(sql.btExecutar->text(), QStringLiteral("Executar"));
    QCOMPARE(sql.rbSelect->text(), QStringLiteral("Select"));
    QCOMPARE(sql.rbQuery->text(), QStringLiteral("Insert/Update/Delete"));
    QVERIFY(!sql.rbSelect->isChecked() && !sql.rbQuery->isChecked());
    QVERIFY(sql.mmSQL->toPlainText().isEmpty());
    sql.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sql));
    QVERIFY(sql.pnTopo->geometry().bottom() < sql.splitter->geometry().top() + 1);

    // No operation chosen: "op=" goes empty; "&", "#" and the line break arrive as typed.
    sql.mmSQL->setPlainText(QStringLiteral("select 'a&b#c' from X\nwhere Y = 'ç'"));
    QTest::mouseClick(sql.btExecutar, Qt::LeftButton);
    auto pedidos = servidor.requests();
    QCOMPARE(int(pedidos.size()), 1);
    QVERIFY(pedidos[0].query.count("op") == 1);
    QCOMPARE(pedidos[0].queryValue("op"), std::string());
    QCOMPARE(pedidos[0].queryValue("sql"), std::string("select 'a&b#c' from X\r\nwhere Y = 'ç'"));
    QVERIFY(sql.web->toPlainText().contains(QStringLiteral("primeira resposta")));

    servidor.on("/dbSQL.php", test::Reply::text("<html><body><p>segunda resposta ação</p></body></html>"));
    QTest::mouseClick(sql.rbQuery, Qt::LeftButton);
    QTest::mouseClick(sql.btExecutar, Qt::LeftButton);
    QCOMPARE(servidor.requests().back().queryValue("op"), std::string("Q"));
    QVERIFY(sql.web->toPlainText().contains(QStringLiteral("segunda resposta ação")));
    QCOMPARE(readFile(pasta / "Temp" / "tmpSQL.html"),
             std::string("<html><body><p>segunda resposta ação</p></body></html>\r\n"));

    // A refusal's page says why: it is shown like any answer.
    servidor.on("/dbSQL.php", test::Reply::text("<p>Tabela UNIDADEX desconhecida</p>", 500));
    QTest::mouseClick(sql.rbSelect, Qt::LeftButton);
    QTest::mouseClick(sql.btExecutar, Qt::LeftButton);
    QCOMPARE(sql.web->toPlainText().trimmed(), QStringLiteral("Tabela UNIDADEX desconhecida"));
    salvaFoto(sql, "sql-recusa.png");
    // A refusal with nothing to read is said in the view; the answer file keeps the last answer.
    servidor.on("/dbSQL.php", test::Reply::text("", 503));
    QTest::mouseClick(sql.btExecutar, Qt::LeftButton);
    QCOMPARE(sql.web->toPlainText(), QStringLiteral("Erro: O servidor central respondeu HTTP 503 sem conteúdo"));
    QVERIFY(readFile(pasta / "Temp" / "tmpSQL.html").find("UNIDADEX") != std::string::npos);

    servidor.on("/dbSQL.php", test::Reply::text("<html><body><h3>Resultado</h3><table border=1 cellpadding=3>"
                                                "<tr><th>CD_UNIDADE</th><th>DS_UNIDADE</th><th>VL_VERSAO</th></tr>"
                                                "<tr><td>12</td><td>Hospital Central</td><td>2.1.0</td></tr>"
                                                "<tr><td>14</td><td>Centro de Saúde do Bairro</td><td>2.0.9</td></tr>"
                                                "</table></body></html>"));
    sql.mmSQL->setPlainText(QStringLiteral("select CD_UNIDADE, DS_UNIDADE, VL_VERSAO\nfrom UNIDADE"));
    QTest::mouseClick(sql.btExecutar, Qt::LeftButton);
    QVERIFY(sql.web->toPlainText().contains(QStringLiteral("Centro de Saúde do Bairro")));
    salvaFoto(sql, QStringLiteral("sql.png"));
}

void FerramentasTest::logSQLMostraOTracoAoVivoELimparEsvaziaOsDois() {
    test::AppFixture base;
    gui::TfrmLogSQL log(base.dm->LogSQL());
    QCOMPARE(log.windowTitle(), QStringLiteral("Log SQL"));
    QCOMPARE(log.btLimpar->text(), QStringLiteral("Limpar"));
    base.dm->ExecutaECommita("update PARAMETRO set VALOR = 'antes' where CD_PARAMETRO = 29");

    log.show(); // what was traced before the window was shown is there
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    QVERIFY(log.mmLog->toPlainText().contains(QStringLiteral("set VALOR = 'antes'")));
    QVERIFY(log.mmLog->geometry().bottom() < log.pnBaixo->geometry().top() + 1);

    base.dm->ExecutaECommita("update PARAMETRO set VALOR = 'durante' where CD_PARAMETRO = 29");
    QVERIFY(log.mmLog->toPlainText().contains(QStringLiteral("Execução: update PARAMETRO set VALOR = 'durante'")));
    salvaFoto(log, QStringLiteral("logsql.png"));

    QTest::mouseClick(log.btLimpar, Qt::LeftButton);
    QVERIFY(log.mmLog->toPlainText().isEmpty());
    QCOMPARE(base.dm->LogSQL().Count(), std::size_t{0});
    QTest::mouseClick(log.btLimpar, Qt::LeftButton); // empty already: still empty, no error
    QVERIFY(log.mmLog->toPlainText().isEmpty());

    log.hide();
    base.dm->ExecutaECommita("update PARAMETRO set VALOR = 'escondida' where CD_PARAMETRO = 29");
    log.show();
    QVERIFY(log.mmLog->toPlainText().contains(QStringLiteral("'escondida'")));
    QVERIFY(!log.mmLog->toPlainText().contains(QStringLiteral("'durante'")));
}

void FerramentasTest::relatorioExportaATabelaComTiposESalvaOCorpo() {
    test::TempDir pasta;
    const fs::path html = pasta / "protocolo.html";
    writeFileAtomically(html, "<html><head><meta charset=\"utf-8\"><title>x</title></head>\n"
                              "<BODY bgcolor=white><h3>Protocolos enviados</h3>\n"
                              "<table border=1 cellpadding=4>"
                              "<tr><th>Unidade</th><th>Código</th><th>Data</th><th>Envio</th><th>Total</th>"
                              "<th>Média</th></tr>"
                              "<tr><td>Hospital Central</td><td>007</td><td>09/12/2026</td>"
                              "<td>09/12/2026 14:05:30</td><td>42</td><td>1.234,5</td></tr>"
                              "<tr><td colspan=2>Soma</td><td>31/02/2026</td><td></td><td>-3</td>"
                              "<td>12345678901234567</td></tr>"
                              "</table>\n</BODY></html>\n");
    gui::TfrmRelatorioWEB rel(pasta / "Temp", pasta / "img" / "RelatorioGeralPrograma.xml");
    QCOMPARE(rel.windowTitle(), QStringLiteral("Relatório"));
    QCOMPARE(rel.btExcel->toolTip(), QStringLiteral("Exportar Excel"));
    QVERIFY(rel.btExcel->autoRaise());
    QCOMPARE(rel.Panel1->height(), 40);
    QCOMPARE(rel.Button1->text(), QStringLiteral("Salvar Imagem"));
    QVERIFY(rel.Button1->isHidden());
    rel.Abre(html);
    rel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rel));
    QVERIFY(rel.windowState() & Qt::WindowMaximized);

    QList<QUrl> abertos;
    rel.abreNoDesktop = [&](const QUrl& u) {
        abertos << u;
        return true;
    };
    QTest::mouseClick(rel.btExcel, Qt::LeftButton);
    QTest::mouseClick(rel.btExcel, Qt::LeftButton); // twice: two workbooks
    QCOMPARE(abertos.size(), 2);
    QVERIFY(abertos[0] != abertos[1]);
    const fs::path planilha = abertos[1].toLocalFile().toStdString();
    QCOMPARE(planilha.parent_path(), pasta / "Temp");
    QCOMPARE(planilha.extension().string(), std::string(".xlsx"));

    // No application for it: the operator is told where the workbook is.
    rel.abreNoDesktop = [](const QUrl&) { return false; };
    QString aviso;
    QTimer::singleShot(0, [&] {
        if (auto* caixa = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            aviso = caixa->text();
            caixa->accept();
        }
    });
    const fs::path semPrograma = rel.btExcelClick();
    QVERIFY(fs::exists(semPrograma));
    QCOMPARE(aviso, QStringLiteral("Nenhum programa abriu a planilha. Ela foi gravada em:\n") +
                        QString::fromStdString(semPrograma.string()));

    const auto c = celulasDaPlanilha(planilha);
    QCOMPARE(c.at("A1"), std::string("s:Protocolos enviados"));
    QCOMPARE(c.at("B2"), std::string("s:Código"));
    QCOMPARE(c.at("A3"), std::string("s:Hospital Central"));
    QCOMPARE(c.at("B3"), std::string("s:007"));    // a code keeps its zeros
    QCOMPARE(c.at("C3"), std::string("d:46365"));  // 09/12/2026
    QVERIFY(c.at("D3").starts_with("d:46365.58")); // 14:05:30 of that day
    QCOMPARE(c.at("E3"), std::string("n:42"));
    QCOMPARE(c.at("F3"), std::string("n:1234.5"));
    QCOMPARE(c.at("A4"), std::string("s:Soma"));
    QVERIFY(!c.contains("B4"));                        // spanned by A4
    QCOMPARE(c.at("C4"), std::string("s:31/02/2026")); // no such day: text
    QCOMPARE(c.at("E4"), std::string("n:-3"));
    QCOMPARE(c.at("F4"), std::string("s:12345678901234567"));
    salvaFoto(rel, QStringLiteral("relatorio.png"));

    rel.Button1Click();
    const std::string corpo = readFile(pasta / "img" / "RelatorioGeralPrograma.xml");
    QVERIFY(corpo.starts_with("<h3>Protocolos enviados</h3>\r\n<table border=1"));
    QVERIFY(corpo.ends_with("</table>\r\n"));
}

} // namespace edi

QTEST_MAIN(edi::FerramentasTest)

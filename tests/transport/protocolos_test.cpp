// Sending protocols from a unit's database to a recording server.
#include "app/session.h"
#include "core/files.h"
#include "datamodule/tdmgeral.h"
#include "domain/create_database.h"
#include "transport/estacao.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace edi {
namespace {

namespace fs = std::filesystem;
using test::Reply;

struct Protocolos : test::Estacao {
    test::TempDir pastaDaBase;
    db::ConnectionParams conexao;
    std::unique_ptr<TDM> dm;
    std::unique_ptr<datamodule::TDMGERAL> dmGeral;

    Protocolos() {
        domain::CreateOptions o;
        o.connection.database = (pastaDaBase / "u12.fdb").string();
        o.unit = 12;
        o.forcedWrites = false;
        domain::createDatabase(o);
        conexao = o.connection;
        fs::create_directories(geral.sPathProt);
        abre();
        servidor.on("/edi/ReceiveUpload.aspx", Reply::text("ok"));
        servidor.on("/dbArquivoProtocolo.php", Reply::text("OK"));
    }
    // A new session, as after the program started again: what was not committed is gone.
    void abre() {
        dmGeral.reset();
        dm.reset();
        dm = std::make_unique<TDM>(conexao, ui);
        dmGeral = std::make_unique<datamodule::TDMGERAL>(*dm, geral);
    }
    void executa(const std::string& sql) {
        dm->DB().execute(sql);
        dm->Commit();
    }
    // A protocol of unit 12 about a month sheet of unit `unidade`, province 5, municipality `municipio`.
    void protocolo(int cd, int tipo, int unidade, int municipio, const std::string& mesAno, const std::string& enviado,
                   const std::string& documento, const std::string& exclusao = "null") {
        executa("insert into PROTOCOLO_ENVIO (CD_PROTOCOLO, CD_UND, TP_PROTOCOLO, CD_UNIDADE, CD_PROVINCIA, "
                "CD_MUNICIPIO, VL_MESANO, FL_ENVIADO, BL_PROTOCOLO, DT_EXCLUSAO) values (" +
                std::to_string(cd) + ", 12, " + std::to_string(tipo) + ", " + std::to_string(unidade) + ", 5, " +
                std::to_string(municipio) + ", '" + mesAno + "', " + enviado + ", " + documento + ", " + exclusao +
                ")");
    }
    std::string enviado(int cd) {
        db::Query q(dm->DB(), "select FL_ENVIADO from PROTOCOLO_ENVIO where CD_PROTOCOLO = " + std::to_string(cd));
        q.open();
        return q.value(0).isNull() ? "<null>" : q.value(0).asText();
    }
    void Protocolo1Click() { transporte->Protocolo1Click(*dm, dmGeral->TB_PROTOCOLO_ENVIO().raw()); }
    std::vector<std::string> enviados() const {
        std::vector<std::string> nomes;
        for (const auto& r : servidor.requests())
            for (const auto& p : r.parts)
                nomes.push_back(p.filename);
        return nomes;
    }
};

const std::regex kResumo(R"(Protocolo12_\d{12}\.html)");

TEST(Protocols, EachPendingDocumentGoesUpAndIsMarkedThenTheSummaryIsSentAndRegistered) {
    Protocolos e;
    e.executa("insert into PAIS (CD_PAIS, DS_PAIS, CD_UND) values (1, 'Angola', 31)");
    e.executa("insert into PROVINCIA (CD_PROVINCIA, CD_PAIS, DS_PROVINCIA, CD_UND) values (5, 1, 'Norte & <Sul>', 31)");
    e.executa("insert into MUNICIPIO (CD_MUNICIPIO, CD_PROVINCIA, DS_MUNICIPIO, CD_UND) values (7, 5, 'Vila', 31)");
    // Sent before, and of the same month sheet as the next one, which it comes before.
    e.protocolo(1, 1, 12, 7, "01/2013", "'S'", "'velho'");
    e.protocolo(2, 1, 12, 7, "01/2013", "null", "'<protocolo>dois</protocolo>'");
    // No name rows for its unit and municipality, a type without a name, no document.
    e.protocolo(3, 9, 99, 8, "02/2013", "'N'", "null", "'2013-05-04 10:22:31'");
    e.Protocolo1Click();

    const auto pedidos = e.pedidos();
    ASSERT_EQ(pedidos.size(), 4u);
    EXPECT_EQ(pedidos[0], "POST /edi/ReceiveUpload.aspx");
    EXPECT_EQ(pedidos[1], "POST /edi/ReceiveUpload.aspx");
    EXPECT_EQ(pedidos[2], "POST /edi/ReceiveUpload.aspx");
    const auto nomes = e.enviados();
    ASSERT_EQ(nomes.size(), 3u);
    EXPECT_EQ(nomes[0], "Protocolo12_2.xml");
    EXPECT_EQ(nomes[1], "Protocolo12_3.xml");
    EXPECT_TRUE(std::regex_match(nomes[2], kResumo)) << nomes[2];
    EXPECT_EQ(pedidos[3], "GET /dbArquivoProtocolo.php?op=I&nome=" + nomes[2] + "&unidade=12");
    const auto& r = e.servidor.requests();
    EXPECT_EQ(r[0].parts[0].content, "<protocolo>dois</protocolo>");
    EXPECT_EQ(r[1].parts[0].content, "");
    const std::string link = "<td><a href=\"http://" + e.servidor.host() + "/edi/central/in/";
    EXPECT_EQ(
        r[2].parts[0].content,
        "<table>\r\n<tr>\r\n<td>Protocolo</td>\r\n<td>Provincia</td>\r\n<td>Municipio</td>\r\n<td>Unidade</td>\r\n"
        "<td>Mes/Ano</td>\r\n<td>Excluido</td>\r\n<td></td>\r\n</tr>\r\n"
        "<tr>\r\n<td>Relatório de ATV</td>\r\n<td>Norte &amp; &lt;Sul&gt;</td>\r\n<td>Vila</td>\r\n"
        "<td>Unidade 12</td>\r\n<td>01/2013</td>\r\n<td></td>\r\n" +
            link +
            "Protocolo12_2.xml\"> Ver </a></td>\r\n</tr>\r\n"
            "<tr>\r\n<td>Tipo de protocolo desconhecido (9)</td>\r\n<td>Norte &amp; &lt;Sul&gt;</td>\r\n"
            "<td></td>\r\n<td></td>\r\n<td>02/2013</td>\r\n<td>04/05/2013 10:22:31</td>\r\n" +
            link + "Protocolo12_3.xml\"> Ver </a></td>\r\n</tr>\r\n</table>\r\n");

    EXPECT_EQ(e.enviado(1), "S");
    EXPECT_EQ(e.enviado(2), "S");
    EXPECT_EQ(e.enviado(3), "S");
    // The "bk" folder did not exist: it was made, and holds everything sent.
    std::vector<std::string> guardados = {"Protocolo12_2.xml", "Protocolo12_3.xml", nomes[2]};
    std::sort(guardados.begin(), guardados.end());
    EXPECT_EQ(test::filesIn(e.geral.sPathProt / "bk"), guardados);
    EXPECT_EQ(test::filesIn(e.geral.sPathProt), std::vector<std::string>{"bk"});
    EXPECT_EQ(e.ui.message(), "Arquivo enviado com sucesso!");

    // Nothing is pending any more, after the program started again too: no request, no summary.
    e.abre();
    e.Protocolo1Click();
    EXPECT_EQ(e.servidor.requests().size(), 4u);
    EXPECT_EQ(test::filesIn(e.geral.sPathProt / "bk").size(), 3u);
}

// The names of a protocol's province, municipality and unit may be kept under several owners: the protocol still
// goes once and is listed once, with the names the central unit keeps.
TEST(Protocols, ACodeKeptUnderTwoOwnersSendsAndListsTheProtocolOnce) {
    Protocolos e;
    for (const std::string dono : {"12", "31"}) {
        e.executa("insert into PAIS (CD_PAIS, DS_PAIS, CD_UND) values (1, 'Angola', " + dono + ")");
        e.executa("insert into PROVINCIA (CD_PROVINCIA, CD_PAIS, DS_PROVINCIA, CD_UND) values (5, 1, 'Norte " + dono +
                  "', " + dono + ")");
        e.executa("insert into MUNICIPIO (CD_MUNICIPIO, CD_PROVINCIA, DS_MUNICIPIO, CD_UND) values (7, 5, 'Vila " +
                  dono + "', " + dono + ")");
    }
    e.executa("insert into UNIDADE (CD_UNIDADE, CD_UND, DS_UNIDADE) values (12, 12, 'Unidade 12 local')");
    e.protocolo(2, 1, 12, 7, "01/2013", "null", "'dois'");
    e.geral.prmUnidadeCentral = "31"; // as the start-up reads it from the new database
    e.Protocolo1Click();

    const auto nomes = e.enviados();
    ASSERT_EQ(nomes.size(), 2u);
    EXPECT_EQ(nomes[0], "Protocolo12_2.xml");
    EXPECT_TRUE(std::regex_match(nomes[1], kResumo)) << nomes[1];
    const std::string resumo = e.servidor.requests()[1].parts[0].content;
    EXPECT_NE(resumo.find("<td>Relatório de ATV</td>\r\n<td>Norte 31</td>\r\n<td>Vila 31</td>\r\n<td>Unidade 12</td>"),
              std::string::npos)
        << resumo;
    EXPECT_EQ(resumo.find("Relatório de ATV"), resumo.rfind("Relatório de ATV")) << resumo;
}

TEST(Protocols, ARefusedUploadLeavesTheProtocolPendingAndItsFileInThePlace) {
    Protocolos e;
    e.servidor.requireCredentials("quelmar", "outra");
    e.protocolo(2, 2, 12, 7, "01/2013", "null", "'dois'");
    e.Protocolo1Click();

    ASSERT_EQ(e.enviados().size(), 2u);          // the document, then the summary all the same
    EXPECT_EQ(e.servidor.requests().size(), 2u); // an upload that failed is not registered
    EXPECT_EQ(e.enviado(2), "<null>");
    EXPECT_TRUE(std::regex_match(e.enviados()[1], kResumo)) << e.enviados()[1];
    std::vector<std::string> ficaram = {"Protocolo12_2.xml", e.enviados()[1]};
    std::sort(ficaram.begin(), ficaram.end());
    EXPECT_EQ(test::filesIn(e.geral.sPathProt), ficaram);
    EXPECT_NE(e.ui.message().find("401"), std::string::npos) << e.ui.message();
}

TEST(Protocols, AProtocolSentBeforeTheRunStoppedIsNotSentAgain) {
    Protocolos e;
    e.protocolo(2, 1, 12, 7, "01/2013", "null", "'dois'");
    e.protocolo(3, 1, 12, 7, "02/2013", "null", "'três'");
    e.transporte->pontoDeTeste = [](const char* ponto) {
        if (std::string(ponto) == "protocol:marked")
            throw std::runtime_error("parou");
    };
    EXPECT_THROW(e.Protocolo1Click(), std::runtime_error);

    e.abre(); // the stopped run's transaction is gone with its session
    e.transporte->pontoDeTeste = [](const char*) {};
    e.Protocolo1Click();
    const auto nomes = e.enviados();
    ASSERT_EQ(nomes.size(), 3u);
    EXPECT_EQ(nomes[0], "Protocolo12_2.xml");
    EXPECT_EQ(nomes[1], "Protocolo12_3.xml");
    EXPECT_TRUE(std::regex_match(nomes[2], kResumo)) << nomes[2];
    EXPECT_EQ(e.enviado(2), "S");
    EXPECT_EQ(e.enviado(3), "S");
}

} // namespace
} // namespace edi

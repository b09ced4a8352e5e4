// Whole installations, wired as the programs run them, exchanging through the reference central server.
#include "central/manifest.h"
#include "central/server.h"
#include "core/errors.h"
#include "core/files.h"
#include "db/query.h"
#include "domain/create_database.h"
#include "domain/schema.h"
#include "domain/seed.h"
#include "shell/programa.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"
#include "support/zip_archive.h"

#include <gtest/gtest.h>

#include <sstream>

namespace edi {
namespace {

namespace fs = std::filesystem;

struct Rede {
    test::TempDir raiz;
    std::ostringstream log;
    std::unique_ptr<central::CentralServer> servidor;
    int porta = 0;

    Rede() {
        central::ServerConfig c;
        c.root = raiz / "central";
        c.units = {{12, "2.0"}, {14, "2.1.0-04"}};
        servidor = std::make_unique<central::CentralServer>(c, log);
        porta = servidor->start();
    }
    // A program folder with its own database and a jaq.ini pointing at the server.
    fs::path instalacao(const std::string& nome, int unidade, int pacientes) {
        const fs::path home = raiz / nome;
        fs::create_directories(home);
        domain::CreateOptions o;
        o.connection.database = (home / "edi.fdb").string();
        o.unit = unidade;
        o.forcedWrites = false;
        domain::createDatabase(o);
        if (pacientes > 0) {
            auto db = db::Database::open(o.connection);
            domain::seedDatabase(*db, {pacientes, 3});
        }
        writeFileAtomically(home / "jaq.ini", "[Geral]\r\nDB=" + o.connection.database +
                                                  "\r\n[EDI]\r\nExportar=SIM\r\nImportar=SIM\r\nServidor=127.0.0.1:" +
                                                  std::to_string(porta) + "\r\nPausa=0\r\n");
        return home;
    }
};

std::vector<std::string> linhas(Programa& p, const domain::Table& t) {
    std::string ordem;
    for (const auto& k : t.primaryKey)
        ordem += (ordem.empty() ? "" : ", ") + k;
    db::Query q(p.dm().DB(), "select * from " + t.name + " order by " + ordem);
    std::vector<std::string> out;
    for (q.open(); !q.eof(); q.next()) {
        std::string l;
        for (size_t i = 0; i < q.fields().size(); ++i)
            if (q.fields()[i].name != "DT_EXP")
                l += q.value(i).debugString() + ";";
        out.push_back(l);
    }
    return out;
}

std::string status(Programa& p) {
    db::Query q(p.dm().DB(), "select VALOR from PARAMETRO where CD_PARAMETRO = 29");
    q.open();
    return q.value(0).asText();
}

TEST(System, AUnitsRowsTravelThroughTheCentralServerAndAreImportedAtTheCentralUnit) {
    Rede rede;
    const fs::path u12 = rede.instalacao("u12", 12, 25), c31 = rede.instalacao("c31", 31, 0);
    test::RecordingUi uiU, uiC;
    Programa unidade(u12, uiU), central(c31, uiC);

    unidade.ExecucaoInicial(); // export, send (receive and import find nothing yet)
    EXPECT_EQ(status(unidade), "EDI - Inicio:");
    EXPECT_TRUE(unidade.engine().lbLog().empty()) << unidade.engine().lbLog();
    const fs::path dia = unidade.geral().sPathOut / formatDateTime("ddmmyy", Timestamp::localNow());
    EXPECT_FALSE(fs::is_empty(dia));
    for (const auto& e : fs::directory_iterator(unidade.geral().sPathOut))
        EXPECT_TRUE(e.is_directory()) << e.path(); // everything was sent and archived

    central.ExecucaoInicial(); // receive and import unit 12's packets
    EXPECT_EQ(status(central), "EDI - Inicio:");
    size_t tabelas = 0;
    for (const domain::Table* t : domain::registeredTables()) {
        if (t->kind != domain::TableKind::Data)
            continue;
        const auto enviadas = linhas(unidade, *t);
        EXPECT_EQ(linhas(central, *t), enviadas) << t->name;
        tabelas += enviadas.empty() ? 0 : 1;
    }
    EXPECT_GT(tabelas, 10u);

    // The server acknowledged everything: a second receive brings nothing new and imports nothing twice.
    central.ciclo().executa("receive");
    central.ciclo().executa("import");
    db::Query q(central.dm().DB(), "select count(*) from PACIENTE");
    q.open();
    EXPECT_EQ(q.value(0).asInt64(), 25);
    // Unit versions from the server were stored on the way.
    db::Query v(unidade.dm().DB(), "select VL_VERSAO from UNIDADE where CD_UNIDADE = 12");
    v.open();
    ASSERT_FALSE(v.eof());
    EXPECT_EQ(v.value(0).asText(), "2.0");
}

// True when another attachment cannot change that unit's row at once (nowait): the session holds it.
bool unidadePresa(Programa& p, int unidade) {
    auto outra = db::Database::open(p.dm().DB().params());
    try {
        outra->execute("update UNIDADE set DS_UNIDADE = DS_UNIDADE where CD_UNIDADE = " + std::to_string(unidade));
        outra->transaction().commit();
        return false;
    } catch (const DatabaseError&) {
        return true;
    }
}

TEST(System, TheUnitVersionsAreCommittedAlsoWhenTheReceiveThenFails) {
    Rede rede;
    const fs::path u12 = rede.instalacao("u12", 12, 0);
    test::RecordingUi ui;
    Programa unidade(u12, ui);
    fs::create_directories(unidade.geral().sPathTemp);
    // The list of waiting files cannot be saved: the receive fails after the versions were stored.
    fs::remove_all(u12 / "EDI" / "IN");
    writeFileAtomically(u12 / "EDI" / "IN", "not a folder");
    EXPECT_THROW(unidade.ciclo().executa("receive"), IoError);
    EXPECT_FALSE(unidadePresa(unidade, 12));

    // The menu entry "Versao Unidades" runs the fetch alone.
    unidade.GetVersaoUnidadesWeb();
    EXPECT_FALSE(unidadePresa(unidade, 12));
    db::Query v(unidade.dm().DB(), "select VL_VERSAO from UNIDADE where CD_UNIDADE = 12");
    v.open();
    EXPECT_EQ(v.value(0).asText(), "2.0");
}

TEST(System, OfflineTheStartUpRunLeavesOutTheNetworkAndEndsWithInicio) {
    Rede rede;
    const fs::path u12 = rede.instalacao("u12", 12, 3);
    std::string ini = readFile(u12 / "jaq.ini"); // [EDI] is the last section
    writeFileAtomically(u12 / "jaq.ini", ini + "Offline=SIM\r\nTempo=0\r\n");
    test::RecordingUi ui;
    Programa unidade(u12, ui);
    EXPECT_EQ(unidade.ciclo().intervaloMs, 3600000);
    EXPECT_NE(unidade.engine().lbLog().find("Tempo \"0\" inválido"), std::string::npos) << unidade.engine().lbLog();

    unidade.ExecucaoInicial();
    EXPECT_EQ(status(unidade), "EDI - Inicio:");
    EXPECT_EQ(ui.of("warning").size(), 2u);               // send and receive; the update stays silent
    EXPECT_FALSE(fs::is_empty(unidade.geral().sPathOut)); // exported, waiting for the network
    EXPECT_EQ(rede.log.str().find("GET /"), std::string::npos) << rede.log.str(); // nothing was asked

    // With a network but no answer, the update fails as any stage that cannot reach the server.
    unidade.config().forcaOffline = false;
    unidade.geral().sDominio = "127.0.0.1:1";
    EXPECT_THROW(unidade.ciclo().executa("update"), TransportError);
}

TEST(System, ATempFolderThatCannotBeCreatedFailsOnlyTheStagesThatNeedIt) {
    Rede rede;
    const fs::path u12 = rede.instalacao("u12", 12, 3);
    writeFileAtomically(u12 / "Temp", "not a folder");
    test::RecordingUi ui;
    Programa unidade(u12, ui);
    EXPECT_NE(unidade.engine().lbLog().find("Temp"), std::string::npos) << unidade.engine().lbLog();

    // Export and send work; the receive needs Temp for the unit versions and fails.
    EXPECT_THROW(unidade.ExecucaoInicial(), IoError);
    EXPECT_EQ(status(unidade), "Enviar!");
    EXPECT_FALSE(rede.servidor->store().waitingFor(31).empty());
}

TEST(System, AnApplicationUpdatePublishedOnTheServerIsInstalledAndItsMomentKept) {
    Rede rede;
    const fs::path u12 = rede.instalacao("u12", 12, 0);
    test::TempDir origem;
    test::makeZip(origem / "relatorios.zip", {{"modelo.txt", "modelo novo"}, {"sub/leia.txt", "leia"}});
    central::publishUpdate(central::WebRoot(rede.raiz / "central"), origem / "relatorios.zip",
                           {Timestamp::localNow(), "", "/*APP*/relatorios/modelo.txt", "1", "0"});
    test::RecordingUi ui;
    Programa unidade(u12, ui);
    unidade.ciclo().executa("update");
    EXPECT_EQ(readFile(u12 / "relatorios" / "modelo.txt"), "modelo novo");
    EXPECT_EQ(readFile(u12 / "relatorios" / "leia.txt"), "leia");
    EXPECT_FALSE(fs::exists(unidade.geral().sPathIn / "relatorios.zip"));
    EXPECT_EQ(ui.message(), "Update conlcuido!");
    const std::string momento = LeConfiguracao(u12 / "jaq.ini").update;
    EXPECT_EQ(momento, unidade.geral().prmDataUpdate);
    EXPECT_EQ(momento.size(), 19u);
}

// The documents of the pending protocols and their summary, as the central server holds them.
TEST(System, ProtocolsReachTheCentralServerOnceAcrossARestart) {
    Rede rede;
    const fs::path u12 = rede.instalacao("u12", 12, 2);
    test::RecordingUi ui;
    const std::string pendentes = "select CD_UND, CD_PROTOCOLO, BL_PROTOCOLO from PROTOCOLO_ENVIO "
                                  "where FL_ENVIADO is null or FL_ENVIADO = 'N'";
    std::vector<std::pair<std::string, std::string>> documentos;
    {
        Programa unidade(u12, ui);
        db::Query q(unidade.dm().DB(), pendentes);
        for (q.open(); !q.eof(); q.next()) {
            const Bytes b = q.value("BL_PROTOCOLO").asBytes();
            documentos.emplace_back("Protocolo" + q.value(0).asText() + "_" + q.value(1).asText() + ".xml",
                                    std::string(b.begin(), b.end()));
        }
        q.close();
        ASSERT_FALSE(documentos.empty());
        unidade.Protocolo1Click();
    } // the program ends
    for (const auto& [nome, conteudo] : documentos)
        EXPECT_EQ(readFile(rede.raiz / "central" / "edi" / "out" / nome), conteudo) << nome;
    const auto resumos = rede.servidor->store().protocols();
    ASSERT_EQ(resumos.size(), 1u);
    EXPECT_EQ(resumos[0].unit, 12);
    EXPECT_TRUE(fs::exists(u12 / "EDI" / "PROT" / "bk" / resumos[0].name)) << resumos[0].name;

    Programa outraVez(u12, ui);
    db::Query q(outraVez.dm().DB(), pendentes);
    q.open();
    EXPECT_TRUE(q.eof());
    q.close();
    outraVez.Protocolo1Click();
    EXPECT_EQ(rede.servidor->store().protocols().size(), 1u); // nothing pending, no summary
}

} // namespace
} // namespace edi

// The headless program as scripts and services run it.
#include "core/datetime.h"
#include "core/files.h"
#include "db/database.h"
#include "domain/create_database.h"
#include "domain/seed.h"
#include "packet/packet_table.h"
#include "platform/system_info.h"
#include "support/smtp_server.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace edi {
namespace {

namespace fs = std::filesystem;

struct Execucao {
    int status = -1;
    std::string saida;
};

// Runs edi-sync with the arguments; with `paraDepois` > 0 it sends SIGTERM after that many milliseconds.
Execucao roda(std::vector<std::string> args, int paraDepois = 0) {
    const char* programa = std::getenv("EDI_SYNC");
    if (!programa)
        throw std::runtime_error("EDI_SYNC not set");
    test::TempDir dir;
    const std::string saida = (dir / "out.txt").string();
    posix_spawn_file_actions_t acoes;
    posix_spawn_file_actions_init(&acoes);
    posix_spawn_file_actions_addopen(&acoes, 1, saida.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&acoes, 1, 2);
    std::vector<char*> argv{const_cast<char*>(programa)};
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, programa, &acoes, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start edi-sync");
    posix_spawn_file_actions_destroy(&acoes);
    if (paraDepois > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(paraDepois));
        kill(pid, SIGTERM);
    }
    Execucao e;
    waitpid(pid, &e.status, 0);
    e.saida = readFile(saida);
    return e;
}

fs::path instalacao(const test::TempDir& dir, const std::string& servidor, int unidade = 12) {
    domain::CreateOptions o;
    o.connection.database = (dir / "u12.fdb").string();
    o.unit = unidade;
    o.forcedWrites = false;
    domain::createDatabase(o);
    writeFileAtomically(dir / "jaq.ini",
                        "[Geral]\nDB=" + o.connection.database + "\n[EDI]\nServidor=" + servidor + "\nPausa=0\n");
    return dir.path();
}

TEST(EdiSync, StagesByNameAndExitStatusTellWhatHappened) {
    test::TempDir dir;
    const fs::path home = instalacao(dir, "127.0.0.1:1"); // nothing listens there
    Execucao exporta = roda({"--home", home.string(), "export"});
    EXPECT_TRUE(WIFEXITED(exporta.status) && WEXITSTATUS(exporta.status) == 0) << exporta.saida;
    EXPECT_NE(exporta.saida.find("[estado] Pronto!"), std::string::npos) << exporta.saida;

    Execucao recebe = roda({"--home", home.string(), "receive"});
    EXPECT_EQ(WEXITSTATUS(recebe.status), 1) << recebe.saida; // the error escaped the stage
    EXPECT_NE(recebe.saida.find("[erro]"), std::string::npos) << recebe.saida;

    // Nothing pending: the protocols stage asks the server nothing.
    Execucao protocolos = roda({"--home", home.string(), "protocols"});
    EXPECT_TRUE(WIFEXITED(protocolos.status) && WEXITSTATUS(protocolos.status) == 0) << protocolos.saida;
    EXPECT_EQ(WEXITSTATUS(roda({"--home", home.string(), "dance"}).status), 2);
    test::TempDir vazio;
    Execucao semBanco = roda({"--home", vazio.path().string()});
    EXPECT_EQ(WEXITSTATUS(semBanco.status), 1);
    EXPECT_NE(semBanco.saida.find("o texto de conexão está vazio"), std::string::npos) << semBanco.saida;
}

TEST(EdiSync, RecordsHeldForTheOperatorAreCountedAndReimportarRetriesThem) {
    test::TempDir dir;
    const fs::path home = instalacao(dir, "127.0.0.1:1", 31);
    const fs::path retidos = home / "EDI" / "IN" / "retidos";
    fs::create_directories(retidos);
    // Failed three runs: the central table lacks a column the unit added.
    PacketTable t({{"CD_PACIENTE", FieldType::Integer},
                   {"CD_UND", FieldType::Integer},
                   {"CD_EDI", FieldType::Integer},
                   {"NR_NOVA_COLUNA", FieldType::Integer}});
    t.append();
    for (const char* campo : {"CD_PACIENTE", "CD_UND", "CD_EDI", "NR_NOVA_COLUNA"})
        t.setValue(campo, Value::int32(12));
    t.post();
    t.saveToFile(retidos / "3-PACIENTE12010124080000.xml");

    const Execucao importa = roda({"--home", home.string(), "import"});
    EXPECT_NE(importa.saida.find("0 para nova tentativa, 0 à espera de um registro bloqueado, 1 à espera do operador. "
                                 "Veja o motivo"),
              std::string::npos)
        << importa.saida;
    EXPECT_TRUE(fs::exists(retidos / "3-PACIENTE12010124080000.xml")); // not retried on its own

    const Execucao reimporta = roda({"--home", home.string(), "reimportar"});
    EXPECT_TRUE(WIFEXITED(reimporta.status) && WEXITSTATUS(reimporta.status) == 0) << reimporta.saida;
    EXPECT_FALSE(fs::exists(retidos / "3-PACIENTE12010124080000.xml"));
    EXPECT_TRUE(fs::exists(retidos / "4-PACIENTE12010124080000.xml"));
}

bool contem(const Execucao& e, const std::string& texto) {
    return e.saida.find(texto) != std::string::npos;
}

TEST(EdiSync, StatusTellsWhatWaitsAndStillReadsTheFoldersWhenTheDatabaseIsInUse) {
    test::TempDir dir;
    const fs::path home = instalacao(dir, "127.0.0.1:1");
    db::ConnectionParams base;
    base.database = (dir / "u12.fdb").string();
    domain::seedDatabase(*db::Database::open(base), {.patients = 3, .seed = 1});
    const fs::path in = home / "EDI" / "IN";
    fs::create_directories(in / "retidos");
    fs::create_directories(in / "corrompido" / "091226" / "Liberado");
    fs::create_directories(home / "EDI" / "OUT");
    writeFileAtomically(in / "PACIENTE31010124080000.xml", "x");
    writeFileAtomically(in / "corrompido" / "091226" / "PACIENTE31020124080000.xml", "x");
    writeFileAtomically(in / "corrompido" / "091226" / "Liberado" / "PACIENTE31030124080000.xml", "x");
    writeFileAtomically(in / "retidos" / "3-PACIENTE31040124080000.xml", "x"); // unreadable: counts as one record
    writeFileAtomically(home / "EDI" / "OUT" / "PACIENTE12010124080000.xml.tmp", "x");

    const Execucao antes = roda({"--home", home.string(), "status", "--json"});
    EXPECT_TRUE(WIFEXITED(antes.status) && WEXITSTATUS(antes.status) == 0) << antes.saida;
    EXPECT_TRUE(contem(antes, "{\"pacotes_out\":0,\"pacotes_in\":1,\"separados\":{\"aguardando\":1,\"liberados\":1},"
                              "\"retidos\":{\"nova_tentativa\":0,\"bloqueio\":0,\"operador\":1},"
                              "\"base\":{\"lida\":true,\"erro\":null}"))
        << antes.saida;
    EXPECT_TRUE(contem(antes, "{\"tabela\":\"PACIENTE\",\"linhas\":3,\"erro\":null}")) << antes.saida;

    ASSERT_EQ(WEXITSTATUS(roda({"--home", home.string(), "export"}).status), 0);
    const Execucao depois = roda({"--home", home.string(), "status"});
    EXPECT_TRUE(contem(depois, "Pacotes à espera de envio em EDI/OUT: ")) << depois.saida;
    EXPECT_FALSE(contem(depois, "Pacotes à espera de envio em EDI/OUT: 0\n")) << depois.saida;
    EXPECT_TRUE(contem(depois, "Último estado: Exportar!\n")) << depois.saida;
    EXPECT_TRUE(contem(depois, "  total: 0\n")) << depois.saida;
    EXPECT_TRUE(contem(depois, "\n  PACIENTE12")) << depois.saida;
    EXPECT_TRUE(contem(depois, "Pacotes recentes:\n")) << depois.saida;
    // The export's outcome and its packet are read from the journal, also while the database is in use below.
    const std::string hoje = formatDateTime("yyyy-mm-dd", Timestamp::localNow());
    auto registrouAExportacao = [&](const Execucao& e) {
        EXPECT_TRUE(contem(e, "\"etapas\":[{\"etapa\":\"export\",\"ultimo_sucesso\":\"" + hoje)) << e.saida;
        EXPECT_TRUE(contem(e, "\"ultimo_erro\":null}")) << e.saida;
        EXPECT_TRUE(contem(e, "{\"pacote\":\"PACIENTE12")) << e.saida;
        EXPECT_TRUE(contem(e, "\"passos\":[{\"passo\":\"exportado\",\"momento\":\"" + hoje)) << e.saida;
        EXPECT_TRUE(contem(e, "{\"dia\":\"" + hoje + "\",\"enviadas\":")) << e.saida;
        EXPECT_FALSE(contem(e, "{\"dia\":\"" + hoje + "\",\"enviadas\":0,")) << e.saida;
    };
    registrouAExportacao(roda({"--home", home.string(), "status", "--json"}));

    // An embedded database is exclusive to the process that has it open, as during a running cycle.
    const auto emUso = db::Database::open(base);
    const Execucao ocupada = roda({"--home", home.string(), "status", "--json"});
    EXPECT_TRUE(WIFEXITED(ocupada.status) && WEXITSTATUS(ocupada.status) == 0) << ocupada.saida;
    EXPECT_TRUE(contem(ocupada, "\"pacotes_in\":1,")) << ocupada.saida;
    EXPECT_TRUE(contem(ocupada, "\"base\":{\"lida\":false,\"erro\":\"")) << ocupada.saida;
    EXPECT_TRUE(contem(ocupada, "\"pendentes\":null,\"censos\":null}")) << ocupada.saida;
    registrouAExportacao(ocupada);
    EXPECT_EQ(WEXITSTATUS(roda({"--home", home.string(), "status", "export"}).status), 2);
}

TEST(EdiSync, StartUpRemovesTemporaryFilesOfAnInterruptedRunOnceTheyAreADayOld) {
    test::TempDir dir;
    const fs::path home = instalacao(dir, "127.0.0.1:1");
    const auto antigo = fs::file_time_type::clock::now() - std::chrono::hours(25);
    const std::vector<fs::path> velhos = {home / "EDI/OUT/.PACIENTE12010203040506.xml.tmp4711-0",
                                          home / "EDI/IN/.PACIENTE31010203040506.xml.tmp99-12",
                                          home / "Temp/.Unidades.xml.tmp5-3"};
    const std::vector<fs::path> ficam = {home / "EDI/OUT/.PACIENTE12010203040507.xml.tmp4712-0", // still recent
                                         home / "EDI/IN/PACIENTE31010203040506.xml", home / "Temp/notas.tmp",
                                         home / "EDI/OUT/.oculto"};
    for (const auto& f : velhos) {
        fs::create_directories(f.parent_path());
        writeFileAtomically(f, "restos");
        fs::last_write_time(f, antigo);
    }
    for (const auto& f : ficam) {
        writeFileAtomically(f, "fica");
        if (f.filename().string().find("07.xml") == std::string::npos)
            fs::last_write_time(f, antigo);
    }
    const Execucao e = roda({"--home", home.string(), "export"});
    EXPECT_EQ(WEXITSTATUS(e.status), 0) << e.saida;
    for (const auto& f : velhos)
        EXPECT_FALSE(fs::exists(f)) << f;
    for (const auto& f : ficam)
        EXPECT_TRUE(fs::exists(f)) << f;
}

TEST(EdiSync, AnErrorThatEscapesAStageIsLoggedMailedAndPrintedAndExitsOne) {
    test::ServidorSmtp servidor;
    test::TempDir dir;
    const fs::path home = instalacao(dir, "127.0.0.1:1");
    const std::string ini = readFile(home / "jaq.ini");
    writeFileAtomically(home / "jaq.ini", ini + "[Email]\nHost=127.0.0.1\nPorta=" + std::to_string(servidor.porta()) +
                                              "\nUsuario=" + servidor.opcoes().usuario +
                                              "\nSenha=" + servidor.opcoes().senha + "\n");
    const Execucao e = roda({"--home", home.string(), "receive"});
    EXPECT_EQ(WEXITSTATUS(e.status), 1) << e.saida;
    EXPECT_NE(e.saida.find("Application Error: Exceção edi::"), std::string::npos) << e.saida;
    const auto m = servidor.mensagens();
    ASSERT_EQ(m.size(), 1u) << e.saida;
    EXPECT_EQ(m[0].assunto, "Haldren - Erro");
    EXPECT_NE(m[0].corpo.find("Pilha de chamadas:"), std::string::npos) << m[0].corpo;
    // A single stage identifies the installation as the start-up run does.
    for (const std::string& linha :
         {"\nComputer:" + platform::NomeDoComputador() + "\n", std::string("\nUnidade:12-Unidade 12\n"),
          std::string("\nUsuário:-\n"), "\nSistema:EDI - ( Versão: " + domain::CreateOptions{}.version + " )\n",
          "\nLocal:" + (home / "").string() + "\n"})
        EXPECT_NE(m[0].corpo.find(linha), std::string::npos) << linha << m[0].corpo;
    EXPECT_EQ(m[0].corpo.find(servidor.opcoes().senha), std::string::npos);
    EXPECT_FALSE(fs::exists(home / "EDIMorvanix.log"));
}

TEST(EdiSync, TheDaemonStopsCleanlyOnSigterm) {
    test::TempDir dir;
    const fs::path home = instalacao(dir, "127.0.0.1:1");
    const Execucao e = roda({"--home", home.string(), "--daemon"}, 3000);
    EXPECT_TRUE(WIFEXITED(e.status)) << e.saida;
    EXPECT_EQ(WEXITSTATUS(e.status), 0) << e.saida;
    EXPECT_NE(e.saida.find("Próxima execução "), std::string::npos) << e.saida;
}

} // namespace
} // namespace edi

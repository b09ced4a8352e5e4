// The real program: command line, publish, serving until SIGTERM.
#include "central_rig.h"

#include "central/command_line.h"
#include "central/contas.h"
#include "central/sqlite_store.h"
#include "core/files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace edi::central::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(CentralProgram, ServesUntilSigtermAndExitsCleanly) {
    ASSERT_FALSE(programPath().empty()) << "EDI_CENTRAL_SERVER is not set";
    edi::test::TempDir dir;
    const fs::path root = dir / "root";
    writeFileAtomically(dir / "edi.zip", "PK");

    // Publish through the program, then serve it.
    const pid_t publisher =
        spawn({"publish", "--root", root.string(), (dir / "edi.zip").string(), "--destino", "/*APP*/edi.exe", "--tipo",
               "1", "--exec", "1", "--publicado", "2014-01-02 03:04:05"},
              dir / "publish.log");
    ASSERT_GT(publisher, 0);
    ASSERT_EQ(waitForExit(publisher), 0) << readFile(dir / "publish.log");

    const int port = freePort();
    const pid_t server = spawn({"--root", root.string(), "--listen", "127.0.0.1:" + std::to_string(port), "--units",
                                "12:2.0.1,14", "--login", "central", "--password", "s3cret"},
                               dir / "server.log");
    ASSERT_GT(server, 0);
    bool up = false;
    for (int i = 0; i < 500 && !(up = accepts(port)); ++i)
        std::this_thread::sleep_for(10ms);
    if (!up) {
        ::kill(server, SIGKILL);
        ::waitpid(server, nullptr, 0);
        FAIL() << "the server did not listen: " << readFile(dir / "server.log");
    }

    transport::HttpClient client(clientOptions("central", "s3cret"));
    const auto answer =
        client.getText("127.0.0.1:" + std::to_string(port) + "/dbArquivo.php?op=APP&data=%2701-01-1900%27");
    ASSERT_TRUE(answer.has_value()) << answer.error();
    PacketTable list = PacketTable::loadFromString(*answer);
    ASSERT_EQ(list.recordCount(), 1u);
    list.first();
    EXPECT_EQ(list.value("NOME").asText(), "E:\\Home\\quelmar\\Web\\app\\edi.zip");
    EXPECT_EQ(list.value("EXEC").asText(), "1");

    ASSERT_EQ(::kill(server, SIGTERM), 0);
    EXPECT_EQ(waitForExit(server), 0);
    const std::string log = readFile(dir / "server.log");
    EXPECT_THAT(log, HasSubstr("escutando em 127.0.0.1:" + std::to_string(port)));
    EXPECT_THAT(log, HasSubstr("GET /dbArquivo.php?op=APP&data=%2701-01-1900%27 200"));
    EXPECT_THAT(log, HasSubstr("parado"));
    EXPECT_FALSE(accepts(port));
}

TEST(CentralProgram, BadCommandLinesExitWithTheUsage) {
    ASSERT_FALSE(programPath().empty());
    edi::test::TempDir dir;
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--listen", "127.0.0.1:1"},
                                               {"--root", "x", "--listen", "nohost"},
                                               {"--root", "x", "--listen", "127.0.0.1:1", "--bogus", "1"}}) {
        const pid_t pid = spawn(args, dir / "out.log");
        ASSERT_GT(pid, 0);
        EXPECT_EQ(waitForExit(pid), 2);
        EXPECT_THAT(readFile(dir / "out.log"), HasSubstr("edi-central-server --help"));
    }
}

TEST(CentralProgram, ManagesAccountsWithThePasswordOutsideTheCommandLine) {
    ASSERT_FALSE(programPath().empty());
    edi::test::TempDir dir;
    const std::string root = (dir / "root").string();
    ::setenv("EDI_SENHA_CONTA", "s3gredo-12", 1);
    const auto run = [&](const std::vector<std::string>& args) {
        const pid_t pid = spawn(args, dir / "out.log");
        return pid > 0 ? waitForExit(pid) : -1;
    };
    EXPECT_EQ(run({"account", "--root", root, "u12", "--unit", "12", "--password-from", "env"}), 0)
        << readFile(dir / "out.log");
    ::unsetenv("EDI_SENHA_CONTA");
    EXPECT_EQ(run({"account", "--root", root, "u12", "--operator", "sim"}), 0) << readFile(dir / "out.log");
    EXPECT_EQ(run({"account", "--root", root, "novo", "--unit", "14"}), 1); // a new account needs a password
    EXPECT_THAT(readFile(dir / "out.log"), HasSubstr("a conta novo é nova"));
    EXPECT_EQ(run({"account", "--root", root, "novo", "--password-from", "env"}), 1);
    EXPECT_EQ(run({"accounts", "--root", root}), 0);
    EXPECT_EQ(readFile(dir / "out.log"), "u12\t12\toperador\n");

    SqliteStore store(fs::path(root) / "central-state.db", fs::path(root) / "edi" / "out");
    const auto conta = store.conta("u12");
    ASSERT_TRUE(conta.has_value());
    EXPECT_TRUE(senhaConfere("s3gredo-12", conta->hashSenha));
    EXPECT_THAT(conta->hashSenha, Not(HasSubstr("s3gredo")));
}

TEST(CentralCommandLine, ReadsTheServerOptions) {
    const auto command = parseCommandLine({"--root", "/srv/edi", "--listen", "0.0.0.0:8080", "--central", "7",
                                           "--units", "12,14:2.1.0-05", "--login", "l", "--password", "p", "--database",
                                           "/data/central.fdb", "--max-upload-mb", "3"});
    const ServerConfig& c = std::get<ServeCommand>(command).config;
    EXPECT_EQ(c.root, "/srv/edi");
    EXPECT_EQ(c.host, "0.0.0.0");
    EXPECT_EQ(c.port, 8080);
    EXPECT_EQ(c.centralUnit, 7);
    ASSERT_EQ(c.units.size(), 2u);
    EXPECT_EQ(c.units[0].code, 12);
    EXPECT_EQ(c.units[0].version, "");
    EXPECT_EQ(c.units[1].code, 14);
    EXPECT_EQ(c.units[1].version, "2.1.0-05");
    EXPECT_EQ(c.login, "l");
    EXPECT_EQ(c.password, "p");
    ASSERT_TRUE(c.database.has_value());
    EXPECT_EQ(c.database->database, "/data/central.fdb");
    EXPECT_EQ(c.maxUploadBytes, std::size_t{3} << 20);

    const ServerConfig defaults =
        std::get<ServeCommand>(parseCommandLine({"--root", "r", "--listen", "127.0.0.1:0"})).config;
    EXPECT_EQ(defaults.centralUnit, 31);
    EXPECT_EQ(defaults.login, "quelmar");
    EXPECT_EQ(defaults.password, "dorven");
    EXPECT_FALSE(defaults.database.has_value());
    EXPECT_EQ(defaults.maxUploadBytes, std::size_t{512} << 20);

    for (const std::string units : {"", "12,", "x", "12:", "0", "-3"})
        EXPECT_THROW(parseUnitList(units), UsageError) << units;
    EXPECT_THROW(parseCommandLine({"--root", "r", "--listen", "127.0.0.1:0", "--login", "only"}), UsageError);
    EXPECT_THROW(parseCommandLine({"--root", "r", "--listen", "127.0.0.1:70000"}), UsageError);
    for (const std::string mb : {"0", "-1", "1.5", "", "99999999999999999999"})
        EXPECT_THROW(parseCommandLine({"--root", "r", "--listen", "127.0.0.1:0", "--max-upload-mb", mb}), UsageError)
            << mb;
    EXPECT_THROW(parseCommandLine({"publish", "--root", "r", "f.zip"}), UsageError); // no --destino

    const ServerConfig tls =
        std::get<ServeCommand>(parseCommandLine({"--root", "r", "--listen", "127.0.0.1:0", "--cert", "c.pem", "--key",
                                                 "k.pem", "--shared-account", "nao", "--shared-sql", "sim"}))
            .config;
    EXPECT_EQ(tls.certificate, "c.pem");
    EXPECT_EQ(tls.privateKey, "k.pem");
    EXPECT_FALSE(tls.sharedAccount);
    EXPECT_TRUE(tls.sharedSql);
    EXPECT_TRUE(defaults.sharedAccount);
    EXPECT_FALSE(defaults.sharedSql);
    for (const std::vector<std::string>& wrong :
         std::vector<std::vector<std::string>>{{"--root", "r", "--listen", "127.0.0.1:0", "--cert", "c.pem"},
                                               {"--root", "r", "--listen", "127.0.0.1:0", "--shared-account", "talvez"},
                                               {"account", "--root", "r", "a:b", "--password-from", "env"},
                                               {"account", "--root", "r", "u", "--password-from", "argv"},
                                               {"account", "--root", "r", "u", "--operator", "1"}})
        EXPECT_THROW(parseCommandLine(wrong), UsageError) << wrong.back();
}

TEST(CentralCommandLine, ThePostgresConnectionComesFromTheOptionElseTheEnvironment) {
    const auto config = [](std::vector<std::string> args) {
        args.insert(args.end(), {"--root", "r", "--listen", "127.0.0.1:0"});
        return std::get<ServeCommand>(parseCommandLine(args)).config;
    };
    ::unsetenv("EDI_CENTRAL_POSTGRES");
    EXPECT_EQ(config({}).postgres, "");
    ::setenv("EDI_CENTRAL_POSTGRES", "host=env dbname=edi", 1);
    EXPECT_EQ(config({}).postgres, "host=env dbname=edi");
    EXPECT_EQ(config({"--postgres", "host=db dbname=edi"}).postgres, "host=db dbname=edi");
    ::unsetenv("EDI_CENTRAL_POSTGRES");
}

} // namespace
} // namespace edi::central::test

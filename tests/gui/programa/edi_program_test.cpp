#include "central/server.h"
#include "db/database.h"
#include "db/query.h"
#include "domain/create_database.h"
#include "domain/seed.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace edi {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The desktop program started on a program folder; killed if a test leaves it running.
class Programa {
public:
    explicit Programa(const fs::path& home, std::vector<std::string> extras = {}) {
        const char* exe = std::getenv("EDI_PROGRAM");
        if (!exe)
            throw std::runtime_error("EDI_PROGRAM not set");
        std::string homeText = home.string();
        std::vector<char*> argv = {const_cast<char*>(exe), const_cast<char*>("--home"), homeText.data()};
        for (auto& extra : extras)
            argv.push_back(extra.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, exe, nullptr, nullptr, argv.data(), environ) != 0)
            throw std::runtime_error("cannot start the program");
    }
    ~Programa() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    void stop() { kill(pid_, SIGTERM); }
    // The exit status, or nothing if it is still running after `limit`.
    std::optional<int> waitExit(std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(50ms);
        }
        return std::nullopt;
    }

private:
    pid_t pid_ = -1;
};

bool waitUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(50ms);
    return done();
}

void writeIni(const fs::path& home, const std::string& database, int serverPort) {
    std::ofstream ini(home / "jaq.ini");
    ini << "[Geral]\nDB=" << database << "\n[EDI]\nServidor=127.0.0.1:" << serverPort << "\nPausa=0\nTempo=60\n";
}

db::ConnectionParams connection(const fs::path& database) {
    db::ConnectionParams p;
    p.database = database.string();
    return p;
}

std::string statusText(const fs::path& database) {
    auto db = db::Database::open(connection(database));
    db::Query q(*db, "select VALOR from PARAMETRO where CD_PARAMETRO = 29");
    q.open();
    return q.eof() ? "<no row>" : q.value(0).asText();
}

size_t filesUnder(const fs::path& folder) {
    size_t n = 0;
    std::error_code ec; // the server may be renaming a file while we look
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        n += it->is_regular_file(ec) && it->path().extension() == ".xml";
    return n;
}

TEST(DesktopProgram, RunsTheStartUpCycleWhenShownAndStopsCleanlyOnTerm) {
    test::TempDir home, web;
    const fs::path database = home / "unit.fdb";
    domain::CreateOptions o;
    o.connection = connection(database);
    o.unit = 12;
    o.forcedWrites = false;
    domain::createDatabase(o);
    {
        auto db = db::Database::open(o.connection);
        domain::seedDatabase(*db, {.patients = 2});
    }
    central::ServerConfig config;
    config.root = web.path();
    std::ostringstream serverLog;
    central::CentralServer server(config, serverLog);
    writeIni(home.path(), database.string(), server.start());

    Programa edi(home.path());
    // Once the start-up run has sent a packet, a stop request ends the program after that run.
    ASSERT_TRUE(waitUntil([&] { return filesUnder(web.path()) > 0; }, 60s));
    edi.stop();
    const auto exitCode = edi.waitExit(60s);
    ASSERT_TRUE(exitCode.has_value()) << "the program did not stop";
    EXPECT_EQ(*exitCode, 0);
    EXPECT_EQ(statusText(database), "EDI - Inicio:");
    // The unit's rows went out as packets and reached the server.
    EXPECT_GT(filesUnder(web.path()), 0u) << serverLog.str();
    EXPECT_EQ(filesUnder(home / "EDI" / "OUT"), 0u);
}

TEST(DesktopProgram, ConnectionFailureEndsWithoutAnyCycle) {
    test::TempDir home;
    writeIni(home.path(), (home / "missing.fdb").string(), 1);

    Programa edi(home.path());
    // The error box waits for the operator; nothing else may happen meanwhile.
    EXPECT_FALSE(edi.waitExit(2s).has_value());
    edi.stop();
    const auto exitCode = edi.waitExit(30s);
    ASSERT_TRUE(exitCode.has_value()) << "the error box did not give way to a stop request";
    EXPECT_EQ(*exitCode, 1);
    EXPECT_FALSE(fs::exists(home / "Temp"));
    EXPECT_FALSE(fs::exists(home / "EDI"));
}

TEST(DesktopProgram, AReportThatIsNotThereIsAWrongCommandLine) {
    test::TempDir home;
    writeIni(home.path(), (home / "missing.fdb").string(), 1);
    Programa edi(home.path(), {"--relatorio", (home / "nao-existe.html").string()});
    const auto exitCode = edi.waitExit(30s);
    ASSERT_TRUE(exitCode.has_value()) << "a missing report must end the program before any window";
    EXPECT_EQ(*exitCode, 2);
}

} // namespace
} // namespace edi

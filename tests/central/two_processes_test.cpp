// Two server processes on one PostgreSQL, one of them killed midway: nothing lost, nothing delivered twice.
#include "central_rig.h"

#include "central/postgres.h"
#include "core/files.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

namespace edi::central::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kCentral = 31;
constexpr int kUnits = 200;
constexpr int kThreads = 6;
constexpr int kStepsPerThread = 150;

// One edi-central-server process on the shared database.
struct Process {
    fs::path dir;
    std::string conninfo;
    int port = freePort();
    pid_t pid = -1;
    int launches = 0;

    // Each launch has a log of its own: the killed process's log tells what it did before it died.
    fs::path log() const { return dir / ("server-" + std::to_string(launches) + ".log"); }
    void launch() {
        fs::create_directories(dir);
        ++launches;
        pid = spawn({"--root", (dir / "root").string(), "--listen", "127.0.0.1:" + std::to_string(port), "--postgres",
                     conninfo},
                    log());
    }
    bool listening() const {
        for (int i = 0; i < 500; ++i) {
            if (accepts(port))
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    void kill(int signal) {
        ::kill(pid, signal);
        ::waitpid(pid, nullptr, 0);
    }
};

// What the simulated units did and saw.
struct Ledger {
    std::mutex mutex;
    std::map<std::string, std::string> content;    // name -> what was uploaded
    std::map<std::string, std::set<int>> expected; // name -> units it must reach
    std::set<std::string> registeredAgain;         // a registration retried after a lost answer
    // (unit, name) -> the entries acknowledged with 200; two threads may act as one unit and both acknowledge one
    std::map<std::pair<int, std::string>, std::set<std::string>> acked;
    std::vector<std::string> faults;
};

class Unit {
public:
    Unit(std::vector<Process*> servers, Ledger& ledger, const fs::path& scratch, unsigned seed)
        : servers_(std::move(servers)), ledger_(ledger), scratch_(scratch), random_(seed) {}

    // A request to a server chosen at random; when no whole answer comes (a killed process), the other one.
    transport::Resultado<std::string> get(const std::string& pathAndQuery, bool* retried = nullptr) {
        const std::size_t first = random_() % servers_.size();
        for (std::size_t i = 0; i < servers_.size(); ++i) {
            const Process& p = *servers_[(first + i) % servers_.size()];
            auto answer = client_.getText("127.0.0.1:" + std::to_string(p.port) + pathAndQuery);
            // A refusal is an answer; a success cut short (killed between the status line and the body) is not.
            const long status = client_.lastStatus();
            if (answer || (status != 0 && (status < 200 || status > 299)))
                return answer;
            if (retried)
                *retried = true;
        }
        return client_.getText("127.0.0.1:" + std::to_string(servers_.back()->port) + pathAndQuery);
    }

    void send(int unit, const std::string& name) {
        const std::string content = "<DATAPACKET unidade=\"" + std::to_string(unit) + "\" nome=\"" + name + "\"/>";
        writeFileAtomically(scratch_ / name, content);
        bool uploaded = false;
        for (std::size_t i = 0; i < 2 * servers_.size() && !uploaded; ++i)
            uploaded = bool(client_.BlockingUpload(
                "127.0.0.1:" + std::to_string(servers_[(i + random_()) % servers_.size()]->port) +
                    "/edi/ReceiveUpload.aspx",
                scratch_ / name));
        if (!uploaded)
            return;
        bool retried = false;
        if (!get("/dbArquivo.php?op=I&nome=" + name + "&unidade=" + std::to_string(unit), &retried))
            return;
        std::lock_guard lock(ledger_.mutex);
        ledger_.content[name] = content;
        if (retried)
            ledger_.registeredAgain.insert(name);
        if (unit != kCentral)
            ledger_.expected[name] = {kCentral};
        else
            for (int u = 1; u <= kUnits; ++u)
                ledger_.expected[name].insert(100 + u);
    }

    // Lists, downloads and acknowledges what waits; false when nothing waited.
    bool receive(int unit) {
        const auto list = get("/dbArquivo.php?op=S&unidade=" + std::to_string(unit));
        if (!list)
            return true;
        PacketTable rows = PacketTable::loadFromString(*list);
        bool any = false;
        for (rows.first(); !rows.eof(); rows.next()) {
            any = true;
            const std::string id = rows.value(0).asText();
            const std::string path = rows.value(1).asText();
            const std::string name = path.substr(path.rfind('\\') + 1);
            const auto packet = get("/edi/out/" + name);
            if (!packet)
                continue;
            const auto acked = get("/dbArquivo.php?op=A&edi=" + id + "&unidade=" + std::to_string(unit));
            std::lock_guard lock(ledger_.mutex);
            if (ledger_.content.count(name) && *packet != ledger_.content[name])
                ledger_.faults.push_back("conteúdo diferente de " + name + " para " + std::to_string(unit));
            if (acked)
                ledger_.acked[{unit, name}].insert(id);
        }
        return any;
    }

private:
    std::vector<Process*> servers_;
    Ledger& ledger_;
    fs::path scratch_;
    std::mt19937 random_;
    transport::HttpClient client_{clientOptions()};
};

TEST(CentralTwoProcesses, UnitsThroughTwoProcessesOneKilledLoseNothingAndGetNothingTwice) {
    if (!onPostgres())
        GTEST_SKIP() << "dois processos partilham só o estado no PostgreSQL";
    ASSERT_FALSE(programPath().empty()) << "EDI_CENTRAL_SERVER is not set";
    edi::test::TempDir dir;
    const std::string conninfo = freshPostgresSchema();
    Process a{dir.path() / "a", conninfo}, b{dir.path() / "b", conninfo};
    // Both make the schema at the same moment.
    a.launch();
    b.launch();
    ASSERT_TRUE(a.listening() && b.listening()) << readFile(a.log()) << readFile(b.log());

    Ledger ledger;
    fs::create_directories(dir.path() / "scratch");
    {
        Unit central({&a, &b}, ledger, dir.path() / "scratch", 1);
        // Half the units are known before the first central file, the others call first while central files are
        // registered: each must get them all.
        for (int u = 1; u <= kUnits / 2; ++u)
            ASSERT_TRUE(central.get("/dbArquivo.php?op=S&unidade=" + std::to_string(100 + u)));
    }
    std::atomic<int> steps{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            Unit units({&a, &b}, ledger, dir.path() / "scratch", 100 + t);
            std::mt19937 random(t);
            for (int i = 0; i < kStepsPerThread; ++i, ++steps) {
                // Thread 0 is the central unit too; the others share the units between them.
                const int unit = t == 0 && i % 3 == 0 ? kCentral : 101 + (t + kThreads * int(random() % 40)) % kUnits;
                if (random() % 3 == 0)
                    units.send(unit,
                               "F" + std::to_string(unit) + "_" + std::to_string(t) + "_" + std::to_string(i) + ".xml");
                else
                    units.receive(unit);
            }
        });
    while (steps < kThreads * kStepsPerThread / 2)
        std::this_thread::sleep_for(5ms);
    a.kill(SIGKILL); // in the middle of requests
    a.launch();
    ASSERT_TRUE(a.listening());
    for (auto& t : threads)
        t.join();

    // Every unit takes what still waits, through the restarted process.
    Unit drain({&a}, ledger, dir.path() / "scratch", 7);
    for (int unit = 1; unit <= kUnits + 1; ++unit)
        while (drain.receive(unit == kUnits + 1 ? kCentral : 100 + unit)) {
        }
    a.kill(SIGTERM);
    b.kill(SIGTERM);

    EXPECT_TRUE(ledger.faults.empty()) << ledger.faults.front();
    int deliveries = 0;
    for (const auto& [name, units] : ledger.expected)
        for (const int unit : units) {
            const std::size_t times = ledger.acked[{unit, name}].size();
            ++deliveries;
            EXPECT_GE(times, 1u) << name << " não chegou à unidade " << unit;
            EXPECT_LE(times, ledger.registeredAgain.count(name) ? 2u : 1u) << name << " chegou duas vezes a " << unit;
        }
    EXPECT_GT(deliveries, 1000);
    pg::Connection db(conninfo);
    EXPECT_EQ(db.exec("SELECT count(*) FROM delivery WHERE status = 0").integer(0, 0), 0);
    EXPECT_EQ(db.exec("SELECT count(*) FROM delivery d WHERE NOT EXISTS (SELECT 1 FROM upload u WHERE u.name = d.name)")
                  .integer(0, 0),
              0);
}

} // namespace
} // namespace edi::central::test

// Requests per second of the central server when units upload, register, list, download and acknowledge through
// it from several connections at once: the embedded store with one server, PostgreSQL with one and with two. Each
// server is a real edi-central-server process, as in a deployment, so the figures compare like with like.
#include "bench_figures.h"

#include "central/postgres.h"
#include "packet/packet_table.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <ostream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace edi::bench {
namespace {

constexpr int kCentralUnit = 31;
constexpr int kUnits = 200;
constexpr int kClients = 8;
constexpr int kCentralEvery = 50; // one central file per this many iterations of a client
constexpr double kSeconds = 5.0;

void mustAnswer(const httplib::Result& res, const std::string& what) {
    if (!res || res->status != 200)
        throw std::runtime_error(
            what + ": " + (res ? std::to_string(res->status) + " " + res->body : httplib::to_string(res.error())));
}

// One client: a unit sends a packet and takes what waits for it, through a server chosen at random.
class Client {
public:
    Client(const std::vector<int>& ports, int index) : index_(index) {
        for (const int port : ports) {
            auto c = std::make_unique<httplib::Client>("127.0.0.1", port);
            c->set_keep_alive(true);
            c->set_tcp_nodelay(true);
            c->set_basic_auth("quelmar", "dorven");
            servers_.push_back(std::move(c));
        }
    }

    // The requests one iteration made.
    int iterate(int i) {
        const int unit = i % kCentralEvery == 0 && index_ == 0 ? kCentralUnit : 1 + (index_ * 7919 + i) % kUnits;
        const std::string name = "B" + std::to_string(index_) + "_" + std::to_string(i) + ".xml";
        mustAnswer(server().Post("/edi/ReceiveUpload.aspx",
                                 httplib::MultipartFormDataItems{{"file1", "<DATAPACKET/>", name, "text/xml"}}),
                   "envio");
        mustAnswer(server().Get("/dbArquivo.php?op=I&nome=" + name + "&unidade=" + std::to_string(unit)), "op=I");
        int requests = 2;
        if (unit == kCentralUnit)
            return requests;
        const auto list = server().Get("/dbArquivo.php?op=S&unidade=" + std::to_string(unit));
        mustAnswer(list, "op=S");
        ++requests;
        PacketTable rows = PacketTable::loadFromString(list->body);
        for (rows.first(); !rows.eof(); rows.next()) {
            const std::string path = rows.value(1).asText();
            mustAnswer(server().Get("/edi/out/" + path.substr(path.rfind('\\') + 1)), "download");
            // Another client of the same unit may have taken it meanwhile: a 404 is an answer too.
            const auto ack =
                server().Get("/dbArquivo.php?op=A&edi=" + rows.value(0).asText() + "&unidade=" + std::to_string(unit));
            if (!ack)
                throw std::runtime_error("op=A: " + httplib::to_string(ack.error()));
            requests += 2;
        }
        return requests;
    }

private:
    httplib::Client& server() { return *servers_[static_cast<std::size_t>(next_++) % servers_.size()]; }

    int index_;
    unsigned next_ = 0;
    std::vector<std::unique_ptr<httplib::Client>> servers_;
};

// Requests per second of kClients clients for kSeconds against the servers on `ports`.
double mixedRate(const std::vector<int>& ports) {
    std::atomic<bool> stop{false};
    std::atomic<long long> requests{0};
    std::mutex mutex;
    std::string failure;
    std::vector<std::thread> threads;
    const auto start = std::chrono::steady_clock::now();
    for (int t = 0; t < kClients; ++t)
        threads.emplace_back([&, t] {
            try {
                Client client(ports, t);
                for (int i = 0; !stop; ++i)
                    requests += client.iterate(i);
            } catch (const std::exception& e) {
                std::lock_guard lock(mutex);
                failure = e.what();
                stop = true;
            }
        });
    std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds));
    stop = true;
    for (auto& t : threads)
        t.join();
    if (!failure.empty())
        throw std::runtime_error(failure);
    return static_cast<double>(requests) /
           std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The server program: EDI_CENTRAL_SERVER, else the one built with this bench.
std::string serverProgram() {
    const char* path = std::getenv("EDI_CENTRAL_SERVER");
    return path ? path : EDI_CENTRAL_SERVER_PROGRAM;
}

int freePort() {
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    const bool bound = ::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                       ::getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &length) == 0;
    ::close(sock);
    if (!bound)
        throw std::runtime_error("nenhuma porta livre em 127.0.0.1");
    return ntohs(addr.sin_port);
}

// One edi-central-server process on its own root, its output in root/server.log; stopped with the object.
class ServerProcess {
public:
    ServerProcess(const fs::path& root, const std::string& postgres) : port_(freePort()), log_(root / "server.log") {
        fs::create_directories(root);
        std::vector<std::string> args{serverProgram(),
                                      "--root",
                                      root.string(),
                                      "--listen",
                                      "127.0.0.1:" + std::to_string(port_),
                                      "--central",
                                      std::to_string(kCentralUnit)};
        if (!postgres.empty())
            args.insert(args.end(), {"--postgres", postgres});
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            throw std::runtime_error("não foi possível iniciar " + args[0] + ": " + std::strerror(rc));
        waitUntilListening();
    }
    ~ServerProcess() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int port() const { return port_; }

private:
    void waitUntilListening() {
        httplib::Client probe("127.0.0.1", port_);
        for (int i = 0; i < 1000; ++i) {
            if (probe.Get("/"))
                return;
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                throw std::runtime_error("o servidor central terminou ao iniciar: " + output());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        throw std::runtime_error("o servidor central não escutou em 10 s: " + output());
    }
    std::string output() const {
        std::ifstream in(log_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    int port_;
    fs::path log_;
    pid_t pid_ = -1;
};

// `count` server processes over the state `postgres` (empty: the embedded store under `root`), each with its own
// root.
double rateWith(const fs::path& root, const std::string& postgres, int count) {
    std::vector<std::unique_ptr<ServerProcess>> servers;
    std::vector<int> ports;
    for (int i = 0; i < count; ++i) {
        servers.push_back(std::make_unique<ServerProcess>(root / std::to_string(i), postgres));
        ports.push_back(servers.back()->port());
    }
    return mixedRate(ports);
}

// A new schema of `conninfo` for one figure, and the connection string that works in it.
std::string freshSchema(const std::string& conninfo, const std::string& name) {
    central::pg::Connection admin(conninfo);
    admin.exec("DROP SCHEMA IF EXISTS " + name + " CASCADE");
    admin.exec("CREATE SCHEMA " + name);
    return conninfo + " options=-csearch_path=" + name;
}

void dropSchema(const std::string& conninfo, const std::string& name) {
    central::pg::Connection(conninfo).exec("DROP SCHEMA IF EXISTS " + name + " CASCADE");
}

} // namespace

void centralNetworkFigures(const fs::path& dir, const std::string& postgres) {
    std::printf("\nServidor central em rede: %d clientes, %d unidades, envio, registro, lista, transferência e "
                "confirmação...\n",
                kClients, kUnits);
    const auto line = [](const char* what, double rate) {
        std::printf("%s%10.0f pedidos/s\n", rotulo(what).c_str(), rate);
    };
    line("rede: SQLite, 1 servidor", rateWith(dir / "network-sqlite", {}, 1));
    fs::remove_all(dir / "network-sqlite");
    if (postgres.empty()) {
        std::printf("%ssem --postgres: não medido\n", rotulo("rede: PostgreSQL").c_str());
        return;
    }
    const std::string one = "edi_bench_" + std::to_string(::getpid()) + "_1";
    const std::string two = "edi_bench_" + std::to_string(::getpid()) + "_2";
    line("rede: PostgreSQL, 1 servidor", rateWith(dir / "network-pg1", freshSchema(postgres, one), 1));
    line("rede: PostgreSQL, 2 servidores", rateWith(dir / "network-pg2", freshSchema(postgres, two), 2));
    dropSchema(postgres, one);
    dropSchema(postgres, two);
    fs::remove_all(dir / "network-pg1");
    fs::remove_all(dir / "network-pg2");
}

} // namespace edi::bench

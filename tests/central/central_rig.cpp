#include "central_rig.h"

#include "central/postgres.h"
#include "core/files.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iterator>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace edi::central::test {

using namespace std::chrono_literals;
using transport::encodeQueryValue;

std::string LogCapture::text() const {
    std::lock_guard lock(mutex_);
    return text_;
}

bool LogCapture::waitFor(const std::string& needle) const {
    for (int i = 0; i < 200; ++i) {
        if (text().find(needle) != std::string::npos)
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

int LogCapture::overflow(int c) {
    if (c != std::streambuf::traits_type::eof()) {
        std::lock_guard lock(mutex_);
        text_ += static_cast<char>(c);
    }
    return c;
}

std::streamsize LogCapture::xsputn(const char* s, std::streamsize n) {
    std::lock_guard lock(mutex_);
    text_.append(s, static_cast<std::size_t>(n));
    return n;
}

namespace {

const char* testPostgres() {
    return std::getenv("EDI_TEST_PG");
}

// The PostgreSQL run skips itself where no test server was started, like the suites on the Firebird server.
class StoreEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (onPostgres() && !testPostgres())
            GTEST_SKIP() << "EDI_TEST_PG não definida: sem servidor PostgreSQL de teste";
    }
};

[[maybe_unused]] ::testing::Environment* const kStoreEnvironment =
    ::testing::AddGlobalTestEnvironment(new StoreEnvironment);

} // namespace

bool onPostgres() {
    const char* store = std::getenv("EDI_CENTRAL_STORE");
    return store && std::string(store) == "postgres";
}

std::string freshPostgresSchema() {
    static std::atomic<int> count{0};
    const std::string schema = "rig_" + std::to_string(::getpid()) + "_" + std::to_string(++count);
    pg::Connection admin(testPostgres());
    admin.exec("DROP SCHEMA IF EXISTS " + schema + " CASCADE");
    admin.exec("CREATE SCHEMA " + schema);
    return std::string(testPostgres()) + " options=-csearch_path=" + schema;
}

transport::HttpOptions clientOptions(const std::string& login, const std::string& password) {
    transport::HttpOptions o;
    o.login = login;
    o.password = password;
    o.connectTimeout = 2s;
    o.requestTimeout = 10s;
    o.lowSpeedTime = 30s;
    return o;
}

CentralRig::CentralRig(ServerConfig config) : config_(std::move(config)) {
    config_.root = dir_.path() / "root";
    config_.host = "127.0.0.1";
    config_.port = 0;
    if (onPostgres() && config_.postgres.empty())
        config_.postgres = freshPostgresSchema();
    std::filesystem::create_directories(scratch());
    start();
}

void CentralRig::start() {
    server_ = std::make_unique<CentralServer>(config_, *log_);
    config_.port = server_->start();
}

void CentralRig::restart() {
    server_.reset();
    start();
}

std::string CentralRig::url(const std::string& pathAndQuery) const {
    return (config_.certificate.empty() ? "http://127.0.0.1:" : "https://127.0.0.1:") + std::to_string(config_.port) +
           pathAndQuery;
}

transport::Resultado<std::string> CentralRig::get(const std::string& pathAndQuery) {
    return client.getText(url(pathAndQuery));
}

std::string CentralRig::mustGet(const std::string& pathAndQuery) {
    const auto body = get(pathAndQuery);
    EXPECT_TRUE(body.has_value()) << pathAndQuery << ": " << body.error();
    return body.value_or(std::string());
}

transport::Resultado<> CentralRig::upload(const std::string& name, const std::string& content) {
    const auto file = scratch() / name;
    writeFileAtomically(file, content);
    return client.BlockingUpload(url("/edi/ReceiveUpload.aspx"), file);
}

long CentralRig::registerFile(const std::string& name, int unit) {
    get("/dbArquivo.php?op=I&nome=" + encodeQueryValue(name) + "&unidade=" + std::to_string(unit));
    return status();
}

long CentralRig::send(const std::string& name, int unit, const std::string& content) {
    const auto sent = upload(name, content);
    EXPECT_TRUE(sent) << sent.error();
    return registerFile(name, unit);
}

long CentralRig::acknowledge(const std::string& id, int unit) {
    get("/dbArquivo.php?op=A&edi=" + encodeQueryValue(id) + "&unidade=" + std::to_string(unit));
    return status();
}

std::string CentralRig::uploaded(const std::string& name) {
    const auto content = server().store().openUpload(name);
    return content ? std::string(std::istreambuf_iterator<char>(*content), {}) : std::string();
}

PacketTable CentralRig::packet(const std::string& pathAndQuery) {
    return PacketTable::loadFromString(mustGet(pathAndQuery), pathAndQuery);
}

std::vector<std::pair<std::string, std::string>> CentralRig::waiting(int unit) {
    PacketTable list = packet("/dbArquivo.php?op=S&unidade=" + std::to_string(unit));
    std::vector<std::pair<std::string, std::string>> rows;
    for (list.first(); !list.eof(); list.next())
        rows.emplace_back(list.value(0).asText(), list.value(1).asText());
    return rows;
}

std::string programPath() {
    const char* path = std::getenv("EDI_CENTRAL_SERVER");
    return path ? path : "";
}

int freePort() {
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t length = sizeof addr;
    ::getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &length);
    ::close(sock);
    return ntohs(addr.sin_port);
}

bool accepts(int port) {
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(sock);
    return ok;
}

// Runs the program with `args`, its output to `output`; the process id.
pid_t spawn(const std::vector<std::string>& args, const std::filesystem::path& output) {
    std::vector<char*> argv;
    std::string program = programPath();
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// The exit code, or -1 when the process did not exit normally within ten seconds.
int waitForExit(pid_t pid) {
    for (int i = 0; i < 1000; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(10ms);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

std::string uploadedPath(const std::string& name) {
    return "E:\\Home\\quelmar\\Web\\edi\\out\\" + name;
}

} // namespace edi::central::test

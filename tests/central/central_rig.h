#pragma once

#include "central/server.h"
#include "packet/packet_table.h"
#include "support/temp_dir.h"
#include "transport/http_client.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace edi::central::test {

// A log the server writes from its threads while the test reads it.
class LogCapture : private std::streambuf, public std::ostream {
public:
    LogCapture() : std::ostream(static_cast<std::streambuf*>(this)) {}
    std::string text() const;
    // Waits up to two seconds for `needle` to appear (the server logs a request after answering it).
    bool waitFor(const std::string& needle) const;

private:
    int overflow(int c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;

    mutable std::mutex mutex_;
    std::string text_;
};

// Whether the suite runs against the PostgreSQL store (EDI_CENTRAL_STORE=postgres, the server of EDI_TEST_PG)
// rather than the embedded one; without EDI_TEST_PG that run skips every test.
bool onPostgres();
// A connection string to a new, empty schema of the test's PostgreSQL.
std::string freshPostgresSchema();

transport::HttpOptions clientOptions(const std::string& login = "quelmar", const std::string& password = "dorven");

// A central server on 127.0.0.1 (a free port) over a temporary web root, and a client with its credentials.
class CentralRig {
public:
    // Over the store the suite runs against: a fresh PostgreSQL schema, or the embedded store under the root.
    explicit CentralRig(ServerConfig config = {});

    // Stops the server and starts a new one on the same web root (and the same configuration).
    void restart();
    void stop() { server_.reset(); }
    CentralServer& server() { return *server_; }
    const std::filesystem::path& root() const { return config_.root; }
    std::filesystem::path scratch() const { return dir_.path() / "client"; }
    const LogCapture& log() const { return *log_; }

    std::string url(const std::string& pathAndQuery) const;
    // The answer body of a GET, or why it failed; status() tells the HTTP status.
    transport::Resultado<std::string> get(const std::string& pathAndQuery);
    long status() const { return client.lastStatus(); }
    // GET that must give 2xx: returns the body (the test fails otherwise).
    std::string mustGet(const std::string& pathAndQuery);

    // Uploads `content` under `name` through the real client; done when the server took it.
    transport::Resultado<> upload(const std::string& name, const std::string& content);
    // Upload and op=I; the status of the registration.
    long send(const std::string& name, int unit, const std::string& content = "<DATAPACKET/>");
    long registerFile(const std::string& name, int unit);
    long acknowledge(const std::string& id, int unit);
    // The content the store keeps for an uploaded file (empty when none).
    std::string uploaded(const std::string& name);

    // op=S for `unit`, loaded as a packet: (identifier, server path) per row.
    std::vector<std::pair<std::string, std::string>> waiting(int unit);
    PacketTable packet(const std::string& pathAndQuery);

    transport::HttpClient client{clientOptions()};

private:
    void start();

    edi::test::TempDir dir_;
    ServerConfig config_;
    std::unique_ptr<LogCapture> log_ = std::make_unique<LogCapture>();
    std::unique_ptr<CentralServer> server_;
};

// The real program (EDI_CENTRAL_SERVER), started with `args`, its output to `output`.
std::string programPath();
int freePort();
bool accepts(int port);
// The process id, or -1.
pid_t spawn(const std::vector<std::string>& args, const std::filesystem::path& output);
// The exit code, or -1 when the process did not exit normally within ten seconds.
int waitForExit(pid_t pid);

// "E:\Home\quelmar\Web\edi\out\<name>"
std::string uploadedPath(const std::string& name);

} // namespace edi::central::test

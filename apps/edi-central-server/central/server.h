#pragma once

#include "central/store.h"
#include "db/database.h"
#include "platform/versao.h"

#include <cstddef>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace edi::central {

// A unit declared on the command line, with the version to report for it until it tells its own.
struct UnitSeed {
    int code = 0;
    std::string version;
};

struct ServerConfig {
    std::filesystem::path root; // web root: published updates; with the embedded store also uploads and the state
    // A PostgreSQL connection string: the whole state there, shared with other server processes. Empty: the
    // embedded store under the root.
    std::string postgres;
    std::string host = "127.0.0.1";
    int port = 0; // 0: any free port
    int centralUnit = 31;
    std::vector<UnitSeed> units;
    // The shared account every unit used before accounts of their own; off: only accounts of the store.
    std::string login = "quelmar";
    std::string password = "dorven";
    bool sharedAccount = true;
    bool sharedSql = false; // the shared account may use the SQL console
    // Both given: the server speaks https only, with this certificate chain and private key (PEM).
    std::filesystem::path certificate;
    std::filesystem::path privateKey;
    // The database the SQL console runs statements on; none: the console says so.
    std::optional<db::ConnectionParams> database;
    std::size_t maxUploadBytes = std::size_t{512} << 20;
    // Reported for a unit whose version nobody told: neither a "versao=" on its requests nor the command line.
    std::string defaultVersion = platform::kVersaoDoSistema;
};

// The reference central server: every endpoint units call, over HTTP(S) with Basic authentication, one log line per
// request on `log` naming the account. Requests are served by a pool of threads; the state is kept by a
// CentralStore, routed by a Router.
class CentralServer {
public:
    // Prepares the web root and loads the saved state; throws Error when either fails.
    explicit CentralServer(ServerConfig config, std::ostream& log = std::cout);
    ~CentralServer();
    CentralServer(const CentralServer&) = delete;
    CentralServer& operator=(const CentralServer&) = delete;

    // Binds and serves in a background thread; returns the port. Throws Error when the address cannot be bound.
    int start();
    // Stops accepting, lets the requests under way finish and joins the serving thread. Safe to call twice.
    void stop();
    bool isRunning() const;
    int port() const;

    CentralStore& store();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace edi::central

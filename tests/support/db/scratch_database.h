#pragma once

#include "db/database.h"
#include "support/temp_dir.h"

#include <memory>
#include <optional>
#include <string>

namespace edi::test {

// A new embedded database in a temporary folder, dropped with the folder.
class ScratchDatabase {
public:
    explicit ScratchDatabase(const std::string& name = "scratch.fdb");
    db::Database& db() { return *db_; }
    db::Database* operator->() { return db_.get(); }
    const db::ConnectionParams& params() const { return params_; }
    const std::filesystem::path& folder() const { return dir_.path(); }
    // A second, independent attachment to the same file (same process).
    std::unique_ptr<db::Database> attachAgain() const { return db::Database::open(params_); }
    // Lets another process open the file (the embedded engine is exclusive per process), and back.
    void detach() { db_.reset(); }
    void reattach() { db_ = db::Database::open(params_); }
    // Runs a script of statements separated by ";" lines, committing at the end.
    void run(const std::string& script);

private:
    TempDir dir_;
    db::ConnectionParams params_;
    std::unique_ptr<db::Database> db_;
};

// Runs a script of statements separated by ";" lines on any attachment, committing after each.
void runScript(db::Database& db, const std::string& script);

// The private Firebird server the test script starts (EDI_TEST_FB_HOST, EDI_TEST_FB_PASSWORD, EDI_TEST_FB_DIR);
// nothing when the variables are not set.
struct ServerSettings {
    std::string host; // "127.0.0.1/3057"
    std::string password;
    std::string folder; // where the server may create databases
};
std::optional<ServerSettings> loopbackServer();

} // namespace edi::test

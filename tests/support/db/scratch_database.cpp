#include "support/db/scratch_database.h"

#include <cstdlib>
#include <sstream>

namespace edi::test {

ScratchDatabase::ScratchDatabase(const std::string& name) {
    params_.database = (dir_.path() / name).string();
    params_.user = "SYSDBA";
    params_.charset = "UTF8";
    db_ = db::Database::create(params_, "UTF8", 8192, false); // throwaway: no forced writes
}

void ScratchDatabase::run(const std::string& script) {
    runScript(*db_, script);
}

void runScript(db::Database& db, const std::string& script) {
    std::stringstream in(script);
    std::string line, statement;
    auto flush = [&] {
        if (statement.find_first_not_of(" \n\t") != std::string::npos) {
            db.execute(statement);
            db.transaction().commitRetaining();
        }
        statement.clear();
    };
    while (std::getline(in, line)) {
        if (line == ";") {
            flush();
            continue;
        }
        statement += line + "\n";
    }
    flush();
}

std::optional<ServerSettings> loopbackServer() {
    const char* host = std::getenv("EDI_TEST_FB_HOST");
    const char* password = std::getenv("EDI_TEST_FB_PASSWORD");
    const char* folder = std::getenv("EDI_TEST_FB_DIR");
    if (!host || !password || !folder)
        return std::nullopt;
    return ServerSettings{host, password, folder};
}

} // namespace edi::test

#pragma once

#include "core/value.h"
#include "db/database.h"
#include "support/temp_dir.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace edi::test {

// A database made by createDatabase in a temporary folder.
class UnitDatabase {
public:
    UnitDatabase(int unit, int central, const std::string& file = "unit.fdb");
    const db::ConnectionParams& params() const { return params_; }
    std::filesystem::path path() const { return params_.database; }
    std::unique_ptr<db::Database> open() const { return db::Database::open(params_); }

private:
    TempDir dir_;
    db::ConnectionParams params_;
};

Value scalar(db::Database& db, const std::string& sql);
int64_t countRows(db::Database& db, const std::string& table, const std::string& where = "");
std::string fileContents(const std::filesystem::path& path);

} // namespace edi::test

#include "domain/unit_database.h"

#include "db/query.h"
#include "domain/create_database.h"

#include <fstream>
#include <sstream>

namespace edi::test {

UnitDatabase::UnitDatabase(int unit, int central, const std::string& file) {
    params_.database = (dir_.path() / file).string();
    domain::CreateOptions o;
    o.connection = params_;
    o.unit = unit;
    o.central = central;
    domain::createDatabase(o);
}

Value scalar(db::Database& db, const std::string& sql) {
    db::Query q(db, sql);
    q.open();
    return q.eof() ? Value() : q.value(0);
}

int64_t countRows(db::Database& db, const std::string& table, const std::string& where) {
    return scalar(db, "SELECT COUNT(*) FROM " + table + (where.empty() ? "" : " WHERE " + where)).asInt64();
}

std::string fileContents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

} // namespace edi::test

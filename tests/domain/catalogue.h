#pragma once

#include "db/database.h"

#include <map>
#include <string>
#include <vector>

namespace edi::test {

// A user table as the engine's catalogue describes it (names trimmed, as stored: upper case).
struct CatalogueColumn {
    std::string name;
    int type = 0;    // rdb$field_type
    int subType = 0; // rdb$field_sub_type
    int characterLength = 0;
    int scale = 0;
    int precision = 0;
    bool notNull = false;
};

struct CatalogueTable {
    std::vector<CatalogueColumn> columns; // by position
    std::string primaryKeyName;
    std::vector<std::string> primaryKey; // by segment position
};

struct CatalogueIndex {
    std::string table;
    std::vector<std::string> segments;
};

struct Catalogue {
    std::map<std::string, CatalogueTable> tables;
    std::map<std::string, CatalogueIndex> indexes; // user indexes that do not back a constraint
    std::vector<std::string> generators;
};

Catalogue readCatalogue(db::Database& db);

} // namespace edi::test

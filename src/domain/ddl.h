#pragma once

#include "domain/schema.h"

#include <string>
#include <string_view>
#include <vector>

namespace edi::domain {

// SQL (dialect 3) that builds the schema. Names are written unquoted, so the catalogue holds them in
// upper case and every statement the system builds by concatenation finds them.
std::string columnTypeSql(const FieldDef& column);         // "VARCHAR(50)", "NUMERIC(18,4)", ...
std::string createTableSql(const Table& table);            // columns, NOT NULL and the primary key PK_<table>
std::string createExportIndexSql(const Table& table);      // empty when the table has no export index
std::string createInterchangeIndexSql(const Table& table); // empty when the table has no CD_UND
std::string createGeneratorSql(std::string_view name);
std::string createForeignKeySql(const Table& table, const ForeignKey& key);

// Every statement, in order: the tables, then their indexes, then the generators, then the foreign keys.
// Tables must be committed before statements that use them.
struct SchemaDdl {
    std::vector<std::string> tables;
    std::vector<std::string> indexes;
    std::vector<std::string> generators;
    std::vector<std::string> foreignKeys;
};
SchemaDdl schemaDdl();

} // namespace edi::domain

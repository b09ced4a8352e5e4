#include "domain/ddl.h"

#include "core/errors.h"

namespace edi::domain {

std::string columnTypeSql(const FieldDef& column) {
    const std::string size = "(" + std::to_string(column.size) + ")";
    switch (column.type) {
    case FieldType::SmallInt: return "SMALLINT";
    case FieldType::Integer: return "INTEGER";
    case FieldType::BigInt: return "BIGINT";
    case FieldType::Double: return "DOUBLE PRECISION";
    case FieldType::Numeric: return "NUMERIC(" + std::to_string(column.size) + "," + std::to_string(column.scale) + ")";
    case FieldType::Date: return "DATE";
    case FieldType::Time: return "TIME";
    case FieldType::Timestamp: return "TIMESTAMP";
    case FieldType::Char: return "CHAR" + size;
    case FieldType::VarChar: return "VARCHAR" + size;
    case FieldType::TextBlob: return "BLOB SUB_TYPE TEXT";
    case FieldType::BinaryBlob: return "BLOB SUB_TYPE BINARY";
    case FieldType::Boolean: return "BOOLEAN";
    }
    throw Error("A coluna " + column.name + " não tem tipo SQL");
}

std::string createTableSql(const Table& table) {
    std::string sql = "CREATE TABLE " + table.name + " (\n";
    for (const Column& c : table.columns) {
        sql += "    " + c.name + " " + columnTypeSql(c);
        if (c.required)
            sql += " NOT NULL";
        sql += ",\n";
    }
    sql += "    CONSTRAINT PK_" + table.name + " PRIMARY KEY (";
    for (size_t i = 0; i < table.primaryKey.size(); ++i)
        sql += (i ? ", " : "") + table.primaryKey[i];
    sql += ")\n)";
    return sql;
}

std::string createExportIndexSql(const Table& table) {
    if (table.exportIndex.empty())
        return {};
    return "CREATE INDEX " + table.exportIndex + " ON " + table.name + " (DT_EXP)";
}

std::string createInterchangeIndexSql(const Table& table) {
    if (table.interchangeIndex.empty())
        return {};
    return "CREATE INDEX " + table.interchangeIndex + " ON " + table.name + " (CD_UND, CD_EDI)";
}

std::string createGeneratorSql(std::string_view name) {
    return "CREATE SEQUENCE " + std::string(name);
}

namespace {

std::string nameList(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& n : names)
        list += (list.empty() ? "" : ", ") + n;
    return list;
}

} // namespace

std::string createForeignKeySql(const Table& table, const ForeignKey& key) {
    const std::string columns = nameList(key.columns);
    return "ALTER TABLE " + table.name + " ADD CONSTRAINT " + key.name + " FOREIGN KEY (" + columns + ") REFERENCES " +
           key.parent + " (" + columns + ")";
}

SchemaDdl schemaDdl() {
    SchemaDdl ddl;
    for (const Table& t : tables()) {
        ddl.tables.push_back(createTableSql(t));
        for (std::string index : {createExportIndexSql(t), createInterchangeIndexSql(t)})
            if (!index.empty())
                ddl.indexes.push_back(std::move(index));
        for (const ForeignKey& key : t.foreignKeys)
            ddl.foreignKeys.push_back(createForeignKeySql(t, key));
    }
    for (const std::string& g : generatorNames())
        ddl.generators.push_back(createGeneratorSql(g));
    return ddl;
}

} // namespace edi::domain

#include "domain/table_writer.h"

#include "core/errors.h"

namespace edi::domain {

namespace {

std::string cannotInsertInto(const std::string& table) {
    return "Não foi possível incluir em " + table;
}

std::string insertSql(const Table& t) {
    std::string names, values;
    for (const Column& c : t.columns) {
        if (!names.empty()) {
            names += ", ";
            values += ", ";
        }
        names += c.name;
        values += ":" + c.name;
    }
    return "INSERT INTO " + t.name + " (" + names + ") VALUES (" + values + ")";
}

} // namespace

TableWriter::TableWriter(db::Database& db, const Table& table) : table_(table), query_(db, insertSql(table)) {
    query_.prepare();
    query_.clearParams();
}

TableWriter& TableWriter::set(std::string_view column, const Value& value) {
    if (!table_.hasColumn(column))
        throw Error(noSuchColumn(table_.name, column));
    query_.setParam(column, value);
    return *this;
}

void TableWriter::insert() {
    try {
        query_.execute();
    } catch (const DatabaseError& e) {
        query_.clearParams(); // the next row must not inherit this one's values
        throw DatabaseError(cannotInsertInto(table_.name) + ": " + e.what(), e.gdsCode());
    } catch (const ConversionError& e) {
        query_.clearParams();
        throw ConversionError(cannotInsertInto(table_.name) + ": " + e.what());
    }
    query_.clearParams();
    ++rows_;
}

} // namespace edi::domain

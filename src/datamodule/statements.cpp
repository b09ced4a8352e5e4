#include "datamodule/statements.h"

#include "core/errors.h"
#include "core/formats.h"
#include "domain/schema.h"
#include "domain/schema_notation.h"
#include "domain/schema_tables.h"

#include <algorithm>

namespace edi::datamodule {

bool sameName(std::string_view a, std::string_view b) {
    return formats::equalsIgnoreCase(a, b);
}

bool containsName(const std::vector<std::string>& names, std::string_view name) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return sameName(n, name); });
}

namespace {

// The columns as the table list writes them: without the interchange columns the schema appends.
std::vector<domain::Column> listedColumns(const std::string& table) {
    for (const auto& source : domain::detail::tableSources())
        if (sameName(source.name, table))
            return domain::parseColumns(source.columns);
    throw Error("Tabela desconhecida na descrição do módulo de dados: " + table);
}

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
    std::string out;
    for (const auto& item : items)
        out += (out.empty() ? "" : separator) + item;
    return out;
}

std::vector<std::string> names(const std::vector<FieldDef>& fields) {
    std::vector<std::string> out;
    for (const auto& f : fields)
        out.push_back(f.name);
    return out;
}

std::string whereKey(const std::vector<std::string>& key) {
    std::vector<std::string> terms;
    for (const auto& k : key)
        terms.push_back(k + " = :OLD_" + k);
    return joined(terms, " and ");
}

} // namespace

std::vector<FieldDef> writtenColumns(const DatasetDef& def) {
    if (def.table.empty())
        return {};
    const domain::Table& table = domain::table(def.table);
    std::vector<FieldDef> out;
    if (def.written.empty()) {
        for (const auto& c : listedColumns(def.table))
            if (!containsName(def.notWritten, c.name))
                out.push_back(c);
        return out;
    }
    for (const auto& name : def.written)
        out.push_back(table.column(name));
    return out;
}

std::vector<std::string> updateKey(const DatasetDef& def) {
    return def.key.empty() ? domain::table(def.table).primaryKey : def.key;
}

std::vector<std::string> deleteKey(const DatasetDef& def) {
    return def.deleteKey.empty() ? updateKey(def) : def.deleteKey;
}

Statements statementsOf(const DatasetDef& def) {
    Statements s;
    s.select = def.select;
    if (def.table.empty())
        return s;
    const std::vector<std::string> written = names(writtenColumns(def));
    if (s.select.empty()) {
        std::vector<std::string> selected = written;
        for (const auto& k : updateKey(def))
            if (!containsName(selected, k))
                selected.push_back(k);
        for (auto& c : selected)
            c = "t." + c;
        if (!def.lookups.empty())
            selected.push_back(def.lookups);
        s.select = "select " + joined(selected, ", ") + (def.columnsMarker ? "\n/*CAMPOS*/" : "") + "\nfrom " +
                   def.table + " t";
        if (!def.joins.empty())
            s.select += "\n" + def.joins;
        if (!def.where.empty())
            s.select += "\nwhere " + def.where;
        if (!def.marker.empty())
            s.select += "\n" + def.marker;
        if (!def.order.empty())
            s.select += "\norder by " + def.order;
    }
    if (def.canInsert) {
        std::vector<std::string> params;
        for (const auto& c : written)
            params.push_back(":" + c);
        s.insert =
            "insert into " + def.table + " (" + joined(written, ", ") + ")\nvalues (" + joined(params, ", ") + ")";
    }
    if (def.canUpdate) {
        std::vector<std::string> sets;
        for (const auto& c : def.updateColumns.empty() ? written : def.updateColumns)
            sets.push_back(c + " = :" + c);
        s.update = "update " + def.table + " set " + joined(sets, ", ") + "\nwhere " + whereKey(updateKey(def));
    }
    if (def.canDelete)
        s.remove = "delete from " + def.table + "\nwhere " + whereKey(deleteKey(def));
    return s;
}

} // namespace edi::datamodule

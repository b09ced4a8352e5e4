#include "domain/schema.h"

#include "core/errors.h"
#include "core/formats.h"
#include "domain/schema_notation.h"
#include "domain/schema_tables.h"

#include <algorithm>

namespace edi::domain {

namespace {

constexpr size_t kMaxNameLength = 31; // the engine's limit for table, column, index and generator names
constexpr size_t kIndexPrefixLength = 24;
constexpr int kRegistryStep = 10; // gaps, so an operator can slot a table in between

bool sameName(std::string_view a, std::string_view b) {
    return formats::equalsIgnoreCase(a, b);
}

[[noreturn]] void badTable(const Table& t, const std::string& why) {
    throw Error("Descrição do esquema de " + t.name + ": " + why);
}

void checkNameLength(const Table& t, const std::string& name) {
    if (name.size() > kMaxNameLength)
        badTable(t, "nome com mais de 31 caracteres: " + name);
}

bool travels(const Table& t) {
    return t.kind != TableKind::Local && t.hasColumn("CD_UND");
}

void addInterchangeColumns(Table& t) {
    if (!t.hasColumn("CD_UND"))
        return;
    if (!t.hasColumn("DT_EXP"))
        t.columns.push_back(Column{{"DT_EXP", FieldType::Timestamp, 0, 0, false}, false});
    if (!t.hasColumn("CD_EDI"))
        t.columns.push_back(Column{{"CD_EDI", FieldType::Integer, 0, 0, false}, false});
}

std::vector<std::string> primaryKeyOf(const Table& t, std::vector<std::string> rowKey) {
    const Column* owner = t.findColumn("CD_UND");
    const bool hasOwner =
        std::any_of(rowKey.begin(), rowKey.end(), [](const auto& k) { return sameName(k, "CD_UND"); });
    if (owner && travels(t) && !hasOwner)
        rowKey.push_back(owner->name);
    return rowKey;
}

void markKey(Table& t) {
    if (t.primaryKey.empty())
        badTable(t, "sem chave de registro");
    for (const std::string& k : t.primaryKey) {
        auto c =
            std::find_if(t.columns.begin(), t.columns.end(), [&](const Column& col) { return sameName(col.name, k); });
        if (c == t.columns.end())
            badTable(t, "a coluna de chave " + k + " não é uma coluna");
        c->key = true;
        c->required = true; // the engine refuses a nullable key column
    }
}

void check(const Table& t) {
    checkNameLength(t, "PK_" + t.name);
    for (size_t i = 0; i < t.columns.size(); ++i) {
        checkNameLength(t, t.columns[i].name);
        for (size_t j = 0; j < i; ++j)
            if (sameName(t.columns[i].name, t.columns[j].name))
                badTable(t, "coluna " + t.columns[i].name + " repetida");
    }
    for (const GeneratorUse& g : t.generators) {
        checkNameLength(t, g.generator);
        if (!t.hasColumn(g.column))
            badTable(t, "o gerador " + g.generator + " preenche uma coluna desconhecida " + g.column);
    }
}

// Two tables whose names share their first 24 characters (REGISTRO_TARV_ESQUEMA_AR and _ARE) would get
// the same index name; the later one gets a digit in place of its 24th character.
std::string uniqueIndexName(const std::string& tableName, const std::string& suffix, std::string Table::*index,
                            const std::vector<Table>& earlier) {
    auto taken = [&](const std::string& name) {
        return std::any_of(earlier.begin(), earlier.end(), [&](const Table& t) { return sameName(t.*index, name); });
    };
    std::string name = tableName.substr(0, kIndexPrefixLength) + suffix;
    for (char digit = '2'; taken(name) && digit <= '9'; ++digit)
        name = tableName.substr(0, kIndexPrefixLength - 1) + digit + suffix;
    if (taken(name))
        throw Error("Nenhum nome de índice livre para " + tableName);
    return name;
}

Table& tableIn(std::vector<Table>& all, const char* name, size_t& position) {
    for (position = 0; position < all.size(); ++position)
        if (sameName(all[position].name, name))
            return all[position];
    throw Error(std::string("Chave estrangeira de uma tabela desconhecida: ") + name);
}

void addForeignKeys(std::vector<Table>& all) {
    for (const detail::ForeignKeySource& src : detail::foreignKeySources()) {
        size_t childAt = 0, parentAt = 0;
        Table& child = tableIn(all, src.child, childAt);
        const Table& parent = tableIn(all, src.parent, parentAt);
        if (parentAt >= childAt)
            badTable(child, "a tabela " + parent.name + " que ela referencia tem de vir antes dela");
        if (std::none_of(parent.primaryKey.begin(), parent.primaryKey.end(),
                         [](const std::string& k) { return sameName(k, "CD_UND"); }))
            badTable(child, "a chave de " + parent.name + " não inclui o dono da linha");
        for (const std::string& k : parent.primaryKey)
            if (!child.hasColumn(k))
                badTable(child, "falta a coluna " + k + " da chave de " + parent.name);
        ForeignKey fk{("FK_" + child.name + "_" + parent.name).substr(0, kMaxNameLength), parent.name,
                      parent.primaryKey};
        for (const ForeignKey& other : child.foreignKeys)
            if (other.name == fk.name)
                badTable(child, "chave estrangeira " + fk.name + " repetida");
        child.foreignKeys.push_back(std::move(fk));
    }
}

std::vector<Table> buildTables() {
    std::vector<Table> result;
    int registered = 0;
    for (const detail::TableSource& src : detail::tableSources()) {
        Table t;
        t.name = src.name;
        t.dataset = src.dataset;
        t.kind = src.kind;
        t.columns = parseColumns(src.columns);
        t.generators = parseGeneratorUses(src.generators);
        addInterchangeColumns(t);
        if (t.hasColumn("CD_UND")) {
            t.exportIndex = uniqueIndexName(t.name, "_EXP_IX", &Table::exportIndex, result);
            t.interchangeIndex = uniqueIndexName(t.name, "_EDI_IX", &Table::interchangeIndex, result);
        }
        t.primaryKey = primaryKeyOf(t, parseNameList(src.rowKey));
        markKey(t);
        check(t);
        if (travels(t))
            t.registryOrder = ++registered * kRegistryStep;
        for (const Table& other : result)
            if (sameName(other.name, t.name))
                badTable(t, "tabela listada duas vezes");
        result.push_back(std::move(t));
    }
    addForeignKeys(result);
    return result;
}

std::vector<std::string> collectGenerators() {
    std::vector<std::string> names{kInterchangeGenerator};
    for (const Table& t : tables())
        for (const GeneratorUse& g : t.generators)
            if (std::none_of(names.begin(), names.end(), [&](const auto& n) { return sameName(n, g.generator); }))
                names.push_back(g.generator);
    return names;
}

} // namespace

const char* tableKindName(TableKind kind) {
    switch (kind) {
    case TableKind::Data: return "data";
    case TableKind::Reference: return "reference";
    case TableKind::Local: return "local";
    }
    return "?";
}

const Column* Table::findColumn(std::string_view columnName) const {
    for (const Column& c : columns)
        if (sameName(c.name, columnName))
            return &c;
    return nullptr;
}

const Column& Table::column(std::string_view columnName) const {
    if (const Column* c = findColumn(columnName))
        return *c;
    throw Error(noSuchColumn(name, columnName));
}

std::vector<FieldDef> Table::fieldDefs() const {
    return {columns.begin(), columns.end()};
}

const std::vector<Table>& tables() {
    static const std::vector<Table> all = buildTables();
    return all;
}

const Table* findTable(std::string_view name) {
    for (const Table& t : tables())
        if (sameName(t.name, name))
            return &t;
    return nullptr;
}

const Table& table(std::string_view name) {
    if (const Table* t = findTable(name))
        return *t;
    throw Error("Tabela desconhecida " + std::string(name));
}

const Table* findTableByDataset(std::string_view dataset) {
    if (dataset.empty())
        return nullptr;
    for (const Table& t : tables())
        if (sameName(t.dataset, dataset))
            return &t;
    return nullptr;
}

std::vector<const Table*> registeredTables() {
    std::vector<const Table*> result;
    for (const Table& t : tables())
        if (t.isRegistered())
            result.push_back(&t);
    std::stable_sort(result.begin(), result.end(),
                     [](const Table* a, const Table* b) { return a->registryOrder < b->registryOrder; });
    return result;
}

const std::vector<std::string>& generatorNames() {
    static const std::vector<std::string> names = collectGenerators();
    return names;
}

std::string exportIndexName(std::string_view tableName) {
    return std::string(tableName.substr(0, kIndexPrefixLength)) + "_EXP_IX";
}

RegistryFlags registryFlags(const Table& table, bool centralUnit) {
    switch (table.kind) {
    case TableKind::Data: return centralUnit ? RegistryFlags{false, true} : RegistryFlags{true, false};
    case TableKind::Reference: return centralUnit ? RegistryFlags{true, true} : RegistryFlags{false, true};
    case TableKind::Local: break;
    }
    return {};
}

} // namespace edi::domain

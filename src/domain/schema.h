#pragma once

// The tables of a unit's health-programme database, described once.
//
// Rules applied to the table list (schema_tables.cpp) when the description is built:
//  - Interchange columns: every table with CD_UND also has DT_EXP timestamp and CD_EDI integer (appended
//    when the list lacks them) and an index on DT_EXP named as the export's schema preparation names it,
//    so a fresh database needs no ALTER at its first export. (The one pair of tables whose names share
//    their first 24 characters gets a digit in the second index name: names must be unique.)
//  - Primary key: the table's row key; when the table's rows travel between units and the row key lacks
//    CD_UND, CD_UND is added (required or not in the list), so that rows of two owning units never collide
//    on import. Key columns are always NOT NULL.
//  - Foreign keys: a child row refers to its parent row of the same owner (the parent's key, CD_UND in it);
//    parents come before their children in the list.
//  - Registry: every travelling table (a CD_UND and not a local table) gets a TABELA_EDI row; its NR_ORDEM
//    follows the order of the list, which puts parents before children.

#include "core/value.h"

#include <string>
#include <string_view>
#include <vector>

namespace edi::domain {

// Who owns a table's rows and therefore which way they flow between installations.
enum class TableKind {
    Data,      // the unit's own records: a unit sends them, the central unit receives them
    Reference, // lists the central unit maintains: units receive them, the central unit sends and receives
    Local,     // this installation only (parameters, the registry, DUAL): never registered
};

const char* tableKindName(TableKind kind);

struct Column : FieldDef {
    bool key = false;
};

// A generator and the column whose values it gives.
struct GeneratorUse {
    std::string generator; // spelled as the data module calls it
    std::string column;
};

// A reference to the row of a parent table of the same owner.
struct ForeignKey {
    std::string name; // FK_<child>_<parent>, cut to the engine's 31 characters
    std::string parent;
    std::vector<std::string> columns; // the parent's primary key, named alike in the child
};

struct Table {
    std::string name;
    std::string dataset; // the data module's dataset (TB_...), empty for tables read only through queries
    TableKind kind = TableKind::Data;
    std::vector<Column> columns;         // in table order
    std::vector<std::string> primaryKey; // in key order
    std::vector<GeneratorUse> generators;
    std::string exportIndex; // the index on DT_EXP of a table with CD_UND, empty otherwise
    // The index on (CD_UND, CD_EDI) through which import finds a received row; without it every received
    // row would cost a scan of the whole table. Empty when the table has no CD_UND.
    std::string interchangeIndex;
    int registryOrder = 0; // NR_ORDEM of the table's TABELA_EDI row; 0 when it is not registered
    std::vector<ForeignKey> foreignKeys;

    const Column* findColumn(std::string_view columnName) const; // case-insensitive
    const Column& column(std::string_view columnName) const;     // throws Error when absent
    bool hasColumn(std::string_view columnName) const { return findColumn(columnName) != nullptr; }
    bool isRegistered() const { return registryOrder > 0; }
    std::vector<FieldDef> fieldDefs() const;
};

// Every table, parents before children (the order of creation and of the registry).
const std::vector<Table>& tables();
const Table* findTable(std::string_view name); // case-insensitive
const Table& table(std::string_view name);     // throws Error when absent

inline std::string noSuchColumn(std::string_view table, std::string_view column) {
    return "A tabela " + std::string(table) + " não tem a coluna " + std::string(column);
}
const Table* findTableByDataset(std::string_view dataset);

// The tables that get a TABELA_EDI row, in NR_ORDEM order.
std::vector<const Table*> registeredTables();

// Every generator of the database: GEN_EDI first, then the tables' generators in table order, once each.
const std::vector<std::string>& generatorNames();

inline constexpr const char* kInterchangeGenerator = "GEN_EDI";

// Name of the DT_EXP index of a table: its first 24 characters and "_EXP_IX".
std::string exportIndexName(std::string_view tableName);

// The registry flags of a table at an installation, by the star topology: a unit sends its data and
// receives the reference lists; the central unit receives the data and sends and receives the lists.
struct RegistryFlags {
    bool enviar = false;
    bool receber = false;
};
RegistryFlags registryFlags(const Table& table, bool centralUnit);

} // namespace edi::domain

#pragma once

#include "domain/regras_padroes.h"

#include <string>
#include <vector>

namespace edi::datamodule {

struct GeneratorBinding {
    std::string generator;
    std::string column;
    domain::MomentoGerador momento = domain::MomentoGerador::NovoRegistro;
};

// A detail dataset's parameters follow the master's current row.
struct MasterLink {
    std::string master;               // dataset name
    std::vector<std::string> columns; // each parameter takes the master's column of the same name
};

// How the values of a column the statements write are found when the row does not hold them.
enum class Fill {
    Row,      // the row's own value (the default)
    Null,     // always written empty: a saved row stays pending for export
    UnitCode, // this installation's unit code
};

struct ColumnFill {
    std::string column;
    Fill fill = Fill::Row;
};

// What differs per dataset; everything else is generated from the table's description:
//  - select: "select t.<written columns>, <lookups> from TABLE t <joins> where <where> <marker> order by
//    <order>", unless `select` is given;
//  - insert: every written column;
//  - update: every written column (or `updateColumns`), found by `key` with the values as read;
//  - delete: found by `deleteKey` (by default `key`).
// `key` defaults to the table's primary key: the row key with its owning unit, so a statement never reaches
// another unit's row under the same code.
struct DatasetDef {
    std::string name;  // TB_...
    std::string table; // the table written; empty for a read-only query
    std::string select;
    std::string lookups;        // looked-up and read-only columns of the generated select (expressions with aliases)
    std::string joins;          // after "from TABLE t"
    std::string where;          // may name parameters
    std::string marker;         // a comment where callers splice a condition, after the filter
    bool columnsMarker = false; // "/*CAMPOS*/" between the columns and the from clause
    std::string order;
    std::vector<std::string> written;       // default: the columns of the table's description
    std::vector<std::string> notWritten;    // taken out of the default
    std::vector<std::string> undeclared;    // selected but not settable: new rows write them empty
    std::vector<std::string> updateColumns; // default: `written`
    std::vector<std::string> key;
    std::vector<std::string> deleteKey;
    bool canInsert = true, canUpdate = true, canDelete = true;
    // The select shows rows that may not be stored yet (an outer join): saving one that the update does not
    // find inserts it.
    bool insertWhenMissing = false;
    std::vector<ColumnFill> fills;
    std::vector<GeneratorBinding> generators;
    MasterLink master;
};

// Every dataset of the module and its read-only queries, in a stable order.
const std::vector<DatasetDef>& datasetDefs();
const DatasetDef* findDatasetDef(const std::string& name);

} // namespace edi::datamodule

#pragma once

#include "core/value.h"

#include <optional>
#include <string>
#include <vector>

namespace edi {

class TDM;
namespace db {
class Database;
class Dataset;
} // namespace db

// The statements the row writer generates for one table, and the key they use.
struct ComandosTabela {
    std::string select, insert, modify, del;
    std::vector<std::string> chaves;  // primary-key columns, in catalogue order
    std::vector<std::string> colunas; // every column, in table order
};

// Finds the table's primary key in the catalogue and builds its statements:
// insert with every column, modify rewriting every column by the old key, delete by the old key.
// Any failure becomes "Erro:" + table + CR + the failure's message.
ComandosTabela MontaComandos(TDM& dm, const std::string& nmTabela);
// The same from the catalogue of another database.
ComandosTabela MontaComandos(db::Database& db, const std::string& nmTabela);

// Binds the dataset to the session and gives it the table's statements (select "... where 1=2"); left closed.
ComandosTabela MontaDataSet(TDM& dm, const std::string& nmTabela, db::Dataset& ibds);

// The value to write into a target field, converted by the source field's type; nothing for a null source
// (the target keeps what it holds).
std::optional<Value> CopiaValor(const FieldDef& de, const Value& valor);

} // namespace edi

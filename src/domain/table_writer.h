#pragma once

#include "core/value.h"
#include "db/query.h"
#include "domain/schema.h"

#include <cstdint>
#include <string_view>

namespace edi::domain {

// Inserts rows into one table of the description through one prepared statement that names every
// column; a column not set for a row is written as null.
class TableWriter {
public:
    TableWriter(db::Database& db, const Table& table);

    const Table& table() const { return table_; }
    TableWriter& set(std::string_view column, const Value& value); // throws for a column the table lacks
    void insert();                                                 // writes the row and starts an empty one
    int64_t rowsWritten() const { return rows_; }

private:
    const Table& table_;
    db::Query query_;
    int64_t rows_ = 0;
};

} // namespace edi::domain

#pragma once

#include "domain/schema.h"

#include <span>

namespace edi::domain::detail {

// One table as written in the table list: the column notation of schema_notation.h, the row key and the
// generators as comma-separated names ("GENERATOR:COLUMN" for a generator).
struct TableSource {
    const char* name;
    const char* dataset;
    TableKind kind;
    const char* rowKey;
    const char* generators;
    const char* columns;
};

std::span<const TableSource> tableSources();

// A child table whose rows belong to a row of the parent of the same owner: the child's columns named as the
// parent's primary key (CD_UND among them) must find that row.
struct ForeignKeySource {
    const char* child;
    const char* parent;
};

std::span<const ForeignKeySource> foreignKeySources();

} // namespace edi::domain::detail

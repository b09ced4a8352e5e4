#pragma once

#include "core/value.h"
#include "db/database.h"

#include <string>
#include <vector>

namespace edi::db {

// Result metadata gives a NUMERIC or DECIMAL column only its storage width (4, 9 or 18 digits). Sets the size of
// each such field of `fields` that names a column of `table` to the precision the column was declared with;
// a column the catalogue gives no precision for keeps its size.
void useDeclaredPrecision(Database& db, const std::string& table, std::vector<FieldDef>& fields);

} // namespace edi::db

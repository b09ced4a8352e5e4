#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace edi::db {

// A statement text with ":NAME" parameters rewritten to "?" for the engine, and the name of each position.
// Colons inside string literals, quoted identifiers and comments are left alone; a name may repeat.
struct ParsedStatement {
    std::string sql;                // with "?" markers
    std::vector<std::string> names; // upper-cased, one per marker, in order
};

ParsedStatement parseNamedParameters(std::string_view text);

} // namespace edi::db

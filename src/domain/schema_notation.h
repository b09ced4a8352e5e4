#pragma once

#include "domain/schema.h"

#include <string>
#include <string_view>
#include <vector>

namespace edi::domain {

// Column notation of the table list: "NAME type, NAME type!, ..." where type is integer, smallint,
// bigint, date, time, timestamp, blob, char(n), varchar(n), varchar (20 characters) or numeric(p,s),
// and a trailing "!" marks a required column. "NAME1..4 type" stands for NAME1, NAME2, NAME3, NAME4.
// Throws Error on anything else.
std::vector<Column> parseColumns(std::string_view notation);

// "A, B, C" -> {"A", "B", "C"}; an empty text gives an empty list.
std::vector<std::string> parseNameList(std::string_view list);

// "GEN_A:COL_A, GEN_B:COL_B"
std::vector<GeneratorUse> parseGeneratorUses(std::string_view list);

} // namespace edi::domain

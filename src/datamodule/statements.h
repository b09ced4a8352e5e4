#pragma once

#include "core/value.h"
#include "datamodule/dataset_def.h"

#include <string>
#include <string_view>
#include <vector>

namespace edi::datamodule {

// Column and table names compare without regard to case, as the engine compares them.
bool sameName(std::string_view a, std::string_view b);
bool containsName(const std::vector<std::string>& names, std::string_view name);

struct Statements {
    std::string select, insert, update, remove;
};

// The columns the dataset's statements write, with the types of the table's description.
std::vector<FieldDef> writtenColumns(const DatasetDef& def);
// The update and delete keys, resolved (the table's primary key when not given).
std::vector<std::string> updateKey(const DatasetDef& def);
std::vector<std::string> deleteKey(const DatasetDef& def);

// Statement texts of a dataset: the given select or the generated one, and the generated insert, update and
// delete (empty where the dataset cannot do that).
Statements statementsOf(const DatasetDef& def);

} // namespace edi::datamodule

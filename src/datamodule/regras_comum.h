#pragma once

// Small pieces the rule files share.

#include "datamodule/tdmgeral.h"

#include <string>

namespace edi::datamodule {

// Adds a rule to an event slot, after whatever the slot already runs.
void encadeia(Hooks::Event& slot, Hooks::Event regra);

bool editandoOuInserindo(ModuleDataset& ds);

// The column of another dataset's current row; null when that dataset is missing, closed, has no row or
// does not select the column.
Value valorCorrente(TDMGERAL& modulo, const std::string& dataset, const std::string& coluna);

// The rules of each group, bound to the module's datasets.
void instalaRegrasInsercao(TDMGERAL& modulo);
void instalaRegrasGravacao(TDMGERAL& modulo);
void instalaRegrasExclusao(TDMGERAL& modulo);

} // namespace edi::datamodule

#pragma once

#include "db/dataset.h"

namespace edi::domain {

// Makes `ds` the gateway that marks sending protocols: its select takes the rows of one month sheet
// (parameters CD_UNIDADE, CD_PROVINCIA, CD_MUNICIPIO, VL_MESANO and TP_PROTOCOLO) and posting an edited row
// writes every column back to the row found by its key as read. Built from the table's description.
void MontaTB_PROTOCOLO_ENVIO(db::Dataset& ds);

} // namespace edi::domain

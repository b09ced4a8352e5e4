#pragma once

#include <string>
#include <utility>
#include <vector>

namespace edi::domain {

// Packets of these table names carry the census of a unit's rows (unit -> central unit) and the central unit's
// answer (central unit -> every unit). No database table has these names: installations that do not know them
// leave such packets alone.
inline constexpr const char* kPacoteCenso = "EDI_CENSO";
inline constexpr const char* kPacoteRespostaCenso = "EDI_CENSO_RESPOSTA";

// What a unit keeps of its censuses: per table the last one and its answer; per range of codes the repairs it
// needed in a row; the codes a restored database never held, which must never be deleted at the central unit; per
// table the columns the central unit last said it has (a census hashes only those when the two sides differ).
inline constexpr const char* kTabelaEstadoCenso = "EDI_CENSO_ESTADO";
inline constexpr const char* kTabelaReparosCenso = "EDI_CENSO_REPARO";
inline constexpr const char* kTabelaLacunas = "EDI_CODIGO_LACUNA";
inline constexpr const char* kTabelaColunasCenso = "EDI_CENSO_COLUNAS";

// The CREATE TABLE statements of these, in order; each is made when the database lacks it.
std::vector<std::pair<std::string, std::string>> tabelasDoCenso();

} // namespace edi::domain

#pragma once

#include <optional>
#include <string>
#include <vector>

namespace edi {

class TDM;
namespace db {
class Database;
}

// One row of TABELA_EDI: a table that takes part in the interchange.
struct RegistroEDI {
    std::string NM_TABELA; // trimmed
    std::string NM_ALIAS;  // trimmed; empty when none
    std::string FL_ENVIAR, FL_RECEBER, FL_VALIDAR_RECEBIMENTO, FL_MARCAR_EXP, FL_ATUALIZAR_EDI;
    std::optional<int> NR_ORDEM;

    // Flags switch a table off only when exactly "N".
    bool enviar() const { return FL_ENVIAR != "N"; }
    bool receber() const { return FL_RECEBER != "N"; }
    // Where received rows are written.
    const std::string& destino() const { return NM_ALIAS.empty() ? NM_TABELA : NM_ALIAS; }
};

// Reads "select * from  TABELA_EDI" and orders it by NR_ORDEM. Rows without NR_ORDEM come first; ties keep
// the order of NM_TABELA, so the walk is the same on every run and every installation.
std::vector<RegistroEDI> carregaRegistro(TDM& dm);
std::vector<RegistroEDI> carregaRegistro(db::Database& base);

} // namespace edi

#pragma once

// Which datasets ask before deleting, and how a refused delete is told to the user.

#include <string>
#include <string_view>

namespace edi::domain {

// These datasets ask before deleting a row.
bool ConfirmaAntesDeExcluir(std::string_view dataset);
// These datasets turn a failed delete into "Não foi possível excluir ..." and a silent abort.
bool TraduzErroDelete(std::string_view dataset);

// The referencing table named in a foreign-key error: the first quoted name after "on table"; empty without it.
std::string PegaNomeTabela(std::string_view erro);
// The text shown for a delete the database refused.
std::string MensagemErroDelete(std::string_view dataset, std::string_view erro);

// The child tables a notification takes with it, in the order they are emptied.
inline constexpr const char* kFilhasNotificacao[] = {
    "ASPECTO_NOTIFICACAO", "CIRCUNCISAO", "DENTARIO", "EXCECAO_IMPORTAR",
    "INTERV_CIRURGICA",    "PERFURACAO",  "TATUAGEM", "TRANSFUSAO"};

} // namespace edi::domain

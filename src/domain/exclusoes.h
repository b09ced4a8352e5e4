#pragma once

#include "core/value.h"

#include <cstdint>
#include <string>

namespace edi::domain {

// A row's owner is its CD_UND. The central unit passes on the units' rows it imports (their DT_EXP cleared, so its
// export relays them to every unit); its own rows come back to it from nowhere. A unit passes nothing on: the
// central unit already sent the row everywhere, and a copy sent back would echo for ever and could carry an older
// version over a newer one. Deletions travel the same way: from the owner, relayed by the central unit alone.
struct RegraDePosse {
    int64_t unidade = 0; // this installation
    int64_t central = 0;

    bool importadaSegueAdiante(const Value& cdUnd) const {
        return ehCentral() && (cdUnd.isNull() || cdUnd.asInt64() != central);
    }
    bool ehCentral() const { return unidade == central; }
    // A row owned here with a change not yet sent (`dtExp` null) keeps it: whatever comes back of it through the
    // central unit left before that change, and the change goes out with the next export.
    bool mudancaLocalPrevalece(const Value& cdUnd, const Value& dtExp) const {
        return !cdUnd.isNull() && cdUnd.asInt64() == unidade && dtExp.isNull();
    }
    // Only the owner deletes its rows: a deletion of one coming back through the central unit is not applied.
    bool aplicaExclusaoRecebida(const Value& cdUnd) const { return cdUnd.isNull() || cdUnd.asInt64() != unidade; }
    // The condition, on the deleted row's `coluna`, of a deletion this installation sends; `importando` is the
    // condition that the import made it.
    std::string exclusaoEnviada(const std::string& coluna, const std::string& importando) const;
};

// Deletions of rows owned here wait in this table, one row per deletion, until an export sends them (DT_EXP set).
inline constexpr const char* kTabelaExclusoes = "EDI_EXCLUSAO";
// Set by the import on its connection while it writes: what it deletes came from elsewhere and is not sent again.
inline constexpr const char* kContextoImportacao = "EDI_IMPORTACAO";

std::string criaTabelaExclusoes();
// The AFTER DELETE trigger that records a deletion of an owned row that had an interchange code.
std::string nomeGatilhoExclusao(const std::string& tabela);
std::string criaGatilhoExclusao(const std::string& tabela, const RegraDePosse& posse);
// Text the trigger's source holds exactly when it was made for `posse` by this version: an older one is replaced.
std::string marcaGatilhoExclusao(const RegraDePosse& posse);

} // namespace edi::domain

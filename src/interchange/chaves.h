#pragma once

#include "db/database.h"

#include <set>
#include <string>
#include <vector>

namespace edi {

class TDM;

// The keys of an installation's tables where its schema came from elsewhere (an older create-db, the data-entry
// application): a primary key widened to the owning unit, so rows of two units never collide, and the foreign
// keys of the schema description, so a delete cannot leave orphans. Done where it is safe; what cannot be done
// is told in words for the operator.
class PreparacaoChaves {
public:
    // `unidade`: this installation's code, the owner of rows that have none yet.
    PreparacaoChaves(TDM& dm, std::string unidade);

    // Once per table, and again at each call while something could not be done; true when a statement changed
    // the schema (committed already). Lines for the operator are added to `avisos`.
    bool prepara(const std::string& tabela, std::vector<std::string>& avisos);

private:
    bool alargaChave(const std::string& T, std::vector<std::string>& avisos);
    bool criaChavesEstrangeiras(const std::string& T, std::vector<std::string>& avisos);

    TDM& dm_;
    db::Database& db_;
    std::string unidade_;
    std::set<std::string> feitas_;
};

} // namespace edi

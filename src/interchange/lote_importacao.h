#pragma once

#include "db/query.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace edi {

class TDM;

// Records an import writes between two commits of the session transaction. Waiting for the disk once per
// batch instead of once per record is what makes import fast; each record is written under a savepoint, so a
// failing record is undone alone and the rest of the batch stays.
class LoteImportacao {
public:
    // Full after `tamanho` records (1: every record on its own) or once its first record is `idadeMaxima`
    // old, so the data-entry application never waits on the batch's locks for longer than that.
    LoteImportacao(TDM& dm, int tamanho, std::chrono::milliseconds idadeMaxima);

    void abreRegistro();    // the record's savepoint
    void fechaRegistro();   // the record is written: it joins the batch
    void desfazRegistro();  // undoes what the open record wrote; nothing when none is open
    bool cheio() const;
    // Makes the batch durable; false when it held no record. Throws when something rolled the session
    // transaction back under the batch: its records are gone, and what the caller took as done is not.
    bool confirma();
    // Drops the batch (its records are written again by the next run, which meets the same file).
    void abandona() noexcept;

private:
    TDM& dm_;
    int tamanho_;
    std::chrono::milliseconds idadeMaxima_;
    int registros_ = 0;
    bool registroAberto_ = false;
    std::chrono::steady_clock::time_point inicio_;
    uint64_t rollbacksNoInicio_ = 0;
    // Prepared once: a statement parsed per record costs as much as the record's own writing.
    db::Query abre_, desfaz_;
};

} // namespace edi

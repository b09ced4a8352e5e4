#pragma once

#include "app/unidade_de_trabalho.h"

#include <chrono>

namespace edi {

class TDM;

// Records an import writes between two commits of the session transaction. Waiting for the disk once per
// batch instead of once per record is what makes import fast. A record writes its row with one statement, which
// the engine undoes whole when it fails, so a failing record leaves nothing and the rest of the batch stays; a
// record that came to write more than one statement would need a savepoint of its own.
class LoteImportacao {
public:
    // Full after `tamanho` records (1: every record on its own) or once its first record is `idadeMaxima`
    // old, so the data-entry application never waits on the batch's locks for longer than that.
    LoteImportacao(TDM& dm, int tamanho, std::chrono::milliseconds idadeMaxima);

    void abreRegistro();  // a record is about to be written
    void fechaRegistro(); // the record is written: it joins the batch
    // Also full once something else committed the session transaction under it (from the message loop): its
    // rows are durable then, and what the caller writes with the commit (the rows' memory) is due at once.
    bool cheio() const;
    // Makes the batch durable; false when it held no record. Throws when something rolled the session
    // transaction back under the batch: its records are gone, and what the caller took as done is not.
    bool confirma();
    // Drops the batch (its records are written again by the next run, which meets the same file).
    void abandona() noexcept;

private:
    UnidadeDeTrabalho unidade_;
    int tamanho_;
    std::chrono::milliseconds idadeMaxima_;
    int registros_ = 0;
    std::chrono::steady_clock::time_point inicio_;
};

} // namespace edi

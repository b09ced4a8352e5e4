#include "interchange/lote_importacao.h"

#include "app/session.h"
#include "core/errors.h"

#include <algorithm>

namespace edi {

namespace {
constexpr const char* kSavepoint = "EDI_REGISTRO";
}

LoteImportacao::LoteImportacao(TDM& dm, int tamanho, std::chrono::milliseconds idadeMaxima)
    : dm_(dm), tamanho_(std::max(1, tamanho)), idadeMaxima_(idadeMaxima),
      abre_(dm.DB(), std::string("SAVEPOINT ") + kSavepoint), desfaz_(dm.DB(), std::string("ROLLBACK TO SAVEPOINT ") + kSavepoint) {}

void LoteImportacao::abreRegistro() {
    dm_.Transacao();
    if (registros_ == 0) {
        inicio_ = std::chrono::steady_clock::now();
        rollbacksNoInicio_ = dm_.TS().rollbackCount();
    }
    abre_.execute();
    registroAberto_ = true;
}

// The record's savepoint stays until the next record's, which replaces it (a savepoint of the same name is
// released by the engine), or the commit: a release per record would be one more statement per row.
void LoteImportacao::fechaRegistro() {
    registroAberto_ = false;
    ++registros_;
}

void LoteImportacao::desfazRegistro() {
    if (!registroAberto_)
        return;
    registroAberto_ = false;
    desfaz_.execute();
}

bool LoteImportacao::cheio() const {
    return registros_ >= tamanho_ ||
           (registros_ > 0 && std::chrono::steady_clock::now() - inicio_ >= idadeMaxima_);
}

bool LoteImportacao::confirma() {
    if (registros_ == 0)
        return false;
    if (dm_.TS().rollbackCount() != rollbacksNoInicio_)
        throw Error("a transação foi desfeita durante a importação e levou " + std::to_string(registros_) +
                    " registro(s) ainda não confirmado(s); o arquivo fica para a próxima importação");
    dm_.Commit();
    registros_ = 0;
    return true;
}

void LoteImportacao::abandona() noexcept {
    registroAberto_ = false;
    registros_ = 0;
    try {
        dm_.Rollback();
    } catch (...) {
        // the connection is gone: so is the batch
    }
}

} // namespace edi

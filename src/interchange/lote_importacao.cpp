#include "interchange/lote_importacao.h"

#include "app/session.h"
#include "core/errors.h"

#include <algorithm>

namespace edi {

LoteImportacao::LoteImportacao(TDM& dm, int tamanho, std::chrono::milliseconds idadeMaxima)
    : dm_(dm), tamanho_(std::max(1, tamanho)), idadeMaxima_(idadeMaxima) {}

void LoteImportacao::abreRegistro() {
    dm_.Transacao();
    if (registros_ == 0) {
        inicio_ = std::chrono::steady_clock::now();
        rollbacksNoInicio_ = dm_.TS().rollbackCount();
        commitsNoInicio_ = dm_.TS().commitCount();
    }
}

void LoteImportacao::fechaRegistro() {
    ++registros_;
}

bool LoteImportacao::cheio() const {
    return registros_ >= tamanho_ || (registros_ > 0 && (std::chrono::steady_clock::now() - inicio_ >= idadeMaxima_ ||
                                                         dm_.TS().commitCount() != commitsNoInicio_));
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
    registros_ = 0;
    try {
        dm_.Rollback();
    } catch (...) {
        // the connection is gone: so is the batch
    }
}

} // namespace edi

#include "interchange/lote_importacao.h"

#include "core/errors.h"

#include <algorithm>

namespace edi {

LoteImportacao::LoteImportacao(TDM& dm, int tamanho, std::chrono::milliseconds idadeMaxima)
    : unidade_(dm), tamanho_(std::max(1, tamanho)), idadeMaxima_(idadeMaxima) {}

void LoteImportacao::abreRegistro() {
    if (registros_ == 0) {
        inicio_ = std::chrono::steady_clock::now();
        unidade_.recomeca();
    }
}

void LoteImportacao::fechaRegistro() {
    ++registros_;
}

bool LoteImportacao::cheio() const {
    return registros_ >= tamanho_ || (registros_ > 0 && (std::chrono::steady_clock::now() - inicio_ >= idadeMaxima_ ||
                                                         unidade_.confirmadaPorOutro()));
}

bool LoteImportacao::confirma() {
    if (registros_ == 0)
        return false;
    if (unidade_.desfeitaPorOutro())
        throw Error("a transação foi desfeita durante a importação e levou " + std::to_string(registros_) +
                    " registro(s) ainda não confirmado(s); o arquivo fica para a próxima importação");
    unidade_.confirma();
    registros_ = 0;
    return true;
}

void LoteImportacao::abandona() noexcept {
    registros_ = 0;
    try {
        unidade_.desfaz();
    } catch (...) {
        // the connection is gone: so is the batch
    }
}

} // namespace edi

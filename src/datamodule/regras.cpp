// The rules bound to the module's datasets: insert defaults and keys, posting, deletion and validation.
#include "datamodule/regras_comum.h"

namespace edi::datamodule {

void instalaRegras(TDMGERAL& modulo) {
    instalaRegrasInsercao(modulo);
    // The cascade's savepoint is released before the commit that the posting rules bind after a delete.
    instalaRegrasExclusao(modulo);
    instalaRegrasGravacao(modulo);
}

} // namespace edi::datamodule

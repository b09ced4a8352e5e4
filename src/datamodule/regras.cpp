// The rules bound to the module's datasets: insert defaults and keys, posting, deletion and validation.
#include "datamodule/tdmgeral.h"

namespace edi::datamodule {

void instalaRegras(TDMGERAL& modulo) {
    // The qyUnidade parameter follows this installation's unit.
    modulo.qyUnidade().hooks().beforeOpen = [&modulo](DataSet& ds) {
        ds.setParam("Unidade", Value::text(modulo.geral().prmUnidade));
    };
}

} // namespace edi::datamodule

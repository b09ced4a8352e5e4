// The rules bound to the module's datasets: insert defaults and keys, posting, deletion and validation.
#include "datamodule/tdmgeral.h"

namespace edi::datamodule {

void instalaRegras(TDMGERAL&) {}

} // namespace edi::datamodule

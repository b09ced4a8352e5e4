#pragma once

// Which datasets make the shared transaction durable as soon as a row is saved or deleted.

#include <string_view>

namespace edi::domain {

// After a successful post or delete these datasets make the whole shared transaction durable.
bool ComitaAposGravar(std::string_view dataset);
bool ComitaAposExcluir(std::string_view dataset);

} // namespace edi::domain

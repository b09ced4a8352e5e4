#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace edi::platform {

// "edi-sync (EDI - Data Interchange) 2.1.0": the answer to --version and the first line of a run's log.
std::string linhaDeVersao(std::string_view programa);

// --help (or -h) and --version, answered alike by every program before it does anything else, the desktop
// program before it needs a display: the help text or the version line on standard output. The exit status
// when one of them was asked, nullopt otherwise.
std::optional<int> respondeAjudaOuVersao(int argc, const char* const* argv, std::string_view programa,
                                         std::string_view ajuda);

// A command line the program cannot take: the reason and a pointer to --help on standard error; the usage-error
// exit status, 2.
int erroDeUso(std::string_view programa, std::string_view texto);

} // namespace edi::platform

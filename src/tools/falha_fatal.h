#pragma once

#include "app/geral.h"

#include <filesystem>
#include <optional>

namespace edi::tools {

// The fatal path: std::terminate and the signals of a crash (SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL) write a
// report with the stack into `log`, then the process dies of the same cause.
void instalaGanchosFatais(const std::filesystem::path& log);

// With these, a crash also mails its report: a fresh copy of the program is started for that (the crashed
// process's heap cannot be trusted), reads the SMTP settings from `ini` and the identification taken from
// `geral` at the moment of the crash.
void informaMalaDireta(const std::filesystem::path& ini, const UGeral* geral);

// What such a fresh copy receives; nothing in any other process.
struct PedidoDeRelato {
    std::filesystem::path log, ini;
    UGeral geral;
};
std::optional<PedidoDeRelato> pedidoDeRelatoFatal();

} // namespace edi::tools

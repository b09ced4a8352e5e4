#pragma once

#include "tools/error_reporter.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>

namespace edi {
struct Configuracao;
struct UGeral;
} // namespace edi

namespace edi::tools {

// The program's filter: before the error is shown, the accumulated log goes by mail with five lines that
// identify this installation; the log is deleted once the mail went out and keeps everything otherwise.
class TNewDialogFilter : public IErrorFilter {
public:
    // The SMTP settings come from `config`, the identification from `geral` as it stands at each error.
    TNewDialogFilter(const Configuracao& config, const UGeral& geral, std::filesystem::path logFile);

    ResultadoFiltro ShowException(const ErroCapturado& erro, const TextosDoErro& textos) override;
    ResultadoFiltro LogException(const ErroCapturado&, const TextosDoErro&) override { return EXC_FILTER_CONTINUE; }
    ResultadoFiltro ExceptionMessage(const ErroCapturado&, std::string&) override { return EXC_FILTER_CONTINUE; }

    // Mails the log now; false when there is no log or the mail did not go out.
    bool enviaLog();

    // A dead mail server costs a connection time-out per attempt: attempts are at least this far apart
    // (one cycle); errors in between only add their reports to the log, which the next attempt carries.
    std::chrono::milliseconds espacamento{0};

private:
    const Configuracao& config_;
    const UGeral& geral_;
    std::filesystem::path logFile_;
    std::optional<std::chrono::steady_clock::time_point> ultimaTentativa_;
};

// Sets up the process's reporter for a program whose folder is `pasta`: the log file there, where errors are
// shown (`mostra`; unset: standard error), std::terminate and the fatal signals.
void InstalaRelatorDeErros(const std::filesystem::path& pasta, std::function<void(const TextosDoErro&)> mostra);

// The program's mail filter registered with the process's reporter for every error, for the life of this
// object (which must not outlive `config` and `geral`). The passwords of `config` never reach a report.
class FiltroDoPrograma {
public:
    FiltroDoPrograma(const Configuracao& config, const UGeral& geral);
    ~FiltroDoPrograma();
    FiltroDoPrograma(const FiltroDoPrograma&) = delete;
    FiltroDoPrograma& operator=(const FiltroDoPrograma&) = delete;

    std::shared_ptr<TNewDialogFilter> MyFilter;
};

// To be called first thing in main: in the process that a fatal signal started to mail its report, sends
// it and returns the exit status; in every other process returns -1 at once.
int AtendeRelatoDeFalhaFatal();

} // namespace edi::tools

#pragma once

#include "tools/pilha.h"

#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace edi::tools {

// What a filter answers: stop the walk through the filters, or pass on to the next.
enum ResultadoFiltro : int { EXC_FILTER_STOP = 0, EXC_FILTER_CONTINUE = 1 };

// An error that reached the reporter: the object and what is known about it.
struct ErroCapturado {
    std::exception_ptr ptr;
    const std::exception* objeto = nullptr; // null for something that is not a std::exception
    std::string classe;
    Pilha pilha;
    bool pilhaDoLancamento = false; // else the stack where the error was caught
    bool fatal = false;             // the process ends after the report: no dialog
};

// The texts the reporter makes of an error, handed to the filters that show it.
struct TextosDoErro {
    std::string titulo = "Application Error";
    std::string texto;    // class, module, address, source line, message
    std::string mensagem; // the message alone, what an operator reads first
    std::string pilha;    // call stack, one frame per line
    std::string contexto; // processor context
    std::string informacao;
};

// A filter of the reporter; the reporter walks the matching filters newest first for each operation.
class IErrorFilter {
public:
    virtual ~IErrorFilter() = default;
    virtual ResultadoFiltro ShowException(const ErroCapturado& erro, const TextosDoErro& textos) = 0;
    virtual ResultadoFiltro LogException(const ErroCapturado& erro, const TextosDoErro& textos) = 0;
    virtual ResultadoFiltro ExceptionMessage(const ErroCapturado& erro, std::string& texto) = 0;
};

// The process's handler of errors that nothing else handled: it makes the error's text, appends a report to
// LogFile and shows it, through its filters. Its own default filter, registered for every class, comes last.
class TErrorReporter {
public:
    TErrorReporter();

    // In the program folder (the executable's, until the program names its own).
    std::filesystem::path LogFile;
    // Where the default filter shows an error: the desktop's dialog; unset, standard error.
    std::function<void(const TextosDoErro&)> mostraErro;

    // `Strict`: only that very class; otherwise its descendants too.
    template <class E> void RegisterExceptionFilter(std::shared_ptr<IErrorFilter> filtro, bool Strict) {
        registra(
            [Strict](const ErroCapturado& erro) {
                if (!erro.objeto)
                    return false;
                return Strict ? typeid(*erro.objeto) == typeid(E) : dynamic_cast<const E*>(erro.objeto) != nullptr;
            },
            std::move(filtro));
    }
    void UnregisterExceptionFilter(const std::shared_ptr<IErrorFilter>& filtro);

    // Texts that must never reach a report (passwords): replaced by "****".
    void ocultaSegredos(const std::vector<std::string>& segredos);
    std::string semSegredos(std::string texto) const;

    // Handles the error `ptr`; never throws. `fatal`: the process is about to end, nothing is shown.
    void HandleException(std::exception_ptr ptr, bool fatal = false);

    // The report the default filter appends to the log.
    std::string relatorio(const TextosDoErro& textos) const;

private:
    using Condicao = std::function<bool(const ErroCapturado&)>;
    struct Registro {
        Condicao condicao;
        std::shared_ptr<IErrorFilter> filtro;
    };
    void registra(Condicao condicao, std::shared_ptr<IErrorFilter> filtro);
    ErroCapturado captura(std::exception_ptr ptr, bool fatal) const;

    std::recursive_mutex serie_;
    std::vector<Registro> filtros_;
    std::vector<std::string> segredos_;
};

// The process-wide reporter.
TErrorReporter& ErrorReporter();

// "dd/mm/yyyy hh:nn:ss" of the local clock, the header of every report.
std::string cabecalhoDoRelatorio();

} // namespace edi::tools

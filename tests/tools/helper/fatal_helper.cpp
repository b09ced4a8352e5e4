// Installs the program's error reporting on a program folder and then dies the way argv[2] names:
// "segv", "abort" or "terminate".
#include "app/configuracao.h"
#include "app/geral.h"
#include "tools/new_dialog_filter.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

[[gnu::noinline]] void provocaFalhaDeSegmentacao() {
    volatile std::uintptr_t invalido = 8; // hidden from the optimiser, so the store really happens
    *reinterpret_cast<volatile int*>(invalido) = 1;
}

[[gnu::noinline]] void lancaSemTratamento() {
    throw std::runtime_error("erro que ninguém tratou");
}

// Nothing may leave here: the throw below ends in std::terminate.
[[gnu::noinline]] void semTratamento() noexcept {
    lancaSemTratamento();
}

} // namespace

int main(int argc, char** argv) {
    if (const int relato = edi::tools::AtendeRelatoDeFalhaFatal(); relato >= 0)
        return relato;
    if (argc != 3)
        return 2;
    const std::filesystem::path home = argv[1];
    const edi::Configuracao config = edi::LeConfiguracao(home / "jaq.ini");
    edi::UGeral geral;
    geral.sLogComputer = "ESTACAO7";
    geral.sLogUnidade = "12-Centro de Saúde";
    geral.sLogUsuario = "-";
    geral.sLogSistema = "EDI - ( Versão: 2.1.0-04 )";
    geral.sPath = home / "";
    edi::tools::InstalaRelatorDeErros(home, nullptr);
    const edi::tools::FiltroDoPrograma filtro(config, geral);

    const std::string modo = argv[2];
    if (modo == "segv")
        provocaFalhaDeSegmentacao();
    else if (modo == "abort")
        std::abort();
    else if (modo == "terminate")
        semTratamento();
    return 3;
}

#include "platform/linha_de_comando.h"

#include "platform/versao.h"

#include <iostream>

namespace edi::platform {

std::string linhaDeVersao(std::string_view programa) {
    return std::string(programa) + " (" + kNomeDoProduto + ") " + kVersaoDoPrograma;
}

std::optional<int> respondeAjudaOuVersao(int argc, const char* const* argv, std::string_view programa,
                                         std::string_view ajuda) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << ajuda;
            return 0;
        }
        if (a == "--version") {
            std::cout << linhaDeVersao(programa) << '\n';
            return 0;
        }
    }
    return std::nullopt;
}

int erroDeUso(std::string_view programa, std::string_view texto) {
    std::cerr << programa << ": " << texto << "\nExperimente \"" << programa << " --help\".\n";
    return 2;
}

} // namespace edi::platform

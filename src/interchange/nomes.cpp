#include "interchange/nomes.h"

#include "core/formats.h"

namespace edi {

std::string RetiraNumero(const std::string& F, const std::string& T) {
    std::string out = T;
    for (size_t i = T.size(); i < F.size(); ++i)
        if (F[i] < '0' || F[i] > '9')
            out += F[i];
    return out;
}

bool PertenceATabela(const std::string& F, const std::string& T) {
    // The listing's pattern T + "*.xml", without regard to case.
    if (F.size() < T.size() + 4 || !formats::equalsIgnoreCase(F.substr(0, T.size()), T) ||
        !formats::equalsIgnoreCase(F.substr(F.size() - 4), ".xml"))
        return false;
    std::string semNumero = RetiraNumero(F, T);
    const size_t xml = semNumero.find(".xml");
    if (xml != std::string::npos)
        semNumero.erase(xml, 4);
    return semNumero == T;
}

std::string NomeArquivoPacote(const std::string& T, const std::string& unidade, const Timestamp& inicio) {
    return T + unidade + formatDateTime("ddmmyyhhnnss", inicio) + ".xml";
}

std::string NomeIndiceExp(const std::string& T) { return T.substr(0, 24) + "_EXP_IX"; }

} // namespace edi

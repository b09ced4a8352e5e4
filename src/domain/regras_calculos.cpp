#include "domain/regras_calculos.h"

#include "core/formats.h"

#include <algorithm>

namespace edi::domain {

std::string PrefixoNrProcessoCrianca(int64_t nrProcessoMae) {
    return std::to_string(nrProcessoMae) + "-";
}

std::string ProximoNrProcessoCrianca(const std::string& prefixo, const std::vector<std::string>& existentes) {
    for (int64_t n = 1;; ++n) {
        std::string candidato = prefixo + std::to_string(n);
        if (std::find(existentes.begin(), existentes.end(), candidato) == existentes.end())
            return candidato;
    }
}

std::string SimNao(const Value& flag) {
    if (flag.isNull())
        return "NÃO";
    switch (flag.asInt64()) {
    case 0: return "NÃO";
    case 1: return "SIM";
    default: return "";
    }
}

FigurasCd4 CalculaCd4(const Value& cd3, const Value& cd4, const Value& cd8) {
    // An empty count counts as 0.
    const double n3 = cd3.isNull() ? 0 : cd3.asDouble();
    const double n4 = cd4.isNull() ? 0 : cd4.asDouble();
    const double n8 = cd8.isNull() ? 0 : cd8.asDouble();
    FigurasCd4 f;
    if (n3 > 0) {
        f.prcd4 = n4 * 100 / n3;
        f.prcd8 = n8 * 100 / n3;
    }
    if (n8 > 0)
        f.rcd4cd8 = n4 / n8;
    return f;
}

} // namespace edi::domain

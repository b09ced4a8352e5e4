#include "interchange/nomes.h"

namespace edi {

namespace {

// A clock before this is wrong: no packet of this program was made earlier.
constexpr int kPrimeiroAnoReal = 2000;

bool podeSerReal(const Timestamp& t) {
    return t >= Timestamp::fromParts(kPrimeiroAnoReal, 1, 1) &&
           t < Timestamp::fromParts(kPrimeiroAnoDoNome + 100, 1, 1);
}

} // namespace

std::string NomeIndiceExp(const std::string& T) {
    return T.substr(0, 24) + "_EXP_IX";
}

Timestamp ProximoMomento(const Timestamp& relogio, const std::optional<Timestamp>& ultimo) {
    Timestamp agora = relogio;
    agora.time.units -= agora.time.units % Time::kUnitsPerSecond; // the name holds whole seconds
    if (!ultimo)
        return podeSerReal(agora) ? agora : Timestamp::fromParts(kPrimeiroAnoReal, 1, 1);
    const Timestamp seguinte = ultimo->plusSeconds(1);
    return podeSerReal(agora) && agora > seguinte ? agora : seguinte;
}

int64_t SegundosDoMomento(const Timestamp& momento) {
    return int64_t{momento.date.days} * 86400 + momento.time.units / Time::kUnitsPerSecond;
}

Timestamp MomentoDosSegundos(int64_t segundos) {
    return Timestamp{}.plusSeconds(segundos);
}

} // namespace edi

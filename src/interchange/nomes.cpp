#include "interchange/nomes.h"

#include "core/formats.h"

#include <cctype>

namespace edi {

namespace {

// The two-digit years a name can hold: 1970 to 2069.
constexpr int kPrimeiroAnoDoNome = 1970;
// A clock before this is wrong: no packet of this program was made earlier.
constexpr int kPrimeiroAnoReal = 2000;

int anoDoNome(int yy) {
    return yy >= kPrimeiroAnoDoNome % 100 ? 1900 + yy : 2000 + yy;
}

bool podeSerReal(const Timestamp& t) {
    return t >= Timestamp::fromParts(kPrimeiroAnoReal, 1, 1) &&
           t < Timestamp::fromParts(kPrimeiroAnoDoNome + 100, 1, 1);
}

} // namespace

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

std::optional<Timestamp> MomentoDoPacote(const std::string& F) {
    const size_t fim = F.size() >= 4 ? F.size() - 4 : 0;
    if (fim < 12)
        return std::nullopt;
    int d[12];
    for (size_t i = 0; i < 12; ++i) {
        const char c = F[fim - 12 + i];
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        d[i] = c - '0';
    }
    auto par = [&](int i) { return d[i] * 10 + d[i + 1]; };
    const int dia = par(0), mes = par(2), ano = anoDoNome(par(4)), hora = par(6), minuto = par(8), segundo = par(10);
    if (!isValidDate(ano, mes, dia) || !isValidTime(hora, minuto, segundo))
        return std::nullopt;
    return Timestamp::fromParts(ano, mes, dia, hora, minuto, segundo);
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

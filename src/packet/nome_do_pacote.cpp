#include "packet/nome_do_pacote.h"

#include "core/formats.h"

#include <cctype>
#include <cstring>
#include <regex>
#include <string_view>

namespace edi {

namespace {

// "ddmmyyhhnnss"
constexpr size_t kDigitosDoMomento = 12;
constexpr size_t kTamanhoExtensao = std::string_view(kExtensaoPacote).size();

int anoDoNome(int yy) {
    return yy >= kPrimeiroAnoDoNome % 100 ? 1900 + yy : 2000 + yy;
}

bool terminaEm(const std::string& nome, const char* extensao) {
    const size_t n = std::strlen(extensao);
    return nome.size() > n && nome.compare(nome.size() - n, n, extensao) == 0;
}

std::string trocaExtensao(const std::string& nome, const char* de, const char* para) {
    return nome.substr(0, nome.size() - std::strlen(de)) + para;
}

} // namespace

std::string NomeArquivoPacote(const std::string& T, const std::string& unidade, const Timestamp& inicio) {
    return T + unidade + formatDateTime("ddmmyyhhnnss", inicio) + kExtensaoPacote;
}

bool NomeDePacote(const std::string& nome) {
    // The unit code is digits ("-999" while undefined); a table name may end in digits too.
    static const std::regex padrao(R"([A-Za-z][A-Za-z0-9_$]*-?[0-9]{13,}\.xml)");
    return std::regex_match(nome, padrao);
}

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
        !formats::equalsIgnoreCase(F.substr(F.size() - 4), kExtensaoPacote))
        return false;
    std::string semNumero = RetiraNumero(F, T);
    const size_t xml = semNumero.find(kExtensaoPacote);
    if (xml != std::string::npos)
        semNumero.erase(xml, 4);
    return semNumero == T;
}

std::optional<Timestamp> MomentoDoPacote(const std::string& F) {
    const size_t fim = F.size() >= kTamanhoExtensao ? F.size() - kTamanhoExtensao : 0;
    if (fim < kDigitosDoMomento)
        return std::nullopt;
    int d[kDigitosDoMomento];
    for (size_t i = 0; i < kDigitosDoMomento; ++i) {
        const char c = F[fim - kDigitosDoMomento + i];
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

std::optional<std::string> UnidadeDoPacote(const std::string& F, const std::string& T) {
    const size_t fixo = T.size() + kDigitosDoMomento + kTamanhoExtensao;
    if (F.size() < fixo)
        return std::nullopt;
    return F.substr(T.size(), F.size() - fixo);
}

std::string TabelaDoPacote(const std::string& F, const std::string& unidade) {
    const size_t fixo = unidade.size() + kDigitosDoMomento + kTamanhoExtensao;
    return F.size() > fixo ? F.substr(0, F.size() - fixo) : std::string();
}

std::string NomeArquivado(const std::string& pacote) {
    return terminaEm(pacote, kExtensaoPacote) ? trocaExtensao(pacote, kExtensaoPacote, kExtensaoArquivado) : pacote;
}

std::optional<std::string> PacoteArquivado(const std::string& arquivado) {
    if (!terminaEm(arquivado, kExtensaoArquivado))
        return std::nullopt;
    return trocaExtensao(arquivado, kExtensaoArquivado, kExtensaoPacote);
}

} // namespace edi

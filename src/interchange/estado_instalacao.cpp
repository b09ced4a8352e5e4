#include "interchange/estado_instalacao.h"

#include "core/files.h"
#include "core/formats.h"
#include "interchange/nomes.h"

#include <algorithm>

#include <random>
#include <sstream>
#include <vector>

namespace edi {

namespace {

constexpr const char* kIdentidade = "Instalacao";
constexpr const char* kMomento = "UltimoMomento";
constexpr const char* kGenEdi = "GEN_EDI";
constexpr const char* kFormatoMomento = "yyyymmddhhnnss";

std::string identidadeNova() {
    std::random_device fonte;
    std::ostringstream texto;
    texto << std::hex;
    for (int i = 0; i < 4; ++i)
        texto << fonte();
    return texto.str();
}

std::optional<Timestamp> leMomento(const std::string& t) {
    if (t.size() != 14 || t.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    auto n = [&](size_t i, size_t k) { return std::stoi(t.substr(i, k)); };
    if (!isValidDate(n(0, 4), n(4, 2), n(6, 2)) || !isValidTime(n(8, 2), n(10, 2), n(12, 2)))
        return std::nullopt;
    return Timestamp::fromParts(n(0, 4), n(4, 2), n(6, 2), n(8, 2), n(10, 2), n(12, 2));
}

} // namespace

EstadoDaInstalacao::EstadoDaInstalacao(std::filesystem::path arquivo) : arquivo_(std::move(arquivo)) {
    carrega();
}

// Read again before every use: another process of the installation (the desktop program beside the service) may
// have written it since.
void EstadoDaInstalacao::carrega() const {
    valores_.clear();
    std::error_code ec;
    if (!std::filesystem::exists(arquivo_, ec))
        return;
    std::istringstream texto(readFile(arquivo_));
    for (std::string linha; std::getline(texto, linha);) {
        if (!linha.empty() && linha.back() == '\r')
            linha.pop_back();
        const size_t igual = linha.find('=');
        if (igual != std::string::npos)
            valores_[linha.substr(0, igual)] = linha.substr(igual + 1);
    }
}

std::string EstadoDaInstalacao::identidade() {
    carrega();
    std::string& id = valores_[kIdentidade];
    if (id.empty()) {
        id = identidadeNova();
        grava();
    }
    return id;
}

std::optional<Timestamp> EstadoDaInstalacao::ultimoMomento() const {
    return leMomento(valor(kMomento));
}

void EstadoDaInstalacao::guardaMomento(const Timestamp& momento) {
    guarda(kMomento, formatDateTime(kFormatoMomento, momento));
}

int64_t EstadoDaInstalacao::marcaGenEdi() const {
    const auto n = formats::parseInteger(valor(kGenEdi));
    return n ? *n : 0;
}

void EstadoDaInstalacao::guardaMarcaGenEdi(int64_t valor) {
    guarda(kGenEdi, std::to_string(valor));
}

std::string EstadoDaInstalacao::valor(const std::string& chave) const {
    carrega();
    const auto it = valores_.find(chave);
    return it == valores_.end() ? std::string() : it->second;
}

void EstadoDaInstalacao::guarda(const std::string& chave, const std::string& valor) {
    carrega();
    std::string& atual = valores_[chave];
    if (atual == valor)
        return;
    atual = valor;
    grava();
}

void EstadoDaInstalacao::grava() const {
    std::string texto;
    for (const auto& [chave, valor] : valores_)
        texto += chave + "=" + valor + "\n";
    writeFileAtomically(arquivo_, texto);
}

namespace {

struct Visto {
    Remetente remetente;
    int64_t ultimo = 0; // seconds of its latest packet
};

// The separators of the stored list cannot appear in its fields.
std::string semSeparadores(std::string t) {
    for (char& c : t)
        if (c == '|' || c == ';' || c == '\n' || c == '\r')
            c = '_';
    return t;
}

std::vector<Visto> leVistos(const std::string& texto) {
    std::vector<Visto> vistos;
    std::istringstream lista(texto);
    for (std::string item; std::getline(lista, item, ';');) {
        std::istringstream campos(item);
        Visto v;
        std::string segundos;
        if (std::getline(campos, v.remetente.identidade, '|') && std::getline(campos, v.remetente.computador, '|') &&
            std::getline(campos, segundos))
            if (const auto n = formats::parseInteger(segundos)) {
                v.ultimo = *n;
                vistos.push_back(std::move(v));
            }
    }
    return vistos;
}

std::string escreveVistos(const std::vector<Visto>& vistos) {
    std::string texto;
    for (const Visto& v : vistos)
        texto += (texto.empty() ? "" : ";") + semSeparadores(v.remetente.identidade) + "|" +
                 semSeparadores(v.remetente.computador) + "|" + std::to_string(v.ultimo);
    return texto;
}

} // namespace

std::optional<std::string> RegistraRemetente(EstadoDaInstalacao& estado, const std::string& unidade,
                                             const Remetente& remetente, const Timestamp& momento) {
    const std::string chave = "Remetentes." + unidade;
    std::vector<Visto> vistos = leVistos(estado.valor(chave));
    const int64_t segundos = SegundosDoMomento(momento);
    const Remetente limpo{semSeparadores(remetente.identidade), semSeparadores(remetente.computador)};
    auto eleMesmo = [&](const Visto& v) {
        return v.remetente.identidade == limpo.identidade && v.remetente.computador == limpo.computador;
    };
    const auto maisRecente = std::max_element(vistos.begin(), vistos.end(),
                                              [](const Visto& a, const Visto& b) { return a.ultimo < b.ultimo; });
    const auto proprio = std::find_if(vistos.begin(), vistos.end(), eleMesmo);
    std::optional<std::string> outro;
    if (proprio != vistos.end() && !eleMesmo(*maisRecente) && segundos > maisRecente->ultimo)
        outro = maisRecente->remetente.computador;
    if (proprio == vistos.end())
        vistos.push_back({limpo, segundos});
    else
        proprio->ultimo = std::max(proprio->ultimo, segundos);
    estado.guarda(chave, escreveVistos(vistos));
    return outro;
}

} // namespace edi

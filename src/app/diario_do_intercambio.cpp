#include "app/diario_do_intercambio.h"

#include "app/etapas.h"
#include "core/files.h"

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>

namespace edi {

namespace fs = std::filesystem;

namespace {

constexpr std::array<const char*, kPassosDoPacote> kNomesDosPassos = {
    "exportado", "enviado", "registrado", "baixado", "confirmado", "importado", "recusado"};

// Every line ends with this field: a line cut short by a kill lacks it and is skipped.
constexpr const char* kFimDaLinha = "\t.\n";

struct FimRegistrado {
    std::string etapa;
    std::time_t momento;
    std::string erro;
};

struct PassoDeUmPacote {
    std::string pacote;
    PassoRegistrado passo;
};

// Everything a journal holds, in file order.
struct Lancamentos {
    std::vector<FimRegistrado> fins;
    std::vector<PassoDeUmPacote> passos;
    std::map<std::string, LinhasDoDia> dias; // by day
};

std::string semQuebras(std::string texto) {
    std::replace_if(
        texto.begin(), texto.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return texto;
}

std::string localComo(std::time_t momento, const char* formato) {
    std::tm tm{};
    localtime_r(&momento, &tm);
    char texto[32];
    std::strftime(texto, sizeof texto, formato, &tm);
    return texto;
}

std::string diaDe(std::time_t momento) {
    return localComo(momento, "%Y-%m-%d");
}

// Noon of the local day `dias` days before `momento`'s: a day away from it whatever summer time does.
std::time_t meioDia(std::time_t momento, int dias) {
    std::tm tm{};
    localtime_r(&momento, &tm);
    tm.tm_hour = 12;
    tm.tm_min = tm.tm_sec = 0;
    tm.tm_isdst = -1;
    return std::mktime(&tm) - static_cast<std::time_t>(dias) * 86400;
}

std::optional<PassoDoPacote> passoPorNome(const std::string& nome) {
    for (int i = 0; i < kPassosDoPacote; ++i)
        if (nome == kNomesDosPassos[static_cast<size_t>(i)])
            return static_cast<PassoDoPacote>(i);
    return std::nullopt;
}

std::optional<long long> numero(const std::string& texto) {
    if (texto.empty() || texto.find_first_not_of("-0123456789") != std::string::npos)
        return std::nullopt;
    try {
        return std::stoll(texto);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::vector<std::string> campos(const std::string& linha) {
    std::vector<std::string> c;
    std::istringstream in(linha);
    for (std::string campo; std::getline(in, campo, '\t');)
        c.push_back(campo);
    if (!linha.empty() && linha.back() == '\t')
        c.emplace_back();
    return c;
}

void somaAoDia(Lancamentos& l, const std::string& dia, long long enviadas, long long recebidas) {
    LinhasDoDia& d = l.dias[dia];
    d.dia = dia;
    d.enviadas += enviadas;
    d.recebidas += recebidas;
}

// One complete line; anything else (a torn line, a line of a later version) is skipped.
void interpreta(const std::string& linha, Lancamentos& l) {
    std::vector<std::string> c = campos(linha);
    if (c.size() < 2 || c.back() != ".")
        return;
    c.pop_back();
    if (c[0] == "E" && c.size() == 4) {
        if (const auto momento = numero(c[1]))
            l.fins.push_back({c[2], static_cast<std::time_t>(*momento), c[3]});
    } else if (c[0] == "P" && c.size() == 5) {
        const auto momento = numero(c[1]);
        const auto passo = passoPorNome(c[2]);
        const auto linhas = numero(c[4]);
        if (!momento || !passo || !linhas)
            return;
        l.passos.push_back({c[3], {*passo, static_cast<std::time_t>(*momento), *linhas}});
        const std::string dia = diaDe(static_cast<std::time_t>(*momento));
        if (*passo == PassoDoPacote::Exportado)
            somaAoDia(l, dia, *linhas, 0);
        else if (*passo == PassoDoPacote::Importado)
            somaAoDia(l, dia, 0, *linhas);
    } else if (c[0] == "D" && c.size() == 4) {
        const auto enviadas = numero(c[2]);
        const auto recebidas = numero(c[3]);
        if (enviadas && recebidas)
            somaAoDia(l, c[1], *enviadas, *recebidas);
    }
}

Lancamentos leLancamentos(const fs::path& arquivo) {
    Lancamentos l;
    std::ifstream in(arquivo, std::ios::binary);
    std::string texto((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t inicio = 0; inicio < texto.size();) {
        const size_t fim = texto.find('\n', inicio);
        if (fim == std::string::npos)
            break; // a last line without its end was cut short
        interpreta(texto.substr(inicio, fim - inicio), l);
        inicio = fim + 1;
    }
    return l;
}

// The packets in the order they last moved, most recent first, at most `maximo`.
std::vector<std::string> pacotesRecentes(const Lancamentos& l, size_t maximo) {
    std::vector<std::string> nomes;
    for (auto it = l.passos.rbegin(); it != l.passos.rend() && nomes.size() < maximo; ++it)
        if (std::find(nomes.begin(), nomes.end(), it->pacote) == nomes.end())
            nomes.push_back(it->pacote);
    return nomes;
}

int ordemDaEtapa(const std::string& nome) {
    const auto& todas = etapas();
    for (size_t i = 0; i < todas.size(); ++i)
        if (nome == todas[i].nome)
            return static_cast<int>(i);
    return static_cast<int>(todas.size());
}

std::vector<EstadoDaEtapa> estadosDasEtapas(const Lancamentos& l) {
    std::vector<EstadoDaEtapa> estados;
    for (const FimRegistrado& f : l.fins) {
        auto it = std::find_if(estados.begin(), estados.end(), [&](const auto& e) { return e.etapa == f.etapa; });
        if (it == estados.end())
            it = estados.insert(estados.end(), EstadoDaEtapa{f.etapa, {}, {}, {}});
        if (f.erro.empty()) {
            it->ultimoSucesso = f.momento;
        } else {
            it->ultimoErro = f.momento;
            it->textoDoErro = f.erro;
        }
    }
    std::stable_sort(estados.begin(), estados.end(),
                     [](const auto& a, const auto& b) { return ordemDaEtapa(a.etapa) < ordemDaEtapa(b.etapa); });
    return estados;
}

std::string linhaDeFim(std::time_t momento, const std::string& etapa, const std::string& erro) {
    return "E\t" + std::to_string(momento) + "\t" + semQuebras(etapa) + "\t" + semQuebras(erro) + kFimDaLinha;
}

std::string linhaDePasso(const std::string& pacote, const PassoRegistrado& p) {
    return "P\t" + std::to_string(p.momento) + "\t" + nomeDoPasso(p.passo) + "\t" + semQuebras(pacote) + "\t" +
           std::to_string(p.linhas) + kFimDaLinha;
}

} // namespace

const char* nomeDoPasso(PassoDoPacote passo) {
    return kNomesDosPassos.at(static_cast<size_t>(passo));
}

EventosDoIntercambio& semRegistroDeEventos() {
    struct Nenhum : EventosDoIntercambio {
        void etapaTerminou(const std::string&, const std::string&) override {}
        void falhaNaEtapa(const std::string&) override {}
        void pacoteAndou(const std::string&, PassoDoPacote, long long) override {}
    };
    static Nenhum nenhum;
    return nenhum;
}

std::string textoDoMomento(std::time_t momento) {
    return localComo(momento, "%Y-%m-%d %H:%M:%S");
}

DiarioDoIntercambio::DiarioDoIntercambio(fs::path arquivo) : arquivo_(std::move(arquivo)) {}

void DiarioDoIntercambio::etapaTerminou(const std::string& etapa, const std::string& erro) {
    const std::string texto = erro.empty() ? falhaPendente_ : erro;
    falhaPendente_.clear();
    acrescenta(linhaDeFim(agora(), etapa, texto));
}

void DiarioDoIntercambio::falhaNaEtapa(const std::string& texto) {
    if (falhaPendente_.empty()) // the first failure of a stage is usually the cause of the others
        falhaPendente_ = texto;
}

void DiarioDoIntercambio::pacoteAndou(const std::string& pacote, PassoDoPacote passo, long long linhas) {
    acrescenta(linhaDePasso(pacote, {passo, agora(), linhas}));
}

// The record is kept as well as the disk allows; a journal that cannot be written must not stop the exchange.
void DiarioDoIntercambio::acrescenta(const std::string& linha) {
    const int fd = ::open(arquivo_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    std::string texto = linha;
    const off_t tamanho = ::lseek(fd, 0, SEEK_END);
    char ultimo = '\n';
    if (tamanho > 0 && ::pread(fd, &ultimo, 1, tamanho - 1) == 1 && ultimo != '\n')
        texto.insert(0, "\n"); // a torn line stays a line of its own, which the reader skips
    const bool escrito = ::write(fd, texto.data(), texto.size()) == static_cast<ssize_t>(texto.size());
    ::fdatasync(fd);
    ::close(fd);
    std::error_code ec;
    if (escrito && fs::file_size(arquivo_, ec) > tamanhoMaximo && !ec)
        compacta();
}

void DiarioDoIntercambio::compacta() {
    const Lancamentos l = leLancamentos(arquivo_);
    const std::string primeiroDia = diaDe(meioDia(agora(), kDiasGuardados));
    const std::vector<std::string> recentes = pacotesRecentes(l, kPacotesRecentes);
    auto ficaNoDiario = [&](const PassoDeUmPacote& p) {
        return std::find(recentes.begin(), recentes.end(), p.pacote) != recentes.end();
    };
    // The rows of the steps that stay are counted from them again; the day lines carry the rest.
    Lancamentos resto = l;
    for (const PassoDeUmPacote& p : l.passos)
        if (ficaNoDiario(p))
            somaAoDia(resto, diaDe(p.passo.momento), p.passo.passo == PassoDoPacote::Exportado ? -p.passo.linhas : 0,
                      p.passo.passo == PassoDoPacote::Importado ? -p.passo.linhas : 0);
    std::string texto;
    for (const auto& [dia, d] : resto.dias)
        if (dia >= primeiroDia && (d.enviadas != 0 || d.recebidas != 0))
            texto += "D\t" + dia + "\t" + std::to_string(d.enviadas) + "\t" + std::to_string(d.recebidas) + kFimDaLinha;
    for (const EstadoDaEtapa& e : estadosDasEtapas(l)) {
        if (e.ultimoSucesso)
            texto += linhaDeFim(*e.ultimoSucesso, e.etapa, "");
        if (e.ultimoErro)
            texto += linhaDeFim(*e.ultimoErro, e.etapa, e.textoDoErro);
    }
    for (const PassoDeUmPacote& p : l.passos)
        if (ficaNoDiario(p))
            texto += linhaDePasso(p.pacote, p.passo);
    try {
        writeFileAtomically(arquivo_, texto);
    } catch (const std::exception&) {
        // stays as it is, and is compacted at a later event
    }
}

DiarioLido leDiario(const fs::path& arquivo, std::time_t agora) {
    const Lancamentos l = leLancamentos(arquivo);
    DiarioLido d;
    d.etapas = estadosDasEtapas(l);
    for (const std::string& nome : pacotesRecentes(l, DiarioDoIntercambio::kPacotesRecentes)) {
        CaminhoDoPacote c{nome, {}};
        for (const PassoDeUmPacote& p : l.passos)
            if (p.pacote == nome)
                c.passos.push_back(p.passo);
        d.pacotes.push_back(std::move(c));
    }
    for (int i = DiarioDoIntercambio::kDiasDoGrafico - 1; i >= 0; --i) {
        const std::string dia = diaDe(meioDia(agora, i));
        const auto it = l.dias.find(dia);
        d.linhasPorDia.push_back(it == l.dias.end() ? LinhasDoDia{dia, 0, 0} : it->second);
    }
    return d;
}

} // namespace edi

#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace edi {

// The steps of a packet's road, in the order a packet takes them.
enum class PassoDoPacote { Exportado, Enviado, Registrado, Baixado, Confirmado, Importado, Recusado };
inline constexpr int kPassosDoPacote = 7;
// "exportado", "enviado", ...: the journal's and the JSON's word for the step.
const char* nomeDoPasso(PassoDoPacote passo);

// What the core tells beside the Ui port, for the record of the exchange rather than for a person at once.
// Stage bodies and the engine call it; the cycle says when a stage ended.
class EventosDoIntercambio {
public:
    virtual ~EventosDoIntercambio() = default;
    // A stage of the cycle ended; `erro` empty when it succeeded.
    virtual void etapaTerminou(const std::string& etapa, const std::string& erro) = 0;
    // A failure the running stage got over (a table, a file, a request), so the stage still ends.
    virtual void falhaNaEtapa(const std::string& texto) = 0;
    // A packet moved on its road; `linhas` are the rows it carried for export and import, else 0.
    virtual void pacoteAndou(const std::string& pacote, PassoDoPacote passo, long long linhas = 0) = 0;
};

// Events nobody records: the default of every emitter until the program wires its journal.
EventosDoIntercambio& semRegistroDeEventos();

struct EstadoDaEtapa {
    std::string etapa;
    std::optional<std::time_t> ultimoSucesso;
    std::optional<std::time_t> ultimoErro;
    std::string textoDoErro;
};

struct PassoRegistrado {
    PassoDoPacote passo;
    std::time_t momento;
    long long linhas;
};

struct CaminhoDoPacote {
    std::string pacote;
    std::vector<PassoRegistrado> passos; // oldest first
};

struct LinhasDoDia {
    std::string dia; // yyyy-mm-dd, local
    long long enviadas = 0;
    long long recebidas = 0;
};

// What the journal tells about the recent past.
struct DiarioLido {
    std::vector<EstadoDaEtapa> etapas;     // in the order stages first appear in the journal
    std::vector<CaminhoDoPacote> pacotes;  // most recently moved first, at most kPacotesRecentes
    std::vector<LinhasDoDia> linhasPorDia; // every day of the last kDiasDoGrafico, oldest first
};

// The journal of the exchange: one line per event, appended with a single write and flushed, so a kill leaves
// at most a torn last line, which the reader skips. Once it passes kTamanhoMaximo it is rewritten atomically
// with only what is still shown: per-day totals, each stage's last success and error, the recent packets.
class DiarioDoIntercambio : public EventosDoIntercambio {
public:
    static constexpr std::uintmax_t kTamanhoMaximo = 64 * 1024;
    static constexpr int kPacotesRecentes = 40;
    static constexpr int kDiasDoGrafico = 28;
    static constexpr int kDiasGuardados = 42;

    explicit DiarioDoIntercambio(std::filesystem::path arquivo);

    void etapaTerminou(const std::string& etapa, const std::string& erro) override;
    void falhaNaEtapa(const std::string& texto) override;
    void pacoteAndou(const std::string& pacote, PassoDoPacote passo, long long linhas = 0) override;

    std::uintmax_t tamanhoMaximo = kTamanhoMaximo;
    // The clock of the events; the system's by default.
    std::function<std::time_t()> agora = [] { return std::time(nullptr); };

private:
    void acrescenta(const std::string& linha);
    void compacta();

    std::filesystem::path arquivo_;
    std::string falhaPendente_;
};

// Reads a journal; a missing or unreadable file reads as empty. Days are counted back from `agora`.
DiarioLido leDiario(const std::filesystem::path& arquivo, std::time_t agora);

// "yyyy-mm-dd hh:mm:ss", local time.
std::string textoDoMomento(std::time_t momento);

} // namespace edi

#pragma once

#include "app/diario_do_intercambio.h"
#include "interchange/censo.h"
#include "interchange/retidos.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace edi {

struct Configuracao;

// Unreadable packets set aside per day ("corrompido/<ddmmyy>/"), moved to "Liberado/" once the central server
// dropped its reference.
std::filesystem::path pastaCorrompidos(const std::filesystem::path& sPathIn);
std::filesystem::path pastaCorrompidosDoDia(const std::filesystem::path& sPathIn, const std::string& dia);
inline constexpr const char* kPastaLiberados = "Liberado";

struct PendentesDaTabela {
    std::string tabela;
    long long linhas = 0; // rows not exported yet
    std::string erro;     // not empty: the table could not be counted, and why
};

// The state of the exchange as the operator and monitoring read it. The folders are always read; the
// database part only when it could be opened (an embedded database is exclusive to a running cycle).
struct EstadoDoIntercambio {
    long pacotesEmOut = 0;        // packets waiting to be sent
    long pacotesEmIn = 0;         // packets waiting to be imported
    long separadosAguardando = 0; // unreadable packets the server still offers
    long separadosLiberados = 0;  // unreadable packets the server dropped
    ContagemRetidos retidos;      // records kept after a refusal
    bool baseLida = false;        // false: `erroDaBase` says why the part below is missing
    std::string erroDaBase;
    std::vector<PendentesDaTabela> pendentes; // per registered table that sends, in registry order
    std::string ultimoEstado;                 // PARAMETRO row 29 as the last stage left it
    DiarioLido diario; // the stages' last outcomes, the recent packets' road, rows per day: a file, always read
    std::vector<UltimoCenso> censos; // the unit's last census per table that has rows or differences
};

// Reads the folders and, when possible, the database in a read-only transaction of its own.
EstadoDoIntercambio leEstadoDoIntercambio(const std::filesystem::path& programa, const Configuracao& config);
EstadoDoIntercambio leEstadoDasPastas(const std::filesystem::path& programa);

// One line for the main window: "Em dia", or what waits and the last error not yet followed by a success.
std::string resumoDoEstado(const EstadoDoIntercambio& e);
// The name a person knows a stage by: its menu caption, else its command-line name.
std::string nomeDaEtapaParaOperador(const std::string& etapa);
// "exportado 2026-12-09 10:00:00 (3 linhas)".
std::string textoDoPasso(const PassoRegistrado& p);

// Human text, Portuguese, one fact a line.
std::string textoDoEstado(const EstadoDoIntercambio& e);
// One JSON object; its keys are documented in the README and never renamed.
std::string jsonDoEstado(const EstadoDoIntercambio& e);

} // namespace edi

#pragma once

#include "core/datetime.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace edi {

// The last moment that named a packet, as seconds (SegundosDoMomento), kept in the database too.
inline constexpr const char* kGeradorDeMomentos = "GEN_EDI_PACOTE";
// Attributes of a packet's PARAMS naming the installation that made it; older readers ignore them.
inline constexpr const char* kParamInstalacao = "EDI_INSTALACAO";
inline constexpr const char* kParamComputador = "EDI_COMPUTADOR";

// What an installation keeps of itself outside its database, in EstadoInstalacao.txt beside jaq.ini, so that a
// database restored from a copy (or another installation's) does not rewind it: its identity, the last moment
// that named one of its packets, the highest interchange code it issued, and the installations it saw sending
// as each unit. Every change is written atomically and synced before the call returns.
class EstadoDaInstalacao {
public:
    // Reads the file; a missing one is an empty state. Throws IoError when it exists and cannot be read.
    explicit EstadoDaInstalacao(std::filesystem::path arquivo);

    // A random identity, made and kept on first use.
    std::string identidade();

    std::optional<Timestamp> ultimoMomento() const;
    void guardaMomento(const Timestamp& momento);

    // The highest value GEN_EDI was seen to give (0: none yet).
    int64_t marcaGenEdi() const;
    void guardaMarcaGenEdi(int64_t valor);

    // Free-form entries of other parts (key without "=" or line breaks).
    std::string valor(const std::string& chave) const;
    void guarda(const std::string& chave, const std::string& valor);

    static constexpr const char* kNomeDoArquivo = "EstadoInstalacao.txt";

private:
    void carrega() const;
    void grava() const;

    std::filesystem::path arquivo_;
    mutable std::map<std::string, std::string> valores_;
};

// An installation as its packets name it.
struct Remetente {
    std::string identidade, computador;
};

// Remembers, in the receiving installation's state, that `remetente` sent a packet of `momento` as unit
// `unidade`. Returns the computer of another installation when this one, after being seen before, sends a packet
// newer than the other one's latest: the packets of the unit alternate between two installations, which a
// reinstallation (one change, never back) does not do.
std::optional<std::string> RegistraRemetente(EstadoDaInstalacao& estado, const std::string& unidade,
                                             const Remetente& remetente, const Timestamp& momento);

} // namespace edi

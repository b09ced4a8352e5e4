#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace edi {

class PacketTable;

// Records that import could not write are never dropped: they are kept in packets of their own (the same layout,
// whole records) below EDI/IN/retidos, named "<runs>-<original packet name>". The original name keeps the
// packet's moment, so the row-version memory still orders them, and a download into EDI/IN never meets them.
// <runs> counts the runs that failed them; a record left by a lock conflict keeps its count.
struct ArquivoRetido {
    std::filesystem::path caminho;
    std::string original; // the name of the packet the records came in
    int tentativas = 0;
};

// Runs after which a kept record is no longer retried on its own and waits for the operator.
constexpr int kTentativasAutomaticas = 3;

std::filesystem::path pastaRetidos(const std::filesystem::path& sPathIn);
std::filesystem::path caminhoRetido(const std::filesystem::path& sPathIn, const std::string& original, int tentativas);
// None for a name that is not a kept packet's.
std::optional<ArquivoRetido> arquivoRetido(const std::filesystem::path& caminho);
// Every kept packet, in name order.
std::vector<ArquivoRetido> arquivosRetidos(const std::filesystem::path& sPathIn);

// Writes `registros` into the kept packet `destino`, durable before it returns. When `acrescenta` and the
// packet exists, its records stay too (a record already there is not written twice).
void guardaRetidos(const std::filesystem::path& destino, PacketTable& registros, bool acrescenta);

// The kept records as the operator is told of them.
struct ContagemRetidos {
    long aguardandoBloqueio = 0; // left by a lock conflict, never failed
    long paraNovaTentativa = 0;  // failed, retried by the next runs
    long doOperador = 0;         // failed kTentativasAutomaticas runs: retried only by "reimportar"
    bool vazia() const { return aguardandoBloqueio + paraNovaTentativa + doOperador == 0; }
};
ContagemRetidos contaRetidos(const std::filesystem::path& sPathIn);
// Empty when nothing is kept.
std::string textoRetidos(const ContagemRetidos& c);

} // namespace edi

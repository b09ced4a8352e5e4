#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <utility>

namespace edi {

// What the update runs did with the rows of the pending list while EDI/Update stays at one moment: which rows
// are applied, which failed how many times, which were given up. A run then neither applies nor starts a row
// again, and a row that keeps failing is given up after a few runs so the moment can advance. Kept in a small
// file beside jaq.ini, rewritten whole (atomically) after every change.
class EstadoUpdate {
public:
    static constexpr int kTentativas = 3;
    static constexpr const char* kArquivo = "EstadoUpdate.txt";

    // Reads `arquivo`; what it holds for another moment no longer counts.
    EstadoUpdate(std::filesystem::path arquivo, std::string momento);

    // Applied or given up: nothing more to do for this row.
    bool concluida(const std::string& nome, const std::string& destino) const;
    void aplicada(const std::string& nome, const std::string& destino);
    // Counts one more failed run of the row; true when that was the last try and the row is now given up.
    bool falhou(const std::string& nome, const std::string& destino);
    // The moment advanced: the file goes.
    void encerra();

private:
    struct Linha {
        bool aplicada = false;
        int falhas = 0;
    };
    using Chave = std::pair<std::string, std::string>;

    void grava() const;

    std::filesystem::path arquivo_;
    std::string momento_;
    std::map<Chave, Linha> linhas_;
};

} // namespace edi

#pragma once

#include "core/datetime.h"
#include "core/value.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace edi {

namespace db {
class Database;
} // namespace db

// A census cuts a unit's codes (CD_EDI) into fixed ranges: a range that differs costs the resend of at most this
// many rows, and a census of 100,000 rows travels in a few hundred packet rows.
inline constexpr int64_t kCodigosPorFaixa = 256;
inline int64_t faixaDoCodigo(int64_t cdEdi) {
    return cdEdi / kCodigosPorFaixa;
}
inline int64_t primeiroCodigoDaFaixa(int64_t faixa) {
    return faixa * kCodigosPorFaixa;
}

// The rows of one range: how many, and the sum of their hashes (the order the engine returns them in is free).
struct ResumoDaFaixa {
    int64_t linhas = 0;
    uint64_t resumo = 0;
    bool operator==(const ResumoDaFaixa&) const = default;
};
using CensoDaTabela = std::map<int64_t, ResumoDaFaixa>;

// A range whose rows differ between the unit's census and the central unit's rows.
struct FaixaDivergente {
    int64_t faixa = 0;
    int64_t linhasNaUnidade = 0;
    int64_t linhasNaCentral = 0;
};
std::vector<FaixaDivergente> comparaCensos(const CensoDaTabela& unidade, const CensoDaTabela& central);

// Column names in upper case and name order; "A,B" in a census packet.
using Colunas = std::vector<std::string>;
std::string textoDasColunas(const Colunas& colunas);
Colunas leColunas(std::string_view texto);

// Hashes rows of one table over a form both installations compute alike: every column but DT_EXP in name order
// (or those of them among `soEstas`, when the two sides' tables differ in columns), each value as a packet carries
// it (so neither the connection's character set nor CHAR padding counts).
class Recenseador {
public:
    explicit Recenseador(const std::vector<FieldDef>& campos, const std::optional<Colunas>& soEstas = std::nullopt);
    // The row whose values are `valores` (in the order of `campos`), code `cdEdi`.
    void conta(int64_t cdEdi, const std::vector<const Value*>& valores);
    const CensoDaTabela& censo() const { return censo_; }
    Colunas colunas() const;

private:
    std::vector<FieldDef> campos_;
    std::vector<size_t> ordem_; // the columns hashed, by name
    CensoDaTabela censo_;
    std::string texto_, rascunho_;
};

struct Recenseamento {
    CensoDaTabela faixas;
    Colunas colunas; // those hashed
};
// One pass over `T`: the rows owned by `cdUnd` with a code up to `ateCodigo`; memory grows with the ranges only.
Recenseamento recenseia(db::Database& db, const std::string& T, int64_t cdUnd, int64_t ateCodigo,
                        const std::optional<Colunas>& soEstas = std::nullopt);
// The columns of T a census hashes when it is not told otherwise.
Colunas colunasDoCenso(db::Database& db, const std::string& T);
// The codes of `cdUnd`'s rows of T in the range, up to `ateCodigo`, ascending.
std::vector<int64_t> codigosDaFaixa(db::Database& db, const std::string& T, int64_t cdUnd, int64_t faixa,
                                    int64_t ateCodigo);
// The highest code of `cdUnd`'s rows of T above `codigo`, if any.
std::optional<int64_t> maiorCodigoAcima(db::Database& db, const std::string& T, int64_t cdUnd, int64_t codigo);

// Codes as runs, "1-5,9": an answer names every code the central unit holds in a range that differs.
std::string textoDosCodigos(const std::vector<int64_t>& codigos);
// Throws Error for a text textoDosCodigos does not make.
std::vector<int64_t> leCodigos(std::string_view texto);

// The hash as the packet carries it: sixteen hexadecimal digits.
std::string textoDoResumo(uint64_t resumo);
std::optional<uint64_t> leResumo(std::string_view texto);

// What a unit keeps of the last census of one table, as the operator reads it.
struct UltimoCenso {
    std::string tabela;
    std::optional<Timestamp> censo, resposta; // the answer may be to an earlier census
    int64_t linhas = 0, faixas = 0;
    int64_t iguais = 0, reparadas = 0, exclusoes = 0, divergentes = 0; // of the answer
};
// The tables whose last census counted rows or whose last answer found differences; none before the first census.
std::vector<UltimoCenso> leUltimosCensos(db::Database& db);
// "1 faixa", "3 faixas": the census texts count in Portuguese.
std::string quantos(int64_t n, const char* singular, const char* plural);
// One line, Portuguese: "PACIENTE: censo de ..., N linhas em F faixas; resposta de ...: ...".
std::string textoDoCenso(const UltimoCenso& c);

} // namespace edi

#include "interchange/versoes.h"

#include "app/session.h"
#include "app/unidade_de_trabalho.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <utility>

namespace edi {

namespace {

// The memory's tables, described once: every statement on them is made from this. A file's rows are remembered
// as runs of consecutive interchange codes of one owner (a backlog of new rows is one run per batch); the
// memory of earlier versions, a row per row, is still read where an installation has it, and no longer written.
struct Coluna {
    const char* nome;
    const char* tipo;
};
constexpr const char* kFaixas = "EDI_VERSAO_FAIXA";
constexpr const char* kIndiceFaixas = "EDI_VERSAO_FAIXA_MOMENTO";
constexpr Coluna kColunasFaixas[] = {{"NM_TABELA", "VARCHAR(31)"},
                                     {"CD_UND", "BIGINT"},
                                     {"CD_EDI_DE", "BIGINT"},
                                     {"CD_EDI_ATE", "BIGINT"},
                                     {"DT_ARQUIVO", "TIMESTAMP"}};
constexpr const char* kLinhas = "EDI_VERSAO";
constexpr const char* kIndiceLinhas = "EDI_VERSAO_MOMENTO";

std::string criaFaixas() {
    std::string colunas;
    for (const Coluna& c : kColunasFaixas)
        colunas += std::string(colunas.empty() ? "" : ", ") + c.nome + " " + c.tipo + " NOT NULL";
    return std::string("CREATE TABLE ") + kFaixas + " (" + colunas + ")";
}

std::string criaIndice(const char* indice, const char* tabela) {
    return std::string("CREATE INDEX ") + indice + " ON " + tabela + " (NM_TABELA, DT_ARQUIVO)";
}

std::string gravaFaixa() {
    std::string colunas, valores;
    for (const Coluna& c : kColunasFaixas) {
        colunas += std::string(colunas.empty() ? "" : ", ") + c.nome;
        valores += std::string(valores.empty() ? ":" : ", :") + c.nome;
    }
    return std::string("INSERT INTO ") + kFaixas + " (" + colunas + ") VALUES (" + valores + ")";
}

// What packets newer than a file wrote into its table: normally nothing, since packets arrive in order, so one
// read per file answers every record. The index keeps the read to those entries however large the memory grows;
// the plan names it because another index may match the table name too and walk every entry of the table.
std::string maisNovas(const char* tabela, const char* indice, const char* de, const char* ate) {
    return std::string("SELECT CD_UND, ") + de + ", " + ate + " FROM " + tabela +
           " WHERE NM_TABELA = :NM_TABELA AND DT_ARQUIVO > :DT_ARQUIVO PLAN (" + tabela + " INDEX (" + indice + "))";
}

// Sorted and disjoint, so that a code is in the memory exactly when the last run starting at or before it reaches it.
void juntaSobrepostas(std::vector<std::pair<int64_t, int64_t>>& faixas) {
    std::sort(faixas.begin(), faixas.end());
    std::vector<std::pair<int64_t, int64_t>> juntas;
    for (const auto& f : faixas) {
        if (!juntas.empty() && f.first <= juntas.back().second + 1)
            juntas.back().second = std::max(juntas.back().second, f.second);
        else
            juntas.push_back(f);
    }
    faixas = std::move(juntas);
}

bool existe(TDM& dm, const char* catalogo, const char* coluna, const char* nome) {
    db::Query q(dm.DB(), std::string("SELECT COUNT(*) FROM ") + catalogo + " WHERE " + coluna + " = :NOME");
    q.setParam("NOME", Value::text(nome));
    q.open();
    return q.value(0).asInt64() > 0;
}

// Statements see a new table or index only once it is committed.
void garante(TDM& dm, const char* catalogo, const char* coluna, const char* nome, const std::string& ddl) {
    if (existe(dm, catalogo, coluna, nome))
        return;
    UnidadeDeTrabalho unidade(dm);
    dm.DB().execute(ddl);
    unidade.confirma();
}

} // namespace

MemoriaDeVersoes::MemoriaDeVersoes(TDM& dm) {
    garante(dm, "RDB$RELATIONS", "RDB$RELATION_NAME", kFaixas, criaFaixas());
    garante(dm, "RDB$INDICES", "RDB$INDEX_NAME", kIndiceFaixas, criaIndice(kIndiceFaixas, kFaixas));
    maisNovasFaixas_ =
        std::make_unique<db::Query>(dm.DB(), maisNovas(kFaixas, kIndiceFaixas, "CD_EDI_DE", "CD_EDI_ATE"));
    if (existe(dm, "RDB$RELATIONS", "RDB$RELATION_NAME", kLinhas)) {
        garante(dm, "RDB$INDICES", "RDB$INDEX_NAME", kIndiceLinhas, criaIndice(kIndiceLinhas, kLinhas));
        maisNovasLinhas_ = std::make_unique<db::Query>(dm.DB(), maisNovas(kLinhas, kIndiceLinhas, "CD_EDI", "CD_EDI"));
    }
    grava_ = std::make_unique<db::Query>(dm.DB(), gravaFaixa());
}

MemoriaDeVersoes::~MemoriaDeVersoes() = default;

VersoesRecebidas::VersoesRecebidas(MemoriaDeVersoes* memoria, std::string tabela, std::optional<Timestamp> momento)
    : memoria_(memoria), tabela_(std::move(tabela)), momento_(memoria ? momento : std::nullopt) {
    if (!momento_)
        return;
    carregaMaisNovas(*memoria_->maisNovasFaixas_);
    if (memoria_->maisNovasLinhas_)
        carregaMaisNovas(*memoria_->maisNovasLinhas_);
    for (auto& [und, faixas] : maisNovas_)
        juntaSobrepostas(faixas);
}

void VersoesRecebidas::carregaMaisNovas(db::Query& q) {
    q.close();
    q.setParam("NM_TABELA", Value::text(tabela_));
    q.setParam("DT_ARQUIVO", Value::timestamp(*momento_));
    for (q.open(); !q.eof(); q.next())
        maisNovas_[q.value(0).asInt64()].emplace_back(q.value(1).asInt64(), q.value(2).asInt64());
    q.close();
}

bool VersoesRecebidas::ultrapassada(const Value& cdUnd, const Value& cdEdi) const {
    if (maisNovas_.empty())
        return false;
    const auto dono = maisNovas_.find(cdUnd.asInt64());
    if (dono == maisNovas_.end())
        return false;
    const int64_t codigo = cdEdi.asInt64();
    const auto& faixas = dono->second;
    const auto depois =
        std::upper_bound(faixas.begin(), faixas.end(), std::make_pair(codigo, std::numeric_limits<int64_t>::max()));
    return depois != faixas.begin() && std::prev(depois)->second >= codigo;
}

void VersoesRecebidas::registra(const Value& cdUnd, const Value& cdEdi) {
    if (momento_)
        pendentes_.emplace_back(cdUnd.asInt64(), cdEdi.asInt64());
}

void VersoesRecebidas::grava() {
    if (!momento_ || pendentes_.empty())
        return;
    std::sort(pendentes_.begin(), pendentes_.end());
    db::Query& q = *memoria_->grava_;
    q.setParam("NM_TABELA", Value::text(tabela_));
    q.setParam("DT_ARQUIVO", Value::timestamp(*momento_));
    for (size_t i = 0; i < pendentes_.size();) {
        const auto [und, de] = pendentes_[i];
        int64_t ate = de;
        while (++i < pendentes_.size() && pendentes_[i].first == und && pendentes_[i].second <= ate + 1)
            ate = std::max(ate, pendentes_[i].second);
        q.setParam("CD_UND", Value::int64(und));
        q.setParam("CD_EDI_DE", Value::int64(de));
        q.setParam("CD_EDI_ATE", Value::int64(ate));
        q.execute();
    }
    pendentes_.clear();
}

} // namespace edi

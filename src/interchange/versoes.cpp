#include "interchange/versoes.h"

#include "app/session.h"

#include <cctype>
#include <utility>

namespace edi {

namespace {

// The memory's table, described once: every statement on it is made from this.
struct Coluna {
    const char* nome;
    const char* tipo;
};
constexpr const char* kTabelaVersoes = "EDI_VERSAO";
constexpr Coluna kChave[] = {{"NM_TABELA", "VARCHAR(31)"}, {"CD_UND", "BIGINT"}, {"CD_EDI", "BIGINT"}};
constexpr Coluna kMomento = {"DT_ARQUIVO", "TIMESTAMP"};

std::string criaTabela() {
    std::string colunas, chave;
    for (const Coluna& c : kChave) {
        colunas += std::string(c.nome) + " " + c.tipo + " NOT NULL, ";
        chave += std::string(chave.empty() ? "" : ", ") + c.nome;
    }
    return std::string("CREATE TABLE ") + kTabelaVersoes + " (" + colunas + kMomento.nome + " " + kMomento.tipo +
           " NOT NULL, PRIMARY KEY (" + chave + "))";
}

constexpr const char* kIndiceMomento = "EDI_VERSAO_MOMENTO";

std::string criaIndice() {
    return std::string("CREATE INDEX ") + kIndiceMomento + " ON " + kTabelaVersoes + " (" + kChave[0].nome + ", " +
           kMomento.nome + ")";
}

// The rows of a table that packets newer than a given moment wrote: normally none, since packets arrive in order,
// so one read per file answers every record. The index keeps the read to those rows however large the memory
// grows; the plan names it because the key's index matches the table name too and would walk every row of it.
std::string maisNovas() {
    return std::string("SELECT ") + kChave[1].nome + ", " + kChave[2].nome + " FROM " + kTabelaVersoes + " WHERE " +
           kChave[0].nome + " = :" + kChave[0].nome + " AND " + kMomento.nome + " > :" + kMomento.nome +
           " PLAN (" + kTabelaVersoes + " INDEX (" + kIndiceMomento + "))";
}

std::string grava() {
    std::string colunas, valores, chave;
    for (const Coluna& c : kChave) {
        colunas += std::string(c.nome) + ", ";
        valores += std::string(":") + c.nome + ", ";
        chave += std::string(chave.empty() ? "" : ", ") + c.nome;
    }
    return std::string("UPDATE OR INSERT INTO ") + kTabelaVersoes + " (" + colunas + kMomento.nome + ") VALUES (" +
           valores + ":" + kMomento.nome + ") MATCHING (" + chave + ")";
}

bool existe(TDM& dm, const char* catalogo, const char* coluna, const char* nome) {
    db::Query q(dm.DB(), std::string("SELECT COUNT(*) FROM ") + catalogo + " WHERE " + coluna + " = :NOME");
    q.setParam("NOME", Value::text(nome));
    q.open();
    return q.value(0).asInt64() > 0;
}

// Statements see a new table or index only once it is committed.
void garanteTabela(TDM& dm) {
    if (!existe(dm, "RDB$RELATIONS", "RDB$RELATION_NAME", kTabelaVersoes)) {
        dm.DB().execute(criaTabela());
        dm.Commit();
    }
    if (!existe(dm, "RDB$INDICES", "RDB$INDEX_NAME", kIndiceMomento)) {
        dm.DB().execute(criaIndice());
        dm.Commit();
    }
}

} // namespace

VersoesRecebidas::VersoesRecebidas(TDM& dm, std::string tabela, std::optional<Timestamp> momento)
    : tabela_(std::move(tabela)), momento_(momento) {
    if (!momento_)
        return;
    garanteTabela(dm);
    db::Query q(dm.DB(), maisNovas());
    q.setParam(kChave[0].nome, Value::text(tabela_));
    q.setParam(kMomento.nome, Value::timestamp(*momento_));
    for (q.open(); !q.eof(); q.next())
        maisNovas_.emplace(q.value(0).asInt64(), q.value(1).asInt64());
    grava_ = std::make_unique<db::Query>(dm.DB(), grava());
}

VersoesRecebidas::~VersoesRecebidas() = default;

bool VersoesRecebidas::ultrapassada(const Value& cdUnd, const Value& cdEdi) const {
    return !maisNovas_.empty() && maisNovas_.count({cdUnd.asInt64(), cdEdi.asInt64()}) > 0;
}

void VersoesRecebidas::registra(const Value& cdUnd, const Value& cdEdi) {
    if (!momento_)
        return;
    grava_->setParam(kChave[0].nome, Value::text(tabela_));
    grava_->setParam(kChave[1].nome, Value::int64(cdUnd.asInt64()));
    grava_->setParam(kChave[2].nome, Value::int64(cdEdi.asInt64()));
    grava_->setParam(kMomento.nome, Value::timestamp(*momento_));
    grava_->execute();
}

} // namespace edi

#include "interchange/versoes.h"

#include "app/session.h"

#include <cctype>

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

std::string condicao() {
    std::string cond;
    for (const Coluna& c : kChave)
        cond += std::string(cond.empty() ? "" : " AND ") + c.nome + " = :" + c.nome;
    return cond;
}

std::string le() {
    return std::string("SELECT ") + kMomento.nome + " FROM " + kTabelaVersoes + " WHERE " + condicao();
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

void garanteTabela(TDM& dm) {
    db::Query existe(dm.DB(), "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = :NOME");
    existe.setParam("NOME", Value::text(kTabelaVersoes));
    existe.open();
    if (existe.value(0).asInt64() > 0)
        return;
    existe.close();
    dm.DB().execute(criaTabela());
    dm.Commit(); // statements see a new table only once it is committed
}

} // namespace

VersoesRecebidas::VersoesRecebidas(TDM& dm, std::string tabela, std::optional<Timestamp> momento)
    : tabela_(std::move(tabela)), momento_(momento) {
    if (!momento_)
        return;
    garanteTabela(dm);
    le_ = std::make_unique<db::Query>(dm.DB(), le());
    grava_ = std::make_unique<db::Query>(dm.DB(), grava());
}

VersoesRecebidas::~VersoesRecebidas() = default;

void VersoesRecebidas::chave(db::Query& q, const Value& cdUnd, const Value& cdEdi) const {
    q.setParam(kChave[0].nome, Value::text(tabela_));
    q.setParam(kChave[1].nome, Value::int64(cdUnd.asInt64()));
    q.setParam(kChave[2].nome, Value::int64(cdEdi.asInt64()));
}

bool VersoesRecebidas::ultrapassada(const Value& cdUnd, const Value& cdEdi) {
    if (!momento_)
        return false;
    le_->close();
    chave(*le_, cdUnd, cdEdi);
    le_->open();
    const bool maisNova = !le_->eof() && le_->value(0).asTimestamp() > *momento_;
    le_->close();
    return maisNova;
}

void VersoesRecebidas::registra(const Value& cdUnd, const Value& cdEdi) {
    if (!momento_)
        return;
    chave(*grava_, cdUnd, cdEdi);
    grava_->setParam(kMomento.nome, Value::timestamp(*momento_));
    grava_->execute();
}

} // namespace edi

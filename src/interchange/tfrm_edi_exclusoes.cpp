#include "interchange/tfrm_edi.h"

#include "app/session.h"
#include "app/unidade_de_trabalho.h"
#include "core/formats.h"
#include "db/query.h"
#include "domain/exclusoes.h"
#include "packet/packet_table.h"

#include <algorithm>
#include <string>

// Deletions that travel: the capture trigger of a sent table, the deletions joined to its packet, and the import
// applying one without capturing it again.
namespace edi {

bool TfrmEDI::enviada(const std::string& T) const {
    return std::any_of(registro_.begin(), registro_.end(),
                       [&](const RegistroEDI& r) { return r.enviar() && formats::equalsIgnoreCase(r.NM_TABELA, T); });
}

bool TfrmEDI::recebida(const std::string& T) const {
    return std::any_of(registro_.begin(), registro_.end(),
                       [&](const RegistroEDI& r) { return r.receber() && formats::equalsIgnoreCase(r.NM_TABELA, T); });
}

domain::RegraDePosse TfrmEDI::regraDePosse() const {
    return {formats::parseInteger(geral_.prmUnidade).value_or(0), Value::text(geral_.prmUnidadeCentral).asInt64()};
}

// A table prepared by an older version, or for another unit code, gets the trigger here. Schema statements are
// committed on their own, after the columns the trigger reads.
bool TfrmEDI::preparaExclusoes(const std::string& T) {
    const domain::RegraDePosse posse = regraDePosse();
    const bool temTabela = haTabelaDeExclusoes();
    if (temTabela) {
        db::Query q(dm_.DB(), "SELECT COUNT(*) FROM RDB$TRIGGERS WHERE RDB$TRIGGER_NAME = :NOME AND "
                              "RDB$TRIGGER_SOURCE CONTAINING :MARCA");
        q.setParam("NOME", Value::text(domain::nomeGatilhoExclusao(T)));
        q.setParam("MARCA", Value::text(domain::marcaGatilhoExclusao(posse)));
        q.open();
        if (q.value(0).asInt64() > 0)
            return false;
    }
    UnidadeDeTrabalho unidade(dm_);
    unidade.confirma();
    if (!temTabela) {
        dm_.DB().execute(domain::criaTabelaExclusoes());
        unidade.confirma();
    }
    dm_.DB().execute(domain::criaGatilhoExclusao(T, posse));
    unidade.confirma();
    return true;
}

// The import's own deletion came from the row's owner: the capture trigger must not record it to send again.
void TfrmEDI::aplicaExclusao(const std::string& destino, const Value& cdUnd, const Value& cdEdi) {
    auto contexto = [&](const char* valor) {
        db::Query q(dm_.DB(), std::string("SELECT RDB$SET_CONTEXT('USER_SESSION', '") + domain::kContextoImportacao +
                                  "', " + valor + ") FROM RDB$DATABASE");
        q.open();
    };
    contexto("'1'");
    try {
        db::Query apaga(dm_.DB(), "DELETE FROM " + destino + " WHERE CD_UND = :CD_UND AND CD_EDI = :CD_EDI");
        apaga.setParam("CD_UND", cdUnd);
        apaga.setParam("CD_EDI", cdEdi);
        apaga.execute();
    } catch (...) {
        contexto("NULL");
        throw;
    }
    contexto("NULL");
}

bool TfrmEDI::haTabelaDeExclusoes() {
    db::Query q(dm_.DB(), "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = :NOME");
    q.setParam("NOME", Value::text(domain::kTabelaExclusoes));
    q.open();
    return q.value(0).asInt64() > 0;
}

// A row owned here that a deletion here removed: a copy relayed back by the central unit must not restore it.
bool TfrmEDI::excluidaAqui(const std::string& destino, const Value& cdUnd, const Value& cdEdi) {
    if (!haTabelaDeExclusoes())
        return false;
    db::Query q(dm_.DB(), std::string("SELECT FIRST 1 1 FROM ") + domain::kTabelaExclusoes +
                              " WHERE NM_TABELA = :NM_TABELA AND CD_UND = :CD_UND AND CD_EDI = :CD_EDI");
    q.setParam("NM_TABELA", Value::text(destino));
    q.setParam("CD_UND", cdUnd);
    q.setParam("CD_EDI", cdEdi);
    q.open();
    return !q.eof();
}

bool TfrmEDI::haExclusoesPendentes(const std::string& T) {
    if (!haTabelaDeExclusoes())
        return false;
    db::Query q(dm_.DB(), std::string("SELECT FIRST 1 1 FROM ") + domain::kTabelaExclusoes +
                              " WHERE NM_TABELA = :NM_TABELA AND DT_EXP IS NULL");
    q.setParam("NM_TABELA", Value::text(T));
    q.open();
    return !q.eof();
}

// The deletions recorded here join the table's packet as deleted rows carrying the row's owner and code. Their
// mark is committed with the rows' marks, once the file is complete; a key marked is a key in the packet.
void TfrmEDI::juntaExclusoes(const std::string& T, PacketTable& TB, const Value& marcaDoDia) {
    if (TB.fieldIndex("CD_UND") < 0 || TB.fieldIndex("CD_EDI") < 0 || !haTabelaDeExclusoes())
        return;
    const std::string tabela = domain::kTabelaExclusoes;
    db::Query pendentes(dm_.DB(), "SELECT DISTINCT CD_UND, CD_EDI FROM " + tabela +
                                      " WHERE NM_TABELA = :NM_TABELA AND DT_EXP IS NULL ORDER BY CD_UND, CD_EDI");
    db::Query marca(dm_.DB(), "UPDATE " + tabela +
                                  " SET DT_EXP = :DT_EXP WHERE NM_TABELA = :NM_TABELA AND CD_UND = :CD_UND"
                                  " AND CD_EDI = :CD_EDI AND DT_EXP IS NULL");
    pendentes.setParam("NM_TABELA", Value::text(T));
    for (pendentes.open(); !pendentes.eof(); pendentes.next()) {
        marca.setParam("DT_EXP", marcaDoDia);
        marca.setParam("NM_TABELA", Value::text(T));
        marca.setParam("CD_UND", pendentes.value(0));
        marca.setParam("CD_EDI", pendentes.value(1));
        marca.execute();
        TB.append();
        TB.setRowState(PacketTable::RowState::Deleted);
        TB.setValue("CD_UND", pendentes.value(0));
        TB.setValue("CD_EDI", pendentes.value(1));
        TB.post();
    }
    pontoDeTeste("export:deletions-marked");
}

} // namespace edi

// Deleting: the question, a notification's detail rows, and a refused delete told in words.
#include "datamodule/regras_comum.h"

#include "domain/regras_exclusao.h"

namespace edi::datamodule {

namespace {

constexpr const char* kPontoCascata = "CASCATA_NOTIFICACAO";

// Empties one child table of the notification being deleted; a failure is shown and the next table follows.
void Excluir(TDMGERAL& modulo, DataSet& notificacao, const std::string& sTabela) {
    db::Query& q = modulo.dm().qyGeral();
    try {
        q.close();
        q.setSql("delete from " + sTabela + "\nwhere CD_FICHA = :CD_FICHA\nand   CD_UND   = :CD_UND");
        q.prepare();
        q.setParam("CD_FICHA", Value::text(notificacao.value("CD_FICHA").asText()));
        q.setParam("CD_UND", Value::text(notificacao.value("CD_UND").asText()));
        q.execute();
        q.close();
    } catch (const Error& e) {
        modulo.dm().ui().showError(e.what());
    }
}

// The detail deletions and the notification's own delete succeed or fail together: a savepoint taken
// before the details is released after the delete or rolled back when the delete fails.
void DeleteCascadeNotificacao(TDMGERAL& modulo, DataSet& notificacao) {
    modulo.dm().DB().execute(std::string("SAVEPOINT ") + kPontoCascata);
    for (const char* tabela : domain::kFilhasNotificacao)
        Excluir(modulo, notificacao, tabela);
}

void desfazCascata(TDMGERAL& modulo) {
    modulo.dm().DB().execute(std::string("ROLLBACK TO SAVEPOINT ") + kPontoCascata);
    modulo.dm().DB().execute(std::string("RELEASE SAVEPOINT ") + kPontoCascata);
}

ErrorAction TrataErroDelete(TDMGERAL& modulo, DataSet& ds, const Error& erro) {
    modulo.dm().ui().showError(domain::MensagemErroDelete(ds.name(), erro.what()));
    return ErrorAction::Abort;
}

} // namespace

void instalaRegrasExclusao(TDMGERAL& modulo) {
    for (const std::string& nome : modulo.datasetNames()) {
        DataSet& ds = modulo.dataset(nome);
        if (domain::ConfirmaAntesDeExcluir(nome))
            encadeia(ds.hooks().beforeDelete, [&modulo](DataSet&) { modulo.dm().ConfirmaDelecao(); });
        if (domain::TraduzErroDelete(nome))
            ds.hooks().deleteError = [&modulo](DataSet& d, const Error& e) { return TrataErroDelete(modulo, d, e); };
    }

    DataSet& notificacao = modulo.dataset("TB_NOTIFICACAO");
    encadeia(notificacao.hooks().beforeDelete, [&modulo](DataSet& d) { DeleteCascadeNotificacao(modulo, d); });
    notificacao.hooks().deleteError = [&modulo](DataSet& d, const Error& e) {
        desfazCascata(modulo);
        return TrataErroDelete(modulo, d, e);
    };
    // Runs before the commit of the after-delete policy, which is bound later.
    encadeia(notificacao.hooks().afterDelete, [&modulo](DataSet&) {
        modulo.dm().DB().execute(std::string("RELEASE SAVEPOINT ") + kPontoCascata);
    });
}

} // namespace edi::datamodule

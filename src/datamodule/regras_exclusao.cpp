// Deleting: the question, a notification's detail rows, and a refused delete told in words.
#include "datamodule/regras_comum.h"

#include "domain/regras_exclusao.h"

#include <memory>

namespace edi::datamodule {

namespace {

constexpr const char* kPontoCascata = "CASCATA_NOTIFICACAO";

// Empties one child table of the notification being deleted; a failure is shown and the next table follows.
void Excluir(TDMGERAL& modulo, ModuleDataset& notificacao, const std::string& sTabela) {
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

bool temRegistro(ModuleDataset& ds) {
    return ds.isOpen() && !ds.eof();
}

// The detail deletions and the notification's own delete succeed or fail together: a savepoint taken
// before the details is released after the delete or rolled back when the delete fails.
class Cascata {
public:
    explicit Cascata(TDMGERAL& modulo) : modulo_(modulo) {}

    void DeleteCascadeNotificacao(ModuleDataset& notificacao) {
        if (!temRegistro(notificacao))
            return; // the delete itself refuses
        executa("SAVEPOINT ");
        ativa_ = true;
        for (const char* tabela : domain::kFilhasNotificacao)
            Excluir(modulo_, notificacao, tabela);
    }
    void desfaz() { termina("ROLLBACK TO SAVEPOINT "); }
    void confirma() { termina(nullptr); }

private:
    void executa(const char* comando) { modulo_.dm().DB().execute(comando + std::string(kPontoCascata)); }
    void termina(const char* antes) {
        if (!ativa_)
            return;
        ativa_ = false;
        if (antes)
            executa(antes);
        executa("RELEASE SAVEPOINT ");
    }

    TDMGERAL& modulo_;
    bool ativa_ = false;
};

ErrorAction TrataErroDelete(TDMGERAL& modulo, ModuleDataset& ds, const Error& erro) {
    modulo.dm().ui().showError(domain::MensagemErroDelete(ds.name(), erro.what()));
    return ErrorAction::Abort;
}

} // namespace

void instalaRegrasExclusao(TDMGERAL& modulo) {
    for (const std::string& nome : modulo.datasetNames()) {
        ModuleDataset& ds = modulo.dataset(nome);
        if (domain::ConfirmaAntesDeExcluir(nome))
            encadeia(ds.hooks().beforeDelete, [&modulo](ModuleDataset&) { modulo.dm().ConfirmaDelecao(); });
        if (domain::TraduzErroDelete(nome))
            ds.hooks().deleteError = [&modulo](ModuleDataset& d, const Error& e) {
                return TrataErroDelete(modulo, d, e);
            };
    }

    ModuleDataset& notificacao = modulo.dataset("TB_NOTIFICACAO");
    auto cascata = std::make_shared<Cascata>(modulo);
    encadeia(notificacao.hooks().beforeDelete, [cascata](ModuleDataset& d) { cascata->DeleteCascadeNotificacao(d); });
    notificacao.hooks().deleteError = [&modulo, cascata](ModuleDataset& d, const Error& e) {
        cascata->desfaz();
        return TrataErroDelete(modulo, d, e);
    };
    // Runs before the commit of the after-delete policy, which is bound later.
    encadeia(notificacao.hooks().afterDelete, [cascata](ModuleDataset&) { cascata->confirma(); });
}

} // namespace edi::datamodule

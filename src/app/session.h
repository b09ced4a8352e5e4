#pragma once

#include "app/ui.h"
#include "core/datetime.h"
#include "db/database.h"
#include "db/query.h"

#include <functional>
#include <memory>
#include <string>

namespace edi {

class ListaLogSQL;

// The session module: the one connection of the process, its one transaction (kept started and made durable
// by commit retaining), and the small services every part uses on it.
class TDM {
public:
    // Opens the connection (a failure raises DatabaseError naming the database) and starts the transaction.
    TDM(const db::ConnectionParams& params, Ui& ui);
    ~TDM();

    db::Database& DB() { return *db_; }
    // The connection's SQL trace, fed from the moment the connection opens.
    ListaLogSQL& LogSQL() { return *logSQL_; }
    // The session transaction, shared by everything in the process. Who may commit it, and when:
    // - export and import (and the key and row-version preparation under them) through a UnidadeDeTrabalho, where
    //   their work is whole: keys stamped, a table's packet written, an import batch, a schema change that later
    //   statements must see; the key preparation also hard-commits (RenovaTransacao) before its schema statements;
    // - a write that stands alone (the cycle's status text, a sent protocol, the data module's post or delete), at
    //   once, through ExecutaECommita or Commit;
    // - the cycle, at its quiet point between runs, with RenovaTransacao.
    // Export and import let the message loop run, so a window may commit or roll back under their work: a
    // UnidadeDeTrabalho tells its owner that this happened (an import batch closes, or gives its file up).
    db::Transaction& TS() { return db_->transaction(); }
    Ui& ui() { return ui_; }

    // The server's current date (whole day) and moment. A value that cannot be read shows
    // "Erro GetDate : " + the statement in an error box and aborts silently.
    Timestamp GetDate();
    Timestamp GetDateTime();
    // Next value of a generator; a missing generator raises the database's error.
    int64_t GeraCodigo(const std::string& generator);

    void Commit();    // commit retaining, when started
    void Rollback();  // rollback retaining, when started
    void Transacao(); // starts the transaction when it is not
    // Ends the transaction with a hard commit and starts a new one. Commit retaining keeps the oldest snapshot
    // in place, and the engine cannot clean old record versions behind it; the process runs for months.
    void RenovaTransacao();

    // Asks "Deseja Excluir este registro?"; anything but Yes raises Abort.
    void ConfirmaDelecao();

    // Runs the status write of the cycle and similar one-off statements, then commits.
    void ExecutaECommita(const std::string& sql);

    // "select  VALOR from PARAMETRO where CD_PARAMETRO = :CD_PARAMETRO", shared by ValorParametro.
    db::Query& qyParametro() { return qyParametro_; }
    db::Query& qyGeral() { return qyGeral_; }

private:
    Timestamp serverMoment(const char* sql, const char* errorPrefix);

    Ui& ui_;
    std::unique_ptr<ListaLogSQL> logSQL_; // before db_: the connection's trace listener writes into it to the end
    std::unique_ptr<db::Database> db_;
    db::Query qyParametro_;
    db::Query qyGeral_;
};

} // namespace edi

#include "app/session.h"

#include "app/log_sql.h"
#include "core/errors.h"

namespace edi {

namespace {
// The connection with the SQL log listening, before any statement is prepared on it.
std::unique_ptr<db::Database> abreComLog(const db::ConnectionParams& params, ListaLogSQL& log) {
    auto db = db::Database::open(params);
    db->setTraceListener([&log](const db::TraceEvent& evento) { log.Registra(evento); });
    db->trace(db::TraceKind::Connect, "Conectado a " + params.database);
    return db;
}
} // namespace

TDM::TDM(const db::ConnectionParams& params, Ui& ui)
    : ui_(ui), logSQL_(std::make_unique<ListaLogSQL>()), db_(abreComLog(params, *logSQL_)),
      qyParametro_(*db_, "select  VALOR from PARAMETRO where CD_PARAMETRO = :CD_PARAMETRO"), qyGeral_(*db_) {
    db_->transaction().start();
}

TDM::~TDM() = default;

Timestamp TDM::serverMoment(const char* sql, const char* errorPrefix) {
    db::Query q(*db_, sql);
    q.open(); // a failure to run the statement reaches the caller as it is
    try {
        if (q.eof() || q.value(0).isNull())
            throw ConversionError("sem valor");
        return q.value(0).asTimestamp();
    } catch (const Error&) {
        ui_.showError(std::string(errorPrefix) + sql);
        throw Abort();
    }
}

Timestamp TDM::GetDate() {
    Timestamp ts = serverMoment("select Cast('now' as date) from dual", "Erro GetDate : ");
    ts.time = Time{};
    return ts;
}

Timestamp TDM::GetDateTime() {
    return serverMoment("select Cast('now' as timeStamp) from dual", "Erro GetDateTime : ");
}

int64_t TDM::GeraCodigo(const std::string& generator) {
    qyGeral_.setSql("select gen_id(" + generator + ",1) from dual");
    qyGeral_.open();
    const int64_t value = qyGeral_.value(0).asInt64();
    qyGeral_.close();
    return value;
}

void TDM::Commit() {
    if (TS().isStarted())
        TS().commitRetaining();
}

void TDM::Rollback() {
    if (TS().isStarted())
        TS().rollbackRetaining();
}

void TDM::Transacao() {
    if (!TS().isStarted())
        TS().start();
}

void TDM::RenovaTransacao() {
    TS().commit();
    TS().start();
}

void TDM::ConfirmaDelecao() {
    if (!ui_.askYesNo("Excluir", "Deseja Excluir este registro?"))
        throw Abort();
}

void TDM::ExecutaECommita(const std::string& sql) {
    {
        db::Query q(*db_, sql);
        q.execute();
    }
    Commit();
}

} // namespace edi

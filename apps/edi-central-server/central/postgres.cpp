#include "central/postgres.h"

#include "core/messages.h"

#include <libpq-fe.h>

#include <charconv>

namespace edi::central::pg {

bool Failure::conflict() const {
    return sqlState_ == "40001" || sqlState_ == "40P01" || sqlState_ == "23505";
}

Result::~Result() {
    if (result_)
        PQclear(result_);
}

int Result::rows() const {
    return PQntuples(result_);
}

int Result::affected() const {
    const char* text = PQcmdTuples(result_);
    return text && *text ? std::stoi(text) : 0;
}

bool Result::isNull(int row, int column) const {
    return PQgetisnull(result_, row, column) != 0;
}

std::string Result::text(int row, int column) const {
    return std::string(PQgetvalue(result_, row, column), static_cast<std::size_t>(PQgetlength(result_, row, column)));
}

std::int64_t Result::integer(int row, int column) const {
    const std::string value = text(row, column);
    std::int64_t number = 0;
    std::from_chars(value.data(), value.data() + value.size(), number);
    return number;
}

namespace {

std::string trimmed(const char* text) {
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

} // namespace

Connection::Connection(const std::string& conninfo) : conn_(PQconnectdb(conninfo.c_str())) {
    if (PQstatus(conn_) != CONNECTION_OK) {
        const std::string why = trimmed(PQerrorMessage(conn_));
        PQfinish(conn_);
        conn_ = nullptr;
        throw IoError(msg::withCause("Não foi possível ligar ao PostgreSQL", why));
    }
    // Notices ("relation already exists, skipping") are not for the server's log.
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
}

Connection::~Connection() {
    if (conn_)
        PQfinish(conn_);
}

bool Connection::broken() const {
    return PQstatus(conn_) != CONNECTION_OK;
}

Result Connection::exec(const std::string& sql, const std::vector<Param>& params, bool binaryResult) {
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const Param& p : params) {
        values.push_back(p.value ? p.value->data() : nullptr);
        lengths.push_back(p.value ? static_cast<int>(p.value->size()) : 0);
        formats.push_back(p.binary ? 1 : 0);
    }
    // Without parameters, text may hold several statements (the schema).
    Result result(params.empty() && !binaryResult
                      ? PQexec(conn_, sql.c_str())
                      : PQexecParams(conn_, sql.c_str(), static_cast<int>(params.size()), nullptr, values.data(),
                                     lengths.data(), formats.data(), binaryResult ? 1 : 0));
    PGresult* raw = result.handle();
    const ExecStatusType status = raw ? PQresultStatus(raw) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        const char* state = raw ? PQresultErrorField(raw, PG_DIAG_SQLSTATE) : nullptr;
        throw Failure(msg::withCause("O PostgreSQL recusou o pedido", trimmed(PQerrorMessage(conn_))),
                      state ? state : "", broken());
    }
    return result;
}

Pool::Lease Pool::lease() {
    {
        std::lock_guard lock(mutex_);
        while (!idle_.empty()) {
            auto connection = std::move(idle_.back());
            idle_.pop_back();
            if (!connection->broken())
                return Lease(*this, std::move(connection));
        }
    }
    return Lease(*this, std::make_unique<Connection>(conninfo_));
}

Pool::Lease Pool::freshLease() {
    {
        std::lock_guard lock(mutex_);
        idle_.clear();
    }
    return Lease(*this, std::make_unique<Connection>(conninfo_));
}

void Pool::giveBack(std::unique_ptr<Connection> connection) {
    if (!connection || connection->broken())
        return; // a connection the server dropped: the next lease opens a new one
    std::lock_guard lock(mutex_);
    idle_.push_back(std::move(connection));
}

} // namespace edi::central::pg

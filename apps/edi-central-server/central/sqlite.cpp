#include "central/sqlite.h"

#include "core/errors.h"

#include <sqlite3.h>

namespace edi::central::sqlite {

Database::Database(const std::filesystem::path& file) : file_(file) {
    const int rc = sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        const std::string cause = db_ ? sqlite3_errmsg(db_) : "sem memória";
        sqlite3_close_v2(db_);
        throw IoError("Estado do servidor " + file.string() + ": não foi possível abrir (" + cause + ")");
    }
    // Another thread of this process holding the lock is waited for, not reported.
    sqlite3_busy_timeout(db_, 10'000);
}

Database::~Database() {
    sqlite3_close_v2(db_);
}

void Database::fail(const std::string& what) const {
    throw IoError("Estado do servidor " + file_.string() + ": " + what + " (" + sqlite3_errmsg(db_) + ")");
}

void Database::execute(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string text = error ? error : sqlite3_errmsg(db_);
        sqlite3_free(error);
        throw IoError("Estado do servidor " + file_.string() + ": " + text);
    }
}

int Database::changes() const {
    return sqlite3_changes(db_);
}

Statement::Statement(Database& db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v3(db.handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) != SQLITE_OK)
        db.fail("comando inválido");
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

void Statement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

bool Statement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE) {
        sqlite3_reset(stmt_);
        db_.fail("falha ao gravar ou ler");
    }
    return false;
}

void Statement::bind(int index, std::int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
}

void Statement::bind(int index, std::string_view value) {
    sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
}

void Statement::bind(int index, const std::optional<std::string>& value) {
    if (value)
        bind(index, *value);
    else
        sqlite3_bind_null(stmt_, index);
}

void Statement::bind(int index, const std::optional<std::int64_t>& value) {
    if (value)
        bind(index, *value);
    else
        sqlite3_bind_null(stmt_, index);
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

std::string Statement::text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

Transaction::Transaction(Database& db) : db_(db) {
    db_.execute("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (open_)
        sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    db_.execute("COMMIT");
    open_ = false;
}

} // namespace edi::central::sqlite

#pragma once

#include "core/value.h"
#include "db/database.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Firebird {
class FbException;
}

namespace edi::db {

// A statement with ":NAME" parameters, prepared once and executed many times.
// A select opens a cursor that is walked with eof()/next(); other statements run with execute()
// (a statement with RETURNING gives its one row the same way).
class Query {
public:
    explicit Query(Database& db, Transaction* transaction = nullptr);
    Query(Database& db, std::string sql, Transaction* transaction = nullptr);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    // Replacing the text closes and unprepares; the same text again keeps the prepared statement.
    void setSql(std::string sql);
    const std::string& sql() const { return sql_; }
    Database& database() { return db_; }
    Transaction& transaction() { return *transaction_; }

    void prepare();
    bool isPrepared() const;

    // Parameters, by name (case-insensitive); a repeated name binds every position.
    const std::vector<std::string>& paramNames(); // distinct names, in order of first use; prepares
    bool hasParam(std::string_view name);
    void setParam(std::string_view name, const Value& value); // throws for an unknown name
    void setParam(size_t index, const Value& value);          // by position in paramNames()
    const Value& param(size_t index) const;                   // by position in paramNames()
    void clearParams();                                       // every parameter null

    // Select: opens the cursor on the first row. Other statements: runs it.
    void open();
    void execute() { open(); }
    void close();
    bool isOpen() const { return open_; }
    bool eof() const { return eof_; }
    void next();
    // Rows changed by the last insert, update or delete.
    int64_t rowsAffected() const;

    // Result columns; available once prepared.
    size_t fieldCount();
    const std::vector<FieldDef>& fields();
    int fieldIndex(std::string_view name); // -1 when absent
    // A text column whose bytes cannot be read as text of its character set throws ConversionError naming it;
    // the other columns of the row read as usual.
    const Value& value(size_t index) const;
    const Value& value(std::string_view name) const;

private:
    struct Impl;
    int paramIndex(std::string_view name) const; // -1 when absent
    void ensurePrepared();
    void fetchRow();
    void decodeRow();
    Value decodeText(size_t column, std::string_view bytes);
    // The one way an engine failure leaves a statement: the SQL log gets the engine's text, the caller a
    // DatabaseError with the engine's code; `context` goes before that text, `statement` after it.
    [[noreturn]] void fail(const Firebird::FbException& e, const std::string& context = {},
                           const std::string& statement = {}) const;

    Database& db_;
    Transaction* transaction_;
    std::string sql_;
    std::unique_ptr<Impl> impl_;
    bool open_ = false;
    bool eof_ = true;
    mutable int64_t rowsAffected_ = 0; // -1: not asked of the engine yet (most callers never ask)
};

} // namespace edi::db

#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace edi::central::sqlite {

class Statement;

// One connection to an SQLite database file. Failures throw IoError with SQLite's own text.
class Database {
public:
    explicit Database(const std::filesystem::path& file);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Runs statements that take no parameters and return no rows.
    void execute(const char* sql);
    sqlite3* handle() const { return db_; }
    // Rows the last INSERT, UPDATE or DELETE changed.
    int changes() const;
    [[noreturn]] void fail(const std::string& what) const;

private:
    sqlite3* db_ = nullptr;
    std::filesystem::path file_;
};

// A prepared statement, reset before each use.
class Statement {
public:
    Statement(Database& db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Resets it and binds the parameters in order (1, 2, ...); returns itself for step().
    template <typename... Values> Statement& with(const Values&... values) {
        reset();
        int index = 0;
        (bind(++index, values), ...);
        return *this;
    }
    // True while there is a row to read.
    bool step();
    // Runs a statement that returns no rows.
    void run() { step(); }
    // Ends a read before its last row.
    void finish() { reset(); }

    std::int64_t integer(int column) const;
    std::string text(int column) const;
    bool isNull(int column) const;

private:
    void reset();
    void bind(int index, std::int64_t value);
    void bind(int index, int value) { bind(index, static_cast<std::int64_t>(value)); }
    void bind(int index, std::string_view value);
    void bind(int index, const std::string& value) { bind(index, std::string_view(value)); }
    void bind(int index, const char* value) { bind(index, std::string_view(value)); }
    void bind(int index, const std::optional<std::string>& value);
    void bind(int index, const std::optional<std::int64_t>& value);

    Database& db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// BEGIN IMMEDIATE; rolled back unless commit() ran.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    void commit();

private:
    Database& db_;
    bool open_ = true;
};

} // namespace edi::central::sqlite

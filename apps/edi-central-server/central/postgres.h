#pragma once

#include "core/errors.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;

namespace edi::central::pg {

// A statement PostgreSQL refused, with its SQLSTATE.
class Failure : public IoError {
public:
    Failure(const std::string& text, std::string sqlState, bool connectionLost = false)
        : IoError(text), sqlState_(std::move(sqlState)), connectionLost_(connectionLost) {}
    const std::string& sqlState() const { return sqlState_; }
    // The connection broke (the database restarted, the backend was ended): nothing sent on it since the last
    // commit was committed, and a new connection may do the same work.
    bool connectionLost() const { return connectionLost_; }
    // Another transaction got in the way (serialization, deadlock, a unique key it committed first): the same work
    // in a new transaction may succeed.
    bool conflict() const;

private:
    std::string sqlState_;
    bool connectionLost_;
};

// One parameter of a statement: text (or NULL), or raw bytes for a bytea.
struct Param {
    Param(std::nullopt_t) {}
    Param(std::string text) : value(std::move(text)) {}
    Param(const char* text) : value(std::string(text)) {}
    Param(int number) : value(std::to_string(number)) {}
    Param(std::int64_t number) : value(std::to_string(number)) {}
    Param(std::optional<std::string> text) : value(std::move(text)) {}
    Param(std::optional<int> number) {
        if (number)
            value = std::to_string(*number);
    }
    static Param bytes(std::string_view data) {
        Param p{std::string(data)};
        p.binary = true;
        return p;
    }

    std::optional<std::string> value;
    bool binary = false;
};

class Result {
public:
    explicit Result(pg_result* result) : result_(result) {}
    ~Result();
    Result(Result&& other) noexcept : result_(other.result_) { other.result_ = nullptr; }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;

    int rows() const;
    // Rows an INSERT, UPDATE or DELETE changed.
    int affected() const;
    bool isNull(int row, int column) const;
    std::string text(int row, int column) const;
    std::int64_t integer(int row, int column) const;
    pg_result* handle() const { return result_; }

private:
    pg_result* result_;
};

// One connection; failures throw Failure (or IoError when the server cannot be reached) with PostgreSQL's text.
class Connection {
public:
    explicit Connection(const std::string& conninfo);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // `binaryResult`: columns come as raw bytes (a bytea as it is stored).
    Result exec(const std::string& sql, const std::vector<Param>& params = {}, bool binaryResult = false);
    bool broken() const;

private:
    pg_conn* conn_ = nullptr;
};

// Connections shared by the server's threads: each is used by one thread at a time.
class Pool {
public:
    explicit Pool(std::string conninfo) : conninfo_(std::move(conninfo)) {}

    class Lease {
    public:
        Lease(Pool& pool, std::unique_ptr<Connection> connection) : pool_(pool), connection_(std::move(connection)) {}
        ~Lease() { pool_.giveBack(std::move(connection_)); }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        Connection* operator->() { return connection_.get(); }
        Connection& operator*() { return *connection_; }

    private:
        Pool& pool_;
        std::unique_ptr<Connection> connection_;
    };

    Lease lease();
    // A new connection, for work that has just lost one; the idle ones, likely broken the same way, are closed.
    Lease freshLease();

private:
    void giveBack(std::unique_ptr<Connection> connection);

    std::string conninfo_;
    std::mutex mutex_; // guards the list only
    std::vector<std::unique_ptr<Connection>> idle_;
};

} // namespace edi::central::pg

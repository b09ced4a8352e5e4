#pragma once

#include "core/errors.h"
#include "db/trace.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Firebird {
class IXpbBuilder;
class IMaster;
class IAttachment;
class ITransaction;
class IUtil;
} // namespace Firebird

namespace edi::db {

struct ConnectionParams {
    // A plain file path opens the file with the embedded engine; "host:path" or "host/port:path" a server.
    std::string database;
    std::string user = "SYSDBA";
    std::string password;
    std::string charset = "UTF8"; // lc_ctype of the connection
};

// The engine could not carry a text between a column's character set and the connection's.
bool isTransliterationFailure(const DatabaseError& e);
// Another transaction holds an uncommitted change of the row (a nowait transaction is refused at once).
bool isLockConflict(const DatabaseError& e);

// True when the connection string names a local file (the embedded engine), not a server.
bool isEmbeddedPath(const std::string& connection);

class Database;
namespace detail {
class Status;
}

// A transaction of an attachment: read_committed, rec_version, nowait, read-write.
// Retaining commits and rollbacks keep it started.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void start();
    bool isStarted() const { return handle_ != nullptr; }
    void commitRetaining();
    void rollbackRetaining();
    void commit();   // ends the transaction
    void rollback(); // ends the transaction
    // How many rollbacks (retaining or not) the transaction has seen: work done since a count was taken
    // is gone when the count has changed.
    uint64_t rollbackCount() const { return rollbacks_; }
    // How many commits (retaining or not) the transaction has made.
    uint64_t commitCount() const { return commits_; }

    Database& database() { return db_; }
    // Starts the transaction when needed and gives the engine handle.
    Firebird::ITransaction* handle();

private:
    template <typename Operation> void act(const char* what, const char* failure, bool ends, Operation operation);

    Database& db_;
    Firebird::ITransaction* handle_ = nullptr;
    uint64_t rollbacks_ = 0;
    uint64_t commits_ = 0;
};

// One attachment. Owns a default transaction, which every query and dataset uses unless given another.
class Database {
public:
    static std::unique_ptr<Database> open(const ConnectionParams& params);
    // Creates a new database (dialect 3) and attaches to it. Its default character set is `defaultCharset`.
    // Without forced writes the engine leaves flushing to the system: only for throwaway databases.
    static std::unique_ptr<Database> create(const ConnectionParams& params, const std::string& defaultCharset = "UTF8",
                                            int pageSize = 8192, bool forcedWrites = true);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const ConnectionParams& params() const { return params_; }
    Transaction& transaction() { return *transaction_; }

    // Deletes the database file; the object is unusable afterwards.
    void drop();

    // Runs one statement without parameters in the default transaction.
    void execute(const std::string& sql);
    // A statement as the engine reads it: literals in the connection's character set.
    // Throws ConversionError for a character that set cannot hold.
    std::string statementText(const std::string& sql) const;

    void setTraceListener(TraceListener listener) { trace_ = std::move(listener); }
    void trace(TraceKind kind, std::string_view text) const;

    // Engine access for the query classes.
    Firebird::IAttachment* attachment() const { return attachment_; }
    static Firebird::IMaster* master();
    static Firebird::IUtil* util();

private:
    Database(ConnectionParams params, Firebird::IAttachment* attachment);
    static std::unique_ptr<Database>
    attach(const ConnectionParams& params, bool create,
           const std::function<void(detail::Status&, Firebird::IXpbBuilder*)>& moreDpb);

    ConnectionParams params_;
    Firebird::IAttachment* attachment_;
    std::unique_ptr<Transaction> transaction_;
    TraceListener trace_;
};

} // namespace edi::db

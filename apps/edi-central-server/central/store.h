#pragma once

#include "core/datetime.h"

#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace edi::central {

// One registered file waiting for, or delivered to, one unit.
struct Delivery {
    enum class Status { Waiting, Received, Dropped, Replaced };

    std::int64_t id = 0; // the identifier units acknowledge
    std::string name;    // bare name in the upload folder
    int from = 0;        // unit that registered it
    int to = 0;          // unit it waits for
    Timestamp registered;
    Status status = Status::Waiting;
    std::optional<Timestamp> closed; // when it stopped waiting
};

struct UnitRecord {
    int code = 0;
    std::string version; // empty until the unit or the command line tells it
    Timestamp firstSeen;
};

// A file the central unit registered: it goes to every unit, also to those that first call later.
struct CentralFile {
    std::string name;
    Timestamp registered;
};

struct ProtocolRecord {
    std::string name;
    int unit = 0;
    Timestamp registered;
};

// One unit as the network page shows it.
struct UnitContact {
    int code = 0;
    std::string version;
    std::optional<Timestamp> lastContact; // the last request naming it; none for a unit known before it was kept
    std::optional<Timestamp> lastUpload;  // the last file it registered
    std::int64_t waiting = 0;             // deliveries waiting for it
};

// Who may call the server: an account bound to one unit (none: it acts for no unit), and whether it may use the
// SQL console. The password is kept only as hashSenha (see central/contas.h).
struct Conta {
    std::string login;
    std::string hashSenha;
    std::optional<int> unidade;
    bool operador = false;
};

// What the routing reads and changes inside one transaction of the store.
class StoreTransaction {
public:
    virtual ~StoreTransaction() = default;

    // The version recorded for a known unit (empty when nobody told it); nullopt for a unit the store does not know.
    virtual std::optional<std::string> unitVersion(int code) = 0;
    // False when the unit was known already (another server process may have just made it known).
    virtual bool insertUnit(int code, const std::string& version, const Timestamp& firstSeen) = 0;
    virtual void setVersion(int code, const std::string& version) = 0;
    virtual void setContact(int code, const Timestamp& when) = 0;
    virtual std::vector<int> unitsOtherThan(int code) = 0;
    // Held to the end of the transaction: new units and registrations of central files wait for each other, so a
    // unit made known while a central file is registered gets it either way.
    virtual void lockNetwork() = 0;
    virtual std::vector<CentralFile> centralFiles() = 0;
    // Puts `name` last in the registry of central files.
    virtual void rememberCentralFile(const std::string& name, const Timestamp& when) = 0;
    // A new waiting delivery of `name` to `to`, replacing one that still waits under that name.
    virtual void deliver(const std::string& name, int from, int to, const Timestamp& when) = 0;
    // False when no such delivery waits for, or was received by, that unit.
    virtual bool acknowledge(std::int64_t id, int unit, const Timestamp& when) = 0;
    // Drops the deliveries of `name` to `unit`, waiting or received; how many.
    virtual int drop(const std::string& name, int unit, const Timestamp& when) = 0;
    virtual bool hasUpload(const std::string& name) = 0;
    virtual void recordProtocol(const std::string& name, int unit, const Timestamp& when) = 0;
};

// The condition, in the SQL of both stores, under which an upload (`excluded`, of the sending account's unit or
// none) replaces the stored one (`upload`): a unit account never overwrites a file another unit sent.
inline constexpr const char* kMayReplaceUpload =
    "excluded.unidade IS NULL OR upload.unidade IS NULL OR upload.unidade = excluded.unidade";

// An uploaded file being received: nothing of it is visible until commit().
class UploadWriter {
public:
    virtual ~UploadWriter() = default;
    virtual void write(const char* data, std::size_t size) = 0;
    // Stores it whole under its name, replacing an earlier upload of that name; false, storing nothing, when a unit
    // account sends a name another unit uploaded (it would overwrite a file before its recipients read it).
    virtual bool commit() = 0;
};

// Everything the server must not forget across a restart: known units, uploaded files, registrations and their
// deliveries, protocol summaries, accounts. Thread-safe; a change is one transaction, committed before it is
// visible, so a failed write leaves the state as it was. The routing policy is not here (Router).
class CentralStore {
public:
    virtual ~CentralStore() = default;

    // Runs `change` in one transaction and commits it. When another server process changed the same rows at the
    // same time, the transaction is rolled back and `change` runs again in a new one: it must have no other effect
    // than through the transaction.
    template <typename Change> auto transaction(Change change) {
        using Result = decltype(change(std::declval<StoreTransaction&>()));
        std::optional<Result> result;
        runTransaction([&](StoreTransaction& t) { result = change(t); });
        return std::move(*result);
    }

    // The version of a known unit, read without a transaction of its own; nullopt for an unknown unit.
    virtual std::optional<std::string> knownVersion(int code) const = 0;

    // `unidade`: the unit of the account sending it, recorded as the name's owner; none for the shared account and
    // operators, which replace any upload as old installations always did.
    virtual std::unique_ptr<UploadWriter> newUpload(const std::string& name, std::optional<int> unidade) = 0;
    // The uploaded file's content; nullptr when there is none of that name.
    virtual std::unique_ptr<std::istream> openUpload(const std::string& name) const = 0;
    // Names of the uploaded files, sorted.
    virtual std::vector<std::string> uploads() const = 0;
    // The unit whose account uploaded `name` last; none when the shared account or an operator did, or no one.
    virtual std::optional<int> uploadOwner(const std::string& name) const = 0;

    // The deliveries waiting for `unit`, by identifier.
    virtual std::vector<Delivery> waitingFor(int unit) const = 0;
    virtual std::vector<UnitRecord> units() const = 0;
    virtual std::vector<UnitContact> network() const = 0;
    virtual std::vector<Delivery> deliveries() const = 0;
    virtual std::vector<CentralFile> centralFiles() const = 0;
    virtual std::vector<ProtocolRecord> protocols() const = 0;

    virtual std::optional<Conta> conta(const std::string& login) const = 0; // none when unknown
    virtual void gravaConta(const Conta& conta) = 0;                        // insert or replace by login
    virtual std::vector<Conta> contas() const = 0;                          // by login

protected:
    virtual void runTransaction(const std::function<void(StoreTransaction&)>& change) = 0;
};

} // namespace edi::central

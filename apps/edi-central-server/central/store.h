#pragma once

#include "core/datetime.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
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

struct LegacyState;
namespace sqlite {
class Database;
}

// Everything the server must not forget across a restart: known units, registrations and their deliveries,
// protocol summaries, in an SQLite database (one row per unit, delivery, central file and protocol; deliveries
// indexed by unit and state), so a request costs the same however much the server has seen. Thread-safe; every
// change is one transaction committed to the disk before it is visible, so a failed write (IoError) leaves the
// state as it was.
class CentralStore {
public:
    // Opens the database, creating it when missing; throws Error when it exists but cannot be read.
    CentralStore(const std::filesystem::path& database, int centralUnit);
    ~CentralStore();

    int centralUnit() const { return centralUnit_; }

    // Makes the unit known; a non-empty version replaces the one recorded. True when something changed.
    // A unit other than the central one, new to the server, gets every central file registered so far.
    // `contacted`: the unit itself called, so its last contact is now.
    bool noteUnit(int code, const std::string& version = {}, bool contacted = false);

    // Routes a registered file as a star: from a unit to the central unit, from the central unit to every other
    // known unit (and, through the registry of central files, to every unit known later). A waiting delivery of the
    // same name to the same unit is replaced, not doubled (a unit that crashed after uploading sends and registers
    // again). Returns the units it now waits for.
    std::vector<int> registerFile(const std::string& name, int fromUnit);

    // The deliveries waiting for `unit`, by identifier.
    std::vector<Delivery> waitingFor(int unit) const;
    // Marks delivery `id` received by `unit`; false when no such delivery waits for that unit.
    bool acknowledge(std::int64_t id, int unit);
    // Drops the server's record of delivering `name` to `unit`, waiting or already received: a unit asks this for
    // a file it downloaded and could not read. The number of deliveries dropped.
    int drop(const std::string& name, int unit);

    void recordProtocol(const std::string& name, int unit);

    std::vector<UnitRecord> units() const;
    std::vector<UnitContact> network() const;
    std::vector<Delivery> deliveries() const;
    std::vector<CentralFile> centralFiles() const;
    std::vector<ProtocolRecord> protocols() const;

    std::optional<Conta> conta(const std::string& login) const; // none when unknown
    void gravaConta(const Conta& conta);                        // insert or replace by login
    std::vector<Conta> contas() const;                          // by login

    // Fills an empty store with a state read from the old XML file, in one transaction.
    void adopt(const LegacyState& state);

private:
    struct Statements;
    // A waiting delivery of `name` to `to`, replacing one that still waits under that name.
    void route(const std::string& name, int from, int to, const std::string& registered);
    // Runs `change()` in one transaction under the lock.
    template <typename Change> auto transaction(Change change);

    int centralUnit_;
    mutable std::mutex mutex_;
    // When each unit's contact was last written: a synced write per request would halve the requests served.
    std::map<int, Timestamp> contactWritten_;
    std::unique_ptr<sqlite::Database> db_;
    std::unique_ptr<Statements> sql_;
};

} // namespace edi::central

#pragma once

#include "core/datetime.h"

#include <cstdint>
#include <filesystem>
#include <map>
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

// Everything the server must not forget across a restart: known units, registrations and their deliveries,
// protocol summaries. Thread-safe; every change is written to the state file before it is visible, so a failed
// write (IoError) leaves both the file and the memory as they were.
class CentralStore {
public:
    // Loads the state file when it exists; throws Error when it exists but cannot be read.
    CentralStore(std::filesystem::path stateFile, int centralUnit);

    int centralUnit() const { return centralUnit_; }

    // Makes the unit known; a non-empty version replaces the one recorded. True when something changed.
    // A unit other than the central one, new to the server, gets every central file registered so far.
    bool noteUnit(int code, const std::string &version = {});

    // Routes a registered file as a star: from a unit to the central unit, from the central unit to every other
    // known unit (and, through the registry of central files, to every unit known later). A waiting delivery of the
    // same name to the same unit is replaced, not doubled (a unit that crashed after uploading sends and registers
    // again). Returns the units it now waits for.
    std::vector<int> registerFile(const std::string &name, int fromUnit);

    // The deliveries waiting for `unit`, by identifier.
    std::vector<Delivery> waitingFor(int unit) const;
    // Marks delivery `id` received by `unit`; false when no such delivery waits for that unit.
    bool acknowledge(std::int64_t id, int unit);
    // Drops the server's record of delivering `name` to `unit`, waiting or already received: a unit asks this for
    // a file it downloaded and could not read. The number of deliveries dropped.
    int drop(const std::string &name, int unit);

    void recordProtocol(const std::string &name, int unit);

    std::vector<UnitRecord> units() const;
    std::vector<Delivery> deliveries() const;
    std::vector<CentralFile> centralFiles() const;
    std::vector<ProtocolRecord> protocols() const;

private:
    struct State {
        std::int64_t nextId = 1;
        std::map<int, UnitRecord> units;
        std::vector<Delivery> deliveries;
        std::vector<CentralFile> centralFiles; // oldest registration first, one entry per name
        std::vector<ProtocolRecord> protocols;
    };

    static State load(const std::filesystem::path &file, int centralUnit);
    // A waiting delivery of `name` to `to`, replacing one that still waits under that name.
    static void route(State &s, const std::string &name, int from, int to, const Timestamp &registered);
    void save(const State &state) const;
    // Applies `change(State&, bool& changed)` to a copy; when it changed something, saves it and makes it current.
    template <typename Change> auto commit(Change change);

    std::filesystem::path file_;
    int centralUnit_;
    mutable std::mutex mutex_;
    State state_;
};

} // namespace edi::central

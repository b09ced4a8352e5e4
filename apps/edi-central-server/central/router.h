#pragma once

#include "central/store.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace edi::central {

// The star the network is: a unit's files go to the central unit, the central unit's files to every other unit,
// also to those first known later (through the registry of central files). Knows no database: every decision is
// taken inside one transaction of the store, so several server processes on one store route alike.
class Router {
public:
    Router(CentralStore& store, int centralUnit) : store_(store), centralUnit_(centralUnit) {}

    int centralUnit() const { return centralUnit_; }

    // Makes the unit known; a non-empty version replaces the one recorded. True when something changed.
    // A unit other than the central one, new to the server, gets every central file registered so far.
    // `contacted`: the unit itself called, so its last contact is now.
    bool noteUnit(int code, const std::string& version = {}, bool contacted = false);

    // Routes an uploaded file. A waiting delivery of the same name to the same unit is replaced, not doubled (a unit
    // that crashed after uploading sends and registers again). The units it now waits for; nullopt when no file of
    // that name was uploaded.
    std::optional<std::vector<int>> registerFile(const std::string& name, int fromUnit);

    std::vector<Delivery> waitingFor(int unit) const { return store_.waitingFor(unit); }
    // Marks delivery `id` received by `unit`; false when it neither waits for nor was received by that unit.
    bool acknowledge(std::int64_t id, int unit);
    // Drops the server's record of delivering `name` to `unit`, waiting or already received: a unit asks this for
    // a file it downloaded and could not read. The number of deliveries dropped.
    int drop(const std::string& name, int unit);
    // False when no file of that name was uploaded.
    bool recordProtocol(const std::string& name, int unit);

private:
    bool contactFresh(int code, const Timestamp& now) const;

    CentralStore& store_;
    int centralUnit_;
    // When this process last wrote each unit's contact: a write per request would halve the requests served.
    mutable std::mutex contactMutex_;
    std::map<int, Timestamp> contactWritten_;
};

} // namespace edi::central

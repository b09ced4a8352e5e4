#include "central/router.h"

namespace edi::central {

bool Router::contactFresh(int code, const Timestamp& now) const {
    std::lock_guard lock(contactMutex_);
    const auto written = contactWritten_.find(code);
    return written != contactWritten_.end() && written->second.plusSeconds(60) > now;
}

bool Router::noteUnit(int code, const std::string& version, bool contacted) {
    const auto unchanged = [&](const std::optional<std::string>& known) {
        return known && (version.empty() || *known == version);
    };
    const Timestamp agora = Timestamp::localNow();
    // Most requests come from a unit already known with the same version, seen a moment ago: nothing to write.
    if (unchanged(store_.knownVersion(code)) && (!contacted || contactFresh(code, agora)))
        return false;
    const bool changed = store_.transaction([&](StoreTransaction& t) {
        auto known = t.unitVersion(code);
        bool created = false;
        if (!known) {
            if (code != centralUnit_)
                t.lockNetwork();
            created = t.insertUnit(code, version, agora);
            if (!created)
                known = t.unitVersion(code);
        }
        if (contacted)
            t.setContact(code, agora);
        if (created) {
            if (code != centralUnit_)
                for (const CentralFile& f : t.centralFiles())
                    t.deliver(f.name, centralUnit_, code, f.registered);
            return true;
        }
        if (unchanged(known))
            return false;
        t.setVersion(code, version);
        return true;
    });
    if (contacted) {
        std::lock_guard lock(contactMutex_);
        contactWritten_[code] = agora;
    }
    return changed;
}

std::optional<std::vector<int>> Router::registerFile(const std::string& name, int fromUnit) {
    const Timestamp registered = Timestamp::localNow();
    return store_.transaction([&](StoreTransaction& t) -> std::optional<std::vector<int>> {
        // Checked in the transaction that routes it: a delivery is never visible without its file.
        if (!t.hasUpload(name))
            return std::nullopt;
        std::vector<int> recipients;
        if (fromUnit != centralUnit_) {
            recipients.push_back(centralUnit_);
        } else {
            t.lockNetwork();
            t.rememberCentralFile(name, registered);
            recipients = t.unitsOtherThan(centralUnit_);
        }
        // The replacement gets a new identifier: an acknowledgement of the old one must not count for a file that
        // may have changed since it was listed.
        for (const int to : recipients)
            t.deliver(name, fromUnit, to, registered);
        return recipients;
    });
}

bool Router::acknowledge(std::int64_t id, int unit) {
    const Timestamp now = Timestamp::localNow();
    return store_.transaction([&](StoreTransaction& t) { return t.acknowledge(id, unit, now); });
}

int Router::drop(const std::string& name, int unit) {
    const Timestamp now = Timestamp::localNow();
    return store_.transaction([&](StoreTransaction& t) { return t.drop(name, unit, now); });
}

bool Router::recordProtocol(const std::string& name, int unit) {
    const Timestamp now = Timestamp::localNow();
    return store_.transaction([&](StoreTransaction& t) {
        if (!t.hasUpload(name))
            return false;
        t.recordProtocol(name, unit, now);
        return true;
    });
}

} // namespace edi::central

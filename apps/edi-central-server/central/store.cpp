#include "central/store.h"

#include "central/moment.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/messages.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <sstream>

namespace edi::central {

namespace fs = std::filesystem;

namespace {

constexpr std::array<const char *, 4> kStatusNames = {"waiting", "received", "dropped", "replaced"};

const char *statusName(Delivery::Status status) {
    return kStatusNames.at(static_cast<std::size_t>(status));
}

Delivery::Status statusFromName(std::string_view name) {
    for (std::size_t i = 0; i < kStatusNames.size(); ++i)
        if (name == kStatusNames[i])
            return static_cast<Delivery::Status>(i);
    throw Error("situação de entrega desconhecida \"" + std::string(name) + "\"");
}

Timestamp momentAttribute(const pugi::xml_node &node, const char *name) {
    const auto moment = parseMoment(node.attribute(name).as_string());
    if (!moment)
        throw Error(std::string("<") + node.name() + "> sem " + name + " válido");
    return *moment;
}

void closeDelivery(Delivery &d, Delivery::Status status, const Timestamp &when) {
    d.status = status;
    d.closed = when;
}

} // namespace

CentralStore::CentralStore(fs::path stateFile, int centralUnit)
    : file_(std::move(stateFile)), centralUnit_(centralUnit), state_(load(file_, centralUnit)) {}

template <typename Change> auto CentralStore::commit(Change change) {
    std::lock_guard lock(mutex_);
    State next = state_;
    bool changed = false;
    auto result = change(next, changed);
    if (changed) {
        save(next);
        state_ = std::move(next);
    }
    return result;
}

bool CentralStore::noteUnit(int code, const std::string &version) {
    return commit([&](State &s, bool &changed) {
        auto [it, added] = s.units.try_emplace(code, UnitRecord{code, {}, Timestamp::localNow()});
        changed = added || (!version.empty() && it->second.version != version);
        if (!version.empty())
            it->second.version = version;
        if (added && code != centralUnit_)
            for (const CentralFile &f : s.centralFiles)
                route(s, f.name, centralUnit_, code, f.registered);
        return changed;
    });
}

void CentralStore::route(State &s, const std::string &name, int from, int to, const Timestamp &registered) {
    // The replacement gets a new identifier: an acknowledgement of the old one must not count for a file that may
    // have changed since it was listed.
    for (Delivery &d : s.deliveries)
        if (d.status == Delivery::Status::Waiting && d.to == to && d.name == name)
            closeDelivery(d, Delivery::Status::Replaced, registered);
    s.deliveries.push_back(Delivery{s.nextId++, name, from, to, registered, Delivery::Status::Waiting, {}});
}

std::vector<int> CentralStore::registerFile(const std::string &name, int fromUnit) {
    return commit([&](State &s, bool &changed) {
        const Timestamp now = Timestamp::localNow();
        std::vector<int> recipients;
        if (fromUnit != centralUnit_) {
            recipients.push_back(centralUnit_);
        } else {
            std::erase_if(s.centralFiles, [&](const CentralFile &f) { return f.name == name; });
            s.centralFiles.push_back(CentralFile{name, now});
            for (const auto &[code, unit] : s.units)
                if (code != centralUnit_)
                    recipients.push_back(code);
        }
        for (const int to : recipients)
            route(s, name, fromUnit, to, now);
        changed = true;
        return recipients;
    });
}

std::vector<Delivery> CentralStore::waitingFor(int unit) const {
    std::lock_guard lock(mutex_);
    std::vector<Delivery> result;
    for (const Delivery &d : state_.deliveries)
        if (d.status == Delivery::Status::Waiting && d.to == unit)
            result.push_back(d);
    return result; // deliveries are appended with rising identifiers
}

bool CentralStore::acknowledge(std::int64_t id, int unit) {
    return commit([&](State &s, bool &changed) {
        for (Delivery &d : s.deliveries)
            if (d.id == id && d.to == unit && d.status == Delivery::Status::Waiting) {
                closeDelivery(d, Delivery::Status::Received, Timestamp::localNow());
                changed = true;
            }
        return changed;
    });
}

int CentralStore::drop(const std::string &name, int unit) {
    return commit([&](State &s, bool &changed) {
        int dropped = 0;
        for (Delivery &d : s.deliveries)
            if (d.name == name && d.to == unit &&
                (d.status == Delivery::Status::Waiting || d.status == Delivery::Status::Received)) {
                closeDelivery(d, Delivery::Status::Dropped, Timestamp::localNow());
                ++dropped;
            }
        changed = dropped > 0;
        return dropped;
    });
}

void CentralStore::recordProtocol(const std::string &name, int unit) {
    commit([&](State &s, bool &changed) {
        s.protocols.push_back(ProtocolRecord{name, unit, Timestamp::localNow()});
        changed = true;
        return true;
    });
}

std::vector<UnitRecord> CentralStore::units() const {
    std::lock_guard lock(mutex_);
    std::vector<UnitRecord> result;
    for (const auto &[code, unit] : state_.units)
        result.push_back(unit);
    return result;
}

std::vector<Delivery> CentralStore::deliveries() const {
    std::lock_guard lock(mutex_);
    return state_.deliveries;
}

std::vector<CentralFile> CentralStore::centralFiles() const {
    std::lock_guard lock(mutex_);
    return state_.centralFiles;
}

std::vector<ProtocolRecord> CentralStore::protocols() const {
    std::lock_guard lock(mutex_);
    return state_.protocols;
}

CentralStore::State CentralStore::load(const fs::path &file, int centralUnit) {
    State state;
    std::error_code ec;
    if (!fs::exists(file, ec))
        return state;
    const std::string text = readFile(file);
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(text.data(), text.size());
    try {
        if (!parsed)
            throw Error(parsed.description());
        const pugi::xml_node root = doc.child("central");
        if (!root)
            throw Error("sem o elemento <central>");
        state.nextId = root.attribute("next-id").as_llong(1);
        for (const pugi::xml_node unit : root.children("unit")) {
            const int code = unit.attribute("code").as_int();
            state.units[code] =
                UnitRecord{code, unit.attribute("version").as_string(), momentAttribute(unit, "first-seen")};
        }
        for (const pugi::xml_node node : root.children("delivery")) {
            Delivery d{node.attribute("id").as_llong(),
                       node.attribute("name").as_string(),
                       node.attribute("from").as_int(),
                       node.attribute("to").as_int(),
                       momentAttribute(node, "registered"),
                       statusFromName(node.attribute("status").as_string()),
                       {}};
            if (node.attribute("closed"))
                d.closed = momentAttribute(node, "closed");
            state.nextId = std::max(state.nextId, d.id + 1);
            state.deliveries.push_back(std::move(d));
        }
        for (const pugi::xml_node node : root.children("central-file"))
            state.centralFiles.push_back(
                CentralFile{node.attribute("name").as_string(), momentAttribute(node, "registered")});
        if (!root.child("central-file")) // a state saved before the registry: rebuilt from the deliveries
            for (const Delivery &d : state.deliveries)
                if (d.from == centralUnit) {
                    std::erase_if(state.centralFiles, [&](const CentralFile &f) { return f.name == d.name; });
                    state.centralFiles.push_back(CentralFile{d.name, d.registered});
                }
        for (const pugi::xml_node node : root.children("protocol"))
            state.protocols.push_back(ProtocolRecord{node.attribute("name").as_string(),
                                                     node.attribute("unit").as_int(),
                                                     momentAttribute(node, "registered")});
    } catch (const Error &e) {
        throw Error(msg::withCause("Não foi possível ler o estado do servidor " + file.string(), e.what()));
    }
    return state;
}

void CentralStore::save(const State &state) const {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("central");
    root.append_attribute("next-id").set_value(static_cast<long long>(state.nextId));
    for (const auto &[code, unit] : state.units) {
        pugi::xml_node node = root.append_child("unit");
        node.append_attribute("code").set_value(code);
        if (!unit.version.empty())
            node.append_attribute("version").set_value(unit.version.c_str());
        node.append_attribute("first-seen").set_value(formatMoment(unit.firstSeen).c_str());
    }
    for (const Delivery &d : state.deliveries) {
        pugi::xml_node node = root.append_child("delivery");
        node.append_attribute("id").set_value(static_cast<long long>(d.id));
        node.append_attribute("name").set_value(d.name.c_str());
        node.append_attribute("from").set_value(d.from);
        node.append_attribute("to").set_value(d.to);
        node.append_attribute("registered").set_value(formatMoment(d.registered).c_str());
        node.append_attribute("status").set_value(statusName(d.status));
        if (d.closed)
            node.append_attribute("closed").set_value(formatMoment(*d.closed).c_str());
    }
    for (const CentralFile &f : state.centralFiles) {
        pugi::xml_node node = root.append_child("central-file");
        node.append_attribute("name").set_value(f.name.c_str());
        node.append_attribute("registered").set_value(formatMoment(f.registered).c_str());
    }
    for (const ProtocolRecord &p : state.protocols) {
        pugi::xml_node node = root.append_child("protocol");
        node.append_attribute("name").set_value(p.name.c_str());
        node.append_attribute("unit").set_value(p.unit);
        node.append_attribute("registered").set_value(formatMoment(p.registered).c_str());
    }
    std::ostringstream out;
    doc.save(out, "  ");
    writeFileAtomically(file_, out.str());
}

} // namespace edi::central

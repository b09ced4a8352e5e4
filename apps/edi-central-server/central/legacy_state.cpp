#include "central/legacy_state.h"
#include "central/sqlite_store.h"

#include "central/moment.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/messages.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>

namespace edi::central {

namespace fs = std::filesystem;

namespace {

Delivery::Status statusFromName(std::string_view name) {
    constexpr std::array<const char*, 4> kNames = {"waiting", "received", "dropped", "replaced"};
    for (std::size_t i = 0; i < kNames.size(); ++i)
        if (name == kNames[i])
            return static_cast<Delivery::Status>(i);
    throw Error("situação de entrega desconhecida \"" + std::string(name) + "\"");
}

Timestamp momentAttribute(const pugi::xml_node& node, const char* name) {
    const auto moment = parseMoment(node.attribute(name).as_string());
    if (!moment)
        throw Error(std::string("<") + node.name() + "> sem " + name + " válido");
    return *moment;
}

void readInto(LegacyState& state, const pugi::xml_node& root, int centralUnit) {
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
        for (const Delivery& d : state.deliveries)
            if (d.from == centralUnit) {
                std::erase_if(state.centralFiles, [&](const CentralFile& f) { return f.name == d.name; });
                state.centralFiles.push_back(CentralFile{d.name, d.registered});
            }
    for (const pugi::xml_node node : root.children("protocol"))
        state.protocols.push_back(ProtocolRecord{node.attribute("name").as_string(), node.attribute("unit").as_int(),
                                                 momentAttribute(node, "registered")});
}

void removeDatabaseFiles(const fs::path& database) {
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        fs::remove(database.string() + suffix, ec);
}

// The first free name "<file>.migrado", "<file>.migrado.2", ...
fs::path asideName(const fs::path& file) {
    std::error_code ec;
    fs::path aside = file.string() + ".migrado";
    for (int n = 2; fs::exists(aside, ec); ++n)
        aside = file.string() + ".migrado." + std::to_string(n);
    return aside;
}

void moveInto(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec)
        throw IoError(msg::withCause(msg::cannotMove(from, to), ec.message()));
}

} // namespace

LegacyState readLegacyState(const fs::path& file, int centralUnit) {
    LegacyState state;
    try {
        const std::string text = readFile(file);
        pugi::xml_document doc;
        const pugi::xml_parse_result parsed = doc.load_buffer(text.data(), text.size());
        if (!parsed)
            throw Error(parsed.description());
        const pugi::xml_node root = doc.child("central");
        if (!root)
            throw Error("sem o elemento <central>");
        readInto(state, root, centralUnit);
    } catch (const Error& e) {
        throw Error(msg::withCause("Não foi possível ler o estado do servidor " + file.string(), e.what()));
    }
    return state;
}

std::optional<fs::path> migrateLegacyState(const fs::path& legacy, const fs::path& database, int centralUnit) {
    std::error_code ec;
    if (!fs::exists(legacy, ec))
        return std::nullopt;
    // A database beside the old file means a migration that stopped before renaming the old file aside.
    if (!fs::exists(database, ec)) {
        const LegacyState state = readLegacyState(legacy, centralUnit);
        // A hidden temporary name: a migration killed half-way leaves nothing the server would open.
        const fs::path building = database.parent_path() / ("." + database.filename().string() + ".tmp");
        removeDatabaseFiles(building);
        SqliteStore(building, {}).adopt(state);
        moveInto(building, database);
    }
    const fs::path aside = asideName(legacy);
    moveInto(legacy, aside);
    return aside;
}

} // namespace edi::central

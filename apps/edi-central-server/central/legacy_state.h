#pragma once

#include "central/store.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

namespace edi::central {

// The state as earlier versions of the server saved it: one XML file rewritten on every change.
struct LegacyState {
    std::int64_t nextId = 1;
    std::map<int, UnitRecord> units;
    std::vector<Delivery> deliveries;
    std::vector<CentralFile> centralFiles; // oldest registration first, one entry per name
    std::vector<ProtocolRecord> protocols;
};

// Reads the XML state file; throws Error when it cannot be read.
LegacyState readLegacyState(const std::filesystem::path& file, int centralUnit);

// Moves an XML state file into the database `database` when the database does not exist yet: built under a
// temporary name in one transaction and renamed into place; only then is the old file renamed aside (kept, never
// deleted). The path the old file now has, or nullopt when there was none. Throws Error when the old file cannot be
// read, and then leaves it where it is.
std::optional<std::filesystem::path> migrateLegacyState(const std::filesystem::path& legacy,
                                                        const std::filesystem::path& database, int centralUnit);

} // namespace edi::central

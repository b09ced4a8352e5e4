#pragma once

#include "db/database.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace edi::domain {

struct SeedOptions {
    int patients = 100;
    uint64_t seed = 1;
};

struct SeedSummary {
    int unit = 0;
    int64_t rows = 0;
    std::vector<std::pair<std::string, int64_t>> rowsPerTable; // tables written, in table order
};

// Fills a database made by createDatabase with synthetic but plausible rows for demos and benchmarks:
// reference lists (only into empty tables), staff, patients with notifications, risk factors,
// appointments and laboratory results, and a few programme-register month sheets with their protocols.
// Rows belong to the database's unit (parameter 1) and are pending export (DT_EXP null). The same seed
// on the same database gives the same rows; a second run adds rows under new keys. Generators are moved
// past every key written, so later inserts do not collide with seeded rows.
SeedSummary seedDatabase(db::Database& db, const SeedOptions& options);

} // namespace edi::domain

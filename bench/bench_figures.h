#pragma once
// Figures of edi-bench that live in their own files.
#include <filesystem>

namespace edi::bench {

// The raw database work of exporting and importing `rows` rows, measured by the export and import figures.
struct RawParts {
    long long rows = 0;
    double exportSeconds = 0;
    double importSeconds = 0;
};

// The whole exchange of the same backlog from unit 12 through the reference central server into the central unit
// (export, send, receive, import) against the sum of its raw parts: `raw` and moving the packets' bytes.
void wholeExchangeFigure(const std::filesystem::path& dir, int patients, const RawParts& raw);

// Requests per second of the reference central server for op=S and op=I with `units` units and `deliveries`
// deliveries in its state, against the same requests with a small state.
void centralServerFigures(const std::filesystem::path& dir, int units, long long deliveries);

} // namespace edi::bench

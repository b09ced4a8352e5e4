#pragma once
// Figures of edi-bench that live in their own files.
#include <filesystem>
#include <string>
#include <string_view>

namespace edi::bench {

// Said after each figure's goal.
inline const char* veredicto(bool atingida) {
    return atingida ? "atingida" : "NÃO ATINGIDA";
}

// A figure's name padded to the column its numbers start at (counted in characters, not UTF-8 bytes).
inline std::string rotulo(std::string_view nome) {
    size_t largura = 0;
    for (const char c : nome)
        largura += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return std::string(nome) + std::string(largura < 35 ? 35 - largura : 1, ' ');
}

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

// Requests per second of the central server under several clients at once (units uploading, registering, listing,
// downloading, acknowledging): the embedded store with one server and, given a PostgreSQL connection string, the
// PostgreSQL store with one and with two servers sharing it.
void centralNetworkFigures(const std::filesystem::path& dir, const std::string& postgres);

} // namespace edi::bench

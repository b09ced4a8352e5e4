// Fuzz target for the data packet reader: packets arrive from other installations and the central server.
// Any input either loads or fails with PacketError; what loads must also survive a save and a second load, and
// load the same through the whole-document parse.
#include "core/errors.h"
#include "packet/packet_table.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

using edi::PacketTable;

bool sameFields(const PacketTable& a, const PacketTable& b) {
    if (a.fieldCount() != b.fieldCount())
        return false;
    for (size_t i = 0; i < a.fieldCount(); ++i) {
        const auto &x = a.field(i), &y = b.field(i);
        if (x.name != y.name || x.type != y.type || x.size != y.size || x.scale != y.scale || x.required != y.required)
            return false;
    }
    return true;
}

bool sameRecords(PacketTable& a, PacketTable& b) {
    if (a.recordCount() != b.recordCount())
        return false;
    for (a.first(), b.first(); !a.eof(); a.next(), b.next())
        for (size_t i = 0; i < a.fieldCount(); ++i)
            if (!(a.value(i) == b.value(i)))
                return false;
    return b.eof();
}

void checkRoundTrip(PacketTable& loaded) {
    std::string saved;
    try {
        saved = loaded.saveToString();
    } catch (const edi::PacketError&) {
        return; // a value the plain variant cannot carry (a control character given as a reference)
    }
    PacketTable again = PacketTable::loadFromString(saved, "saved packet");
    if (!sameFields(loaded, again) || !sameRecords(loaded, again))
        std::abort();
}

// The input behind a document type declaration, which leaves it to the whole-document parse; nullopt when the
// input does not start with markup (another encoding, a byte order mark).
std::optional<std::string> behindDoctype(std::string_view input) {
    size_t p = input.find_first_not_of(" \t\r\n");
    if (p == std::string_view::npos || input[p] != '<')
        return std::nullopt;
    if (input.compare(p, 5, "<?xml") == 0) {
        p = input.find("?>", p);
        if (p == std::string_view::npos)
            return std::nullopt;
        p += 2;
    }
    return std::string(input.substr(0, p)) + "<!DOCTYPE DATAPACKET>" + std::string(input.substr(p));
}

std::optional<PacketTable> loaded(std::string_view input) {
    try {
        return PacketTable::loadFromString(input);
    } catch (const edi::PacketError&) {
        return std::nullopt;
    }
}

void checkWholeDocumentAgrees(std::optional<PacketTable>& ds, std::string_view input) {
    const auto whole = behindDoctype(input);
    if (!whole)
        return;
    auto other = loaded(*whole);
    if (ds.has_value() != other.has_value() || (ds && (!sameFields(*ds, *other) || !sameRecords(*ds, *other))))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    auto ds = loaded(input);
    checkWholeDocumentAgrees(ds, input);
    if (ds)
        checkRoundTrip(*ds);
    return 0;
}

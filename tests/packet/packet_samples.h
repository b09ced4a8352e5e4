#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace edi::test {

// tests/data/packets of the source tree (the test runner passes EDI_SOURCE_DIR).
inline std::filesystem::path packetSamples() {
    const char* source = std::getenv("EDI_SOURCE_DIR");
    if (!source)
        throw std::runtime_error("EDI_SOURCE_DIR is not set");
    return std::filesystem::path(source) / "tests" / "data" / "packets";
}

} // namespace edi::test

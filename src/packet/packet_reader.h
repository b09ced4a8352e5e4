#pragma once

#include <filesystem>
#include <string>

namespace edi {

class PacketTable;

// The whole file in one allocation of its own size (a packet may be large). Throws IoError.

// Reads either packet variant: strict about structure and values, lenient about what other producers write.
class PacketReader {
public:
    // `source` names the file (or other origin) in error messages.
    explicit PacketReader(std::string source) : source_(std::move(source)) {}

    // Takes the bytes by value: they are decoded and parsed in place. Throws PacketError.
    PacketTable read(std::string bytes) const;

private:
    class Load; // one parse; nested so that it may fill the dataset

    void decodeToUtf8(std::string &bytes, size_t &start) const;

    std::string source_;
};

} // namespace edi

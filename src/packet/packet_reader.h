#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace edi {

class PacketTable;

// Reads either packet variant: strict about structure and values, lenient about what other producers write.
class PacketReader {
public:
    // `source` names the file (or other origin) in error messages; deleted rows follow the current view when kept.
    explicit PacketReader(std::string source, bool keepDeleted = false)
        : source_(std::move(source)), keepDeleted_(keepDeleted) {}

    // Takes the bytes by value: they are decoded and parsed in place. Throws PacketError.
    PacketTable read(std::string bytes) const;
    // The same, copying the bytes only when they must be converted or parsed in place.
    PacketTable read(std::string_view bytes) const;

private:
    class Load; // one parse; nested so that it may fill the dataset

    // The bytes as UTF-8 when they are in another encoding; nullopt when they are UTF-8 from `start` on (past a
    // byte order mark).
    std::optional<std::string> convertedToUtf8(std::string_view bytes, size_t& start) const;
    PacketTable readUtf8(std::string text, size_t start) const;

    std::string source_;
    bool keepDeleted_ = false;
};

} // namespace edi

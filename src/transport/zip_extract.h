#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct zip; // libzip's archive

namespace edi::transport {

struct ExtractionResult {
    // Bare file names now in the destination folder from this archive, each once, in archive order.
    std::vector<std::string> written;
    // Entry names not written because they could reach outside the folder (absolute, ".."), are empty, or
    // record a symbolic link, device or pipe.
    std::vector<std::string> refused;
};

// An opened ZIP archive. Its entries are extracted into a folder under their bare file names, replacing files
// of the same name; the later of two entries with one bare name wins. Directory entries are skipped. Entries are
// unpacked into a hidden staging folder inside the destination and moved into place only once all of them were
// read, so a damaged archive replaces nothing. A file keeps the Unix mode its entry records; an entry without one
// that replaces a file keeps that file's mode.
class ZipArchive {
public:
    // What one archive may unpack in all: a small archive can expand a thousandfold (a "zip bomb").
    static constexpr std::uint64_t kMaxExtractedBytes = std::uint64_t{1} << 30;

    // Throws IoError for a file that is not a readable ZIP archive.
    explicit ZipArchive(const std::filesystem::path& archive, std::uint64_t maxExtractedBytes = kMaxExtractedBytes);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Creates `destinationFolder` when missing; throws IoError when an entry cannot be read or written, or when
    // the entries would unpack to more than the limit (then nothing is written).
    // `onEntry`, when given, is called after each entry is staged (tests crash there).
    ExtractionResult extractTo(const std::filesystem::path& destinationFolder,
                               const std::function<void()>& onEntry = {});

private:
    std::filesystem::path path_;
    ::zip* archive_;
    std::uint64_t maxExtractedBytes_;
};

// ZipArchive(archive).extractTo(destinationFolder).
ExtractionResult Descompactar(const std::filesystem::path& archive, const std::filesystem::path& destinationFolder,
                              const std::function<void()>& onEntry = {});

} // namespace edi::transport

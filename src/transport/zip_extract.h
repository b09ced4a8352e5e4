#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace edi::transport {

struct ExtractionResult {
    // Bare file names now in the destination folder from this archive, each once, in archive order.
    std::vector<std::string> written;
    // Entry names not written because they could reach outside the folder (absolute, "..") or are empty.
    std::vector<std::string> refused;
};

// Extracts every file entry of a ZIP archive into `destinationFolder` (created when missing) under its bare
// file name, replacing files of the same name; the later of two entries with one bare name wins. Directory
// entries are skipped. Entries are unpacked into a hidden staging folder inside it and moved into place only once
// all of them were read, so a damaged archive replaces nothing. Throws IoError for a file that is not a readable ZIP
// archive. `onEntry`, when given, is called after each entry is staged (tests crash there).
ExtractionResult Descompactar(const std::filesystem::path &archive, const std::filesystem::path &destinationFolder,
                              const std::function<void()> &onEntry = {});

} // namespace edi::transport

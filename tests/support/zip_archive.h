#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace edi::test {

struct ZipEntry {
    std::string name;
    std::string content;
    bool directory = false;
    unsigned mode = 0;     // Unix mode recorded in the entry (a regular file unless it names a type); 0: none recorded
    bool deflated = false; // compressed, as archives usually are; else stored
};

ZipEntry folder(std::string name);
ZipEntry withMode(std::string name, std::string content, unsigned mode);
ZipEntry deflated(std::string name, std::string content);

// Writes a real archive with libzip; names are stored exactly as given. Entries are stored uncompressed, unless
// made by deflated(), so a test can find and damage their bytes. Fails the current test when libzip refuses.
void makeZip(const std::filesystem::path& path, const std::vector<ZipEntry>& entries);

} // namespace edi::test

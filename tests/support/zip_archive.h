#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace edi::test {

struct ZipEntry {
    std::string name;
    std::string content;
    bool directory = false;
    unsigned mode = 0; // Unix permission bits recorded in the entry; 0: none recorded
};

ZipEntry folder(std::string name);
ZipEntry withMode(std::string name, std::string content, unsigned mode);

// Writes a real archive with libzip; names are stored exactly as given. Entries are stored uncompressed so
// a test can find and damage their bytes. Fails the current test when libzip refuses.
void makeZip(const std::filesystem::path &path, const std::vector<ZipEntry> &entries);

} // namespace edi::test

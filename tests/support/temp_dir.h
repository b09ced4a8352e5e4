#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace edi::test {

// A fresh folder under the system temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The names in a folder, sorted.
std::vector<std::string> filesIn(const std::filesystem::path& folder);

// `size` bytes of a fixed pattern that covers every byte value, for transfer tests.
std::string patternedBytes(std::size_t size);

} // namespace edi::test

#include "support/temp_dir.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <sys/stat.h>

namespace edi::test {

namespace {
// A test opens many databases in folders it deletes, while the engine takes its lock folder once per
// process: one lock folder for the whole run, inherited by the programs the tests start.
[[maybe_unused]] const bool lockFolderOfTheRun = [] {
    ::mkdir(EDI_TEST_LOCK_FOLDER, 0770);
    return ::setenv("FIREBIRD_LOCK", EDI_TEST_LOCK_FOLDER, 0) == 0;
}();
} // namespace

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "edi-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> filesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string patternedBytes(std::size_t size) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        body[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    return body;
}

} // namespace edi::test

#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace edi {

// A file written under a temporary name beside its destination and renamed into place by commit(),
// so an existing file is only ever replaced by a complete one. Dropped uncommitted, it leaves nothing.
class AtomicFile {
public:
    explicit AtomicFile(std::filesystem::path destination);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    std::ofstream& stream() { return out_; }
    const std::filesystem::path& temporaryPath() const { return temp_; }
    // Flushes, syncs and renames; throws IoError on any failure.
    void commit();

private:
    std::filesystem::path destination_;
    std::filesystem::path temp_;
    std::ofstream out_;
    bool committed_ = false;
};

std::string readFile(const std::filesystem::path& path);            // throws IoError
void writeFileAtomically(const std::filesystem::path& path, std::string_view content);
// Moves a file, replacing one of the same name at the target (delete first, then rename).
void moveFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to);
// True when a file can be created in `folder`, which is created when missing. Tried with a real file:
// permission bits say nothing about a read-only mount such as a service's protected system folders.
bool canWriteInto(const std::filesystem::path& folder);

} // namespace edi

#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
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
    // Flushes, syncs and publishes the file under the first of candidate(0), candidate(1), ... that no file
    // has, never replacing one, also when another process claims names in the same folder at the same moment.
    // The candidates must lie in the destination's folder. Returns the name taken; throws IoError on any
    // failure or when the first `attempts` names are all taken.
    std::filesystem::path commitUnderFreeName(const std::function<std::filesystem::path(int)>& candidate, int attempts);

private:
    void finishTemporary();

    std::filesystem::path destination_;
    std::filesystem::path temp_;
    std::ofstream out_;
    bool committed_ = false;
};

// Flushes the file's data to the disk; false (errno set) when the disk reports a failure, which is where a
// write-back I/O error shows.
bool syncFile(const std::filesystem::path& path);

// What a failed system call's error number means, in Portuguese, for messages that name a file.
std::string describeWriteError(int errorNumber);

std::string readFile(const std::filesystem::path& path); // throws IoError
void writeFileAtomically(const std::filesystem::path& path, std::string_view content);
// Writes `content` under the first free name of candidate(0), candidate(1), ..., never replacing a file (see
// AtomicFile::commitUnderFreeName). Returns the name taken.
std::filesystem::path writeNewFile(const std::function<std::filesystem::path(int)>& candidate, int attempts,
                                   std::string_view content);
// `text` with every line end made CR LF and a last line end added: the text files operators open elsewhere.
std::string linesWithCrLf(std::string_view text);
// Moves a file, replacing one of the same name at the target (delete first, then rename).
void moveFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to);
// True when a file can be created in `folder`, which is created when missing. Tried with a real file:
// permission bits say nothing about a read-only mount such as a service's protected system folders.
bool canWriteInto(const std::filesystem::path& folder);

// True for a name AtomicFile gives its temporary files.
bool isTemporaryName(const std::string& name);
// Removes the temporary files of AtomicFile in `folder` (not below it) last written more than `age` ago: what a
// killed process left. Younger ones may belong to a process still writing. Failures are ignored.
void removeStaleTemporaries(const std::filesystem::path& folder, std::chrono::seconds age);

} // namespace edi

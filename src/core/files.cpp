#include "core/files.h"

#include "core/errors.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace edi {

namespace fs = std::filesystem;

namespace {

std::string systemMessage() { return std::strerror(errno); }

fs::path temporarySibling(const fs::path& destination) {
    static std::atomic<unsigned> counter{0};
    return destination.parent_path() /
           ("." + destination.filename().string() + ".tmp" + std::to_string(::getpid()) + "-" +
            std::to_string(counter++));
}

void syncFile(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

AtomicFile::AtomicFile(fs::path destination) : destination_(std::move(destination)) {
    temp_ = temporarySibling(destination_);
    out_.open(temp_, std::ios::binary | std::ios::trunc);
    if (!out_)
        throw IoError("Cannot create " + temp_.string() + ": " + systemMessage());
}

AtomicFile::~AtomicFile() {
    if (!committed_) {
        out_.close();
        std::error_code ec;
        fs::remove(temp_, ec);
    }
}

void AtomicFile::commit() {
    out_.flush();
    if (!out_)
        throw IoError("Cannot write " + destination_.string());
    out_.close();
    syncFile(temp_);
    std::error_code ec;
    fs::rename(temp_, destination_, ec);
    if (ec)
        throw IoError("Cannot rename " + temp_.string() + " to " + destination_.string() + ": " + ec.message());
    committed_ = true;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw IoError("Cannot open " + path.string() + ": " + systemMessage());
    // Sized once: a large packet must not need twice its size while it is read.
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    std::string content;
    if (!ec) {
        content.resize(static_cast<size_t>(size));
        in.read(content.data(), static_cast<std::streamsize>(size));
        content.resize(static_cast<size_t>(in.gcount()));
    }
    // A file that grew while being read, or whose size was unknown, is read to its end.
    content.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad())
        throw IoError("Cannot read " + path.string());
    return content;
}

void writeFileAtomically(const fs::path& path, std::string_view content) {
    AtomicFile file(path);
    file.stream().write(content.data(), static_cast<std::streamsize>(content.size()));
    file.commit();
}

void moveFileReplacing(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    if (fs::exists(to, ec))
        fs::remove(to, ec);
    fs::rename(from, to, ec);
    if (ec)
        throw IoError("Cannot move " + from.string() + " to " + to.string() + ": " + ec.message());
}

bool canWriteInto(const fs::path& folder) {
    const fs::path pasta = folder.empty() ? fs::path(".") : folder;
    std::error_code ec;
    fs::create_directories(pasta, ec);
    if (ec)
        return false;
    std::string probe = (pasta / ".edi-write-probe-XXXXXX").string();
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

} // namespace edi

#include "core/files.h"

#include "core/errors.h"
#include "core/messages.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <regex>
#include <unistd.h>

namespace edi {

namespace fs = std::filesystem;

namespace {

std::string systemMessage() {
    return describeWriteError(errno);
}

// "." + name + ".tmp" + process id + "-" + counter: hidden, and never the name of a real file.
fs::path temporarySibling(const fs::path& destination) {
    static std::atomic<unsigned> counter{0};
    return destination.parent_path() / ("." + destination.filename().string() + ".tmp" + std::to_string(::getpid()) +
                                        "-" + std::to_string(counter++));
}

// Gives the complete file `temp` the name `name` unless a file has it; false when one has. A hard link and a
// rename that refuses to replace are both a single step, so of two processes claiming one name only one gets it.
bool publishIfFree(const fs::path& temp, const fs::path& name) {
    if (::link(temp.c_str(), name.c_str()) == 0) {
        ::unlink(temp.c_str());
        return true;
    }
    if (errno == EPERM || errno == EOPNOTSUPP) // a file system without hard links
        if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0)
            return true;
    if (errno == EEXIST)
        return false;
    throw IoError("Não foi possível dar a " + temp.string() + " o nome " + name.string() + ": " + systemMessage());
}

} // namespace

bool syncFile(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return ok;
}

std::string describeWriteError(int errorNumber) {
    switch (errorNumber) {
    case ENOSPC: return "disco cheio";
    case EDQUOT: return "cota de disco esgotada";
    case EFBIG: return "arquivo maior que o tamanho permitido";
    case EIO: return "erro de entrada/saída no disco";
    case EROFS: return "disco somente para leitura";
    case EACCES:
    case EPERM: return "sem permissão";
    case ENAMETOOLONG: return "nome longo demais";
    case ENOENT: return "pasta ou arquivo inexistente";
    case 0: return "falha de gravação";
    default: return std::strerror(errorNumber);
    }
}

AtomicFile::AtomicFile(fs::path destination) : destination_(std::move(destination)) {
    temp_ = temporarySibling(destination_);
    out_.open(temp_, std::ios::binary | std::ios::trunc);
    if (!out_)
        throw IoError("Não foi possível criar " + destination_.string() + ": " + systemMessage());
}

AtomicFile::~AtomicFile() {
    if (!committed_) {
        out_.close();
        std::error_code ec;
        fs::remove(temp_, ec);
    }
}

void AtomicFile::finishTemporary() {
    const auto fail = [this] {
        throw IoError("Não foi possível gravar " + destination_.string() + ": " + systemMessage());
    };
    if (!out_)
        fail(); // errno still tells why the write failed
    errno = 0;
    out_.flush();
    if (!out_)
        fail();
    out_.close(); // a full disk may show only when the last buffer goes
    if (!out_ || !syncFile(temp_))
        fail();
}

void AtomicFile::commit() {
    finishTemporary();
    std::error_code ec;
    fs::rename(temp_, destination_, ec);
    if (ec)
        throw IoError("Não foi possível gravar " + destination_.string() + ": " + ec.message());
    committed_ = true;
}

fs::path AtomicFile::commitUnderFreeName(const std::function<fs::path(int)>& candidate, int attempts) {
    finishTemporary();
    for (int n = 0; n < attempts; ++n) {
        const fs::path name = candidate(n);
        if (publishIfFree(temp_, name)) {
            committed_ = true;
            return name;
        }
    }
    throw IoError("Nenhum nome livre para " + destination_.string() + " entre os " + std::to_string(attempts) +
                  " seguintes");
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw IoError(msg::withCause(msg::cannotOpen(path), systemMessage()));
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
    try {
        content.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure& e) { // a read error met by the stream buffer itself
        throw IoError(msg::withCause(msg::cannotRead(path), e.code().message()));
    }
    if (in.bad())
        throw IoError(msg::cannotRead(path));
    return content;
}

void writeFileAtomically(const fs::path& path, std::string_view content) {
    AtomicFile file(path);
    file.stream().write(content.data(), static_cast<std::streamsize>(content.size()));
    file.commit();
}

fs::path writeNewFile(const std::function<fs::path(int)>& candidate, int attempts, std::string_view content) {
    AtomicFile file(candidate(0));
    file.stream().write(content.data(), static_cast<std::streamsize>(content.size()));
    return file.commitUnderFreeName(candidate, attempts);
}

void moveFileReplacing(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    if (fs::exists(to, ec))
        fs::remove(to, ec);
    fs::rename(from, to, ec);
    if (ec)
        throw IoError(msg::withCause(msg::cannotMove(from, to), ec.message()));
}

bool isTemporaryName(const std::string& name) {
    static const std::regex pattern(R"(\..+\.tmp[0-9]+-[0-9]+)");
    return std::regex_match(name, pattern);
}

void removeStaleTemporaries(const fs::path& folder, std::chrono::seconds age) {
    std::error_code ec;
    const auto before = fs::file_time_type::clock::now() - age;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        std::error_code entryError;
        if (entry.is_regular_file(entryError) && isTemporaryName(entry.path().filename().string()) &&
            entry.last_write_time(entryError) < before && !entryError)
            fs::remove(entry.path(), entryError);
    }
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

std::string linesWithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    if (!out.empty() && out.back() != '\n')
        out += "\r\n";
    return out;
}

} // namespace edi

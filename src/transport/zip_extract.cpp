#include "transport/zip_extract.h"

#include "core/errors.h"
#include "core/messages.h"

#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>

namespace edi::transport {

namespace fs = std::filesystem;

namespace {

std::string cannotReadEntry(const std::string &entryName) {
    return "Não foi possível ler " + entryName + " do arquivo compactado";
}

struct EntryCloser {
    void operator()(zip_file_t *f) const { zip_fclose(f); }
};
using Entry = std::unique_ptr<zip_file_t, EntryCloser>;

std::string libzipMessage(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

zip_t *openArchive(const fs::path &archive) {
    int code = 0;
    zip_t *z = zip_open(archive.c_str(), ZIP_RDONLY, &code);
    if (!z) {
        if (code == ZIP_ER_NOZIP)
            throw IoError(archive.string() + " não é um arquivo ZIP");
        throw IoError(
            msg::withCause("Não foi possível abrir o arquivo compactado " + archive.string(), libzipMessage(code)));
    }
    return z;
}

// The permission bits an entry made on a Unix system records; none for other systems or a zero mode.
std::optional<fs::perms> recordedMode(zip_t *archive, zip_uint64_t index) {
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0 || system != ZIP_OPSYS_UNIX)
        return std::nullopt;
    const auto mode = static_cast<unsigned>(attributes >> 16) & 0777u;
    if (mode == 0)
        return std::nullopt;
    return static_cast<fs::perms>(mode);
}

constexpr const char *kStagingPrefix = ".unzip-";

// A process killed while extracting leaves its staging folder behind, with a partial copy of the update. Once it is
// a day old no extraction can still be using it.
void removeAbandonedStaging(const fs::path &parent) {
    std::error_code ec;
    const auto limit = fs::file_time_type::clock::now() - std::chrono::hours(24);
    for (const auto &e : fs::directory_iterator(parent, ec)) {
        if (e.path().filename().string().rfind(kStagingPrefix, 0) != 0 || !e.is_directory(ec))
            continue;
        if (const auto changed = fs::last_write_time(e.path(), ec); !ec && changed < limit)
            fs::remove_all(e.path(), ec);
    }
}

// A folder inside the destination, so moving a staged file into place is a rename on one file system.
class StagingFolder {
public:
    explicit StagingFolder(const fs::path &parent) {
        removeAbandonedStaging(parent);
        std::string pattern = (parent / (std::string(kStagingPrefix) + "XXXXXX")).string();
        if (!::mkdtemp(pattern.data()))
            throw IoError("Não foi possível criar uma pasta de preparo em " + parent.string());
        path_ = pattern;
    }
    ~StagingFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    StagingFolder(const StagingFolder &) = delete;
    StagingFolder &operator=(const StagingFolder &) = delete;
    const fs::path &path() const { return path_; }

private:
    fs::path path_;
};

enum class EntryKind { File, Directory, Refused };

struct ClassifiedEntry {
    EntryKind kind;
    std::string bareName;
};

bool startsWithDriveLetter(const std::string &name) {
    return name.size() >= 2 && name[1] == ':' &&
           ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}

bool hasParentStep(const std::string &name) {
    std::size_t begin = 0;
    while (begin <= name.size()) {
        const std::size_t end = std::min(name.find('/', begin), name.size());
        if (name.compare(begin, end - begin, "..") == 0)
            return true;
        begin = end + 1;
    }
    return false;
}

// Archives made on other systems use "\" as separator; both count.
ClassifiedEntry classify(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name.empty() || name.front() == '/' || startsWithDriveLetter(name) || hasParentStep(name))
        return {EntryKind::Refused, {}};
    const std::string bare = name.substr(name.rfind('/') + 1);
    if (bare.empty())
        return {EntryKind::Directory, {}};
    if (bare == ".")
        return {EntryKind::Refused, {}};
    return {EntryKind::File, bare};
}

void extractEntry(zip_t *archive, zip_uint64_t index, const std::string &entryName, const fs::path &target) {
    Entry entry(zip_fopen_index(archive, index, 0));
    if (!entry)
        throw IoError(msg::withCause(cannotReadEntry(entryName), zip_strerror(archive)));
    std::error_code ec;
    fs::remove(target, ec); // an earlier entry of the same bare name must not lend its mode
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out)
        throw IoError(msg::cannotCreate(target));
    char buffer[64 * 1024];
    for (;;) {
        const zip_int64_t n = zip_fread(entry.get(), buffer, sizeof buffer);
        if (n < 0)
            throw IoError(msg::withCause(cannotReadEntry(entryName), zip_file_strerror(entry.get())));
        if (n == 0)
            break;
        out.write(buffer, static_cast<std::streamsize>(n));
    }
    out.close();
    if (!out)
        throw IoError(msg::cannotWrite(target));
}

// The staged file gets the entry's mode, else the mode of the file it will replace, else the default.
void applyMode(const fs::path &staged, std::optional<fs::perms> recorded, const fs::path &replaced) {
    std::error_code ec;
    if (!recorded)
        if (const auto old = fs::status(replaced, ec); !ec && fs::is_regular_file(old))
            recorded = old.permissions() & fs::perms::all;
    if (recorded) {
        fs::permissions(staged, *recorded, ec);
        if (ec)
            throw IoError(msg::withCause("Não foi possível ajustar as permissões de " + staged.string(), ec.message()));
    }
}

} // namespace

ZipArchive::ZipArchive(const fs::path &archive) : path_(archive), archive_(openArchive(archive)) {}

ZipArchive::~ZipArchive() { zip_discard(archive_); }

ExtractionResult Descompactar(const fs::path &archive, const fs::path &destinationFolder,
                              const std::function<void()> &onEntry) {
    return ZipArchive(archive).extractTo(destinationFolder, onEntry);
}

ExtractionResult ZipArchive::extractTo(const fs::path &destinationFolder, const std::function<void()> &onEntry) {
    std::error_code ec;
    fs::create_directories(destinationFolder, ec);
    if (ec)
        throw IoError(msg::withCause(msg::cannotCreateFolder(destinationFolder), ec.message()));

    ExtractionResult result;
    StagingFolder staging(destinationFolder);
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const char *rawName = zip_get_name(archive_, index, 0);
        if (!rawName)
            throw IoError(msg::withCause("Não foi possível ler a lista de entradas de " + path_.string(),
                                         zip_strerror(archive_)));
        const std::string name = rawName;
        const ClassifiedEntry entry = classify(name);
        if (entry.kind == EntryKind::Refused)
            result.refused.push_back(name);
        if (entry.kind != EntryKind::File)
            continue;
        extractEntry(archive_, index, name, staging.path() / entry.bareName);
        applyMode(staging.path() / entry.bareName, recordedMode(archive_, index), destinationFolder / entry.bareName);
        if (std::find(result.written.begin(), result.written.end(), entry.bareName) == result.written.end())
            result.written.push_back(entry.bareName);
        if (onEntry)
            onEntry();
    }
    for (const std::string &bare : result.written) {
        fs::rename(staging.path() / bare, destinationFolder / bare, ec);
        if (ec)
            throw IoError(
                msg::withCause("Não foi possível substituir " + (destinationFolder / bare).string(), ec.message()));
    }
    return result;
}

} // namespace edi::transport

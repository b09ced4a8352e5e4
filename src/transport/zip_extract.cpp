#include "transport/zip_extract.h"

#include "core/errors.h"
#include "core/files.h"
#include "core/messages.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>

namespace edi::transport {

namespace fs = std::filesystem;

namespace {

struct EntryCloser {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};
using Entry = std::unique_ptr<zip_file_t, EntryCloser>;

std::string libzipMessage(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

zip_t* openArchive(const fs::path& archive) {
    int code = 0;
    zip_t* z = zip_open(archive.c_str(), ZIP_RDONLY, &code);
    if (!z) {
        if (code == ZIP_ER_NOZIP)
            throw IoError(archive.string() + " não é um arquivo ZIP");
        throw IoError("Não foi possível abrir o arquivo compactado " + archive.string() + ": " + libzipMessage(code));
    }
    return z;
}

// The Unix mode (type and permission bits) an entry made on a Unix system records; 0 for other systems.
unsigned unixMode(zip_t* archive, zip_uint64_t index) {
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0 || system != ZIP_OPSYS_UNIX)
        return 0;
    return static_cast<unsigned>(attributes >> 16);
}

// A symbolic link, device or pipe recorded in the archive is never recreated, nor written as a plain file.
bool isSpecialFile(zip_t* archive, zip_uint64_t index) {
    const unsigned type = unixMode(archive, index) & 0170000u;
    return type != 0 && type != 0100000u && type != 0040000u;
}

// The permission bits an entry made on a Unix system records; none for other systems or a zero mode.
std::optional<fs::perms> recordedMode(zip_t* archive, zip_uint64_t index) {
    const auto mode = unixMode(archive, index) & 0777u;
    if (mode == 0)
        return std::nullopt;
    return static_cast<fs::perms>(mode);
}

constexpr const char* kStagingPrefix = ".unzip-";

// A process killed while extracting leaves its staging folder behind, with a partial copy of the update. Once it is
// a day old no extraction can still be using it.
void removeAbandonedStaging(const fs::path& parent) {
    std::error_code ec;
    const auto limit = fs::file_time_type::clock::now() - std::chrono::hours(24);
    for (const auto& e : fs::directory_iterator(parent, ec)) {
        if (e.path().filename().string().rfind(kStagingPrefix, 0) != 0 || !e.is_directory(ec))
            continue;
        if (const auto changed = fs::last_write_time(e.path(), ec); !ec && changed < limit)
            fs::remove_all(e.path(), ec);
    }
}

// A folder inside the destination, so moving a staged file into place is a rename on one file system.
class StagingFolder {
public:
    explicit StagingFolder(const fs::path& parent) {
        removeAbandonedStaging(parent);
        std::string pattern = (parent / (std::string(kStagingPrefix) + "XXXXXX")).string();
        if (!::mkdtemp(pattern.data()))
            throw IoError("Não foi possível criar uma pasta temporária em " + parent.string() + ": " +
                          describeWriteError(errno));
        path_ = pattern;
    }
    ~StagingFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

enum class EntryKind { File, Directory, Refused };

struct ClassifiedEntry {
    EntryKind kind;
    std::string bareName;
};

bool startsWithDriveLetter(const std::string& name) {
    return name.size() >= 2 && name[1] == ':' &&
           ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}

bool hasParentStep(const std::string& name) {
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

std::string tooLarge(const fs::path& archive, std::uint64_t limit) {
    const std::string size =
        limit >= (1u << 20) ? std::to_string(limit >> 20) + " MiB" : std::to_string(limit) + " bytes";
    return archive.string() + " recusado: descompactado passaria de " + size;
}

// Writes one entry to `target`, counting its bytes into `budget` (what the archive may still unpack).
void extractEntry(zip_t* archive, zip_uint64_t index, const std::string& entryName, const fs::path& target,
                  std::uint64_t& budget, const std::string& overBudget) {
    Entry entry(zip_fopen_index(archive, index, 0));
    if (!entry)
        throw IoError("Não foi possível ler " + entryName + " do arquivo compactado: " + zip_strerror(archive));
    std::error_code ec;
    fs::remove(target, ec); // an earlier entry of the same bare name must not lend its mode
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out)
        throw IoError("Não foi possível criar " + target.string() + ": " + describeWriteError(errno));
    char buffer[64 * 1024];
    for (;;) {
        const zip_int64_t n = zip_fread(entry.get(), buffer, sizeof buffer);
        if (n < 0)
            throw IoError("Não foi possível ler " + entryName +
                          " do arquivo compactado: " + zip_file_strerror(entry.get()));
        if (n == 0)
            break;
        if (static_cast<std::uint64_t>(n) > budget)
            throw IoError(overBudget);
        budget -= static_cast<std::uint64_t>(n);
        out.write(buffer, static_cast<std::streamsize>(n));
        if (!out)
            break; // errno still tells why
    }
    if (out)
        errno = 0;
    out.close();
    if (!out || !syncFile(target)) // the file is moved into place as complete
        throw IoError("Não foi possível gravar " + entryName + " (" + target.string() +
                      "): " + describeWriteError(errno));
}

// The staged file gets the entry's mode, else the mode of the file it will replace, else the default.
void applyMode(const fs::path& staged, std::optional<fs::perms> recorded, const fs::path& replaced) {
    std::error_code ec;
    if (!recorded)
        if (const auto old = fs::status(replaced, ec); !ec && fs::is_regular_file(old))
            recorded = old.permissions() & fs::perms::all;
    if (recorded) {
        fs::permissions(staged, *recorded, ec);
        if (ec)
            throw IoError("Não foi possível ajustar as permissões de " + staged.string() + ": " + ec.message());
    }
}

} // namespace

ZipArchive::ZipArchive(const fs::path& archive, std::uint64_t maxExtractedBytes)
    : path_(archive), archive_(openArchive(archive)), maxExtractedBytes_(maxExtractedBytes) {}

ZipArchive::~ZipArchive() {
    zip_discard(archive_);
}

ExtractionResult Descompactar(const fs::path& archive, const fs::path& destinationFolder,
                              const std::function<void()>& onEntry) {
    return ZipArchive(archive).extractTo(destinationFolder, onEntry);
}

ExtractionResult ZipArchive::extractTo(const fs::path& destinationFolder, const std::function<void()>& onEntry) {
    std::error_code ec;
    fs::create_directories(destinationFolder, ec);
    if (ec)
        throw IoError("Não foi possível criar a pasta " + destinationFolder.string() + ": " + ec.message());

    ExtractionResult result;
    const std::string overBudget = tooLarge(path_, maxExtractedBytes_);
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    std::vector<std::pair<zip_uint64_t, ClassifiedEntry>> files;
    std::uint64_t declared = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const char* rawName = zip_get_name(archive_, index, 0);
        if (!rawName)
            throw IoError("Não foi possível ler a lista de " + path_.string() + ": " + zip_strerror(archive_));
        const std::string name = rawName;
        ClassifiedEntry entry = classify(name);
        if (entry.kind == EntryKind::File && isSpecialFile(archive_, index))
            entry.kind = EntryKind::Refused;
        if (entry.kind == EntryKind::Refused)
            result.refused.push_back(name);
        if (entry.kind != EntryKind::File)
            continue;
        // The sizes the archive declares refuse a bomb before anything is written; the count while unpacking
        // catches an archive that lies about them.
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive_, index, 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE))
            declared += std::min<std::uint64_t>(st.size, maxExtractedBytes_ + 1);
        if (declared > maxExtractedBytes_)
            throw IoError(overBudget);
        files.emplace_back(index, std::move(entry));
    }
    std::uint64_t budget = maxExtractedBytes_;
    StagingFolder staging(destinationFolder);
    for (const auto& [index, entry] : files) {
        const std::string name = zip_get_name(archive_, index, 0);
        extractEntry(archive_, index, name, staging.path() / entry.bareName, budget, overBudget);
        applyMode(staging.path() / entry.bareName, recordedMode(archive_, index), destinationFolder / entry.bareName);
        if (std::find(result.written.begin(), result.written.end(), entry.bareName) == result.written.end())
            result.written.push_back(entry.bareName);
        if (onEntry)
            onEntry();
    }
    for (const std::string& bare : result.written) {
        fs::rename(staging.path() / bare, destinationFolder / bare, ec);
        if (ec)
            throw IoError("Não foi possível substituir " + (destinationFolder / bare).string() + ": " + ec.message());
    }
    return result;
}

} // namespace edi::transport

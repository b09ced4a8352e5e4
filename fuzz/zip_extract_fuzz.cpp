// Fuzz target for the extraction of update archives, which arrive from the central server. Any input either
// unpacks or fails with IoError; nothing may appear outside the destination folder, no staging folder may be
// left behind, and nothing but plain files may be created.
#include "core/errors.h"
#include "transport/zip_extract.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// One folder for the whole run: the archive and the destination folder below it, nothing else.
class WorkFolder {
public:
    WorkFolder() {
        std::string pattern = (fs::temp_directory_path() / "zip-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        path = pattern;
    }
    ~WorkFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    fs::path path;
};

const fs::path& workFolder() {
    static const WorkFolder folder;
    return folder.path;
}

void requireOnlyPlainFilesIn(const fs::path& destination) {
    for (const auto& entry : fs::directory_iterator(destination))
        if (!entry.is_regular_file() || entry.is_symlink())
            std::abort(); // a folder (staging left behind), a link or a special file
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path archive = workFolder() / "update.zip", destination = workFolder() / "destino";
    std::ofstream(archive, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    try {
        edi::transport::ZipArchive zip(archive, 1 << 20);
        zip.extractTo(destination);
    } catch (const edi::IoError&) {
    }
    for (const auto& entry : fs::directory_iterator(workFolder()))
        if (entry.path() != archive && entry.path() != destination)
            std::abort(); // written outside the destination
    if (fs::exists(destination)) {
        requireOnlyPlainFilesIn(destination);
        fs::remove_all(destination);
    }
    return 0;
}

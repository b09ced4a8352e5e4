#include "central/web_root.h"

#include "core/encoding.h"
#include "core/errors.h"
#include "core/messages.h"

namespace edi::central {

namespace fs = std::filesystem;

bool isBareFileName(std::string_view name) {
    // Without separators, a leading dot also rules out the steps "." and "..": dots inside a name are plain text.
    if (name.empty() || name.size() > kMaxFileNameBytes || name.front() == '.' || !encoding::isValidUtf8(name))
        return false;
    for (const char c : name) {
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 32 || c == 127)
            return false;
    }
    return true;
}

std::string serverPath(std::string_view folder, std::string_view name) {
    std::string path(kServerWebRoot);
    path += '\\';
    path += folder;
    path += '\\';
    path += name;
    return path;
}

WebRoot::WebRoot(fs::path root) : root_(std::move(root)) {}

void WebRoot::prepare() const {
    std::error_code ec;
    for (const fs::path& folder : {uploads(), updates()}) {
        fs::create_directories(folder, ec);
        if (ec)
            throw IoError(msg::withCause(msg::cannotCreate(folder), ec.message()));
    }
    for (const fs::path& folder : {uploads(), updates(), root_}) {
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.front() == '.' && name.find(".tmp") != std::string::npos && entry.is_regular_file())
                fs::remove(entry.path(), ec);
        }
    }
}

} // namespace edi::central

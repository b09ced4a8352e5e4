#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace edi::central {

// How the server names its files in list answers; the client turns this prefix into our host name.
inline constexpr std::string_view kServerWebRoot = "E:\\Home\\quelmar\\Web";
// Longest file name accepted for uploads and publications.
inline constexpr std::size_t kMaxFileNameBytes = 200;

// A plain file name that cannot leave its folder: UTF-8, not empty, no "/", "\", no control characters, and not
// starting with "." (so never a "." or ".." step; temporary files being written are hidden names, never served or
// registered). Dots elsewhere are allowed: "x..y.xml" is a name like any other.
bool isBareFileName(std::string_view name);

// `folder` below the web root in the server's notation, e.g. serverPath("edi\\out", "X.xml").
std::string serverPath(std::string_view folder, std::string_view name);

// The folders and files the server keeps under its root.
class WebRoot {
public:
    explicit WebRoot(std::filesystem::path root);

    const std::filesystem::path& root() const { return root_; }
    // Uploaded files, served at /edi/out/<name>.
    std::filesystem::path uploads() const { return root_ / "edi" / "out"; }
    // Published update files, served at /app/<name>.
    std::filesystem::path updates() const { return root_ / "app"; }
    std::filesystem::path manifest() const { return updates() / kManifestName; }
    // The server's state: an SQLite database (with its -wal and -shm files beside it).
    std::filesystem::path stateFile() const { return root_ / "central-state.db"; }
    // Where earlier versions kept the state, as one XML file; taken over on start.
    std::filesystem::path legacyStateFile() const { return root_ / "central-state.xml"; }

    // Creates the folders; removes temporary files an interrupted upload left behind.
    void prepare() const;

    static constexpr const char* kManifestName = "manifest.txt";

private:
    std::filesystem::path root_;
};

} // namespace edi::central

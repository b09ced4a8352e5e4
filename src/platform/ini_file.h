#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace edi::platform {

// A configuration file in the INI layout: "[Section]" lines open sections, "key=value" lines hold values,
// lines starting with ";" or "#" are comments. Section and key names match without regard to case; the first
// of two equal sections or keys counts. Values are read without surrounding blanks and without one pair of
// enclosing quotes.
class IniFile {
public:
    // Reads the file; a missing file reads as empty. Throws IoError when it exists but cannot be read.
    explicit IniFile(std::filesystem::path path);

    const std::filesystem::path& path() const { return path_; }

    std::string readString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    // The default also when the value is not a whole number in the range of int.
    int readInteger(std::string_view section, std::string_view key, int defaultValue) const;

    // Sets one key and saves the file at once, atomically. Only that key's value changes: a missing key is added
    // at the end of its section, a missing section at the end of the file; every other byte stays as it was.
    // The file is read again first, so changes made by others since construction are kept. Throws Error for a
    // name or value that cannot be stored on one line, IoError when the file cannot be written.
    void writeString(std::string_view section, std::string_view key, std::string_view value);

private:
    std::filesystem::path path_;
    std::string text_;
};

} // namespace edi::platform

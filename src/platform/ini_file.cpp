#include "platform/ini_file.h"

#include "core/errors.h"
#include "core/files.h"
#include "core/formats.h"

#include <climits>
#include <optional>
#include <vector>

namespace edi::platform {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

struct Line {
    std::size_t begin; // first byte
    std::size_t end;   // end of the content, before "\r\n" or "\n"
    std::size_t next;  // first byte of the following line
};

std::vector<Line> splitLines(const std::string& text) {
    std::vector<Line> lines;
    std::size_t pos = text.compare(0, kUtf8Bom.size(), kUtf8Bom) == 0 ? kUtf8Bom.size() : 0;
    while (pos < text.size()) {
        const std::size_t newline = text.find('\n', pos);
        const std::size_t next = newline == std::string::npos ? text.size() : newline + 1;
        std::size_t end = newline == std::string::npos ? text.size() : newline;
        if (end > pos && text[end - 1] == '\r')
            --end;
        lines.push_back({pos, end, next});
        pos = next;
    }
    return lines;
}

std::string_view contentOf(const std::string& text, const Line& line) {
    return std::string_view(text).substr(line.begin, line.end - line.begin);
}

// The section name of a "[name]" line.
std::optional<std::string> sectionName(std::string_view content) {
    const std::string trimmed = formats::trim(content);
    if (trimmed.empty() || trimmed.front() != '[')
        return std::nullopt;
    const auto close = trimmed.find(']');
    if (close == std::string::npos)
        return std::nullopt;
    return formats::trim(std::string_view(trimmed).substr(1, close - 1));
}

bool isComment(std::string_view content) {
    const std::string trimmed = formats::trim(content);
    return !trimmed.empty() && (trimmed.front() == ';' || trimmed.front() == '#');
}

bool isKeyLine(std::string_view content, std::string_view key) {
    const auto equals = content.find('=');
    return equals != std::string_view::npos && !isComment(content) &&
           formats::equalsIgnoreCase(formats::trim(content.substr(0, equals)), key);
}

// Where a section lies: its header line, and the line after its last one.
struct SectionSpan {
    std::size_t header;
    std::size_t end;
};

std::optional<SectionSpan> findSection(const std::string& text, const std::vector<Line>& lines,
                                       std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = sectionName(contentOf(text, lines[i]));
        if (!name || !formats::equalsIgnoreCase(*name, section))
            continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !sectionName(contentOf(text, lines[end])))
            ++end;
        return SectionSpan{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> findKey(const std::string& text, const std::vector<Line>& lines, const SectionSpan& span,
                                   std::string_view key) {
    for (std::size_t i = span.header + 1; i < span.end; ++i)
        if (isKeyLine(contentOf(text, lines[i]), key))
            return i;
    return std::nullopt;
}

std::string unquote(std::string value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// The line end the file already uses, so added lines match it.
std::string lineEndOf(const std::string& text) {
    const auto newline = text.find('\n');
    if (newline == std::string::npos)
        return "\n";
    return newline > 0 && text[newline - 1] == '\r' ? "\r\n" : "\n";
}

void requireOneLine(std::string_view what, std::string_view text) {
    if (text.find_first_of("\r\n") != std::string_view::npos)
        throw Error("Um arquivo de configuração não guarda " + std::string(what) + " com quebra de linha");
}

void checkStorable(std::string_view section, std::string_view key, std::string_view value) {
    requireOneLine("nome de seção", section);
    requireOneLine("chave", key);
    requireOneLine("valor", value);
    if (formats::isBlank(key) || key.find('=') != std::string_view::npos || key != formats::trim(key))
        throw Error("Um arquivo de configuração não guarda a chave \"" + std::string(key) + "\"");
    if (section.find(']') != std::string_view::npos || section != formats::trim(section))
        throw Error("Um arquivo de configuração não guarda o nome de seção \"" + std::string(section) + "\"");
}

std::string readIfPresent(const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(path, ec))
        return {};
    return readFile(path);
}

// Replaces the file's content, keeping its permissions (it may hold a database password).
void saveKeepingMode(const fs::path& path, const std::string& text) {
    std::error_code ec;
    const fs::path target = fs::is_symlink(path, ec) ? fs::canonical(path, ec) : path;
    const auto status = fs::status(target, ec);
    AtomicFile file(target.empty() ? path : target);
    file.stream().write(text.data(), static_cast<std::streamsize>(text.size()));
    if (fs::exists(status))
        fs::permissions(file.temporaryPath(), status.permissions(), ec);
    file.commit();
}

} // namespace

IniFile::IniFile(fs::path path) : path_(std::move(path)), text_(readIfPresent(path_)) {}

std::string IniFile::readString(std::string_view section, std::string_view key, std::string_view defaultValue) const {
    const auto lines = splitLines(text_);
    const auto span = findSection(text_, lines, section);
    if (!span)
        return std::string(defaultValue);
    const auto keyLine = findKey(text_, lines, *span, key);
    if (!keyLine)
        return std::string(defaultValue);
    const std::string_view content = contentOf(text_, lines[*keyLine]);
    return unquote(formats::trim(content.substr(content.find('=') + 1)));
}

int IniFile::readInteger(std::string_view section, std::string_view key, int defaultValue) const {
    const auto value = formats::parseInteger(readString(section, key, ""));
    if (!value || *value < INT_MIN || *value > INT_MAX)
        return defaultValue;
    return static_cast<int>(*value);
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    checkStorable(section, key, value);
    std::string text = readIfPresent(path_);
    const auto lines = splitLines(text);
    const std::string eol = lineEndOf(text);
    const std::string keyLine = std::string(key) + "=" + std::string(value);

    if (const auto span = findSection(text, lines, section)) {
        if (const auto found = findKey(text, lines, *span, key)) {
            const Line& line = lines[*found];
            std::size_t valueBegin = text.find('=', line.begin) + 1;
            while (valueBegin < line.end && (text[valueBegin] == ' ' || text[valueBegin] == '\t'))
                ++valueBegin;
            text.replace(valueBegin, line.end - valueBegin, value);
        } else {
            // After the section's last non-blank line, so blank lines before the next section stay there.
            std::size_t last = span->header;
            for (std::size_t i = span->header + 1; i < span->end; ++i)
                if (!formats::trim(contentOf(text, lines[i])).empty())
                    last = i;
            const Line& after = lines[last];
            const bool needsBreak = after.next == after.end; // the file's last line has no line end
            text.insert(after.next, (needsBreak ? eol : "") + keyLine + eol);
        }
    } else {
        if (!text.empty() && text.back() != '\n')
            text += eol;
        text += "[" + std::string(section) + "]" + eol + keyLine + eol;
    }
    saveKeepingMode(path_, text);
    text_ = std::move(text);
}

} // namespace edi::platform

#include "db/named_params.h"

#include "core/formats.h"

#include <cctype>

namespace edi::db {

namespace {

bool isNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

// Copies a quoted run ('...' or "...", a doubled quote escapes itself) and returns the index after it.
size_t copyQuoted(std::string_view text, size_t i, std::string& out) {
    const char quote = text[i];
    out += text[i++];
    while (i < text.size()) {
        out += text[i];
        if (text[i] == quote) {
            if (i + 1 < text.size() && text[i + 1] == quote) {
                out += text[++i];
            } else {
                return i + 1;
            }
        }
        ++i;
    }
    return i;
}

} // namespace

ParsedStatement parseNamedParameters(std::string_view text) {
    ParsedStatement result;
    std::string& out = result.sql;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\'' || c == '"') {
            i = copyQuoted(text, i, out);
        } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
            const size_t end = text.find('\n', i);
            const size_t stop = end == std::string_view::npos ? text.size() : end;
            out.append(text.substr(i, stop - i));
            i = stop;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            const size_t end = text.find("*/", i + 2);
            const size_t stop = end == std::string_view::npos ? text.size() : end + 2;
            out.append(text.substr(i, stop - i));
            i = stop;
        } else if (c == ':' && i + 1 < text.size() && isNameStart(text[i + 1])) {
            size_t j = i + 1;
            while (j < text.size() && isNameChar(text[j]))
                ++j;
            result.names.push_back(formats::toUpper(text.substr(i + 1, j - i - 1)));
            out += '?';
            i = j;
        } else {
            out += c;
            ++i;
        }
    }
    return result;
}

} // namespace edi::db

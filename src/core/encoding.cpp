#include "core/encoding.h"

#include <cstring>

#include "core/errors.h"

#include <array>

namespace edi::encoding {

namespace {

// Code points of the bytes 0x80..0x9F in Windows-1252.
constexpr std::array<char32_t, 32> kCp1252High = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t cp1252ToCodePoint(uint8_t byte) {
    return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : char32_t(byte);
}

std::optional<uint8_t> codePointToCp1252(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<uint8_t>(cp);
    for (size_t i = 0; i < kCp1252High.size(); ++i)
        if (kCp1252High[i] == cp)
            return static_cast<uint8_t>(0x80 + i);
    return std::nullopt;
}

bool isContinuation(uint8_t b) {
    return (b & 0xC0) == 0x80;
}

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Digit(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool isBase64Space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

std::optional<char32_t> nextCodePoint(std::string_view s, size_t& pos) {
    if (pos >= s.size())
        return std::nullopt;
    const auto b0 = static_cast<uint8_t>(s[pos]);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    size_t len = 0;
    char32_t cp = 0, min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return std::nullopt;
    }
    if (pos + len > s.size())
        return std::nullopt;
    for (size_t i = 1; i < len; ++i) {
        const auto b = static_cast<uint8_t>(s[pos + i]);
        if (!isContinuation(b))
            return std::nullopt;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return std::nullopt;
    pos += len;
    return cp;
}

bool isValidUtf8(std::string_view bytes) {
    size_t pos = 0;
    while (pos < bytes.size()) {
        // Plain ASCII runs are the common case in packets; skip them eight bytes at a time.
        uint64_t word;
        while (pos + sizeof word <= bytes.size() &&
               (std::memcpy(&word, bytes.data() + pos, sizeof word), (word & 0x8080808080808080ULL) == 0))
            pos += sizeof word;
        if (pos < bytes.size() && static_cast<uint8_t>(bytes[pos]) < 0x80) {
            ++pos;
            continue;
        }
        if (pos >= bytes.size())
            break;
        if (!nextCodePoint(bytes, pos))
            return false;
    }
    return true;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 16);
    for (char c : bytes)
        appendUtf8(out, cp1252ToCodePoint(static_cast<uint8_t>(c)));
    return out;
}

namespace {

const char* charsetName(Charset charset) {
    switch (charset) {
    case Charset::Utf8: return "UTF-8";
    case Charset::Windows1252: return "Windows-1252";
    case Charset::Latin1: return "ISO-8859-1";
    case Charset::Ascii: return "ASCII";
    }
    return "?";
}

std::optional<uint8_t> singleByte(char32_t cp, Charset charset) {
    switch (charset) {
    case Charset::Windows1252: return codePointToCp1252(cp);
    case Charset::Latin1: return cp <= 0xFF ? std::optional<uint8_t>(static_cast<uint8_t>(cp)) : std::nullopt;
    default: return cp < 0x80 ? std::optional<uint8_t>(static_cast<uint8_t>(cp)) : std::nullopt;
    }
}

std::string utf8ToSingleByte(std::string_view utf8, Charset charset) {
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        const auto cp = nextCodePoint(utf8, pos);
        if (!cp)
            throw ConversionError("texto com UTF-8 inválido no byte " + std::to_string(pos));
        const auto byte = singleByte(*cp, charset);
        if (!byte) {
            std::string shown;
            appendUtf8(shown, *cp);
            throw ConversionError("o caractere \"" + shown + "\" não existe em " + charsetName(charset));
        }
        out += static_cast<char>(*byte);
    }
    return out;
}

} // namespace

std::string utf8ToWindows1252(std::string_view utf8) {
    return utf8ToSingleByte(utf8, Charset::Windows1252);
}

std::string decodeText(std::string_view bytes, Charset charset) {
    switch (charset) {
    case Charset::Utf8:
        if (!isValidUtf8(bytes))
            throw ConversionError("o texto não é UTF-8 válido");
        return std::string(bytes);
    case Charset::Windows1252: return windows1252ToUtf8(bytes);
    case Charset::Latin1: {
        std::string out;
        out.reserve(bytes.size() + bytes.size() / 16);
        for (char c : bytes)
            appendUtf8(out, static_cast<uint8_t>(c));
        return out;
    }
    case Charset::Ascii:
        for (char c : bytes)
            if (static_cast<uint8_t>(c) >= 0x80)
                throw ConversionError("o byte " + std::to_string(static_cast<uint8_t>(c)) +
                                      " está num conjunto de caracteres que o programa não converte");
        return std::string(bytes);
    }
    return std::string(bytes);
}

std::string encodeText(std::string_view utf8, Charset charset) {
    return charset == Charset::Utf8 ? std::string(utf8) : utf8ToSingleByte(utf8, charset);
}

std::string textToUtf8(std::string_view bytes) {
    return isValidUtf8(bytes) ? std::string(bytes) : windows1252ToUtf8(bytes);
}

std::string utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    auto unitAt = [&](size_t i) {
        const auto a = static_cast<uint8_t>(bytes[i]), b = static_cast<uint8_t>(bytes[i + 1]);
        return static_cast<char32_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    std::string out;
    out.reserve(bytes.size());
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        char32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            const char32_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        appendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? char32_t(0xFFFD) : unit);
    }
    if (i < bytes.size())
        appendUtf8(out, 0xFFFD);
    return out;
}

std::string base64Encode(const uint8_t* data, size_t size) {
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < size; i += 3) {
        const uint32_t v = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2];
        out += kBase64Alphabet[v >> 18];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += kBase64Alphabet[(v >> 6) & 63];
        out += kBase64Alphabet[v & 63];
    }
    if (i < size) {
        const bool two = i + 1 < size;
        const uint32_t v = (uint32_t(data[i]) << 16) | (two ? uint32_t(data[i + 1]) << 8 : 0);
        out += kBase64Alphabet[v >> 18];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += two ? kBase64Alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<std::vector<uint8_t>> base64Decode(std::string_view text) {
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    uint32_t acc = 0;
    int bits = 0;
    size_t digits = 0, padding = 0;
    for (char c : text) {
        if (isBase64Space(c))
            continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int d = base64Digit(c);
        if (d < 0 || padding > 0) // a digit after padding
            return std::nullopt;
        ++digits;
        acc = (acc << 6) | static_cast<uint32_t>(d);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<uint8_t>(acc >> bits));
            acc &= (1u << bits) - 1;
        }
    }
    // A lone digit in the last group cannot carry a byte; padding must complete the group when present.
    if (digits % 4 == 1 || padding > 2 || (padding > 0 && (digits + padding) % 4 != 0))
        return std::nullopt;
    return out;
}

} // namespace edi::encoding

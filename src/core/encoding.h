#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace edi::encoding {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view bytes);

// Decodes the code point at `pos` and advances past it; nullopt (pos unchanged) on a malformed sequence.
std::optional<char32_t> nextCodePoint(std::string_view utf8, size_t& pos);
void appendUtf8(std::string& out, char32_t codePoint);

// Bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D have no Windows-1252 character; they map to the code point of the same
// number, so that ISO-8859-1 text read this way loses nothing.
std::string windows1252ToUtf8(std::string_view bytes);
// Throws ConversionError for malformed UTF-8 or a character Windows-1252 cannot hold.
std::string utf8ToWindows1252(std::string_view utf8);
// The character sets stored text is converted from and to; everywhere else the program holds UTF-8.
// Ascii stands for any other single-byte set: only its ASCII part is known to mean the same.
enum class Charset { Utf8, Windows1252, Latin1, Ascii };
// Stored bytes as UTF-8; throws ConversionError for bytes that are not text of that set.
std::string decodeText(std::string_view bytes, Charset charset);
// UTF-8 text as that set stores it; throws ConversionError for a character the set cannot hold.
std::string encodeText(std::string_view utf8, Charset charset);

// Text of unknown origin: taken as UTF-8 when it is valid UTF-8, otherwise as Windows-1252.
std::string textToUtf8(std::string_view bytes);
// Unpaired surrogates and a dangling odd byte become U+FFFD.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian);

std::string base64Encode(const uint8_t* data, size_t size);
inline std::string base64Encode(std::string_view bytes) {
    return base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}
// Ignores whitespace (wrapped producers) and accepts missing padding; nullopt on any other character or shape.
std::optional<std::vector<uint8_t>> base64Decode(std::string_view text);

} // namespace edi::encoding

#include "core/encoding.h"
#include "core/errors.h"

#include <gtest/gtest.h>

namespace edi::encoding {
namespace {

TEST(Encoding, Utf8ValidationRefusesWhatIsNotStrictUtf8) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("Jo\xC3\xA3o \xE2\x82\xAC \xF0\x9F\x98\x80"));
    EXPECT_FALSE(isValidUtf8("Jo\xE3o"));          // Latin-1
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));         // overlong '/'
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xE2\x82"));         // cut short
    // Long ASCII runs are skipped a word at a time: a fault just past any run length is still seen.
    for (size_t n = 0; n < 20; ++n) {
        const std::string ascii(n, 'a');
        EXPECT_FALSE(isValidUtf8(ascii + "\xE3o" + ascii)) << n;
        EXPECT_FALSE(isValidUtf8(ascii + "\xE2\x82")) << n;
        EXPECT_TRUE(isValidUtf8(ascii + "\xC3\xA3" + ascii)) << n;
    }
}

TEST(Encoding, Windows1252BothWays) {
    EXPECT_EQ(windows1252ToUtf8("S\xE3o \x80 \x93x\x94 \x81"),
              "S\xC3\xA3o \xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D \xC2\x81");
    EXPECT_EQ(utf8ToWindows1252("S\xC3\xA3o \xE2\x82\xAC"), "S\xE3o \x80");
    EXPECT_THROW(utf8ToWindows1252("\xF0\x9F\x98\x80"), ConversionError);
    EXPECT_THROW(utf8ToWindows1252("\xE3"), ConversionError);
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(utf8ToWindows1252(windows1252ToUtf8(all)), all);
    EXPECT_EQ(textToUtf8("\xC3\xA3"), "\xC3\xA3");
    EXPECT_EQ(textToUtf8("\xE3"), "\xC3\xA3");
}

TEST(Encoding, Utf16WithSurrogatePairsAndDamage) {
    EXPECT_EQ(utf16ToUtf8(std::string("O\0i\0=\xD8\0\xDE", 8), false), "Oi\xF0\x9F\x98\x80");
    EXPECT_EQ(utf16ToUtf8(std::string("\0O\0\xE3", 4), true), "O\xC3\xA3");
    EXPECT_EQ(utf16ToUtf8(std::string("\x3D\xD8x", 3), false), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Encoding, Base64RoundTripAndStrictDecoding) {
    std::vector<uint8_t> all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<uint8_t>(b));
    for (size_t n : {0u, 1u, 2u, 3u, 4u, 256u}) {
        const std::string text = base64Encode(all.data(), n);
        EXPECT_EQ(text.size() % 4, 0u);
        EXPECT_EQ(base64Decode(text), std::vector<uint8_t>(all.begin(), all.begin() + static_cast<long>(n)));
    }
    EXPECT_EQ(base64Encode("Linha 1\r\nLinha 2"), "TGluaGEgMQ0KTGluaGEgMg==");
    EXPECT_EQ(base64Decode("TGlu\r\naGE="), std::vector<uint8_t>({'L', 'i', 'n', 'h', 'a'})); // wrapped
    EXPECT_EQ(base64Decode("TQ"), std::vector<uint8_t>({'M'}));                               // unpadded
    EXPECT_FALSE(base64Decode("TQ=x"));
    EXPECT_FALSE(base64Decode("T"));
    EXPECT_FALSE(base64Decode("TQ==="));
    EXPECT_FALSE(base64Decode("TQ*="));
}

} // namespace
} // namespace edi::encoding

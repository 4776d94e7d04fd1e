#include <gtest/gtest.h>

#include <string>

#include "platform/core/CodePage.h"

namespace {

TEST(Windows1252, EveryByteRoundTrips) {
    for (int b = 0; b < 256; ++b) {
        char byte = static_cast<char>(b);
        std::u16string wide = codepage::AnsiToUtf16(&byte, 1);
        ASSERT_EQ(wide.size(), 1u);
        if (b < 0x80 || b >= 0xA0) {
            EXPECT_EQ(wide[0], static_cast<char16_t>(b)) << b;
        }
        std::string back = codepage::Utf16ToAnsi(wide.data(), wide.size());
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(static_cast<unsigned char>(back[0]), b) << "byte " << b;
    }
}

TEST(Windows1252, HighControlRangeMapsToPunctuation) {
    struct { unsigned char byte; char16_t ch; } cases[] = {
        {0x80, 0x20AC}, {0x85, 0x2026}, {0x8A, 0x0160}, {0x91, 0x2018}, {0x92, 0x2019},
        {0x96, 0x2013}, {0x99, 0x2122}, {0x9F, 0x0178},
        // Bytes the code page leaves undefined keep their value.
        {0x81, 0x0081}, {0x8D, 0x008D}, {0x8F, 0x008F}, {0x90, 0x0090}, {0x9D, 0x009D},
    };
    for (const auto& c : cases) EXPECT_EQ(codepage::AnsiByteToUtf16(c.byte), c.ch) << int(c.byte);
}

TEST(Utf8, InvalidInputBecomesReplacementWithoutCrash) {
    struct {
        std::string bytes;
        std::u16string want;
        bool valid;
    } cases[] = {
        {"", u"", true},
        {"abc", u"abc", true},
        {"\xC3\xA9", u"\u00e9", true},
        {"\xE2\x82\xAC", u"\u20ac", true},
        {"\xF0\x9F\x98\x80", u"\U0001F600", true},
        {"\xE9", u"\uFFFD", false},                 // lone Latin-1 byte
        {"a\xC3", u"a\uFFFD", false},               // cut short at the end
        {"\xC3\x41", u"\uFFFD" u"A", false},        // missing continuation
        {"\xC0\xAF", u"\uFFFD", false},             // overlong slash
        {"\xED\xA0\x80", u"\uFFFD", false},         // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD", false},     // past U+10FFFF
        {"\x80\x80x", u"\uFFFD" u"x", false},       // stray continuation bytes
        {"\xFF\xFE", u"\uFFFD\uFFFD", false},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3), true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(codepage::Utf8ToUtf16(c.bytes.data(), c.bytes.size()), c.want);
        EXPECT_EQ(codepage::IsValidUtf8(c.bytes.data(), c.bytes.size()), c.valid);
    }
}

TEST(Utf8, EncodesAllPlanesAndLoneSurrogates) {
    std::u16string text = u"A\u00e9\u20ac\U0001F600";
    std::string utf8 = codepage::Utf16ToUtf8(text.data(), text.size());
    EXPECT_EQ(utf8, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(codepage::Utf8ToUtf16(utf8.data(), utf8.size()), text);
    char16_t lone[] = {0xD800, u'x'};
    EXPECT_EQ(codepage::Utf16ToUtf8(lone, 2), "\xEF\xBF\xBDx");
}

}  // namespace

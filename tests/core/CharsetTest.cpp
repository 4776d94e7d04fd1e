// The server character sets' decoders on the edges that the real-server fixture
// (tests/fixtures/sql/charsets, every character each set defines, compared with the
// server's own conversion) cannot hold: damaged and cut sequences, unknown names.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/core/Charset.h"

namespace {

std::u16string Decode(std::u16string_view set, const std::string& bytes) {
    const charset::CServerCharset* decoder = charset::FindServerCharset(set);
    if (!decoder) return u"(no decoder)";
    // Exactly as many bytes as given, so a read past them is caught by the sanitizers.
    const std::vector<unsigned char> exact(bytes.begin(), bytes.end());
    return decoder->Decode(exact.data(), exact.size()).Str();
}

TEST(ServerCharset, WholeDamagedAndCutSequences) {
    struct Case {
        std::u16string_view set;
        std::string bytes;
        std::u16string want;
    } cases[] = {
        // A second byte of 0x5C is part of the character; a backslash after it is its own.
        {u"gbk", "\x81\x5C\x5C", u"\u4E57\\"},
        {u"big5", "\xB3\x5C\x5C", u"\u8A31\\"},
        {u"sjis", "\x83\x5C\x5C\x7E", u"\u30BD\\~"},
        {u"cp932", "\x95\x5C\x87\x40", u"\u8868\u2460"},
        // A lead byte at the end, or one followed by a byte that cannot follow it: U+FFFD
        // for the lead alone, and the next byte read on its own.
        {u"gbk", "a\x81", u"a\uFFFD"},
        {u"gbk", "\x81 b", u"\uFFFD b"},
        {u"big5", "\xA4", u"\uFFFD"},
        {u"euckr", "\xB0\xA1\xB0", u"\uAC00\uFFFD"},
        // Three-byte characters of ujis and eucjpms, whole and cut after one or two bytes.
        {u"ujis", "\x8F\xB0\xA1", u"\u4E02"},
        {u"eucjpms", "\x8F\xB0\xA1x", u"\u4E02x"},
        {u"ujis", "\x8F\xB0", u"\uFFFD\uFFFD"},
        {u"ujis", "\x8F", u"\uFFFD"},
        // Half-width katakana: one byte in sjis, two in ujis.
        {u"sjis", "\xB1", u"\uFF71"},
        {u"ujis", "\x8E\xB1", u"\uFF71"},
        // Single-byte sets; zero bytes are kept.
        {u"cp1251", std::string("\xC0\0\xFF", 3), std::u16string(u"\u0410\0\u044F", 3)},
        {u"koi8r", "\xE1", u"\u0410"},
        {u"latin2", "\xB1", u"\u0105"},
        {u"keybcs2", "\x80\xFF", u"\u010C\u00A0"},
        // latin1 is Windows-1252 with its five undefined bytes as C1 controls.
        {u"latin1", "\x80\x81\x9D\xFF", u"\u20AC\u0081\u009D\u00FF"},
        // Bytes a set does not define.
        {u"ascii", "a\x80", u"a\uFFFD"},
        {u"tis620", "\xDB", u"\uFFFD"},
        {u"gbk", "", u""},
        // Names in any case.
        {u"GBK", "\xD6\xD0", u"\u4E2D"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.set.begin(), c.set.end()) + " " + testing::PrintToString(c.bytes));
        EXPECT_EQ(Decode(c.set, c.bytes), c.want);
    }
}

TEST(ServerCharset, OnlyTheServersTableSetsHaveADecoder) {
    // The UTF family and binary are read by the caller; the rest are unknown.
    for (std::u16string_view name : {u"binary", u"utf8mb4", u"utf8mb3", u"ucs2", u"utf16", u"utf32", u"", u"gbk2",
                                     u"klingon"})
        EXPECT_EQ(charset::FindServerCharset(name), nullptr);
    // Every set the table names has its decoder here (iconv's, or a table of our own).
    const auto names = charset::ServerCharsetNames();
    EXPECT_GE(names.size(), 33u);
    for (std::u16string_view name : names) {
        const charset::CServerCharset* decoder = charset::FindServerCharset(name);
        ASSERT_NE(decoder, nullptr) << std::string(name.begin(), name.end());
        const unsigned char digit = '7';
        EXPECT_EQ(decoder->CodePointOf(&digit, 1), u'7');
    }
}

TEST(ServerCharset, CodePointOfNeedsTheWholeSequence) {
    const charset::CServerCharset* ujis = charset::FindServerCharset(u"ujis");
    ASSERT_NE(ujis, nullptr);
    const unsigned char bytes[] = {0x8F, 0xB0, 0xA1, 0x41};
    EXPECT_EQ(ujis->CodePointOf(bytes, 3), 0x4E02u);
    EXPECT_EQ(ujis->CodePointOf(bytes, 2), charset::CServerCharset::kNoCharacter);
    EXPECT_EQ(ujis->CodePointOf(bytes, 4), charset::CServerCharset::kNoCharacter);
    EXPECT_EQ(ujis->CodePointOf(bytes + 3, 1), 0x41u);
}

TEST(ServerCharset, RandomBytesDecodeWithinBoundsInEverySet) {
    std::mt19937 random(9);
    for (std::u16string_view name : charset::ServerCharsetNames()) {
        const charset::CServerCharset* decoder = charset::FindServerCharset(name);
        ASSERT_NE(decoder, nullptr);
        for (int round = 0; round < 200; ++round) {
            std::vector<unsigned char> bytes(random() % 40);
            for (unsigned char& b : bytes) b = static_cast<unsigned char>(random());
            const CString text = decoder->Decode(bytes.data(), bytes.size());
            // Every byte is accounted for: at most one unit per byte here (no set maps a
            // byte sequence outside the BMP), at least one unit per three bytes.
            EXPECT_LE(static_cast<std::size_t>(text.GetLength()), bytes.size());
            EXPECT_GE(static_cast<std::size_t>(text.GetLength()) * 3, bytes.size());
        }
    }
}

}  // namespace

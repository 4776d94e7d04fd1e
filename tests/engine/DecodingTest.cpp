#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Decoding.h"

namespace {

CString Decimal(std::uint32_t precision, std::uint32_t scale, const std::vector<unsigned char>& bytes) {
    std::int32_t words[9] = {};
    DecimalValue work;
    work.m_nLen = 9;
    work.m_pBuf = words;
    return DecimalBinToString(precision, scale, bytes.data(), work);
}

TEST(Decoding, DecimalBinarySizeFollowsTheGroupTable) {
    EXPECT_EQ(DecimalBinarySize(10, 2), 5u);
    EXPECT_EQ(DecimalBinarySize(18, 9), 8u);
    EXPECT_EQ(DecimalBinarySize(65, 30), 30u);
    EXPECT_EQ(DecimalBinarySize(5, 0), 3u);
    EXPECT_EQ(DecimalBinarySize(1, 1), 1u);
    // A definition no server writes has no layout to read.
    EXPECT_EQ(DecimalBinarySize(66, 0), 0u);
    EXPECT_EQ(DecimalBinarySize(40, 31), 0u);
    EXPECT_EQ(DecimalBinarySize(5, 6), 0u);
}

TEST(Decoding, DecimalTexts) {
    struct Case {
        std::uint32_t precision, scale;
        std::vector<unsigned char> bytes;
        const char16_t* text;
    } cases[] = {
        {10, 2, {0x80, 0x00, 0x00, 0x00, 0x01}, u"0.01"},
        {10, 2, {0x7F, 0xFF, 0xFF, 0xFF, 0xFE}, u"-0.01"},
        {10, 2, {0x7F, 0xFF, 0xFB, 0x2D, 0xCD}, u"-1234.50"},
        {5, 2, {0x80, 0x00, 0x00}, u"0.00"},
        {5, 0, {0x80, 0x00, 0x00}, u"0"},
        {5, 0, {0x81, 0x86, 0x9F}, u"99999"},
        {5, 0, {0x7E, 0x79, 0x60}, u"-99999"},
        // One full integer group and one full fraction group.
        {18, 9, {0xBB, 0x9A, 0xC9, 0xFF, 0x3B, 0x9A, 0xC9, 0xFF}, u"999999999.999999999"},
        {18, 9, {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}, u"0.000000001"},
        // A full group reading above 999,999,999 spoils the whole value.
        {18, 9, {0xBB, 0x9A, 0xCA, 0x00, 0x00, 0x00, 0x00, 0x00}, u"0"},
        // A leftover group at or past its digits' range is damage as well.
        {10, 2, {0x80, 0x00, 0x00, 0x00, 0x64}, u"0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Decimal(c.precision, c.scale, c.bytes), CString(c.text)) << c.precision << "," << c.scale;
}

TEST(Decoding, DecimalOfLargestShape) {
    // DECIMAL(65,30) holding -1: 35 integer digits (8 leftover + 3 full groups), 30 fraction digits.
    std::vector<unsigned char> b(30, 0x00);
    b[0] = 0x80;
    b[15] = 0x01;
    EXPECT_EQ(Decimal(65, 30, b), CString(u"1.000000000000000000000000000000"));
    for (auto& x : b) x = static_cast<unsigned char>(~x);
    EXPECT_EQ(Decimal(65, 30, b), CString(u"-1.000000000000000000000000000000"));
}

TEST(Decoding, DecimalOutOfRangeShapeReadsNothing) {
    // Only one byte is there; a precision past 65 or a scale past its limits must not read on.
    std::vector<unsigned char> one{0x80};
    EXPECT_EQ(Decimal(200, 0, one), CString(u"0"));
    EXPECT_EQ(Decimal(60, 40, one), CString(u"0"));
    EXPECT_EQ(Decimal(3, 9, one), CString(u"0"));
}

TEST(Decoding, DecimalSmallBufferDropsDigits) {
    std::int32_t words[1] = {};
    DecimalValue work;
    work.m_nLen = 1;
    work.m_pBuf = words;
    const unsigned char b[8] = {0x80, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x05};
    EXPECT_EQ(DecimalBinToDigits(18, 9, b, work), 1);  // fraction dropped
    EXPECT_EQ(work.m_nFrac, 0);
    EXPECT_EQ(words[0], 7);
}

TEST(Decoding, BitReversals) {
    EXPECT_EQ(ReverseLowBits(0x01, 8), 0x80);
    EXPECT_EQ(ReverseLowBits(0x01, 6), 0x20);
    EXPECT_EQ(ReverseLowBits(0x03, 5), 0x18);
    EXPECT_EQ(ReverseLowBits(0x55, 7), 0);
    EXPECT_EQ(Reverse17Bits(1), 65536u);
    EXPECT_EQ(Reverse17Bits(65536), 1u);
    EXPECT_EQ(Reverse17Bits(0x1FFFF), 0x1FFFFu);
    EXPECT_EQ(Reverse17Bits(0xFFFE0000u), 0u);
}

TEST(Decoding, DateTimeTexts) {
    EXPECT_EQ(FormatPackedDateTime(20201231235959ull), CString(u"2020-12-31 23:59:59"));
    EXPECT_EQ(FormatPackedDateTime(0), CString(u"0000-00-00 00:00:00"));
    EXPECT_EQ(FormatPackedDateTime(123456789012345ull), CString(u"12345-67-89 01:23:45"));
    EXPECT_EQ(FormatDateTimeText(2021, 3, 4, 5, 6, 7), CString(u"2021-03-04 05:06:07"));
    EXPECT_EQ(FormatDateTimeText(5, 12, 31, 0, -1, 59), CString(u"05-12-31 00:-1:59"));
}

TEST(Decoding, Utf8ToCStringChoosesUtf8OnlyForRealMultiByteText) {
    struct Case {
        std::string bytes;
        const char16_t* text;
    } cases[] = {
        {"\xC3\xA9", u"\u00E9"},
        {"\xE9", u"\u00E9"},              // Windows-1252
        {"abc", u"abc"},
        {"", u""},
        {"\x80", u"\u20AC"},              // Windows-1252 euro sign, not UTF-8
        {"a\xC3", u"a\u00C3"},            // truncated UTF-8 falls back
        {"\xE2\x82\xAC!", u"\u20AC!"},    // UTF-8 euro sign
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {std::string("ab\0\xC3\xA9", 5), u"ab"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8ToCString(c.bytes.data(), c.bytes.size()), CString(c.text)) << c.bytes;
        EXPECT_EQ(Utf8ToCString(c.bytes.c_str()), CString(c.text)) << c.bytes;
    }
    EXPECT_EQ(Utf8ToCString(nullptr), CString());
}

}  // namespace

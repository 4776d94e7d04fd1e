#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "engine/FieldValue.h"

namespace {

using Bytes = std::vector<unsigned char>;

// The application object with the collations these tests name, in display or save mode.
struct App {
    CDralvekOstruneApp app;
    explicit App(bool save = false) {
        app.m_mapCollation.clear();
        const struct {
            std::uint32_t id;
            const char16_t* name;
            const char16_t* set;
        } known[] = {{8, u"latin1_swedish_ci", u"latin1"},   {33, u"utf8mb3_general_ci", u"utf8mb3"},
                     {35, u"ucs2_general_ci", u"ucs2"},      {45, u"utf8mb4_general_ci", u"utf8mb4"},
                     {51, u"cp1251_general_ci", u"cp1251"},  {54, u"utf16_general_ci", u"utf16"},
                     {56, u"utf16le_general_ci", u"utf16le"}, {60, u"utf32_general_ci", u"utf32"},
                     {28, u"gbk_chinese_ci", u"gbk"},        {63, u"binary", u"binary"}};
        for (const auto& k : known) app.m_mapCollation[k.id] = CollationEntry{1, 4, k.name, k.set};
        app.m_bSaveAsScript = save ? 1 : 0;
    }
};

ColumnInfo Col(std::uint32_t type, std::uint32_t length = 0, bool isSigned = true, std::uint32_t charset = 0) {
    ColumnInfo c;
    c.m_nType = type;
    c.m_nLength = length;
    c.m_bSigned = isSigned ? 1 : 0;
    c.m_nCharset = charset;
    return c;
}

CString Typed(const ColumnInfo& c, const Bytes& b, FieldMember m = FieldMember::MyIsamDynamic) {
    AppEngine e;
    return FormatTypedFieldValue(e, c, b.data(), static_cast<std::uint32_t>(b.size()), m);
}

Bytes Repeat(unsigned char v, std::size_t n) { return Bytes(n, v); }

// TIMESTAMP values print in local time.
void UseUtc() {
    setenv("TZ", "UTC", 1);
    tzset();
}

// ---------------------------------------------------------------- type rules

TEST(FieldValue, IntegersFollowTheColumnsSignedness) {
    App a;
    struct Case {
        std::uint32_t type;
        bool isSigned;
        Bytes bytes;
        const char16_t* text;
        bool zeroFill = false;
    } cases[] = {
        {MYSQL_TYPE_TINY, true, {0xFF}, u"-1"},
        {MYSQL_TYPE_TINY, false, {0xFF}, u"255"},
        {MYSQL_TYPE_TINY, true, {0x80}, u"-128"},
        {MYSQL_TYPE_SHORT, true, {0xFF, 0xFF}, u"-1"},
        {MYSQL_TYPE_SHORT, false, {0xFF, 0xFF}, u"65535"},
        {MYSQL_TYPE_INT24, true, {0x00, 0x00, 0x80}, u"-8388608"},
        {MYSQL_TYPE_INT24, true, {0xFF, 0xFF, 0x7F}, u"8388607"},
        {MYSQL_TYPE_INT24, false, {0xFF, 0xFF, 0xFF}, u"16777215"},
        {MYSQL_TYPE_LONG, true, {0xFF, 0xFF, 0xFF, 0xFF}, u"-1"},
        {MYSQL_TYPE_LONG, false, {0xFF, 0xFF, 0xFF, 0xFF}, u"4294967295"},
        {MYSQL_TYPE_LONGLONG, true, {0x00, 0, 0, 0, 0, 0, 0, 0x80}, u"-9223372036854775808"},
        {MYSQL_TYPE_LONGLONG, false, Repeat(0xFF, 8), u"18446744073709551615"},
        {MYSQL_TYPE_LONG, false, {0x2A, 0, 0, 0}, u"000042", true},  // ZEROFILL, 6 wide
        {MYSQL_TYPE_LONG, false, {0x40, 0x42, 0x0F, 0}, u"1000000", true},
        {MYSQL_TYPE_LONG, false, {0x2A, 0, 0, 0}, u"42"},
        // A field cut short reads as zero-extended.
        {MYSQL_TYPE_LONG, true, {0x05}, u"5"},
        {MYSQL_TYPE_LONG, true, {}, u"0"},
    };
    for (const Case& c : cases) {
        ColumnInfo col = Col(c.type, 6, c.isSigned);
        col.m_bZeroFill = c.zeroFill ? 1 : 0;
        EXPECT_EQ(Typed(col, c.bytes), CString(c.text)) << c.type << " " << c.isSigned;
    }
}

Bytes FloatBytes(float f) {
    Bytes b(4);
    std::memcpy(b.data(), &f, 4);
    return b;
}
Bytes DoubleBytes(double d) {
    Bytes b(8);
    std::memcpy(b.data(), &d, 8);
    return b;
}

TEST(FieldValue, FloatAndDoubleShowSixDecimalsButSaveRoundTrips) {
    struct Case {
        bool isFloat;
        double value;
        const char16_t* display;
        const char16_t* save;
    } cases[] = {
        {true, 1.5, u"1.500000", u"1.5"},
        {true, 1e-10, u"0.000000", u"1e-10"},
        {true, 0.1, u"0.100000", u"0.1"},
        {false, 0.1 + 0.2, u"0.300000", u"0.30000000000000004"},
        {false, 1e-10, u"0.000000", u"1e-10"},
        {false, -0.5, u"-0.500000", u"-0.5"},
        {false, 5e-324, u"0.000000", u"5e-324"},
        // Whole numbers in digits, as the server's own export writes them.
        {false, 100000, u"100000.000000", u"100000"},
        {true, 100000, u"100000.000000", u"100000"},
        {false, -123456789012345, u"-123456789012345.000000", u"-123456789012345"},
        {false, 1e15, u"1000000000000000.000000", u"1e+15"},
    };
    for (const Case& c : cases) {
        const ColumnInfo col = Col(c.isFloat ? MYSQL_TYPE_FLOAT : MYSQL_TYPE_DOUBLE);
        const Bytes b = c.isFloat ? FloatBytes(static_cast<float>(c.value)) : DoubleBytes(c.value);
        {
            App display(false);
            EXPECT_EQ(Typed(col, b), CString(c.display)) << c.value;
        }
        App save(true);
        const CString text = Typed(col, b);
        EXPECT_EQ(text, CString(c.save)) << c.value;
        // The saved text reads back to the very value stored.
        const double back = std::strtod(text.ToUtf8().c_str(), nullptr);
        if (c.isFloat) EXPECT_EQ(static_cast<float>(back), static_cast<float>(c.value));
        else EXPECT_EQ(back, c.value);
    }
}

TEST(FieldValue, DecimalYearAndOldDecimal) {
    App a;
    ColumnInfo d = Col(MYSQL_TYPE_NEWDECIMAL);
    d.m_nPrecision = 10;
    d.m_nDecimals = 2;
    EXPECT_EQ(Typed(d, {0x7F, 0xFF, 0xFB, 0x2D, 0xCD}), CString(u"-1234.50"));
    // Only three of the five bytes are there: the rest reads as zero, never past the field.
    EXPECT_EQ(Typed(d, {0x80, 0x00, 0x00}), CString(u"0.00"));
    // A definition past DECIMAL's limits reads nothing.
    d.m_nPrecision = 90;
    EXPECT_EQ(Typed(d, {0x80}), CString(u"0"));

    EXPECT_EQ(Typed(Col(MYSQL_TYPE_YEAR), {0}), CString(u"0000"));
    EXPECT_EQ(Typed(Col(MYSQL_TYPE_YEAR), {1}), CString(u"1901"));
    EXPECT_EQ(Typed(Col(MYSQL_TYPE_YEAR), {255}), CString(u"2155"));
    EXPECT_EQ(Typed(Col(MYSQL_TYPE_YEAR), {124}, FieldMember::MyIsamStatic), CString(u"2024"));

    const std::string old = "  -12.50";
    EXPECT_EQ(Typed(Col(MYSQL_TYPE_DECIMAL, 8), Bytes(old.begin(), old.end())), CString(u"-12.50"));
}

// Fraction digits come from the field length: TIME 10, DATETIME/TIMESTAMP 19, plus 1 + d.
ColumnInfo Temporal(std::uint32_t type, std::uint32_t digits) {
    const bool isTime = type == MYSQL_TYPE_TIME || type == MYSQL_TYPE_TIME2;
    return Col(type, (isTime ? 10 : 19) + (digits ? digits + 1 : 0));
}

TEST(FieldValue, TemporalTypesDecodeByTheirOwnTypeCode) {
    App a;
    UseUtc();
    struct Case {
        std::uint32_t type, digits;
        Bytes bytes;
        const char16_t* text;
    } cases[] = {
        // NEWDATE: day 5 bits, month 4, year the rest, little-endian.
        {MYSQL_TYPE_NEWDATE, 0, {0x65, 0xD0, 0x0F}, u"2024-03-05"},
        {MYSQL_TYPE_NEWDATE, 0, {0x65, 0x0E, 0x00}, u"0007-03-05"},
        {MYSQL_TYPE_NEWDATE, 0, {0, 0, 0}, u"0000-00-00"},
        // Old DATE: YYYYMMDD as a 4-byte integer.
        {MYSQL_TYPE_DATE, 0, {0xB1, 0xD7, 0x34, 0x01}, u"2024-03-05"},
        // Old TIME: signed HHMMSS.
        {MYSQL_TYPE_TIME, 0, {0xA7, 0xF5, 0x7F}, u"838:59:59"},
        {MYSQL_TYPE_TIME, 0, {0x59, 0x0A, 0x80}, u"-838:59:59"},
        {MYSQL_TYPE_TIME, 0, {0xFF, 0xFF, 0xFF}, u"-00:00:01"},
        // Old DATETIME: YYYYMMDDhhmmss as an 8-byte integer.
        {MYSQL_TYPE_DATETIME, 0, {0x77, 0x3B, 0x36, 0x77, 0x5F, 0x12, 0, 0}, u"2020-12-31 23:59:59"},
        // Old TIMESTAMP: seconds, little-endian; 0 is the zero date.
        {MYSQL_TYPE_TIMESTAMP, 0, {0x01, 0, 0, 0}, u"1970-01-01 00:00:01"},
        {MYSQL_TYPE_TIMESTAMP, 0, {0, 0, 0, 0}, u"0000-00-00 00:00:00"},
        // TIMESTAMP2: seconds big-endian, then the fraction.
        {MYSQL_TYPE_TIMESTAMP2, 0, {0x7F, 0xFF, 0xFF, 0xFF}, u"2038-01-19 03:14:07"},
        {MYSQL_TYPE_TIMESTAMP2, 3, {0x65, 0xE0, 0x79, 0xF0, 0x1E, 0xD2}, u"2024-02-29 12:34:56.789"},
        {MYSQL_TYPE_TIMESTAMP2, 3, {0, 0, 0, 0, 0, 0}, u"0000-00-00 00:00:00.000"},
        // DATETIME2: 40 bits big-endian; fraction bytes hold 2, 4 or 6 digits.
        {MYSQL_TYPE_DATETIME2, 0, {0x99, 0xB2, 0xCA, 0xA9, 0x4F}, u"2024-03-05 10:37:15"},
        {MYSQL_TYPE_DATETIME2, 2, {0x99, 0xB2, 0xCA, 0xA9, 0x4F, 0x07}, u"2024-03-05 10:37:15.07"},
        {MYSQL_TYPE_DATETIME2, 1, {0x99, 0xB2, 0xCA, 0xA9, 0x4F, 0x32}, u"2024-03-05 10:37:15.5"},
        {MYSQL_TYPE_DATETIME2, 6, {0x99, 0xB2, 0xCA, 0xA9, 0x4F, 0x01, 0xE2, 0x40}, u"2024-03-05 10:37:15.123456"},
        {MYSQL_TYPE_DATETIME2, 0, {0x80, 0, 0, 0, 0}, u"0000-00-00 00:00:00"},
        // TIME2: offset by 0x800000; a negative value keeps its fraction complemented.
        {MYSQL_TYPE_TIME2, 0, {0x80, 0x00, 0x00}, u"00:00:00"},
        {MYSQL_TYPE_TIME2, 0, {0xB4, 0x6E, 0xFB}, u"838:59:59"},
        {MYSQL_TYPE_TIME2, 0, {0x7F, 0xFF, 0xFF}, u"-00:00:01"},
        {MYSQL_TYPE_TIME2, 0, {0x4B, 0x91, 0x05}, u"-838:59:59"},
        {MYSQL_TYPE_TIME2, 3, {0x7F, 0xFF, 0xFF, 0xFF, 0xF6}, u"-00:00:00.001"},
        {MYSQL_TYPE_TIME2, 3, {0x7F, 0xEF, 0x7C, 0xEE, 0x30}, u"-01:02:03.456"},
        {MYSQL_TYPE_TIME2, 2, {0x80, 0x00, 0x01, 0x32}, u"00:00:01.50"},
        {MYSQL_TYPE_TIME2, 6, {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, u"-00:00:00.000001"},
        {MYSQL_TYPE_TIME2, 6, {0x80, 0xC8, 0xB8, 0x01, 0xE2, 0x40}, u"12:34:56.123456"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Typed(Temporal(c.type, c.digits), c.bytes), CString(c.text)) << c.type << "/" << c.digits;
}

TEST(FieldValue, EnumAndSetUseTheirOwnColumnsElements) {
    App a;
    AppEngine e;
    for (const char16_t* s : {u"red", u"green", u"blue", u"", u"XS", u"S"}) e.m_enumValues.push_back(s);
    ColumnInfo color = Col(MYSQL_TYPE_ENUM);
    color.m_nEnumFirst = 0;
    color.m_nEnumCount = 4;
    ColumnInfo size = Col(MYSQL_TYPE_ENUM);
    size.m_nEnumFirst = 4;
    size.m_nEnumCount = 2;
    auto text = [&](const ColumnInfo& c, Bytes b) {
        return FormatTypedFieldValue(e, c, b.data(), static_cast<std::uint32_t>(b.size()), FieldMember::MyIsamStatic);
    };
    EXPECT_EQ(text(color, {1}), CString(u"red"));
    EXPECT_EQ(text(size, {1}), CString(u"XS"));  // not the first column's "red"
    EXPECT_EQ(text(size, {2}), CString(u"S"));
    EXPECT_EQ(text(size, {3}), CString());       // past its own list
    EXPECT_EQ(text(size, {0}), CString());
    EXPECT_EQ(text(color, {4}), CString());      // the empty element

    // 300 elements take two bytes.
    AppEngine big;
    for (int i = 1; i <= 300; ++i) {
        CString s;
        s.Format(u"e%03d", i);
        big.m_enumValues.push_back(s);
    }
    ColumnInfo wide = Col(MYSQL_TYPE_ENUM);
    wide.m_nEnumCount = 300;
    EXPECT_EQ(FieldValueWidth(wide), 2u);
    const Bytes b300{0x2C, 0x01};
    EXPECT_EQ(FormatTypedFieldValue(big, wide, b300.data(), 2, FieldMember::MyIsamStatic), CString(u"e300"));
    const Bytes b256{0x00, 0x01};
    EXPECT_EQ(FormatTypedFieldValue(big, wide, b256.data(), 2, FieldMember::MyIsamStatic), CString(u"e256"));

    // SET widths 1, 2, 3, 4, 8 and the members of its set bits in definition order.
    ColumnInfo set = Col(MYSQL_TYPE_SET);
    const std::pair<std::uint32_t, std::uint32_t> widths[] = {{5, 1}, {12, 2}, {20, 3}, {30, 4}, {33, 8}, {64, 8}};
    for (auto [members, width] : widths) {
        set.m_nEnumCount = members;
        EXPECT_EQ(FieldValueWidth(set), width) << members;
    }
    set.m_nEnumFirst = 0;
    set.m_nEnumCount = 64;
    Bytes bits(8, 0);
    bits[0] = 0x81;  // e001, e008
    bits[7] = 0x80;  // e064
    EXPECT_EQ(FormatTypedFieldValue(big, set, bits.data(), 8, FieldMember::MyIsamStatic), CString(u"e001,e008,e064"));
    const Bytes none(8, 0);
    EXPECT_EQ(FormatTypedFieldValue(big, set, none.data(), 8, FieldMember::MyIsamStatic), CString());
}

TEST(FieldValue, BitShowsEveryBitMostSignificantFirst) {
    App a;
    struct Case {
        std::uint32_t bits;
        Bytes bytes;
        const char16_t* text;
    } cases[] = {
        {1, {0x01}, u"1"},
        {3, {0x05}, u"101"},
        {12, {0x08, 0x01}, u"100000000001"},
        {16, {0x80, 0x01}, u"1000000000000001"},
        {64, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF},
         u"0000000100100011010001010110011110001001101010111100110111101111"},
        {0, {0xFF}, u""},
    };
    for (const Case& c : cases) EXPECT_EQ(Typed(Col(MYSQL_TYPE_BIT, c.bits), c.bytes), CString(c.text)) << c.bits;
}

TEST(FieldValue, TextDecodesByTheColumnsCharacterSet) {
    App a;
    const Bytes utf8{0x47, 0x72, 0xC3, 0xBC, 0xC3, 0x9F, 0x65};          // Grüße
    const Bytes cp1252{0x80, 0x20, 0xFF};                                 // € ÿ
    const Bytes ucs2{0x03, 0xA9, 0x04, 0x36, 0x4E, 0x2D};                 // Ωж中
    const Bytes utf16{0xD8, 0x3D, 0xDE, 0x00, 0x00, 0x21};                // 😀!
    const Bytes utf16le{0x3D, 0xD8, 0x00, 0xDE, 0x21, 0x00};
    const Bytes utf32{0x00, 0x01, 0xF6, 0x00, 0x00, 0x00, 0x00, 0x21};
    const Bytes withZero{0x61, 0x00, 0x62};
    struct Case {
        std::uint32_t charset;
        Bytes bytes;
        const char16_t* text;
    } cases[] = {
        {45, utf8, u"Grüße"},
        {33, utf8, u"Grüße"},
        {8, cp1252, u"€ ÿ"},
        {8, utf8, u"GrÃ¼ÃŸe"},  // latin1 is never taken for UTF-8
        {35, ucs2, u"Ωж中"},
        {54, utf16, u"\U0001F600!"},
        {56, utf16le, u"\U0001F600!"},
        {60, utf32, u"\U0001F600!"},
        // Other sets by their own tables (cp1251_general_ci, gbk_chinese_ci with a
        // second byte of 0x5C, then a backslash).
        {51, Bytes{0xC0, 0xE1, 0x20, 0xFF}, u"Аб я"},
        {28, Bytes{0x81, 0x5C, 0x5C}, u"乗\\"},
        {999, utf8, u"Grüße"},  // an id the collation table lacks: the UTF-8 guess
        {63, utf8, u"0x4772C3BCC39F65"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Typed(Col(MYSQL_TYPE_VARCHAR, 30, true, c.charset), c.bytes), CString(c.text)) << c.charset;
        EXPECT_EQ(Typed(Col(MYSQL_TYPE_BLOB, 0, true, c.charset), c.bytes), CString(c.text)) << c.charset;
    }
    // A zero byte inside the text is data, not its end.
    EXPECT_EQ(Typed(Col(MYSQL_TYPE_VARCHAR, 30, true, 45), withZero), CString(std::u16string(u"a\0b", 3)));
    // A CHAR's trailing spaces are its padding, which the server drops; a VARCHAR keeps them,
    // and so does BINARY (its pad is the zero byte).
    const Bytes padded{0x61, 0x20, 0x20};
    EXPECT_EQ(Typed(Col(MYSQL_TYPE_STRING, 3, true, 8), padded), CString(u"a"));
    EXPECT_EQ(Typed(Col(MYSQL_TYPE_VARCHAR, 3, true, 8), padded), CString(u"a  "));
    EXPECT_EQ(Typed(Col(MYSQL_TYPE_STRING, 3, true, 45), Bytes{0x20, 0x20}), CString());
    EXPECT_EQ(Typed(Col(MYSQL_TYPE_STRING, 2, true, 35), Bytes{0x00, 0x61, 0x00, 0x20}), CString(u"a"));
    EXPECT_EQ(Typed(Col(MYSQL_TYPE_STRING, 3, true, 63), padded), CString(u"0x612020"));
}

TEST(FieldValue, DisplayPlaceholdersAndSaveModeFullValues) {
    const ColumnInfo varbinary = Col(MYSQL_TYPE_VARCHAR, 300, true, 63);
    const ColumnInfo blob = Col(MYSQL_TYPE_BLOB, 0, true, 45);
    const ColumnInfo binBlob = Col(MYSQL_TYPE_BLOB, 0, true, 63);
    const ColumnInfo geometry = Col(MYSQL_TYPE_GEOMETRY, 0, true, 63);
    const Bytes b99 = Repeat(0x80, 99), b100 = Repeat(0x80, 100);
    const Bytes t999 = Repeat('x', 999), t1000 = Repeat('x', 1000);
    const Bytes geo{0x41, 0x00, 0x42};
    const std::u16string hex99 = u"0x" + [] {
        std::u16string s;
        for (int i = 0; i < 99; ++i) s += u"80";
        return s;
    }();
    {
        App display(false);
        EXPECT_EQ(Typed(varbinary, b99), CString(hex99));
        EXPECT_EQ(Typed(varbinary, b100), CString(u"0x<Binarydata>"));
        EXPECT_EQ(Typed(varbinary, {}), CString());
        EXPECT_EQ(Typed(blob, t999).GetLength(), 999);
        EXPECT_EQ(Typed(blob, t1000), CString(u"Large Blob Data"));
        EXPECT_EQ(Typed(binBlob, t1000), CString(u"Large Blob Data"));
        // An in-record InnoDB BLOB has no size placeholder; a static record holds no BLOB data.
        EXPECT_EQ(Typed(blob, t1000, FieldMember::Inno).GetLength(), 1000);
        EXPECT_EQ(Typed(binBlob, b100, FieldMember::Inno).GetLength(), 202);
        EXPECT_EQ(Typed(blob, t999, FieldMember::MyIsamStatic), CString());
        EXPECT_EQ(Typed(geometry, geo), CString(u"Spatial Data"));
    }
    App save(true);
    EXPECT_EQ(Typed(varbinary, b100).GetLength(), 202);
    EXPECT_EQ(Typed(blob, t1000).GetLength(), 1000);
    EXPECT_EQ(Typed(geometry, geo), CString(u"A\\0B"));
    // A stored backslash before a "0" stays apart from an escaped zero byte.
    EXPECT_EQ(Typed(geometry, {0x5C, 0x30, 0x00}), CString(u"\\\\0\\0"));
    EXPECT_EQ(Typed(geometry, {0, 0}), CString(u"NULL"));
    EXPECT_EQ(Typed(geometry, {}), CString(u"NULL"));
}

TEST(FieldValue, DamagedDefinitionsReadOnlyTheBytesGiven) {
    // Each field is exactly as long as given (on the heap, so a sanitizer sees any read
    // past it), while the definition claims far more.
    UseUtc();
    App save(true);
    AppEngine e;
    e.m_enumValues = {u"a", u"b"};
    ColumnInfo bit = Col(MYSQL_TYPE_BIT, 200);
    ColumnInfo set = Col(MYSQL_TYPE_SET);
    set.m_nEnumCount = 1000;
    ColumnInfo en = Col(MYSQL_TYPE_ENUM);
    en.m_nEnumFirst = 0xFFFFFFF0u;
    en.m_nEnumCount = 0x20;
    ColumnInfo dec = Col(MYSQL_TYPE_NEWDECIMAL);
    dec.m_nPrecision = 65;
    dec.m_nDecimals = 30;
    ColumnInfo oldDec = Col(MYSQL_TYPE_DECIMAL, 5000);
    const ColumnInfo time = Col(MYSQL_TYPE_TIME2, 99), stamp = Col(MYSQL_TYPE_TIMESTAMP, 99);
    const ColumnInfo chars = Col(MYSQL_TYPE_STRING, 70000, true, 45);
    const ColumnInfo utf32 = Col(MYSQL_TYPE_VARCHAR, 8, true, 60);
    struct Case {
        const ColumnInfo* column;
        std::size_t have;
        const char16_t* text;
    } cases[] = {
        {&bit, 1, u"1111111100000000000000000000000000000000000000000000000000000000"},  // 64 bits at most
        {&set, 8, u"a,b"},
        {&en, 1, u""},
        {&dec, 2, u"0"},
        {&oldDec, 3, u"\u00FF\u00FF\u00FF"},
        {&time, 1, u"-16:00:00.000000"},   // 7F 00 00 00 00 00, six digits at most
        {&stamp, 2, u"2105-07-28 02:08:00.000000"},  // FF 00 00 00 seconds
        {&chars, 3, u"\uFFFD\uFFFD\uFFFD"},
        {&utf32, 7, u"\uFFFD"},
    };
    for (const Case& c : cases) {
        std::unique_ptr<unsigned char[]> field(new unsigned char[c.have]);
        std::memset(field.get(), 0xFF, c.have);
        if (c.column == &time) field[0] = 0x7F;
        if (c.column == &stamp) field[1] = 0x00;
        const CString text =
            FormatTypedFieldValue(e, *c.column, field.get(), static_cast<std::uint32_t>(c.have), FieldMember::MyIsamDynamic);
        EXPECT_EQ(text, CString(c.text)) << c.column->m_nType;
    }
}

// ---------------------------------------------------------------- MyISAM members

// A MyISAM table: columns in record order, .MYI definitions contiguous from the null bytes.
struct MyIsamTable {
    App app{true};
    AppEngine e;
    MyIsamTable(std::uint32_t rowFormat, std::uint32_t nullBytes) {
        e.m_nRowFormat = rowFormat;
        e.m_nNullBytes = nullBytes;
        e.m_nRecordLength = nullBytes;
        if (nullBytes) Define(nullBytes, 0, 0);
    }
    void Define(std::uint16_t length, std::uint8_t nullBit, std::uint16_t nullPos,
                std::uint16_t type = MI_FIELD_NORMAL) {
        RecinfoEntry r;
        r.m_nType = type;
        r.m_nLength = length;
        r.m_nNullBit = nullBit;
        r.m_nNullPos = nullPos;
        e.m_recinfo.push_back(r);
    }
    // Appends a column at the record's end; width bytes of it lie in the record.
    ColumnInfo& Add(ColumnInfo c, std::uint32_t width, bool nullable) {
        c.m_nColumn = static_cast<std::uint32_t>(e.m_columns.size());
        c.m_nRecordPos = e.m_nRecordLength + 1;
        c.m_bNullable = nullable ? 1 : 0;
        e.m_nRecordLength += width;
        e.m_columns.push_back(c);
        return e.m_columns.back();
    }
    CString Static(std::size_t c, const Bytes& record) {
        const ColumnInfo& col = e.m_columns[c];
        const std::uint32_t at = col.m_nRecordPos - 1;
        const std::uint32_t width = StaticFieldWidth(e, col);
        const std::uint32_t have = at < record.size() ? static_cast<std::uint32_t>(record.size()) - at : 0;
        FormatMyIsamStaticField(e, c, record.data() + (have ? at : 0), have < width ? have : width, record.data(),
                                e.m_nNullBytes);
        return e.m_columns[c].m_strValue;
    }
};

TEST(MyIsamStaticField, VarcharHonoursItsLengthPrefix) {
    MyIsamTable t(0, 1);
    t.Add(Col(MYSQL_TYPE_VARCHAR, 10, true, 8), 11, false);
    t.Define(11, 0, 0);
    t.Add(Col(MYSQL_TYPE_VARCHAR, 300, true, 8), 302, false);
    t.Define(302, 0, 0);
    t.Add(Col(MYSQL_TYPE_STRING, 4, true, 8), 4, false);
    t.Define(4, 0, 0);
    EXPECT_EQ(StaticFieldWidth(t.e, t.e.m_columns[0]), 11u);
    EXPECT_EQ(StaticFieldWidth(t.e, t.e.m_columns[1]), 302u);

    Bytes rec(1 + 11 + 302 + 4, 'z');
    rec[0] = 0x01;
    rec[1] = 3;  // "abc" and seven bytes of old data behind it
    rec[2] = 'a', rec[3] = 'b', rec[4] = 'c';
    rec[12] = 0x2C, rec[13] = 0x01;  // 300 bytes
    rec[314] = 'x', rec[315] = ' ', rec[316] = ' ', rec[317] = ' ';
    EXPECT_EQ(t.Static(0, rec), CString(u"abc"));
    EXPECT_EQ(t.Static(1, rec).GetLength(), 300);
    EXPECT_EQ(t.Static(2, rec), CString(u"x"));  // without the CHAR's padding

    // A prefix claiming more than the field holds is cut to the field.
    rec[1] = 200;
    EXPECT_EQ(t.Static(0, rec), CString(u"abczzzzzzz"));
    // A record cut short by the end of the file.
    Bytes shortRec(rec.begin(), rec.begin() + 3);
    shortRec[1] = 5;
    EXPECT_EQ(t.Static(0, shortRec), CString(u"a"));
    EXPECT_EQ(t.Static(1, shortRec), CString());
}

TEST(MyIsamStaticField, NullBitDecidesForEveryType) {
    MyIsamTable t(0, 1);
    t.Add(Col(MYSQL_TYPE_NEWDATE), 3, true);
    t.Define(3, 0x02, 0);
    t.Add(Col(MYSQL_TYPE_LONG), 4, true);
    t.Define(4, 0x04, 0);
    t.Add(Col(MYSQL_TYPE_DOUBLE), 8, true);
    t.Define(8, 0x08, 0);
    Bytes rec(16, 0);
    const double quarter = 0.25;
    std::memcpy(rec.data() + 8, &quarter, 8);
    rec[4] = 5;
    rec[0] = 0x01 | 0x02;  // the DATE of zeros is NULL; the INT 5 and DOUBLE 0.25 are not
    EXPECT_EQ(t.Static(0, rec), CString(u"NULL"));
    EXPECT_EQ(t.Static(1, rec), CString(u"5"));
    EXPECT_EQ(t.Static(2, rec), CString(u"0.25"));
    rec[0] = 0x01 | 0x04 | 0x08;  // a 5 and a 0.25 flagged NULL are NULL
    EXPECT_EQ(t.Static(0, rec), CString(u"0000-00-00"));
    EXPECT_EQ(t.Static(1, rec), CString(u"NULL"));
    EXPECT_EQ(t.Static(2, rec), CString(u"NULL"));
    // Null positions past the bitmap are no NULL.
    t.e.m_recinfo[1].m_nNullPos = 7;
    EXPECT_EQ(t.Static(0, rec), CString(u"0000-00-00"));
}

TEST(MyIsamStaticField, BitSpareBitsLiveAmongTheNullBits) {
    // id INT NOT NULL, b1 BIT(1), b3 BIT(3), b12 BIT(12), b16 BIT(16) NOT NULL. Reserved
    // bit 0; b1 null 1, value 2; b3 null 3, value 4-6; b12 null 7, spare 8-11.
    MyIsamTable t(0, 2);
    t.Add(Col(MYSQL_TYPE_LONG), 4, false);
    t.Define(4, 0, 0);
    t.Add(Col(MYSQL_TYPE_BIT, 1), 0, true);
    t.Add(Col(MYSQL_TYPE_BIT, 3), 0, true);
    t.Add(Col(MYSQL_TYPE_BIT, 12), 1, true);
    t.Define(1, 0x80, 0);
    t.Add(Col(MYSQL_TYPE_BIT, 16), 2, false);
    t.Define(2, 0, 0);
    EXPECT_EQ(StaticFieldWidth(t.e, t.e.m_columns[1]), 0u);
    EXPECT_EQ(StaticFieldWidth(t.e, t.e.m_columns[3]), 1u);
    EXPECT_EQ(StaticFieldWidth(t.e, t.e.m_columns[4]), 2u);

    Bytes rec{0x55, 0x08, 7, 0, 0, 0, 0x01, 0xA0, 0x05};
    EXPECT_EQ(t.Static(0, rec), CString(u"7"));
    EXPECT_EQ(t.Static(1, rec), CString(u"1"));
    EXPECT_EQ(t.Static(2, rec), CString(u"101"));
    EXPECT_EQ(t.Static(3, rec), CString(u"100000000001"));
    EXPECT_EQ(t.Static(4, rec), CString(u"1010000000000101"));
    rec[0] = 0x0B;  // b1 and b3 NULL
    rec[1] = 0xF0;  // unused bits set, as the server leaves them
    EXPECT_EQ(t.Static(1, rec), CString(u"NULL"));
    EXPECT_EQ(t.Static(2, rec), CString(u"NULL"));
    EXPECT_EQ(t.Static(3, rec), CString(u"000000000001"));
}

TEST(MyIsamDynamicField, DefinitionsFindTheirColumnsByRecordPosition) {
    // BITs without record bytes have no definition: the .MYI lists fewer definitions than
    // the .frm has columns, though the first one is the null bytes.
    MyIsamTable t(1, 1);
    t.Add(Col(MYSQL_TYPE_LONG), 4, true);
    t.Define(4, 0x01, 0, MI_FIELD_SKIP_ZERO);
    t.Add(Col(MYSQL_TYPE_BIT, 4), 0, true);  // null bit 1, value bits 2-5
    t.Add(Col(MYSQL_TYPE_STRING, 4, true, 8), 4, true);
    t.Define(4, 0x40, 0, MI_FIELD_SKIP_ENDSPACE);
    t.Add(Col(MYSQL_TYPE_BIT, 2), 0, false);  // bits 7-8: across the byte boundary
    ASSERT_EQ(t.e.m_recinfo.size() + 1, t.e.m_columns.size());
    t.e.m_nNullBytes = 2;
    t.e.m_recinfo[0].m_nLength = 2;
    for (auto& c : t.e.m_columns) c.m_nRecordPos += 1;

    const Bytes flags{0x80 | (0x0B << 2), 0x00};
    const Bytes four{0x2A, 0, 0, 0};
    const Bytes ab{'a', 'b'};
    FormatMyIsamFieldValue(t.e, 1, flags.data(), 4, four.data(), 4);
    FormatMyIsamFieldValue(t.e, 2, flags.data(), 4, ab.data(), 2);
    EXPECT_EQ(t.e.m_columns[0].m_strValue, CString(u"42"));
    EXPECT_EQ(t.e.m_columns[1].m_strValue, CString(u"1011"));
    EXPECT_EQ(t.e.m_columns[2].m_strValue, CString(u"ab"));  // a CHAR, shown without its padding
    EXPECT_EQ(t.e.m_columns[3].m_strValue, CString(u"01"));

    const Bytes nulls{0x01 | 0x02 | 0x40, 0x01};
    FormatMyIsamFieldValue(t.e, 1, nulls.data(), 4, four.data(), 4);
    FormatMyIsamFieldValue(t.e, 2, nulls.data(), 4, ab.data(), 2);
    EXPECT_EQ(t.e.m_columns[0].m_strValue, CString(u"NULL"));
    EXPECT_EQ(t.e.m_columns[1].m_strValue, CString(u"NULL"));
    EXPECT_EQ(t.e.m_columns[2].m_strValue, CString(u"NULL"));
    EXPECT_EQ(t.e.m_columns[3].m_strValue, CString(u"10"));

    // A definition index past the list, or one that is the null bytes, writes nothing.
    t.e.m_columns[0].m_strValue = u"kept";
    EXPECT_TRUE(FormatMyIsamFieldValue(t.e, 0, flags.data(), 2, flags.data(), 2));
    EXPECT_TRUE(FormatMyIsamFieldValue(t.e, 9, flags.data(), 2, flags.data(), 2));
    EXPECT_EQ(t.e.m_columns[0].m_strValue, CString(u"kept"));
    // Without null flags nothing is NULL.
    FormatMyIsamFieldValue(t.e, 1, nullptr, 4, four.data(), 4);
    EXPECT_EQ(t.e.m_columns[0].m_strValue, CString(u"42"));
}

TEST(MyIsamDynamicField, LeadingSpacesOfAPrespaceFieldComeBack) {
    // The packer drops leading 0x20 bytes of a field stored with prespace skipping; a
    // TIMESTAMP whose low byte is 0x20 must read with it.
    MyIsamTable t(1, 1);
    t.Add(Col(MYSQL_TYPE_LONG), 4, true);
    t.Define(4, 0x01, 0, MI_FIELD_SKIP_PRESPACE);
    const Bytes rest{0x01, 0x00};  // stored 20 20 01 00 -> 0x00012020
    const Bytes flags{0x00};
    FormatMyIsamFieldValue(t.e, 1, flags.data(), 4, rest.data(), 2);
    EXPECT_EQ(t.e.m_columns[0].m_strValue, CString(u"73760"));
}

// ---------------------------------------------------------------- real server files

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t Big(const std::string& d, std::size_t at, int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | static_cast<unsigned char>(d.at(at + static_cast<std::size_t>(i)));
    return v;
}

// The column definitions at the end of a .MYI header.
std::vector<RecinfoEntry> ReadRecinfo(const std::string& myi, std::uint32_t& reclength) {
    const std::uint32_t headerLength = Big(myi, 6, 2), basePos = Big(myi, 12, 2);
    const std::uint32_t fields = Big(myi, basePos + 64, 4);
    reclength = Big(myi, basePos + 44, 4);
    std::vector<RecinfoEntry> out;
    for (std::uint32_t i = 0; i < fields; ++i) {
        const std::size_t at = headerLength - fields * 7 + i * 7;
        RecinfoEntry r;
        r.m_nType = static_cast<std::uint16_t>(Big(myi, at, 2));
        r.m_nLength = static_cast<std::uint16_t>(Big(myi, at + 2, 2));
        r.m_nNullBit = static_cast<std::uint8_t>(Big(myi, at + 4, 1));
        r.m_nNullPos = static_cast<std::uint16_t>(Big(myi, at + 5, 2));
        out.push_back(r);
    }
    return out;
}

std::vector<std::vector<std::string>> ReadTsv(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::string text = ReadFile(path), cell;
    std::vector<std::string> row;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == '\\' && i + 1 < text.size()) {
            const char n = text[++i];
            cell += n == 't' ? '\t' : n == 'n' ? '\n' : n == 'r' ? '\r' : n == 'N' ? '\x01' : n;
        } else if (ch == '\t' || ch == '\n') {
            row.push_back(cell == "\x01" ? "NULL" : cell);
            cell.clear();
            if (ch == '\n') rows.push_back(std::move(row)), row.clear();
        } else {
            cell += ch;
        }
    }
    return rows;
}

struct ColumnShape {
    const char* name;
    std::uint32_t type, length;
    bool isSigned;
    std::uint32_t charset = 0, precision = 0, scale = 0;
    bool zeroFill = false;
};

// Reads every live record of a fixed-length table by hand and compares each value with
// what the server returned for it.
void CompareStaticTable(const std::string& db, const std::string& table, const std::vector<ColumnShape>& shapes,
                        const std::vector<std::vector<std::string>>& enums = {}) {
    const std::string base = std::string(DRALVEK_FIXTURES) + "/corpus/" + db + "/" + table;
    const std::string myd = ReadFile(base + ".MYD"), myi = ReadFile(base + ".MYI");
    ASSERT_FALSE(myi.empty()) << base;
    App save(true);
    AppEngine e;
    std::uint32_t reclength = 0;
    e.m_recinfo = ReadRecinfo(myi, reclength);
    e.m_nRowFormat = 0;
    e.m_nRecordLength = reclength;
    e.m_nNullBytes = e.m_recinfo[0].m_nLength;
    // Record positions as the .frm gives them: in column order, BIT spare bits not counted.
    std::uint32_t pos = e.m_nNullBytes + 1;
    std::size_t enumList = 0;
    for (const ColumnShape& s : shapes) {
        ColumnInfo c = Col(s.type, s.length, s.isSigned, s.charset);
        c.m_strName = CString::FromUtf8(s.name);
        c.m_nColumn = static_cast<std::uint32_t>(e.m_columns.size());
        c.m_nRecordPos = pos;
        c.m_bNullable = 1;
        c.m_nPrecision = s.precision;
        c.m_nDecimals = s.scale;
        c.m_bZeroFill = s.zeroFill ? 1 : 0;
        if (s.type == MYSQL_TYPE_ENUM || s.type == MYSQL_TYPE_SET) {
            c.m_nEnumFirst = static_cast<std::uint32_t>(e.m_enumValues.size());
            c.m_nEnumCount = static_cast<std::uint32_t>(enums.at(enumList).size());
            for (const std::string& v : enums.at(enumList)) e.m_enumValues.push_back(CString::FromUtf8(v));
            ++enumList;
        }
        e.m_columns.push_back(c);
        pos += s.type == MYSQL_TYPE_BIT ? s.length / 8 : StaticFieldWidth(e, c);
    }
    e.m_columns[0].m_bNullable = 0;  // every table's id
    ASSERT_EQ(pos - 1, reclength) << table;

    const auto expected = ReadTsv(std::string(DRALVEK_FIXTURE_SOURCE) + "/expected/" + db + "/" + table + ".tsv");
    std::size_t row = 1;
    for (std::size_t at = 0; at + reclength <= myd.size(); at += reclength) {
        const auto* rec = reinterpret_cast<const unsigned char*>(myd.data() + at);
        if ((rec[0] & 1) == 0) continue;  // deleted
        ASSERT_LT(row, expected.size()) << table;
        for (std::size_t c = 0; c < e.m_columns.size(); ++c) {
            const ColumnInfo& col = e.m_columns[c];
            FormatMyIsamStaticField(e, c, rec + col.m_nRecordPos - 1, StaticFieldWidth(e, col), rec, e.m_nNullBytes);
            std::string got = e.m_columns[c].m_strValue.ToUtf8();
            std::string want = expected[row][c];
            if (got != "NULL" && ClassifyCharset(e.m_context, col.m_nCharset) == TextCharset::Binary &&
                (col.m_nType == MYSQL_TYPE_STRING || col.m_nType == MYSQL_TYPE_VARCHAR))
                got = got.substr(got.empty() ? 0 : 2);
            if (got != "NULL" && (col.m_nType == MYSQL_TYPE_FLOAT || col.m_nType == MYSQL_TYPE_DOUBLE)) {
                const double g = std::strtod(got.c_str(), nullptr), w = std::strtod(want.c_str(), nullptr);
                if (col.m_nType == MYSQL_TYPE_FLOAT) EXPECT_EQ(static_cast<float>(g), static_cast<float>(w));
                else EXPECT_EQ(g, w);
                continue;
            }
            EXPECT_EQ(got, want) << table << " row " << row << " column " << shapes[c].name;
        }
        ++row;
    }
    EXPECT_EQ(row, expected.size()) << table;
}

constexpr bool S = true, U = false;

TEST(MyIsamRealFiles, Integers) {
    CompareStaticTable("myisam_types", "t_int",
                       {{"id", MYSQL_TYPE_LONG, 11, S},
                        {"ti", MYSQL_TYPE_TINY, 4, S},
                        {"tiu", MYSQL_TYPE_TINY, 3, U},
                        {"si", MYSQL_TYPE_SHORT, 6, S},
                        {"siu", MYSQL_TYPE_SHORT, 5, U},
                        {"mi", MYSQL_TYPE_INT24, 9, S},
                        {"miu", MYSQL_TYPE_INT24, 8, U},
                        {"i", MYSQL_TYPE_LONG, 11, S},
                        {"iu", MYSQL_TYPE_LONG, 10, U},
                        {"bi", MYSQL_TYPE_LONGLONG, 20, S},
                        {"biu", MYSQL_TYPE_LONGLONG, 20, U},
                        {"izf", MYSQL_TYPE_LONG, 6, U, 0, 0, 0, true}});
}

TEST(MyIsamRealFiles, FloatsAndDecimals) {
    CompareStaticTable("myisam_types", "t_float",
                       {{"id", MYSQL_TYPE_LONG, 11, S}, {"f", MYSQL_TYPE_FLOAT, 12, S}, {"d", MYSQL_TYPE_DOUBLE, 22, S}});
    CompareStaticTable("myisam_types", "t_decimal",
                       {{"id", MYSQL_TYPE_LONG, 11, S},
                        {"d10_2", MYSQL_TYPE_NEWDECIMAL, 12, S, 0, 10, 2},
                        {"d10_2u", MYSQL_TYPE_NEWDECIMAL, 11, U, 0, 10, 2},
                        {"d65_30", MYSQL_TYPE_NEWDECIMAL, 67, S, 0, 65, 30},
                        {"d5_0", MYSQL_TYPE_NEWDECIMAL, 6, S, 0, 5, 0},
                        {"d18_9", MYSQL_TYPE_NEWDECIMAL, 20, S, 0, 18, 9}});
}

TEST(MyIsamRealFiles, TemporalTypesNewAndOld) {
    UseUtc();
    CompareStaticTable("myisam_types", "t_temporal",
                       {{"id", MYSQL_TYPE_LONG, 11, S},
                        {"d", MYSQL_TYPE_NEWDATE, 10, S},
                        {"t", MYSQL_TYPE_TIME2, 10, S},
                        {"t3", MYSQL_TYPE_TIME2, 14, S},
                        {"t6", MYSQL_TYPE_TIME2, 17, S},
                        {"dt", MYSQL_TYPE_DATETIME2, 19, S},
                        {"dt2", MYSQL_TYPE_DATETIME2, 22, S},
                        {"dt6", MYSQL_TYPE_DATETIME2, 26, S},
                        {"ts", MYSQL_TYPE_TIMESTAMP2, 19, S},
                        {"ts3", MYSQL_TYPE_TIMESTAMP2, 23, S},
                        {"y", MYSQL_TYPE_YEAR, 4, U}});
    CompareStaticTable("old_temporal", "t_old_myisam",
                       {{"id", MYSQL_TYPE_LONG, 11, S},
                        {"d", MYSQL_TYPE_NEWDATE, 10, S},
                        {"t", MYSQL_TYPE_TIME, 10, S},
                        {"t3", MYSQL_TYPE_TIME, 14, S},
                        {"t6", MYSQL_TYPE_TIME, 17, S},
                        {"dt", MYSQL_TYPE_DATETIME, 19, S},
                        {"dt6", MYSQL_TYPE_DATETIME, 26, S},
                        {"ts", MYSQL_TYPE_TIMESTAMP, 19, S},
                        {"ts3", MYSQL_TYPE_TIMESTAMP, 23, S},
                        {"y", MYSQL_TYPE_YEAR, 4, U}});
}

TEST(MyIsamRealFiles, EnumSetAndBit) {
    auto seq = [](const char* prefix, int n, int width) {
        std::vector<std::string> v;
        for (int i = 1; i <= n; ++i) {
            std::string num = std::to_string(i);
            while (static_cast<int>(num.size()) < width) num = "0" + num;
            v.push_back(prefix + num);
        }
        return v;
    };
    CompareStaticTable("myisam_types", "t_enum_set",
                       {{"id", MYSQL_TYPE_LONG, 11, S},
                        {"e_color", MYSQL_TYPE_ENUM, 5, S, 45},
                        {"e_size", MYSQL_TYPE_ENUM, 3, S, 45},
                        {"e_big", MYSQL_TYPE_ENUM, 4, S, 45},
                        {"s1", MYSQL_TYPE_SET, 14, S, 45},
                        {"s2", MYSQL_TYPE_SET, 38, S, 45},
                        {"s3", MYSQL_TYPE_SET, 70, S, 45},
                        {"s4", MYSQL_TYPE_SET, 110, S, 45},
                        {"s8", MYSQL_TYPE_SET, 255, S, 45}},
                       {{"red", "green", "blue"},
                        {"XS", "S", "M", "L", "XL", "XXL"},
                        seq("e", 300, 3),
                        seq("a", 5, 1),
                        seq("b", 12, 1),
                        seq("c", 20, 1),
                        seq("d", 30, 1),
                        seq("m", 64, 2)});
    CompareStaticTable("myisam_types", "t_bit",
                       {{"id", MYSQL_TYPE_LONG, 11, S},
                        {"b1", MYSQL_TYPE_BIT, 1, U},
                        {"b3", MYSQL_TYPE_BIT, 3, U},
                        {"b8", MYSQL_TYPE_BIT, 8, U},
                        {"b12", MYSQL_TYPE_BIT, 12, U},
                        {"b64", MYSQL_TYPE_BIT, 64, U}});
}

TEST(MyIsamRealFiles, FixedRowsWithVarcharCharAndManyNulls) {
    CompareStaticTable("myisam_formats", "t_fixed",
                       {{"id", MYSQL_TYPE_LONG, 11, S},
                        {"code", MYSQL_TYPE_STRING, 8, S, 8},
                        {"name", MYSQL_TYPE_VARCHAR, 30, S, 8},
                        {"qty", MYSQL_TYPE_SHORT, 6, S},
                        {"price", MYSQL_TYPE_NEWDECIMAL, 10, S, 0, 8, 2}});
    std::vector<ColumnShape> many{{"id", MYSQL_TYPE_LONG, 11, S}};
    for (int i = 1; i <= 11; ++i) many.push_back({"c", MYSQL_TYPE_LONG, 11, S});
    many.push_back({"c12", MYSQL_TYPE_STRING, 2, S, 8});
    many.push_back({"b3", MYSQL_TYPE_BIT, 3, U});
    CompareStaticTable("myisam_formats", "t_many_nulls", many);
    CompareStaticTable("myisam_formats", "t_not_null",
                       {{"id", MYSQL_TYPE_LONG, 11, S},
                        {"a", MYSQL_TYPE_SHORT, 6, S},
                        {"b", MYSQL_TYPE_STRING, 5, S, 8},
                        {"c", MYSQL_TYPE_DOUBLE, 22, S},
                        {"d", MYSQL_TYPE_NEWDATE, 10, S}});
}

}  // namespace

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "engine/InnoBlob.h"
#include "engine/InnoFieldValue.h"
#include "engine/InnoLayout.h"
#include "engine/TableEngine.h"
#include "tests/engine/InnoWalkTestPages.h"

using namespace innotest;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kUtf8mb4 = 45;
constexpr std::uint32_t kLatin1 = 8;

InnoColumnDef Column(std::uint32_t type, std::uint32_t mtype, std::uint32_t prtype, std::uint32_t length,
                     std::uint32_t charset = 0, std::uint8_t isSigned = 0) {
    InnoColumnDef d = Field(u"c", 0, mtype, prtype, length, 0, type, charset);
    d.column.m_bSigned = isSigned;
    return d;
}

std::string Format(CTableEngine& e, const InnoColumnDef& def, const Bytes& bytes, bool offPage = false) {
    CString out;
    FormatInnoFieldValue(e, out, def, offPage, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return out.ToUtf8();
}

TEST(InnoFieldValue, IntegersAreBigEndianWithTheSignBitFlipped) {
    CDralvekOstruneApp app;
    AppEngine e;
    const std::uint32_t U = INNO_PRTYPE_UNSIGNED;
    struct Case {
        std::uint32_t type, width, prtype;
        Bytes stored;
        const char* expected;
    };
    const Case cases[] = {
        {MYSQL_TYPE_LONG, 4, 0, {0x80, 0, 0, 5}, "5"},
        {MYSQL_TYPE_LONG, 4, 0, {0x7F, 0xFF, 0xFF, 0xFF}, "-1"},
        {MYSQL_TYPE_LONG, 4, 0, {0x00, 0, 0, 0}, "-2147483648"},
        {MYSQL_TYPE_LONG, 4, U, {0, 0, 0, 5}, "5"},
        {MYSQL_TYPE_LONG, 4, U, {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295"},
        // Signed TINYINT and friends print their sign.
        {MYSQL_TYPE_TINY, 1, 0, {0x7F}, "-1"},
        {MYSQL_TYPE_TINY, 1, 0, {0x81}, "1"},
        {MYSQL_TYPE_TINY, 1, U, {0xFF}, "255"},
        {MYSQL_TYPE_SHORT, 2, 0, {0x7F, 0xFF}, "-1"},
        {MYSQL_TYPE_INT24, 3, 0, {0x00, 0x00, 0x00}, "-8388608"},
        {MYSQL_TYPE_INT24, 3, U, {0xFF, 0xFF, 0xFE}, "16777214"},
        {MYSQL_TYPE_LONGLONG, 8, 0, {0x80, 0, 0, 0, 0, 0, 0, 0}, "0"},
        {MYSQL_TYPE_LONGLONG, 8, 0, {0, 0, 0, 0, 0, 0, 0, 0}, "-9223372036854775808"},
        {MYSQL_TYPE_LONGLONG, 8, U, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}, "18446744073709551614"},
    };
    for (const Case& c : cases) {
        // The .frm's flag says signed; the dictionary's prtype decides.
        const InnoColumnDef def = Column(c.type, INNO_MTYPE_INT, c.prtype, c.width, 0, 1);
        EXPECT_EQ(Format(e, def, c.stored), c.expected) << c.type << " " << c.expected;
    }
}

TEST(InnoFieldValue, DecodeInnoIntegerRewritesOnlyIntegerColumns) {
    Bytes b = {0x80, 0x00, 0x01, 0x02};
    DecodeInnoInteger(b.data(), 4, Column(MYSQL_TYPE_LONG, INNO_MTYPE_INT, 0, 4));
    EXPECT_EQ(b, (Bytes{0x02, 0x01, 0x00, 0x00}));
    Bytes f = {0x00, 0x00, 0xC0, 0x3F};
    DecodeInnoInteger(f.data(), 4, Column(MYSQL_TYPE_FLOAT, INNO_MTYPE_FLOAT, 0, 4));
    EXPECT_EQ(f, (Bytes{0x00, 0x00, 0xC0, 0x3F}));
    // Formatting leaves the page's bytes as they were.
    CDralvekOstruneApp app;
    AppEngine e;
    const Bytes stored = {0x80, 0, 0, 9};
    Bytes page = stored;
    CString out;
    const InnoColumnDef def = Column(MYSQL_TYPE_LONG, INNO_MTYPE_INT, 0, 4, 0, 1);
    FormatInnoFieldValue(e, out, def, false, page.data(), 4);
    FormatInnoFieldValue(e, out, def, false, page.data(), 4);
    EXPECT_EQ(out, CString(u"9"));
    EXPECT_EQ(page, stored);
}

TEST(InnoFieldValue, OtherTypesReadAsTheirMyIsamBytes) {
    CDralvekOstruneApp app;
    app.m_bMySql56Format = 1;
    AppEngine e;
    // Two columns' element lists side by side: each column reads its own range.
    e.m_enumValues = {u"red", u"green", u"blue", u"x", u"y", u"z"};
    const std::uint32_t dateValue = (2024u << 9) | (3u << 5) | 5u;
    struct Case {
        const char* what;
        InnoColumnDef def;
        Bytes stored;
        std::string display, save;
    };
    InnoColumnDef enumCol = Column(MYSQL_TYPE_ENUM, INNO_MTYPE_INT, INNO_PRTYPE_UNSIGNED, 1);
    enumCol.column.m_nEnumCount = 3;
    InnoColumnDef setCol = Column(MYSQL_TYPE_SET, INNO_MTYPE_INT, INNO_PRTYPE_UNSIGNED, 1);
    setCol.column.m_nEnumFirst = 3;
    setCol.column.m_nEnumCount = 3;
    InnoColumnDef bitCol = Column(MYSQL_TYPE_BIT, INNO_MTYPE_FIXBINARY, 0, 12);
    InnoColumnDef datetime = Column(MYSQL_TYPE_DATETIME2, INNO_MTYPE_FIXBINARY, 0, 19);
    const Case cases[] = {
        {"FLOAT of main type 9", Column(MYSQL_TYPE_FLOAT, INNO_MTYPE_FLOAT, 0, 4), {0x00, 0x00, 0xC0, 0x3F},
         "1.500000", "1.5"},
        {"DOUBLE of main type 10", Column(MYSQL_TYPE_DOUBLE, INNO_MTYPE_DOUBLE, 0, 8),
         {0x34, 0x33, 0x33, 0x33, 0x33, 0x33, 0xD3, 0x3F}, "0.300000", "0.30000000000000004"},
        {"DATE, 3 bytes, signed storage", Column(MYSQL_TYPE_NEWDATE, INNO_MTYPE_INT, 0, 3),
         {static_cast<unsigned char>((dateValue >> 16) ^ 0x80), static_cast<unsigned char>(dateValue >> 8),
          static_cast<unsigned char>(dateValue)},
         "2024-03-05", "2024-03-05"},
        {"DATETIME2", datetime, {0x99, 0xB2, 0xCA, 0xA9, 0x4F}, "2024-03-05 10:37:15", "2024-03-05 10:37:15"},
        {"ENUM index", enumCol, {0x02}, "green", "green"},
        {"SET bits", setCol, {0x05}, "x,z", "x,z"},
        {"BIT(12) of two bytes", bitCol, {0x0A, 0xBC}, "101010111100", "101010111100"},
        {"YEAR", Column(MYSQL_TYPE_YEAR, INNO_MTYPE_INT, INNO_PRTYPE_UNSIGNED, 1), {124}, "2024", "2024"},
        {"VARCHAR utf8mb4", Column(MYSQL_TYPE_VARCHAR, INNO_MTYPE_VARMYSQL, 0, 80, kUtf8mb4), Text("Zoë 😀"),
         "Zoë 😀", "Zoë 😀"},
        {"TINYTEXT in utf8mb4, not the ANSI code page", Column(MYSQL_TYPE_TINY_BLOB, INNO_MTYPE_BLOB, 0, 9, kUtf8mb4),
         Text("Björn"), "Björn", "Björn"},
        {"MEDIUMTEXT in latin1", Column(MYSQL_TYPE_MEDIUM_BLOB, INNO_MTYPE_BLOB, 0, 11, kLatin1), {'B', 0xE9, 0x80},
         "Bé€", "Bé€"},
    };
    for (const Case& c : cases) {
        app.m_bSaveAsScript = 0;
        e.Refresh();
        EXPECT_EQ(Format(e, c.def, c.stored), c.display) << c.what;
        app.m_bSaveAsScript = 1;
        e.Refresh();
        EXPECT_EQ(Format(e, c.def, c.stored), c.save) << c.what;
    }
}

std::string Hex(const Bytes& b) {
    static const char* digits = "0123456789ABCDEF";
    std::string s = "0x";
    for (unsigned char c : b) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

TEST(InnoFieldValue, BinaryValuesAndPlaceholders) {
    CDralvekOstruneApp app;
    AppEngine e;
    const InnoColumnDef varbinary = Column(MYSQL_TYPE_VARCHAR, INNO_MTYPE_BINARY, 0, 200, kBinaryCharset);
    const InnoColumnDef blob = Column(MYSQL_TYPE_BLOB, INNO_MTYPE_BLOB, 0, 10, kBinaryCharset);
    const InnoColumnDef geometry = Column(MYSQL_TYPE_GEOMETRY, INNO_MTYPE_GEOMETRY, 0, 12, kBinaryCharset);
    const Bytes b99(99, 0x80), b100(100, 0x80), b5000(5000, 0x07), point = {0, 0, 0, 0, 1, 1, 0, 0};
    EXPECT_EQ(Format(e, varbinary, b99), Hex(b99));
    EXPECT_EQ(Format(e, varbinary, b100), "0x<Binarydata>");
    // A BLOB held in the record has no size placeholder.
    EXPECT_EQ(Format(e, blob, b5000), Hex(b5000));
    EXPECT_EQ(Format(e, geometry, point), "Spatial Data");
    app.m_bSaveAsScript = 1;
    e.Refresh();
    EXPECT_EQ(Format(e, varbinary, b100), Hex(b100));
    EXPECT_EQ(Format(e, geometry, point), "\\0\\0\\0\\0\x01\x01\\0\\0");
}

TEST(InnoFieldValue, OffPageValues) {
    CDralvekOstruneApp app;
    AppEngine e;
    TempTablespace ibd("offpage.ibd");
    const std::string part1(16000, 'x'), part2 = "the end";
    for (auto [page, next, data] : {std::tuple{4u, 5u, part1}, std::tuple{5u, 0xFFFFFFFFu, part2}}) {
        Bytes p = BlankPage(page, INNO_PAGE_TYPE_BLOB);
        Put32(p, 38, static_cast<std::uint32_t>(data.size()));
        Put32(p, 42, next);
        std::copy(data.begin(), data.end(), p.begin() + 46);
        ibd.Write(page, p);
    }
    e.m_nIbdPages = ibd.Flush();
    ASSERT_TRUE(e.m_fileIbd.Open(CString::FromUtf8(ibd.Path()), CFile::modeRead));
    e.m_bReadingIbd = 1;
    // A COMPACT field: a 768-byte prefix and the reference.
    const std::string prefix(768, 'p');
    Bytes field = Text(prefix);
    Bytes ref(20, 0);
    Put32(ref, 4, 4);
    Put32(ref, 8, 38);
    Put32(ref, 16, static_cast<std::uint32_t>(part1.size() + part2.size()));
    field.insert(field.end(), ref.begin(), ref.end());

    const InnoColumnDef text = Column(MYSQL_TYPE_BLOB, INNO_MTYPE_BLOB, 0, 10, kUtf8mb4);
    const InnoColumnDef varchar = Column(MYSQL_TYPE_VARCHAR, INNO_MTYPE_VARMYSQL, 0, 65532, kUtf8mb4);
    EXPECT_EQ(Format(e, text, field, true), "Large Size Blob Data");
    EXPECT_EQ(Format(e, varchar, field, true), prefix + part1 + part2);

    const fs::path folder = fs::temp_directory_path() / ("innofield-" + std::to_string(::getpid()));
    fs::create_directories(folder / "blobdata");
    app.m_strSaveFolder = CString::FromUtf8(folder.string());
    app.m_bSaveToServer = 1;
    e.Refresh();
    const std::string path = Format(e, text, field, true);
    EXPECT_EQ(path, (folder / "blobdata" / "0").string());
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), prefix + part1 + part2);
    EXPECT_EQ(Format(e, varchar, field, true), prefix + part1 + part2);
    fs::remove_all(folder);
}

}  // namespace

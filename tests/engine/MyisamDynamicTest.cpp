#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "engine/TableEngine.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Big(std::uint64_t v, int n) {
    Bytes b(n);
    for (int i = n - 1; i >= 0; --i, v >>= 8) b[i] = static_cast<unsigned char>(v);
    return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

class TempFile {
public:
    explicit TempFile(const Bytes& bytes) {
        m_path = fs::temp_directory_path() / ("myd-" + std::to_string(::getpid()) + "-" + std::to_string(++s_count));
        std::ofstream(m_path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<std::streamsize>(bytes.size()));
    }
    ~TempFile() { fs::remove(m_path); }
    CString Path() const { return CString::FromUtf8(m_path.string()); }

private:
    static inline int s_count = 0;
    fs::path m_path;
};

// ---------------------------------------------------------------- block headers

constexpr std::uint64_t kPos = 8;
constexpr std::uint64_t kNext = 0x0000000100000200ull;
constexpr std::uint64_t kPrev = 0x0000000000000044ull;
constexpr std::uint32_t kUnset = 0xA5A5A5A5;

TEST(MyisamBlockInfo, EveryBlockTypeDecodes) {
    const struct {
        Bytes header;
        std::uint32_t secondReadBefore;
        std::uint32_t flags;
        std::uint32_t recLen, dataLen, blockLen;  // kUnset: left as it was
        std::uint64_t dataAt;                     // file position of the block's data
        std::uint64_t next, prev;                 // kUnset: left as it was
        std::uint32_t secondReadAfter;
    } cases[] = {
        // Deleted block: the position is its own, the chain links both ways.
        {Cat({{0x00}, Big(0x40, 3), Big(kNext, 8), Big(kPrev, 8)}), 0, 4, kUnset, kUnset, 0x40, kPos, kNext, kPrev, 0},
        {Cat({{0x00}, Big(0x40, 3), Big(kNext, 8), Big(kPrev, 8)}), 1, 4 | 16, kUnset, kUnset, 0x40, kPos, kNext, kPrev, 1},
        {{0x01, 0x00, 0x2A}, 0, 3, 42, 42, 42, kPos + 3, kUnset, kUnset, 0},
        {{0x02, 0x01, 0x00, 0x00}, 0, 3, 65536, 65536, 65536, kPos + 4, kUnset, kUnset, 0},
        {{0x03, 0x00, 0x10, 0x05}, 0, 3, 16, 16, 21, kPos + 4, kUnset, kUnset, 0},
        {{0x04, 0x00, 0x01, 0x00, 0x07}, 0, 3, 256, 256, 263, kPos + 5, kUnset, kUnset, 0},
        {Cat({{0x05}, Big(100, 2), Big(32, 2), Big(kNext, 8)}), 0, 1, 100, 32, 32, kPos + 13, kNext, kUnset, 1},
        {Cat({{0x05}, Big(100, 2), Big(32, 2), Big(kNext, 8)}), 1, 1 | 16, 100, 32, 32, kPos + 13, kNext, kUnset, 1},
        {Cat({{0x06}, Big(65536, 3), Big(48, 3), Big(kNext, 8)}), 0, 1, 65536, 48, 48, kPos + 15, kNext, kUnset, 1},
        {{0x07, 0x00, 0x05}, 1, 2, kUnset, 5, 5, kPos + 3, kUnset, kUnset, 1},
        // A part that cannot start a record, met where a record should start.
        {{0x07, 0x00, 0x05}, 0, 2 | 16, kUnset, 5, 5, kPos + 3, kUnset, kUnset, 0},
        {{0x08, 0x00, 0x00, 0x09}, 1, 2, kUnset, 9, 9, kPos + 4, kUnset, kUnset, 1},
        {{0x09, 0x00, 0x05, 0x03}, 1, 2, kUnset, 5, 8, kPos + 4, kUnset, kUnset, 1},
        {{0x0A, 0x00, 0x00, 0x05, 0x02}, 1, 2, kUnset, 5, 7, kPos + 5, kUnset, kUnset, 1},
        {Cat({{0x0B}, Big(6, 2), Big(kNext, 8)}), 1, 0, kUnset, 6, 6, kPos + 11, kNext, kUnset, 1},
        {Cat({{0x0B}, Big(6, 2), Big(kNext, 8)}), 0, 16, kUnset, 6, 6, kPos + 11, kNext, kUnset, 1},
        {Cat({{0x0C}, Big(7, 3), Big(kNext, 8)}), 1, 0, kUnset, 7, 7, kPos + 12, kNext, kUnset, 1},
        {Cat({{0x0D}, Big(70000, 4), Big(8, 3), Big(kNext, 8)}), 0, 1, 70000, 8, 8, kPos + 16, kNext, kUnset, 1},
        // No such type: the byte itself comes back and nothing is decoded.
        {{0x0E, 0x01, 0x02}, 0, 14, kUnset, kUnset, kUnset, kUnset, kUnset, kUnset, 0},
        {{0x20, 0x01, 0x02}, 1, 32, kUnset, kUnset, kUnset, kUnset, kUnset, kUnset, 1},
        {{0xFF}, 0, 255, kUnset, kUnset, kUnset, kUnset, kUnset, kUnset, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << int(c.header[0]) << " second read " << c.secondReadBefore);
        Bytes file(kPos, 0xCC);
        file.insert(file.end(), c.header.begin(), c.header.end());
        TempFile f(file);
        AppEngine e;
        ASSERT_TRUE(e.m_fileMyd.Open(f.Path(), CFile::modeRead));
        BlockInfo info;
        info.m_nRecLen = info.m_nDataLen = info.m_nBlockLen = kUnset;
        info.m_nFilePos = info.m_nNextFilePos = info.m_nPrevFilePos = kUnset;
        info.m_nSecondRead = c.secondReadBefore;
        EXPECT_EQ(e.GetBlockInfo(info, kPos), c.flags);
        EXPECT_EQ(info.m_nRecLen, c.recLen);
        EXPECT_EQ(info.m_nDataLen, c.dataLen);
        EXPECT_EQ(info.m_nBlockLen, c.blockLen);
        EXPECT_EQ(info.m_nFilePos, c.dataAt);
        EXPECT_EQ(info.m_nNextFilePos, c.next);
        EXPECT_EQ(info.m_nPrevFilePos, c.prev);
        EXPECT_EQ(info.m_nSecondRead, c.secondReadAfter);
        // The raw header is kept; what lies past the end of the file reads as zero.
        for (std::size_t i = 0; i < sizeof info.m_header; ++i)
            EXPECT_EQ(info.m_header[i], i < c.header.size() ? c.header[i] : 0) << i;
    }
}

// ---------------------------------------------------------------- record unpacking

// The application object with the collations these records use.
struct App {
    CDralvekOstruneApp app;
    App() {
        app.m_mapCollation[8] = CollationEntry{1, 1, u"latin1_swedish_ci", u"latin1"};
        app.m_mapCollation[63] = CollationEntry{1, 1, u"binary", u"binary"};
        app.m_bSaveAsScript = 0;
    }
};

ColumnInfo Column(const char16_t* name, std::uint32_t type, std::uint32_t recordPos, std::uint32_t length,
                  std::uint32_t charset, bool nullable) {
    ColumnInfo c;
    c.m_strName = name;
    c.m_nType = type;
    c.m_nRecordPos = recordPos;
    c.m_nLength = length;
    c.m_nCharset = charset;
    c.m_bNullable = nullable ? 1 : 0;
    c.m_bSigned = 1;
    return c;
}

// A dynamic table: id INT NOT NULL (zeros skipped), name VARCHAR(300) NULL, code CHAR(10)
// NULL (end spaces skipped; the value keeps the column's width), data BLOB NULL, behind
// one byte of null flags; three fields take empty-field flags (id bit 1, code bit 2,
// data bit 4).
void SetUpTable(CTableEngine& e) {
    e.m_columns = {Column(u"id", MYSQL_TYPE_LONG, 2, 11, 0, false),
                   Column(u"name", MYSQL_TYPE_VARCHAR, 6, 300, 8, true),
                   Column(u"code", MYSQL_TYPE_STRING, 308, 10, 8, true),
                   Column(u"data", MYSQL_TYPE_BLOB, 318, 8, 63, true)};
    for (std::uint32_t i = 0; i < e.m_columns.size(); ++i) e.m_columns[i].m_nColumn = i;
    e.m_recinfo = {{MI_FIELD_NORMAL, 1, 0, 0},
                   {MI_FIELD_SKIP_ZERO, 4, 0, 0},
                   {MI_FIELD_VARCHAR, 302, 0x02, 0},
                   {MI_FIELD_SKIP_ENDSPACE, 10, 0x04, 0},
                   {MI_FIELD_BLOB, 10, 0x08, 0}};
    e.m_nNullBytes = 1;
    e.m_nRecordLength = 327;
    e.m_nRowFormat = 1;
    e.m_myiBase.pack_bits = 1;
    e.m_myiBase.min_pack_length = 4;  // flags, null flags, one prefix byte each for name and code
}

std::uint32_t Unpack(CTableEngine& e, const Bytes& record) {
    return e.UnpackDynamicRow(record.data(), static_cast<std::uint32_t>(record.size()));
}

std::vector<CString> Values(const TableRow& row) {
    std::vector<CString> v;
    for (const ColumnInfo& c : row) v.push_back(c.m_strValue);
    return v;
}

TEST(MyisamDynamicRow, FieldsUnpackByTheirPackedForms) {
    App app;
    const struct {
        const char* what;
        Bytes record;
        std::vector<CString> values;
    } cases[] = {
        {"two-byte VARCHAR prefix, end spaces skipped, zero id",
         Cat({{0x01 | 0x02}, {0x00}, {0xFF, 0x01, 0x2C}, Bytes(300, 'y'), {0x03}, Text("abc"), Big(0x0200, 2), {0x00, 0xFF}}),
         {u"0", CString(std::u16string(300, u'y')), u"abc", u"0x00FF"}},
        {"stored id, one-byte VARCHAR prefix, CHAR taken whole",
         Cat({{0x00}, {0x00}, {0x2A, 0, 0, 0}, {0x02}, Text("hi"), Text("0123456789"), {0x01, 0x00}, {0x41}}),
         {u"42", u"hi", u"0123456789", u"0x41"}},
        {"null flags reach every field; the flags field is no column",
         Cat({{0x01 | 0x02 | 0x04}, {0x02 | 0x08}, {0x00}, {0x00}}), {u"0", u"NULL", u"", u"NULL"}},
        // An empty blob has its flag set and no bytes: it is empty, not a run of zeros.
        {"empty binary blob", Cat({{0x01 | 0x02 | 0x04}, {0x00}, {0x00}, {0x00}}), {u"0", u"", u"", u""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AppEngine e;
        SetUpTable(e);
        EXPECT_EQ(Unpack(e, c.record), c.record.size());
        ASSERT_EQ(e.m_rows.size(), 1u);
        EXPECT_EQ(e.m_bLeadingNullField, 1);
        EXPECT_EQ(Values(e.m_rows[0]), c.values);
        for (const RecinfoEntry& r : e.m_recinfo) EXPECT_EQ(r.m_pData, nullptr) << "no slice outlives the call";
    }
}

TEST(MyisamDynamicRow, MinimumLengthDecidesTheResult) {
    App app;
    AppEngine e;
    SetUpTable(e);
    const Bytes shortest = {0x01 | 0x02 | 0x04, 0x00, 0x00, 0x00};
    EXPECT_EQ(Unpack(e, shortest), 4u);
    EXPECT_EQ(e.m_rows.size(), 1u);
    EXPECT_EQ(e.UnpackDynamicRow(shortest.data(), 3), 0u);
    EXPECT_EQ(e.m_rows.size(), 1u);
}

TEST(MyisamDynamicRow, BrokenRecordsAppendNothing) {
    App app;
    const struct {
        const char* what;
        Bytes record;
        std::uint16_t packBits = 1;
    } cases[] = {
        {"VARCHAR longer than its column", Cat({{0x01 | 0x02 | 0x04}, {0x00}, {0xFF, 0x01, 0x2D}, Bytes(301, 'y'), {0x00}})},
        {"VARCHAR past the record's end", Cat({{0x01 | 0x02 | 0x04}, {0x00}, {0x05}, Text("ab")})},
        {"VARCHAR two-byte prefix cut off", Cat({{0x01 | 0x02 | 0x04}, {0x00}, {0xFF, 0x01}, {0x00}})},
        {"space-skipped length not below the column's", Cat({{0x01 | 0x02 | 0x04}, {0x00}, {0x00}, {0x0A}, Text("0123456789")})},
        {"space-skipped bytes past the end", Cat({{0x01 | 0x02 | 0x04}, {0x00}, {0x00}, {0x05}, Text("ab")})},
        {"CHAR taken whole but cut short", Cat({{0x01 | 0x04}, {0x00}, {0x00}, Text("01234")})},
        {"zero-skipped id stored but cut short", Cat({{0x02 | 0x04}, {0x00}, {0x2A, 0x00}, {0x00}})},
        {"blob length past the end", Cat({{0x01 | 0x02}, {0x00}, {0x00}, {0x00}, {0x00, 0x01}, Text("short")})},
        {"blob length bytes cut off", Cat({{0x01 | 0x02}, {0x00}, {0x00}, {0x00}, {0x01}})},
        {"more flagged fields than flag bytes", Cat({{0x01 | 0x02 | 0x04}, {0x00}, {0x00}, {0x00}}), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AppEngine e;
        SetUpTable(e);
        e.m_myiBase.pack_bits = c.packBits;
        if (c.packBits == 0) e.m_myiBase.min_pack_length = 3;
        EXPECT_EQ(Unpack(e, c.record), c.record.size());
        EXPECT_TRUE(e.m_rows.empty());
        for (const RecinfoEntry& r : e.m_recinfo) EXPECT_EQ(r.m_pData, nullptr);
    }
}

TEST(MyisamDynamicRow, NullFlagsFoundWhenABitColumnHasNoDefinition) {
    // id INT NOT NULL, b BIT(3) NULL kept wholly among the null bits (no .MYI
    // definition), v VARCHAR(5) NULL: the .MYI lists as many definitions as the table
    // has columns, yet the first one is still the record's null flags.
    App app;
    AppEngine e;
    e.m_columns = {Column(u"id", MYSQL_TYPE_LONG, 2, 11, 0, false), Column(u"b", MYSQL_TYPE_BIT, 6, 3, 0, true),
                   Column(u"v", MYSQL_TYPE_VARCHAR, 6, 5, 8, true)};
    for (std::uint32_t i = 0; i < e.m_columns.size(); ++i) e.m_columns[i].m_nColumn = i;
    e.m_recinfo = {{MI_FIELD_NORMAL, 1, 0, 0}, {MI_FIELD_NORMAL, 4, 0, 0}, {MI_FIELD_VARCHAR, 6, 0x10, 0}};
    e.m_nNullBytes = 1;
    e.m_nRecordLength = 11;
    e.m_nRowFormat = 1;
    e.m_myiBase.pack_bits = 0;
    e.m_myiBase.min_pack_length = 6;
    // Null bits: b's null bit 0x01, b's three bits 0x02-0x08, v's null bit 0x10.
    const Bytes withNull = Cat({{0x10 | 0x0A}, {7, 0, 0, 0}, {0x00}});
    EXPECT_EQ(Unpack(e, withNull), withNull.size());
    const Bytes nullBit = Cat({{0x01}, {8, 0, 0, 0}, {0x02}, Text("ok")});
    EXPECT_EQ(Unpack(e, nullBit), nullBit.size());
    ASSERT_EQ(e.m_rows.size(), 2u);
    EXPECT_EQ(e.m_bLeadingNullField, 1);
    EXPECT_EQ(Values(e.m_rows[0]), (std::vector<CString>{u"7", u"101", u"NULL"}));
    EXPECT_EQ(Values(e.m_rows[1]), (std::vector<CString>{u"8", u"NULL", u"ok"}));
}

}  // namespace

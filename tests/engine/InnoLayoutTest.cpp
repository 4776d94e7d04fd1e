#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "engine/InnoLayout.h"
#include "engine/InnoPage.h"
#include "engine/TableEngine.h"
#include "tests/engine/InnoDictFixtures.h"

namespace fx = dictfixtures;

namespace {

CString U8(const std::string& s) { return CString::FromUtf8(s); }

ColumnInfo Column(const char16_t* name, std::uint32_t index, std::uint32_t type, std::uint32_t length,
                  bool nullable, std::uint32_t charset = 0) {
    ColumnInfo c;
    c.m_strName = name;
    c.m_nColumn = index;
    c.m_nType = type;
    c.m_nLength = length;
    c.m_bNullable = nullable ? 1 : 0;
    c.m_nCharset = charset;
    c.m_bSigned = 1;
    return c;
}

FrmKeyDef Key(const char16_t* name, bool unique, std::vector<std::uint32_t> columns) {
    FrmKeyDef k;
    k.name = name;
    k.unique = unique;
    k.columns = std::move(columns);
    return k;
}

std::vector<CString> Names(const CTableEngine& e) {
    std::vector<CString> names;
    for (const InnoColumnDef& d : e.m_innoColumns) names.push_back(d.column.m_strName);
    return names;
}

std::vector<CString> Expect(std::initializer_list<const char16_t*> names) {
    std::vector<CString> v;
    for (const char16_t* n : names) v.emplace_back(n);
    return v;
}

// Columns a INT, b VARCHAR(20), c CHAR(3); nullability per case.
TEST(ClusteredOrder, TheKeyTheServerClustersOnInItsKeyPartOrder) {
    struct Case {
        const char* what;
        std::vector<bool> nullable;
        std::vector<FrmKeyDef> keys;
        std::vector<CString> order;
    };
    const Case cases[] = {
        {"PRIMARY KEY (b)", {true, false, true}, {Key(u"PRIMARY", true, {1})},
         Expect({u"b", u"DB_TRX_ID", u"DB_ROLL_PTR", u"a", u"c"})},
        {"PRIMARY KEY (c, a): key-part order", {false, true, false}, {Key(u"PRIMARY", true, {2, 0})},
         Expect({u"c", u"a", u"DB_TRX_ID", u"DB_ROLL_PTR", u"b"})},
        {"UNIQUE (b, a) on NOT NULL columns, no PRIMARY", {false, false, true}, {Key(u"uk", true, {1, 0})},
         Expect({u"b", u"a", u"DB_TRX_ID", u"DB_ROLL_PTR", u"c"})},
        {"first UNIQUE has a nullable column: the next one is taken",
         {true, false, false},
         {Key(u"u_null", true, {0}), Key(u"plain", false, {1}), Key(u"u_ok", true, {2, 1})},
         Expect({u"c", u"b", u"DB_TRX_ID", u"DB_ROLL_PTR", u"a"})},
        {"only a nullable UNIQUE: row id", {true, true, true}, {Key(u"uk", true, {0, 1})},
         Expect({u"DB_ROW_ID", u"DB_TRX_ID", u"DB_ROLL_PTR", u"a", u"b", u"c"})},
        {"no key", {true, true, true}, {}, Expect({u"DB_ROW_ID", u"DB_TRX_ID", u"DB_ROLL_PTR", u"a", u"b", u"c"})},
        {"PRIMARY wins over an earlier UNIQUE", {false, false, false},
         {Key(u"uk", true, {0}), Key(u"primary", true, {2})},
         Expect({u"c", u"DB_TRX_ID", u"DB_ROLL_PTR", u"a", u"b"})},
        {"key part naming no column", {false, false, false}, {Key(u"PRIMARY", true, {7})},
         Expect({u"DB_ROW_ID", u"DB_TRX_ID", u"DB_ROLL_PTR", u"a", u"b", u"c"})},
    };
    for (const Case& c : cases) {
        AppEngine e;
        e.m_columns = {Column(u"a", 0, MYSQL_TYPE_LONG, 11, c.nullable[0]),
                       Column(u"b", 1, MYSQL_TYPE_VARCHAR, 20, c.nullable[1], 8),
                       Column(u"c", 2, MYSQL_TYPE_STRING, 3, c.nullable[2], 8)};
        e.m_frmKeys = c.keys;
        ASSERT_TRUE(e.BuildColumnsFromFrm());
        EXPECT_EQ(Names(e), c.order) << c.what;
        EXPECT_TRUE(e.m_innoEntries.empty());
    }
}

TEST(ClusteredOrder, WithoutTheDefinitionsKeysThePrimaryFlagsAreUsed) {
    AppEngine e;
    e.m_columns = {Column(u"a", 0, MYSQL_TYPE_LONG, 11, false), Column(u"b", 1, MYSQL_TYPE_LONG, 11, false),
                   Column(u"c", 2, MYSQL_TYPE_LONG, 11, false)};
    e.m_columns[2].m_bPrimaryKey = 1;
    e.m_columns[1].m_bUniqueKey = 1;
    e.BuildColumnsFromFrm();
    EXPECT_EQ(Names(e), Expect({u"c", u"DB_TRX_ID", u"DB_ROLL_PTR", u"a", u"b"}));
    const InnoColumnDef& trxId = e.m_innoColumns[1];
    EXPECT_EQ(trxId.mtype, INNO_MTYPE_SYS);
    EXPECT_EQ(trxId.prtype, INNO_PRTYPE_NOT_NULL);
    EXPECT_EQ(trxId.len, 6u);
    EXPECT_EQ(trxId.fixedLength, 6u);
    EXPECT_EQ(e.m_innoColumns[2].len, 7u);
    EXPECT_EQ(e.m_innoColumns[2].fixedLength, 7u);
    // Without any key flag the hidden row id leads.
    e.m_innoColumns.clear();
    e.m_columns[2].m_bPrimaryKey = 0;
    e.BuildColumnsFromFrm();
    const InnoColumnDef& rowId = e.m_innoColumns[0];
    EXPECT_EQ(rowId.column.m_strName, CString(u"DB_ROW_ID"));
    EXPECT_EQ(rowId.mtype, INNO_MTYPE_SYS);
    EXPECT_EQ(rowId.fixedLength, 6u);
    EXPECT_EQ(rowId.column.m_bNullable + rowId.column.m_bPrimaryKey + rowId.column.m_bUniqueKey, 0);
}

TEST(TableId, NameWithBackslashMatchesExactly) {
    AppEngine e;
    SysTablesRecord r;
    r.NAME = u"shop/orders";
    r.ID = 17;
    e.m_sysTables.push_back(r);
    r.NAME = u"shop/orders";
    r.ID = 99;  // a later copy never wins
    e.m_sysTables.push_back(r);
    EXPECT_EQ(e.FindTableId(u"shop\\orders"), 17u);
    EXPECT_EQ(e.FindTableId(u"shop\\Orders"), 0u);
    EXPECT_EQ(e.FindTableId(u"shop\\order"), 0u);
    EXPECT_EQ(e.FindTableId(u"shop/orders"), 17u);
}

TEST(ClusteredRoot, TheIndexWithTheClusteredBitThenAnyTypedIndex) {
    AppEngine e;
    auto add = [&](std::uint64_t table, std::uint32_t type, std::uint32_t page) {
        SysIndexesRecord r;
        r.TABLE_ID = table;
        r.TYPE = type;
        r.PAGE_NO = page;
        e.m_sysIndexes.push_back(r);
    };
    add(1, 0, 4);
    add(1, 2, 5);  // UNIQUE secondary listed first
    add(1, 3, 3);
    add(2, 0, 9);
    add(3, 2, 7);
    add(4, 1, 0xFFFFFFFF);  // index without a root (a discarded tablespace)
    EXPECT_EQ(e.FindClusteredRootPage(1), 3u);
    EXPECT_EQ(e.FindClusteredRootPage(2), 0u);
    EXPECT_EQ(e.FindClusteredRootPage(3), 7u);
    EXPECT_EQ(e.FindClusteredRootPage(4), 0u);
    EXPECT_EQ(e.FindClusteredRootPage(5), 0u);
}

// What the server stores for each column type, as the definition alone tells it.
TEST(FrmLayout, TypesLengthsAndFixedWidthsAsTheServerStoresThem) {
    CDralvekOstruneApp app;
    struct Case {
        const char* what;
        ColumnInfo column;
        std::uint32_t mtype, len, fixed;
        bool isUnsigned;
    };
    ColumnInfo dec = Column(u"x", 0, MYSQL_TYPE_NEWDECIMAL, 12, true, 8);
    dec.m_nPrecision = 10;
    dec.m_nDecimals = 2;
    ColumnInfo dec65 = dec;
    dec65.m_nPrecision = 65;
    dec65.m_nDecimals = 30;
    ColumnInfo uint = Column(u"x", 0, MYSQL_TYPE_LONG, 10, true);
    uint.m_bSigned = 0;
    ColumnInfo e300 = Column(u"x", 0, MYSQL_TYPE_ENUM, 10, true, 45);
    e300.m_nEnumCount = 300;
    ColumnInfo s20 = Column(u"x", 0, MYSQL_TYPE_SET, 10, true, 45);
    s20.m_nEnumCount = 20;
    ColumnInfo s40 = s20;
    s40.m_nEnumCount = 40;
    const Case cases[] = {
        {"INT", Column(u"x", 0, MYSQL_TYPE_LONG, 11, true), 6, 4, 4, false},
        {"INT UNSIGNED", uint, 6, 4, 4, true},
        {"BIGINT", Column(u"x", 0, MYSQL_TYPE_LONGLONG, 20, true), 6, 8, 8, false},
        {"FLOAT", Column(u"x", 0, MYSQL_TYPE_FLOAT, 12, true), 9, 4, 4, false},
        {"DOUBLE", Column(u"x", 0, MYSQL_TYPE_DOUBLE, 22, true), 10, 8, 8, false},
        {"DECIMAL(10,2)", dec, 3, 5, 5, false},
        {"DECIMAL(65,30)", dec65, 3, 30, 30, false},
        {"DATE", Column(u"x", 0, MYSQL_TYPE_NEWDATE, 10, true), 6, 3, 3, false},
        {"YEAR", Column(u"x", 0, MYSQL_TYPE_YEAR, 4, true), 6, 1, 1, true},
        {"TIME(3)", Column(u"x", 0, MYSQL_TYPE_TIME2, 14, true), 3, 5, 5, false},
        {"DATETIME(6)", Column(u"x", 0, MYSQL_TYPE_DATETIME2, 26, true), 3, 8, 8, false},
        {"DATETIME", Column(u"x", 0, MYSQL_TYPE_DATETIME2, 19, true), 3, 5, 5, false},
        {"TIMESTAMP(3)", Column(u"x", 0, MYSQL_TYPE_TIMESTAMP2, 23, true), 3, 6, 6, true},
        {"old TIME", Column(u"x", 0, MYSQL_TYPE_TIME, 10, true), 6, 3, 3, false},
        {"old TIME(3) of MariaDB 5.3", Column(u"x", 0, MYSQL_TYPE_TIME, 14, true), 3, 5, 5, false},
        {"old DATETIME", Column(u"x", 0, MYSQL_TYPE_DATETIME, 19, true), 6, 8, 8, false},
        {"old DATETIME(6) of MariaDB 5.3", Column(u"x", 0, MYSQL_TYPE_DATETIME, 26, true), 3, 8, 8, false},
        {"old TIMESTAMP", Column(u"x", 0, MYSQL_TYPE_TIMESTAMP, 19, true), 6, 4, 4, true},
        {"BIT(12)", Column(u"x", 0, MYSQL_TYPE_BIT, 12, true, 63), 3, 2, 2, true},
        {"BIT(1)", Column(u"x", 0, MYSQL_TYPE_BIT, 1, true, 63), 3, 1, 1, true},
        {"ENUM of 300", e300, 6, 2, 2, true},
        {"SET of 20", s20, 6, 3, 3, true},
        {"SET of 40", s40, 6, 8, 8, true},
        {"CHAR(10) latin1", Column(u"x", 0, MYSQL_TYPE_STRING, 10, true, 8), 2, 10, 10, false},
        {"CHAR(10) utf8mb4", Column(u"x", 0, MYSQL_TYPE_STRING, 40, true, 45), 13, 40, 0, false},
        {"CHAR(10) ucs2", Column(u"x", 0, MYSQL_TYPE_STRING, 20, true, 35), 13, 20, 20, false},
        {"CHAR(250) utf32", Column(u"x", 0, MYSQL_TYPE_STRING, 1000, true, 60), 13, 1000, 0, false},
        {"BINARY(8)", Column(u"x", 0, MYSQL_TYPE_STRING, 8, true, 63), 3, 8, 8, false},
        {"CHAR(1000) latin1 is longer than 768", Column(u"x", 0, MYSQL_TYPE_STRING, 1000, true, 8), 2, 1000, 0, false},
        {"VARCHAR(300) latin1", Column(u"x", 0, MYSQL_TYPE_VARCHAR, 300, true, 8), 1, 300, 0, false},
        {"VARCHAR(20) utf8mb4", Column(u"x", 0, MYSQL_TYPE_VARCHAR, 80, true, 45), 12, 80, 0, false},
        {"VARBINARY(99)", Column(u"x", 0, MYSQL_TYPE_VARCHAR, 99, true, 63), 4, 99, 0, false},
        {"BLOB", Column(u"x", 0, MYSQL_TYPE_BLOB, 65535, true, 63), 5, 10, 0, false},
        {"LONGTEXT", Column(u"x", 0, MYSQL_TYPE_LONG_BLOB, 0xFFFFFFFF, true, 45), 5, 12, 0, false},
        {"GEOMETRY", Column(u"x", 0, MYSQL_TYPE_GEOMETRY, 0xFFFFFFFF, true, 63), 14, 12, 0, false},
    };
    for (const Case& c : cases) {
        AppEngine e;
        e.m_columns = {c.column};
        e.BuildColumnsFromFrm();
        ASSERT_EQ(e.m_innoColumns.size(), 4u) << c.what;
        const InnoColumnDef& d = e.m_innoColumns[3];
        EXPECT_EQ(d.mtype, c.mtype) << c.what;
        EXPECT_EQ(d.len, c.len) << c.what;
        EXPECT_EQ(d.fixedLength, c.fixed) << c.what;
        EXPECT_EQ((d.prtype & INNO_PRTYPE_UNSIGNED) != 0, c.isUnsigned) << c.what;
        EXPECT_EQ(d.prtype & INNO_PRTYPE_NOT_NULL, 0u) << c.what;
        EXPECT_EQ(d.ordinal, 0u) << c.what;
        EXPECT_EQ(MySqlTypeToInnoMtype(c.column), c.mtype) << c.what;
        EXPECT_EQ(MySqlTypeStoredLength(c.column), c.len) << c.what;
    }
}

TEST(DictionaryLayout, FixedWidthByMainTypeAndCharacterSet) {
    struct Case {
        const char* what;
        std::uint32_t mtype, prtype, len, mbminmaxlen, fixed;
    };
    const Case cases[] = {
        {"INT", 6, 0x503, 4, 0, 4},
        {"latin1 CHAR", 2, 0x800FE, 10, 6, 10},
        {"utf8mb4 CHAR", 13, 0x2D00FE, 40, 21, 0},
        {"ucs2 CHAR: one width per character", 13, 0x2300FE, 20, 12, 20},
        {"utf32 CHAR", 13, 0x3C00FE, 40, 24, 40},
        {"utf16 CHAR: two or four bytes", 13, 0x3600FE, 40, 22, 0},
        {"CHAR of a collation the table lacks", 13, 0x7F00FE, 40, 0, 0},
        {"binary-flagged MYSQL type", 13, 0x2D04FE, 40, 21, 40},
        {"fixed binary of 800 bytes", 3, 0x3F04FE, 800, 6, 0},
        {"fixed binary of 768 bytes", 3, 0x3F04FE, 768, 6, 768},
        {"VARCHAR", 12, 0x2D000F, 80, 21, 0},
        {"BLOB", 5, 0x3F04FC, 10, 6, 0},
        {"FLOAT", 9, 0x404, 4, 0, 4},
        {"DOUBLE", 10, 0x405, 8, 0, 8},
        {"GEOMETRY", 14, 0x4FF, 12, 0, 0},
        {"old DECIMAL", 11, 0x400, 12, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(InnoFixedLength(c.mtype, c.prtype, c.len, c.mbminmaxlen), c.fixed) << c.what;
        AppEngine e;
        e.m_columns = {Column(u"x", 0, MYSQL_TYPE_LONG, 11, true)};
        SysColumnsRecord r;
        r.TABLE_ID = 5;
        r.POS = 0;
        r.MTYPE = c.mtype;
        r.PRTYPE = c.prtype;
        r.LEN = c.len;
        r.mbminmaxlen = c.mbminmaxlen;
        e.m_sysColumns.push_back(r);
        r.TABLE_ID = 6;  // another table's column at the same position
        r.LEN = 1;
        e.m_sysColumns.push_back(r);
        ASSERT_TRUE(e.BuildColumnsFromDictionary(5));
        ASSERT_EQ(e.m_innoColumns.size(), 4u);
        EXPECT_EQ(e.m_innoColumns[3].len, c.len) << c.what;
        EXPECT_EQ(e.m_innoColumns[3].fixedLength, c.fixed) << c.what;
        EXPECT_TRUE(e.m_tableSysColumns.empty());
    }
}

TEST(DictionaryLayout, ColumnsWithoutADictionaryRecordAreLeftOut) {
    AppEngine e;
    e.m_columns = {Column(u"a", 0, MYSQL_TYPE_LONG, 11, false), Column(u"b", 1, MYSQL_TYPE_LONG, 11, true),
                   Column(u"c", 2, MYSQL_TYPE_LONG, 11, true)};
    e.m_frmKeys = {Key(u"PRIMARY", true, {0})};
    for (std::uint32_t pos : {2u, 0u}) {
        SysColumnsRecord r;
        r.TABLE_ID = 1;
        r.POS = pos;
        r.MTYPE = 6;
        r.PRTYPE = pos == 0 ? 0x503 : 0x403;
        r.LEN = 4;
        e.m_sysColumns.push_back(r);
    }
    e.BuildColumnsFromDictionary(1);
    EXPECT_EQ(Names(e), Expect({u"a", u"DB_TRX_ID", u"DB_ROLL_PTR", u"c"}));
    EXPECT_EQ(e.m_innoColumns[3].ordinal, 2u);
    // Building twice without emptying doubles the list.
    e.BuildColumnsFromDictionary(1);
    EXPECT_EQ(e.m_innoColumns.size(), 8u);
}

// A COMPACT node-pointer record: null bitmap and length bytes below the 5 header
// bytes, the key fields from the origin, then the child page number.
struct NodePointer {
    std::vector<unsigned char> page = std::vector<unsigned char>(INNO_PAGE_SIZE, 0);
    std::uint16_t origin = 0;
    // lengths: the length bytes in key order (each 1 or 2 bytes as given).
    void Build(std::uint16_t at, std::uint32_t nullBytes, const std::vector<std::vector<unsigned char>>& lengths,
               std::uint32_t keyBytes, std::uint32_t child) {
        origin = at;
        std::uint32_t cursor = at - 6 - nullBytes;
        for (const auto& bytes : lengths)
            for (unsigned char b : bytes) page[cursor--] = b;
        for (std::uint32_t i = 0; i < keyBytes; ++i) page[at + i] = 'k';
        for (int i = 0; i < 4; ++i) page[at + keyBytes + i] = static_cast<unsigned char>(child >> (24 - 8 * i));
    }
};

std::unique_ptr<CTableEngine> LayoutOf(std::vector<ColumnInfo> columns, std::vector<FrmKeyDef> keys) {
    auto e = std::make_unique<AppEngine>();
    e->m_columns = std::move(columns);
    e->m_frmKeys = std::move(keys);
    e->BuildColumnsFromFrm();
    return e;
}

TEST(NodePointerOffset, FollowsTheClusteredKeysFields) {
    CDralvekOstruneApp app;
    // Nine nullable columns besides the key make a two-byte null bitmap.
    std::vector<ColumnInfo> nulls;
    for (std::uint32_t i = 0; i < 9; ++i) nulls.push_back(Column(u"n", 2 + i, MYSQL_TYPE_LONG, 11, true));
    auto with = [&](std::vector<ColumnInfo> cols, bool manyNulls) {
        if (manyNulls) cols.insert(cols.end(), nulls.begin(), nulls.end());
        return cols;
    };
    const ColumnInfo intA = Column(u"a", 0, MYSQL_TYPE_LONG, 11, false);
    const ColumnInfo var200 = Column(u"v", 1, MYSQL_TYPE_VARCHAR, 200, false, 8);
    const ColumnInfo var500 = Column(u"v", 1, MYSQL_TYPE_VARCHAR, 500, false, 8);
    const ColumnInfo char3 = Column(u"c", 1, MYSQL_TYPE_STRING, 3, false, 8);
    const ColumnInfo mb4 = Column(u"m", 1, MYSQL_TYPE_STRING, 12, false, 45);
    struct Case {
        const char* what;
        std::vector<ColumnInfo> columns;
        std::vector<FrmKeyDef> keys;
        std::uint32_t nullBytes;
        std::vector<std::vector<unsigned char>> lengths;
        std::uint32_t offset;
    };
    const Case cases[] = {
        {"row id", {intA}, {}, 0, {}, 6},
        {"row id with a two-byte null bitmap", with({intA}, true), {}, 2, {}, 6},
        {"INT key", {intA, var200}, {Key(u"PRIMARY", true, {0})}, 0, {}, 4},
        {"VARCHAR(200) key: one length byte, 0x96 is 150", {intA, var200}, {Key(u"PRIMARY", true, {1})}, 0, {{0x96}}, 150},
        {"VARCHAR(500) key of 300 bytes: two length bytes", {intA, var500}, {Key(u"PRIMARY", true, {1})}, 0,
         {{0x81, 0x2C}}, 300},
        {"VARCHAR(500) key of 100 bytes: one length byte", {intA, var500}, {Key(u"PRIMARY", true, {1})}, 0, {{100}}, 100},
        {"empty VARCHAR key: child at the origin", {intA, var200}, {Key(u"PRIMARY", true, {1})}, 0, {{0}}, 0},
        {"VARCHAR key after a two-byte null bitmap", with({intA, var200}, true), {Key(u"PRIMARY", true, {1})}, 2,
         {{7}}, 7},
        {"composite (c, a) of fixed widths", {intA, char3}, {Key(u"PRIMARY", true, {1, 0})}, 0, {}, 7},
        {"composite (v, a): a length byte then a fixed field", {intA, var200}, {Key(u"PRIMARY", true, {1, 0})}, 0,
         {{20}}, 24},
        {"utf8mb4 CHAR key has a length", {intA, mb4}, {Key(u"PRIMARY", true, {1, 0})}, 0, {{5}}, 9},
        {"promoted UNIQUE key", {intA, var200}, {Key(u"uk", true, {1})}, 0, {{3}}, 3},
    };
    for (const Case& c : cases) {
        auto layout = LayoutOf(c.columns, c.keys);
        CTableEngine& e = *layout;
        NodePointer np;
        np.Build(300, c.nullBytes, c.lengths, c.offset, 4711);
        std::uint32_t offset = 99;
        EXPECT_TRUE(FindNodePtrChildOffset(e, np.page.data(), np.origin, offset)) << c.what;
        EXPECT_EQ(offset, c.offset) << c.what;
        EXPECT_EQ(e.GetNodePtrChildOffset(np.page.data(), np.origin), c.offset) << c.what;
        CInnoPageView view(np.page.data());
        EXPECT_EQ(view.U32(np.origin + offset), 4711u) << c.what;
    }
}

TEST(NodePointerOffset, NothingIsReadOutsideThePage) {
    CDralvekOstruneApp app;
    auto layout = LayoutOf({Column(u"a", 0, MYSQL_TYPE_LONG, 11, false), Column(u"v", 1, MYSQL_TYPE_VARCHAR, 500, false, 8)},
                           {Key(u"PRIMARY", true, {1, 0})});
    CTableEngine& e = *layout;
    std::vector<unsigned char> page(INNO_PAGE_SIZE, 0);
    std::uint32_t offset = 0;
    // Length bytes below the start of the page.
    EXPECT_FALSE(FindNodePtrChildOffset(e, page.data(), 5, offset));
    EXPECT_FALSE(FindNodePtrChildOffset(e, page.data(), 0, offset));
    EXPECT_EQ(e.GetNodePtrChildOffset(page.data(), 5), 0u);
    EXPECT_TRUE(FindNodePtrChildOffset(e, page.data(), 6, offset));  // its length byte is byte 0
    EXPECT_EQ(offset, 4u);
    // Second length byte below the start.
    page[0] = 0xBF;
    EXPECT_FALSE(FindNodePtrChildOffset(e, page.data(), 6, offset));
    // A key length that puts the child number past the end of the page.
    page[16000 - 6] = 0xBF;
    page[16000 - 7] = 0xFF;
    EXPECT_FALSE(FindNodePtrChildOffset(e, page.data(), 16000, offset));
    // An origin at the very end.
    auto rowIdLayout = LayoutOf({Column(u"a", 0, MYSQL_TYPE_LONG, 11, true)}, {});
    CTableEngine& rowId = *rowIdLayout;
    EXPECT_FALSE(FindNodePtrChildOffset(rowId, page.data(), 16380, offset));
    EXPECT_TRUE(FindNodePtrChildOffset(rowId, page.data(), 16374, offset));
    EXPECT_EQ(offset, 6u);
}

// Every COMPACT record origin of a page, in chain order (bounded by the page).
std::vector<std::uint16_t> CompactRecords(const CInnoPageView& page) {
    std::vector<std::uint16_t> origins;
    std::uint16_t r = static_cast<std::uint16_t>(INNO_COMPACT_INFIMUM + page.U16(INNO_COMPACT_INFIMUM - 2));
    while (r != INNO_COMPACT_SUPREMUM && r > INNO_COMPACT_SUPREMUM && r < INNO_PAGE_SIZE && origins.size() < 2000) {
        origins.push_back(r);
        r = static_cast<std::uint16_t>(r + page.U16(r - 2));
    }
    return origins;
}

// The layout of a real table both ways, and its node pointers on real pages.
class CorpusLayout : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        app = new CDralvekOstruneApp;
        dict = new AppEngine;
        ASSERT_TRUE(dict->LoadDictionary(U8((fx::Corpus() / "ibdata1").string())));
    }
    static void TearDownTestSuite() {
        delete dict;
        delete app;
    }
    // Walks every level below the root through every node pointer: each child must be
    // the next page of its level, one level down, of the same index.
    static void CheckTree(CTableEngine& e, CFile& file, std::uint32_t root, std::uint32_t rootLevel) {
        CInnoPage page;
        std::vector<std::uint32_t> level = {root};
        const std::uint64_t count = InnoPageCount(file);
        page.Load(file, root);
        const std::uint64_t indexId = page.U64(66);
        for (std::uint32_t depth = rootLevel; depth > 0; --depth) {
            std::vector<std::uint32_t> children;
            for (std::uint32_t p : level) {
                page.Load(file, p);
                ASSERT_EQ(page.U16(64), depth);
                for (std::uint16_t r : CompactRecords(page)) {
                    std::uint32_t off = 0;
                    ASSERT_TRUE(FindNodePtrChildOffset(e, page.Data(), r, off)) << "page " << p << " record " << r;
                    const std::uint32_t child = page.U32(r + off);
                    ASSERT_LT(child, count) << "page " << p << " record " << r;
                    children.push_back(child);
                }
            }
            ASSERT_FALSE(children.empty());
            for (std::size_t i = 0; i < children.size(); ++i) {
                FilHeader fil;
                IndexPageHeader index;
                ReadPageHeaders(file, children[i], fil, &index);
                EXPECT_EQ(fil.type, INNO_PAGE_TYPE_INDEX);
                EXPECT_EQ(index.level, depth - 1);
                EXPECT_EQ(index.indexId, indexId);
                EXPECT_EQ(fil.prev, i == 0 ? 0xFFFFFFFFu : children[i - 1]);
                EXPECT_EQ(fil.next, i + 1 == children.size() ? 0xFFFFFFFFu : children[i + 1]);
            }
            level = children;
        }
    }
    static CDralvekOstruneApp* app;
    static CTableEngine* dict;
};
CDralvekOstruneApp* CorpusLayout::app = nullptr;
CTableEngine* CorpusLayout::dict = nullptr;

TEST_F(CorpusLayout, DefinitionAndDictionaryGiveTheSameLayoutWithTheServersKeyFirst) {
    std::vector<std::string> unreadDefinitions;
    for (const fx::InnoTable& t : fx::CorpusInnoTables()) {
        if (t.rowFormat == "Redundant") continue;  // its records are not read
        SCOPED_TRACE(t.dir + "/" + t.file);
        const CString frm = U8((fx::Corpus() / t.dir / (t.file + ".frm")).string());
        AppEngine fromDict, fromFrm;
        if (!fromDict.ReadFrm(frm)) {
            unreadDefinitions.push_back(t.file);
            continue;
        }
        ASSERT_TRUE(fromFrm.ReadFrm(frm));
        fromDict.m_sysTables = dict->m_sysTables;
        fromDict.m_sysColumns = dict->m_sysColumns;
        const std::uint64_t id = fromDict.FindTableId(U8(t.dir + "\\" + t.file));
        ASSERT_NE(id, 0u);
        fromDict.BuildColumnsFromDictionary(id);
        fromFrm.BuildColumnsFromFrm();
        ASSERT_EQ(fromDict.m_innoColumns.size(), fromFrm.m_innoColumns.size());
        for (std::size_t i = 0; i < fromDict.m_innoColumns.size(); ++i) {
            const InnoColumnDef& d = fromDict.m_innoColumns[i];
            const InnoColumnDef& f = fromFrm.m_innoColumns[i];
            SCOPED_TRACE(d.column.m_strName.ToUtf8());
            EXPECT_EQ(d.column.m_strName, f.column.m_strName);
            EXPECT_EQ(d.mtype, f.mtype);
            EXPECT_EQ(d.len, f.len);
            EXPECT_EQ(d.fixedLength, f.fixedLength);
            EXPECT_EQ(d.prtype & 0xFFFFu, f.prtype & 0xFFFFu) << std::hex << d.prtype << " " << f.prtype;
            if (d.mtype != INNO_MTYPE_INT && d.mtype != INNO_MTYPE_SYS) {
                EXPECT_EQ(d.prtype >> 16, f.prtype >> 16) << std::hex << d.prtype << " " << f.prtype;
                EXPECT_EQ(d.mbminmaxlen, f.mbminmaxlen);
            }
            EXPECT_EQ(d.ordinal, f.ordinal);
        }
        // The leading fields are the key the server clusters on.
        std::string order;
        for (const fx::Row& r : fx::ReadTsv(fx::Expected() / t.dir / "tables.tsv"))
            if (r.at("FILE_NAME") == t.file) order = r.at("ROW_ORDER");
        std::vector<CString> key;
        if (order == "DB_ROW_ID") key.emplace_back(u"DB_ROW_ID");
        for (const fx::Row& k : fx::Keys(t))
            if (k.at("INDEX_NAME") == order) key.push_back(U8(k.at("COLUMN_NAME")));
        ASSERT_FALSE(key.empty());
        std::vector<CString> leading;
        for (const InnoColumnDef& d : fromDict.m_innoColumns) {
            if (d.column.m_strName == u"DB_TRX_ID") break;
            leading.push_back(d.column.m_strName);
        }
        EXPECT_EQ(leading, key);
    }
    // Only definitions of the newer version (JSON's CHECK constraint) may be left unread.
    for (const std::string& name : unreadDefinitions) EXPECT_EQ(name.rfind("t_json_", 0), 0u) << name;
}

TEST_F(CorpusLayout, NodePointersOfMultiLevelTreesLeadToEveryChild) {
    struct Case {
        const char* dir;
        const char* file;
    };
    const Case cases[] = {{"innodb_features", "t_many_rows"},
                          {"innodb_features", "t_deep"},
                          {"innodb_features", "t_deleted"},
                          {"innodb_system", "t_sys_many"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        AppEngine e;
        ASSERT_TRUE(e.ReadFrm(U8((fx::Corpus() / c.dir / (std::string(c.file) + ".frm")).string())));
        e.m_sysTables = dict->m_sysTables;
        e.m_sysColumns = dict->m_sysColumns;
        e.m_sysIndexes = dict->m_sysIndexes;
        const std::uint64_t id = e.FindTableId(U8(std::string(c.dir) + "\\" + c.file));
        e.BuildColumnsFromDictionary(id);
        const std::uint32_t root = e.FindClusteredRootPage(id);
        CFile file;
        const fx::fs::path ibd = fx::Corpus() / c.dir / (std::string(c.file) + ".ibd");
        ASSERT_TRUE(file.Open(U8((fx::fs::exists(ibd) ? ibd : fx::Corpus() / "ibdata1").string()), CFile::modeRead));
        FilHeader fil;
        IndexPageHeader index;
        ReadPageHeaders(file, root, fil, &index);
        ASSERT_GE(index.level, 1u);
        CheckTree(e, file, root, index.level);
        // Without the dictionary the layout from the definition finds the same children.
        AppEngine frmOnly;
        frmOnly.ReadFrm(U8((fx::Corpus() / c.dir / (std::string(c.file) + ".frm")).string()));
        frmOnly.BuildColumnsFromFrm();
        CheckTree(frmOnly, file, root, index.level);
    }
}

// A variable-length key beside nine nullable columns, its smallest key empty.
TEST(RealNodePointers, VariableKeyAfterTheWholeIndexsNullBitmap) {
    CDralvekOstruneApp app;
    AppEngine e;
    ASSERT_TRUE(e.LoadDictionary(U8((fx::PageSize() / "fcrc" / "ibdata1").string())));
    ASSERT_TRUE(e.ReadFrm(U8((fx::PageSize() / "fcrc" / "v" / "vpk.frm").string())));
    const std::uint64_t id = e.FindTableId(u"v\\vpk");
    e.BuildColumnsFromDictionary(id);
    ASSERT_EQ(e.m_innoColumns.size(), 12u);
    CFile file;
    ASSERT_TRUE(file.Open(U8((fx::PageSize() / "fcrc" / "v" / "vpk.ibd").string()), CFile::modeRead));
    CInnoPage root;
    root.Load(file, e.FindClusteredRootPage(id));
    ASSERT_EQ(root.U16(64), 1u);
    const std::vector<std::uint16_t> records = CompactRecords(root);
    ASSERT_GE(records.size(), 2u);
    std::uint32_t off = 99;
    ASSERT_TRUE(FindNodePtrChildOffset(e, root.Data(), records[0], off));
    EXPECT_EQ(off, 0u);  // the key '' takes no bytes
    for (std::size_t i = 0; i < records.size(); ++i) {
        ASSERT_TRUE(FindNodePtrChildOffset(e, root.Data(), records[i], off));
        if (i > 0) {
            EXPECT_EQ(off, 126u);  // six digits and 120 letters
        }
        FilHeader fil;
        IndexPageHeader index;
        ReadPageHeaders(file, root.U32(records[i] + off), fil, &index);
        EXPECT_EQ(fil.type, INNO_PAGE_TYPE_INDEX);
        EXPECT_EQ(index.level, 0u);
        if (i == 0) {
            EXPECT_EQ(fil.prev, 0xFFFFFFFFu);
        }
    }
}

}  // namespace

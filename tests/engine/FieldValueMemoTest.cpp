#include <gtest/gtest.h>

#include <vector>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "engine/FieldValue.h"

namespace {

using Bytes = std::vector<unsigned char>;

ColumnInfo TextColumn(std::uint32_t type, std::uint32_t charset) {
    ColumnInfo c;
    c.m_nType = type;
    c.m_nLength = 40;
    c.m_nCharset = charset;
    return c;
}

CString Typed(const CTableEngine& e, const ColumnInfo& c, const Bytes& b) {
    return FormatTypedFieldValue(e, c, b.data(), static_cast<std::uint32_t>(b.size()), FieldMember::Inno);
}

// Text cells remember their collation's character set for the page being read: what the
// map says must still decide as soon as a new page starts or the map is another one.
TEST(FieldValueCharsetMemo, FollowsTheCollationMapBetweenPages) {
    CDralvekOstruneApp app;
    app.m_mapCollation.clear();
    app.m_mapCollation[200] = CollationEntry{1, 1, u"latin1_swedish_ci", u"latin1"};
    const Bytes e9 = {0xE9};
    for (std::uint32_t type : {MYSQL_TYPE_VARCHAR, MYSQL_TYPE_STRING, MYSQL_TYPE_BLOB}) {
        SCOPED_TRACE(type);
        app.m_mapCollation[200] = CollationEntry{1, 1, u"latin1_swedish_ci", u"latin1"};
        const ColumnInfo c = TextColumn(type, 200);
        AppEngine e;
        EXPECT_EQ(Typed(e, c, e9), CString(u"\u00e9"));

        // A new page (no rows yet) reads the entry changed in place.
        app.m_mapCollation[200].name2 = u"utf8mb4";
        EXPECT_EQ(Typed(e, c, e9), CString(u"\uFFFD"));

        // Within a page a map that grew or shrank is read again...
        e.m_rows.push_back(e.m_columns);
        EXPECT_EQ(Typed(e, c, e9), CString(u"\uFFFD"));
        app.m_mapCollation[201] = CollationEntry{1, 1, u"binary", u"binary"};
        app.m_mapCollation[200].name2 = u"latin1";
        EXPECT_EQ(Typed(e, c, e9), CString(u"\u00e9"));
        app.m_mapCollation.erase(201);

        // ...or another engine asks, or the entry is gone.
        app.m_mapCollation[200].name2 = u"binary";
        AppEngine other;
        other.m_rows.push_back(other.m_columns);
        EXPECT_EQ(Typed(other, c, e9), CString(u"0xE9"));
        e.m_rows.clear();
        app.m_mapCollation.erase(200);
        EXPECT_EQ(Typed(e, c, e9), CString(u"\u00e9")) << "no entry: ANSI for bytes that are not UTF-8";
    }
}

// Several collations on one page each keep their own answer.
TEST(FieldValueCharsetMemo, ColumnsOfOnePageKeepTheirOwnSets) {
    CDralvekOstruneApp app;
    app.m_mapCollation.clear();
    app.m_mapCollation[8] = CollationEntry{1, 1, u"latin1_swedish_ci", u"latin1"};
    app.m_mapCollation[45] = CollationEntry{1, 4, u"utf8mb4_general_ci", u"utf8mb4"};
    app.m_mapCollation[54] = CollationEntry{2, 4, u"utf16_general_ci", u"utf16"};
    app.m_mapCollation[63] = CollationEntry{1, 1, u"binary", u"binary"};
    AppEngine e;
    e.m_rows.push_back(e.m_columns);
    const Bytes bytes = {0xC3, 0xA9};
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(Typed(e, TextColumn(MYSQL_TYPE_VARCHAR, 8), bytes), CString(u"\u00c3\u00a9"));
        EXPECT_EQ(Typed(e, TextColumn(MYSQL_TYPE_VARCHAR, 45), bytes), CString(u"\u00e9"));
        EXPECT_EQ(Typed(e, TextColumn(MYSQL_TYPE_VARCHAR, 54), bytes), CString(u"\uC3A9"));
        EXPECT_EQ(Typed(e, TextColumn(MYSQL_TYPE_VARCHAR, 63), bytes), CString(u"0xC3A9"));
        for (std::uint32_t id = 100; id < 112; ++id)  // more ids than the memo holds
            EXPECT_EQ(Typed(e, TextColumn(MYSQL_TYPE_VARCHAR, id), Bytes{'a'}), CString(u"a"));
    }
}

// A dynamic record's columns that no definition fills show no text, never the previous
// row's or what the column list held; the column list keeps the last row's texts. The
// definitions' places are remembered for the page, so a table whose definitions change
// under a page already begun must still be read by its own.
TEST(FieldValueDefinitionMemo, ColumnsWithoutDefinitionsStayEmptyRowAfterRow) {
    CDralvekOstruneApp app;
    AppEngine e;
    auto column = [](std::uint32_t recordPos) {
        ColumnInfo c;
        c.m_nType = MYSQL_TYPE_LONG;
        c.m_nRecordPos = recordPos;
        c.m_nLength = 11;
        c.m_bSigned = 1;
        return c;
    };
    e.m_columns = {column(2), column(6), column(10)};
    e.m_recinfo = {{MI_FIELD_NORMAL, 1, 0, 0}, {MI_FIELD_NORMAL, 4, 0, 0}};  // null flags, id: none for the rest
    e.m_nNullBytes = 1;
    e.m_nRowFormat = 1;
    e.m_myiBase.min_pack_length = 5;
    e.m_columns[1].m_strValue = u"text the list held";
    e.m_columns[2].m_strValue = CString(u'x', 40);
    const std::vector<unsigned char> first = {0x00, 7, 0, 0, 0}, second = {0x00, 8, 1, 0, 0};
    ASSERT_EQ(e.UnpackDynamicRow(first.data(), 5), 5u);
    ASSERT_EQ(e.UnpackDynamicRow(second.data(), 5), 5u);
    ASSERT_EQ(e.m_rows.size(), 2u);
    for (std::size_t r = 0; r < 2; ++r) {
        EXPECT_EQ(e.m_rows[r][1].m_strValue, CString()) << r;
        EXPECT_EQ(e.m_rows[r][2].m_strValue, CString()) << r;
    }
    EXPECT_EQ(e.m_rows[0][0].m_strValue, CString(u"7"));
    EXPECT_EQ(e.m_rows[1][0].m_strValue, CString(u"264"));
    EXPECT_EQ(e.m_columns[0].m_strValue, CString(u"264")) << "the list carries the last row";

    // Other definitions on the same page: the second column now has one, the first none.
    e.m_recinfo = {{MI_FIELD_NORMAL, 5, 0, 0}, {MI_FIELD_NORMAL, 4, 0, 0}};
    const std::vector<unsigned char> wider = {0x00, 8, 1, 0, 0, 9, 0, 0, 0};
    ASSERT_EQ(e.UnpackDynamicRow(wider.data(), 9), 9u);
    ASSERT_EQ(e.m_rows.size(), 3u);
    EXPECT_EQ(e.m_rows[2][0].m_strValue, CString());
    EXPECT_EQ(e.m_rows[2][1].m_strValue, CString(u"9"));
    EXPECT_EQ(e.m_rows[2][2].m_strValue, CString());
}

// Temporal texts are built digit by digit: widths beyond the usual ones keep every digit.
TEST(FieldValueTemporalText, WideFieldsKeepAllTheirDigits) {
    CDralvekOstruneApp app;
    AppEngine e;
    ColumnInfo c;
    c.m_nType = MYSQL_TYPE_DATETIME;
    c.m_nLength = 19;
    // 123456789012345678 as YYYYMMDDhhmmss: an eight-digit year, every part as stored.
    const unsigned long long packed = 123456789012345678ull;
    Bytes b(8);
    for (int i = 0; i < 8; ++i) b[static_cast<std::size_t>(i)] = static_cast<unsigned char>(packed >> (8 * i));
    EXPECT_EQ(Typed(e, c, b), CString(u"12345678-90-12 34:56:78"));
    const unsigned long long small = 10203040506ull;  // year 1, month 2, day 3
    for (int i = 0; i < 8; ++i) b[static_cast<std::size_t>(i)] = static_cast<unsigned char>(small >> (8 * i));
    EXPECT_EQ(Typed(e, c, b), CString(u"0001-02-03 04:05:06"));
    // TIME2 hours use all ten bits.
    ColumnInfo t;
    t.m_nType = MYSQL_TYPE_TIME2;
    t.m_nLength = 10;
    EXPECT_EQ(Typed(e, t, Bytes{0xBF, 0xFF, 0xFF}), CString(u"1023:63:63"));
}

}  // namespace

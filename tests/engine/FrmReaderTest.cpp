#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "engine/FrmReader.h"
#include "engine/TableEngine.h"
#include "FrmBuilder.h"

namespace fs = std::filesystem;
using frmtest::Builder;
using frmtest::Field;
using frmtest::Image;
using frmtest::Key;

namespace {

constexpr std::uint16_t kNullable = 0x8000;
constexpr std::uint16_t kSigned = 0x0001;

class FrmReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("frm-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    CString Write(const std::string& bytes, const std::string& name = "t.frm") {
        const fs::path p = dir / name;
        std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return CString::FromUtf8(p.string());
    }
    // Reads the image into a fresh engine and checks that the read left no working state.
    bool Read(const std::string& bytes) {
        engine = std::make_unique<AppEngine>();
        const bool ok = engine->ReadFrm(Write(bytes));
        EXPECT_TRUE(engine->m_allocations.empty());
        EXPECT_TRUE(engine->m_intervals.empty());
        EXPECT_EQ(engine->m_pShare, nullptr);
        return ok;
    }
    const std::vector<ColumnInfo>& Columns() const { return engine->m_columns; }

    CDralvekOstruneApp app;
    fs::path dir;
    std::unique_ptr<CTableEngine> engine;
};

Field F(std::string name, std::uint8_t type, std::uint16_t length, std::uint16_t pack = 0) {
    Field f;
    f.name = std::move(name);
    f.type = type;
    f.length = length;
    f.pack = pack;
    return f;
}

Builder OneIntTable() {
    Builder b;
    b.fields = {F("id", MYSQL_TYPE_LONG, 11, kSigned)};
    return b;
}

// --- header ----------------------------------------------------------------------------

TEST_F(FrmReaderTest, ReadsTheColumnsAndTableValuesOfAPlainDefinition) {
    Builder b;
    b.dbType = 12;
    b.tableCharset = 0x0121;  // high byte at 41, low at 38
    b.recordLength = 345;
    b.fields = {F("id", MYSQL_TYPE_LONG, 11, kSigned), F("name", MYSQL_TYPE_VARCHAR, 200, kNullable)};
    b.fields[0].recordPos = 0x012345;  // 24-bit position
    b.fields[1].charset = 0x0102;
    ASSERT_TRUE(Read(b.Build().bytes));
    ASSERT_EQ(Columns().size(), 2u);
    EXPECT_EQ(engine->m_nDbType, 12);
    EXPECT_EQ(engine->m_nTableCharset, 0x0121u);
    EXPECT_EQ(engine->m_nRecordLength, 345u);
    EXPECT_FALSE(engine->m_fileFrm.IsOpen());
    const ColumnInfo& id = Columns()[0];
    EXPECT_EQ(id.m_strName, CString(u"id"));
    EXPECT_EQ(id.m_nColumn, 0u);
    EXPECT_EQ(id.m_nRecordPos, 0x012345u);
    EXPECT_EQ(id.m_nType, MYSQL_TYPE_LONG);
    EXPECT_EQ(id.m_nLength, 11u);
    EXPECT_EQ(id.m_bNullable, 0);
    EXPECT_TRUE(id.m_strValue.IsEmpty());
    const ColumnInfo& name = Columns()[1];
    EXPECT_EQ(name.m_nColumn, 1u);
    EXPECT_EQ(name.m_nCharset, 0x0102u);
    EXPECT_EQ(name.m_bNullable, 1);
}

// Version 11 adds an expression block after the comments; the block bytes below are
// the server's own for DEFAULT (1+1), a CHECK constraint and the generated columns
// AS (a*2) VIRTUAL and AS (a+1) PERSISTENT. A VIRTUAL column and a long UNIQUE key's
// hash column read, marked as not stored; one the block names past the column list and
// a block cut short leave the row layout unknown and are refused.
TEST_F(FrmReaderTest, VersionElevenMarksVirtualColumnsNotStored) {
    const std::string header(16, '\0');
    const std::string defaultAndCheck = header + std::string("\x02\x00\x00\x05\x00\x01" "k" "1 + 1", 12) +
                                        std::string("\x04\xff\xff\x07\x00\x0c" "CONSTRAINT_1" "`a` > 0", 25);
    const std::string storedEntry("\x01\x00\x00\x07\x00\x01" "d" "`a` + 1", 14);
    const std::string virtualEntry("\x00\x00\x00\x07\x00\x01" "b" "`a` * 2", 14);
    const std::string virtualPastColumns("\x00\x01\x00\x07\x00\x01" "b" "`a` * 2", 14);
    const std::string usingHash("\x05\x00\x00\x07\x00\x00" "`a` * 2", 13);
    struct Case {
        const char* what;
        std::string block;
        std::size_t declared;
        bool reads;
        int notStored;
    } cases[] = {
        {"no expressions", "", 0, true, 0},
        {"default and check", defaultAndCheck, defaultAndCheck.size(), true, 0},
        {"stored generated column", header + storedEntry, 16 + storedEntry.size(), true, 0},
        {"virtual generated column", header + virtualEntry, 16 + virtualEntry.size(), true, 1},
        {"virtual column after a check", defaultAndCheck + virtualEntry, defaultAndCheck.size() + virtualEntry.size(), true, 1},
        {"virtual column past the column list", header + virtualPastColumns, 16 + virtualPastColumns.size(), false, 0},
        {"long unique key hash", header + usingHash, 16 + usingHash.size(), true, 1},
        {"block cut short by the end of the file", defaultAndCheck.substr(0, 20), defaultAndCheck.size(), false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Builder b = OneIntTable();
        Image img = b.Build();
        img.bytes[2] = 11;
        img.Put16(img.formPos + 286, static_cast<std::uint32_t>(c.declared));
        img.bytes += c.block;
        EXPECT_EQ(Read(img.bytes), c.reads);
        ASSERT_EQ(Columns().size(), c.reads ? 1u : 0u);
        if (c.reads) {
            EXPECT_EQ(Columns()[0].m_bNotStored, c.notStored);
        }
    }
}

// Version 10 keeps generated columns in a screen after the comments, in one of two forms:
// type 245 in the field record and the column's own type, flags and list in the entry (up
// to 10.1 of one line of servers), or bit 128 of the check byte and the expression's
// length and STORED flag in the entry (5.7 of the other). Table: column 1 of two.
TEST(OldGeneratedColumns, EntriesOfBothFormsAndWhatLeavesTheLayoutUnknown) {
    constexpr std::uint32_t kOldLine = 100138, kOlderLine = 50560, kOtherLine = 50744;
    struct Case {
        const char* what;
        std::uint32_t server;
        unsigned char type, listByte, check;  // field 1's record bytes 13, 12, 10
        std::string screen;
        bool reads;
        int columns;
        bool stored;
        unsigned char entryType;
        std::uint32_t list;
        bool flagsLast;
    } cases[] = {
        {"type marker, persistent", kOldLine, 245, 10, 0, std::string("\x01\x08\x01" "`a` + 1", 10), true, 1, true, 8, 0, false},
        {"type marker, virtual ENUM with its list", kOldLine, 245, 11, 0, std::string("\x02\xf7\x00\x02" "`a` + 1", 11), true, 1, false, 247, 2, false},
        {"type marker of a 5.5 server", kOlderLine, 245, 10, 0, std::string("\x01\x03\x00" "`a` + 1", 10), true, 1, false, 3, 0, false},
        {"245 of a 5.7 server is JSON", kOtherLine, 245, 0, 0, "", true, 0, false, 0, 0, false},
        {"check bit, virtual", kOtherLine, 3, 0, 128, std::string("\x01\x07\x00\x00" "`a` + 1", 11), true, 1, false, 0, 0, true},
        {"check bit with a check, stored", kOtherLine, 3, 0, 128 | 15, std::string("\x01\x07\x00\x01" "`a` + 1", 11), true, 1, true, 0, 0, true},
        {"no marked column", kOldLine, 3, 0, 0, std::string("\x01\x03\x00" "x", 4), true, 0, false, 0, 0, false},
        {"marked, screen empty", kOldLine, 245, 10, 0, "", false, 0, false, 0, 0, false},
        {"entry of an unknown kind", kOldLine, 245, 10, 0, std::string("\x03\x08\x01" "`a` + 1", 10), false, 0, false, 0, 0, false},
        {"entry longer than the screen", kOldLine, 245, 11, 0, std::string("\x01\x08\x01" "`a` + 1", 10), false, 0, false, 0, 0, false},
        {"entry shorter than its header", kOldLine, 245, 3, 0, std::string("\x02\x08\x01\x01", 4), false, 0, false, 0, 0, false},
        {"entry's own type the marker", kOldLine, 245, 10, 0, std::string("\x01\xf5\x01" "`a` + 1", 10), false, 0, false, 0, 0, false},
        {"check bit, empty expression", kOtherLine, 3, 0, 128, std::string("\x01\x00\x00\x00", 4), false, 0, false, 0, 0, false},
        {"check bit, expression past the screen", kOtherLine, 3, 0, 128, std::string("\x01\x09\x00\x00" "`a` + 1", 11), false, 0, false, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> records(34, 0);
        records[13] = 3;
        records[17 + 13] = c.type;
        records[17 + 12] = c.listByte;
        records[17 + 10] = c.check;
        OldGeneratedColumns out;
        out.virtualFlagsLast = true;
        const bool reads = ReadOldGeneratedColumns(records.data(), 2, reinterpret_cast<const unsigned char*>(c.screen.data()),
                                                   c.screen.size(), c.server, out);
        EXPECT_EQ(reads, c.reads);
        if (!reads) continue;
        EXPECT_EQ(out.virtualFlagsLast, c.flagsLast && !c.screen.empty());
        ASSERT_EQ(out.columns.size(), static_cast<std::size_t>(c.columns));
        if (c.columns == 0) continue;
        const OldGeneratedColumn& g = out.columns[0];
        EXPECT_EQ(g.field, 1u);
        EXPECT_EQ(g.stored, c.stored);
        EXPECT_EQ(g.text, "`a` + 1");
        EXPECT_EQ(g.typeInEntry, c.type == 245);
        if (g.typeInEntry) {
            EXPECT_EQ(g.type, c.entryType);
            EXPECT_EQ(g.interval, c.list);
        }
    }
}

// The type-marker form through the whole definition read: the column takes the entry's
// type and ENUM list, and a screen cut short by the end of the file refuses the table.
TEST_F(FrmReaderTest, VersionTenGeneratedColumnTakesTheEntrysTypeAndList) {
    Builder b;
    b.mysqlVersion = 100138;
    b.intervals = {{"x", "y"}, {"red", "green", "blue"}};
    b.fields = {F("id", MYSQL_TYPE_LONG, 11, kSigned), F("e", 245, 5, kNullable)};
    const std::string entry("\x02\xf7\x00\x02" "elt(1,'red')", 16);
    b.fields[1].interval = static_cast<std::uint8_t>(entry.size());
    Image img = b.Build();
    img.Put16(img.formPos + 286, static_cast<std::uint32_t>(entry.size()));
    ASSERT_TRUE(Read(img.bytes + entry));
    ASSERT_EQ(Columns().size(), 2u);
    EXPECT_EQ(Columns()[1].m_nType, MYSQL_TYPE_ENUM);
    EXPECT_EQ(Columns()[1].m_bNotStored, 1);
    EXPECT_EQ(Columns()[1].m_strEnumList, CString(u"'red','green','blue'"));
    EXPECT_EQ(Columns()[0].m_bNotStored, 0);
    EXPECT_FALSE(Read(img.bytes + entry.substr(0, 10)));
}

TEST_F(FrmReaderTest, TableCharsetOnlyWhenTheHeaderCarriesIt) {
    Builder b = OneIntTable();
    b.nullFlagsByte = 1;
    ASSERT_TRUE(Read(b.Build().bytes));
    EXPECT_EQ(engine->m_nTableCharset, 0u);
}

TEST_F(FrmReaderTest, NoTableDefinitionReturnsFalseAndChangesNothing) {
    std::string valid = OneIntTable().Build().bytes;
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::string badMagic = valid;
    badMagic[1] = 0x02;
    std::vector<Case> cases = {
        {"empty", ""},
        {"shorter than the header", valid.substr(0, 63)},
        {"bad magic", badMagic},
        {"a view's text definition", "TYPE=VIEW\nquery=select 1\n" + std::string(64, ' ')},
    };
    for (int version : {0, 5, 8, 12, 255}) {
        std::string v = valid;
        v[2] = static_cast<char>(version);
        cases.push_back({"version", v});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AppEngine e;
        e.m_nDbType = 77;
        e.m_nTableCharset = 5;
        e.m_nRecordLength = 6;
        e.m_bMySql56Format = 2;
        e.m_enumValues.push_back(u"kept");
        EXPECT_FALSE(e.ReadFrm(Write(c.bytes)));
        EXPECT_TRUE(e.m_columns.empty());
        EXPECT_EQ(e.m_nDbType, 77);
        EXPECT_EQ(e.m_nTableCharset, 5u);
        EXPECT_EQ(e.m_nRecordLength, 6u);
        EXPECT_EQ(e.m_bMySql56Format, 2);
        EXPECT_EQ(e.m_enumValues.size(), 1u);
    }
    AppEngine e;
    EXPECT_FALSE(e.ReadFrm(CString::FromUtf8((dir / "missing.frm").string())));
    EXPECT_FALSE(e.ReadFrm(CString::FromUtf8(dir.string())));  // a folder
}

TEST_F(FrmReaderTest, TemporalFlagFollowsTheWritingVersion) {
    const std::vector<std::pair<std::uint32_t, int>> cases = {{50599, 0}, {50600, 1}, {101106, 1}, {50173, 0}};
    for (auto [version, flag] : cases) {
        Builder b = OneIntTable();
        b.mysqlVersion = version;
        ASSERT_TRUE(Read(b.Build().bytes));
        EXPECT_EQ(engine->m_bMySql56Format, flag) << version;
    }
}

// --- null bitmap -------------------------------------------------------------------------

TEST_F(FrmReaderTest, NullBitmapSize) {
    struct Case {
        const char* what;
        int nullable;
        std::uint16_t createOptions;
        std::uint8_t nullFlagsByte;
        std::vector<std::pair<std::uint16_t, std::uint16_t>> bits;  // length, pack flags
        std::uint32_t bytes;
    };
    const std::vector<Case> cases = {
        {"3 nullable, null flags first", 3, 0, 0, {}, 1},
        {"7 nullable fill the first byte", 7, 0, 0, {}, 1},
        {"8 nullable need a second byte", 8, 0, 0, {}, 2},
        {"9 nullable", 9, 0, 0, {}, 2},
        {"packed records start at bit 0", 8, 1, 0, {}, 1},
        {"null flags not first start at bit 0", 8, 0, 1, {}, 1},
        {"no nullable column keeps the reserved bit", 0, 0, 0, {}, 1},
        {"no nullable column, packed", 0, 1, 0, {}, 0},
        {"BIT(10) adds 2 bits", 6, 0, 0, {{10, 0}}, 2},
        {"BIT(8) adds none", 6, 0, 0, {{8, 0}}, 1},
        {"BIT(10) stored as characters adds none", 6, 0, 0, {{10, 0x1000}}, 1},
        {"two BIT(7)", 0, 1, 0, {{7, 0}, {7, 0}}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Builder b;
        b.createOptions = c.createOptions;
        b.nullFlagsByte = c.nullFlagsByte;
        b.fields.push_back(F("id", MYSQL_TYPE_LONG, 11));
        for (int i = 0; i < c.nullable; ++i) b.fields.push_back(F("n" + std::to_string(i), MYSQL_TYPE_LONG, 11, kNullable));
        for (std::size_t i = 0; i < c.bits.size(); ++i)
            b.fields.push_back(F("b" + std::to_string(i), MYSQL_TYPE_BIT, c.bits[i].first, c.bits[i].second));
        ASSERT_TRUE(Read(b.Build().bytes));
        EXPECT_EQ(engine->m_nNullBytes, c.bytes);
    }
}

// --- keys --------------------------------------------------------------------------------

TEST_F(FrmReaderTest, KeyMembershipAndKeysInKeyPartOrder) {
    Builder b;
    for (const char* n : {"a", "b", "c", "d", "e"}) b.fields.push_back(F(n, MYSQL_TYPE_LONG, 11));
    // The primary key's parts run against the column order.
    b.keys = {Key{"primary", true, {{3}, {1}}, ""},
              Key{"u", true, {{5}, {0}, {6}, {200}}, ""},  // 0 and past the columns mark nothing
              Key{"plain", false, {{2}}, ""},
              Key{"u2", true, {{4}}, "key note"}};
    ASSERT_TRUE(Read(b.Build().bytes));
    ASSERT_EQ(Columns().size(), 5u);
    const std::vector<std::pair<int, int>> expected = {{1, 0}, {0, 0}, {1, 0}, {0, 1}, {0, 1}};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(Columns()[i].m_bPrimaryKey, expected[i].first) << i;
        EXPECT_EQ(Columns()[i].m_bUniqueKey, expected[i].second) << i;
    }
    ASSERT_EQ(engine->m_frmKeys.size(), 4u);
    EXPECT_EQ(engine->m_frmKeys[0].name, CString(u"primary"));
    EXPECT_TRUE(engine->m_frmKeys[0].unique);
    EXPECT_EQ(engine->m_frmKeys[0].columns, (std::vector<std::uint32_t>{2, 0}));
    EXPECT_EQ(engine->m_frmKeys[1].columns, (std::vector<std::uint32_t>{4}));
    EXPECT_FALSE(engine->m_frmKeys[2].unique);
    EXPECT_EQ(engine->m_frmKeys[2].columns, (std::vector<std::uint32_t>{1}));
    EXPECT_EQ(engine->m_frmKeys[3].name, CString(u"u2"));

    // A second read starts the key list afresh; the columns append as the caller expects.
    Builder one = OneIntTable();
    ASSERT_TRUE(engine->ReadFrm(Write(one.Build().bytes, "second.frm")));
    EXPECT_TRUE(engine->m_frmKeys.empty());
    EXPECT_EQ(Columns().size(), 6u);
}

TEST_F(FrmReaderTest, UniqueKeyWithoutPrimaryAndKeyCountsInTheLongForm) {
    Builder b;
    for (int i = 0; i < 3; ++i) b.fields.push_back(F("c" + std::to_string(i), MYSQL_TYPE_LONG, 11));
    for (int i = 0; i < 130; ++i) b.keys.push_back(Key{"k" + std::to_string(i), i == 129, {{2}, {3}}, ""});
    ASSERT_TRUE(Read(b.Build().bytes));
    ASSERT_EQ(engine->m_frmKeys.size(), 130u);
    EXPECT_EQ(engine->m_frmKeys[129].columns, (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(Columns()[0].m_bUniqueKey, 0);
    EXPECT_EQ(Columns()[1].m_bUniqueKey, 1);
    EXPECT_EQ(Columns()[2].m_bUniqueKey, 1);
    for (const ColumnInfo& c : Columns()) EXPECT_EQ(c.m_bPrimaryKey, 0);
}

TEST_F(FrmReaderTest, NameListHelpers) {
    const std::string bytes = frmtest::NameListBytes({"PRIMARY", "", "Key2"}) + std::string(1, '\0') +
                              frmtest::NameListBytes({"x"}, ',');
    const auto* text = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* cursor = text;
    std::vector<NameList> lists;
    EXPECT_EQ(SplitNameLists(lists, 5, cursor, text + bytes.size()), 3u);
    EXPECT_EQ(cursor, text + bytes.size());
    ASSERT_EQ(lists.size(), 3u);
    EXPECT_EQ(lists[0].m_elements, (std::vector<std::string>{"PRIMARY", "", "Key2"}));
    EXPECT_EQ(lists[1].m_nCount, 0u);
    EXPECT_EQ(lists[2].m_elements, (std::vector<std::string>{"x"}));
    EXPECT_EQ(FindNameInList(lists[0], "primary  "), 1u);
    EXPECT_EQ(FindNameInList(lists[0], "KEY2"), 3u);
    EXPECT_EQ(FindNameInList(lists[0], "KEY"), 0u);
    EXPECT_EQ(FindNameInList(lists[1], ""), 0u);

    // A list without its end keeps its complete elements and stops at the bytes' end.
    const std::string cut = "\xFF" "ab\xFF" "cd";
    const auto* c = reinterpret_cast<const unsigned char*>(cut.data());
    cursor = c;
    lists.clear();
    EXPECT_EQ(SplitNameLists(lists, 1000000, cursor, c + cut.size()), 1u);
    EXPECT_EQ(lists[0].m_elements, (std::vector<std::string>{"ab"}));
    EXPECT_EQ(cursor, c + cut.size());
}

// --- field records -----------------------------------------------------------------------

TEST_F(FrmReaderTest, EnumAndSetTakeTheirOwnElementList) {
    Builder b;
    b.intervals = {{"x", "", "y"}, {"a", "b", "c", "d"}, {"it's"}};
    b.fields = {F("e1", MYSQL_TYPE_ENUM, 1), F("s", MYSQL_TYPE_SET, 1), F("e3", MYSQL_TYPE_ENUM, 1),
                F("e2", MYSQL_TYPE_ENUM, 1), F("e4", MYSQL_TYPE_ENUM, 1), F("e5", MYSQL_TYPE_ENUM, 1)};
    b.fields[0].interval = 1;
    b.fields[1].interval = 2;
    b.fields[2].interval = 0;  // no number: the k-th list, k counting ENUM/SET before it
    b.fields[3].interval = 1;  // the server shares a list between equal columns
    b.fields[4].interval = 9;  // no such list
    b.fields[5].interval = 3;
    Builder withPrevious = b;
    ASSERT_TRUE(Read(b.Build().bytes));
    EXPECT_EQ(engine->m_enumValues,
              (std::vector<CString>{u"x", u"", u"y", u"a", u"b", u"c", u"d", u"it's"}));
    struct Want {
        const char16_t* list;
        std::uint32_t first, count;
    };
    // The list is SQL text of the whole type: the empty element is kept and a quote doubled.
    const std::vector<Want> want = {{u"'x','','y'", 0, 3}, {u"'a','b','c','d'", 3, 4}, {u"'it''s'", 7, 1},
                                    {u"'x','','y'", 0, 3}, {u"", 0, 0},                {u"'it''s'", 7, 1}};
    ASSERT_EQ(Columns().size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(Columns()[i].m_strEnumList, CString(want[i].list)) << i;
        EXPECT_EQ(Columns()[i].m_nEnumFirst, want[i].first) << i;
        EXPECT_EQ(Columns()[i].m_nEnumCount, want[i].count) << i;
    }

    // Appended after what the list already holds, the ranges still point at the column's texts.
    AppEngine e;
    e.m_enumValues = {u"old", u"older"};
    ASSERT_TRUE(e.ReadFrm(Write(withPrevious.Build().bytes, "again.frm")));
    EXPECT_EQ(e.m_columns[1].m_nEnumFirst, 5u);
    EXPECT_EQ(e.m_enumValues[e.m_columns[1].m_nEnumFirst], CString(u"a"));
}

TEST_F(FrmReaderTest, PrecisionAndDecimalsOfNumbers) {
    struct Case {
        const char* what;
        std::uint8_t type;
        std::uint16_t length;
        std::uint16_t pack;
        std::uint32_t precision, decimals;
    };
    const std::vector<Case> cases = {
        {"DECIMAL(10,2) signed", MYSQL_TYPE_NEWDECIMAL, 12, 0x0201 | kNullable, 10, 2},
        {"DECIMAL(10,2) unsigned", MYSQL_TYPE_NEWDECIMAL, 11, 0x0200, 10, 2},
        {"DECIMAL(5,0) signed", MYSQL_TYPE_NEWDECIMAL, 6, 0x0001, 5, 0},
        {"DECIMAL(65,30)", MYSQL_TYPE_NEWDECIMAL, 67, 0x1E01, 65, 30},
        {"DECIMAL(65,38): the scale takes six bits", MYSQL_TYPE_NEWDECIMAL, 67, 0x2601, 65, 38},
        {"old DECIMAL", MYSQL_TYPE_DECIMAL, 8, 0x0301, 6, 3},
        {"length 0 with decimals wraps and is capped", MYSQL_TYPE_NEWDECIMAL, 0, 0x0201, 65, 2},
        {"length past 65 is capped", MYSQL_TYPE_NEWDECIMAL, 90, 0x0001, 65, 0},
        {"FLOAT", MYSQL_TYPE_FLOAT, 12, 0x1F01, 0, 0},
        {"FLOAT(7,3)", MYSQL_TYPE_FLOAT, 7, 0x0301, 7, 3},
        {"DOUBLE", MYSQL_TYPE_DOUBLE, 22, 0x1F01, 0, 0},
        {"DOUBLE(10,2)", MYSQL_TYPE_DOUBLE, 10, 0x0201, 10, 2},
        {"DOUBLE(10,0)", MYSQL_TYPE_DOUBLE, 10, 0x0001, 10, 0},
        {"INT has none", MYSQL_TYPE_LONG, 11, 0x0301, 0, 0},
    };
    Builder b;
    for (const Case& c : cases) b.fields.push_back(F(c.what, c.type, c.length, c.pack));
    ASSERT_TRUE(Read(b.Build().bytes));
    ASSERT_EQ(Columns().size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(Columns()[i].m_nPrecision, cases[i].precision);
        EXPECT_EQ(Columns()[i].m_nDecimals, cases[i].decimals);
    }
}

TEST_F(FrmReaderTest, SignednessComesFromPackFlagBitZeroInBothRecordSizes) {
    const std::vector<std::uint8_t> numeric = {MYSQL_TYPE_TINY,   MYSQL_TYPE_SHORT,     MYSQL_TYPE_INT24,
                                               MYSQL_TYPE_LONG,   MYSQL_TYPE_LONGLONG,  MYSQL_TYPE_FLOAT,
                                               MYSQL_TYPE_DOUBLE, MYSQL_TYPE_NEWDECIMAL, MYSQL_TYPE_DECIMAL};
    Builder wide;
    for (std::uint8_t t : numeric) {
        wide.fields.push_back(F("s" + std::to_string(t), t, 10, kSigned));
        wide.fields.push_back(F("u" + std::to_string(t), t, 10, 0));
    }
    // For strings bit 0 means binary, not a sign.
    wide.fields.push_back(F("bin", MYSQL_TYPE_STRING, 10, kSigned));
    ASSERT_TRUE(Read(wide.Build().bytes));
    ASSERT_EQ(Columns().size(), numeric.size() * 2 + 1);
    for (std::size_t i = 0; i < numeric.size(); ++i) {
        EXPECT_EQ(Columns()[2 * i].m_bSigned, 1) << Columns()[2 * i].m_strName;
        EXPECT_EQ(Columns()[2 * i + 1].m_bSigned, 0) << Columns()[2 * i + 1].m_strName;
    }
    EXPECT_EQ(Columns().back().m_bSigned, 0);

    // Version 7 records: the type is in the pack flags, bits 3-6.
    Builder narrow;
    narrow.version = 7;
    for (std::uint8_t t : numeric) {
        if (t > 15) continue;
        narrow.fields.push_back(F("s", 0, 10, static_cast<std::uint16_t>(t << 3 | kSigned)));
        narrow.fields.push_back(F("u", 0, 10, static_cast<std::uint16_t>(t << 3)));
    }
    ASSERT_TRUE(Read(narrow.Build().bytes));
    for (std::size_t i = 0; i < Columns().size(); ++i) EXPECT_EQ(Columns()[i].m_bSigned, i % 2 == 0 ? 1 : 0) << i;
}

TEST_F(FrmReaderTest, OldElevenByteRecordsOfVersionsSixAndSeven) {
    for (std::uint8_t version : {6, 7}) {
        SCOPED_TRACE(static_cast<int>(version));
        Builder b;
        b.version = version;
        b.fields = {F("id", 0, 11, MYSQL_TYPE_LONG << 3 | kSigned | 0x4000),
                    F("d", 0, 200, MYSQL_TYPE_DOUBLE << 3 | 0x0201 | kNullable),
                    F("v", 0, 30, MYSQL_TYPE_VARCHAR << 3 | kNullable)};
        b.fields[1].recordPos = 0x1234;
        b.keys = {Key{"PRIMARY", true, {{1, 200}}, ""}, Key{"dv", true, {{3}, {2}}, ""}};
        ASSERT_TRUE(Read(b.Build().bytes));
        ASSERT_EQ(Columns().size(), 3u);
        EXPECT_EQ(Columns()[0].m_nType, MYSQL_TYPE_LONG);
        EXPECT_EQ(Columns()[0].m_bNullable, 0);
        EXPECT_EQ(Columns()[1].m_nType, MYSQL_TYPE_DOUBLE);
        EXPECT_EQ(Columns()[1].m_nLength, 200u);
        EXPECT_EQ(Columns()[1].m_nRecordPos, 0x1234u);
        EXPECT_EQ(Columns()[1].m_bNullable, 1);
        EXPECT_EQ(Columns()[1].m_nPrecision, 0u);  // old records carry no precision
        EXPECT_EQ(Columns()[2].m_nType, MYSQL_TYPE_VARCHAR);
        EXPECT_EQ(Columns()[0].m_bPrimaryKey, 1);
        EXPECT_EQ(Columns()[1].m_bUniqueKey, 1);
        EXPECT_EQ(Columns()[2].m_bUniqueKey, 1);
        ASSERT_EQ(engine->m_frmKeys.size(), 2u);
        EXPECT_EQ(engine->m_frmKeys[1].columns, (std::vector<std::uint32_t>{2, 1}));
        EXPECT_EQ(engine->m_nNullBytes, 1u);
    }
}

TEST_F(FrmReaderTest, NamesElementsAndCommentsAreUtf8) {
    Builder b;
    b.intervals = {{"gr\xC3\xBC\x6E", "blau"}};
    b.fields = {F("gr\xC3\xB6\xC3\x9F" "e", MYSQL_TYPE_LONG, 11), F("farbe", MYSQL_TYPE_ENUM, 1),
                F("x", MYSQL_TYPE_LONG, 11), F("g", MYSQL_TYPE_GEOMETRY, 4)};
    b.fields[0].comment = "h\xC3\xA9llo";
    b.fields[1].interval = 1;
    b.fields[2].comment = "second";
    b.fields[3].charset = 6;  // the subtype shares the character-set byte
    b.keys = {Key{"\xC3\xA9" "k", true, {{1}}, "a key comment"}};
    ASSERT_TRUE(Read(b.Build().bytes));
    ASSERT_EQ(Columns().size(), 4u);
    EXPECT_EQ(Columns()[0].m_strName, CString(u"gr\u00F6\u00DFe"));
    EXPECT_EQ(Columns()[0].m_strComment, CString(u"h\u00E9llo"));
    EXPECT_EQ(Columns()[1].m_strEnumList, CString(u"'gr\u00FCn','blau'"));
    EXPECT_EQ(Columns()[1].m_strComment, CString());
    EXPECT_EQ(Columns()[2].m_strComment, CString(u"second"));
    EXPECT_EQ(Columns()[3].m_nGeometryType, 6u);
    EXPECT_EQ(engine->m_frmKeys[0].name, CString(u"\u00E9k"));
}

TEST_F(FrmReaderTest, ElementsOfTwoByteCharacterSetsAreWrittenInHex) {
    ASSERT_EQ(app.m_mapCollation.count(35), 1u) << "collation (2) beside the test program";
    Builder b;
    // As the server writes ENUM('ab','c') CHARACTER SET ucs2, and the same for utf32 and utf16le.
    b.intervals = {{"00610062", "0063"}, {"0001F600", "000000E9"}, {"E900", ""}, {"not hex"}, {"0061"}};
    b.fields = {F("u", MYSQL_TYPE_ENUM, 1), F("w", MYSQL_TYPE_SET, 1), F("l", MYSQL_TYPE_ENUM, 1),
                F("odd", MYSQL_TYPE_ENUM, 1), F("plain", MYSQL_TYPE_ENUM, 1)};
    const std::uint16_t charsets[] = {35, 60, 56, 35, 45};
    for (std::size_t i = 0; i < b.fields.size(); ++i) {
        b.fields[i].charset = charsets[i];
        b.fields[i].interval = static_cast<std::uint8_t>(i + 1);
    }
    ASSERT_TRUE(Read(b.Build().bytes));
    EXPECT_EQ(engine->m_enumValues, (std::vector<CString>{u"ab", u"c", u"\U0001F600", u"\u00E9", u"\u00E9", u"",
                                                          u"not hex", u"0061"}));
    EXPECT_EQ(Columns()[0].m_strEnumList, CString(u"'ab','c'"));
    EXPECT_EQ(Columns()[2].m_nEnumCount, 2u);
}

// --- damaged definitions -----------------------------------------------------------------

Builder RichTable() {
    Builder b;
    b.intervals = {{"x", "", "y"}, {"a", "b"}};
    b.fields = {F("id", MYSQL_TYPE_LONG, 11, kSigned), F("e", MYSQL_TYPE_ENUM, 1, kNullable),
                F("s", MYSQL_TYPE_SET, 1), F("v", MYSQL_TYPE_VARCHAR, 40, kNullable),
                F("bits", MYSQL_TYPE_BIT, 10), F("d", MYSQL_TYPE_NEWDECIMAL, 12, 0x0201)};
    b.fields[1].interval = 1;
    b.fields[2].interval = 2;
    b.fields[3].comment = "note";
    b.fields[5].comment = "more";
    b.keys = {Key{"PRIMARY", true, {{1}}, ""}, Key{"ev", true, {{2}, {4}}, "c"}, Key{"d", false, {{6}}, ""}};
    return b;
}

TEST_F(FrmReaderTest, FewerFieldNamesThanFieldsFails) {
    Builder b = RichTable();
    Image img = b.Build();
    img.Put16(img.formPos + 258, 7);  // one field more than names
    // Keep the record area consistent with the count so only the names disagree.
    img.bytes.insert(img.recordsPos + 6 * 17, std::string(17, '\0'));
    EXPECT_FALSE(Read(img.bytes));
    EXPECT_TRUE(Columns().empty());
    EXPECT_EQ(engine->m_nDbType, 9);  // set before the failure
    EXPECT_TRUE(engine->m_frmKeys.empty());

    Image fewer = b.Build();
    fewer.Put16(fewer.formPos + 258, 5);  // one name more than fields
    EXPECT_FALSE(Read(fewer.bytes));
    EXPECT_TRUE(Columns().empty());
}

TEST_F(FrmReaderTest, TruncatedAtEveryBlockFailsWithoutColumns) {
    const Image img = RichTable().Build();
    ASSERT_TRUE(Read(img.bytes));
    const std::vector<std::pair<const char*, std::uint32_t>> cuts = {
        {"inside the form position", 66},
        {"inside the key section", img.keyPos + 10},
        {"at the form information", img.formPos},
        {"inside the form information", img.formPos + 200},
        {"inside the screen", img.fieldBlockPos + 3},
        {"inside the records", img.recordsPos + 20},
        {"inside the names", img.namesPos + 3},
        {"inside the element lists", img.intervalsPos + 2},
        {"inside the comments", img.commentsPos + 3},
        {"one byte short", static_cast<std::uint32_t>(img.bytes.size() - 1)},
    };
    for (const auto& [what, length] : cuts) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(Read(img.bytes.substr(0, length)));
        EXPECT_TRUE(Columns().empty());
    }
}

TEST_F(FrmReaderTest, CountsLargerThanTheFile) {
    const Builder b = RichTable();
    struct Case {
        const char* what;
        std::size_t at;  // offset of a 16- or 32-bit value
        std::uint32_t value;
        bool wide;
        bool ok;
    };
    const Image img = b.Build();
    const std::vector<Case> cases = {
        {"form position past the end", 64 + 5, 0x7FFFFFF0u, true, false},
        {"form position 0", 64 + 5, 0, true, false},
        {"form count 0", 8, 0, false, false},
        {"form-name block past the end", 4, 0xFFFF, false, false},
        {"field count", img.formPos + 258, 0xFFFF, false, false},
        {"screen length", img.formPos + 260, 0xFFFF, false, false},
        {"name-list length", img.formPos + 268, 0xFFFF, false, false},
        {"element-text length", img.formPos + 274, 0xFFFF, false, false},
        {"comment length", img.formPos + 284, 0xFFFF, false, false},
        // The key section and the element-list count are read as far as the bytes go.
        {"key section length", 28, 0xFFFF, false, true},
        {"key section position past the end", 6, 0xFFFF, false, true},
        {"element-list count", img.formPos + 270, 0xFFFF, false, true},
        {"nullable count", img.formPos + 282, 0xFFFF, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Image damaged = img;
        if (c.wide) damaged.Put32(c.at, c.value);
        else damaged.Put16(c.at, c.value);
        EXPECT_EQ(Read(damaged.bytes), c.ok);
        EXPECT_EQ(Columns().size(), c.ok ? 6u : 0u);
    }
}

TEST_F(FrmReaderTest, DamagedKeySectionKeepsWhatCouldBeRead) {
    const Image img = RichTable().Build();
    ASSERT_TRUE(Read(img.bytes));
    const std::vector<FrmKeyDef> original = engine->m_frmKeys;
    ASSERT_EQ(original.size(), 3u);
    struct Case {
        const char* what;
        std::size_t at;
        std::uint8_t value;
        std::size_t intact;  // leading keys that read as before
        std::size_t atMost;
    };
    // Key headers at 6, 23 and 49 of the section, each 8 bytes, the part count at 4.
    const std::vector<Case> cases = {
        {"key count far past the section", img.keyPos + 0, 0x7F, 3, 6},
        {"long-form counts", img.keyPos + 0, 0xFF, 3, 6},
        {"part count of the first key", img.keyPos + 6 + 4, 0xFF, 0, 1},
        {"part count of the last key", img.keyPos + 49 + 4, 0xFF, 2, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Image damaged = img;
        damaged.bytes[c.at] = static_cast<char>(c.value);
        ASSERT_TRUE(Read(damaged.bytes));
        EXPECT_EQ(Columns().size(), 6u);
        EXPECT_GE(engine->m_frmKeys.size(), std::max<std::size_t>(c.intact, 1));
        EXPECT_LE(engine->m_frmKeys.size(), c.atMost);
        for (std::size_t k = 0; k < c.intact && k < engine->m_frmKeys.size(); ++k)
            EXPECT_EQ(engine->m_frmKeys[k].columns, original[k].columns) << k;
    }
    // A key comment longer than the section is not read; the keys stay.
    Image longComment = img;
    const std::size_t commentAt = img.keyPos + img.bytes.substr(img.keyPos).find("c", 6 + 3 * 8 + 4 * 9) - 2;
    longComment.Put16(commentAt, 0xFFFF);
    ASSERT_TRUE(Read(longComment.bytes));
    EXPECT_EQ(engine->m_frmKeys.size(), 3u);
    EXPECT_EQ(Columns()[0].m_bPrimaryKey, 1);
}

TEST_F(FrmReaderTest, CommentLongerThanTheCommentTextTakesWhatIsThere) {
    const Image img = RichTable().Build();
    Image damaged = img;
    damaged.Put16(img.recordsPos + 3 * 17 + 15, 6);  // "note" is 4 bytes, then "more"
    ASSERT_TRUE(Read(damaged.bytes));
    EXPECT_EQ(Columns()[3].m_strComment, CString(u"notemo"));
    EXPECT_EQ(Columns()[5].m_strComment, CString(u"re"));
}

// Every byte of a small definition set to a few telling values: the reader must neither
// read outside its blocks nor keep working state, whatever it returns.
TEST_F(FrmReaderTest, EveryByteDamagedStaysInsideTheFile) {
    const Image img = RichTable().Build();
    std::size_t ok = 0;
    for (std::size_t at = 0; at < img.bytes.size(); ++at) {
        for (unsigned char value : {0x00, 0x7F, 0x80, 0xFF}) {
            std::string damaged = img.bytes;
            damaged[at] = static_cast<char>(value);
            if (Read(damaged)) {
                ++ok;
                for (const ColumnInfo& c : Columns()) {
                    EXPECT_LE(c.m_nEnumFirst + c.m_nEnumCount, engine->m_enumValues.size());
                    EXPECT_LE(c.m_nPrecision, 65u);
                }
                for (const FrmKeyDef& k : engine->m_frmKeys)
                    for (std::uint32_t col : k.columns) EXPECT_LT(col, Columns().size());
            } else {
                EXPECT_TRUE(Columns().empty());
            }
        }
    }
    EXPECT_GT(ok, 0u);
}

}  // namespace

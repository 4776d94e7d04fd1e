#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "engine/TableEngine.h"
#include "tests/engine/InnoWalkTestPages.h"

using namespace innotest;

namespace {

constexpr std::uint32_t kMtypeVarChar = 12;  // variable character with a character set
constexpr std::uint32_t kMtypeInt = 6;
constexpr std::uint32_t kNoPage = 0xFFFFFFFF;
constexpr std::uint32_t kUtf8 = 45;

// Table t(id INT NOT NULL PRIMARY KEY, name VARCHAR(20) NULL, n INT NULL), clustered
// record: id, DB_TRX_ID, DB_ROLL_PTR, name, n.
struct SmallTable {
    CDralvekOstruneApp app;
    AppEngine engine;
    TempTablespace space{"small.ibd"};

    SmallTable() {
        const char16_t* names[] = {u"id", u"name", u"n"};
        for (std::uint32_t i = 0; i < 3; ++i) {
            ColumnInfo c;
            c.m_strName = names[i];
            c.m_nColumn = i;
            engine.m_columns.push_back(c);
        }
        engine.m_innoColumns = {
            Field(u"id", 0, kMtypeInt, INNO_PRTYPE_NOT_NULL | 3, 4, 4, MYSQL_TYPE_LONG),
            SystemField(u"DB_TRX_ID", 6),
            SystemField(u"DB_ROLL_PTR", 7),
            Field(u"name", 1, kMtypeVarChar, 15, 80, 0, MYSQL_TYPE_VARCHAR, kUtf8),
            Field(u"n", 2, kMtypeInt, 3, 4, 4, MYSQL_TYPE_LONG),
        };
    }

    static RecordSpec Row(int id, std::optional<std::string> name, std::optional<int> n, std::uint8_t info = 0) {
        RecordSpec r;
        std::uint8_t nulls = (name ? 0 : 1) | (n ? 0 : 2);
        if (name) r.extra.push_back(static_cast<unsigned char>(name->size()));
        r.extra.push_back(nulls);
        r.data = Concat({InnoInt(id, 4), Bytes(13, 0xAA), name ? Text(*name) : Bytes(), n ? InnoInt(*n, 4) : Bytes()});
        r.info = info;
        return r;
    }
    // A node pointer of the clustered index: the key, then the child page.
    static RecordSpec NodePtr(int id, std::uint32_t child) {
        RecordSpec r;
        r.extra = {0x00};
        r.data = InnoInt(id, 4);
        Bytes c(4);
        Put32(c, 0, child);
        r.data.insert(r.data.end(), c.begin(), c.end());
        r.status = 1;
        return r;
    }

    void Open() {
        engine.m_nIbdPages = space.Flush();
        ASSERT_TRUE(engine.m_fileIbd.Open(CString::FromUtf8(space.Path()), CFile::modeRead));
    }

    // Cells of m_rows as text, one string per row: "id|name|n".
    std::vector<std::string> Rows() const {
        std::vector<std::string> out;
        for (const TableRow& row : engine.m_rows) {
            std::string line;
            for (std::size_t i = 0; i < row.size(); ++i) line += (i ? "|" : "") + row[i].m_strValue.ToUtf8();
            out.push_back(line);
        }
        return out;
    }
    std::vector<int> Ids() const {
        std::vector<int> out;
        for (const TableRow& row : engine.m_rows) out.push_back(std::stoi(row[0].m_strValue.ToUtf8()));
        return out;
    }
};

using Lines = std::vector<std::string>;

TEST(InnoWalk, RowsFollowTheRecordChainNotThePlacement) {
    SmallTable t;
    CompactPage leaf(3);
    std::uint32_t a = leaf.Add(t.Row(1, "alpha", 10));
    std::uint32_t b = leaf.Add(t.Row(2, std::nullopt, -5));
    std::uint32_t c = leaf.Add(t.Row(3, "", std::nullopt));
    std::uint32_t d = leaf.Add(t.Row(4, "Zoë", 0));
    // Key order 1, 3, 2, 4: the link from 3 to 2 points backwards.
    leaf.Link({a, c, b, d});
    t.space.Write(3, leaf.Raw());
    t.Open();
    EXPECT_EQ(t.engine.DescendToLeafIbd(3), 3u);
    EXPECT_TRUE(t.engine.ReadLeafRowsIbd(3, 0));
    EXPECT_EQ(t.Rows(), (Lines{"1|alpha|10", "3||NULL", "2|NULL|-5", "4|Zoë|0"}));
    EXPECT_EQ(t.engine.m_bBatchFull, 0);
    EXPECT_TRUE(t.engine.m_bookmarks.empty());
    // Nullable layout columns are marked as such.
    EXPECT_EQ(t.engine.m_innoColumns[3].column.m_bNullable, 1);
    EXPECT_EQ(t.engine.m_innoColumns[0].column.m_bNullable, 0);
}

TEST(InnoWalk, DeleteMarkedAndNonOrdinaryRecordsAreNoRows) {
    SmallTable t;
    CompactPage leaf(3);
    std::uint32_t a = leaf.Add(t.Row(1, "kept", 1));
    // Info bits are the high half of the header byte: 0x2 is the delete mark 0x20.
    std::uint32_t b = leaf.Add(t.Row(2, "deleted", 2, 0x2));
    // MariaDB's instant-ALTER metadata record: min-rec flag, status 4.
    RecordSpec meta = t.Row(0, "metadata", 0, 0x1);
    meta.status = 4;
    std::uint32_t m = leaf.Add(meta);
    std::uint32_t c = leaf.Add(t.Row(3, "kept too", 3));
    leaf.Link({m, a, b, c});
    t.space.Write(3, leaf.Raw());
    t.Open();
    t.engine.ReadLeafRowsIbd(3, 0);
    EXPECT_EQ(t.Rows(), (Lines{"1|kept|1", "3|kept too|3"}));
}

TEST(InnoWalk, EmptyTableGivesNoRows) {
    SmallTable t;
    CompactPage leaf(3);
    t.space.Write(3, leaf.Raw());
    t.Open();
    EXPECT_EQ(t.engine.DescendToLeafIbd(3), 3u);
    EXPECT_TRUE(t.engine.ReadLeafRowsIbd(3, 0));
    EXPECT_TRUE(t.engine.m_rows.empty());
    EXPECT_TRUE(t.engine.ReadLeafRowsIbd(kNoPage, 0));
    EXPECT_TRUE(t.engine.m_rows.empty());
}

TEST(InnoWalk, NinthNullableColumnIsBitZeroOfTheSecondBitmapByte) {
    CDralvekOstruneApp app;
    AppEngine e;
    TempTablespace space("nulls.ibd");
    ColumnInfo idc;
    idc.m_strName = u"id";
    e.m_columns.push_back(idc);
    e.m_innoColumns = {Field(u"id", 0, kMtypeInt, INNO_PRTYPE_NOT_NULL, 4, 4, MYSQL_TYPE_LONG),
                       SystemField(u"DB_TRX_ID", 6), SystemField(u"DB_ROLL_PTR", 7)};
    for (std::uint32_t i = 1; i <= 9; ++i) {
        ColumnInfo c;
        c.m_nColumn = i;
        e.m_columns.push_back(c);
        e.m_innoColumns.push_back(Field(u"c", i, kMtypeInt, 3, 4, 4, MYSQL_TYPE_LONG));
    }
    struct Case {
        std::uint8_t low, high;  // bitmap bytes at origin-6 and origin-7
        std::string expected;
    };
    const Case cases[] = {
        {0x00, 0x00, "1|2|3|4|5|6|7|8|9"},
        {0x00, 0x01, "1|2|3|4|5|6|7|8|NULL"},
        {0x80, 0x00, "1|2|3|4|5|6|7|NULL|9"},
        {0x55, 0x01, "NULL|2|NULL|4|NULL|6|NULL|8|NULL"},
    };
    CompactPage leaf(3);
    for (const Case& c : cases) {
        RecordSpec r;
        r.extra = {c.high, c.low};
        r.data = Concat({InnoInt(7, 4), Bytes(13, 0)});
        for (int col = 1; col <= 9; ++col) {
            const bool isNull = col <= 8 ? (c.low >> (col - 1)) & 1 : c.high & 1;
            if (!isNull) r.data = Concat({r.data, InnoInt(col, 4)});
        }
        leaf.Add(r);
    }
    leaf.Link();
    space.Write(3, leaf.Raw());
    e.m_nIbdPages = space.Flush();
    ASSERT_TRUE(e.m_fileIbd.Open(CString::FromUtf8(space.Path()), CFile::modeRead));
    e.ReadLeafRowsIbd(3, 0);
    ASSERT_EQ(e.m_rows.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        std::string line;
        for (std::size_t col = 1; col <= 9; ++col) line += (col > 1 ? "|" : "") + e.m_rows[i][col].m_strValue.ToUtf8();
        EXPECT_EQ(line, cases[i].expected) << "case " << i;
    }
}

TEST(InnoWalk, LengthBytesTakeOneOrTwoBytesByColumn) {
    // One variable column per case, after the key and the system columns.
    struct Case {
        const char* what;
        std::uint32_t mtype, len;
        Bytes lengthBytes;  // as stored, in address order (the first length byte highest)
        std::uint32_t dataLength;
    };
    const Case cases[] = {
        {"len 200: 0x96 is one byte, 150", kMtypeVarChar, 200, {0x96}, 150},
        {"len 300: 0x81 0x2C is 300", kMtypeVarChar, 300, {0x2C, 0x81}, 300},
        {"len 300, short value: one byte", kMtypeVarChar, 300, {0x7F}, 127},
        {"BLOB of len 10: two bytes", INNO_MTYPE_BLOB, 10, {0x00, 0x81}, 256},
        {"geometry (mtype 14): two bytes", 14, 10, {0x04, 0x81}, 260},
    };
    for (const Case& c : cases) {
        CDralvekOstruneApp app;
        AppEngine e;
        TempTablespace space("len.ibd");
        ColumnInfo a, b, tail;
        b.m_nColumn = 1;
        tail.m_nColumn = 2;
        e.m_columns = {a, b, tail};
        e.m_innoColumns = {Field(u"id", 0, kMtypeInt, INNO_PRTYPE_NOT_NULL, 4, 4, MYSQL_TYPE_LONG),
                           SystemField(u"DB_TRX_ID", 6), SystemField(u"DB_ROLL_PTR", 7),
                           Field(u"v", 1, c.mtype, INNO_PRTYPE_NOT_NULL, c.len, 0, MYSQL_TYPE_VARCHAR, kUtf8),
                           Field(u"tail", 2, kMtypeInt, INNO_PRTYPE_NOT_NULL, 4, 4, MYSQL_TYPE_LONG)};
        CompactPage leaf(3);
        RecordSpec r;
        r.extra = c.lengthBytes;
        r.data = Concat({InnoInt(1, 4), Bytes(13, 0), Bytes(c.dataLength, 'x'), InnoInt(42, 4)});
        leaf.Add(r);
        leaf.Link();
        space.Write(3, leaf.Raw());
        e.m_nIbdPages = space.Flush();
        ASSERT_TRUE(e.m_fileIbd.Open(CString::FromUtf8(space.Path()), CFile::modeRead));
        e.ReadLeafRowsIbd(3, 0);
        ASSERT_EQ(e.m_rows.size(), 1u) << c.what;
        EXPECT_EQ(e.m_rows[0][1].m_strValue.GetLength(), static_cast<int>(c.dataLength)) << c.what;
        EXPECT_EQ(e.m_rows[0][2].m_strValue, CString(u"42")) << c.what;
    }
}

TEST(InnoWalk, OffPageFieldKeepsItsWholeLocalPart) {
    CDralvekOstruneApp app;
    AppEngine e;
    TempTablespace space("extern.ibd");
    ColumnInfo a, b, tail;
    b.m_nColumn = 1;
    tail.m_nColumn = 2;
    e.m_columns = {a, b, tail};
    e.m_innoColumns = {Field(u"id", 0, kMtypeInt, INNO_PRTYPE_NOT_NULL, 4, 4, MYSQL_TYPE_LONG),
                       SystemField(u"DB_TRX_ID", 6), SystemField(u"DB_ROLL_PTR", 7),
                       Field(u"b", 1, INNO_MTYPE_BLOB, INNO_PRTYPE_NOT_NULL, 10, 0, MYSQL_TYPE_BLOB, kUtf8),
                       Field(u"tail", 2, kMtypeInt, INNO_PRTYPE_NOT_NULL, 4, 4, MYSQL_TYPE_LONG)};
    CompactPage leaf(3);
    RecordSpec r;
    // 788 bytes (a 768-byte prefix and the reference), with the off-page bit 0x40.
    r.extra = {788 & 0xFF, static_cast<unsigned char>(0xC0 | (788 >> 8))};
    r.data = Concat({InnoInt(1, 4), Bytes(13, 0), Bytes(788, 'p'), InnoInt(42, 4)});
    leaf.Add(r);
    leaf.Link();
    space.Write(3, leaf.Raw());
    e.m_nIbdPages = space.Flush();
    ASSERT_TRUE(e.m_fileIbd.Open(CString::FromUtf8(space.Path()), CFile::modeRead));
    e.ReadLeafRowsIbd(3, 0);
    ASSERT_EQ(e.m_rows.size(), 1u);
    EXPECT_EQ(e.m_rows[0][1].m_strValue, CString(u"Large Size Blob Data"));
    EXPECT_EQ(e.m_rows[0][2].m_strValue, CString(u"42"));
}

// Leaf pages of narrow records (id INT NOT NULL and the system columns), ids counted on.
struct NarrowTable {
    CDralvekOstruneApp app;
    AppEngine engine;
    TempTablespace space{"narrow.ibd"};
    int nextId = 1;

    NarrowTable() {
        ColumnInfo c;
        c.m_strName = u"id";
        engine.m_columns.push_back(c);
        engine.m_innoColumns = {Field(u"id", 0, kMtypeInt, INNO_PRTYPE_NOT_NULL, 4, 4, MYSQL_TYPE_LONG),
                                SystemField(u"DB_TRX_ID", 6), SystemField(u"DB_ROLL_PTR", 7)};
    }
    CompactPage Leaf(std::uint32_t pageNo, int rows, std::uint32_t prev, std::uint32_t next) {
        CompactPage p(pageNo, 0, 77, prev, next);
        for (int i = 0; i < rows; ++i) {
            RecordSpec r;
            r.data = Concat({InnoInt(nextId++, 4), Bytes(13, 0)});
            p.Add(r);
        }
        p.Link();
        return p;
    }
    void Open() {
        engine.m_nIbdPages = space.Flush();
        ASSERT_TRUE(engine.m_fileIbd.Open(CString::FromUtf8(space.Path()), CFile::modeRead));
        engine.m_fileIbdata.Open(CString::FromUtf8(space.Path()), CFile::modeRead);
        engine.m_nIbdataPages = engine.m_nIbdPages;
    }
    std::vector<int> Ids() const {
        std::vector<int> out;
        for (const TableRow& row : engine.m_rows) out.push_back(std::stoi(row[0].m_strValue.ToUtf8()));
        return out;
    }
    // A later page, as the paging handlers ask for it.
    void Resume(const PageBookmark& b, bool ibd = true) {
        engine.m_rows.clear();
        if (ibd) engine.ReadLeafRowsIbd(static_cast<std::uint32_t>(b.m_nPage), static_cast<std::uint16_t>(b.m_nOffset));
        else engine.ReadLeafRowsSystem(static_cast<std::uint32_t>(b.m_nPage), static_cast<std::uint16_t>(b.m_nOffset));
    }
};

std::vector<int> Range(int first, int last) {
    std::vector<int> v;
    for (int i = first; i <= last; ++i) v.push_back(i);
    return v;
}

TEST(InnoWalk, BatchEndingMidPageResumesAtTheNextRecord) {
    for (bool ibd : {true, false}) {
        NarrowTable t;
        t.space.Write(4, t.Leaf(4, 700, kNoPage, 5).Raw());
        CompactPage middle = t.Leaf(5, 700, 4, 6);
        t.space.Write(5, middle.Raw());
        t.space.Write(6, t.Leaf(6, 100, 5, kNoPage).Raw());
        t.Open();
        t.engine.m_bookmarks.push_back({4, 0});
        if (ibd) t.engine.ReadLeafRowsIbd(4, 0);
        else t.engine.ReadLeafRowsSystem(4, 0);
        EXPECT_EQ(t.Ids(), Range(1, 1000));
        EXPECT_EQ(t.engine.m_bBatchFull, 1);
        ASSERT_EQ(t.engine.m_bookmarks.size(), 2u);
        // The 301st record of page 5 is where the next page of rows starts.
        EXPECT_EQ(t.engine.m_bookmarks.back().m_nPage, 5u);
        EXPECT_EQ(t.engine.m_bookmarks.back().m_nOffset, middle.Origins()[300]);

        t.Resume(t.engine.m_bookmarks.back(), ibd);
        EXPECT_EQ(t.Ids(), Range(1001, 1500));
        EXPECT_EQ(t.engine.m_bBatchFull, 0);
        EXPECT_EQ(t.engine.m_bookmarks.size(), 2u);

        // Going back re-reads the first page of rows without a new bookmark.
        t.engine.m_bNoBookmark = 1;
        t.Resume(t.engine.m_bookmarks.front(), ibd);
        EXPECT_EQ(t.Ids(), Range(1, 1000));
        EXPECT_EQ(t.engine.m_bBatchFull, 1);
        EXPECT_EQ(t.engine.m_bookmarks.size(), 2u);
    }
}

TEST(InnoWalk, BatchEndingAtTheSupremumResumesOnTheNextPage) {
    NarrowTable t;
    t.space.Write(4, t.Leaf(4, 500, kNoPage, 5).Raw());
    t.space.Write(5, t.Leaf(5, 500, 4, kNoPage).Raw());
    t.Open();
    t.engine.ReadLeafRowsIbd(4, 0);
    EXPECT_EQ(t.Ids(), Range(1, 1000));
    ASSERT_EQ(t.engine.m_bookmarks.size(), 1u);
    EXPECT_EQ(t.engine.m_bookmarks.back().m_nPage, 5u);
    EXPECT_EQ(t.engine.m_bookmarks.back().m_nOffset, INNO_COMPACT_SUPREMUM);
    t.Resume(t.engine.m_bookmarks.back());
    EXPECT_TRUE(t.engine.m_rows.empty());
    EXPECT_EQ(t.engine.m_bBatchFull, 0);
}

TEST(InnoWalk, LeafChainStopRulesOfTheTwoFiles) {
    // Page 4 -> 5 -> 0 -> 6: page 5 names 0 as next, page 0 is no index page and names 6.
    {
        NarrowTable t;
        t.space.Write(0, BlankPage(0, 8, kNoPage, 6));
        t.space.Write(4, t.Leaf(4, 3, kNoPage, 5).Raw());
        t.space.Write(5, t.Leaf(5, 3, 4, 0).Raw());
        t.space.Write(6, t.Leaf(6, 3, 5, kNoPage).Raw());
        t.Open();
        t.engine.ReadLeafRowsIbd(4, 0);
        EXPECT_EQ(t.Ids(), Range(1, 9)) << ".ibd reads through page 0";
        t.engine.m_rows.clear();
        t.engine.ReadLeafRowsSystem(4, 0);
        EXPECT_EQ(t.Ids(), Range(1, 6)) << "ibdata1 ends at page 0";
    }
    // A page naming the same page as previous and next.
    {
        NarrowTable t;
        t.space.Write(4, t.Leaf(4, 2, 5, 5).Raw());
        t.space.Write(5, t.Leaf(5, 2, 4, kNoPage).Raw());
        t.Open();
        t.engine.ReadLeafRowsIbd(4, 0);
        EXPECT_EQ(t.Ids(), Range(1, 2)) << ".ibd stops";
        t.engine.m_rows.clear();
        t.engine.ReadLeafRowsSystem(4, 0);
        EXPECT_EQ(t.Ids(), Range(1, 4)) << "ibdata1 goes on";
    }
}

TEST(InnoWalk, DamagedChainsEnd) {
    // Leaf chains 4 -> 5 -> 4 (page 5 holds no rows) and 4 -> 4.
    for (bool selfLink : {false, true}) {
        NarrowTable t;
        t.space.Write(4, t.Leaf(4, 2, 9, selfLink ? 4 : 5).Raw());
        t.space.Write(5, BlankPage(5, 3, 4, 4));
        t.Open();
        t.engine.ReadLeafRowsIbd(4, 0);
        EXPECT_EQ(t.Ids(), Range(1, 2));
        t.engine.m_rows.clear();
        t.engine.ReadLeafRowsSystem(4, 0);
        EXPECT_EQ(t.Ids(), Range(1, 2));
    }
    // A record linking to itself, and two records linking to each other.
    {
        NarrowTable t;
        CompactPage p = t.Leaf(4, 3, kNoPage, kNoPage);
        p.SetNext(p.Origins()[1], p.Origins()[1]);
        t.space.Write(4, p.Raw());
        CompactPage q = t.Leaf(5, 3, kNoPage, kNoPage);
        q.SetNext(q.Origins()[2], q.Origins()[0]);
        t.space.Write(5, q.Raw());
        t.Open();
        t.engine.ReadLeafRowsIbd(4, 0);
        EXPECT_EQ(t.Ids(), (std::vector<int>{1, 2}));
        t.engine.m_rows.clear();
        t.engine.ReadLeafRowsIbd(5, 0);
        EXPECT_EQ(t.Ids(), (std::vector<int>{4, 5, 6}));
    }
}

TEST(InnoWalk, DamagedRecordsCostOnlyThemselves) {
    SmallTable t;
    CompactPage leaf(3, 0, 77, kNoPage, 4);
    std::uint32_t a = leaf.Add(t.Row(1, "one", 1));
    RecordSpec bad = t.Row(2, "two", 2);
    std::uint32_t b = leaf.AddAt(16300, bad);
    // Its length byte claims 200 bytes: past the end of the page.
    leaf.Raw()[b - 7] = 200;
    std::uint32_t c = leaf.Add(t.Row(3, "three", 3));
    leaf.Link({a, b, c});
    t.space.Write(3, leaf.Raw());
    // Page 4 is REDUNDANT (no "infimum" at 99): skipped, the chain goes on to page 5.
    Bytes redundant = CompactPage(4, 0, 77, 3, 5).Raw();
    std::memset(&redundant[94], 0, 30);
    std::memcpy(&redundant[101], "infimum", 8);
    t.space.Write(4, redundant);
    CompactPage next(5, 0, 77, 4, 6);
    next.Add(t.Row(4, "four", 4));
    next.Link();
    t.space.Write(5, next.Raw());
    // Page 6 belongs to another index: the walk ends before it.
    CompactPage foreign(6, 0, 78, 5, kNoPage);
    foreign.Add(t.Row(99, "foreign", 99));
    foreign.Link();
    t.space.Write(6, foreign.Raw());
    t.Open();
    t.engine.ReadLeafRowsIbd(3, 0);
    EXPECT_EQ(t.Ids(), (std::vector<int>{1, 3, 4}));
}

TEST(InnoWalk, RecordsWhoseDataRunOutGiveEmptyTexts) {
    SmallTable t;
    CompactPage leaf(3);
    std::uint32_t a = leaf.Add(t.Row(1, "abc", 5));
    std::uint32_t b = leaf.Add(t.Row(2, "x", 6));
    leaf.Link({a, b});
    // The forward link of the first record is only 17 bytes: id and the system columns.
    leaf.SetRaw16(a - 2, 17);
    t.space.Write(3, leaf.Raw());
    t.Open();
    t.engine.ReadLeafRowsIbd(3, 0);
    ASSERT_GE(t.engine.m_rows.size(), 1u);
    EXPECT_EQ(t.Rows()[0], "1||");
}

TEST(InnoWalk, ThreeLevelDescentFollowsTheLeftmostChild) {
    SmallTable t;
    CompactPage root(3, 2);
    root.Add(t.NodePtr(1, 7));
    root.Add(t.NodePtr(500, 8));
    root.Link();
    CompactPage middle(7, 1);
    middle.Add(t.NodePtr(1, 12));
    middle.Add(t.NodePtr(200, 13));
    middle.Link();
    CompactPage leaf(12, 0, 77, kNoPage, 13);
    leaf.Add(t.Row(1, "first", 1));
    leaf.Link();
    t.space.Write(3, root.Raw());
    t.space.Write(7, middle.Raw());
    t.space.Write(12, leaf.Raw());
    t.Open();
    EXPECT_EQ(t.engine.DescendToLeafIbd(3), 12u);
    EXPECT_EQ(t.engine.DescendToLeafIbd(7), 12u);
    EXPECT_EQ(t.engine.DescendToLeafIbd(12), 12u);
}

TEST(InnoWalk, DamagedDescentsGiveZero) {
    struct Case {
        const char* what;
        std::uint32_t child;
        std::uint16_t childLevel;
        std::uint64_t childIndex;
        bool childIsIndex;
    };
    const Case cases[] = {
        {"child is the root itself", 3, 1, 77, true},
        {"child at the same level", 9, 1, 77, true},
        {"child of another index", 9, 0, 78, true},
        {"child is no index page", 9, 0, 77, false},
        {"child past the end of the file", 40, 0, 77, true},
    };
    for (const Case& c : cases) {
        SmallTable t;
        CompactPage root(3, 1);
        root.Add(t.NodePtr(1, c.child));
        root.Link();
        t.space.Write(3, root.Raw());
        t.space.Write(9, c.childIsIndex ? CompactPage(9, c.childLevel, c.childIndex).Raw() : BlankPage(9, 3));
        t.Open();
        EXPECT_EQ(t.engine.DescendToLeafIbd(3), 0u) << c.what;
    }
    // A non-leaf page without user records, and a missing file page.
    SmallTable t;
    t.space.Write(3, CompactPage(3, 1).Raw());
    t.Open();
    EXPECT_EQ(t.engine.DescendToLeafIbd(3), 0u);
    EXPECT_EQ(t.engine.DescendToLeafIbd(30), 0u);
}

}  // namespace

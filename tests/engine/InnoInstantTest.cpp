// Clustered indexes changed by MariaDB's instant ALTER TABLE, on hand-made pages: the
// record forms that real files show (tests/fixtures, database innodb_instant) at the
// sizes and counts a few tables cannot reach, and damaged counts.

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

constexpr std::uint32_t kMtypeVarChar = 12;
constexpr std::uint32_t kMtypeInt = 6;
constexpr std::uint16_t kPageTypeInstant = 18;
constexpr std::uint32_t kUtf8 = 45;
constexpr std::uint8_t kInfoMinRec = 0x1;       // 0x10, as RecordSpec keeps the high half
constexpr std::uint8_t kInfoMinRecDeleted = 0x3;  // 0x30: the metadata of a DROP or reorder
constexpr std::uint8_t kStatusInstant = 4;

// Turns a COMPACT leaf into the root of an instant table with coreFields core fields.
void MakeInstantRoot(CompactPage& page, std::uint32_t coreFields) {
    page.SetRaw16(24, kPageTypeInstant);
    page.SetRaw16(50, coreFields << 3 | 5);  // the direction keeps its low 3 bits
}

// The bytes below an instant record's header, lowest address first: length bytes, null
// bitmap, then the added-field count (1 byte below 128, else 2 with 0x80 in the first).
Bytes InstantExtra(const Bytes& lengths, const Bytes& bitmap, std::uint32_t added) {
    Bytes count = added < 128 ? Bytes{static_cast<unsigned char>(added)}
                              : Bytes{static_cast<unsigned char>(added >> 7), static_cast<unsigned char>(0x80 | (added & 0x7F))};
    return Concat({lengths, bitmap, count});
}

std::string Cells(const TableRow& row) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) line += (i ? "|" : "") + row[i].m_strValue.ToUtf8();
    return line;
}

// t(id INT NOT NULL PRIMARY KEY, a VARCHAR(20)) after ALTER TABLE ADD b INT,
// ADD c VARCHAR(20) NOT NULL DEFAULT 'dflt': core fields id, DB_TRX_ID, DB_ROLL_PTR, a.
struct AddedColumns {
    CDralvekOstruneApp app;
    AppEngine engine;
    TempTablespace space{"added.ibd"};

    AddedColumns() {
        const char16_t* names[] = {u"id", u"a", u"b", u"c"};
        for (std::uint32_t i = 0; i < 4; ++i) {
            ColumnInfo c;
            c.m_strName = names[i];
            c.m_nColumn = i;
            engine.m_columns.push_back(c);
        }
        engine.m_innoColumns = {
            Field(u"id", 0, kMtypeInt, INNO_PRTYPE_NOT_NULL | 3, 4, 4, MYSQL_TYPE_LONG),
            SystemField(u"DB_TRX_ID", 6),
            SystemField(u"DB_ROLL_PTR", 7),
            Field(u"a", 1, kMtypeVarChar, 15, 80, 0, MYSQL_TYPE_VARCHAR, kUtf8),
            Field(u"b", 2, kMtypeInt, 3, 4, 4, MYSQL_TYPE_LONG),
            Field(u"c", 3, kMtypeVarChar, INNO_PRTYPE_NOT_NULL | 15, 80, 0, MYSQL_TYPE_VARCHAR, kUtf8),
        };
    }
    static Bytes Head(int id) { return Concat({InnoInt(id, 4), Bytes(13, 0xAA)}); }

    // The metadata record: a dummy key, a and b NULL, c 'dflt'; all 6 fields.
    static RecordSpec Metadata() {
        RecordSpec r;
        r.extra = InstantExtra({4}, {0x03}, 6 - 1 - 4);
        r.data = Concat({Head(0), Text("dflt")});
        r.info = kInfoMinRec;
        r.status = kStatusInstant;
        return r;
    }
    // Written before the ALTER: the core fields and a null bitmap for a alone.
    static RecordSpec Old(int id, std::optional<std::string> a) {
        RecordSpec r;
        if (a) r.extra.push_back(static_cast<unsigned char>(a->size()));
        r.extra.push_back(a ? 0x00 : 0x01);
        r.data = Concat({Head(id), a ? Text(*a) : Bytes()});
        return r;
    }
    void Open() {
        engine.m_nIbdPages = space.Flush();
        ASSERT_TRUE(engine.m_fileIbd.Open(CString::FromUtf8(space.Path()), CFile::modeRead));
    }
    std::vector<std::string> Rows() const {
        std::vector<std::string> out;
        for (const TableRow& row : engine.m_rows) out.push_back(Cells(row));
        return out;
    }
};

using Lines = std::vector<std::string>;

TEST(InnoInstant, OldRowsTakeTheDefaultsAndNewRowsSayHowManyFieldsTheyHold) {
    AddedColumns t;
    CompactPage leaf(3);
    MakeInstantRoot(leaf, 4);
    leaf.Add(t.Metadata());
    leaf.Add(t.Old(1, "old"));
    leaf.Add(t.Old(2, std::nullopt));
    // All six fields: a 'new', b 7, c 'set'.
    RecordSpec full;
    full.extra = InstantExtra({3, 3}, {0x00}, 1);
    full.data = Concat({t.Head(3), Text("new"), InnoInt(7, 4), Text("set")});
    full.status = kStatusInstant;
    leaf.Add(full);
    // Five fields (c left off at its default), b NULL: bit 1 of the bitmap for a and b.
    RecordSpec trimmed;
    trimmed.extra = InstantExtra({2}, {0x02}, 0);
    trimmed.data = Concat({t.Head(4), Text("tr")});
    trimmed.status = kStatusInstant;
    leaf.Add(trimmed);
    // A count that claims more fields than the table has costs that record only.
    RecordSpec tooMany = full;
    tooMany.extra = InstantExtra({3, 3}, {0x00}, 9);
    tooMany.data[3] = 5;
    leaf.Add(tooMany);
    RecordSpec deleted = full;
    deleted.info = 0x2;
    leaf.Add(deleted);
    leaf.Add(t.Old(6, "last"));
    leaf.Link();
    t.space.Write(3, leaf.Raw());
    t.Open();
    ASSERT_EQ(t.engine.DescendToLeafIbd(3), 3u);
    EXPECT_TRUE(t.engine.m_innoInstant.active);
    EXPECT_EQ(t.engine.m_innoInstant.coreFields, 4u);
    t.engine.ReadLeafRowsIbd(3, 0);
    EXPECT_EQ(t.Rows(), (Lines{"1|old|NULL|dflt", "2|NULL|NULL|dflt", "3|new|7|set", "4|tr|NULL|dflt",
                               "6|last|NULL|dflt"}));
}

TEST(InnoInstant, WithoutTheMetadataRecordTheAddedFieldsAreEmpty) {
    // The root type and core count may outlive an ALTER that was rolled back.
    AddedColumns t;
    CompactPage leaf(3);
    MakeInstantRoot(leaf, 4);
    leaf.Add(t.Old(1, "old"));
    leaf.Link();
    t.space.Write(3, leaf.Raw());
    t.Open();
    ASSERT_EQ(t.engine.DescendToLeafIbd(3), 3u);
    t.engine.ReadLeafRowsIbd(3, 0);
    EXPECT_EQ(t.Rows(), (Lines{"1|old||"}));
}

TEST(InnoInstant, CountsInOneOrTwoBytesAndNullBitmapsOfEverySize) {
    // t(id INT NOT NULL PRIMARY KEY, v INT) after adding 140 nullable TINYINT columns w1..w140
    // whose defaults are i % 100; core fields id, DB_TRX_ID, DB_ROLL_PTR, v.
    constexpr std::uint32_t kAdded = 140;
    CDralvekOstruneApp app;
    AppEngine e;
    TempTablespace space("wide.ibd");
    for (std::uint32_t i = 0; i < 2 + kAdded; ++i) {
        ColumnInfo c;
        c.m_nColumn = i;
        e.m_columns.push_back(c);
    }
    e.m_innoColumns = {Field(u"id", 0, kMtypeInt, INNO_PRTYPE_NOT_NULL | 3, 4, 4, MYSQL_TYPE_LONG),
                       SystemField(u"DB_TRX_ID", 6), SystemField(u"DB_ROLL_PTR", 7),
                       Field(u"v", 1, kMtypeInt, 3, 4, 4, MYSQL_TYPE_LONG)};
    for (std::uint32_t i = 1; i <= kAdded; ++i) e.m_innoColumns.push_back(Field(u"w", 1 + i, kMtypeInt, 1, 1, 1, MYSQL_TYPE_TINY));

    // A record of 4 + 1 + added fields: v = id, w_i = 100 + i % 27 but the last present
    // one NULL.
    auto record = [](int id, std::uint32_t added, bool metadata) {
        const std::uint32_t present = 1 + added;  // added fields held
        const std::uint32_t nullable = 1 + present;
        Bytes bitmap((nullable + 7) / 8, 0);
        std::vector<Bytes> parts = {InnoInt(id, 4), Bytes(13, 0), InnoInt(id, 4)};
        for (std::uint32_t i = 1; i <= present; ++i) {
            if (!metadata && i == present) {
                // bitmap[0] is the lowest address, the byte farthest from the header.
                bitmap[bitmap.size() - 1 - i / 8] |= static_cast<unsigned char>(1u << (i % 8));
                continue;
            }
            parts.push_back(InnoInt(metadata ? i % 100 : 100 + i % 27, 1));
        }
        RecordSpec r;
        r.extra = InstantExtra({}, bitmap, added);
        for (const Bytes& p : parts) r.data.insert(r.data.end(), p.begin(), p.end());
        r.status = kStatusInstant;
        r.info = metadata ? kInfoMinRec : 0;
        return r;
    };
    struct Case {
        std::uint32_t added;  // the stored count: fields beyond the core ones, less one
        const char* what;
    };
    const Case cases[] = {
        {0, "one added field, 1-byte bitmap"},
        {6, "7 added fields: 8 nullable, 1 bitmap byte"},
        {7, "8 added fields: 9 nullable, 2 bitmap bytes"},
        {127, "the largest 1-byte count"},
        {128, "the smallest 2-byte count"},
        {kAdded - 1, "every field, 141 nullable, 18 bitmap bytes"},
    };
    CompactPage leaf(3, 0, 77);
    MakeInstantRoot(leaf, 4);
    leaf.Add(record(0, kAdded - 1, true));
    for (std::size_t k = 0; k < std::size(cases); ++k) leaf.Add(record(static_cast<int>(k + 1), cases[k].added, false));
    // Written before the ALTER: id and v only.
    RecordSpec old;
    old.extra = {0x00};
    old.data = Concat({InnoInt(99, 4), Bytes(13, 0), InnoInt(99, 4)});
    leaf.Add(old);
    leaf.Link();
    space.Write(3, leaf.Raw());
    e.m_nIbdPages = space.Flush();
    ASSERT_TRUE(e.m_fileIbd.Open(CString::FromUtf8(space.Path()), CFile::modeRead));
    ASSERT_EQ(e.DescendToLeafIbd(3), 3u);
    e.ReadLeafRowsIbd(3, 0);
    ASSERT_EQ(e.m_rows.size(), std::size(cases) + 1);
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const TableRow& row = e.m_rows[k];
        const std::uint32_t present = 1 + cases[k].added;
        EXPECT_EQ(row[1].m_strValue.ToUtf8(), std::to_string(k + 1)) << cases[k].what;
        for (std::uint32_t i = 1; i <= kAdded; ++i) {
            const std::string want = i < present    ? std::to_string(100 + i % 27)
                                     : i == present ? "NULL"
                                                    : std::to_string(i % 100);
            ASSERT_EQ(row[1 + i].m_strValue.ToUtf8(), want) << cases[k].what << ", w" << i;
        }
    }
    EXPECT_EQ(e.m_rows.back()[1].m_strValue, CString(u"99"));
    EXPECT_EQ(e.m_rows.back()[2].m_strValue, CString(u"1"));
    EXPECT_EQ(e.m_rows.back()[kAdded + 1].m_strValue, CString(u"40"));
}

// t(k INT NOT NULL PRIMARY KEY, x VARCHAR(12), y INT NOT NULL, z INT) after ALTER TABLE
// MODIFY z INT AFTER k, DROP COLUMN y: the columns are now k, z, x; the records keep k,
// DB_TRX_ID, DB_ROLL_PTR, x, y, z.
struct DroppedAndMoved {
    CDralvekOstruneApp app;
    AppEngine engine;
    TempTablespace space{"moved.ibd"};
    CompactPage root{3};

    explicit DroppedAndMoved(const Bytes& map, std::uint16_t mapPageType = 10) {
        const char16_t* names[] = {u"k", u"z", u"x"};
        for (std::uint32_t i = 0; i < 3; ++i) {
            ColumnInfo c;
            c.m_strName = names[i];
            c.m_nColumn = i;
            engine.m_columns.push_back(c);
        }
        // The layout in column order, as the builders make it.
        engine.m_innoColumns = {
            Field(u"k", 0, kMtypeInt, INNO_PRTYPE_NOT_NULL | 3, 4, 4, MYSQL_TYPE_LONG),
            SystemField(u"DB_TRX_ID", 6),
            SystemField(u"DB_ROLL_PTR", 7),
            Field(u"z", 1, kMtypeInt, 3, 4, 4, MYSQL_TYPE_LONG),
            Field(u"x", 2, kMtypeVarChar, 15, 48, 0, MYSQL_TYPE_VARCHAR, kUtf8),
        };
        MakeInstantRoot(root, 6);
        // System records zeroed; the supremum's last byte is the core bitmap size.
        Bytes& p = root.Raw();
        std::fill(p.begin() + 99, p.begin() + 107, 0);
        std::fill(p.begin() + 112, p.begin() + 119, 0);
        p[119] = 1;
        // The metadata record: x and z NULL, the map's reference after DB_ROLL_PTR.
        RecordSpec meta;
        meta.extra = InstantExtra({}, {0x03}, 0);
        Bytes ref(20, 0);
        Put32(ref, 4, 4);   // page
        Put32(ref, 8, 38);  // offset
        Put32(ref, 16, static_cast<std::uint32_t>(map.size()));
        meta.data = Concat({InnoInt(0, 4), Bytes(13, 0), ref, Bytes(4, 0)});
        meta.info = kInfoMinRecDeleted;
        meta.status = kStatusInstant;
        root.Add(meta);
        Bytes blob = BlankPage(4, mapPageType);
        Put32(blob, 38, static_cast<std::uint32_t>(map.size()));
        Put32(blob, 42, 0xFFFFFFFF);
        std::copy(map.begin(), map.end(), blob.begin() + 46);
        space.Write(4, blob);
    }
    // x, then the dropped y (4 bytes), then z.
    void Row(int k, std::optional<std::string> x, int y, std::optional<int> z) {
        RecordSpec r;
        if (x) r.extra.push_back(static_cast<unsigned char>(x->size()));
        r.extra.push_back(static_cast<unsigned char>((x ? 0 : 1) | (z ? 0 : 2)));
        r.data = Concat({InnoInt(k, 4), Bytes(13, 0), x ? Text(*x) : Bytes(), InnoInt(y, 4), z ? InnoInt(*z, 4) : Bytes()});
        root.Add(r);
    }
    std::vector<std::string> Read() {
        root.Link();
        space.Write(3, root.Raw());
        engine.m_nIbdPages = space.Flush();
        if (!engine.m_fileIbd.IsOpen()) {
            EXPECT_TRUE(engine.m_fileIbd.Open(CString::FromUtf8(space.Path()), CFile::modeRead));
        }
        if (engine.DescendToLeafIbd(3) != 3u) return {"no leaf"};
        engine.m_bReadingIbd = 1;
        engine.ReadLeafRowsIbd(3, 0);
        std::vector<std::string> out;
        for (const TableRow& row : engine.m_rows) out.push_back(Cells(row));
        return out;
    }
};

// Field map: 3 fields; x is column 2, y dropped (NOT NULL, fixed 4 bytes: 1 + 4), z column 1.
const Bytes kMap = {0, 0, 0, 3, 0x00, 0x02, 0xC0, 0x05, 0x00, 0x01};

TEST(InnoInstant, DroppedAndMovedColumnsFollowTheFieldMap) {
    DroppedAndMoved t(kMap);
    t.Row(1, "x1", 10, 100);
    t.Row(2, std::nullopt, 20, std::nullopt);
    t.Row(3, "x3", 0, -3);
    EXPECT_EQ(t.Read(), (Lines{"1|100|x1", "2|NULL|NULL", "3|-3|x3"}));
    // Read again from the same layout: the map is applied once.
    t.engine.m_rows.clear();
    EXPECT_EQ(t.Read(), (Lines{"1|100|x1", "2|NULL|NULL", "3|-3|x3"}));
}

// Without the map the stored order is unknown: no row rather than misread ones.
TEST(InnoInstant, AFieldMapThatCannotBeReadCostsTheRows) {
    struct Case {
        const char* what;
        Bytes map;
        std::uint16_t pageType;
    };
    const Case cases[] = {
        {"names a column the table lacks", {0, 0, 0, 3, 0x00, 0x02, 0xC0, 0x05, 0x00, 0x07}, 10},
        {"leaves a column out", {0, 0, 0, 2, 0x00, 0x02, 0xC0, 0x05}, 10},
        {"counts more entries than it holds", {0, 0, 0xFF, 0xFF, 0x00, 0x02}, 10},
        {"is not on a BLOB page", kMap, 3},
    };
    for (const Case& c : cases) {
        DroppedAndMoved t(c.map, c.pageType);
        t.Row(1, "x1", 10, 100);
        const std::vector<std::string> rows = t.Read();
        EXPECT_EQ(t.engine.m_innoColumns.size(), 5u) << c.what;
        EXPECT_EQ(t.engine.m_innoColumns[3].column.m_strName, CString(u"z")) << c.what;
        EXPECT_TRUE(rows.empty()) << c.what;
    }
}

}  // namespace

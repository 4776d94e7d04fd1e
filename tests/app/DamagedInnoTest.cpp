// Damaged InnoDB tablespaces: real-server .ibd files and ibdata1 of the corpus changed by
// the byte edits each case names, and the rows the window then shows.
//
// Facts of the files edited:
// - innodb_features/t_many_rows.ibd (20000 rows, PRIMARY KEY (id INT)): root page 3 at
//   level 1; the leaves from the left are pages 5 (175 records), 6, 7, 8 (350 each), then
//   11, ...; page 4 is the root of a secondary index.
// - innodb_features/t_deep.ibd: three levels; root page 3, the leftmost page of level 1 is
//   page 15, whose first child is the leftmost leaf, page 4.
// - innodb_features/t_blob_compact.ibd (ids 1..7, COMPACT, 768 bytes of a long value kept
//   in the record): one leaf, page 3. Row 2's b (20480 bytes) continues on the BLOB pages
//   4 -> 5, row 3's t (LONGTEXT) on 6 -> 7 -> .. -> 13. A BLOB page holds its part's length
//   at 38 and the next page at 42, 16330 bytes at most.
// - ibdata1: the dictionary's SYS_TABLES is the single leaf page 8 (REDUNDANT records,
//   ordered by name); SYS_COLUMNS has its root at page 10 (level 1) over the leaves 483 ->
//   484.

#include <algorithm>
#include <functional>

#include "tests/app/DamagedTables.h"

namespace {

using namespace damaged;

constexpr std::size_t kFilNext = 12;

std::size_t At(std::uint32_t page, std::size_t offset) { return page * kPage + offset; }

// Origins of the user records of a COMPACT page in chain order, from the infimum's link.
std::vector<std::size_t> CompactRecords(const Bytes& file, std::uint32_t page) {
    std::vector<std::size_t> origins;
    std::size_t origin = 99;
    for (int guard = 0; guard < 2000; ++guard) {
        const auto link = static_cast<std::int16_t>(Be16(file, At(page, origin - 2)));
        origin = (origin + link) & 0x3FFF;
        if (origin == 112 || link == 0) break;  // the supremum
        origins.push_back(origin);
    }
    return origins;
}

std::vector<std::string> Ids(std::size_t first, std::size_t last) {
    std::vector<std::string> v;
    for (std::size_t id = first; id <= last; ++id) v.push_back(std::to_string(id));
    return v;
}

struct Case {
    const char* what;
    std::function<void(Bytes&)> edit;
    std::vector<std::string> ids;
};

void RunIbdCases(const std::string& database, const std::string& table, const std::vector<Case>& cases) {
    const std::string ibd = database + "/" + table + ".ibd";
    for (const Case& c : cases) {
        SCOPED_TRACE(table + ": " + c.what);
        DataDir dir({database + "/" + table + ".frm", ibd});
        Bytes bytes = dir.Read(ibd);
        c.edit(bytes);
        dir.Write(ibd, bytes);
        const Shown shown = ShowWholeTable(dir.Root(), database, table);
        EXPECT_TRUE(shown.definitionRead);
        EXPECT_FALSE(shown.columns.empty());
        EXPECT_EQ(shown.Column(0), c.ids);
        // A read that lost rows never looks like a clean one.
        if (c.ids != ServerColumn(database, table, 0)) {
            EXPECT_FALSE(shown.losses.empty());
        }
    }
}

auto Cut(std::size_t size) {
    return [size](Bytes& b) { b.resize(size); };
}

TEST(DamagedInno, TruncatedTablespaceShowsTheLeavesBeforeTheCut) {
    RunIbdCases("innodb_features", "t_many_rows",
                {
                    {"empty", Cut(0), {}},
                    {"inside the FIL header of page 0", Cut(20), {}},
                    {"after page 0", Cut(kPage), {}},
                    {"before the root", Cut(3 * kPage), {}},
                    {"inside the root's headers", Cut(3 * kPage + 60), {}},
                    {"inside the root's records", Cut(3 * kPage + 400), {}},
                    // Pages 0..8: the leaves 5..8, whose last names page 11 as the next.
                    {"after the fourth leaf", Cut(9 * kPage), Ids(1, 1225)},
                    {"inside page 9", Cut(9 * kPage + 100), Ids(1, 1225)},
                });
}

TEST(DamagedInno, LeafChainsThatPointToThemselvesOrLoop) {
    RunIbdCases("innodb_features", "t_many_rows",
                {
                    {"as written", [](Bytes&) {}, Ids(1, 20000)},
                    {"leaf 6 names itself as the next", [](Bytes& b) { PutBe(b, At(6, kFilNext), 6, 4); }, Ids(1, 525)},
                    {"leaf 7 leads back to leaf 5", [](Bytes& b) { PutBe(b, At(7, kFilNext), 5, 4); }, Ids(1, 875)},
                    // The loop spans more than one page of 1000 rows.
                    {"leaf 8 leads back to leaf 5", [](Bytes& b) { PutBe(b, At(8, kFilNext), 5, 4); }, Ids(1, 1225)},
                    {"leaf 8 leads back to leaf 6", [](Bytes& b) { PutBe(b, At(8, kFilNext), 6, 4); }, Ids(1, 1225)},
                    // Next equal to previous is a chain that turns back.
                    {"leaf 6 names its previous as the next", [](Bytes& b) { PutBe(b, At(6, kFilNext), 5, 4); }, Ids(1, 525)},
                    {"leaf 6 leads up to the root", [](Bytes& b) { PutBe(b, At(6, kFilNext), 3, 4); }, Ids(1, 525)},
                    {"leaf 6 leads into the secondary index", [](Bytes& b) { PutBe(b, At(6, kFilNext), 9, 4); },
                     Ids(1, 525)},
                    {"leaf 6 leads past the end of the file", [](Bytes& b) { PutBe(b, At(6, kFilNext), 0x7FFFFFF0, 4); },
                     Ids(1, 525)},
                });
}

TEST(DamagedInno, ChildPointersThatPointUpGiveNoRows) {
    // The root's first node pointer: the key (id, 4 bytes), then the child page number.
    auto rootChild = [](std::uint32_t child) {
        return [child](Bytes& b) {
            const std::size_t first = CompactRecords(b, 3).at(0);
            ASSERT_EQ(Be32(b, At(3, first + 4)), 5u) << "the leftmost leaf";
            PutBe(b, At(3, first + 4), child, 4);
        };
    };
    RunIbdCases("innodb_features", "t_many_rows",
                {
                    {"root's first child is the root", rootChild(3), {}},
                    {"root's first child is the root of another index", rootChild(4), {}},
                    {"root's first child is a leaf of another index", rootChild(9), {}},
                    {"root's first child lies past the end of the file", rootChild(0xFFFFFF00), {}},
                });
    // Level 1 of a three-level tree, pointing back up at the root.
    RunIbdCases("innodb_features", "t_deep",
                {{"first child of level 1 is the root", [](Bytes& b) {
                      const std::size_t first = CompactRecords(b, 15).at(0);
                      // The child number is the node pointer's last 4 bytes, before the
                      // next record's header; find the leftmost leaf's number there.
                      const std::size_t next = CompactRecords(b, 15).at(1);
                      std::size_t at = 0;
                      for (std::size_t p = first; p + 4 <= next; ++p)
                          if (Be32(b, At(15, p)) == 4u) at = p;
                      ASSERT_NE(at, 0u);
                      PutBe(b, At(15, at), 3, 4);
                  },
                  {}}});
}

TEST(DamagedInno, RecordLinksThatLoopEndThePage) {
    RunIbdCases("innodb_features", "t_blob_compact",
                {
                    {"as written", [](Bytes&) {}, Ids(1, 7)},
                    {"record 3 links back to record 2",
                     [](Bytes& b) {
                         const std::vector<std::size_t> r = CompactRecords(b, 3);
                         PutBe(b, At(3, r.at(2) - 2), (r.at(1) - r.at(2)) & 0xFFFF, 2);
                     },
                     Ids(1, 3)},
                    {"record 3 links to itself", [](Bytes& b) { PutBe(b, At(3, CompactRecords(b, 3).at(2) - 2), 0, 2); },
                     Ids(1, 3)},
                    {"the infimum links to itself", [](Bytes& b) { PutBe(b, At(3, 99 - 2), 0, 2); }, {}},
                    // A record whose first variable length (b's) reads as 0x3FFF: more than
                    // the page holds, so that record is damaged and only it is lost.
                    {"length of record 1's first variable field at its maximum",
                     [](Bytes& b) {
                         const std::size_t r1 = CompactRecords(b, 3).at(0);
                         // Header (5), one null byte, then the lengths from the back.
                         b.at(At(3, r1 - 7)) = 0xBF;
                         b.at(At(3, r1 - 8)) = 0xFF;
                     },
                     {"2", "3", "4", "5", "6", "7"}},
                });
}

// Row 2's b and row 3's t as the server has them, the bytes of the value.
Bytes ServerValue(std::size_t row, std::size_t column) {
    const std::string cell = ServerColumn("innodb_features", "t_blob_compact", column).at(row - 1);
    Bytes bytes;
    if (column == 1) {  // LONGBLOB: hex
        for (std::size_t i = 0; i + 1 < cell.size(); i += 2)
            bytes.push_back(static_cast<unsigned char>(std::stoi(cell.substr(i, 2), nullptr, 16)));
    } else {  // LONGTEXT in utf8mb4: the text's own bytes
        bytes.assign(cell.begin(), cell.end());
    }
    return bytes;
}

// The 20-byte reference of the off-page value that starts on BLOB page first.
std::size_t ExternReference(const Bytes& b, std::uint32_t first) {
    const std::uint32_t space = Be32(b, 34);
    for (std::size_t p = At(3, 120); p + 20 < At(4, 0); ++p)
        if (Be32(b, p) == space && Be32(b, p + 4) == first && Be32(b, p + 8) == 38) return p;
    ADD_FAILURE() << "no reference to page " << first;
    return 0;
}

TEST(DamagedInno, OffPageChainsThatLoopOrOverstateTheirLength) {
    const Bytes b2 = ServerValue(2, 1), t3 = ServerValue(3, 2);
    ASSERT_EQ(b2.size(), 20480u);
    auto prefix = [](const Bytes& v, std::size_t n) { return Bytes(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n)); };
    constexpr std::size_t kLocal = 768, kPart = 16330;
    const struct {
        const char* what;
        std::function<void(Bytes&)> edit;
        std::size_t row, column;
        Bytes value;
    } cases[] = {
        {"as written", [](Bytes&) {}, 2, 1, b2},
        {"as written", [](Bytes&) {}, 3, 2, t3},
        {"page 4 names itself as the next", [](Bytes& b) { PutBe(b, At(4, 42), 4, 4); }, 2, 1, prefix(b2, kLocal + kPart)},
        {"page 8 leads back to page 6", [](Bytes& b) { PutBe(b, At(8, 42), 6, 4); }, 3, 2, prefix(t3, kLocal + 3 * kPart)},
        {"page 9 names itself as the next", [](Bytes& b) { PutBe(b, At(9, 42), 9, 4); }, 3, 2, prefix(t3, kLocal + 4 * kPart)},
        // A loop after the value is complete changes nothing.
        {"page 5 leads back to page 4", [](Bytes& b) { PutBe(b, At(5, 42), 4, 4); }, 2, 1, b2},
        {"part length at its maximum", [](Bytes& b) { PutBe(b, At(4, 38), 0xFFFFFFFF, 4); }, 2, 1,
         prefix(b2, kLocal + kPart)},
        // The chain still ends at its last page.
        {"reference length at its maximum", [](Bytes& b) { PutBe(b, ExternReference(b, 4) + 12, 0xFFFFFFFFFFFFFFFFull, 8); },
         2, 1, b2},
        {"reference to the index page", [](Bytes& b) { PutBe(b, ExternReference(b, 4) + 4, 3, 4); }, 2, 1,
         prefix(b2, kLocal)},
        {"reference past the end of the file", [](Bytes& b) { PutBe(b, ExternReference(b, 4) + 4, 0x00FFFFFF, 4); }, 2, 1,
         prefix(b2, kLocal)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DataDir dir({"innodb_features/t_blob_compact.frm", "innodb_features/t_blob_compact.ibd"});
        Bytes bytes = dir.Read("innodb_features/t_blob_compact.ibd");
        c.edit(bytes);
        dir.Write("innodb_features/t_blob_compact.ibd", bytes);
        const fs::path save = dir.Root() / "save";
        const Shown shown = ShowWholeTable(dir.Root(), "innodb_features", "t_blob_compact", save);
        ASSERT_EQ(shown.Column(0), Ids(1, 7));
        // Saved, an off-page value is a file whose path is the cell.
        const std::string file = shown.rows.at(c.row - 1).at(c.column);
        ASSERT_EQ(fs::path(file).parent_path(), save / "blobdata");
        EXPECT_EQ(ReadBytes(file), c.value);
        EXPECT_EQ(shown.Column(3), ServerColumn("innodb_features", "t_blob_compact", 3)) << "the rows' other cells";
    }
}

// ---------------------------------------------------------------- the dictionary

// Origin of the SYS_TABLES record of name on REDUNDANT page 8 (1-byte end offsets).
std::size_t SysTablesRecord(const Bytes& b, const std::string& name) {
    std::size_t origin = 101;
    for (int guard = 0; guard < 500; ++guard) {
        origin = Be16(b, At(8, origin - 2));
        if (origin == 0 || origin >= kPage) break;
        const std::size_t length = b.at(At(8, origin - 7)) & 0x7F;
        if (std::string(b.begin() + At(8, origin), b.begin() + At(8, origin + length)) == name) return origin;
    }
    ADD_FAILURE() << "no SYS_TABLES record " << name;
    return 0;
}

TEST(DamagedInno, DictionaryDamage) {
    const std::vector<std::string> compact = ServerColumn("innodb_system", "t_sys_compact", 0);
    const std::vector<std::string> dynamic = ServerColumn("innodb_system", "t_sys_dynamic", 0);
    const std::vector<std::string> many = ServerColumn("innodb_system", "t_sys_many", 0);
    const struct {
        const char* what;
        std::function<void(Bytes&)> edit;
        std::vector<std::string> compact, dynamic, many;
    } cases[] = {
        {"as written", [](Bytes&) {}, compact, dynamic, many},
        {"empty", [](Bytes& b) { b.clear(); }, {}, {}, {}},
        {"cut before the dictionary", [](Bytes& b) { b.resize(8 * kPage); }, {}, {}, {}},
        {"cut after SYS_COLUMNS' root", [](Bytes& b) { b.resize(11 * kPage); }, {}, {}, {}},
        {"SYS_TABLES leaf names itself as the next", [](Bytes& b) { PutBe(b, At(8, kFilNext), 8, 4); }, compact, dynamic,
         many},
        {"SYS_COLUMNS' second leaf leads back to the first", [](Bytes& b) { PutBe(b, At(484, kFilNext), 483, 4); },
         compact, dynamic, many},
        // Without a column record the layout comes from the .frm.
        {"SYS_COLUMNS' root points to itself",
         [](Bytes& b) {
             // REDUNDANT node pointer: the child is the record's last field, 4 bytes.
             const std::size_t first = Be16(b, At(10, 101 - 2));
             const std::uint32_t bits = Be16(b, At(10, first - 5)) << 8 | b.at(At(10, first - 3));
             const std::size_t fields = bits >> 1 & 0x3FF;
             const std::size_t end = b.at(At(10, first - 6 - fields)) & 0x7F;
             ASSERT_EQ(Be32(b, At(10, first + end - 4)), 483u);
             PutBe(b, At(10, first + end - 4), 10, 4);
         },
         compact, dynamic, many},
        // The records after the looping one are lost with it: t_sys_dynamic and t_sys_many
        // come after t_sys_compact by name.
        {"SYS_TABLES record of t_sys_compact links to itself",
         [](Bytes& b) {
             const std::size_t r = SysTablesRecord(b, "innodb_system/t_sys_compact");
             PutBe(b, At(8, r - 2), r, 2);
         },
         compact, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DataDir dir({"ibdata1", "innodb_system/t_sys_compact.frm", "innodb_system/t_sys_dynamic.frm",
                     "innodb_system/t_sys_many.frm"});
        Bytes bytes = dir.Read("ibdata1");
        c.edit(bytes);
        dir.Write("ibdata1", bytes);
        EXPECT_EQ(ShowWholeTable(dir.Root(), "innodb_system", "t_sys_compact").Column(0), c.compact);
        EXPECT_EQ(ShowWholeTable(dir.Root(), "innodb_system", "t_sys_dynamic").Column(0), c.dynamic);
        EXPECT_EQ(ShowWholeTable(dir.Root(), "innodb_system", "t_sys_many").Column(0), c.many);
    }
}

}  // namespace

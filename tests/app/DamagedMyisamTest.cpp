// Damaged MyISAM tables: real-server .frm/.MYI/.MYD files of the corpus changed by the byte
// edits each case names, and the rows the window then shows (first column, the id).
//
// Facts of the files edited (myisam_formats):
// - t_split.MYD: ids 1..10 are records of two or three parts, their first blocks (type 5,
//   13-byte header: type, record length (2), data length (2), next position (8)) at
//   0, 20, .., 180; the second parts at 760, 1008, .. (id 2: type 11 at 1008, next position at
//   1011, then type 7 at 3412); ids 11..20 are one block each (type 3) at 200, 256, .., 704;
//   ids 21..25 at 3272, 3300, .., 3384. The last part of id 10 starts at 7300.
// - t_fixed.MYD: 30 records of 50 bytes; records 1, 3, 4 and 16 are deleted (first byte 0).
// - t_split.MYI: state header (24 bytes), base information at 196 (100 bytes; field count
//   at 196 + 64, key count at 196 + 74), one key definition (12 + 18 bytes) from 296, the
//   four column definitions (7 bytes each) at 326..354.
// - t_dynamic.MYD: one-block records and deleted blocks (ids 1, 2 at 0 and 24, a deleted
//   block at 56, id 4 at 96).

#include <algorithm>
#include <functional>

#include "tests/app/DamagedTables.h"

namespace {

using namespace damaged;

std::vector<std::string> Ids(std::initializer_list<int> ids) {
    std::vector<std::string> v;
    for (int id : ids) v.push_back(std::to_string(id));
    return v;
}

std::vector<std::string> Range(int first, int last, std::initializer_list<int> without = {}) {
    std::vector<std::string> v;
    for (int id = first; id <= last; ++id)
        if (std::find(without.begin(), without.end(), id) == without.end()) v.push_back(std::to_string(id));
    return v;
}

struct Case {
    const char* what;
    const char* table;
    const char* file;  // extension of the file edited
    std::function<void(Bytes&)> edit;
    std::vector<std::string> ids;
};

void RunCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.table) + c.file + ": " + c.what);
        const std::string base = std::string("myisam_formats/") + c.table;
        DataDir dir({base + ".frm", base + ".MYI", base + ".MYD"});
        Bytes bytes = dir.Read(base + c.file);
        c.edit(bytes);
        dir.Write(base + c.file, bytes);
        const Shown shown = ShowWholeTable(dir.Root(), "myisam_formats", c.table);
        EXPECT_TRUE(shown.definitionRead);
        EXPECT_FALSE(shown.columns.empty());
        EXPECT_EQ(shown.Column(0), c.ids);
        // A read that lost rows never looks like a clean one; an undamaged one reports nothing.
        if (c.ids != ServerColumn("myisam_formats", c.table, 0)) {
            EXPECT_FALSE(shown.losses.empty());
        } else if (std::string(c.what) == "as written") {
            EXPECT_TRUE(shown.losses.empty());
        }
    }
}

auto Cut(std::size_t size) {
    return [size](Bytes& b) { b.resize(size); };
}

TEST(DamagedMyisam, UndamagedFilesShowEveryRow) {
    RunCases({
        {"as written", "t_split", ".MYD", [](Bytes&) {}, Range(1, 25)},
        {"as written", "t_fixed", ".MYD", [](Bytes&) {}, ServerColumn("myisam_formats", "t_fixed", 0)},
    });
}

TEST(DamagedMyisam, TruncatedDataFilesShowTheRecordsBeforeTheCut) {
    const std::vector<std::string> fixed = ServerColumn("myisam_formats", "t_fixed", 0);
    RunCases({
        {"empty", "t_split", ".MYD", Cut(0), {}},
        {"inside the first block header", "t_split", ".MYD", Cut(10), {}},
        // The records whose parts all lie before the cut: the two-part ones of ids 1..9 and
        // the one-block ids 11..20; id 21's block is cut.
        {"inside id 21", "t_split", ".MYD", Cut(3290), Ids({1, 3, 5, 7, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20})},
        {"inside the last part of id 10", "t_split", ".MYD", Cut(7400), Range(1, 25, {10})},
        {"empty", "t_fixed", ".MYD", Cut(0), {}},
        // 25 whole records, 4 of them deleted.
        {"at a record boundary", "t_fixed", ".MYD", Cut(25 * 50), First(fixed, 21)},
        // The cut record shows the bytes before the cut (its id) and zeros for the rest.
        {"inside a record", "t_fixed", ".MYD", Cut(25 * 50 + 10), First(fixed, 22)},
    });
}

TEST(DamagedMyisam, RecordChainsThatLoopCostThatRecord) {
    RunCases({
        {"first part names itself as the next", "t_split", ".MYD", [](Bytes& b) { PutBe(b, 20 + 5, 20, 8); },
         Range(1, 25, {2})},
        {"second part leads back to the first", "t_split", ".MYD", [](Bytes& b) { PutBe(b, 1008 + 3, 20, 8); },
         Range(1, 25, {2})},
        {"second part names itself", "t_split", ".MYD", [](Bytes& b) { PutBe(b, 1008 + 3, 1008, 8); },
         Range(1, 25, {2})},
    });
}

TEST(DamagedMyisam, LengthsAtTheirMaximum) {
    RunCases({
        // A record longer than the table's longest possible one is not joined; the walk
        // goes on after its first block.
        {"record length of a split record", "t_split", ".MYD", [](Bytes& b) { PutBe(b, 40 + 1, 0xFFFF, 2); },
         Range(1, 25, {3})},
        // A block said to run past the end of the file is no block: the walk looks for the
        // next one from the next aligned position. Here it takes record 3's data for a
        // block header whose length leads into id 12's block, so ids 4..12 go too.
        {"data length of a split record's first part", "t_split", ".MYD", [](Bytes& b) { PutBe(b, 40 + 3, 0xFFFF, 2); },
         Ids({1, 2, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25})},
        {"length of a one-block record", "t_split", ".MYD", [](Bytes& b) { PutBe(b, 256 + 1, 0xFFFF, 2); },
         Range(1, 25, {12})},
        // The old bytes inside t_dynamic's deleted block lead the search past ids 4..7.
        {"length of a deleted block", "t_dynamic", ".MYD", [](Bytes& b) { PutBe(b, 56 + 1, 0xFFFFFF, 3); },
         Ids({1, 2, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 22, 23, 24, 25, 26, 27, 28, 29, 201})},
        {"next position of a split record", "t_split", ".MYD",
         [](Bytes& b) { PutBe(b, 40 + 5, 0xFFFFFFFFFFFFFFFFull, 8); }, Range(1, 25, {3})},
    });
}

TEST(DamagedMyisam, IndexFileCutOrOverstated) {
    RunCases({
        {"empty", "t_split", ".MYI", Cut(0), {}},
        {"state header only", "t_split", ".MYI", Cut(24), {}},
        {"base information cut", "t_split", ".MYI", Cut(250), {}},
        {"no column definitions", "t_split", ".MYI", Cut(326), {}},
        // The null flags' and the id's definitions: the id of every row.
        {"two of four column definitions", "t_split", ".MYI", Cut(340), Range(1, 25)},
        {"every column definition", "t_split", ".MYI", Cut(354), Range(1, 25)},
        {"field count at its maximum", "t_split", ".MYI", [](Bytes& b) { PutBe(b, 196 + 64, 0xFFFFFFFF, 4); }, {}},
        {"key count at its maximum", "t_split", ".MYI", [](Bytes& b) { b.at(196 + 74) = 0xFF; }, {}},
    });
}

}  // namespace

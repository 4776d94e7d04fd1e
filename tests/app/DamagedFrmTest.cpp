// Damaged table definitions: myisam_formats/t_fixed.frm (26 rows, PRIMARY KEY (id)) and
// innodb_features/t_many_rows.frm cut or with counts beyond the file, and what the table
// then shows. The data files stay as the server wrote them.
//
// t_fixed.frm (1058 bytes, version 10): 64-byte header (form position table at 64 + its
// length), key section at 89 (33 bytes: counts, one key of one part, key names), form
// information at 660 (288 bytes: field count at +258, names length at +268, interval count
// at +270), then the field records and names up to the end of the file.

#include <algorithm>
#include <functional>

#include "tests/app/DamagedTables.h"

namespace {

using namespace damaged;

constexpr std::size_t kForm = 660;
constexpr std::size_t kKeys = 89;

struct Case {
    const char* what;
    std::function<void(Bytes&)> edit;
    bool definitionRead;
    std::size_t columns;
    std::size_t rows;
};

TEST(DamagedFrm, CutAtEveryBoundaryTheDefinitionIsRefused) {
    const std::size_t length = ReadBytes(Corpus() / "myisam_formats/t_fixed.frm").size();
    ASSERT_EQ(length, 1058u);
    // The header, the position table, the key section, the form information and the field
    // block each begin and end at one of these.
    for (std::size_t cut : {0u, 1u, 2u, 4u, 63u, 64u, 68u, 88u, 89u, 100u, 122u, 659u, 660u, 661u, 917u, 947u, 948u,
                            949u, 1000u, 1057u}) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        DataDir dir({"myisam_formats/t_fixed.frm", "myisam_formats/t_fixed.MYI", "myisam_formats/t_fixed.MYD"});
        dir.Truncate("myisam_formats/t_fixed.frm", cut);
        const Shown shown = ShowWholeTable(dir.Root(), "myisam_formats", "t_fixed");
        EXPECT_FALSE(shown.definitionRead);
        EXPECT_TRUE(shown.columns.empty());
        EXPECT_TRUE(shown.rows.empty());
    }
}

TEST(DamagedFrm, CountsBeyondTheFile) {
    const std::vector<std::string> ids = ServerColumn("myisam_formats", "t_fixed", 0);
    const Case cases[] = {
        {"as written", [](Bytes&) {}, true, 5, 26},
        // 65535 fields of 17 bytes do not fit in the file.
        {"field count at its maximum", [](Bytes& b) { PutLe(b, kForm + 258, 0xFFFF, 2); }, false, 0, 0},
        {"names length at its maximum", [](Bytes& b) { PutLe(b, kForm + 268, 0xFFFF, 2); }, false, 0, 0},
        {"form information position past the end", [](Bytes& b) { PutLe(b, 64 + Le16(b, 4), 0xFFFFFF, 4); }, false, 0, 0},
        // The lists end where the bytes end: no ENUM or SET column needs them.
        {"interval count at its maximum", [](Bytes& b) { PutLe(b, kForm + 270, 0xFFFF, 2); }, true, 5, 26},
        // The key section is read as far as it goes; the rows do not depend on it.
        {"key count at its maximum", [](Bytes& b) { b.at(kKeys) = 0x7F; }, true, 5, 26},
        {"key section length at its maximum", [](Bytes& b) { PutLe(b, 28, 0xFFFF, 2); }, true, 5, 26},
        {"comment length of the first field past the comments", [](Bytes& b) { PutLe(b, kForm + 288 + 15, 0xFFFF, 2); },
         true, 5, 26},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DataDir dir({"myisam_formats/t_fixed.frm", "myisam_formats/t_fixed.MYI", "myisam_formats/t_fixed.MYD"});
        Bytes frm = dir.Read("myisam_formats/t_fixed.frm");
        c.edit(frm);
        dir.Write("myisam_formats/t_fixed.frm", frm);
        const Shown shown = ShowWholeTable(dir.Root(), "myisam_formats", "t_fixed");
        EXPECT_EQ(shown.definitionRead, c.definitionRead);
        EXPECT_EQ(shown.columns.size(), c.columns);
        EXPECT_EQ(shown.Column(0), First(ids, c.rows));
    }
}

// The clustered key of an InnoDB table comes from the definition's keys: a key section
// that cannot be read leaves the layout without its key, and the rows unread rather than
// misread.
TEST(DamagedFrm, InnoTableWithoutItsKeySection) {
    const std::vector<std::string> ids = ServerColumn("innodb_features", "t_many_rows", 0);
    const Case cases[] = {
        {"as written", [](Bytes&) {}, true, 4, ids.size()},
        {"key section cut off", [](Bytes& b) { PutLe(b, 28, 0, 2); }, true, 4, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DataDir dir({"innodb_features/t_many_rows.frm", "innodb_features/t_many_rows.ibd"});
        Bytes frm = dir.Read("innodb_features/t_many_rows.frm");
        c.edit(frm);
        dir.Write("innodb_features/t_many_rows.frm", frm);
        const Shown shown = ShowWholeTable(dir.Root(), "innodb_features", "t_many_rows");
        EXPECT_EQ(shown.definitionRead, c.definitionRead);
        EXPECT_EQ(shown.columns.size(), c.columns);
        EXPECT_EQ(shown.Column(0), First(ids, c.rows));
    }
}

}  // namespace

// Files as servers older than the one that made the fixtures wrote them. That server
// cannot write these forms, so each case is a real corpus file turned into the older
// form by a documented byte edit, and shows what the older server's table shows.

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "tests/app/DamagedTables.h"

namespace {

using namespace damaged;

// myisam_types/t_string.frm (version 10, 12 fields of 17 bytes, no screens): the form
// information's position is the 32-bit word at 64 + the 16-bit word at 4; the field
// records follow its 288 bytes, type code at byte 13 of each.
std::size_t FieldRecord(const Bytes& frm, std::size_t field) {
    const std::size_t form = Le32(frm, 64 + Le16(frm, 4));
    return form + 288 + Le16(frm, form + 260) + 17 * field;
}

std::vector<KeyListRow> KeysOf(const fs::path& root, const std::string& database, const std::string& table) {
    CDralvekOstruneApp app;
    CTableEngine engine;
    CTableBrowser browser(engine);
    std::vector<KeyListRow> rows;
    browser.ShowKeys(CString::FromUtf8((root / database / table).string()), CString(u"Keys"), rows);
    return rows;
}

// MySQL 4.1 wrote .frm version 9, where VARCHAR is type 253 (the old variable-length
// string) stored like CHAR. The edit: version byte 10 -> 9, and the CHAR and BINARY
// fields' type 254 -> 253. The server shows those as VARCHAR(n) and VARBINARY(n); the
// rows read exactly as before the edit.
TEST(OlderServerFiles, Version9VariableLengthStringIsVarchar) {
    const std::vector<std::string> files = {"myisam_types/t_string.frm", "myisam_types/t_string.MYI",
                                            "myisam_types/t_string.MYD"};
    DataDir written({files[0], files[1], files[2]});
    DataDir old({files[0], files[1], files[2]});
    Bytes frm = old.Read(files[0]);
    ASSERT_EQ(frm.at(2), 10);
    frm.at(2) = 9;
    const struct {
        std::size_t field;
        const char* name;
        const char* written;
        const char* old;
    } changed[] = {
        {1, "c_latin1", "CHAR(10)", "VARCHAR(10)"},
        {3, "c_utf8", "CHAR(10)", "VARCHAR(10)"},  // 30 bytes, 3 per character
        {5, "c_mb4", "CHAR(10)", "VARCHAR(10)"},   // 40 bytes, 4 per character
        {9, "bin8", "BINARY(8)", "VARBINARY(8)"},
    };
    for (const auto& c : changed) {
        ASSERT_EQ(frm.at(FieldRecord(frm, c.field) + 13), 254) << c.name;
        frm.at(FieldRecord(frm, c.field) + 13) = 253;
    }
    old.Write(files[0], frm);

    const std::vector<KeyListRow> before = KeysOf(written.Root(), "myisam_types", "t_string");
    const std::vector<KeyListRow> after = KeysOf(old.Root(), "myisam_types", "t_string");
    ASSERT_EQ(before.size(), 12u);
    ASSERT_EQ(after.size(), 12u);
    for (std::size_t i = 0; i < after.size(); ++i) {
        SCOPED_TRACE(after[i][0].ToUtf8());
        const auto it = std::find_if(std::begin(changed), std::end(changed), [&](const auto& c) { return c.field == i; });
        if (it == std::end(changed)) {
            EXPECT_EQ(after[i][1], before[i][1]);
            continue;
        }
        EXPECT_EQ(after[i][0].ToUtf8(), it->name);
        EXPECT_EQ(before[i][1].ToUtf8(), it->written);
        EXPECT_EQ(after[i][1].ToUtf8(), it->old);
        EXPECT_EQ(after[i][2], before[i][2]) << "size in bytes";
    }

    const Shown rowsBefore = ShowWholeTable(written.Root(), "myisam_types", "t_string");
    const Shown rowsAfter = ShowWholeTable(old.Root(), "myisam_types", "t_string");
    EXPECT_TRUE(rowsAfter.definitionRead);
    EXPECT_EQ(rowsAfter.rows.size(), 7u);
    EXPECT_EQ(rowsAfter.rows, rowsBefore.rows);
}

}  // namespace

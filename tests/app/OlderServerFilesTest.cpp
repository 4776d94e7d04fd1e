// Files as servers older than the one that made the fixtures wrote them. That server
// cannot write these forms, so each case is a real corpus file turned into the older
// form by a documented byte edit, and shows what the older server's table shows.

#include <algorithm>
#include <functional>
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

// innodb_features/t_blob_compact.ibd (ids 1..7, COMPACT, 768-byte local prefixes, 17
// pages): BLOB pages (type 10 at page offset 24) 4 -> 5 hold row 2's b, 6 -> .. -> 13 row
// 3's t, 14 -> 15 row 4's b and 16 row 6's t; each page's part length is at 38, its next
// page at 42 (0xFFFFFFFF after the last part), 16330 bytes in a full part, 3382 on page 5.
// MySQL 5.0 left the type of BLOB pages at 0: the edit clears it on every one of them
// (leaving the page checksums stale; the reader does not check them).
constexpr std::size_t kBlobPart = 16330;

std::size_t PageAt(std::uint32_t page, std::size_t offset) { return page * kPage + offset; }

void ClearBlobPageTypes(Bytes& ibd) {
    int cleared = 0;
    for (std::uint32_t page = 0; PageAt(page + 1, 0) <= ibd.size(); ++page) {
        if (Be16(ibd, PageAt(page, 24)) != 10) continue;
        PutBe(ibd, PageAt(page, 24), 0, 2);
        ++cleared;
    }
    EXPECT_EQ(cleared, 13);
}

// Every cell shown in save mode, an off-page value's file replaced by its bytes.
std::vector<std::vector<std::string>> SavedCells(const fs::path& root, const std::string& database,
                                                 const std::string& table) {
    const fs::path save = root / "save";
    const Shown shown = ShowWholeTable(root, database, table, save);
    std::vector<std::vector<std::string>> rows = shown.rows;
    for (auto& row : rows)
        for (std::string& cell : row)
            if (fs::path(cell).parent_path() == save / "blobdata") {
                const Bytes bytes = ReadBytes(cell);
                cell = "file:" + std::string(bytes.begin(), bytes.end());
            }
    fs::remove_all(save);
    return rows;
}

TEST(OlderServerFiles, BlobPagesOfTypeZeroAreFollowedWhenTheirPartHeaderFits) {
    const std::string ibd = "innodb_features/t_blob_compact.ibd";
    DataDir written({"innodb_features/t_blob_compact.frm", ibd});
    const auto server = SavedCells(written.Root(), "innodb_features", "t_blob_compact");
    ASSERT_EQ(server.size(), 7u);
    const std::string b2 = server[1][1], t3 = server[2][2];
    ASSERT_EQ(b2.size(), 5 + 20480u) << "row 2's b is saved to a file";
    auto cut = [](const std::string& file, std::size_t bytes) { return file.substr(0, 5 + bytes); };
    const struct {
        const char* what;
        std::function<void(Bytes&)> edit;  // after the types are cleared
        std::size_t row, column;           // the cell that then differs from the server's
        std::string value;
    } cases[] = {
        {"every BLOB page of type 0", [](Bytes&) {}, 0, 0, ""},
        // A page whose header does not fit is not taken: the value ends before it.
        {"page 4's next page past the end of the file", [](Bytes& b) { PutBe(b, PageAt(4, 42), 17, 4); }, 2, 1,
         cut(b2, 768)},
        {"page 4's part empty", [](Bytes& b) { PutBe(b, PageAt(4, 38), 0, 4); }, 2, 1, cut(b2, 768)},
        {"page 5's part longer than its page", [](Bytes& b) { PutBe(b, PageAt(5, 38), 16331, 4); }, 2, 1,
         cut(b2, 768 + kBlobPart)},
        {"page 5's part longer than the value", [](Bytes& b) { PutBe(b, PageAt(5, 38), 3383, 4); }, 2, 1,
         cut(b2, 768 + kBlobPart)},
        {"page 8 leads back to page 6", [](Bytes& b) { PutBe(b, PageAt(8, 42), 6, 4); }, 3, 2,
         cut(t3, 768 + 2 * kBlobPart)},
        {"page 9 names itself as the next", [](Bytes& b) { PutBe(b, PageAt(9, 42), 9, 4); }, 3, 2,
         cut(t3, 768 + 3 * kBlobPart)},
        // Pages of another type still end the chain, whatever their header says.
        {"page 5 an index page", [](Bytes& b) { PutBe(b, PageAt(5, 24), 0x45BF, 2); }, 2, 1,
         cut(b2, 768 + kBlobPart)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DataDir dir({"innodb_features/t_blob_compact.frm", ibd});
        Bytes bytes = dir.Read(ibd);
        ClearBlobPageTypes(bytes);
        c.edit(bytes);
        dir.Write(ibd, bytes);
        auto want = server;
        if (c.row != 0) want[c.row - 1][c.column] = c.value;
        const auto got = SavedCells(dir.Root(), "innodb_features", "t_blob_compact");
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t r = 0; r < want.size(); ++r) {
            ASSERT_EQ(got[r].size(), want[r].size());
            // Values of up to 100 KB: say where they differ rather than print them.
            for (std::size_t k = 0; k < want[r].size(); ++k)
                EXPECT_TRUE(got[r][k] == want[r][k]) << "row " << r + 1 << " column " << k << ": " << got[r][k].size()
                                                     << " bytes, want " << want[r][k].size();
        }
    }
}

}  // namespace

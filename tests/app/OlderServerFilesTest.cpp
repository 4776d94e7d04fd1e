// Files as servers older than the one that made the fixtures wrote them. That server
// cannot write these forms, so each case is a real corpus file turned into the older
// form by a documented byte edit, and shows what the older server's table shows.

#include <algorithm>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "app/ScriptDdl.h"
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

// --- generated columns of version 10 definitions --------------------------------------

fs::path GeneratedArchive() { return fs::path(DRALVEK_FIXTURES) / "generated"; }

// The two forms in which servers before the expression block kept generated columns.
enum class OldGenerated {
    TypeMarker,  // 5.2 to 10.1 of one line: type 245 in the field record, the type in the entry
    CheckBit,    // 5.7 of the other: bit 128 of the field's check byte
};

// gen_cols/*.frm (version 11) hold generated columns and nothing else in their expression
// block, which ends the file: 16 header bytes, then per column its kind (0 VIRTUAL, 1
// STORED), field number (2), expression length (2), name length (1), name, expression.
// The edit turns the block into the older screen at the same place, with the same
// expressions, and gives the definition version 10 and an older server's version (at 51);
// rows and row layout are the server's own.
Bytes WithOldGeneratedColumns(Bytes frm, OldGenerated form) {
    const std::size_t info = Le32(frm, 64 + Le16(frm, 4));
    const std::size_t fields = Le16(frm, info + 258);
    const std::size_t records = info + 288 + Le16(frm, info + 260);
    const std::size_t block = records + 17 * fields + Le16(frm, info + 268) + Le16(frm, info + 274) + Le16(frm, info + 284);
    EXPECT_EQ(frm.at(2), 11);
    EXPECT_EQ(block + Le16(frm, info + 286), frm.size()) << "the expression block ends the file";
    std::string screen;
    for (std::size_t at = block + 16; at + 6 <= frm.size();) {
        const unsigned kind = frm.at(at);
        const std::size_t field = Le16(frm, at + 1), length = Le16(frm, at + 3), name = frm.at(at + 5);
        const std::string text(frm.begin() + static_cast<std::ptrdiff_t>(at + 6 + name),
                               frm.begin() + static_cast<std::ptrdiff_t>(at + 6 + name + length));
        at += 6 + name + length;
        EXPECT_LE(kind, 1u) << "generated columns only";
        const std::size_t rec = records + 17 * field;
        if (form == OldGenerated::TypeMarker) {
            const unsigned type = frm.at(rec + 13);
            const bool list = type == 247 || type == 248;  // ENUM, SET: their list in the entry
            std::string entry{static_cast<char>(list ? 2 : 1), static_cast<char>(type), static_cast<char>(kind)};
            if (list) entry += static_cast<char>(frm.at(rec + 12));
            entry += text;
            EXPECT_LE(entry.size(), 255u);
            frm.at(rec + 13) = 245;
            frm.at(rec + 12) = static_cast<unsigned char>(entry.size());
            screen += entry;
        } else {
            frm.at(rec + 10) |= 128;
            screen += {1, static_cast<char>(length & 0xFF), static_cast<char>(length >> 8), static_cast<char>(kind)};
            screen += text;
        }
    }
    frm.resize(block);
    frm.insert(frm.end(), screen.begin(), screen.end());
    PutLe(frm, info + 286, screen.size(), 2);
    frm.at(2) = 10;
    PutLe(frm, 51, form == OldGenerated::TypeMarker ? 100138 : 50744, 4);
    return frm;
}

std::string CreateTable(const fs::path& root, const std::string& table) {
    CDralvekOstruneApp app;
    TableDdl ddl;
    EXPECT_TRUE(BuildTableDdl(CString::FromUtf8((root / "gen_cols" / (table + ".frm")).string()), CString::FromUtf8(table),
                              app.m_mapCollation, ddl));
    EXPECT_TRUE(ddl.losses.empty()) << ddl.losses.front();
    return ddl.sql;
}

// The check-bit form's server gives VIRTUAL columns their null bits (and BIT spare bits)
// after every stored column's; the fixture server gave them in column order. The edit
// moves the bits of each fixed-length record: slots names the flag bits from bit 1 on in
// column order, S for a stored column's and V for a VIRTUAL one's.
void MoveVirtualFlagsLast(Bytes& myd, std::size_t rows, const std::string& slots) {
    ASSERT_EQ(myd.size() % rows, 0u);
    const std::size_t length = myd.size() / rows;
    for (std::size_t r = 0; r < rows; ++r) {
        unsigned char* record = myd.data() + r * length;
        auto bit = [&](std::size_t k) { return (record[k / 8] >> (k % 8)) & 1; };
        std::vector<int> stored, virtuals;
        for (std::size_t i = 0; i < slots.size(); ++i) (slots[i] == 'S' ? stored : virtuals).push_back(bit(i + 1));
        stored.insert(stored.end(), virtuals.begin(), virtuals.end());
        for (std::size_t i = 0; i < stored.size(); ++i) {
            const std::size_t k = i + 1;
            record[k / 8] = static_cast<unsigned char>((record[k / 8] & ~(1u << (k % 8))) | stored[i] << (k % 8));
        }
    }
}

// Every generated-column table, its definition in either older form, shows the rows the
// version 11 definition shows (those are checked against the server elsewhere), with and
// without ibdata1 or the .MYI, and saves the same CREATE TABLE: the same expressions,
// VIRTUAL and STORED as they were.
TEST(OlderServerFiles, GeneratedColumnsOfVersion10Definitions) {
    const struct {
        const char* table;
        bool innodb;
        // The check-bit form of a MyISAM table: whether its rows read with the .MYI,
        // whose null bits are the fixture server's (the spare bits of a BIT column come
        // from the definition's order even then); and the flag bits of its fixed-length
        // records (see above) to read them without the .MYI, empty for packed records,
        // which are not edited.
        bool checkBitWithMyi;
        const char* slots;
    } tables[] = {
        {"t_myisam_fixed", false, true, "VSSSVSSVSSV"},
        {"t_myisam_dynamic", false, true, ""},
        {"t_myisam_vkey", false, true, ""},
        {"t_myisam_bits", false, false, "SSSSVSSSSVVVV"},
        {"t_myisam_bits_dynamic", false, false, ""},
        {"t_inno_redundant", true, true, ""},
        {"t_inno_compact", true, true, ""},
        {"t_inno_dynamic", true, true, ""},
        {"t_inno_vkey", true, true, ""},
    };
    for (const auto& t : tables) {
        const std::string base = std::string("gen_cols/") + t.table;
        std::vector<std::string> files = {base + ".frm"};
        if (t.innodb) files.insert(files.end(), {base + ".ibd", "ibdata1"});
        else files.insert(files.end(), {base + ".MYD", base + ".MYI"});
        const std::string second = t.innodb ? "ibdata1" : base + ".MYI";
        DataDir written(GeneratedArchive(), files);
        const Shown want = ShowWholeTable(written.Root(), "gen_cols", t.table);
        ASSERT_TRUE(want.definitionRead) << t.table;
        ASSERT_FALSE(want.rows.empty()) << t.table;
        const std::string wantDdl = CreateTable(written.Root(), t.table);
        EXPECT_NE(wantDdl.find("GENERATED ALWAYS AS"), std::string::npos);
        fs::remove(written.Path(second));
        const Shown wantAlone = ShowWholeTable(written.Root(), "gen_cols", t.table);

        for (const OldGenerated form : {OldGenerated::TypeMarker, OldGenerated::CheckBit}) {
            const bool checkBit = form == OldGenerated::CheckBit;
            SCOPED_TRACE(std::string(t.table) + (checkBit ? ", check bit 128" : ", type 245"));
            DataDir old(GeneratedArchive(), files);
            old.Write(base + ".frm", WithOldGeneratedColumns(old.Read(base + ".frm"), form));
            EXPECT_EQ(CreateTable(old.Root(), t.table), wantDdl);
            if (!checkBit || t.checkBitWithMyi) {
                const Shown got = ShowWholeTable(old.Root(), "gen_cols", t.table);
                EXPECT_TRUE(got.definitionRead);
                EXPECT_EQ(got.columns, want.columns);
                EXPECT_EQ(got.rows, want.rows);
                EXPECT_EQ(got.losses, want.losses);
            }

            // Without ibdata1 or the .MYI the definition alone gives the layout.
            if (checkBit && !t.innodb) {
                if (!*t.slots) continue;
                Bytes myd = old.Read(base + ".MYD");
                MoveVirtualFlagsLast(myd, want.rows.size(), t.slots);
                old.Write(base + ".MYD", myd);
            }
            fs::remove(old.Path(second));
            const Shown alone = ShowWholeTable(old.Root(), "gen_cols", t.table);
            EXPECT_EQ(alone.rows, wantAlone.rows) << "without " << second;
            EXPECT_EQ(alone.losses, wantAlone.losses) << "without " << second;
        }
    }
}

// The default values are a record too, with the same order of null bits. The edit (on
// the check-bit form of t_myisam_fixed, its defaults all NULL): the flag bits moved as
// for its rows, then a's null bit (bit 1 in that order) cleared and its 4 bytes (record
// position in the field record, counted from 1) set to 7.
TEST(OlderServerFiles, CheckBitFormDefaultsFollowItsNullBitOrder) {
    const std::string frm = "gen_cols/t_myisam_fixed.frm";
    DataDir dir(GeneratedArchive(), {frm});
    Bytes bytes = WithOldGeneratedColumns(dir.Read(frm), OldGenerated::CheckBit);
    const std::size_t at = Le16(bytes, 6) + (Le16(bytes, 14) == 0xFFFF ? Le32(bytes, 47) : Le16(bytes, 14));
    Bytes record(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                 bytes.begin() + static_cast<std::ptrdiff_t>(at + Le16(bytes, 16)));
    MoveVirtualFlagsLast(record, 1, "VSSSVSSVSSV");
    ASSERT_EQ(record.at(0) & 2, 2) << "a's default is NULL";
    record.at(0) &= static_cast<unsigned char>(~2u);
    const std::size_t info = Le32(bytes, 64 + Le16(bytes, 4));
    const std::size_t a = info + 288 + Le16(bytes, info + 260) + 17 * 2;  // the third field
    PutLe(record, (Le32(bytes, a + 5) & 0xFFFFFF) - 1, 7, 4);
    std::copy(record.begin(), record.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    dir.Write(frm, bytes);
    const std::string ddl = CreateTable(dir.Root(), "t_myisam_fixed");
    EXPECT_NE(ddl.find("`a` int(11) NULL DEFAULT 7,"), std::string::npos) << ddl;
    EXPECT_NE(ddl.find("`s` varchar(20) CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci NULL DEFAULT NULL,"),
              std::string::npos)
        << ddl;
}

// --- JSON columns of MySQL 5.7 -----------------------------------------------------------

// mysql_json/*: the fixture server has no JSON type of that form, so the documents sit in
// a LONGBLOB column j (field 1); the edit gives the field type 245 (byte 13 of its record),
// as MySQL 5.7 wrote a JSON column, whose values it keeps in the same blob layout.
TEST(OlderServerFiles, MySql57JsonColumnsShowTheirDocumentsAsText) {
    const fs::path archive = fs::path(DRALVEK_FIXTURES) / "mysql_json";
    const std::string want[] = {"{\"a\": 1, \"bb\": [true, \"x\"]}", "[70000, -2]", "\"" + std::string(20000, 'y') + "\"",
                                "NULL", "0x0D00"};
    for (const char* table : {"t_myisam", "t_inno_dynamic", "t_inno_compact"}) {
        const bool innodb = std::string(table).rfind("t_inno", 0) == 0;
        const std::string base = std::string("mysql_json/") + table;
        std::vector<std::string> files = {base + ".frm"};
        if (innodb) files.insert(files.end(), {base + ".ibd", "ibdata1"});
        else files.insert(files.end(), {base + ".MYD", base + ".MYI"});
        DataDir dir(archive, files);
        Bytes frm = dir.Read(base + ".frm");
        ASSERT_EQ(frm.at(FieldRecord(frm, 1) + 13), 251) << "LONGBLOB";
        frm.at(FieldRecord(frm, 1) + 13) = 245;
        dir.Write(base + ".frm", frm);
        for (const bool dictionary : {true, false}) {
            if (!dictionary && !innodb) continue;
            if (!dictionary) fs::remove(dir.Path("ibdata1"));
            SCOPED_TRACE(std::string(table) + (dictionary ? "" : " without ibdata1"));
            const Shown shown = ShowWholeTable(dir.Root(), "mysql_json", table);
            ASSERT_TRUE(shown.definitionRead);
            ASSERT_EQ(shown.rows.size(), 5u);
            const std::vector<std::string> j = shown.Column(1);
            for (std::size_t r = 0; r < 5; ++r) EXPECT_EQ(j[r].substr(0, 200), want[r].substr(0, 200)) << "row " << r + 1;
            EXPECT_EQ(j[2].size(), want[2].size());
            EXPECT_EQ(shown.Column(2), (std::vector<std::string>{"10", "20", "30", "40", "50"}));
            ASSERT_EQ(shown.losses.size(), 1u);
            EXPECT_NE(shown.losses[0].find("column j"), std::string::npos) << shown.losses[0];

            // Saved, the bytes that are no document become a JSON string, so that the
            // column takes the row.
            const Shown saved = ShowWholeTable(dir.Root(), "mysql_json", table, dir.Path("save"));
            ASSERT_EQ(saved.rows.size(), 5u);
            EXPECT_EQ(saved.Column(1)[4], "\"0x0D00\"");
            EXPECT_EQ(saved.Column(1)[0], want[0]);
            fs::remove_all(dir.Path("save"));
        }
        if (innodb) continue;
        CDralvekOstruneApp app;
        TableDdl ddl;
        ASSERT_TRUE(BuildTableDdl(CString::FromUtf8(dir.Path(base + ".frm").string()), CString::FromUtf8(table),
                                  app.m_mapCollation, ddl));
        EXPECT_NE(ddl.sql.find("`j` json"), std::string::npos) << ddl.sql;
    }
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "app/TableBrowser.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

const fs::path kFormats = fs::path(DRALVEK_FIXTURES) / "corpus" / "myisam_formats";

CString FixtureBase(const char* table) { return CString::FromUtf8((kFormats / table).string()); }

std::vector<std::string> FirstCells(const CTableEngine& e) {
    std::vector<std::string> ids;
    for (const TableRow& row : e.m_rows) ids.push_back(row.empty() ? "" : row[0].m_strValue.ToUtf8());
    return ids;
}

// ---------------------------------------------------------------- real tables

TEST(TableBrowserPaging, ManyPagesForwardAndBack) {
    CDralvekOstruneApp app;
    AppEngine e;
    CTableBrowser b(e);
    // t_many_rows: 2500 dynamic rows, ids 1..2500 in file order.
    BrowserEffects fx = b.ShowTable(FixtureBase("t_many_rows"), u"t_many_rows", u"myisam_formats/t_many_rows");
    EXPECT_EQ(fx.caption, CString(u"t_many_rows[1000]"));
    EXPECT_EQ(fx.next, ButtonState::Enabled);
    EXPECT_EQ(fx.previous, ButtonState::Disabled);
    ASSERT_EQ(e.m_rows.size(), 1000u);
    EXPECT_EQ(e.m_bookmarks.size(), 2u);

    const struct {
        bool next;
        const char16_t* caption;
        const char* firstId;
        std::size_t rows;
        ButtonState nextButton, previousButton;
        const char16_t* message;
    } steps[] = {
        {true, u"1000 rows to 2000", "1001", 1000, ButtonState::Unchanged, ButtonState::Enabled, u""},
        {true, u"2000 rows to 2500", "2001", 500, ButtonState::Disabled, ButtonState::Enabled, u"No more records in table"},
        {false, u"1000 rows to 2000", "1001", 1000, ButtonState::Enabled, ButtonState::Enabled, u""},
        {false, u"0 rows to 1000", "1", 1000, ButtonState::Enabled, ButtonState::Disabled, u""},
        {true, u"1000 rows to 2000", "1001", 1000, ButtonState::Unchanged, ButtonState::Enabled, u""},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << (s.next ? "Next to " : "Previous to ") << CString(s.caption));
        fx = s.next ? b.OnNextRecords() : b.OnPrevRecords();
        EXPECT_TRUE(fx.accepted);
        EXPECT_TRUE(fx.listRefilled);
        EXPECT_EQ(fx.caption, CString(s.caption));
        EXPECT_EQ(fx.next, s.nextButton);
        EXPECT_EQ(fx.previous, s.previousButton);
        EXPECT_EQ(fx.message, CString(s.message));
        ASSERT_EQ(e.m_rows.size(), s.rows);
        EXPECT_EQ(FirstCells(e).front(), s.firstId);
        EXPECT_EQ(app.m_bBusy, 0);
    }
}

TEST(TableBrowserPaging, NextAtTheEndSaysSoAgain) {
    CDralvekOstruneApp app;
    AppEngine e;
    CTableBrowser b(e);
    b.ShowTable(FixtureBase("t_many_rows"), u"t_many_rows", u"");
    b.OnNextRecords();
    b.OnNextRecords();  // meets the end: marker pushed
    const std::size_t depth = e.m_bookmarks.size();
    BrowserEffects fx = b.OnNextRecords();
    EXPECT_FALSE(fx.accepted);
    EXPECT_EQ(fx.message, CString(u"No more records in table"));
    EXPECT_EQ(fx.next, ButtonState::Disabled);
    EXPECT_FALSE(fx.listRefilled);
    EXPECT_EQ(e.m_bookmarks.size(), depth + 1);
    EXPECT_EQ(e.m_bookmarks.back().m_nPage, kEndOfTablePage);
    EXPECT_EQ(e.m_rows.size(), 500u) << "the page shown stays";
    EXPECT_EQ(app.m_bBusy, 0);
}

TEST(TableBrowserPaging, ShortTableHasOnePage) {
    CDralvekOstruneApp app;
    AppEngine e;
    CTableBrowser b(e);
    // t_fixed: 26 live rows among deleted records.
    BrowserEffects fx = b.ShowTable(FixtureBase("t_fixed"), u"t_fixed", u"");
    EXPECT_EQ(fx.caption, CString(u"t_fixed[26]"));
    EXPECT_EQ(e.m_bookmarks.size(), 1u);
    fx = b.OnNextRecords();
    EXPECT_TRUE(fx.accepted);
    EXPECT_EQ(fx.next, ButtonState::Disabled);
    EXPECT_TRUE(fx.message.IsEmpty());
    EXPECT_FALSE(fx.listRefilled);
    EXPECT_EQ(e.m_rows.size(), 26u);
    fx = b.OnPrevRecords();
    EXPECT_EQ(fx.previous, ButtonState::Disabled);
    EXPECT_FALSE(fx.listRefilled);
}

// Next and Previous over an InnoDB table whose last page is partial, again and again: the
// pages must stay the same however often the user goes back and forth.
TEST(TableBrowserPaging, RoundTripsOverAPartialLastPageDoNotDrift) {
    CDralvekOstruneApp app;
    AppEngine e;
    const fs::path corpus = fs::path(DRALVEK_FIXTURES) / "corpus";
    // Without the dictionary first: once loaded, it stays in the engine.
    for (bool dictionary : {false, true}) {
        SCOPED_TRACE(dictionary ? "with ibdata1" : "from the .frm");
        if (dictionary) {
            ASSERT_TRUE(e.LoadDictionary(CString::FromUtf8((corpus / "ibdata1").string())));
        }
        CTableBrowser b(e);
        // 1400 rows: a full page and one of 400.
        BrowserEffects fx = b.ShowTable(CString::FromUtf8((corpus / "innodb_instant" / "t_add_varkey").string()),
                                        u"t_add_varkey", u"innodb_instant/t_add_varkey");
        ASSERT_EQ(fx.caption, CString(u"t_add_varkey[1000]"));
        const std::vector<std::string> firstPage = FirstCells(e);
        std::vector<std::string> lastPage;
        for (int trip = 0; trip < 3; ++trip) {
            SCOPED_TRACE(trip);
            fx = b.OnNextRecords();
            EXPECT_TRUE(fx.accepted);
            EXPECT_EQ(fx.caption, CString(u"1000 rows to 1400"));
            EXPECT_EQ(fx.message, CString(u"No more records in table"));
            ASSERT_EQ(e.m_rows.size(), 400u);
            if (trip == 0) lastPage = FirstCells(e);
            EXPECT_EQ(FirstCells(e), lastPage);
            fx = b.OnPrevRecords();
            EXPECT_TRUE(fx.accepted);
            EXPECT_EQ(fx.caption, CString(u"0 rows to 1000"));
            EXPECT_EQ(FirstCells(e), firstPage);
            EXPECT_EQ(b.m_nRowsRead, 1000u);
        }
        EXPECT_TRUE(fx.losses.empty());
    }
}

// Previous on the first page has no page to go to: refused, nothing re-read.
TEST(TableBrowserPaging, PreviousOnTheFirstPageIsRefused) {
    CDralvekOstruneApp app;
    AppEngine e;
    CTableBrowser b(e);
    b.ShowTable(FixtureBase("t_many_rows"), u"t_many_rows", u"");
    for (int attempt = 0; attempt < 2; ++attempt) {
        BrowserEffects fx = b.OnPrevRecords();
        EXPECT_FALSE(fx.accepted);
        EXPECT_EQ(fx.previous, ButtonState::Disabled);
        EXPECT_FALSE(fx.captionChanged);
        EXPECT_FALSE(fx.listRefilled);
        EXPECT_EQ(e.m_rows.size(), 1000u);
        EXPECT_EQ(FirstCells(e).front(), "1");
    }
    // Next still goes on from the first page.
    BrowserEffects fx = b.OnNextRecords();
    EXPECT_EQ(fx.caption, CString(u"1000 rows to 2000"));
    EXPECT_EQ(FirstCells(e).front(), "1001");
}

// Whatever a read throws ends the step with a message, never the process.
TEST(TableBrowserDisplay, ATableWhoseFilesCannotBeReadGivesAMessageNotACrash) {
    CDralvekOstruneApp app;
    AppEngine e;
    CTableBrowser b(e);
    const fs::path dir = fs::temp_directory_path() / ("browse-throw-" + std::to_string(::getpid()));
    fs::create_directories(dir / "db");
    const fs::path corpus = fs::path(DRALVEK_FIXTURES) / "corpus" / "innodb_features";
    fs::copy_file(corpus / "t_many_rows.frm", dir / "db" / "t_many_rows.frm");
    // Page 0 only, its flags naming no page size: the page-size and header reads meet the
    // end of the file.
    std::ofstream(dir / "db" / "t_many_rows.ibd", std::ios::binary) << std::string(16384, '\xFF');
    BrowserEffects fx = b.ShowTable(CString::FromUtf8((dir / "db" / "t_many_rows").string()), u"t_many_rows",
                                    u"db/t_many_rows");
    EXPECT_TRUE(e.m_rows.empty());
    EXPECT_FALSE(fx.losses.empty());
    EXPECT_EQ(fx.next, ButtonState::Disabled);
    EXPECT_EQ(app.m_bBusy, 0);
    fs::remove_all(dir);
}

TEST(TableBrowserPaging, BusyRefusesBothDirections) {
    CDralvekOstruneApp app;
    AppEngine e;
    CTableBrowser b(e);
    b.ShowTable(FixtureBase("t_many_rows"), u"t_many_rows", u"");
    app.m_bBusy = 1;
    for (bool next : {true, false}) {
        BrowserEffects fx = next ? b.OnNextRecords() : b.OnPrevRecords();
        EXPECT_FALSE(fx.accepted);
        EXPECT_EQ(fx.message, CString(u"Please wait for the running process."));
        EXPECT_EQ(fx.next, ButtonState::Unchanged);
        EXPECT_FALSE(fx.listRefilled);
        EXPECT_EQ(e.m_bookmarks.size(), 2u);
        EXPECT_EQ(e.m_rows.size(), 1000u);
        EXPECT_EQ(app.m_bBusy, 1) << "the flag belongs to whoever set it";
    }
}

TEST(TableBrowserDisplay, KeysListAndWhatFollowsIt) {
    CDralvekOstruneApp app;
    AppEngine e;
    CTableBrowser b(e);
    std::vector<KeyListRow> rows;
    BrowserEffects fx = b.ShowKeys(FixtureBase("t_fixed"), u"Keys", rows);
    EXPECT_TRUE(b.m_bDefinitionRead);
    EXPECT_EQ(fx.caption, CString(u"Keys[5]"));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], (KeyListRow{u"id", u"INT", u"11", u"False", u"Primary Key"}));
    EXPECT_EQ(rows[2], (KeyListRow{u"name", u"VARCHAR(30)", u"30", u"True", u""}));
    ASSERT_EQ(e.m_columns.size(), kKeyListColumns) << "placeholders for the five list columns";
    for (std::size_t i = 0; i < kKeyListColumns; ++i) EXPECT_EQ(e.m_columns[i].m_strName, CString(kKeyListHeadings[i]));
    EXPECT_TRUE(e.m_bookmarks.empty());

    // The table shown next replaces the placeholders with its own columns.
    b.ShowTable(FixtureBase("t_not_null"), u"t_not_null", u"");
    ASSERT_EQ(e.m_columns.size(), 5u);
    EXPECT_EQ(e.m_columns[1].m_strName, CString(u"a"));
    EXPECT_EQ(e.m_rows.size(), 3u);
}

TEST(TableBrowserDisplay, TableWithoutDefinitionShowsNothing) {
    CDralvekOstruneApp app;
    AppEngine e;
    CTableBrowser b(e);
    // Data files whose .frm is lost, shown after a MyISAM table: the previous table's
    // engine byte must not make them read.
    const fs::path dir = fs::temp_directory_path() / ("orphan-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    for (const std::string ext : {".MYD", ".MYI"}) fs::copy_file(kFormats / ("t_fixed" + ext), dir / ("orphan" + ext));
    b.ShowTable(FixtureBase("t_fixed"), u"t_fixed", u"");
    ASSERT_EQ(e.m_rows.size(), 26u);

    BrowserEffects fx = b.ShowTable(CString::FromUtf8((dir / "orphan").string()), u"orphan", u"");
    EXPECT_FALSE(b.m_bDefinitionRead);
    EXPECT_TRUE(e.m_rows.empty());
    EXPECT_TRUE(e.m_columns.empty());
    EXPECT_TRUE(e.m_bookmarks.empty());
    EXPECT_FALSE(e.m_fileMyd.IsOpen());
    EXPECT_EQ(fx.caption, CString(u"orphan[0]"));
    EXPECT_EQ(fx.next, ButtonState::Disabled);
    EXPECT_EQ(fx.previous, ButtonState::Disabled);
    fs::remove_all(dir);
}

TEST(TableBrowserDisplay, PathsOnCaseSensitiveFileSystems) {
    EXPECT_EQ(JoinTablePath(u"/data/db/", u"t1"), CString(u"/data/db/t1"));
    EXPECT_EQ(JoinTablePath(u"C:\\data\\\\db", u"t1"), CString(u"C:\\data\\db/t1"));
    EXPECT_EQ(TableDictionaryKey(u"/data/shop/", u"orders"), CString(u"shop/orders"));
    EXPECT_EQ(TableDictionaryKey(u"/data//shop", u"orders"), CString(u"shop/orders"));
    EXPECT_EQ(TableDictionaryKey(u"shop", u"orders"), CString());
    // The server writes t.MYD beside t.frm; the reader asks for ".myd".
    EXPECT_EQ(FindTableFile(FixtureBase("t_fixed"), u".myd"), CString::FromUtf8((kFormats / "t_fixed.MYD").string()));
    EXPECT_EQ(FindTableFile(FixtureBase("t_fixed"), u".frm"), CString::FromUtf8((kFormats / "t_fixed.frm").string()));
    EXPECT_EQ(FindTableFile(FixtureBase("T_FIXED"), u".myd"), FixtureBase("T_FIXED") + u".myd") << "names match exactly";
}

// ---------------------------------------------------------------- hand-made data files

class HandMadeTable : public ::testing::Test {
protected:
    void SetUp() override {
        m_app.m_mapCollation[8] = CollationEntry{1, 1, u"latin1_swedish_ci", u"latin1"};
        m_path = fs::temp_directory_path() / ("browse-" + std::to_string(::getpid()) + ".MYD");
        // id INT NOT NULL at 1, v VARCHAR(20) latin1 at 5; no null flags.
        ColumnInfo id;
        id.m_strName = u"id";
        id.m_nType = MYSQL_TYPE_LONG;
        id.m_nRecordPos = 1;
        id.m_nLength = 11;
        id.m_bSigned = 1;
        ColumnInfo v;
        v.m_strName = u"v";
        v.m_nType = MYSQL_TYPE_VARCHAR;
        v.m_nRecordPos = 5;
        v.m_nLength = 20;
        v.m_nCharset = 8;
        v.m_nColumn = 1;
        m_engine.m_columns = {id, v};
        m_engine.m_nDbType = 9;
    }
    void TearDown() override {
        m_engine.m_fileMyd.Close();
        fs::remove(m_path);
    }

    void Write(const Bytes& bytes) {
        std::ofstream(m_path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    void UseFixedRows(std::uint32_t recordLength, std::uint32_t packLength) {
        m_engine.m_nRowFormat = 0;
        m_engine.m_columns[0].m_nRecordPos = 2;
        m_engine.m_columns.resize(1);
        m_engine.m_recinfo = {{MI_FIELD_NORMAL, 1, 0, 0}, {MI_FIELD_NORMAL, 4, 0, 0}};
        m_engine.m_nNullBytes = 1;
        m_engine.m_nRecordLength = recordLength;
        m_engine.m_myiBase.pack_reclength = packLength;
    }

    void UseDynamicRows() {
        m_engine.m_nRowFormat = 1;
        m_engine.m_recinfo = {{MI_FIELD_NORMAL, 4, 0, 0}, {MI_FIELD_VARCHAR, 21, 0, 0}};
        m_engine.m_nRecordLength = 25;
        m_engine.m_myiBase.pack_bits = 0;
        m_engine.m_myiBase.min_pack_length = 5;
        m_engine.m_myiBase.max_pack_length = 25;
    }

    // First page read as the first display does; the paging counters as it leaves them.
    void LoadFirstPage() {
        ASSERT_TRUE(m_browser.LoadMyIsamFirstPage(CString::FromUtf8(m_path.string())));
        m_browser.m_nRowsRead = m_browser.m_nPageLastRow = m_engine.m_rows.size();
    }

    CDralvekOstruneApp m_app;
    AppEngine m_engine;
    CTableBrowser m_browser{m_engine};
    fs::path m_path;
};

Bytes FixedRecords(std::uint32_t count, std::uint32_t recordLength, std::uint32_t deletedEvery) {
    Bytes file;
    std::uint32_t id = 1;
    for (std::uint32_t i = 0; i < count; ++i) {
        Bytes rec(recordLength, 0);
        if (deletedEvery && i % deletedEvery == deletedEvery - 1) {
            // MyISAM's delete mark: first byte 0, then the link of the free chain.
            rec[1] = 0xFF;
            rec[2] = 0xFF;
        } else {
            rec[0] = 0xFF;  // the reserved delete bit and unused null bits set
            for (int k = 0; k < 4; ++k) rec[1 + k] = static_cast<unsigned char>(id >> (8 * k));
            ++id;
        }
        file.insert(file.end(), rec.begin(), rec.end());
    }
    return file;
}

TEST_F(HandMadeTable, DeletedFixedRecordsAreNoRows) {
    // 1000 live records with every fifth slot deleted: page 1 holds the 1000 live rows
    // (deleted ones do not count towards the page), so the table ends exactly there.
    UseFixedRows(7, 7);
    Write(FixedRecords(1250, 7, 5));
    LoadFirstPage();
    ASSERT_EQ(m_engine.m_rows.size(), 1000u);
    const auto ids = FirstCells(m_engine);
    for (std::size_t i = 0; i < ids.size(); ++i) ASSERT_EQ(ids[i], std::to_string(i + 1));
    ASSERT_EQ(m_engine.m_bookmarks.size(), 2u);
    EXPECT_EQ(m_engine.m_bookmarks[1].m_nOffset, 1249u * 7) << "after the 1000th live record";

    BrowserEffects fx = m_browser.OnNextRecords();
    EXPECT_TRUE(m_engine.m_rows.empty()) << "only the deleted last slot remains";
    EXPECT_EQ(fx.message, CString(u"No more records in table"));
    EXPECT_EQ(fx.next, ButtonState::Disabled);
    EXPECT_EQ(fx.caption, CString(u"1000 rows to 1000"));
}

TEST_F(HandMadeTable, FixedRecordStep) {
    const struct {
        const char* what;
        std::uint32_t frmLength, packLength, stored, records;
        std::size_t rows;
    } cases[] = {
        // MyISAM widens tiny records to hold the free-chain link: its length is the step.
        {"the .MYI's packed length", 5, 7, 7, 10, 10},
        {"packed length beyond the whole file", 7, 1000000, 7, 10, 10},
        {"no packed length known", 7, 0, 7, 10, 10},
        {"the last record cut short is still read", 7, 7, 7, 10, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_engine.m_rows.clear();
        m_engine.m_bookmarks.clear();
        UseFixedRows(c.frmLength, c.packLength);
        Bytes file = FixedRecords(c.records, c.stored, 0);
        if (std::string(c.what).find("cut short") != std::string::npos) file.resize(file.size() - 5);
        Write(file);
        LoadFirstPage();
        ASSERT_EQ(m_engine.m_rows.size(), c.rows);
        EXPECT_EQ(FirstCells(m_engine).back(), std::to_string(c.records));
        m_engine.m_fileMyd.Close();
    }
}

TEST_F(HandMadeTable, ExactlyOnePageOfFixedRows) {
    UseFixedRows(7, 7);
    Write(FixedRecords(1000, 7, 0));
    LoadFirstPage();
    ASSERT_EQ(m_engine.m_bookmarks.size(), 2u);
    EXPECT_EQ(m_engine.m_bookmarks[1].m_nOffset, 7000u) << "the file's length";
    BrowserEffects fx = m_browser.OnNextRecords();
    EXPECT_TRUE(fx.accepted);
    EXPECT_TRUE(m_engine.m_rows.empty());
    EXPECT_EQ(fx.message, CString(u"No more records in table"));
    EXPECT_EQ(fx.caption, CString(u"1000 rows to 1000"));
    EXPECT_EQ(m_engine.m_bookmarks.back().m_nPage, kEndOfTablePage);
    EXPECT_EQ(m_engine.m_bookmarks.back().m_nOffset, 7000u);
}

TEST_F(HandMadeTable, MissingOrCompressedDataShowsNoRows) {
    UseFixedRows(7, 7);
    EXPECT_TRUE(m_browser.LoadMyIsamFirstPage(CString::FromUtf8((m_path.string() + ".absent"))));
    EXPECT_TRUE(m_engine.m_bookmarks.empty());
    Write(FixedRecords(3, 7, 0));
    m_engine.m_nRowFormat = 2;
    EXPECT_TRUE(m_browser.LoadMyIsamFirstPage(CString::FromUtf8(m_path.string())));
    EXPECT_TRUE(m_engine.m_rows.empty());
    EXPECT_EQ(m_engine.m_bookmarks.size(), 1u);
}

// Dynamic blocks. A record here is id (4 bytes) + length byte + text.
Bytes Rec(std::uint32_t id, const std::string& text) {
    Bytes r(5 + text.size(), 0);
    r[0] = static_cast<unsigned char>(id);
    r[1] = static_cast<unsigned char>(id >> 8);
    r[4] = static_cast<unsigned char>(text.size());
    std::copy(text.begin(), text.end(), r.begin() + 5);
    return r;
}

void Put(Bytes& b, std::uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// A whole record in one block (type 3), padded to MyISAM's 4-byte block alignment.
Bytes Whole(const Bytes& rec) {
    const std::size_t pad = (4 - (4 + rec.size()) % 4) % 4;
    Bytes b = {0x03};
    Put(b, rec.size(), 2);
    b.push_back(static_cast<unsigned char>(pad));
    b.insert(b.end(), rec.begin(), rec.end());
    b.resize(b.size() + pad, 0);
    return b;
}

// First part (type 5) of a record of recLen bytes, holding part, continued at next.
Bytes FirstPart(std::size_t recLen, const Bytes& part, std::uint64_t next) {
    Bytes b = {0x05};
    Put(b, recLen, 2);
    Put(b, part.size(), 2);
    Put(b, next, 8);
    b.insert(b.end(), part.begin(), part.end());
    return b;
}

// Middle part (type 11) and last part (type 7).
Bytes MiddlePart(const Bytes& part, std::uint64_t next) {
    Bytes b = {0x0B};
    Put(b, part.size(), 2);
    Put(b, next, 8);
    b.insert(b.end(), part.begin(), part.end());
    return b;
}

Bytes LastPart(const Bytes& part) {
    Bytes b = {0x07};
    Put(b, part.size(), 2);
    b.insert(b.end(), part.begin(), part.end());
    return b;
}

Bytes Deleted(std::uint32_t length) {
    Bytes b = {0x00};
    Put(b, length, 3);
    Put(b, ~0ull, 8);
    Put(b, ~0ull, 8);
    b.resize(length < 20 ? 20 : length, 0);
    return b;
}

Bytes Slice(const Bytes& r, std::size_t from, std::size_t n) {
    return Bytes(r.begin() + static_cast<long>(from), r.begin() + static_cast<long>(from + n));
}

void Append(Bytes& file, const Bytes& block) { file.insert(file.end(), block.begin(), block.end()); }

TEST_F(HandMadeTable, RecordInThreePartsIsJoined) {
    UseDynamicRows();
    const Bytes a = Rec(1, "joined from three");  // 22 bytes
    // Layout: [A part 1][B whole][A part 2][C whole][A part 3]
    const Bytes b = Whole(Rec(2, "bee")), c = Whole(Rec(3, "sea"));
    const std::size_t p1 = 0, len1 = 13 + 8;
    const std::size_t p2 = p1 + len1 + b.size(), len2 = 11 + 8;
    const std::size_t p3 = p2 + len2 + c.size();
    Bytes file;
    Append(file, FirstPart(a.size(), Slice(a, 0, 8), p2));
    Append(file, b);
    Append(file, MiddlePart(Slice(a, 8, 8), p3));
    Append(file, c);
    Append(file, LastPart(Slice(a, 16, 6)));
    Write(file);
    LoadFirstPage();
    ASSERT_EQ(FirstCells(m_engine), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(m_engine.m_rows[0][1].m_strValue, CString(u"joined from three"));
}

TEST_F(HandMadeTable, DamagedBlocksCostTheirRecordOnly) {
    UseDynamicRows();
    const Bytes good = Whole(Rec(9, "after"));
    const Bytes a = Rec(1, "split record");  // 17 bytes
    const struct {
        const char* what;
        std::function<Bytes()> build;  // blocks before the good record
        std::vector<std::string> ids;
    } cases[] = {
        {"deleted block first", [] { return Deleted(24); }, {"9"}},
        {"deleted block claiming no length", [] { return Deleted(0); }, {"9"}},
        {"type byte no block has", [] { return Bytes{0xEE, 0xEE, 0xEE, 0xEE}; }, {"9"}},
        {"next part is the first part itself", [&] { return FirstPart(a.size(), Slice(a, 0, 8), 0); }, {"9"}},
        {"parts that point at each other",
         [&] {
             Bytes f = FirstPart(a.size(), Slice(a, 0, 4), 17);
             Append(f, MiddlePart(Slice(a, 4, 4), 17));
             return f;
         },
         {"9"}},
        {"zero-length parts", [&] {
             Bytes f = FirstPart(a.size(), Slice(a, 0, 4), 17);
             Append(f, MiddlePart(Bytes(), 17));
             return f;
         }, {"9"}},
        {"next part past the end of the file", [&] { return FirstPart(a.size(), Slice(a, 0, 8), 1u << 30); }, {"9"}},
        {"next part is a deleted block",
         [&] {
             Bytes f = FirstPart(a.size(), Slice(a, 0, 8), 21);
             Append(f, Deleted(20));
             return f;
         },
         {"9"}},
        {"last part ends the chain too early",
         [&] {
             Bytes f = FirstPart(a.size(), Slice(a, 0, 8), 21);
             Append(f, LastPart(Slice(a, 8, 4)));
             return f;
         },
         {"9"}},
        {"record longer than the table allows", [&] { return FirstPart(60000, Slice(a, 0, 8), 21); }, {"9"}},
        {"part longer than its record", [&] { return FirstPart(4, Slice(a, 0, 8), 21); }, {"9"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_engine.m_rows.clear();
        m_engine.m_bookmarks.clear();
        Bytes file = c.build();
        file.resize((file.size() + 3) / 4 * 4, 0);  // blocks start 4-aligned
        Append(file, good);
        Write(file);
        LoadFirstPage();
        EXPECT_EQ(FirstCells(m_engine), c.ids);
        m_engine.m_fileMyd.Close();
    }
}

TEST_F(HandMadeTable, BlockRunningPastTheEndOfTheFile) {
    UseDynamicRows();
    Bytes file = Whole(Rec(1, "one"));
    Bytes cut = Whole(Rec(2, "cut off here"));
    cut.resize(cut.size() - 6);
    Append(file, cut);
    Write(file);
    LoadFirstPage();
    EXPECT_EQ(FirstCells(m_engine), (std::vector<std::string>{"1"}));
    EXPECT_EQ(m_engine.m_bookmarks.size(), 1u);
}

}  // namespace

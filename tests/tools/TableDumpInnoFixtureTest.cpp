// Every COMPACT and DYNAMIC InnoDB table of the real-server corpus, read through
// table-dump in save mode and compared cell by cell with what the server itself printed.

#include <gtest/gtest.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "app/TableBrowser.h"
#include "engine/FieldValue.h"
#include "engine/TableEngine.h"
#include "tools/table-dump/TableDump.h"

namespace fs = std::filesystem;

namespace {

const fs::path kCorpus = fs::path(DRALVEK_FIXTURES) / "corpus";
const fs::path kExpected = fs::path(DRALVEK_FIXTURE_SOURCE) / "expected";

// A cell of a TSV: its text, or NULL (\N in the server's files).
struct Cell {
    std::string text;
    bool null = false;
    bool notStored = false;  // \V alone: a VIRTUAL column's cell
};
using Row = std::vector<Cell>;

// Lines of TAB-separated cells with \\ \t \n \r escaped; \N alone is NULL when asked.
std::vector<Row> ParseTsv(const std::string& content, bool backslashNIsNull) {
    std::vector<Row> rows;
    std::size_t at = 0;
    while (at < content.size()) {
        std::size_t end = content.find('\n', at);
        if (end == std::string::npos) end = content.size();
        const std::string line = content.substr(at, end - at);
        at = end + 1;
        Row row(1);
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '\t') {
                row.emplace_back();
            } else if (c == '\\' && i + 1 < line.size()) {
                const char e = line[++i];
                const bool alone = row.back().text.empty() && (i + 1 == line.size() || line[i + 1] == '\t');
                if (backslashNIsNull && e == 'N' && alone)
                    row.back().null = true;
                else if (backslashNIsNull && e == 'V' && alone)
                    row.back().notStored = true;
                else
                    row.back().text.push_back(e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e);
            } else {
                row.back().text.push_back(c);
            }
        }
        rows.push_back(row);
    }
    return rows;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct TableCase {
    fs::path datadir;      // the unpacked archive that holds it
    std::string database;  // folder name
    std::string table;     // file name without extension
    bool hasIbd = false;
};

std::ostream& operator<<(std::ostream& os, const TableCase& c) { return os << c.database << "/" << c.table; }

// The InnoDB tables in COMPACT or DYNAMIC format that the archives hold.
std::vector<TableCase> CorpusInnoTables() {
    std::vector<TableCase> cases;
    std::error_code ec;
    std::set<fs::path> folders;
    for (const auto& entry : fs::directory_iterator(kExpected, ec))
        if (entry.is_directory() && fs::exists(entry.path() / "tables.tsv")) folders.insert(entry.path());
    for (const fs::path& folder : folders) {
        const std::string database = folder.filename().string();
        fs::path datadir = kCorpus;
        // Whichever unpacked archive holds the database folder.
        for (const auto& archive : fs::directory_iterator(DRALVEK_FIXTURES, ec))
            if (archive.is_directory() && fs::exists(archive.path() / database)) datadir = archive.path();
        const std::vector<Row> rows = ParseTsv(ReadFile(folder / "tables.tsv"), true);
        for (std::size_t i = 1; i < rows.size(); ++i) {
            const Row& r = rows[i];
            if (r.size() < 5 || r[3].text != "InnoDB") continue;
            if (r[4].text != "Compact" && r[4].text != "Dynamic") continue;
            TableCase c{datadir, database, r[1].text, false};
            c.hasIbd = fs::exists(datadir / database / (c.table + ".ibd"));
            cases.push_back(c);
        }
    }
    return cases;
}

bool IsOneOf(const std::string& v, std::initializer_list<const char*> set) {
    for (const char* s : set)
        if (v == s) return true;
    return false;
}

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (unsigned char c : bytes) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

std::string Unhex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

bool ParseDouble(const std::string& s, double& v) {
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// One table read by table-dump in save mode, from datadir.
class InnoDumpRun {
public:
    InnoDumpRun(const TableCase& c, const fs::path& datadir) : m_case(c) {
        m_save = fs::temp_directory_path() /
                 ("innodump-" + std::to_string(::getpid()) + "-" + std::to_string(++s_runs));
        fs::remove_all(m_save);
        fs::create_directories(m_save / "blobdata");
        TableDumpArgs args;
        args.saveFolder = m_save.string();
        args.dataDir = datadir.string();
        args.database = c.database;
        args.table = c.table;
        std::ostringstream out, err;
        m_exit = RunTableDump(args, out, err);
        m_err = err.str();
        m_rows = ParseTsv(out.str(), true);
        // The columns' character sets, for the off-page text files.
        m_engine.ReadFrm(CString::FromUtf8((datadir / c.database / (c.table + ".frm")).string()));
    }
    ~InnoDumpRun() { fs::remove_all(m_save); }

    int m_exit = 0;
    std::string m_err;
    std::vector<Row> m_rows;

    // Our cell as the server would print it, or why it cannot be compared.
    bool Normalise(std::size_t column, const std::string& dataType, const Cell& ours, const Cell& theirs,
                   std::string& why) const {
        if (theirs.null || ours.null) {
            if (theirs.null && ours.null) return true;
            why = theirs.null ? "expected NULL" : "NULL where the server has a value";
            return false;
        }
        std::string value = ours.text;
        const std::string blobPrefix = (m_save / "blobdata").string() + "/";
        const bool offPage = value.rfind(blobPrefix, 0) == 0;
        if (offPage) {
            // Off-page values are saved to a file of their own; the cell names it. The
            // file holds the stored bytes, compared byte for byte.
            const std::string bytes = ReadFile(value);
            if (IsOneOf(dataType, {"tinytext", "text", "mediumtext", "longtext"})) {
                const std::uint32_t charset =
                    column < m_engine.m_columns.size() ? m_engine.m_columns[column].m_nCharset : 0;
                value = DecodeCharsetText(m_engine.m_context, charset, reinterpret_cast<const unsigned char*>(bytes.data()),
                                          bytes.size())
                            .ToUtf8();
            } else {
                value = Hex(bytes);
            }
            if (value == theirs.text) return true;
            why = "off-page file differs (" + std::to_string(bytes.size()) + " bytes)";
            return false;
        }
        if (IsOneOf(dataType, {"binary", "varbinary", "tinyblob", "blob", "mediumblob", "longblob"})) {
            // Our hex form carries "0x"; the server's HEX() has none.
            if (value.rfind("0x", 0) == 0) value = value.substr(2);
        } else if (IsOneOf(dataType, {"geometry", "point", "linestring", "polygon", "multipoint", "multilinestring",
                                      "multipolygon", "geometrycollection"})) {
            // Saved spatial values are their bytes as 8-bit text with zero bytes written
            // \0 and backslashes \\ (all zero bytes: NULL); the server's HEX() shows the
            // bytes, so ours are turned back into bytes.
            const std::string want = Unhex(theirs.text);
            if (value == "NULL" && want.find_first_not_of('\0') == std::string::npos) return true;
            const std::string ansi = CString::FromUtf8(value).ToAnsi();
            std::string bytes;
            for (std::size_t i = 0; i < ansi.size(); ++i) {
                if (ansi[i] == '\\' && i + 1 < ansi.size() && (ansi[i + 1] == '0' || ansi[i + 1] == '\\'))
                    bytes += ansi[++i] == '0' ? '\0' : '\\';
                else
                    bytes += ansi[i];
            }
            if (bytes == want) return true;
            why = "spatial bytes differ";
            return false;
        } else if (dataType == "float" || dataType == "double") {
            // Both sides print the shortest text that reads back as the value; the server
            // widens FLOAT to double first, so the values are compared, not the texts.
            double want = 0, got = 0;
            if (!ParseDouble(theirs.text, want) || !ParseDouble(value, got)) {
                why = "not a number";
                return false;
            }
            if (dataType == "float") got = static_cast<double>(static_cast<float>(got));
            if (got == want || (got == 0 && want == 0 && std::signbit(got) == std::signbit(want))) return true;
            why = "different number";
            return false;
        }
        if (value == theirs.text) return true;
        why = "differs";
        return false;
    }

private:
    static inline int s_runs = 0;
    TableCase m_case;
    fs::path m_save;
    AppEngine m_engine;
};

// Compares a run with the server's rows; returns the number of differing cells.
std::size_t CompareWithServer(const TableCase& c, const InnoDumpRun& run) {
    const std::vector<Row> expected = ParseTsv(ReadFile(kExpected / c.database / (c.table + ".tsv")), true);
    const std::vector<Row> columns = ParseTsv(ReadFile(kExpected / c.database / (c.table + ".columns.tsv")), true);
    EXPECT_EQ(run.m_exit, kDumpOk) << run.m_err;
    if (expected.empty() || run.m_rows.empty()) {
        ADD_FAILURE() << "no output";
        return 1;
    }
    std::vector<std::string> types;
    std::vector<bool> isVirtual;
    for (std::size_t i = 1; i < columns.size(); ++i) {
        types.push_back(columns[i].size() > 2 ? columns[i][2].text : "");
        isVirtual.push_back(columns[i].size() > 13 && columns[i][13].text.rfind("VIRTUAL", 0) == 0);
    }

    std::size_t differences = 0;
    std::size_t reported = 0;
    auto report = [&](const std::string& what) {
        ++differences;
        if (++reported <= 12) ADD_FAILURE() << what;
    };
    // Header: the column names.
    if (run.m_rows[0].size() != expected[0].size()) report("column count differs");
    for (std::size_t i = 0; i < expected[0].size() && i < run.m_rows[0].size(); ++i)
        if (run.m_rows[0][i].text != expected[0][i].text)
            report("column " + std::to_string(i) + " named " + run.m_rows[0][i].text);
    if (run.m_rows.size() != expected.size())
        report("rows: " + std::to_string(run.m_rows.size() - 1) + ", server: " + std::to_string(expected.size() - 1));
    for (std::size_t r = 1; r < expected.size() && r < run.m_rows.size(); ++r) {
        const Row& want = expected[r];
        const Row& got = run.m_rows[r];
        if (got.size() != want.size()) {
            report("row " + std::to_string(r) + ": " + std::to_string(got.size()) + " cells");
            continue;
        }
        for (std::size_t i = 0; i < want.size(); ++i) {
            // A VIRTUAL column is the server's computation, not in the file: it is not
            // compared, only marked as not stored.
            if (i < isVirtual.size() && isVirtual[i]) {
                if (!got[i].notStored) report("row " + std::to_string(r) + " column " + expected[0][i].text + ": not marked as not stored");
                continue;
            }
            std::string why;
            if (run.Normalise(i, i < types.size() ? types[i] : "", got[i], want[i], why)) continue;
            report("row " + std::to_string(r) + " column " + expected[0][i].text + " (" +
                   (i < types.size() ? types[i] : "") + "): " + why + "\n  ours:   " + got[i].text.substr(0, 200) +
                   "\n  server: " + (want[i].null ? "\\N" : want[i].text.substr(0, 200)));
        }
    }
    return differences;
}

class InnoFixture : public testing::TestWithParam<TableCase> {
protected:
    CDralvekOstruneApp m_app;
};

TEST_P(InnoFixture, TableDumpPrintsWhatTheServerPrinted) {
    const TableCase& c = GetParam();
    if (!fs::exists(c.datadir)) GTEST_SKIP() << "fixture not unpacked";
    InnoDumpRun run(c, c.datadir);
    EXPECT_EQ(CompareWithServer(c, run), 0u);
}

// The same table from a data folder without ibdata1: the layout comes from the .frm
// and the rows from page 3 of the .ibd.
TEST_P(InnoFixture, WithoutTheDictionaryFromTheFrmAndPageThree) {
    const TableCase& c = GetParam();
    if (!fs::exists(c.datadir)) GTEST_SKIP() << "fixture not unpacked";
    if (!c.hasIbd) GTEST_SKIP() << "lives in ibdata1 only";
    const fs::path datadir = fs::temp_directory_path() / ("innodump-noibdata-" + std::to_string(::getpid()));
    fs::remove_all(datadir);
    fs::create_directories(datadir / c.database);
    for (const char* ext : {".frm", ".ibd"})
        fs::copy_file(c.datadir / c.database / (c.table + ext), datadir / c.database / (c.table + ext));
    {
        InnoDumpRun run(c, datadir);
        EXPECT_EQ(CompareWithServer(c, run), 0u);
    }
    fs::remove_all(datadir);
}

// Next and Previous page through the clustered index with the page stack, from a .ibd
// and from ibdata1; the pages are the server's rows in 1000-row slices.
TEST(InnoPaging, NextAndPreviousShowTheServersRowsInSlices) {
    if (!fs::exists(kCorpus)) GTEST_SKIP() << "corpus not unpacked";
    struct Case {
        const char* database;
        const char* table;
        bool dictionary;
    };
    const Case cases[] = {
        {"innodb_features", "t_many_rows", false},
        {"innodb_features", "t_many_rows", true},
        {"innodb_system", "t_sys_many", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.table) + (c.dictionary ? " with ibdata1" : " from the .frm"));
        CDralvekOstruneApp app;
        AppEngine engine;
        if (c.dictionary) {
            ASSERT_TRUE(engine.LoadDictionary(CString::FromUtf8((kCorpus / "ibdata1").string())));
        }
        const std::vector<Row> expected =
            ParseTsv(ReadFile(kExpected / c.database / (std::string(c.table) + ".tsv")), true);
        auto firstIds = [&](std::size_t page) {
            std::vector<std::string> ids;
            for (std::size_t r = 1 + page * kRowsPerPage; r < expected.size() && r <= (page + 1) * kRowsPerPage; ++r)
                ids.push_back(expected[r][0].text);
            return ids;
        };
        auto shownIds = [&] {
            std::vector<std::string> ids;
            for (const TableRow& row : engine.m_rows) ids.push_back(row[0].m_strValue.ToUtf8());
            return ids;
        };
        CTableBrowser browser(engine);
        const CString base = CString::FromUtf8((kCorpus / c.database / c.table).string());
        BrowserEffects effects =
            browser.ShowTable(base, CString::FromUtf8(c.table), CString::FromUtf8(std::string(c.database) + "/" + c.table));
        EXPECT_EQ(shownIds(), firstIds(0));
        ASSERT_EQ(engine.m_bookmarks.size(), 2u);
        effects = browser.OnNextRecords();
        EXPECT_EQ(shownIds(), firstIds(1));
        effects = browser.OnNextRecords();
        EXPECT_EQ(shownIds(), firstIds(2));
        const std::size_t depth = engine.m_bookmarks.size();
        effects = browser.OnPrevRecords();
        EXPECT_EQ(shownIds(), firstIds(1));
        EXPECT_EQ(engine.m_bookmarks.size(), depth - 1);
        effects = browser.OnPrevRecords();
        EXPECT_EQ(shownIds(), firstIds(0));
        EXPECT_EQ(effects.previous, ButtonState::Disabled);
        EXPECT_EQ(browser.m_nPageFirstRow, 0u);
        EXPECT_EQ(browser.m_nPageLastRow, 1000u);
        EXPECT_EQ(engine.m_bReadingIbd, 0);
        // On to the end: every row once, the last page short.
        std::size_t rows = engine.m_rows.size();
        for (int guard = 0; guard < 100 && effects.next != ButtonState::Disabled; ++guard) {
            effects = browser.OnNextRecords();
            if (effects.listRefilled) rows += engine.m_rows.size();
        }
        EXPECT_EQ(rows, expected.size() - 1);
        EXPECT_EQ(effects.message, CString(u"No more records in table"));
    }
}

// Tablespaces of other page formats: MariaDB's full_crc32 layout reads like crc32; 4 KiB
// and 32 KiB pages are refused without rows and without harm.
TEST(InnoPageFormats, FullCrc32ReadsAndOtherPageSizesGiveNoRows) {
    const fs::path root = fs::path(DRALVEK_FIXTURES) / "pagesize";
    if (!fs::exists(root)) GTEST_SKIP() << "pagesize fixture not unpacked";
    struct Case {
        const char* format;
        const char* table;
        std::size_t rows;
        const char* firstRow;  // id or key, then the next cell
    };
    const Case cases[] = {
        {"fcrc", "t", 3, "1|one"},   {"fcrc", "tc", 3, "1|one"}, {"fcrc", "vpk", 3001, "|NULL"},
        {"fcrc", "insys", 1, "7|seven"},
        {"p4k", "t", 0, ""},         {"p4k", "tc", 0, ""},       {"p4k", "insys", 0, ""},
        {"p32k", "t", 0, ""},        {"p32k", "vpk", 0, ""},
    };
    for (bool dictionary : {true, false}) {
        for (const Case& c : cases) {
            // Without ibdata1 a table inside it cannot be read at all.
            const bool inSystem = std::string(c.table) == "insys";
            if (!dictionary && inSystem) continue;
            SCOPED_TRACE(std::string(c.format) + "/" + c.table + (dictionary ? " with ibdata1" : " from the .frm"));
            CDralvekOstruneApp app;
            AppEngine engine;
            const fs::path datadir = root / c.format;
            if (dictionary) engine.LoadDictionary(CString::FromUtf8((datadir / "ibdata1").string()));
            CTableBrowser browser(engine);
            BrowserEffects effects = browser.ShowTable(CString::FromUtf8((datadir / "v" / c.table).string()),
                                                       CString::FromUtf8(c.table), CString::FromUtf8(std::string("v/") + c.table));
            std::size_t rows = engine.m_rows.size();
            std::string first;
            if (!engine.m_rows.empty())
                first = engine.m_rows[0][0].m_strValue.ToUtf8() + "|" + engine.m_rows[0][1].m_strValue.ToUtf8();
            for (int guard = 0; guard < 10 && effects.next != ButtonState::Disabled; ++guard) {
                effects = browser.OnNextRecords();
                if (effects.listRefilled) rows += engine.m_rows.size();
            }
            EXPECT_EQ(rows, c.rows);
            EXPECT_EQ(first, c.firstRow);
        }
    }
}

// REDUNDANT pages are not read: the table shows its columns and no rows.
TEST(InnoPageFormats, RedundantTableShowsNoRows) {
    if (!fs::exists(kCorpus)) GTEST_SKIP() << "corpus not unpacked";
    for (bool dictionary : {true, false}) {
        CDralvekOstruneApp app;
        AppEngine engine;
        if (dictionary) engine.LoadDictionary(CString::FromUtf8((kCorpus / "ibdata1").string()));
        CTableBrowser browser(engine);
        browser.ShowTable(CString::FromUtf8((kCorpus / "innodb_features" / "t_redundant").string()), u"t_redundant",
                          u"innodb_features/t_redundant");
        EXPECT_EQ(engine.m_columns.size(), 3u);
        EXPECT_TRUE(engine.m_rows.empty());
    }
}

// A table with a tablespace of its own whose .ibd is missing: its root page number means
// nothing in ibdata1, even where ibdata1 has an index page of that number.
TEST(InnoPageFormats, MissingIbdIsNotLookedForInIbdata1) {
    if (!fs::exists(kCorpus)) GTEST_SKIP() << "corpus not unpacked";
    const fs::path datadir = fs::temp_directory_path() / ("innodump-noibd-" + std::to_string(::getpid()));
    fs::remove_all(datadir);
    fs::create_directories(datadir / "innodb_features");
    fs::copy_file(kCorpus / "innodb_features" / "t_many_nulls.frm", datadir / "innodb_features" / "t_many_nulls.frm");
    CDralvekOstruneApp app;
    AppEngine engine;
    ASSERT_TRUE(engine.LoadDictionary(CString::FromUtf8((kCorpus / "ibdata1").string())));
    const std::uint64_t id = engine.FindTableId(u"innodb_features/t_many_nulls");
    const std::uint64_t other = engine.FindTableId(u"innodb_system/t_sys_many");
    ASSERT_NE(id, 0u);
    ASSERT_NE(other, 0u);
    // Let the missing table's root number name an index page of ibdata1.
    const std::uint32_t systemRoot = engine.FindClusteredRootPage(other);
    for (SysIndexesRecord& index : engine.m_sysIndexes)
        if (index.TABLE_ID == id) index.PAGE_NO = systemRoot;
    CTableBrowser browser(engine);
    browser.ShowTable(CString::FromUtf8((datadir / "innodb_features" / "t_many_nulls").string()), u"t_many_nulls",
                      u"innodb_features/t_many_nulls");
    EXPECT_EQ(engine.m_columns.size(), 13u);
    EXPECT_TRUE(engine.m_rows.empty());
    fs::remove_all(datadir);
}

std::string CaseName(const testing::TestParamInfo<TableCase>& info) {
    std::string name = info.param.database + "_" + info.param.table;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Corpus, InnoFixture, testing::ValuesIn(CorpusInnoTables()), CaseName);

}  // namespace

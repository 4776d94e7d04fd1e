// Every COMPACT, DYNAMIC and REDUNDANT InnoDB table of the real-server archives, read through
// table-dump in save mode and compared cell by cell with what the server itself printed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
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

// The InnoDB tables in COMPACT, DYNAMIC or REDUNDANT format that the archives hold.
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
            if (r[4].text != "Compact" && r[4].text != "Dynamic" && r[4].text != "Redundant") continue;
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
        const char* archive;
        const char* database;
        const char* table;
        bool dictionary;
    };
    const Case cases[] = {
        {"corpus", "innodb_features", "t_many_rows", false},
        {"corpus", "innodb_features", "t_many_rows", true},
        {"corpus", "innodb_system", "t_sys_many", true},
        // REDUNDANT records, a level-1 index over a variable-length key.
        {"redundant", "redundant_features", "t_many_rows", false},
        {"redundant", "redundant_features", "t_many_rows", true},
        {"redundant", "redundant_system", "t_sys_many", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.database) + "/" + c.table + (c.dictionary ? " with ibdata1" : " from the .frm"));
        const fs::path archive = fs::path(DRALVEK_FIXTURES) / c.archive;
        if (!fs::exists(archive)) GTEST_SKIP() << c.archive << " not unpacked";
        CDralvekOstruneApp app;
        AppEngine engine;
        if (c.dictionary) {
            ASSERT_TRUE(engine.LoadDictionary(CString::FromUtf8((archive / "ibdata1").string())));
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
        const CString base = CString::FromUtf8((archive / c.database / c.table).string());
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

// Tablespaces of every page size (4, 8, 16, 32 and 64 KiB; crc32 and full_crc32): every
// table, paged to the end, with and without ibdata1, shows the rows the server printed
// (expected/TABLE.tsv beside each data folder), cell by cell.
TEST(InnoPageFormats, EveryPageSizeShowsTheServersRows) {
    const fs::path root = fs::path(DRALVEK_FIXTURES) / "pagesize";
    if (!fs::exists(root)) GTEST_SKIP() << "pagesize fixture not unpacked";
    const char* formats[] = {"fcrc", "p4k", "p8k", "p32k", "p64k"};
    const char* tables[] = {"t", "tc", "vpk", "tr", "tb", "insys"};
    for (const char* format : formats) {
        const fs::path datadir = root / format;
        ASSERT_TRUE(fs::exists(datadir / "ibdata1")) << format;
        for (const char* table : tables) {
            const std::vector<Row> expected = ParseTsv(ReadFile(datadir / "expected" / (std::string(table) + ".tsv")), false);
            ASSERT_FALSE(expected.empty()) << format << "/" << table;
            for (bool dictionary : {true, false}) {
                // Without ibdata1 a table inside it cannot be read at all.
                const bool inSystem = std::string(table) == "insys";
                if (!dictionary && inSystem) continue;
                SCOPED_TRACE(std::string(format) + "/" + table + (dictionary ? " with ibdata1" : " from the .frm"));
                CDralvekOstruneApp app;
                AppEngine engine;
                if (dictionary) {
                    ASSERT_TRUE(engine.LoadDictionary(CString::FromUtf8((datadir / "ibdata1").string())));
                }
                CTableBrowser browser(engine);
                BrowserEffects effects =
                    browser.ShowTable(CString::FromUtf8((datadir / "v" / table).string()), CString::FromUtf8(table),
                                      CString::FromUtf8(std::string("v/") + table));
                std::vector<Row> shown;
                auto take = [&] {
                    for (const TableRow& row : engine.m_rows) {
                        Row cells;
                        for (const ColumnInfo& cell : row) cells.push_back(Cell{cell.m_strValue.ToUtf8(), false});
                        shown.push_back(cells);
                    }
                };
                take();
                for (int guard = 0; guard < 20 && effects.next != ButtonState::Disabled; ++guard) {
                    effects = browser.OnNextRecords();
                    if (effects.listRefilled) take();
                }
                ASSERT_EQ(shown.size(), expected.size());
                std::size_t differences = 0;
                for (std::size_t r = 0; r < expected.size(); ++r) {
                    ASSERT_EQ(shown[r].size(), expected[r].size()) << "row " << r;
                    for (std::size_t i = 0; i < expected[r].size(); ++i)
                        if (shown[r][i].text != expected[r][i].text && ++differences <= 5)
                            ADD_FAILURE() << "row " << r << " column " << i << ": " << shown[r][i].text.substr(0, 80)
                                          << " | server: " << expected[r][i].text.substr(0, 80);
                }
                EXPECT_EQ(differences, 0u);
            }
        }
    }
}

// A damaged page 0 whose flags state no page size, or a wrong one: the size at which the
// first pages carry their own numbers is taken, and every row is still read.
TEST(InnoPageFormats, DamagedFlagsStillGiveThePageSize) {
    const fs::path root = fs::path(DRALVEK_FIXTURES) / "pagesize";
    if (!fs::exists(root)) GTEST_SKIP() << "pagesize fixture not unpacked";
    struct Case {
        const char* format;
        std::uint32_t flags;  // written over the flags of page 0
    };
    const Case cases[] = {{"p4k", 0}, {"p8k", 0xFFFFFFFF}, {"fcrc", 0xC0}, {"p32k", 0x15}, {"p64k", 0}};
    const fs::path datadir = fs::temp_directory_path() / ("innodump-flags-" + std::to_string(::getpid()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        fs::remove_all(datadir);
        fs::create_directories(datadir / "v");
        fs::copy_file(root / c.format / "v" / "tr.frm", datadir / "v" / "tr.frm");
        std::string bytes = ReadFile(root / c.format / "v" / "tr.ibd");
        for (int i = 0; i < 4; ++i) bytes[54 + i] = static_cast<char>(c.flags >> (24 - 8 * i));
        {
            std::ofstream out(datadir / "v" / "tr.ibd", std::ios::binary);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        CDralvekOstruneApp app;
        AppEngine engine;
        CTableBrowser browser(engine);
        BrowserEffects effects = browser.ShowTable(CString::FromUtf8((datadir / "v" / "tr").string()), u"tr", u"v/tr");
        std::size_t rows = engine.m_rows.size();
        for (int guard = 0; guard < 10 && effects.next != ButtonState::Disabled; ++guard) {
            effects = browser.OnNextRecords();
            if (effects.listRefilled) rows += engine.m_rows.size();
        }
        EXPECT_EQ(rows, 2000u);
    }
    fs::remove_all(datadir);
}

// REDUNDANT records edited on the real leaf page of redundant_features/t_deleted (page 3,
// the root and only leaf; 166 records, ids in key order, 1-byte end offsets): each case
// names the ids the table then shows, with and without the dictionary. Nothing outside
// the page is read, and a damaged record costs that record or the rest of its page.
TEST(InnoRedundantRecords, EditedRecordsOfARealPage) {
    const fs::path archive = fs::path(DRALVEK_FIXTURES) / "redundant";
    if (!fs::exists(archive)) GTEST_SKIP() << "redundant fixture not unpacked";
    constexpr std::size_t kPageSize = 16384;
    constexpr std::size_t kLeaf = 3 * kPageSize;
    const std::string original = ReadFile(archive / "redundant_features" / "t_deleted.ibd");
    ASSERT_GE(original.size(), 4 * kPageSize);
    ASSERT_EQ(original.substr(kLeaf + 101, 7), "infimum");
    auto u8 = [](const std::string& b, std::size_t at) { return static_cast<unsigned>(static_cast<unsigned char>(b[at])); };
    auto be16 = [&](const std::string& b, std::size_t at) { return u8(b, at) << 8 | u8(b, at + 1); };
    auto put16 = [](std::string& b, std::size_t at, unsigned v) {
        b[at] = static_cast<char>(v >> 8);
        b[at + 1] = static_cast<char>(v);
    };
    // Origins of the user records in chain order.
    std::vector<std::size_t> origins;
    for (unsigned origin = be16(original, kLeaf + 99); origin != 116 && origin != 0 && origins.size() < 1000;
         origin = be16(original, kLeaf + origin - 2))
        origins.push_back(origin);
    const std::vector<Row> expected = ParseTsv(ReadFile(kExpected / "redundant_features" / "t_deleted.tsv"), true);
    ASSERT_EQ(origins.size() + 1, expected.size());
    std::vector<std::string> all;
    for (std::size_t r = 1; r < expected.size(); ++r) all.push_back(expected[r][0].text);
    auto without = [&](std::initializer_list<std::size_t> records) {
        std::vector<std::string> ids;
        for (std::size_t i = 0; i < all.size(); ++i)
            if (std::find(records.begin(), records.end(), i) == records.end()) ids.push_back(all[i]);
        return ids;
    };
    auto upTo = [&](std::size_t count) { return std::vector<std::string>(all.begin(), all.begin() + count); };
    std::vector<std::size_t> everyThird;
    for (std::size_t i = 1; i < origins.size(); i += 3) everyThird.push_back(i);
    std::vector<std::string> notMarked;
    for (std::size_t i = 0; i < all.size(); ++i)
        if (i % 3 != 1) notMarked.push_back(all[i]);

    struct Case {
        const char* what;
        std::function<void(std::string&)> edit;
        std::vector<std::string> ids;
    };
    auto rec = [&](std::size_t i) { return kLeaf + origins[i]; };
    const Case cases[] = {
        {"unchanged", [](std::string&) {}, all},
        // Delete-marked records (info bit 0x20) wait for purge: they are no rows, and the
        // chain goes on through them.
        {"every third record delete-marked",
         [&](std::string& b) {
             for (std::size_t i : everyThird) b[rec(i) - 6] = static_cast<char>(u8(b, rec(i) - 6) | 0x20);
         },
         notMarked},
        // Field 2 (DB_TRX_ID) ending before field 1: the record is skipped.
        {"end offsets running backwards",
         [&](std::string& b) { b[rec(5) - 8] = 1; },
         without({5})},
        // 1023 fields, more than the table has; the end-offset array then also reaches
        // below the record area.
        {"field count beyond the layout",
         [&](std::string& b) {
             const std::size_t at = rec(7) - 5;
             const unsigned v = (u8(b, at) << 16 | u8(b, at + 1) << 8 | u8(b, at + 2)) | (0x3FFu << 1);
             b[at] = static_cast<char>(v >> 16);
             b[at + 1] = static_cast<char>(v >> 8);
             b[at + 2] = static_cast<char>(v);
         },
         without({7})},
        // Fewer fields than the table, with no instant ALTER: the cells it lacks are empty,
        // the row is still shown.
        {"one field less",
         [&](std::string& b) {
             const std::size_t at = rec(9) - 5;
             const unsigned v = u8(b, at) << 16 | u8(b, at + 1) << 8 | u8(b, at + 2);
             const unsigned fields = (v >> 1) & 0x3FF;
             const unsigned w = (v & ~(0x3FFu << 1)) | ((fields - 1) << 1);
             b[at] = static_cast<char>(w >> 16);
             b[at + 1] = static_cast<char>(w >> 8);
             b[at + 2] = static_cast<char>(w);
         },
         all},
        {"a link back to the record itself", [&](std::string& b) { put16(b, rec(20) - 2, origins[20]); }, upTo(21)},
        {"a link to an earlier record", [&](std::string& b) { put16(b, rec(30) - 2, origins[3]); }, upTo(31)},
        {"a link past the page", [&](std::string& b) { put16(b, rec(40) - 2, 0xFFF0); }, upTo(41)},
        {"a link to 0", [&](std::string& b) { put16(b, rec(50) - 2, 0); }, upTo(51)},
        {"a link into the page header", [&](std::string& b) { put16(b, rec(60) - 2, 40); }, upTo(61)},
        {"the first link past the page", [&](std::string& b) { put16(b, kLeaf + 99, 0x7FFF); }, {}},
    };
    const fs::path datadir = fs::temp_directory_path() / ("innodump-redundant-" + std::to_string(::getpid()));
    for (const Case& c : cases) {
        std::string bytes = original;
        c.edit(bytes);
        fs::remove_all(datadir);
        fs::create_directories(datadir / "redundant_features");
        fs::copy_file(archive / "redundant_features" / "t_deleted.frm", datadir / "redundant_features" / "t_deleted.frm");
        {
            std::ofstream out(datadir / "redundant_features" / "t_deleted.ibd", std::ios::binary);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        for (bool dictionary : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (dictionary ? ", with ibdata1" : ", from the .frm"));
            CDralvekOstruneApp app;
            AppEngine engine;
            if (dictionary) {
                ASSERT_TRUE(engine.LoadDictionary(CString::FromUtf8((archive / "ibdata1").string())));
            }
            CTableBrowser browser(engine);
            browser.ShowTable(CString::FromUtf8((datadir / "redundant_features" / "t_deleted").string()), u"t_deleted",
                              u"redundant_features/t_deleted");
            std::vector<std::string> shown;
            for (const TableRow& row : engine.m_rows) shown.push_back(row[0].m_strValue.ToUtf8());
            EXPECT_EQ(shown, c.ids);
            if (std::string(c.what) == "one field less" && engine.m_rows.size() > 9) {
                EXPECT_EQ(engine.m_rows[9][1].m_strValue, CString());
            }
        }
    }
    fs::remove_all(datadir);
}

// 2-byte end offsets on the real leaf page 64 of redundant_features/t_blob, whose second
// record (id 2) holds tx and bl off the page (end offsets 0x4325 and 0x4639: the off-page
// bit with 0x325 and 0x639) after the 17 bytes of id, DB_TRX_ID and DB_ROLL_PTR.
TEST(InnoRedundantRecords, EditedTwoByteEndOffsets) {
    const fs::path archive = fs::path(DRALVEK_FIXTURES) / "redundant";
    if (!fs::exists(archive)) GTEST_SKIP() << "redundant fixture not unpacked";
    constexpr std::size_t kRecord = 64 * 16384 + 180;
    const std::string original = ReadFile(archive / "redundant_features" / "t_blob.ibd");
    ASSERT_GT(original.size(), kRecord);
    // End offset of field i (1-based) of the record, big-endian below its 6 header bytes.
    auto endAt = [](int field) { return kRecord - 6 - 2 * static_cast<std::size_t>(field); };
    auto end = [&](const std::string& b, int field) {
        return static_cast<unsigned>(static_cast<unsigned char>(b[endAt(field)])) << 8 |
               static_cast<unsigned char>(b[endAt(field) + 1]);
    };
    ASSERT_EQ(end(original, 4), 0x4325u);
    ASSERT_EQ(end(original, 5), 0x4639u);
    auto setEnd = [&](std::string& b, int field, unsigned v) {
        b[endAt(field)] = static_cast<char>(v >> 8);
        b[endAt(field) + 1] = static_cast<char>(v);
    };
    struct Case {
        const char* what;
        std::function<void(std::string&)> edit;
        std::vector<std::string> ids;
        const char* tx;  // the text of id 2's tx, when it is shown
    };
    const Case cases[] = {
        {"unchanged", [](std::string&) {}, {"1", "2", "3", "4", "5", "6"}, "Large Size Blob Data"},
        {"tx's NULL bit", [&](std::string& b) { setEnd(b, 4, 0x8325); }, {"1", "2", "3", "4", "5", "6"}, "NULL"},
        // 5 local bytes cannot hold a 20-byte reference to the rest.
        {"off-page bit on 5 bytes", [&](std::string& b) { setEnd(b, 4, 0x4000 | (0x11 + 5)); },
         {"1", "3", "4", "5", "6"}, nullptr},
        {"last end offset past the page", [&](std::string& b) { setEnd(b, 6, 0x3FFF); },
         {"1", "3", "4", "5", "6"}, nullptr},
    };
    const fs::path datadir = fs::temp_directory_path() / ("innodump-redundant2-" + std::to_string(::getpid()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = original;
        c.edit(bytes);
        fs::remove_all(datadir);
        fs::create_directories(datadir / "redundant_features");
        fs::copy_file(archive / "redundant_features" / "t_blob.frm", datadir / "redundant_features" / "t_blob.frm");
        {
            std::ofstream out(datadir / "redundant_features" / "t_blob.ibd", std::ios::binary);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        CDralvekOstruneApp app;
        AppEngine engine;
        CTableBrowser browser(engine);
        browser.ShowTable(CString::FromUtf8((datadir / "redundant_features" / "t_blob").string()), u"t_blob",
                          u"redundant_features/t_blob");
        std::vector<std::string> shown;
        for (const TableRow& row : engine.m_rows) {
            shown.push_back(row[0].m_strValue.ToUtf8());
            if (c.tx && shown.back() == "2") {
                EXPECT_EQ(row[1].m_strValue.ToUtf8(), c.tx);
            }
        }
        EXPECT_EQ(shown, c.ids);
    }
    fs::remove_all(datadir);
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

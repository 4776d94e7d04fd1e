// Every MyISAM table of the real-server fixtures, read through table-dump's code path,
// against what the server itself returned for it.

#include <algorithm>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/DralvekOstruneApp.h"
#include "app/TableBrowser.h"
#include "tests/TsvText.h"
#include "tools/table-dump/TableDump.h"

namespace fs = std::filesystem;

namespace {

using Table = std::vector<std::vector<std::string>>;

// Lines of TAB-separated cells, still escaped (so \N stays distinguishable).
Table ParseTsv(const std::string& text) {
    Table rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) rows.push_back(SplitTsvLine(line));
    return rows;
}

Table ReadTsv(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return ParseTsv(text.str());
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string HexOf(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char b : bytes) {
        hex.push_back(digits[b >> 4]);
        hex.push_back(digits[b & 15]);
    }
    return hex;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end && *end == '\0';
}

struct ColumnFacts {
    std::string name, columnType, dataType, nullable, charset, maxLength, precision, collation;
    bool isVirtual = false;  // EXTRA "VIRTUAL GENERATED" (archives that list EXTRA)
};

std::vector<ColumnFacts> ReadColumnFacts(const fs::path& path) {
    std::vector<ColumnFacts> facts;
    Table t = ReadTsv(path);
    for (std::size_t i = 1; i < t.size(); ++i) {
        const auto& r = t[i];
        if (r.size() < 12) continue;
        facts.push_back({UnescapeTsv(r[0]), r[1], r[2], r[3], r[5], r[6], r[7], r[11],
                         r.size() > 13 && r[13].rfind("VIRTUAL", 0) == 0});
    }
    return facts;
}

bool IsBinaryType(const std::string& dataType) {
    static const std::set<std::string> types = {"binary", "varbinary", "tinyblob", "blob", "mediumblob", "longblob"};
    return types.count(dataType) != 0;
}

bool IsSpatialType(const std::string& dataType) {
    static const std::set<std::string> types = {"geometry", "point", "linestring", "polygon", "multipoint",
                                                "multilinestring", "multipolygon", "geometrycollection"};
    return types.count(dataType) != 0;
}

bool IsIntegerType(const std::string& dataType) {
    static const std::set<std::string> types = {"tinyint", "smallint", "mediumint", "int", "bigint"};
    return types.count(dataType) != 0;
}

// Our value text against the server's, for one cell. Only where our text form
// legitimately differs from the server's is anything normalised; each case says why.
bool SameValue(const ColumnFacts& col, const std::string& oursEscaped, const std::string& theirsEscaped) {
    if (oursEscaped == theirsEscaped) return true;
    // NULL is \N on both sides; the text 'NULL' of a string column is four letters.
    if (oursEscaped == "\\N" || theirsEscaped == "\\N") return false;
    std::string ours = UnescapeTsv(oursEscaped);
    std::string theirs = UnescapeTsv(theirsEscaped);

    // Binary strings and blobs: our hex form carries a "0x" prefix, the TSV bare hex.
    if (IsBinaryType(col.dataType) && ours.rfind("0x", 0) == 0) return ours.substr(2) == theirs;
    // Spatial values in save mode are the stored bytes escaped as a script carries them
    // (a zero byte as backslash and "0", a backslash doubled), the others as
    // Windows-1252 text; the TSV gives the hex of the stored bytes.
    if (IsSpatialType(col.dataType)) {
        const CString text = CString::FromUtf8(ours);
        std::string bytes;
        for (int i = 0; i < text.GetLength(); ++i) {
            if (text[i] == u'\\' && i + 1 < text.GetLength() && (text[i + 1] == u'0' || text[i + 1] == u'\\')) {
                bytes.push_back(text[i + 1] == u'0' ? '\0' : '\\');
                ++i;
            } else {
                bytes += CString(text[i]).ToAnsi();
            }
        }
        return HexOf(bytes) == theirs;
    }
    // FLOAT and DOUBLE: both sides are shortest round-trip texts, but of different
    // widths (the server prints a FLOAT widened to double) and exponent spellings; the
    // value must be the same, bit for bit.
    double a = 0, b = 0;
    if (col.dataType == "double") return ParseNumber(ours, a) && ParseNumber(theirs, b) && SameBits(a, b);
    if (col.dataType == "float")
        return ParseNumber(ours, a) && ParseNumber(theirs, b) && SameBits(static_cast<float>(a), static_cast<float>(b));
    return false;
}

struct FixtureTable {
    std::string archive, database, table;
};

// Every archive made by the fixture script: each has its list of databases in expected/.
std::vector<std::string> FixtureArchives() {
    std::set<std::string> archives;
    const std::string suffix = ".databases.tsv";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(DRALVEK_FIXTURE_SOURCE) / "expected", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > suffix.size() && name.ends_with(suffix))
            archives.insert(name.substr(0, name.size() - suffix.size()));
    }
    return {archives.begin(), archives.end()};
}

// The MyISAM tables of every archive, from the server's own table list.
std::vector<FixtureTable> MyIsamTables() {
    std::vector<FixtureTable> tables;
    const fs::path expected = fs::path(DRALVEK_FIXTURE_SOURCE) / "expected";
    for (const std::string& archive : FixtureArchives()) {
        Table dbs = ReadTsv(expected / (archive + ".databases.tsv"));
        for (std::size_t i = 1; i < dbs.size(); ++i) {
            if (dbs[i].size() < 2) continue;
            const std::string dir = dbs[i][1];
            Table list = ReadTsv(expected / dir / "tables.tsv");
            for (std::size_t r = 1; r < list.size(); ++r)
                if (list[r].size() > 3 && list[r][3] == "MyISAM") tables.push_back({archive, dir, list[r][1]});
        }
    }
    return tables;
}

fs::path ScratchFolder(const char* what) {
    fs::path dir = fs::temp_directory_path() / (std::string(what) + "-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir;
}

int Dump(const FixtureTable& t, bool keys, const fs::path& saveFolder, std::string& out, std::string& err) {
    TableDumpArgs args;
    args.dataDir = (fs::path(DRALVEK_FIXTURES) / t.archive).string();
    args.database = t.database;
    args.table = t.table;
    args.keys = keys;
    args.saveFolder = saveFolder.string();
    std::ostringstream o, e;
    int rc = RunTableDump(args, o, e);
    out = o.str();
    err = e.str();
    return rc;
}

void CheckRows(const FixtureTable& t, const fs::path& save) {
    const fs::path expected = fs::path(DRALVEK_FIXTURE_SOURCE) / "expected";
    std::string out, err;
    ASSERT_EQ(Dump(t, false, save, out, err), kDumpOk) << err;
    const Table ours = ParseTsv(out);
    const Table theirs = ReadTsv(expected / t.database / (t.table + ".tsv"));
    const auto facts = ReadColumnFacts(expected / t.database / (t.table + ".columns.tsv"));
    ASSERT_FALSE(theirs.empty());
    ASSERT_FALSE(ours.empty());
    EXPECT_EQ(ours[0], theirs[0]) << "column headings";
    ASSERT_EQ(ours.size(), theirs.size()) << "rows";
    int mismatches = 0;
    for (std::size_t r = 1; r < theirs.size() && mismatches < 10; ++r) {
        ASSERT_EQ(ours[r].size(), theirs[r].size()) << "cells of row " << r;
        for (std::size_t c = 0; c < theirs[r].size() && c < facts.size(); ++c) {
            // A VIRTUAL column's value is the server's computation, not in the file: it
            // is not compared, only marked as not stored.
            if (facts[c].isVirtual) {
                EXPECT_EQ(ours[r][c], "\\V") << "row " << r << " column " << facts[c].name;
                continue;
            }
            if (SameValue(facts[c], ours[r][c], theirs[r][c])) continue;
            ADD_FAILURE() << "row " << r << " column " << facts[c].name << ": ours '" << ours[r][c].substr(0, 80)
                          << "', server '" << theirs[r][c].substr(0, 80) << "'";
            ++mismatches;
        }
    }
}

TEST(TableDumpFixtures, EveryMyIsamTableReadsAsTheServerReturnedIt) {
    CDralvekOstruneApp app;
    const fs::path save = ScratchFolder("dump-save");
    const auto tables = MyIsamTables();
    ASSERT_GE(tables.size(), 20u) << "the corpus lists its MyISAM tables";
    ASSERT_GE(std::count_if(tables.begin(), tables.end(), [](const FixtureTable& t) { return t.archive == "generated"; }), 4)
        << "the generated-column tables are listed";
    for (const FixtureTable& t : tables) {
        SCOPED_TRACE(t.database + "/" + t.table);
        CheckRows(t, save);
    }
    fs::remove_all(save);
}

// The "Data Type" text: the server's column type without what the list leaves out
// (display widths of integers, UNSIGNED and ZEROFILL, fractional digits of temporal
// types), upper case except for ENUM and SET element texts.
std::string ExpectedTypeText(const ColumnFacts& col) {
    std::string type = col.columnType;
    // The server notes the storage format of old temporal columns in a comment.
    const std::size_t comment = type.find(" /*");
    if (comment != std::string::npos) type.erase(comment);
    for (const char* attribute : {" unsigned", " zerofill"}) {
        std::size_t at;
        while ((at = type.find(attribute)) != std::string::npos) type.erase(at, std::strlen(attribute));
    }
    const std::size_t paren = type.find('(');
    const std::string keyword = type.substr(0, paren);
    if (keyword == "enum" || keyword == "set") return Upper(keyword) + type.substr(keyword.size());
    static const std::set<std::string> noLength = {"tinyint", "smallint", "mediumint", "int", "bigint",
                                                   "time", "datetime", "timestamp", "year"};
    if (noLength.count(keyword)) return Upper(keyword);
    return Upper(type);
}

void CheckKeys(const FixtureTable& t, const std::map<std::string, std::uint32_t>& maxBytesPerChar) {
    const fs::path expected = fs::path(DRALVEK_FIXTURE_SOURCE) / "expected";
    std::string out, err;
    ASSERT_EQ(Dump(t, true, fs::path(), out, err), kDumpOk) << err;
    const Table list = ParseTsv(out);
    const auto facts = ReadColumnFacts(expected / t.database / (t.table + ".columns.tsv"));
    ASSERT_EQ(list.size(), facts.size() + 1);
    EXPECT_EQ(list[0], (std::vector<std::string>{"Column Name", "Data Type", "size", "Allow Nulls", "Key Name"}));

    std::set<std::string> primary, unique;
    const Table keys = ReadTsv(expected / t.database / (t.table + ".keys.tsv"));
    for (std::size_t i = 1; i < keys.size(); ++i) {
        if (keys[i].size() < 4) continue;
        if (keys[i][0] == "PRIMARY") primary.insert(UnescapeTsv(keys[i][2]));
        else if (keys[i][3] == "0") unique.insert(UnescapeTsv(keys[i][2]));
    }

    for (std::size_t i = 0; i < facts.size(); ++i) {
        const ColumnFacts& col = facts[i];
        const auto& row = list[i + 1];
        ASSERT_EQ(row.size(), 5u);
        EXPECT_EQ(UnescapeTsv(row[0]), col.name);
        EXPECT_EQ(row[1], ExpectedTypeText(col)) << col.name;
        EXPECT_EQ(row[3], col.nullable == "YES" ? "True" : "False") << col.name;
        const std::string key = primary.count(col.name) ? "Primary Key" : unique.count(col.name) ? "Unique Key" : "";
        EXPECT_EQ(row[4], key) << col.name;

        // The size is the definition's own length: bytes for strings, bits for BIT,
        // the display width for integers. Other types' lengths are server internals
        // that the facts do not give.
        std::string size;
        if (IsIntegerType(col.dataType)) {
            const std::size_t open = col.columnType.find('('), close = col.columnType.find(')');
            if (open != std::string::npos && close != std::string::npos)
                size = col.columnType.substr(open + 1, close - open - 1);
        } else if (col.dataType == "bit") {
            size = col.precision;
        } else if (col.dataType == "char" || col.dataType == "varchar") {
            const auto it = maxBytesPerChar.find(col.collation);
            ASSERT_NE(it, maxBytesPerChar.end()) << col.collation;
            size = std::to_string(std::stoul(col.maxLength) * it->second);
        } else if (col.dataType == "binary" || col.dataType == "varbinary") {
            size = col.maxLength;
        }
        if (!size.empty()) {
            EXPECT_EQ(row[2], size) << col.name;
        }
    }
}

TEST(TableDumpFixtures, KeysListMatchesTheServersColumnAndKeyFacts) {
    CDralvekOstruneApp app;
    std::map<std::string, std::uint32_t> maxBytesPerChar;
    for (const auto& [id, entry] : app.m_mapCollation) maxBytesPerChar[entry.name1.ToUtf8()] = entry.mbmaxlen;
    for (const FixtureTable& t : MyIsamTables()) {
        SCOPED_TRACE(t.database + "/" + t.table);
        CheckKeys(t, maxBytesPerChar);
    }
}

}  // namespace

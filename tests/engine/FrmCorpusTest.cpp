#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "engine/ColumnType.h"
#include "engine/TableEngine.h"

namespace fs = std::filesystem;

namespace {

const std::string kNull = "\x01NULL";

// A TSV file of the fixtures: header line, TAB cells, \N for NULL, \\ \t \n \r escaped.
struct Tsv {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;

    std::size_t Column(const std::string& name) const {
        auto it = std::find(header.begin(), header.end(), name);
        EXPECT_NE(it, header.end()) << name;
        return static_cast<std::size_t>(it - header.begin());
    }
};

std::vector<std::string> SplitCells(const std::string& line) {
    std::vector<std::string> cells(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            cells.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            const char e = line[++i];
            if (e == 'N' && cells.back().empty() && (i + 1 == line.size() || line[i + 1] == '\t')) cells.back() = kNull;
            else cells.back().push_back(e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e);
        } else {
            cells.back().push_back(c);
        }
    }
    return cells;
}

Tsv ReadTsv(const fs::path& path) {
    Tsv t;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!std::getline(in, line)) return t;
    t.header = SplitCells(line);
    while (std::getline(in, line)) t.rows.push_back(SplitCells(line));
    return t;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The elements of the server's enum('a','it''s',...) list.
std::vector<std::string> ServerElements(const std::string& list) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] != '\'') continue;
        std::string e;
        for (++i; i < list.size(); ++i) {
            if (list[i] == '\'') {
                if (i + 1 < list.size() && list[i + 1] == '\'') {
                    e.push_back('\'');
                    ++i;
                } else {
                    break;
                }
            } else {
                e.push_back(list[i]);
            }
        }
        out.push_back(e);
    }
    return out;
}

// The server's COLUMN_TYPE in the form our type text has. Our text leaves out what the
// definition keeps elsewhere or not at all: integer display widths, UNSIGNED and
// ZEROFILL, the fractional digits of TIME, DATETIME and TIMESTAMP (kept in the field
// length), YEAR's width, the server's note on old temporal encodings, and empty ENUM/SET
// elements (the list text skips them).
std::string OurFormOfServerType(std::string type) {
    for (std::size_t c; (c = type.find("/*")) != std::string::npos;) {
        const std::size_t e = type.find("*/", c);
        type.erase(c, e == std::string::npos ? std::string::npos : e + 2 - c);
    }
    for (const char* attribute : {" unsigned", " zerofill"})
        for (std::size_t p; (p = type.find(attribute)) != std::string::npos;) type.erase(p, std::strlen(attribute));
    while (!type.empty() && type.back() == ' ') type.pop_back();
    const std::size_t open = type.find('(');
    const std::string base = Upper(type.substr(0, open));
    if (open == std::string::npos) return base;
    const std::string args = type.substr(open + 1, type.rfind(')') - open - 1);
    static const std::set<std::string> unshown = {"TINYINT", "SMALLINT", "MEDIUMINT", "INT", "BIGINT",
                                                  "YEAR", "TIME", "DATETIME", "TIMESTAMP"};
    if (unshown.count(base)) return base;
    if (base == "ENUM" || base == "SET") {
        std::string list;
        for (const std::string& e : ServerElements(args)) {
            if (e.empty()) continue;
            if (!list.empty()) list += ",";
            list += "'" + e + "'";
        }
        return list.empty() ? base : base + "(" + list + ")";
    }
    return base + "(" + args + ")";
}

bool IsNumericDataType(const std::string& t) {
    static const std::set<std::string> numeric = {"tinyint", "smallint", "mediumint", "int", "bigint",
                                                  "decimal", "float", "double"};
    return numeric.count(t) != 0;
}

struct Counts {
    int tables = 0;
    int columns = 0;
    int keys = 0;
    std::vector<std::string> version11;
};

void CheckTable(CDralvekOstruneApp& app, const fs::path& frm, const fs::path& expected, const std::string& file,
                const std::string& engineName, Counts& counts) {
    SCOPED_TRACE(frm.string());
    std::ifstream probe(frm, std::ios::binary);
    char head[3] = {};
    probe.read(head, 3);
    AppEngine engine;
    const bool ok = engine.ReadFrm(CString::FromUtf8(frm.string()));
    // Expressions (JSON's implicit CHECK among them) raise the version to 11.
    if (head[2] == 11) counts.version11.push_back(frm.filename().string());
    ASSERT_TRUE(ok);
    ++counts.tables;
    EXPECT_TRUE(engine.m_allocations.empty());
    EXPECT_EQ(engine.m_nDbType, engineName == "MyISAM" ? 9 : engineName == "InnoDB" ? 12 : 0) << engineName;
    EXPECT_NE(engine.m_nTableCharset, 0u);
    EXPECT_EQ(engine.m_bMySql56Format, 1);

    const Tsv cols = ReadTsv(expected / (file + ".columns.tsv"));
    const std::size_t cName = cols.Column("COLUMN_NAME"), cType = cols.Column("COLUMN_TYPE"),
                      cData = cols.Column("DATA_TYPE"), cNull = cols.Column("IS_NULLABLE"),
                      cKey = cols.Column("COLUMN_KEY"), cColl = cols.Column("COLLATION_NAME");
    ASSERT_EQ(engine.m_columns.size(), cols.rows.size());
    std::map<std::string, std::uint32_t> byName;
    for (std::size_t i = 0; i < cols.rows.size(); ++i) byName[cols.rows[i][cName]] = static_cast<std::uint32_t>(i);

    // Keys in the server's order, each with its columns in key-part order.
    const Tsv keys = ReadTsv(expected / (file + ".keys.tsv"));
    std::vector<FrmKeyDef> want;
    for (const auto& r : keys.rows) {
        if (r[keys.Column("SEQ_IN_INDEX")] == "1") {
            want.emplace_back();
            want.back().name = CString::FromUtf8(r[keys.Column("INDEX_NAME")]);
            want.back().unique = r[keys.Column("NON_UNIQUE")] == "0";
        }
        ASSERT_FALSE(want.empty());
        want.back().columns.push_back(byName.at(r[keys.Column("COLUMN_NAME")]));
    }
    ASSERT_EQ(engine.m_frmKeys.size(), want.size());
    std::vector<int> inPrimary(cols.rows.size()), inUnique(cols.rows.size());
    bool hasPrimary = false;
    for (std::size_t k = 0; k < want.size(); ++k) {
        EXPECT_EQ(engine.m_frmKeys[k].name, want[k].name);
        EXPECT_EQ(engine.m_frmKeys[k].unique, want[k].unique) << want[k].name;
        EXPECT_EQ(engine.m_frmKeys[k].columns, want[k].columns) << want[k].name;
        const bool primary = want[k].name == CString(u"PRIMARY");
        hasPrimary = hasPrimary || primary;
        for (std::uint32_t c : want[k].columns) {
            if (primary) inPrimary[c] = 1;
            else if (want[k].unique) inUnique[c] = 1;
        }
        ++counts.keys;
    }

    // The server's record starts with the null bitmap; the first field follows it.
    std::uint32_t firstPos = ~0u;
    for (const ColumnInfo& c : engine.m_columns) firstPos = std::min(firstPos, c.m_nRecordPos);
    EXPECT_EQ(firstPos - 1, engine.m_nNullBytes);
    // A short BIT keeps all its bits in the bitmap and starts where the record ends.
    for (const ColumnInfo& c : engine.m_columns) EXPECT_LE(c.m_nRecordPos - 1, engine.m_nRecordLength);

    for (std::size_t i = 0; i < cols.rows.size(); ++i) {
        const auto& r = cols.rows[i];
        const ColumnInfo& c = engine.m_columns[i];
        SCOPED_TRACE(r[cName]);
        ++counts.columns;
        EXPECT_EQ(c.m_strName.ToUtf8(), r[cName]);
        EXPECT_EQ(c.m_nColumn, i);
        EXPECT_EQ(c.m_bNullable, r[cNull] == "YES" ? 1 : 0);
        EXPECT_EQ(c.m_bPrimaryKey, inPrimary[i]);
        EXPECT_EQ(c.m_bUniqueKey, inUnique[i]);
        const std::string& columnKey = r[cKey];
        if (columnKey == "PRI") {
            EXPECT_TRUE(c.m_bPrimaryKey || (!hasPrimary && c.m_bUniqueKey));
        }
        if (columnKey == "UNI") {
            EXPECT_TRUE(c.m_bUniqueKey);
        }
        EXPECT_EQ(FormatColumnTypeName(engine, c).ToUtf8(), OurFormOfServerType(r[cType])) << r[cType];
        if (IsNumericDataType(r[cData])) {
            EXPECT_EQ(c.m_bSigned, r[cType].find("unsigned") == std::string::npos ? 1 : 0) << r[cType];
        }
        if (r[cColl] != kNull) {
            auto it = app.m_mapCollation.find(c.m_nCharset);
            ASSERT_NE(it, app.m_mapCollation.end()) << c.m_nCharset;
            EXPECT_EQ(it->second.name1.ToUtf8(), r[cColl]);
        }
        if (r[cData] == "enum" || r[cData] == "set") {
            const std::string& t = r[cType];
            const std::vector<std::string> elements = ServerElements(t.substr(t.find('(')));
            ASSERT_EQ(c.m_nEnumCount, elements.size());
            ASSERT_LE(c.m_nEnumFirst + c.m_nEnumCount, engine.m_enumValues.size());
            for (std::size_t e = 0; e < elements.size(); ++e)
                EXPECT_EQ(engine.m_enumValues[c.m_nEnumFirst + e].ToUtf8(), elements[e]);
        } else {
            EXPECT_EQ(c.m_nEnumCount, 0u);
        }
    }
}

// Every table definition of the real-server archives against what that server said of
// its columns and keys.
TEST(FrmCorpus, EveryTableDefinitionMatchesTheServer) {
    CDralvekOstruneApp app;
    ASSERT_FALSE(app.m_mapCollation.empty()) << "collation (2) beside the test program";
    const fs::path expectedRoot = fs::path(DRALVEK_FIXTURE_SOURCE) / "expected";
    Counts counts;
    for (const std::string archive : {"corpus", "sample"}) {
        const fs::path data = fs::path(DRALVEK_FIXTURES) / archive;
        ASSERT_TRUE(fs::is_directory(data)) << data;
        const Tsv databases = ReadTsv(expectedRoot / (archive + ".databases.tsv"));
        ASSERT_FALSE(databases.rows.empty());
        for (const auto& db : databases.rows) {
            const std::string dir = db[databases.Column("DIR_NAME")];
            const Tsv tables = ReadTsv(expectedRoot / dir / "tables.tsv");
            for (const auto& t : tables.rows) {
                if (t[tables.Column("TABLE_TYPE")] != "BASE TABLE") continue;
                const std::string file = t[tables.Column("FILE_NAME")];
                CheckTable(app, data / dir / (file + ".frm"), expectedRoot / dir, file, t[tables.Column("ENGINE")],
                           counts);
            }
        }
    }
    EXPECT_GT(counts.tables, 50);
    EXPECT_GT(counts.keys, counts.tables);
    // The JSON tables and the one with an expression default are the corpus's version-11
    // definitions.
    std::sort(counts.version11.begin(), counts.version11.end());
    EXPECT_EQ(counts.version11, (std::vector<std::string>{"t_add_long_default.frm", "t_json.frm", "t_json_compact.frm",
                                                          "t_json_dynamic.frm"}));
    std::printf("checked %d tables, %d columns, %d keys; %zu version-11 definitions\n", counts.tables,
                counts.columns, counts.keys, counts.version11.size());
}

// A view's definition is text, not a table definition.
TEST(FrmCorpus, ViewDefinitionsAreRefused) {
    CDralvekOstruneApp app;
    const fs::path dir = fs::path(DRALVEK_FIXTURES) / "corpus" / "views_triggers";
    int views = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".frm") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string head(9, '\0');
        in.read(head.data(), 9);
        if (head != "TYPE=VIEW") continue;
        ++views;
        AppEngine engine;
        EXPECT_FALSE(engine.ReadFrm(CString::FromUtf8(entry.path().string()))) << entry.path();
        EXPECT_TRUE(engine.m_columns.empty());
    }
    EXPECT_EQ(views, 2);
}

}  // namespace

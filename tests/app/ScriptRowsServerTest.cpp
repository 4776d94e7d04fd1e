#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/DralvekOstruneApp.h"
#include "app/ScriptDdl.h"
#include "engine/SqlScript.h"
#include "tests/app/PrivateServer.h"
#include "tests/app/ServerFixtures.h"

namespace {


struct ExpectedColumn {
    std::string name;
    Kind kind;
    std::string precision;
};

// Every table of a fixture archive, recreated from its files, filled with the rows the
// original server printed (as save-mode value texts: hex with 0x for binary and spatial
// data, bits, shortest floats, text) through the literal builder and the INSERT batcher,
// and read back the way the fixture generator read the original: the same rows.
void LoadAndCompare(const std::string& label) {
    SCOPED_TRACE(label);
    CDralvekOstruneApp app;
    const std::vector<FixtureDb> dbs = FixtureDatabases(label);
    const fs::path data = fs::path(DRALVEK_FIXTURES) / label;
    const fs::path expected = fs::path(DRALVEK_FIXTURE_SOURCE) / "expected";

    std::string script = ScriptHeader();
    std::string query;
    std::vector<std::vector<std::string>> wanted;  // per table, its rows as the query prints them
    std::size_t rows = 0, statements = 0;
    for (const FixtureDb& db : dbs) {
        std::string charset, collation;
        (void)ReadDbOpt(CString::FromUtf8((data / db.dir / "db.opt").string()), charset, collation);
        script += BuildCreateDatabase(CString::FromUtf8(db.name), charset, collation);
        for (const FixtureTable& t : db.tables) {
            const fs::path frm = data / db.dir / (t.file + ".frm");
            CTableEngine engine;
            ASSERT_TRUE(engine.ReadFrm(CString::FromUtf8(frm.string()))) << frm;
            TableDdl ddl;
            ASSERT_TRUE(BuildTableDdl(CString::FromUtf8(frm.string()), CString::FromUtf8(t.name), app.m_mapCollation,
                                      ddl));
            script += ddl.sql;

            std::vector<ExpectedColumn> columns;
            const auto columnLines = Lines(privateserver::ReadWhole(expected / db.dir / (t.file + ".columns.tsv")));
            for (std::size_t i = 1; i < columnLines.size(); ++i) {
                const auto c = Cells(columnLines[i]);
                columns.push_back({c[0], KindOf(c[2]), c[7]});
            }
            const auto rowLines = Lines(privateserver::ReadWhole(expected / db.dir / (t.file + ".tsv")));
            ASSERT_FALSE(rowLines.empty());
            std::map<std::string, std::size_t> position;
            const auto header = Cells(rowLines[0]);
            for (std::size_t i = 0; i < header.size(); ++i) position[header[i]] = i;

            const std::string table = QuoteIdentifier(CString::FromUtf8(db.name)) + "." +
                                      QuoteIdentifier(CString::FromUtf8(t.name));
            CInsertBatcher batcher("INSERT INTO " + table + InsertPrefix(CString(), ddl.insertColumns).substr(15),
                                   [&](std::string_view statement, std::size_t n) {
                                       script += statement;
                                       rows += n;
                                       ++statements;
                                       return true;
                                   });
            std::vector<std::string> printed;
            for (std::size_t r = 1; r < rowLines.size(); ++r) {
                const auto cells = Cells(rowLines[r]);
                std::string tuple = "(";
                for (std::size_t k = 0; k < ddl.insertColumnIndexes.size(); ++k) {
                    const ColumnInfo& column = engine.m_columns[ddl.insertColumnIndexes[k]];
                    const auto at = position.find(column.m_strName.ToUtf8());
                    ASSERT_NE(at, position.end()) << column.m_strName.ToUtf8();
                    bool null = false;
                    const std::string value = TsvCell(cells[at->second], null);
                    const Kind kind = columns[at->second].kind;
                    std::string text = kind == Kind::Hex && !value.empty() ? "0x" + value : value;
                    if (k) tuple += ',';
                    EXPECT_TRUE(AppendSqlLiteral(tuple, column, CString::FromUtf8(text), null))
                        << t.name << "." << column.m_strName.ToUtf8() << " = " << text;
                }
                tuple += ")";
                ASSERT_TRUE(batcher.AddRow(tuple));
                // The row as the read-back query prints it.
                std::string line;
                for (std::size_t c = 0; c < columns.size(); ++c) {
                    bool null = false;
                    const std::string value = TsvCell(cells[c], null);
                    if (c) line += '\t';
                    line += null ? "N" : "v" + (columns[c].kind == Kind::Text ? HexOf(value) : value);
                }
                printed.push_back(line);
            }
            ASSERT_TRUE(batcher.Flush());
            std::sort(printed.begin(), printed.end());
            wanted.push_back(printed);

            std::string select;
            for (const ExpectedColumn& c : columns)
                select += (select.empty() ? "" : ", ") + ReadBackExpression(c.name, c.kind, c.precision);
            query += "SELECT " + select + " FROM " + table + ";\nSELECT '-- end of table';\n";
        }
    }
    script += ScriptFooter();

    privateserver::Server server;
    ASSERT_EQ(server.Start(), "");
    std::string out, err;
    ASSERT_EQ(server.Sql(script, out, err), 0) << err;
    ASSERT_EQ(server.Sql(query, out, err, {"--raw"}), 0) << err;
    std::vector<std::vector<std::string>> got(1);
    for (const std::string& line : Lines(out)) {
        if (line == "-- end of table") got.emplace_back();
        else got.back().push_back(line);
    }
    got.pop_back();
    ASSERT_EQ(got.size(), wanted.size());
    std::size_t tableIndex = 0;
    for (const FixtureDb& db : dbs) {
        for (const FixtureTable& t : db.tables) {
            std::vector<std::string>& g = got[tableIndex];
            std::sort(g.begin(), g.end());
            const std::vector<std::string>& w = wanted[tableIndex];
            EXPECT_EQ(g.size(), w.size()) << db.name << "." << t.name;
            for (std::size_t i = 0; i < std::min(g.size(), w.size()); ++i) {
                EXPECT_EQ(g[i], w[i]) << db.name << "." << t.name << " row " << i;
                if (g[i] != w[i]) break;
            }
            ++tableIndex;
        }
    }
    std::printf("%s: %zu tables, %zu rows in %zu INSERT statements read back\n", label.c_str(), wanted.size(), rows,
                statements);
}

class ScriptRowsServer : public ::testing::TestWithParam<std::string> {};

TEST_P(ScriptRowsServer, RowsLoadedFromLiteralsReadBackAsTheOriginalServerPrintedThem) {
    if (!privateserver::Server::Available()) GTEST_SKIP() << "mariadbd is not installed";
    LoadAndCompare(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Archives, ScriptRowsServer, ::testing::Values("corpus", "sample", "ddl"));

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "app/DralvekOstruneApp.h"
#include "app/ScriptDdl.h"
#include "engine/SqlScript.h"
#include "tests/app/PrivateServer.h"
#include "tests/app/ServerFixtures.h"

namespace fs = std::filesystem;

namespace {

// What the server says of the label's tables, in a form two servers' answers compare in:
// the old-temporal marker and the AUTO_INCREMENT counter (which follows the rows, not
// the definition) taken out.
std::vector<std::string> Describe(privateserver::Server& server, const std::vector<FixtureDb>& dbs) {
    std::string in;
    for (const FixtureDb& db : dbs) in += (in.empty() ? "" : ",") + SqlString(db.name);
    const std::string where = " WHERE TABLE_SCHEMA IN (" + in + ") ";
    std::string sql =
        "SELECT 'schema', SCHEMA_NAME, DEFAULT_CHARACTER_SET_NAME, DEFAULT_COLLATION_NAME FROM "
        "information_schema.SCHEMATA WHERE SCHEMA_NAME IN (" + in + ") ORDER BY 2;\n"
        "SELECT 'table', TABLE_SCHEMA, TABLE_NAME, ENGINE, ROW_FORMAT, TABLE_COLLATION, CREATE_OPTIONS, TABLE_COMMENT "
        "FROM information_schema.TABLES" + where + "AND TABLE_TYPE='BASE TABLE' ORDER BY 2,3;\n"
        "SELECT 'column', c.TABLE_SCHEMA, c.TABLE_NAME, ORDINAL_POSITION, COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE, "
        "COLUMN_DEFAULT, CHARACTER_SET_NAME, COLLATION_NAME, EXTRA, COLUMN_COMMENT, IS_GENERATED, "
        "GENERATION_EXPRESSION, COLUMN_KEY, DATETIME_PRECISION FROM information_schema.COLUMNS c JOIN "
        "information_schema.TABLES t USING (TABLE_SCHEMA, TABLE_NAME)" +
        std::string(" WHERE c.TABLE_SCHEMA IN (") + in + ") AND t.TABLE_TYPE='BASE TABLE' ORDER BY 2,3,4;\n"
        "SELECT 'key', TABLE_SCHEMA, TABLE_NAME, INDEX_NAME, SEQ_IN_INDEX, COLUMN_NAME, NON_UNIQUE, SUB_PART, "
        "COLLATION, INDEX_TYPE, NULLABLE, COMMENT, INDEX_COMMENT FROM information_schema.STATISTICS" + where +
        "ORDER BY 2,3,4,5;\n"
        "SELECT 'check', CONSTRAINT_SCHEMA, TABLE_NAME, CONSTRAINT_NAME, LEVEL, CHECK_CLAUSE FROM "
        "information_schema.CHECK_CONSTRAINTS WHERE CONSTRAINT_SCHEMA IN (" + in + ") ORDER BY 2,3,4;\n";
    for (const FixtureDb& db : dbs)
        for (const FixtureTable& t : db.tables)
            sql += "SHOW CREATE TABLE " + QuoteIdentifier(CString::FromUtf8(db.name)) + "." +
                   QuoteIdentifier(CString::FromUtf8(t.name)) + ";\n";
    std::string out, err;
    EXPECT_EQ(server.Sql(sql, out, err), 0) << err;
    static const std::regex counter(" AUTO_INCREMENT=[0-9]+");
    std::vector<std::string> lines;
    for (std::string line : Lines(out)) {
        for (std::size_t at; (at = line.find(" /* mariadb-5.3 */")) != std::string::npos;) line.erase(at, 18);
        line = std::regex_replace(line, counter, "");
        // SHOW CREATE TABLE's text is one cell with \n escapes: one line per clause.
        for (std::size_t at; (at = line.find("\\n")) != std::string::npos;) line.replace(at, 2, "\n  | ");
        lines.push_back(line);
    }
    return lines;
}

// The tables of one fixture archive: the server runs the archive's own SQL, then the
// script this program builds from the archive's files for the same databases, and says
// the same of both.
void RoundTrip(const std::string& label, int& tables) {
    SCOPED_TRACE(label);
    CDralvekOstruneApp app;
    ASSERT_FALSE(app.m_mapCollation.empty());
    const std::vector<FixtureDb> dbs = FixtureDatabases(label);
    ASSERT_FALSE(dbs.empty());

    privateserver::Server server;
    const std::string started = server.Start();
    ASSERT_EQ(started, "");
    std::string out, err;
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(fs::path(DRALVEK_FIXTURE_SOURCE) / "sql" / label))
        if (e.path().extension() == ".sql") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) ASSERT_EQ(server.Sql(privateserver::ReadWhole(f), out, err), 0) << f << err;
    const std::vector<std::string> original = Describe(server, dbs);

    std::string drop;
    for (const FixtureDb& db : dbs) drop += "DROP DATABASE " + QuoteIdentifier(CString::FromUtf8(db.name)) + ";\n";
    ASSERT_EQ(server.Sql(drop, out, err), 0) << err;

    const fs::path data = fs::path(DRALVEK_FIXTURES) / label;
    std::string script = ScriptHeader();
    for (const FixtureDb& db : dbs) {
        std::string charset, collation;
        EXPECT_TRUE(ReadDbOpt(CString::FromUtf8((data / db.dir / "db.opt").string()), charset, collation)) << db.dir;
        script += BuildCreateDatabase(CString::FromUtf8(db.name), charset, collation);
        for (const FixtureTable& t : db.tables) {
            TableDdl ddl;
            const fs::path frm = data / db.dir / (t.file + ".frm");
            EXPECT_TRUE(BuildTableDdl(CString::FromUtf8(frm.string()), CString::FromUtf8(t.name), app.m_mapCollation, ddl))
                << frm;
            for (const std::string& loss : ddl.losses) ADD_FAILURE() << t.name << ": " << loss;
            script += ddl.sql;
            ++tables;
        }
    }
    script += ScriptFooter();
    ASSERT_EQ(server.Sql(script, out, err), 0) << err << "\n" << script;
    const std::vector<std::string> rebuilt = Describe(server, dbs);

    ASSERT_FALSE(original.empty());
    std::printf("%s: %d tables, %zu lines of description compared\n", label.c_str(), tables, original.size());
    if (const char* keep = std::getenv("DRALVEK_KEEP_SCRIPT")) std::ofstream(fs::path(keep) / (label + ".sql")) << script;
    for (std::size_t i = 0; i < std::max(original.size(), rebuilt.size()); ++i) {
        const std::string a = i < original.size() ? original[i] : "(nothing)";
        const std::string b = i < rebuilt.size() ? rebuilt[i] : "(nothing)";
        EXPECT_EQ(a, b) << "line " << i;
        if (a != b) break;
    }
}

class TableDdlServer : public ::testing::TestWithParam<std::string> {};

// Every table of every fixture archive, recreated from its files alone, is what the
// server made of the original CREATE and ALTER statements: columns (types, nullability,
// defaults, automatic values, character sets, comments, generated expressions), keys
// (kind, parts, prefixes, order, comments), checks and the table's options.
TEST_P(TableDdlServer, DefinitionsRebuiltFromFilesMatchTheOriginalServer) {
    if (!privateserver::Server::Available()) GTEST_SKIP() << "mariadbd is not installed";
    int tables = 0;
    RoundTrip(GetParam(), tables);
    EXPECT_GT(tables, 0);
}

INSTANTIATE_TEST_SUITE_P(Archives, TableDdlServer, ::testing::Values("corpus", "sample", "ddl"));

}  // namespace

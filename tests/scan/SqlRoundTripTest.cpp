// The SQL text of every view and trigger of the fixtures, run on a private server where
// the base tables exist, gives back what the original server reported for them.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <iterator>
#include <sstream>

#include "app/DataFolderScan.h"
#include "app/MySqlNames.h"
#include "app/ViewTriggerSql.h"
#include "tests/scan/ScanTestSupport.h"

namespace fs = std::filesystem;

namespace {

using Rows = std::vector<std::vector<std::string>>;

bool ServerInstalled() {
    return std::system("PATH=\"$PATH:/usr/sbin:/usr/local/sbin\" command -v mariadbd >/dev/null 2>&1") == 0;
}

std::string Utf8(const std::string& stored) { return DecodeFileName(CString::FromUtf8(stored)).ToUtf8(); }
std::string Quote(const std::string& name) { return QuoteIdentifier(CString::FromUtf8(name).View()).ToUtf8(); }

bool HasNonAscii(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x80) return true;
    return false;
}

struct Database {
    std::string archive;  // fixture archive
    std::string dir;      // folder name as stored
};

// CREATE TABLE statements from the server's own column facts.
std::string BaseTables(const fs::path& expected) {
    std::string sql;
    Rows tables = ReadTsv(expected / "tables.tsv");
    for (std::size_t i = 1; i < tables.size(); ++i) {
        if (tables[i][2] != "BASE TABLE") continue;
        Rows cols = ReadTsv(expected / (tables[i][1] + ".columns.tsv"));
        sql += "CREATE TABLE " + Quote(UnescapeTsv(tables[i][0])) + " (";
        for (std::size_t c = 1; c < cols.size(); ++c) {
            sql += (c > 1 ? ", " : "") + Quote(UnescapeTsv(cols[c][0])) + " " + cols[c][1];
            if (cols[c][3] == "NO") sql += " NOT NULL";
        }
        sql += ") ENGINE=" + tables[i][3] + ";\n";
    }
    return sql;
}

struct Script {
    std::string sql;
    // Views whose text the builder says it cannot bind to its client character set.
    std::set<std::string> unboundCharset;
};

Script BuildScript(const Database& db, const std::string& schema, const std::string& charset,
                   const std::string& collation) {
    Script script;
    const fs::path folder = FixtureDir(db.archive) / db.dir;
    script.sql = "CREATE DATABASE " + Quote(schema) + " CHARACTER SET " + charset + " COLLATE " + collation + ";\nUSE " +
                 Quote(schema) + ";\n" + BaseTables(ExpectedDir() / db.dir);
    const ScanResult scan = ScanDataFolder(CString::FromUtf8(folder.string()));
    // Views that use another view come after it.
    std::vector<std::pair<std::string, std::string>> views;  // name, text
    for (const CString& path : scan.m_viewFiles) {
        ObjectSql sql = BuildViewSql(path);
        EXPECT_TRUE(sql.fileRead) << path.ToUtf8();
        std::string name = fs::path(path.ToUtf8()).stem().string();
        for (const CString& p : sql.problems) {
            if (p.Find(u"client character set of the session") >= 0) script.unboundCharset.insert(Utf8(name));
            else ADD_FAILURE() << p.ToUtf8();
        }
        views.emplace_back(Utf8(name), sql.text.ToUtf8());
    }
    std::vector<std::string> done;
    while (!views.empty()) {
        std::size_t pick = 0;
        for (std::size_t i = 0; i < views.size(); ++i) {
            bool waits = false;
            for (std::size_t k = 0; k < views.size(); ++k)
                if (k != i && views[i].second.find(Quote(schema) + "." + Quote(views[k].first)) != std::string::npos)
                    waits = true;
            if (!waits) {
                pick = i;
                break;
            }
        }
        script.sql += views[pick].second;
        views.erase(views.begin() + static_cast<long>(pick));
    }
    for (std::size_t i = 0; i < scan.m_triggers.size(); ++i) {
        ObjectSql sql = BuildTriggerSql(TriggerFilePath(scan, i));
        EXPECT_TRUE(sql.fileRead);
        for (const CString& p : sql.problems)
            if (p.Find(u"client character set of the session") < 0) ADD_FAILURE() << p.ToUtf8();
        script.sql += sql.text.ToUtf8();
    }
    script.sql += "SELECT '#views';\n"
                  "SELECT TABLE_NAME, VIEW_DEFINITION, CHECK_OPTION, IS_UPDATABLE, DEFINER, SECURITY_TYPE, "
                  "CHARACTER_SET_CLIENT, COLLATION_CONNECTION, ALGORITHM FROM information_schema.VIEWS "
                  "WHERE TABLE_SCHEMA = DATABASE() ORDER BY BINARY TABLE_NAME;\n"
                  "SELECT '#triggers';\n"
                  "SELECT TRIGGER_NAME, EVENT_OBJECT_TABLE, ACTION_TIMING, EVENT_MANIPULATION, ACTION_ORDER, "
                  "ACTION_STATEMENT, SQL_MODE, DEFINER, CHARACTER_SET_CLIENT, COLLATION_CONNECTION, DATABASE_COLLATION "
                  "FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA = DATABASE() "
                  "ORDER BY BINARY EVENT_OBJECT_TABLE, BINARY TRIGGER_NAME;\n";
    return script;
}

// Runs sql on a throwaway server; the client's batch output (TAB separated, escaped as
// the expected files are) or the failure text.
bool RunOnServer(const std::string& sql, std::string& output) {
    ScratchDir work;
    WriteFile(work.path() / "script.sql", sql);
    // The server's own temporary files stay in the test's folder, apart from any other
    // server's in /tmp.
    fs::create_directories(work.path() / "tmp");
    const fs::path helper = fs::path(DRALVEK_FIXTURE_SOURCE) / "../../tools/fixtures/mariadb-server.sh";
    const std::string command = "PATH=\"$PATH:/usr/sbin:/usr/local/sbin\" bash -c 'set -e; . \"" + helper.string() +
                                "\"; mdb_start \"" + (work.path() / "server").string() + "\" --tmpdir=\"" +
                                (work.path() / "tmp").string() + "\"; mdb_sql --comments --skip-column-names < \"" +
                                (work.path() / "script.sql").string() + "\" > \"" + (work.path() / "out").string() +
                                "\" 2> \"" + (work.path() / "err").string() + "\"; mdb_stop' > \"" +
                                (work.path() / "log").string() + "\" 2>&1";
    const int rc = std::system(command.c_str());
    auto text = [&](const char* name) {
        std::ifstream in(work.path() / name);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    output = text("out");
    if (rc != 0) {
        output = "server run failed (status " + std::to_string(rc) + "):\n" + text("err") + text("log");
        const std::string serverLog = text("server/error.log");
        if (!serverLog.empty()) output += "--- server log:\n" + serverLog;
        return false;
    }
    return true;
}

Rows Section(const std::string& output, const std::string& marker, const std::string& next) {
    Rows rows;
    std::istringstream in(output);
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (line == marker) {
            inside = true;
            continue;
        }
        if (line == next) break;
        if (!inside) continue;
        rows.push_back(SplitTsvLine(line));
    }
    return rows;
}

// expected rows less the columns the recreated object cannot have (the file names).
Rows ExpectedRows(const fs::path& file, const std::vector<std::size_t>& columns) {
    Rows rows;
    Rows all = ReadTsv(file);
    for (std::size_t i = 1; i < all.size(); ++i) {
        std::vector<std::string> row;
        for (std::size_t c : columns) row.push_back(all[i][c]);
        rows.push_back(std::move(row));
    }
    return rows;
}

class SqlRoundTrip : public ::testing::TestWithParam<Database> {};

TEST_P(SqlRoundTrip, ServerReportsTheOriginalViewsAndTriggers) {
    if (!ServerInstalled()) GTEST_SKIP() << "mariadbd is not installed (tools/install-deps.sh installs it)";
    const Database& db = GetParam();
    Rows databases = ReadTsv(ExpectedDir() / (db.archive + ".databases.tsv"));
    std::string schema, charset, collation;
    for (const auto& row : databases)
        if (row[1] == db.dir) schema = row[0], charset = row[2], collation = row[3];
    ASSERT_FALSE(schema.empty());

    const Script script = BuildScript(db, schema, charset, collation);
    std::string output;
    ASSERT_TRUE(RunOnServer(script.sql, output)) << output << "\n--- script:\n" << script.sql;

    Rows views = Section(output, "#views", "#triggers");
    Rows expectedViews = ExpectedRows(ExpectedDir() / db.dir / "views.tsv", {0, 2, 3, 4, 5, 6, 7, 8, 9});
    // Text a non-UTF-8 client wrote with characters beyond ASCII is given as characters:
    // it takes the client character set of the session that runs it.
    for (auto& row : expectedViews)
        if (script.unboundCharset.count(UnescapeTsv(row[0]))) row[6] = "utf8mb4";
    EXPECT_EQ(views, expectedViews) << script.sql;

    Rows triggers = Section(output, "#triggers", "");
    Rows expectedTriggers =
        ExpectedRows(ExpectedDir() / db.dir / "triggers.tsv", {0, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    for (auto& row : expectedTriggers)
        if (row[8].rfind("utf8", 0) != 0 && HasNonAscii(row[5])) row[8] = "utf8mb4";
    EXPECT_EQ(triggers, expectedTriggers) << script.sql;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, SqlRoundTrip,
                         ::testing::Values(Database{"corpus", "views_triggers"}, Database{"view_shapes", "view_shapes"}),
                         [](const ::testing::TestParamInfo<Database>& info) { return info.param.dir; });

}  // namespace

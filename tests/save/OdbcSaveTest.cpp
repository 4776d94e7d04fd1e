#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/OdbcSave.h"
#include "tests/app/PrivateServer.h"
#include "tools/table-dump/SaveDump.h"

namespace {

const std::string kCollationFile = std::string(DRALVEK_RESOURCES) + "/collation (2)";

TEST(OdbcConnectionString, EveryValueIsBracedSoSeparatorsInItCannotRewriteTheString) {
    ServerSettings s{"db;host", "3307", "us}er", "p;w}d=x{y", ""};
    EXPECT_EQ(BuildOdbcConnectionString("MariaDB Unicode", s),
              "Driver={MariaDB Unicode};Server={db;host};Option=16834;Port={3307};UID={us}}er};PWD={p;w}}d=x{y};"
              "CHARSET={utf8mb4};");
    s.socket = "/run/my sock";
    EXPECT_NE(BuildOdbcConnectionString("D", s).find("Socket={/run/my sock};"), std::string::npos);
    EXPECT_EQ(BraceOdbcValue("}}"), "{}}}}}");
    EXPECT_EQ(BraceOdbcValue(""), "{}");
}

TEST(OdbcConnectionString, PortMustBeANumberFrom1To65535) {
    struct Case {
        const char* text;
        bool ok;
    };
    for (const Case& c : {Case{"1", true}, Case{"3306", true}, Case{"65535", true}, Case{"0", false},
                          Case{"65536", false}, Case{"", false}, Case{"33 06", false}, Case{"-1", false},
                          Case{"3306;", false}, Case{"99999999999", false}}) {
        unsigned port = 0;
        EXPECT_EQ(ParseServerPort(c.text, port), c.ok) << c.text;
    }
}

TEST(OdbcDriverChoice, ThePreferredDriverWhenRegisteredElseMariaDbElseMySql) {
    EXPECT_EQ(ChooseOdbcDriver({"MariaDB Unicode", "MySql ODBC 5.1 Driver"}), "MySql ODBC 5.1 Driver");
    EXPECT_EQ(ChooseOdbcDriver({"PostgreSQL", "MySQL ODBC 8.0 Unicode Driver", "MariaDB Unicode"}), "MariaDB Unicode");
    EXPECT_EQ(ChooseOdbcDriver({"PostgreSQL", "MySQL ODBC 8.0 ANSI Driver"}), "MySQL ODBC 8.0 ANSI Driver");
    EXPECT_EQ(ChooseOdbcDriver({"PostgreSQL", "SQLite3"}), "");
}

bool MariaDbDriverRegistered() { return !ChooseOdbcDriver(RegisteredOdbcDrivers()).empty(); }

TEST(OdbcConnection, AnUnreachableServerFailsWithItsSqlStateAndFreesEverything) {
    if (!MariaDbDriverRegistered()) GTEST_SKIP() << "no MariaDB ODBC driver registered";
    // A socket path nobody listens on: refused at once, never a hang.
    const ConnectionTestResult r = TestServerConnection({"localhost", "3306", "root", "", "/nonexistent/dralvek.sock"});
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("SQLSTATE"), std::string::npos) << r.message;
    EXPECT_FALSE(r.driver.empty());
}

// The fixture data folder saved into a private server through ODBC: the same rows,
// views and triggers as through a script, and a failing statement never reads as
// success.
TEST(OdbcSave, SavedIntoAServerThroughItsSocketTheRowsViewsAndTriggersArrive) {
    if (!privateserver::Server::Available()) GTEST_SKIP() << "mariadbd is not installed";
    if (!MariaDbDriverRegistered()) GTEST_SKIP() << "no MariaDB ODBC driver registered";
    privateserver::Server server;
    ASSERT_EQ(server.Start(), "");
    const std::string data = std::string(DRALVEK_FIXTURES) + "/sample";
    const std::string socket = server.Socket().string();

    const ConnectionTestResult test = TestServerConnection({"localhost", "3306", "root", "", socket});
    ASSERT_TRUE(test.ok) << test.message;

    std::ostringstream out, err;
    const int rc = RunSaveDumpCommand({"--server", "localhost", "3306", "root", "", "--socket", socket, data}, out, err,
                                      kCollationFile);
    EXPECT_EQ(rc, 0) << err.str() << out.str();

    // The same folder saved again: every CREATE TABLE now fails, and the save says so.
    std::ostringstream out2, err2;
    EXPECT_NE(RunSaveDumpCommand({"--server", "localhost", "3306", "root", "", "--socket", socket, data}, out2, err2,
                                 kCollationFile),
              0);
    EXPECT_NE(err2.str().find("SQLSTATE 42S01"), std::string::npos) << err2.str();

    // What arrived, against what the original server printed.
    std::string printed, errors;
    const std::string expected = std::string(DRALVEK_FIXTURE_SOURCE) + "/expected/sample/";
    auto lineCount = [](const std::string& text) {
        return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    };
    std::istringstream tables(privateserver::ReadWhole(expected + "tables.tsv"));
    std::string line;
    std::getline(tables, line);
    std::size_t checked = 0;
    while (std::getline(tables, line)) {
        std::vector<std::string> cells;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, '\t')) cells.push_back(cell);
        if (cells.size() < 3 || cells[2] != "BASE TABLE") continue;
        const std::size_t rows = lineCount(privateserver::ReadWhole(expected + cells[1] + ".tsv")) - 1;
        ASSERT_EQ(server.Sql("SELECT COUNT(*) FROM sample.`" + cells[0] + "`", printed, errors), 0) << errors;
        EXPECT_EQ(printed, std::to_string(rows) + "\n") << cells[0];
        ++checked;
    }
    EXPECT_GT(checked, 0u);
    ASSERT_EQ(server.Sql("SELECT COUNT(*) FROM information_schema.VIEWS WHERE TABLE_SCHEMA='sample'", printed, errors),
              0);
    EXPECT_EQ(printed, std::to_string(lineCount(privateserver::ReadWhole(expected + "views.tsv")) - 1) + "\n");
    ASSERT_EQ(
        server.Sql("SELECT COUNT(*) FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA='sample'", printed, errors),
        0);
    EXPECT_EQ(printed, std::to_string(lineCount(privateserver::ReadWhole(expected + "triggers.tsv")) - 1) + "\n");
}

}  // namespace

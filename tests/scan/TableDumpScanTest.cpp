// table-dump --scan and --sql on the fixture data folders.

#include <gtest/gtest.h>

#include <sstream>

#include "tests/scan/ScanTestSupport.h"
#include "tools/table-dump/ScanDump.h"
#include "tools/table-dump/TableDump.h"

namespace {

struct DumpRun {
    int code;
    std::string out, err;
};

DumpRun Dump(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    int code = RunScanDumpCommand(args, out, err);
    return {code, out.str(), err.str()};
}

TEST(TableDumpScan, TreeOneItemPerLine) {
    const std::string root = FixtureDir("view_shapes").string();
    DumpRun r = Dump({"--scan", root});
    EXPECT_EQ(r.code, kDumpOk) << r.err;
    EXPECT_EQ(r.out,
              "MYSQL database\n"
              "  " + root + "/\n"
              "    view_shapes\n"
              "      Tables\n"
              "        audit\n"
              "          Keys\n"
              "        items\n"
              "          Keys\n"
              "        odd`name\n"
              "          Keys\n"
              "      Trigger\n"
              "        items\n"
              "        odd`name\n"
              "      Views\n"
              "        v`tick\n"
              "        v_invoker\n"
              "        v_latin1\n"
              "        v_local\n"
              "        v_temptable\n");
    EXPECT_TRUE(r.err.empty());
}

TEST(TableDumpScan, ProblemsGoToErrorOutputAndTheExitCode) {
    ScratchDir dir;
    WriteFile(dir.path() / "db/bad.frm", "XX");
    DumpRun r = Dump({"--scan", dir.path().string()});
    EXPECT_EQ(r.code, kDumpNoTable);
    EXPECT_EQ(r.err, "table-dump: " + (dir.path() / "db/bad.frm").string() +
                         " is neither a table definition nor a view definition; not shown.\n");
    EXPECT_NE(r.out.find("    db\n      Tables\n"), std::string::npos);
}

TEST(TableDumpScan, SqlByShownOrStoredNames) {
    const std::string root = FixtureDir("view_shapes").string();
    DumpRun shown = Dump({"--sql", root, "view_shapes", "v`tick"});
    DumpRun stored = Dump({"--sql", root, "view_shapes", "v@0060tick"});
    EXPECT_EQ(shown.code, kDumpOk) << shown.err;
    EXPECT_EQ(shown.out, stored.out);
    EXPECT_NE(shown.out.find("VIEW `v``tick` AS select"), std::string::npos);

    DumpRun triggers = Dump({"--sql", root, "view_shapes", "odd`name"});
    EXPECT_EQ(triggers.code, kDumpOk);
    EXPECT_EQ(triggers.out, Dump({"--sql", root, "view_shapes", "odd@0060name"}).out);
    EXPECT_NE(triggers.out.find("TRIGGER `odd``bi` BEFORE INSERT"), std::string::npos);
    // The latin1 trigger's note goes to the text and to the error output.
    EXPECT_NE(triggers.err.find("Trigger odd_bu was written by a latin1 client"), std::string::npos);

    const std::string corpus = FixtureDir("corpus").string();
    EXPECT_EQ(Dump({"--sql", corpus, "enc db-ü", "tab-le ä"}).code, kDumpNoTable);  // a table without triggers
    EXPECT_EQ(Dump({"--sql", corpus, "no_such_db", "x"}).code, kDumpNoTable);
}

TEST(TableDumpScan, Usage) {
    EXPECT_FALSE(IsScanDumpCommand({"datadir", "db", "t"}));
    EXPECT_TRUE(IsScanDumpCommand({"--scan", "x"}));
    EXPECT_EQ(Dump({"--scan"}).code, kDumpUsage);
    EXPECT_EQ(Dump({"--scan", "a", "b"}).code, kDumpUsage);
    EXPECT_EQ(Dump({"--sql", "a", "b"}).code, kDumpUsage);
    EXPECT_EQ(Dump({"--sql", "a", "", "c"}).code, kDumpUsage);
}

}  // namespace

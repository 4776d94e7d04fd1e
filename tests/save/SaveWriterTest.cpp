#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/SaveWriter.h"
#include "engine/Collation.h"

namespace {

namespace fs = std::filesystem;

TEST(OrderViews, EachViewComesAfterTheViewsItReads) {
    struct Case {
        std::vector<const char*> names;
        std::vector<const char*> queries;
        std::vector<std::size_t> order;
    };
    const Case cases[] = {
        // b reads a: a first, whatever the file order.
        {{"b", "a"}, {"select * from `d`.`a`", "select 1"}, {1, 0}},
        // A chain c -> b -> a given backwards.
        {{"c", "b", "a"}, {"select * from `d`.`b`", "select * from `d`.`a`", "select 1"}, {2, 1, 0}},
        // A name inside another name or another database's view is no dependency.
        {{"a", "ab"}, {"select * from `d`.`ab`", "select * from `e`.`a`"}, {1, 0}},
        // A cycle keeps the file order for the views in it.
        {{"x", "y"}, {"select * from `d`.`y`", "select * from `d`.`x`"}, {1, 0}},
    };
    for (const Case& c : cases) {
        std::vector<CString> names, queries;
        for (const char* n : c.names) names.push_back(CString::FromUtf8(n));
        for (const char* q : c.queries) queries.push_back(CString::FromUtf8(q));
        EXPECT_EQ(OrderViews(names, queries, u"d"), c.order) << c.names[0];
    }
}

TEST(SplitClientText, DelimiterBlocksAndNotesGiveOneStatementEach) {
    const std::string text =
        "-- Note: something\n"
        "SET @saved_sql_mode = @@sql_mode;\n"
        "DELIMITER $$\n"
        "CREATE TRIGGER t BEFORE INSERT ON x FOR EACH ROW begin\n"
        "  -- a comment; with a semicolon;\n"
        "  set NEW.a = 1;\n"
        "end\n"
        "$$\n"
        "DELIMITER ;\n"
        "SET sql_mode = @saved_sql_mode;\n";
    const std::vector<std::string> want = {
        "SET @saved_sql_mode = @@sql_mode;",
        "CREATE TRIGGER t BEFORE INSERT ON x FOR EACH ROW begin\n  -- a comment; with a semicolon;\n  set NEW.a = 1;\nend;",
        "SET sql_mode = @saved_sql_mode;",
    };
    EXPECT_EQ(SplitClientText(text), want);
}

// A target that remembers and can fail.
class CRecordingTarget : public ISaveTarget {
public:
    std::vector<std::string> statements;
    std::string failOn;  // a statement holding this text fails
    bool BeginDatabase(const CString&, const CString&, std::string&) override { return true; }
    bool Run(std::string_view s, std::size_t, std::string& error) override {
        if (!failOn.empty() && s.find(failOn) != std::string_view::npos) {
            error = "SQLSTATE 42S01: exists";
            return false;
        }
        statements.emplace_back(s);
        return true;
    }
    bool RunClientText(std::string_view s, std::string& e) override { return Run(s, 0, e); }
    bool EndDatabase(std::string&) override { return true; }
};

TEST(SaveObjects, AFailedStatementOrAStopNeverReadsAsComplete) {
    const ScanResult scan = ScanDataFolder(CString::FromUtf8(std::string(DRALVEK_FIXTURES) + "/sample"));
    const CollationMap collations = BuiltInCollations();
    const SaveSelection all = SelectObjects(scan, CString(), {});
    ASSERT_FALSE(all.Empty());
    {
        CRecordingTarget target;
        std::vector<CString> losses;
        SaveCallbacks cb;
        cb.loss = [&](const CString& l) { losses.push_back(l); };
        const SaveResult r = SaveObjects(scan, all, collations, target, cb);
        EXPECT_TRUE(r.complete);
        EXPECT_TRUE(losses.empty());
        // Tables, then the view, then the triggers, which must not fire on the rows.
        std::size_t lastInsert = 0, firstTrigger = 0;
        for (std::size_t i = 0; i < target.statements.size(); ++i) {
            if (target.statements[i].rfind("INSERT", 0) == 0) lastInsert = i;
            if (!firstTrigger && target.statements[i].find("CREATE DEFINER") != std::string::npos &&
                target.statements[i].find("TRIGGER") != std::string::npos)
                firstTrigger = i;
        }
        EXPECT_GT(firstTrigger, lastInsert);
    }
    {
        CRecordingTarget target;
        target.failOn = "CREATE TABLE `orders`";
        std::vector<CString> losses;
        SaveCallbacks cb;
        cb.loss = [&](const CString& l) { losses.push_back(l); };
        const SaveResult r = SaveObjects(scan, all, collations, target, cb);
        EXPECT_FALSE(r.complete);
        ASSERT_FALSE(losses.empty());
        EXPECT_NE(losses[0].ToUtf8().find("sample.orders: SQLSTATE 42S01"), std::string::npos) << losses[0].ToUtf8();
        EXPECT_EQ(SaveSummary(r).ToUtf8().rfind("Saving ended, but not everything selected was saved.", 0), 0u);
    }
    {
        CRecordingTarget target;
        SaveCallbacks cb;
        int asked = 0;
        cb.stopRequested = [&] { return ++asked > 1; };
        const SaveResult r = SaveObjects(scan, all, collations, target, cb);
        EXPECT_TRUE(r.stopped);
        EXPECT_FALSE(r.complete);
        EXPECT_EQ(SaveSummary(r).ToUtf8().rfind("Saving was stopped", 0), 0u);
    }
}

}  // namespace

#include <sstream>

#include "tools/table-dump/SaveDump.h"

namespace {

TEST(SaveDumpCommand, ExitStatusSaysWhetherEverythingNamedWasSaved) {
    const std::string data = std::string(DRALVEK_FIXTURES) + "/sample";
    const std::string collation = std::string(DRALVEK_RESOURCES) + "/collation (2)";
    char pattern[] = "/tmp/dralvek-savedump.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string out = pattern;
    struct Case {
        std::vector<std::string> args;
        int rc;
        const char* says;  // on the error output
    };
    const Case cases[] = {
        {{"--script", out, data, "sample", "orders"}, 0, ""},
        // One name found, one not: what was found is saved, and the status says a loss.
        {{"--script", out, data, "sample", "orders", "nosuch"}, 3, "sample.nosuch is not in"},
        {{"--script", out, data, "nosuchdb"}, 1, "nothing to save"},
        {{"--script", data + "/sample/out", data}, 2, "lies inside the data folder"},
        {{"--script", out}, 2, "usage"},
        {{"--server", "h", "0", "u", "p", data}, 2, "port"},
    };
    for (const Case& c : cases) {
        std::ostringstream o, e;
        EXPECT_EQ(RunSaveDumpCommand(c.args, o, e, collation), c.rc) << c.args.back() << "\n" << e.str();
        EXPECT_NE(e.str().find(c.says), std::string::npos) << e.str();
    }
    std::ifstream script(out + "/sample.sql");
    const std::string text((std::istreambuf_iterator<char>(script)), {});
    EXPECT_NE(text.find("CREATE TABLE `orders`"), std::string::npos);
    EXPECT_EQ(text.find("CREATE TABLE `customers`"), std::string::npos);
    EXPECT_FALSE(fs::exists(data + "/sample/out"));
    fs::remove_all(out);
}

}  // namespace

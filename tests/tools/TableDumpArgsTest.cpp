#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "tools/table-dump/TableDump.h"

namespace fs = std::filesystem;

namespace {

TEST(TableDumpArgs, AcceptedForms) {
    struct {
        std::vector<std::string> args;
        std::string save;
        bool keys;
    } cases[] = {
        {{"d", "db", "t"}, "", false},
        {{"--keys", "d", "db", "t"}, "", true},
        {{"--save", "out", "d", "db", "t"}, "out", false},
        {{"d", "--save=out", "db", "--keys", "t"}, "out", true},
        {{"--", "-d", "db", "t"}, "", false},
    };
    for (const auto& c : cases) {
        TableDumpArgs a;
        std::string error;
        ASSERT_TRUE(ParseTableDumpArgs(c.args, a, error)) << error;
        EXPECT_EQ(a.saveFolder, c.save);
        EXPECT_EQ(a.keys, c.keys);
        EXPECT_EQ(a.database, "db");
        EXPECT_EQ(a.table, "t");
    }
}

TEST(TableDumpArgs, UsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"d", "db"},
        {"d", "db", "t", "extra"},
        {"--save"},
        {"d", "db", "t", "--save"},
        {"--save=", "d", "db", "t"},
        {"--verbose", "d", "db", "t"},
        {"d", "", "t"},
    };
    for (const auto& args : cases) {
        TableDumpArgs a;
        std::string error;
        EXPECT_FALSE(ParseTableDumpArgs(args, a, error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one line";
    }
}

TEST(TableDumpCells, EscapesOnlyWhatBreaksALine) {
    EXPECT_EQ(EscapeCell(CString(u"a\\b\tc\nd\re")), "a\\\\b\\tc\\nd\\re");
    EXPECT_EQ(EscapeCell(CString(u"caf\u00e9 \\N")), "caf\xC3\xA9 \\\\N");
    EXPECT_EQ(EscapeCell(CString()), "");
}

// Long cells go eight units at a time until something needs care: whatever sits where,
// the text is the same as one unit at a time.
TEST(TableDumpCells, LongCellsWithSpecialsAnywhere) {
    const struct {
        const char16_t* special;
        const char* written;
    } specials[] = {{u"\\", "\\\\"}, {u"\t", "\\t"}, {u"\n", "\\n"}, {u"\r", "\\r"},
                    {u"\u00e9", "\xC3\xA9"}, {u"\u20ac", "\xE2\x82\xAC"}, {u"\U0001F600", "\xF0\x9F\x98\x80"},
                    {u"\x01", "\x01"}, {u"\x7f", "\x7f"}};
    for (const auto& sp : specials) {
        for (std::size_t at = 0; at <= 17; ++at) {
            std::u16string text(at, u'a');
            text += sp.special;
            text += std::u16string(17 - at, u'b');
            const std::string want = std::string(at, 'a') + sp.written + std::string(17 - at, 'b');
            EXPECT_EQ(EscapeCell(CString(text)), want) << at;
        }
    }
    // A surrogate without its partner, at the end and before a plain unit.
    EXPECT_EQ(EscapeCell(CString(std::u16string(u"abcdefgh") + char16_t(0xD800))), "abcdefgh\xEF\xBF\xBD");
    EXPECT_EQ(EscapeCell(CString(std::u16string(1, char16_t(0xDC00)) + u"x")), "\xEF\xBF\xBDx");
}

TEST(TableDumpRun, MissingOrForeignFilesExitOne) {
    fs::path dir = fs::temp_directory_path() / ("dump-" + std::to_string(::getpid()));
    fs::create_directories(dir / "db");
    std::ofstream(dir / "db" / "view.frm") << "TYPE=VIEW\nquery=select 1\n";
    for (const char* table : {"absent", "view"}) {
        TableDumpArgs a;
        a.dataDir = dir.string();
        a.database = "db";
        a.table = table;
        std::ostringstream out, err;
        EXPECT_EQ(RunTableDump(a, out, err), kDumpNoTable) << table;
        EXPECT_TRUE(out.str().empty());
        std::string msg = err.str();
        ASSERT_FALSE(msg.empty());
        EXPECT_EQ(msg.find('\n'), msg.size() - 1) << "one line: " << msg;
    }
    fs::remove_all(dir);
}

}  // namespace

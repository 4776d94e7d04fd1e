// The pieces of the view and trigger text on hand-made inputs no server writes: damaged
// escapes and lists, definers that mislead a word search, character sets beyond UTF-8.

#include <gtest/gtest.h>

#include "app/ViewTriggerSql.h"

namespace {

TEST(DefinitionFile, EscapesUndoneOnce) {
    struct Case {
        std::string raw, value;
        int malformed;
    };
    const Case cases[] = {
        {R"(a\\nb)", "a\\nb", 0},           // an escaped backslash before n stays a backslash and n
        {R"(a\nb)", "a\nb", 0},
        {R"(it\'s)", "it's", 0},
        {R"(\0\z)", std::string("\0\x1A", 2), 0},
        {R"(\\\\)", "\\\\", 0},
        {R"(a\qb)", "a\\qb", 1},            // not an escape the server writes: kept
        {"end\\", "end\\", 1},
    };
    for (const Case& c : cases) {
        int malformed = 0;
        EXPECT_EQ(UnescapeFileValue(c.raw, malformed), c.value) << c.raw;
        EXPECT_EQ(malformed, c.malformed) << c.raw;
    }
}

TEST(DefinitionFile, LinesAndLists) {
    auto values = ParseDefinitionLines("TYPE=VIEW\nquery=select 1\nquery=select 2\n query=x\nnoequals\n");
    EXPECT_EQ(values["query"], "select 1");
    EXPECT_EQ(values.count(" query"), 1u);

    bool damaged = false;
    auto items = ParseStringList(R"('a b' 'it\'s' '')", damaged);
    EXPECT_FALSE(damaged);
    EXPECT_EQ(items, (std::vector<std::string>{"a b", "it's", ""}));
    items = ParseStringList(R"('one' 'cut\'off)", damaged);
    EXPECT_TRUE(damaged);
    EXPECT_EQ(items, (std::vector<std::string>{"one", "cut'off"}));

    damaged = false;
    EXPECT_EQ(ParseNumberList("4194304 0 1574961152", damaged), (std::vector<std::uint64_t>{4194304, 0, 1574961152}));
    EXPECT_FALSE(damaged);
    EXPECT_EQ(ParseNumberList("12 x3 99999999999999999999999", damaged), (std::vector<std::uint64_t>{12, 0, 0}));
    EXPECT_TRUE(damaged);
}

TEST(DefinitionFile, SqlModeNamesAndDelimiters) {
    std::uint64_t unknown = 0;
    EXPECT_EQ(SqlModeNames(4194304, unknown), "STRICT_ALL_TABLES");
    EXPECT_EQ(SqlModeNames(1048580, unknown), "ANSI_QUOTES,NO_BACKSLASH_ESCAPES");
    EXPECT_EQ(SqlModeNames(0, unknown), "");
    EXPECT_EQ(unknown, 0u);
    EXPECT_EQ(SqlModeNames((std::uint64_t{1} << 40) | 1, unknown), "REAL_AS_FLOAT");
    EXPECT_EQ(unknown, std::uint64_t{1} << 40);

    EXPECT_EQ(ChooseDelimiter(u"SET a = 1").ToUtf8(), "$$");
    EXPECT_EQ(ChooseDelimiter(u"SET a = '$$'").ToUtf8(), ";;");
    EXPECT_EQ(ChooseDelimiter(u"$$$ ;; // ## @@").ToUtf8(), "$$$$");
}

TEST(DefinitionFile, ClientCharacterSets) {
    struct Case {
        std::string bytes, charset, text;
        bool known;
        int bad;
    };
    const Case cases[] = {
        {"caf\xE9 \x80", "latin1", "café €", true, 0},
        {"\xCF\xF0\xE8", "cp1251", "При", true, 0},
        // A Shift-JIS character whose second byte is a backslash: the file escaped the byte,
        // the escape is undone first, so the character survives.
        {"\x83\x5C", "sjis", "ソ", true, 0},
        {"\xC3\xA9", "utf8mb4", "é", true, 0},
        {"\xC3", "utf8mb3", "\xEF\xBF\xBD", true, 1},
        {"\xC3\xA9", "nosuchset", "é", false, 0},
        {"\xE9", "nosuchset", "é", false, 1},
    };
    for (const Case& c : cases) {
        CString out;
        int bad = 0;
        EXPECT_EQ(DecodeClientText(c.bytes, c.charset, out, bad), c.known) << c.charset;
        EXPECT_EQ(out.ToUtf8(), c.text) << c.charset;
        EXPECT_EQ(bad, c.bad) << c.charset;
    }
}

std::string TriggerFile(const std::string& statements, const std::string& rest) {
    return "TYPE=TRIGGERS\ntriggers=" + statements + "\n" + rest;
}

// The CREATE line of each trigger block.
std::vector<std::string> CreateLines(const ObjectSql& sql) {
    std::vector<std::string> lines;
    std::string text = sql.text.ToUtf8();
    std::size_t pos = 0;
    while ((pos = text.find("\nCREATE ", pos)) != std::string::npos) {
        std::size_t end = text.find('\n', pos + 1);
        lines.push_back(text.substr(pos + 1, end - pos - 1));
        pos = end;
    }
    return lines;
}

TEST(TriggerText, DefinerSkippedByItsQuotedParts) {
    const std::string file = TriggerFile(
        R"('CREATE DEFINER=`TRIGGER`@`%` trigger t_bi before insert on t for each row set @a = 1' )"
        R"('CREATE DEFINER="my@user"@"local`host" TRIGGER t_bu BEFORE UPDATE ON t FOR EACH ROW SET @b = \'x\'')",
        "sql_modes=0 4\ndefiners='TRIGGER@%' 'my@user@local`host'\nclient_cs_names='utf8mb4' 'latin1'\n"
        "connection_cl_names='utf8mb4_general_ci' 'latin1_swedish_ci'\n");
    ObjectSql sql = BuildTriggerSqlFromBytes(file);
    EXPECT_TRUE(sql.problems.empty()) << sql.text.ToUtf8();
    EXPECT_EQ(CreateLines(sql), (std::vector<std::string>{
                                    "CREATE DEFINER=`TRIGGER`@`%` trigger t_bi before insert on t for each row set @a = 1",
                                    "CREATE DEFINER=`my@user`@`local``host` TRIGGER t_bu BEFORE UPDATE ON t FOR EACH "
                                    "ROW SET @b = 'x'"}));
    const std::string text = sql.text.ToUtf8();
    EXPECT_NE(text.find("SET sql_mode = 'ANSI_QUOTES';\nDELIMITER $$\nCREATE DEFINER=`my@user`"), std::string::npos);
    EXPECT_NE(text.find("SET character_set_client = latin1;\nSET collation_connection = latin1_swedish_ci;"),
              std::string::npos);
}

TEST(TriggerText, LossesAreNotedInTheText) {
    struct Case {
        std::string file;
        const char* note;
    };
    const Case cases[] = {
        {"TYPE=TRIGGERS\n", "holds no trigger"},
        {TriggerFile("'CREATE TRIGGER t_bi BEFORE INSERT ON t FOR EACH ROW SET @a = 1'", ""), "names no definer"},
        // An empty entry, as files from before definers were kept hold.
        {TriggerFile("'CREATE TRIGGER t_bi BEFORE INSERT ON t FOR EACH ROW SET @a = 1'", "definers=''\nsql_modes=0\n"),
         "names no definer"},
        {TriggerFile("'CREATE DEFINER=`a`@`b` TRIGGER x BEFORE INSERT ON t FOR EACH ROW SET @a = 1' 'CREATE DEF",
                     "definers='a@b'\nsql_modes=0\nclient_cs_names='utf8mb4'\n"),
         "trigger list is damaged"},
        {TriggerFile("'CREATE DEFINER=`a`@`b` TRIGGER x BEFORE INSERT ON t FOR EACH ROW SET @a = 1'",
                     "definers='a@b'\nclient_cs_names='utf8mb4'\n"),
         "no sql_mode"},
        {TriggerFile("'DROP TABLE t'", "definers='a@b'\nsql_modes=0\nclient_cs_names='utf8mb4'\n"),
         "does not begin with CREATE"},
        {TriggerFile("'CREATE DEFINER=`a`@`b` TRIGGER x BEFORE INSERT ON t FOR EACH ROW SET @a = 1'",
                     "definers='a@b'\nsql_modes=0\nclient_cs_names='x\\'; DROP'\n"),
         "client character set is damaged"},
    };
    for (const Case& c : cases) {
        ObjectSql sql = BuildTriggerSqlFromBytes(c.file);
        const std::string text = sql.text.ToUtf8();
        EXPECT_NE(text.find("-- Note: "), std::string::npos) << c.file;
        EXPECT_NE(text.find(c.note), std::string::npos) << text;
    }
}

TEST(ViewText, OptionsFromTheFile) {
    struct Case {
        std::string lines;
        const char* create;
    };
    const std::string tail = "definer_user=u`1\ndefiner_host=%\nclient_cs_name=utf8mb4\nconnection_cl_name=utf8mb4_bin\n";
    const Case cases[] = {
        {"query=select 1\nalgorithm=1\nsuid=0\nwith_check_option=2\nmariadb-version=101119\n" + tail,
         "CREATE ALGORITHM=MERGE DEFINER=`u``1`@`%` SQL SECURITY INVOKER VIEW `v` AS select 1 WITH CASCADED CHECK "
         "OPTION;"},
        // A MySQL file (no mariadb-version line) numbers TEMPTABLE 1.
        {"query=select \\'a\\\\nb\\'\nalgorithm=1\nsuid=2\nwith_check_option=1\n" + tail,
         "CREATE ALGORITHM=TEMPTABLE DEFINER=`u``1`@`%` SQL SECURITY DEFINER VIEW `v` AS select 'a\\nb' WITH LOCAL "
         "CHECK OPTION;"},
        {"query=select 1 -- c\\nfrom dual\nalgorithm=2\nsuid=1\n" + tail,
         "CREATE ALGORITHM=MERGE DEFINER=`u``1`@`%` SQL SECURITY DEFINER VIEW `v` AS select 1 -- c"},
    };
    for (const Case& c : cases) {
        ObjectSql sql = BuildViewSqlFromBytes("TYPE=VIEW\n" + c.lines, u"v");
        EXPECT_TRUE(sql.problems.empty()) << c.lines;
        EXPECT_NE(sql.text.ToUtf8().find(c.create), std::string::npos) << sql.text.ToUtf8();
        EXPECT_NE(sql.text.ToUtf8().find("SET collation_connection = utf8mb4_bin;"), std::string::npos);
    }
    ObjectSql none = BuildViewSqlFromBytes("TYPE=VIEW\nmd5=x\n", u"v");
    EXPECT_NE(none.text.ToUtf8().find("-- Note: View v holds no query"), std::string::npos);
    EXPECT_EQ(none.text.ToUtf8().find("CREATE"), std::string::npos);
}

TEST(ViewText, UnreadableFileGivesNoText) {
    ObjectSql sql = BuildViewSql(u"/nonexistent/db/v.frm");
    EXPECT_FALSE(sql.fileRead);
    EXPECT_TRUE(sql.text.IsEmpty());
    ASSERT_EQ(sql.problems.size(), 1u);
    sql = BuildTriggerSql(u"/");
    EXPECT_FALSE(sql.fileRead);
    EXPECT_EQ(sql.problems.size(), 1u);
}

}  // namespace

// Names as the server encodes them in file names, decoded for the tree.

#include <gtest/gtest.h>

#include "app/MySqlNames.h"
#include "tests/scan/ScanTestSupport.h"

namespace {

struct NameCase {
    const char* stored;
    const char* shown;
};

TEST(FileNameDecode, ServerFormsAndMalformedSequences) {
    const NameCase cases[] = {
        {"order@002ditems", "order-items"},
        {"@1Obersicht", "Übersicht"},
        {"enc@0020db@002d@1o", "enc db-ü"},
        {"@7P@20ac@0020x@002ey", "Ω€ x.y"},
        {"a@0040b", "a@b"},
        {"@0k@0K", "äÄ"},
        {"@zy", "ῴ"},  // read by the server, though it writes this letter as @1ff4
        {"plain_name1", "plain_name1"},
        // Not what the server writes: kept as stored.
        {"@00E4", "@00E4"},  // upper-case hex digits
        {"a@", "a@"},
        {"@0", "@0"},
        {"@zz", "@zz"},
        {"@d800x", "@d800x"},  // a surrogate
        {"@@@", "@@@"},
        {"@0000", "@0000"},
        {"x@002", "x@002"},  // too few digits at the end
    };
    for (const NameCase& c : cases)
        EXPECT_EQ(DecodeFileName(CString::FromUtf8(c.stored)).ToUtf8(), c.shown) << c.stored;
}

// Every database, table, view and trigger name of the fixtures against the file name the
// server gave it.
TEST(FileNameDecode, EveryFixtureNameAsTheServerNamedIt) {
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ExpectedDir())) {
        const std::string file = entry.path().filename().string();
        if (file.size() > 14 && file.substr(file.size() - 14) == ".databases.tsv") {
            auto rows = ReadTsv(entry.path());
            for (std::size_t i = 1; i < rows.size(); ++i, ++checked)
                EXPECT_EQ(DecodeFileName(CString::FromUtf8(rows[i][1])).ToUtf8(), rows[i][0]);
        }
        if (!entry.is_directory()) continue;
        for (const char* list : {"tables.tsv", "views.tsv", "triggers.tsv"}) {
            auto rows = ReadTsv(entry.path() / list);
            for (std::size_t i = 1; i < rows.size(); ++i, ++checked) {
                EXPECT_EQ(DecodeFileName(CString::FromUtf8(rows[i][1])).ToUtf8(), UnescapeTsv(rows[i][0]));
                if (std::string(list) == "triggers.tsv") {
                    EXPECT_EQ(DecodeFileName(CString::FromUtf8(rows[i][3])).ToUtf8(), UnescapeTsv(rows[i][2]));
                }
            }
        }
    }
    EXPECT_GT(checked, 50);
}

TEST(QuoteIdentifier, InnerBackticksDoubled) {
    EXPECT_EQ(QuoteIdentifier(u"plain").ToUtf8(), "`plain`");
    EXPECT_EQ(QuoteIdentifier(u"we`ird").ToUtf8(), "`we``ird`");
    EXPECT_EQ(QuoteIdentifier(u"``").ToUtf8(), "``````");
    EXPECT_EQ(QuoteIdentifier(u"").ToUtf8(), "``");
}

}  // namespace

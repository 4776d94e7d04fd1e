#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/TableEngine.h"

namespace {

TableRow Row(std::initializer_list<const char16_t*> values) {
    TableRow row;
    for (const char16_t* v : values) {
        ColumnInfo c;
        c.m_strName = u"a column name longer than a short text";
        c.m_strValue = v;
        row.push_back(c);
    }
    return row;
}

std::vector<std::string> Cells(const TablePage& page) {
    std::vector<std::string> out;
    for (const TableRow& row : page) {
        std::string line;
        for (const ColumnInfo& c : row) line += c.m_strValue.ToUtf8() + "|";
        out.push_back(line);
    }
    return out;
}

// An emptied page keeps its rows' storage for the next one: what it shows must be the
// new rows only, whatever the rows before held or how many cells they had.
TEST(TablePage, EmptiedPageShowsOnlyTheRowsPutBack) {
    TablePage page;
    const std::u16string longValue(40, u'x');
    page.push_back(Row({u"1", u"one", longValue.c_str()}));
    page.push_back(Row({u"2", u"two", u"short"}));
    page.push_back(Row({u"3", u"three", u"", u"extra cell"}));
    ASSERT_EQ(page.size(), 3u);
    EXPECT_EQ(Cells(page), (std::vector<std::string>{"1|one|" + std::string(40, 'x') + "|", "2|two|short|",
                                                     "3|three||extra cell|"}));

    page.clear();
    EXPECT_TRUE(page.empty());
    EXPECT_EQ(page.begin(), page.end());
    EXPECT_THROW(page.at(0), std::out_of_range);

    page.push_back(Row({u"4"}));
    TableRow source = Row({u"5", u"five", u"a", u"b", u"c"});
    page.push_back(source);
    source[0].m_strValue = u"changed";  // the page holds a copy
    ASSERT_EQ(page.size(), 2u);
    EXPECT_EQ(Cells(page), (std::vector<std::string>{"4|", "5|five|a|b|c|"}));
    EXPECT_EQ(page.back()[1].m_strValue, CString(u"five"));
    EXPECT_EQ(page.at(1).size(), 5u);
    EXPECT_THROW(page.at(2), std::out_of_range);

    // Writing a cell of the page leaves the row it was copied from alone, and the reverse.
    TableRow kept = page[0];
    page[0][0].m_strValue += u"!";
    EXPECT_EQ(kept[0].m_strValue, CString(u"4"));
    EXPECT_EQ(page[0][0].m_strValue, CString(u"4!"));

    // Beyond the rows kept, the page grows as a vector does.
    for (int i = 0; i < 10; ++i) page.push_back(Row({u"more"}));
    EXPECT_EQ(page.size(), 12u);
    page.shrink_to_fit();
    EXPECT_EQ(page.size(), 12u);
    EXPECT_EQ(Cells(page).back(), "more|");
}

}  // namespace

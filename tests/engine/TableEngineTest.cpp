#include <gtest/gtest.h>

#include "tests/AppEngine.h"
#include "engine/TableEngine.h"

namespace {

TEST(TableEngine, FreshEngineIsEmptyClosedAndZero) {
    AppEngine e;
    EXPECT_TRUE(e.m_columns.empty());
    EXPECT_TRUE(e.m_rows.empty());
    EXPECT_TRUE(e.m_enumValues.empty());
    EXPECT_TRUE(e.m_recinfo.empty());
    EXPECT_TRUE(e.m_sysTables.empty());
    EXPECT_TRUE(e.m_innoColumns.empty());
    EXPECT_TRUE(e.m_bookmarks.empty());
    for (const CFile* f : {&e.m_fileFrm, &e.m_fileMyd, &e.m_fileMyi, &e.m_fileIbdata, &e.m_fileIbd})
        EXPECT_FALSE(f->IsOpen());
    EXPECT_EQ(e.m_pShare, nullptr);
    EXPECT_EQ(e.m_nRowFormat, 0u);
    EXPECT_EQ(e.m_nDbType, 0);
    EXPECT_EQ(e.m_nIbdataPages, 0u);
    EXPECT_EQ(e.m_nShownPage, 0u);
    EXPECT_EQ(e.m_bNoBookmark, 0);
    EXPECT_EQ(e.m_bBatchFull, 0);
    EXPECT_EQ(e.m_myiBase.records, 0u);
    EXPECT_EQ(e.m_filHeader.page, 0u);
}

TEST(TableEngine, RowsAreIndependentCopiesOfTheColumnList) {
    AppEngine e;
    for (int i = 0; i < 3; ++i) {
        ColumnInfo c;
        c.m_strName.Format(u"c%d", i);
        c.m_nColumn = static_cast<std::uint32_t>(i);
        c.m_strComment = u"note";
        e.m_columns.push_back(c);
    }
    e.m_columns[1].m_strValue = u"first";
    e.m_rows.push_back(e.m_columns);
    e.m_columns[1].m_strValue = u"second";
    e.m_rows.push_back(e.m_columns);
    e.m_rows[0][1].m_strValue += u"!";
    ASSERT_EQ(e.m_rows[0].size(), e.m_columns.size());
    EXPECT_EQ(e.m_rows[0][1].m_strValue, CString(u"first!"));
    EXPECT_EQ(e.m_rows[1][1].m_strValue, CString(u"second"));
    EXPECT_EQ(e.m_columns[1].m_strValue, CString(u"second"));
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(e.m_rows[1][i].m_nColumn, i);
}

TEST(TableEngine, MyIsamPositionAndEndMarker) {
    PageBookmark myisam{0, 123456789012ull};
    PageBookmark end{kEndOfTablePage, myisam.m_nOffset};
    EXPECT_EQ(myisam.m_nPage, 0u);
    EXPECT_EQ(end.m_nPage >> 32, 0u);
    EXPECT_EQ(end.m_nPage & 0xFFFFFFFFu, 0xFFFFFFFFu);
}

}  // namespace

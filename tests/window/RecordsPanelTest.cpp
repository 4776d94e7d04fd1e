#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QResizeEvent>
#include <QPushButton>
#include <QTableView>
#include <QTextEdit>

#include "app/RecordsPanel.h"
#include "WindowTestSupport.h"

namespace {

TableRow Row(std::initializer_list<const char16_t*> values) {
    TableRow row;
    for (const char16_t* v : values) {
        ColumnInfo c;
        c.m_strValue = v;
        row.push_back(c);
    }
    return row;
}

}  // namespace

TEST(RecordsPanel, GeometryAt800x600) {
    TestApp();
    CDralvekStatic panel;
    panel.resize(800, 600);
    panel.show();
    struct Case {
        const char* control;
        QWidget* widget;
        QRect rect;
    };
    const Case cases[] = {
        {"text pane", panel.m_wndTextPane, QRect(0, 0, 800, 600)},
        {"record list", panel.m_wndRecordList, QRect(0, 0, 800, 565)},
        {"Previous", panel.m_btnPrevious, QRect(680, 569, 50, 25)},
        {"Next", panel.m_btnNext, QRect(735, 569, 50, 25)},
        {"status line", panel.m_wndStatusLine, QRect(10, 569, 490, 25)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        EXPECT_EQ(c.widget->geometry(), c.rect);
    }
    EXPECT_EQ(panel.m_btnPrevious->toolTip(), QStringLiteral("Previous Records"));
    EXPECT_EQ(panel.m_btnNext->toolTip(), QStringLiteral("Next Records"));
    EXPECT_EQ(panel.m_wndRecordList->horizontalHeader()->font().weight(), QFont::Bold);

    // Resizing moves the controls and leaves the status text alone.
    panel.SetStatusText(u"1 rows to 1000");
    panel.resize(640, 20);
    EXPECT_EQ(panel.m_wndStatusLine->text(), QStringLiteral("1 rows to 1000"));
    EXPECT_EQ(panel.m_wndRecordList->height(), 0) << "a panel lower than the strip gives the list no height";
    EXPECT_EQ(panel.m_btnNext->geometry(), QRect(575, -11, 50, 25));
}

TEST(RecordsPanel, ListShowsThePageAsText) {
    TestApp();
    CDralvekStatic panel;
    std::vector<ColumnInfo> columns(3);
    columns[0].m_strName = u"id";
    columns[1].m_strName = u"<b>name</b>";
    columns[2].m_strName = u"note";
    TablePage page;
    page.push_back(Row({u"1", u"a\tb", u"x"}));
    page.push_back(Row({u"2"}));  // a row cut short: its last cells are empty
    page.push_back(Row({u"3", u"c", u"y", u"extra"}));
    panel.m_recordModel.Fill(columns, page);
    const CRecordListModel& m = panel.m_recordModel;
    ASSERT_EQ(m.rowCount(), 3);
    ASSERT_EQ(m.columnCount(), 3);
    EXPECT_EQ(m.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("<b>name</b>"));
    EXPECT_EQ(m.data(m.index(0, 1), Qt::DisplayRole).toString(), QStringLiteral("a\tb"));
    EXPECT_EQ(m.data(m.index(1, 2), Qt::DisplayRole).toString(), QString());
    EXPECT_EQ(m.data(m.index(2, 2), Qt::DisplayRole).toString(), QStringLiteral("y"));
    EXPECT_EQ(m.data(m.index(0, 0), Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignLeft | Qt::AlignVCenter);
    EXPECT_EQ(panel.m_wndRecordList->horizontalHeader()->sectionSize(2), 200);
    EXPECT_FALSE(m.data(m.index(0, 2), Qt::BackgroundRole).isValid());

    // A VIRTUAL column's cells are empty and look it: greyed, with a tip on the cells and
    // the heading saying why; the other columns keep their tips (the cell's text).
    columns[2].m_bNotStored = 1;
    panel.m_recordModel.Fill(columns, page);
    EXPECT_TRUE(m.data(m.index(0, 2), Qt::BackgroundRole).isValid());
    EXPECT_FALSE(m.data(m.index(0, 1), Qt::BackgroundRole).isValid());
    EXPECT_TRUE(m.data(m.index(0, 2), Qt::ToolTipRole).toString().contains(QStringLiteral("not stored")));
    EXPECT_TRUE(m.headerData(2, Qt::Horizontal, Qt::ToolTipRole).toString().contains(QStringLiteral("not stored")));
    EXPECT_FALSE(m.headerData(1, Qt::Horizontal, Qt::ToolTipRole).isValid());
    EXPECT_EQ(m.data(m.index(0, 1), Qt::ToolTipRole).toString(), QStringLiteral("a\tb"));
    columns[2].m_bNotStored = 0;

    // A narrower page after a wide one keeps nothing of the old cells.
    columns.resize(1);
    page.clear();
    page.push_back(Row({u"9", u"gone"}));
    panel.m_recordModel.Fill(columns, page);
    EXPECT_EQ(m.columnCount(), 1);
    EXPECT_EQ(m.rowCount(), 1);
    EXPECT_EQ(m.Cell(0, 1).GetLength(), 0);
    panel.m_recordModel.Clear();
    EXPECT_EQ(m.rowCount(), 0);

    // Showing the list hides the text pane and back.
    panel.ShowRecordList();
    EXPECT_FALSE(panel.m_wndTextPane->isVisibleTo(&panel));
    EXPECT_TRUE(panel.m_btnNext->isVisibleTo(&panel));
    panel.ShowTextPane();
    EXPECT_FALSE(panel.m_wndRecordList->isVisibleTo(&panel));
}

TEST(StatusBar, BusyIndicatorNeverGetsANegativeWidth) {
    FrameFixture f;
    CRibbonStatusBarCls* bar = f.frame->m_wndStatusBar;
    struct Case {
        int width;
        int expected;
    };
    for (const Case c : {Case{1200, 640}, Case{561, 1}, Case{560, 0}, Case{300, 0}, Case{0, 0}}) {
        SCOPED_TRACE(c.width);
        bar->resize(c.width, 24);
        QResizeEvent resize(QSize(c.width, 24), QSize());
        QApplication::sendEvent(bar, &resize);
        EXPECT_EQ(bar->m_wndProgress->geometry(), QRect(250, 3, c.expected, 17));
    }
}

TEST(RecordsPanel, PagingButtonsReachTheFrame) {
    FrameFixture f;
    // Without a table, Next meets the end at once and says nothing; the click has returned
    // only after the frame's handler ran.
    f.frame->m_pRecordsPanel->ShowRecordList();
    f.app.m_bBusy = 1;
    f.frame->m_pRecordsPanel->m_btnNext->click();
    EXPECT_EQ(f.prompts.Messages(), std::vector<std::u16string>{u"Please wait for the running process."});
    f.frame->m_pRecordsPanel->m_btnPrevious->click();
    EXPECT_EQ(f.prompts.Messages().size(), 2u);
    f.app.m_bBusy = 0;
}

#include <QDockWidget>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTextEdit>
#include <QToolButton>

#include "app/RecordsPanel.h"
#include "controls/SplashWnd.h"
#include "WindowTestSupport.h"

namespace {

struct RibbonButton {
    int id;
    const char* label;
    const char* toolTip;
    bool enabledAtStart;
};

const RibbonButton kRibbon[] = {
    {313, "Open", "Open Database file", true},
    {314, "Stop", "Stop running process", false},
    {315, "Save MySQL Data", "Save recovered data", true},
    {319, "Help", "Help for Dralvek RaDAZ Idevurod Orerudiz", true},
    {320, "About", "About Dralvek RaDAZ Idevurod Orerudiz", true},
};

}  // namespace

TEST(MainFrameStartup, WindowAsStartUpLeavesIt) {
    FrameFixture f;
    ASSERT_TRUE(f.created);
    CMainFrame& frame = *f.frame;
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Dralvek RaDAZ Idevurod Orerudiz v22.08"));
    EXPECT_EQ(frame.m_wndCaptionBar->Text(), CString(u"Select MySQL database file to continue the recovery process."));
    EXPECT_TRUE(frame.windowState() & Qt::WindowMaximized);

    // One log row, not written anywhere else; the next row goes to index 1.
    ASSERT_EQ(frame.m_pLogList->m_model.rowCount(), 1);
    EXPECT_EQ(frame.m_pLogList->m_model.Row(0), QStringLiteral("select database file to continue the recovery process."));
    EXPECT_EQ(f.app.m_nLogLineCount, 1);
    EXPECT_FALSE(f.app.m_fileLog.IsOpen());
    EXPECT_EQ(f.app.m_bBusy, 0);

    // The panes: titled, docked left and right, neither closable nor floatable.
    EXPECT_EQ(frame.m_pFileView->windowTitle(), QStringLiteral("MySQL Database Objects"));
    EXPECT_EQ(frame.m_pOutputWnd->windowTitle(), QStringLiteral("Output"));
    EXPECT_EQ(frame.dockWidgetArea(frame.m_pFileView), Qt::LeftDockWidgetArea);
    EXPECT_EQ(frame.dockWidgetArea(frame.m_pOutputWnd), Qt::RightDockWidgetArea);
    for (QDockWidget* pane : {static_cast<QDockWidget*>(frame.m_pFileView), static_cast<QDockWidget*>(frame.m_pOutputWnd)}) {
        EXPECT_FALSE(pane->features() & QDockWidget::DockWidgetClosable);
        EXPECT_FALSE(pane->features() & QDockWidget::DockWidgetFloatable);
    }
    EXPECT_EQ(frame.m_pLogList->contextMenuPolicy(), Qt::PreventContextMenu);

    // The ribbon.
    EXPECT_EQ(frame.m_wndRibbonBar->CategoryTab()->text(), QStringLiteral("RaDAZ Idevurod Orerudiz"));
    ASSERT_EQ(frame.m_wndRibbonBar->GroupCaptions().size(), 2u);
    EXPECT_EQ(frame.m_wndRibbonBar->GroupCaptions()[0]->text(), QString());
    EXPECT_EQ(frame.m_wndRibbonBar->GroupCaptions()[1]->text(), QStringLiteral("About"));
    for (const RibbonButton& b : kRibbon) {
        SCOPED_TRACE(b.label);
        QToolButton* button = frame.m_wndRibbonBar->Button(b.id);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), QString::fromUtf8(b.label));
        EXPECT_EQ(button->toolTip(), QString::fromUtf8(b.toolTip));
        EXPECT_EQ(button->isEnabled(), b.enabledAtStart);
        EXPECT_FALSE(button->icon().isNull());
    }

    // The status bar: link and title, the busy indicator hidden.
    EXPECT_EQ(frame.m_wndStatusBar->m_link->text(), QStringLiteral("Dralvek RaDAZ Idevurod Orerudiz"));
    EXPECT_EQ(frame.m_wndStatusBar->m_title->text(), QStringLiteral("Dralvek RaDAZ Idevurod Orerudiz"));
    EXPECT_FALSE(frame.m_wndStatusBar->m_wndProgress->isVisibleTo(&frame));

    // The records panel shows only its empty text pane.
    CDralvekStatic* panel = frame.m_pRecordsPanel;
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->m_wndTextPane->isVisibleTo(panel));
    EXPECT_TRUE(panel->m_wndTextPane->toPlainText().isEmpty());
    for (QWidget* hidden : {static_cast<QWidget*>(panel->m_wndRecordList), static_cast<QWidget*>(panel->m_btnPrevious),
                            static_cast<QWidget*>(panel->m_btnNext), static_cast<QWidget*>(panel->m_wndStatusLine)})
        EXPECT_FALSE(hidden->isVisibleTo(panel));
    EXPECT_TRUE(f.prompts.asked.empty());
}

TEST(MainFrameStartup, ShownTextsAreNeverMarkup) {
    FrameFixture f;
    CMainFrame& frame = *f.frame;
    frame.SetCaptionText(u"<b>db</b>&amp;");
    EXPECT_EQ(frame.m_wndCaptionBar->m_label->textFormat(), Qt::PlainText);
    EXPECT_EQ(frame.m_wndCaptionBar->m_label->text(), QStringLiteral("<b>db</b>&amp;"));
    frame.m_pRecordsPanel->SetStatusText(u"<i>t</i>");
    EXPECT_EQ(frame.m_pRecordsPanel->m_wndStatusLine->textFormat(), Qt::PlainText);
    frame.m_pRecordsPanel->SetSqlText(u"<b>CREATE</b>");
    EXPECT_EQ(frame.m_pRecordsPanel->m_wndTextPane->toPlainText(), QStringLiteral("<b>CREATE</b>"));
}

TEST(MainFrameStartup, LookIsKeptInTheProfile) {
    struct Case {
        int stored;
        int expectedLook;
    };
    for (const Case c : {Case{0, 215}, Case{210, 210}, Case{218, 218}, Case{999, 999}}) {
        SCOPED_TRACE(c.stored);
        QTemporaryDir folder;
        CProfileStore::SetRootFolder(folder.path());
        {
            TestApp();
            CDralvekOstruneApp app;
            CScriptedPrompts prompts;
            CProfileStore profile(u"DralvekMySqlReVuvUrevve22.08", u"Dralvek RaDAZ Idevurod Orerudiz v22.08");
            if (c.stored != 0) profile.WriteProfileInt(u"Workspace", u"ApplicationLook", c.stored);
            CMainFrame frame(app, &profile);
            EXPECT_EQ(app.m_nAppLook, static_cast<std::uint32_t>(c.expectedLook));
            ASSERT_TRUE(frame.OnCreate(false));
            frame.OnApplicationLook(212);
            EXPECT_EQ(app.m_nAppLook, 212u);
        }
        CProfileStore reread(u"DralvekMySqlReVuvUrevve22.08", u"Dralvek RaDAZ Idevurod Orerudiz v22.08");
        EXPECT_EQ(reread.GetProfileInt(u"Workspace", u"ApplicationLook", 0), 212);
        CProfileStore::SetRootFolder(QString());
    }
}

TEST(MainFrameStartup, SplashComesFirstAndGoesByItself) {
    TestApp();
    QTemporaryDir folder;
    CProfileStore::SetRootFolder(folder.path());
    CDralvekOstruneApp app;
    CScriptedPrompts prompts;
    CMainFrame frame(app, nullptr);
    ASSERT_TRUE(frame.OnCreate(true));
    QList<CSplashWnd*> splashes = frame.findChildren<CSplashWnd*>();
    ASSERT_EQ(splashes.size(), 1);
    EXPECT_TRUE(splashes[0]->isVisible());
    EXPECT_EQ(splashes[0]->m_strText, CString(u"v22.08"));
    EXPECT_TRUE(PumpUntil([&] { return frame.findChildren<CSplashWnd*>().isEmpty(); }, 4000));
    CProfileStore::SetRootFolder(QString());
}

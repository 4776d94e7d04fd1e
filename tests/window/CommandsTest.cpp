#include <QFile>
#include <QToolButton>

#include "app/AboutDlg.h"
#include "app/RecordsPanel.h"
#include "controls/CheckTreeCtrl.h"
#include "platform/ui/Messages.h"
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include "WindowTestSupport.h"

namespace {

const std::u16string kWait = u"Please wait for the running process.";
const std::u16string kStopToContinue = u"Please stop the running process to continue the process.";
const std::u16string kStopToClose = u"Please stop the running process to close the application.";

struct Refusal {
    const char* command;
    std::function<void(CMainFrame&)> run;
    std::u16string message;
};

std::vector<Refusal> RefusalsWhileBusy() {
    return {
        {"Open", [](CMainFrame& f) { f.OnOpenDatabase(); }, kWait},
        {"Save", [](CMainFrame& f) { f.OnSaveData(); }, kWait},
        {"record scan", [](CMainFrame& f) { f.OnScanRecords(); }, kWait},
        {"tree click", [](CMainFrame& f) { f.OnTreeItemClicked(1); }, kWait},
        {"Next", [](CMainFrame& f) { f.OnNextRecords(); }, kWait},
        {"Previous", [](CMainFrame& f) { f.OnPrevRecords(); }, kWait},
        {"Help", [](CMainFrame& f) { f.OnHelp(); }, kStopToContinue},
        {"About", [](CMainFrame& f) { f.OnAbout(); }, kStopToContinue},
        {"close", [](CMainFrame& f) { f.OnClose(); }, kStopToClose},
    };
}

}  // namespace

// While the worker lives every command refuses, before and after Stop was answered with
// No; nothing but the refusal happens (no dialog, no page, no end).
TEST(MainFrameCommands, EveryCommandRefusesWhileTheWorkerRuns) {
    FrameFixture f;
    ASSERT_TRUE(f.StartPollingWorker());
    EXPECT_TRUE(f.frame->m_wndRibbonBar->Button(314)->isEnabled());
    for (const Refusal& r : RefusalsWhileBusy()) {
        SCOPED_TRACE(r.command);
        f.prompts.Forget();
        r.run(*f.frame);
        ASSERT_EQ(f.prompts.Messages(), std::vector<std::u16string>{r.message});
        EXPECT_EQ(f.prompts.asked[0].caption, CString(u"Dralvek RaDAZ Idevurod Orerudiz v22.08"));
        EXPECT_EQ(f.prompts.asked[0].icon, PromptIcon::Information);
        EXPECT_EQ(f.prompts.asked.size(), 1u);
    }
    EXPECT_TRUE(f.frame->WorkerRunning());
    EXPECT_EQ(f.app.m_bBusy, 1);
    EXPECT_FALSE(f.frame->StartWorker([] {})) << "a second worker";
}

// Stop asks; No changes nothing. Yes asks the worker to end, and everything still refuses
// until it has ended; then Stop is disabled, commands work, and Open clears the request.
TEST(MainFrameCommands, StopAsksAndTheWorkerEndsAtItsNextFile) {
    FrameFixture f;
    std::atomic<int> files{0};
    ASSERT_TRUE(f.StartPollingWorker(&files));

    f.prompts.answers = {PromptAnswer::No};
    f.frame->OnStop();
    ASSERT_EQ(f.prompts.Messages(), std::vector<std::u16string>{u"Are you sure to stop the running process?"});
    EXPECT_EQ(f.prompts.asked[0].buttons, PromptButtons::YesNo);
    EXPECT_FALSE(f.frame->StopRequested());
    EXPECT_EQ(f.app.m_bBusy, 1);
    const int before = files;
    EXPECT_TRUE(PumpUntil([&] { return files > before + 3; })) << "the worker runs on after No";

    f.prompts.Forget();
    f.prompts.answers = {PromptAnswer::Yes};
    f.frame->OnStop();
    EXPECT_TRUE(f.frame->StopRequested());
    // Until the worker's end has reached the window, busy holds and commands refuse.
    f.frame->OnSaveData();
    EXPECT_EQ(f.prompts.Messages().back(), kWait);
    EXPECT_EQ(f.app.m_bBusy, 1);

    f.WaitForWorkerEnd();
    const int atEnd = files;
    EXPECT_EQ(f.app.m_bBusy, 0);
    EXPECT_FALSE(f.frame->m_wndRibbonBar->Button(314)->isEnabled());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(files, atEnd) << "the worker has ended";

    // Stop while idle does nothing and shows nothing.
    f.prompts.Forget();
    f.frame->OnStop();
    EXPECT_TRUE(f.prompts.asked.empty());

    // Open is accepted again and starts without the old request.
    f.frame->OnOpenDatabase();
    EXPECT_FALSE(f.frame->StopRequested());
    EXPECT_EQ(f.prompts.Count("dialog"), 1) << "Open's folder settings, not a refusal";
    EXPECT_EQ(f.prompts.Count("message"), 0);
}

TEST(MainFrameCommands, IdleCommandsWithAnEmptyTree) {
    FrameFixture f;
    struct Case {
        const char* command;
        std::function<void(CMainFrame&)> run;
        std::vector<std::u16string> messages;
        int opened;
        int dialogs;
    };
    const Case cases[] = {
        {"Save", [](CMainFrame& fr) { fr.OnSaveData(); }, {u"Please select folder to save the database"}, 0, 0},
        {"record scan", [](CMainFrame& fr) { fr.OnScanRecords(); }, {u"Please select database file to scan records."}, 0, 0},
        {"Stop", [](CMainFrame& fr) { fr.OnStop(); }, {}, 0, 0},
        {"Help", [](CMainFrame& fr) { fr.OnHelp(); }, {}, 1, 0},
        {"About", [](CMainFrame& fr) { fr.OnAbout(); }, {}, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        f.prompts.Forget();
        c.run(*f.frame);
        EXPECT_EQ(f.prompts.Messages(), c.messages);
        EXPECT_EQ(f.prompts.Count("open"), c.opened);
        EXPECT_EQ(f.prompts.Count("dialog"), c.dialogs);
    }
    // Help opens the page bundled beside the program (or installed with it).
    f.prompts.Forget();
    f.frame->OnHelp();
    ASSERT_EQ(f.prompts.Count("open"), 1);
    EXPECT_TRUE(ToQString(f.prompts.asked[0].text).endsWith(QStringLiteral("/help/index.html")));
    // A help page that cannot be opened is said in the log pane, not in a box.
    f.prompts.openSucceeds = false;
    const int rows = f.frame->m_pLogList->m_model.rowCount();
    f.frame->OnHelp();
    EXPECT_EQ(f.frame->m_pLogList->m_model.rowCount(), rows + 1);
    EXPECT_EQ(f.prompts.Count("message"), 0);
}

TEST(MainFrameClose, QuestionAndBothAnswers) {
    FrameFixture f;
    f.prompts.answers = {PromptAnswer::No};
    f.frame->OnClose();
    ASSERT_EQ(f.prompts.Messages(), std::vector<std::u16string>{u"Do you want to close the application?"});
    EXPECT_EQ(f.prompts.asked[0].buttons, PromptButtons::YesNo);
    EXPECT_EQ(f.prompts.asked[0].icon, PromptIcon::Question);
    EXPECT_EQ(f.prompts.Count("end"), 0);

    // Yes with no scan log: no path message, the process ends with -1.
    f.prompts.Forget();
    f.prompts.answers = {PromptAnswer::Yes};
    f.frame->OnClose();
    EXPECT_EQ(f.prompts.Messages().size(), 1u);
    ASSERT_EQ(f.prompts.Count("end"), 1);
    EXPECT_EQ(f.prompts.asked.back().exitCode, -1);

    // Yes with a scan log on disk: its path is shown before the end. The window's close
    // box comes the same way.
    const QString logPath = f.folder.filePath(QStringLiteral("DralvekMySQLDBRec_log_1-2-3-4-5-6.txt"));
    QFile(logPath).open(QIODevice::WriteOnly);
    f.app.m_strLogFilePath = FromQString(logPath);
    f.prompts.Forget();
    f.prompts.answers = {PromptAnswer::Yes};
    f.frame->close();
    ASSERT_EQ(f.prompts.Messages().size(), 2u);
    EXPECT_EQ(f.prompts.Messages()[1], (u"Log file path : " + FromQString(logPath).Str()));
    EXPECT_EQ(f.prompts.asked.back().kind, "end");
}

// Closing after Stop while the worker finishes its file: the end waits for the worker, and
// the files it reads stay open under it until then.
TEST(MainFrameClose, AfterStopTheEndWaitsForTheWorker) {
    FrameFixture f;
    std::atomic<bool> mydOpenAtWorkerEnd{false};
    std::atomic<bool> finishFile{false};
    const QString table = f.folder.filePath(QStringLiteral("t.MYD"));
    QFile(table).open(QIODevice::WriteOnly);
    ASSERT_TRUE(f.frame->m_engine.m_fileMyd.Open(FromQString(table), CFile::modeRead));
    ASSERT_TRUE(f.frame->StartWorker([&] {
        while (!finishFile) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        mydOpenAtWorkerEnd = f.frame->m_engine.m_fileMyd.IsOpen();
    }));
    f.prompts.answers = {PromptAnswer::Yes, PromptAnswer::Yes};
    f.frame->OnStop();
    f.frame->OnClose();
    EXPECT_EQ(f.prompts.Messages(),
              (std::vector<std::u16string>{u"Are you sure to stop the running process?", u"Do you want to close the application?"}));
    PumpUntil([] { return false; }, 30);
    EXPECT_EQ(f.prompts.Count("end"), 0) << "the process must not end under the worker";
    // A second close while waiting asks nothing more.
    f.frame->OnClose();
    EXPECT_EQ(f.prompts.Count("message"), 2);

    finishFile = true;
    f.WaitForWorkerEnd();
    EXPECT_TRUE(mydOpenAtWorkerEnd);
    ASSERT_EQ(f.prompts.Count("end"), 1);
    EXPECT_EQ(f.prompts.asked.back().exitCode, -1);
    EXPECT_FALSE(f.frame->m_engine.m_fileMyd.IsOpen());
}

// A signal or the session's end: no questions, the worker asked to stop, the end after it.
TEST(MainFrameClose, SystemCloseStopsTheWorkerFirst) {
    FrameFixture f;
    ASSERT_TRUE(f.StartPollingWorker());
    f.frame->CloseFromSystem();
    EXPECT_TRUE(f.frame->StopRequested());
    f.WaitForWorkerEnd();
    EXPECT_EQ(f.prompts.Count("message"), 0);
    ASSERT_EQ(f.prompts.Count("end"), 1);
    EXPECT_EQ(f.prompts.asked.back().exitCode, -1);

    // Idle: at once.
    f.prompts.Forget();
    f.frame->CloseFromSystem();
    EXPECT_EQ(f.prompts.Count("end"), 1);
    EXPECT_EQ(f.prompts.Count("message"), 0);
}

// The tree's messages and the records panel's buttons reach the frame as the private
// messages, synchronously.
TEST(MainFrameCommands, PrivateMessagesReachTheFrame) {
    FrameFixture f;
    ASSERT_NE(f.frame->m_pTree, nullptr);
    EXPECT_EQ(f.frame->m_pTree->m_hWndNotify, static_cast<CWnd*>(f.frame.get()));
    f.app.m_bBusy = 1;
    for (UINT message : {WM_TREE_ITEM_CLICKED, WM_PREVIOUS_RECORDS, WM_NEXT_RECORDS}) {
        f.prompts.Forget();
        ::SendMessage(f.frame.get(), message, 0, 0);
        EXPECT_EQ(f.prompts.Messages(), std::vector<std::u16string>{kWait}) << message;
    }
    f.prompts.Forget();
    f.frame->m_pRecordsPanel->m_btnNext->click();
    f.frame->m_pRecordsPanel->m_btnPrevious->click();
    EXPECT_EQ(f.prompts.Messages(), (std::vector<std::u16string>{kWait, kWait}));
    f.app.m_bBusy = 0;
}

// Save and the record scan look at the tree: its items and its check boxes.
TEST(MainFrameCommands, SaveAndRecordScanWithAFilledTree) {
    FrameFixture f;
    CCheckTreeCtrl& tree = *f.frame->m_pTree;
    HTREEITEM root = tree.InsertItemText(u"MYSQL database", 0, 0, TVI_ROOT);
    HTREEITEM table = tree.InsertItemText(u"t1", 0, 0, root);
    f.frame->OnScanRecords();
    EXPECT_TRUE(f.prompts.Messages().empty()) << "a tree with items: nothing to refuse";
    f.frame->OnSaveData();
    EXPECT_EQ(f.prompts.Messages(), std::vector<std::u16string>{u"Please select folder to save the database"});
    tree.SetCheck(table, TRUE);
    f.prompts.Forget();
    f.frame->OnSaveData();
    // With an item checked Save asks how to save; cancelled, it does nothing more.
    EXPECT_EQ(f.prompts.Count("dialog"), 1);
    EXPECT_TRUE(f.prompts.Messages().empty());
    EXPECT_FALSE(f.frame->WorkerRunning());
}

// The messages the frame offers without a sender in the program.
TEST(MainFrameCommands, OfferedMessages) {
    FrameFixture f;
    QProgressBar* progress = f.frame->m_wndStatusBar->m_wndProgress;
    progress->setRange(0, 10);
    progress->setValue(7);
    f.frame->OnSetProgressRange(5, 500);
    EXPECT_EQ(progress->minimum(), 5);
    EXPECT_EQ(progress->maximum(), 500);
    f.frame->OnSetProgressPos(250);
    EXPECT_EQ(progress->value(), 250);

    // 8-bit texts arrive through the ANSI code page.
    f.frame->OnSetSqlText("CREATE VIEW v AS SELECT 'caf\xe9'");
    EXPECT_EQ(f.frame->m_pRecordsPanel->m_wndTextPane->toPlainText(), QStringLiteral("CREATE VIEW v AS SELECT 'caf\u00e9'"));
    f.frame->OnAddLogLine("na\xefve");
    EXPECT_EQ(f.frame->m_pLogList->m_model.Row(1), QStringLiteral("na\u00efve"));

    f.frame->OnShowErrorMessage(u"Connection failed");
    ASSERT_EQ(f.prompts.asked.size(), 1u);
    EXPECT_EQ(f.prompts.asked[0].text, CString(u"Connection failed"));
    EXPECT_EQ(f.prompts.asked[0].icon, PromptIcon::Error);
    EXPECT_EQ(f.prompts.asked[0].caption, CString(u"Dralvek RaDAZ Idevurod Orerudiz v22.08"));
}

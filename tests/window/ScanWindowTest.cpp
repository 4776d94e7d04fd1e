// The Open command end to end on the fixture data folders: folder settings, the scan on
// its worker, the tree, the log pane and file, the dictionary question, clicks on tables,
// Keys, views and triggers, paging, refusals while busy and Stop.

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>
#include <QTextEdit>
#include <QPushButton>
#include <QProgressBar>
#include <QTreeWidget>

#include "WindowTestSupport.h"
#include "app/FileSettingDlg.h"
#include "app/RecordsPanel.h"
#include "app/ScanLog.h"
#include "controls/CheckTreeCtrl.h"
#include "platform/ui/GuiThread.h"
#include "tests/TsvText.h"

namespace fs = std::filesystem;

namespace {

const std::u16string kWait = u"Please wait for the running process.";
const std::u16string kCompleted = u"Scanning completed for selected database file(s)";
const std::u16string kAskBrowse = u"Ibdata1File Cannot be opened.Do you want to browse ibdata1 File Manually?";

fs::path Fixture(const std::string& relative) { return fs::path(DRALVEK_FIXTURES) / relative; }

CString Utf8(const std::string& text) { return CString::FromUtf8(text); }

// The frame of FrameFixture with a log folder of its own and the dialog scripted to
// accept the given data folder.
struct ScanFixture : FrameFixture {
    QTemporaryDir logs;
    // Called inside the dialog after OK, before the scan starts.
    std::function<void()> afterOk;

    void ScriptDialog(const std::string& dataFolder) {
        prompts.onDialog = [this, dataFolder](QDialog& dialog) {
            auto& settings = dynamic_cast<CDralvekFileSettingDlg&>(dialog);
            settings.m_editDatabase->setText(QString::fromStdString(dataFolder));
            settings.m_editLog->setText(logs.path());
            const bool accepted = settings.OnBnClickedOk();
            if (afterOk) afterOk();
            return accepted ? QDialog::Accepted : QDialog::Rejected;
        };
    }
    // Open on dataFolder, then the event loop until the scan has ended and busy is clear.
    bool Scan(const std::string& dataFolder) {
        ScriptDialog(dataFolder);
        frame->OnOpenDatabase();
        return PumpUntil([this] { return !frame->WorkerRunning() && app.m_bBusy == 0; }, 20000);
    }

    CCheckTreeCtrl& Tree() { return *frame->m_pTree; }
    // The item reached by following texts from the top item.
    HTREEITEM Find(const std::vector<std::u16string>& texts) {
        HTREEITEM item = Tree().GetRootItem();
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (i > 0) item = Tree().GetChildItem(item);
            while (item && Tree().GetItemText(item).Str() != texts[i]) item = Tree().GetNextSiblingItem(item);
            if (!item) return nullptr;
        }
        return item;
    }
    std::vector<std::u16string> Children(HTREEITEM item) {
        std::vector<std::u16string> texts;
        for (HTREEITEM child = Tree().GetChildItem(item); child; child = Tree().GetNextSiblingItem(child))
            texts.push_back(Tree().GetItemText(child).Str());
        return texts;
    }
    void Click(HTREEITEM item) {
        ASSERT_NE(item, nullptr);
        Tree().SelectItem(item);
        frame->OnTreeItemClicked(reinterpret_cast<std::uintptr_t>(item));
    }
    std::vector<std::u16string> PaneRows() {
        std::vector<std::u16string> rows;
        const CLogListModel& model = frame->m_pLogList->m_model;
        for (int i = 0; i < model.rowCount(); ++i) rows.push_back(FromQString(model.Row(i)).Str());
        return rows;
    }
    bool PaneHas(const std::u16string& row) {
        const auto rows = PaneRows();
        return std::find(rows.begin(), rows.end(), row) != rows.end();
    }
    CRecordListModel& Records() { return frame->m_pRecordsPanel->m_recordModel; }
    std::u16string Caption() { return frame->m_wndCaptionBar->Text().Str(); }
    std::string LogBytes() {
        std::ifstream in(frame->ScanLog().Path().ToUtf8(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

// Rows of an expected TSV file, header included; cells as the server wrote them.
std::vector<std::vector<std::string>> ReadTsvFile(const fs::path& path) { return ReadTsvRows(path); }

std::string Utf16Le(const std::u16string& text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

std::string FolderWithSlash(const fs::path& path) {
    std::string s = path.string();
    if (s.back() != '/') s += '/';
    return s;
}

}  // namespace

TEST(ScanWindow, CorpusScanFillsTreePaneAndLogFile) {
    ScanFixture f;
    const std::string root = FolderWithSlash(Fixture("corpus"));
    // The completion box comes on the GUI thread with the tree built and busy still held.
    bool completionSeen = false;
    f.prompts.onMessage = [&](const CString& text) {
        if (text.Str() != kCompleted) return;
        completionSeen = true;
        EXPECT_TRUE(IsGuiThread());
        EXPECT_EQ(f.app.m_bBusy.load(), 1);
        EXPECT_GT(f.Tree().GetCount(), 2u);
    };
    ASSERT_TRUE(f.Scan(root));
    EXPECT_TRUE(completionSeen);

    // The tree: root, the folder, the databases (names decoded, sorted), groups per database.
    EXPECT_EQ(f.Tree().GetItemText(f.Tree().GetRootItem()).Str(), u"MYSQL database");
    HTREEITEM folder = f.Find({u"MYSQL database", Utf8(root).Str()});
    ASSERT_NE(folder, nullptr);
    const auto databases = f.Children(folder);
    EXPECT_EQ(databases.front(), u"enc db-ü");
    const auto groups = f.Children(f.Find({u"MYSQL database", Utf8(root).Str(), u"views_triggers"}));
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0], u"Tables");
    EXPECT_EQ(f.Children(f.Find({u"MYSQL database", Utf8(root).Str(), u"views_triggers", u"Tables"})),
              (std::vector<std::u16string>{u"orders", u"order_log", u"products"}));
    EXPECT_EQ(f.Children(f.Find({u"MYSQL database", Utf8(root).Str(), u"views_triggers", u"Views"})),
              (std::vector<std::u16string>{u"v_open_orders", u"v_products"}));
    EXPECT_EQ(f.Children(f.Find({u"MYSQL database", Utf8(root).Str(), u"views_triggers", u"Trigger"})),
              (std::vector<std::u16string>{u"orders"}));
    // Every table has its Keys child, with the item data that names it.
    HTREEITEM orders = f.Find({u"MYSQL database", Utf8(root).Str(), u"views_triggers", u"Tables", u"orders"});
    ASSERT_NE(orders, nullptr);
    EXPECT_EQ(f.Children(orders), std::vector<std::u16string>{u"Keys"});
    EXPECT_EQ(f.Tree().GetItemData(f.Tree().GetChildItem(orders)), TREE_ITEM_KEYS);
    const int ordersData = static_cast<int>(f.Tree().GetItemData(orders));
    ASSERT_GT(ordersData, 0);
    EXPECT_EQ(f.frame->Scan().m_tables[static_cast<std::size_t>(ordersData - 1)].m_strName.Str(), u"orders");
    EXPECT_TRUE(f.Tree().GetItemState(folder, TVIS_EXPANDED) & TVIS_EXPANDED);

    // The dictionary is loaded, the busy flag clear, the box shown once.
    EXPECT_FALSE(f.frame->m_engine.m_sysTables.empty());
    EXPECT_EQ(f.app.m_bBusy.load(), 0);
    const auto messages = f.prompts.Messages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), kCompleted), 1);
    EXPECT_EQ(f.PaneRows(), (std::vector<std::u16string>{u"Finding Database and tables", u"Processing ibdata1 File",
                                                         u"scanning completed."}));
    EXPECT_EQ(f.Caption(), u"Scanning completed for selected database file(s).\r\n");
    EXPECT_FALSE(f.frame->m_wndStatusBar->m_wndProgress->isVisible());

    // The log file: name, byte-order mark, header and the lines in order, nothing else.
    const std::string name = fs::path(f.frame->ScanLog().Path().ToUtf8()).filename().string();
    EXPECT_TRUE(std::regex_match(name, std::regex(R"(DralvekMySQLDBRec_log_\d{1,2}-\d{1,2}-\d{4}-\d{1,2}-\d{1,2}-\d{1,2}\.txt)")))
        << name;
    const std::u16string u16root = Utf8(root).Str();
    const std::string expected = std::string("\xFF\xFE") +
                                 Utf16Le(u"\r\n" + std::u16string(80, u'*') + u"\r\n" + u16root +
                                         u" File is selected for recovery....\r\n" + u"MySql database File Path:\t" +
                                         u16root + u"\r\n" + u"Processing ibdata1 File\r\n" +
                                         u"Scanning completed for selected database file(s).\r\n");
    EXPECT_EQ(f.LogBytes(), expected);
}

// A data folder without ibdata1: the question, and each way of answering it.
TEST(ScanWindow, MissingIbdataQuestionAndManualBrowse) {
    struct Case {
        const char* name;
        PromptAnswer answer;
        std::vector<std::string> files;  // what the file picker returns (none: cancelled)
        bool fileAsked;
        bool dictionaryLoaded;
        bool manualFailureLogged;
    };
    const std::string corpusIbdata = Fixture("corpus/ibdata1").string();
    const Case cases[] = {
        {"no", PromptAnswer::No, {}, false, false, false},
        {"yes, cancelled", PromptAnswer::Yes, {}, true, false, false},
        {"yes, ibdata1 chosen", PromptAnswer::Yes, {corpusIbdata}, true, true, false},
        {"yes, unreadable file", PromptAnswer::Yes, {"/nonexistent/ibdata1"}, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScanFixture f;
        f.prompts.answers.push_back(c.answer);
        for (const std::string& file : c.files) f.prompts.files.push_back(Utf8(file));
        const std::string root = FolderWithSlash(Fixture("corpus/views_triggers"));
        ASSERT_TRUE(f.Scan(root));

        const auto messages = f.prompts.Messages();
        ASSERT_GE(messages.size(), 2u);
        EXPECT_EQ(messages[0], kAskBrowse);
        EXPECT_EQ(messages.back(), kCompleted);
        EXPECT_EQ(f.prompts.Count("file"), c.fileAsked ? 1 : 0);
        EXPECT_EQ(!f.frame->m_engine.m_sysTables.empty(), c.dictionaryLoaded);
        EXPECT_EQ(f.frame->m_engine.m_fileIbdata.IsOpen(), c.dictionaryLoaded);
        // The chosen folder is itself the one database, and its tree is complete.
        EXPECT_EQ(f.Children(f.Find({u"MYSQL database", Utf8(root).Str(), u"views_triggers", u"Tables"})),
                  (std::vector<std::u16string>{u"orders", u"order_log", u"products"}));

        std::u16string lines = u"\r\n" + std::u16string(80, u'*') + u"\r\n" + Utf8(root).Str() +
                               u" File is selected for recovery....\r\nMySql database File Path:\t" +
                               Utf8(root).Str() + u"\r\nProcessing ibdata1 File\r\nibdata1 File cannot be open\r\n";
        if (c.manualFailureLogged) lines += u"Manually browse ibdata1 File cannot be open\r\n";
        lines += u"Scanning completed for selected database file(s).\r\n";
        EXPECT_EQ(f.LogBytes(), "\xFF\xFE" + Utf16Le(lines));
    }
}

TEST(ScanWindow, SecondScanEmptiesWhatTheFirstLoaded) {
    ScanFixture f;
    ASSERT_TRUE(f.Scan(FolderWithSlash(Fixture("corpus"))));
    ASSERT_FALSE(f.frame->m_engine.m_sysTables.empty());
    HTREEITEM table = f.Find({u"MYSQL database", Utf8(FolderWithSlash(Fixture("corpus"))).Str(), u"views_triggers",
                              u"Tables", u"products"});
    f.Click(table);
    ASSERT_GT(f.Records().rowCount(), 0);

    f.prompts.answers.push_back(PromptAnswer::No);
    const std::string second = FolderWithSlash(Fixture("sample/sample"));
    ASSERT_TRUE(f.Scan(second));
    EXPECT_TRUE(f.frame->m_engine.m_sysTables.empty());
    EXPECT_TRUE(f.frame->m_engine.m_sysIndexes.empty());
    EXPECT_FALSE(f.frame->m_engine.m_fileIbdata.IsOpen());
    EXPECT_FALSE(f.frame->m_engine.m_fileMyd.IsOpen());
    EXPECT_EQ(f.Records().rowCount(), 0);
    EXPECT_EQ(f.Records().columnCount(), 0);
    EXPECT_EQ(f.Children(f.Tree().GetRootItem()), std::vector<std::u16string>{Utf8(second).Str()});
    EXPECT_EQ(f.frame->Scan().m_databaseFolders.size(), 1u);
    // The pane starts again with the second scan.
    EXPECT_EQ(f.PaneRows().front(), u"Finding Database and tables");
}

// Clicks on a table, its Keys, a view, a trigger and a group item of the sample.
// Size, modification time and bytes of every file under folder.
std::map<std::string, std::string> FolderState(const fs::path& folder) {
    std::map<std::string, std::string> state;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        state[entry.path().string()] =
            std::to_string(entry.last_write_time().time_since_epoch().count()) + ":" + bytes;
    }
    return state;
}

TEST(ScanWindow, ClicksShowRowsKeysAndSqlText) {
    ScanFixture f;
    const std::string root = FolderWithSlash(Fixture("sample"));
    const auto before = FolderState(Fixture("sample"));
    ASSERT_TRUE(f.Scan(root));
    const std::u16string r = Utf8(root).Str();
    const auto expected = ReadTsvFile(fs::path(DRALVEK_FIXTURE_SOURCE) / "expected/sample/customers.tsv");

    f.prompts.Forget();
    f.Click(f.Find({u"MYSQL database", r, u"sample", u"Tables", u"customers"}));
    ASSERT_FALSE(expected.empty());
    const std::size_t rows = expected.size() - 1;
    EXPECT_EQ(f.Records().rowCount(), static_cast<int>(rows));
    EXPECT_EQ(f.Records().columnCount(), static_cast<int>(expected[0].size()));
    for (std::size_t c = 0; c < expected[0].size(); ++c)
        EXPECT_EQ(f.Records().headerData(static_cast<int>(c), Qt::Horizontal, Qt::DisplayRole).toString().toStdString(),
                  expected[0][c]);
    EXPECT_EQ(f.Records().Cell(0, 0).ToUtf8(), expected[1][0]);
    EXPECT_EQ(f.Caption(), u"customers[" + Utf8(std::to_string(rows)).Str() + u"]");
    EXPECT_TRUE(f.PaneHas(u"Please wait while customers folder is scanning."));
    EXPECT_EQ(f.PaneRows().back(), u"Scanning process completed.");
    EXPECT_TRUE(f.prompts.Messages().empty());
    EXPECT_EQ(f.app.m_bBusy.load(), 0);
    EXPECT_TRUE(f.Tree().isEnabled());

    // Keys: five columns, one row per table column.
    f.Click(f.Find({u"MYSQL database", r, u"sample", u"Tables", u"customers", u"Keys"}));
    EXPECT_EQ(f.Records().columnCount(), 5);
    EXPECT_EQ(f.Records().headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Column Name"));
    EXPECT_EQ(f.Records().rowCount(), static_cast<int>(expected[0].size()));
    EXPECT_EQ(f.Records().Cell(0, 0).ToUtf8(), expected[0][0]);
    EXPECT_EQ(f.Records().Cell(0, 4).Str(), u"Primary Key");
    EXPECT_EQ(f.Caption(), u"Keys[" + Utf8(std::to_string(expected[0].size())).Str() + u"]");

    // A view and a trigger: the text pane with the statement that recreates them.
    struct TextCase {
        std::vector<std::u16string> path;
        std::string needle;
    };
    const TextCase texts[] = {
        {{u"MYSQL database", r, u"sample", u"Views", u"customer_revenue"}, "VIEW `customer_revenue` AS"},
        {{u"MYSQL database", r, u"sample", u"Trigger", u"orders"}, "TRIGGER orders_total BEFORE INSERT ON orders"},
    };
    for (const TextCase& t : texts) {
        f.Click(f.Find(t.path));
        auto* panel = f.frame->m_pRecordsPanel;
        EXPECT_FALSE(panel->m_wndTextPane->isHidden());
        EXPECT_TRUE(panel->m_wndRecordList->isHidden());
        const std::string text = panel->m_wndTextPane->toPlainText().toStdString();
        EXPECT_NE(text.find(t.needle), std::string::npos) << text;
        EXPECT_EQ(f.Caption(), t.path.back());
    }

    // A group item shows nothing; paging has nothing to page.
    f.Click(f.Find({u"MYSQL database", r, u"sample", u"Tables"}));
    EXPECT_EQ(f.Records().rowCount(), 0);
    EXPECT_FALSE(f.frame->m_pRecordsPanel->m_btnNext->isEnabled());
    EXPECT_FALSE(f.frame->m_pRecordsPanel->m_btnPrevious->isEnabled());
    EXPECT_EQ(f.Caption(), u"Tables");
    EXPECT_TRUE(f.prompts.Messages().empty());
    // Scanning and showing never wrote a source file.
    EXPECT_TRUE(FolderState(Fixture("sample")) == before);
}

// Paging both ways on an InnoDB and a MyISAM table of more than one page.
TEST(ScanWindow, PagingBothWaysOnLargeTables) {
    struct Case {
        const char* database;
        const char* table;
        std::size_t rows;
    };
    const Case cases[] = {{"myisam_formats", "t_many_rows", 2500}, {"innodb_features", "t_many_rows", 20000}};
    ScanFixture f;
    const std::string root = FolderWithSlash(Fixture("corpus"));
    ASSERT_TRUE(f.Scan(root));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.database);
        const auto expected =
            ReadTsvFile(fs::path(DRALVEK_FIXTURE_SOURCE) / "expected" / c.database / (std::string(c.table) + ".tsv"));
        ASSERT_EQ(expected.size(), c.rows + 1);
        f.Click(f.Find({u"MYSQL database", Utf8(root).Str(), Utf8(c.database).Str(), u"Tables", Utf8(c.table).Str()}));
        auto* panel = f.frame->m_pRecordsPanel;
        EXPECT_EQ(f.Records().rowCount(), 1000);
        EXPECT_TRUE(panel->m_btnNext->isEnabled());
        EXPECT_FALSE(panel->m_btnPrevious->isEnabled());

        f.prompts.Forget();
        f.frame->OnNextRecords();
        EXPECT_EQ(f.Caption(), u"1000 rows to 2000");
        EXPECT_EQ(f.Records().Cell(0, 0).ToUtf8(), expected[1001][0]);
        EXPECT_EQ(f.Records().Cell(999, 0).ToUtf8(), expected[2000][0]);
        EXPECT_TRUE(panel->m_btnPrevious->isEnabled());
        f.frame->OnNextRecords();
        const std::size_t third = std::min<std::size_t>(c.rows, 3000);
        EXPECT_EQ(f.Caption(), u"2000 rows to " + Utf8(std::to_string(third)).Str());
        EXPECT_EQ(f.Records().Cell(0, 0).ToUtf8(), expected[2001][0]);
        EXPECT_EQ(f.prompts.Messages().size(), c.rows <= 3000 ? 1u : 0u);

        f.frame->OnPrevRecords();
        EXPECT_EQ(f.Caption(), u"1000 rows to 2000");
        EXPECT_EQ(f.Records().Cell(0, 0).ToUtf8(), expected[1001][0]);
        EXPECT_TRUE(panel->m_btnNext->isEnabled());
        f.frame->OnPrevRecords();
        EXPECT_EQ(f.Caption(), u"0 rows to 1000");
        EXPECT_EQ(f.Records().Cell(0, 0).ToUtf8(), expected[1][0]);
        EXPECT_FALSE(panel->m_btnPrevious->isEnabled());
        EXPECT_EQ(f.app.m_bBusy.load(), 0);
    }
}

// While a scan runs (its worker waits for the GUI thread the test holds), every command
// that would reach the tree, the engine or the records refuses.
TEST(ScanWindow, RefusalsWhileScanRuns) {
    ScanFixture f;
    const std::string root = FolderWithSlash(Fixture("sample"));
    ASSERT_TRUE(f.Scan(root));

    f.ScriptDialog(root);
    f.frame->OnOpenDatabase();
    ASSERT_TRUE(f.frame->WorkerRunning());
    ASSERT_EQ(f.app.m_bBusy.load(), 1);
    f.prompts.Forget();
    f.frame->OnOpenDatabase();
    f.frame->OnNextRecords();
    f.frame->OnPrevRecords();
    f.frame->OnAbout();
    f.frame->OnHelp();
    f.frame->OnClose();
    EXPECT_EQ(f.prompts.Messages(),
              (std::vector<std::u16string>{kWait, kWait, kWait, u"Please stop the running process to continue the process.",
                                           u"Please stop the running process to continue the process.",
                                           u"Please stop the running process to close the application."}));
    EXPECT_EQ(f.prompts.Count("dialog"), 0);
    ASSERT_TRUE(PumpUntil([&] { return !f.frame->WorkerRunning() && f.app.m_bBusy == 0; }, 20000));
}

// A click while busy gives the selection back to the item shown last and says why.
TEST(ScanWindow, ClickWhileBusyKeepsTheShownItem) {
    ScanFixture f;
    const std::string root = FolderWithSlash(Fixture("sample"));
    ASSERT_TRUE(f.Scan(root));
    HTREEITEM products = f.Find({u"MYSQL database", Utf8(root).Str(), u"sample", u"Tables", u"products"});
    HTREEITEM customers = f.Find({u"MYSQL database", Utf8(root).Str(), u"sample", u"Tables", u"customers"});
    f.Click(products);
    const int rows = f.Records().rowCount();
    const std::u16string caption = f.Caption();
    ASSERT_TRUE(f.StartPollingWorker());
    f.prompts.Forget();
    f.Click(customers);
    EXPECT_EQ(f.prompts.Messages(), std::vector<std::u16string>{kWait});
    EXPECT_EQ(f.Tree().GetSelectedItem(), products);
    EXPECT_EQ(f.Records().rowCount(), rows);
    EXPECT_EQ(f.Caption(), caption);
    f.release = true;
    f.WaitForWorkerEnd();
}

// Stop asked before the walk's first entry: the walk ends, no dictionary, no completion
// box, and the stop stands in the pane and the log.
TEST(ScanWindow, StopDuringScan) {
    ScanFixture f;
    const std::string root = FolderWithSlash(Fixture("corpus"));
    f.ScriptDialog(root);
    f.frame->OnOpenDatabase();
    ASSERT_TRUE(f.frame->WorkerRunning());
    f.prompts.answers.push_back(PromptAnswer::Yes);
    f.frame->OnStop();
    ASSERT_TRUE(PumpUntil([&] { return !f.frame->WorkerRunning() && f.app.m_bBusy == 0; }, 20000));
    EXPECT_TRUE(f.frame->m_engine.m_sysTables.empty());
    const auto messages = f.prompts.Messages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), kCompleted), 0);
    const std::u16string stopped = u"Scanning stopped: the tree holds only what was found before the stop.";
    EXPECT_TRUE(f.PaneHas(stopped));
    EXPECT_FALSE(f.PaneHas(u"Processing ibdata1 File"));
    EXPECT_NE(f.LogBytes().find(Utf16Le(stopped + u"\r\n")), std::string::npos);
    EXPECT_LT(f.frame->Scan().m_tables.size(), ScanDataFolder(Utf8(root)).m_tables.size());
    // The window works again: a new scan runs to its end.
    ASSERT_TRUE(f.Scan(root));
    EXPECT_FALSE(f.frame->m_engine.m_sysTables.empty());
}

// The folder settings: each folder an existing directory, the log folder writable,
// stored absolute with a trailing separator, the command line's folder proposed.
TEST(ScanWindow, FolderSettingsChecksAndStoresAbsolutePaths) {
    FrameFixture f;
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString();
    fs::create_directories(base + "/data");
    std::ofstream(base + "/file.txt") << "x";
    struct Case {
        const char* name;
        std::string database, temp, log;
        std::u16string message;  // empty: accepted
    };
    const Case cases[] = {
        {"empty data folder", "", base, base, kInvalidDatabaseFolder},
        {"data folder is a file", base + "/file.txt", base, base, kInvalidDatabaseFolder},
        {"missing data folder", base + "/none", base, base, kInvalidDatabaseFolder},
        {"temporary folder is a file", base + "/data", base + "/file.txt", base, kInvalidTempFolder},
        {"log folder is a file", base + "/data", base, base + "/file.txt", kInvalidLogFolder},
        {"log folder missing", base + "/data", base, base + "/none", kInvalidLogFolder},
        {"all directories", base + "/data", base, base + "/data/", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        f.prompts.Forget();
        f.app.m_strDatabaseFolder.Empty();
        CDralvekFileSettingDlg dialog(f.app, CString());
        dialog.m_editDatabase->setText(QString::fromStdString(c.database));
        dialog.m_editTemp->setText(QString::fromStdString(c.temp));
        dialog.m_editLog->setText(QString::fromStdString(c.log));
        EXPECT_EQ(dialog.OnBnClickedOk(), c.message.empty());
        if (c.message.empty()) {
            EXPECT_TRUE(f.prompts.Messages().empty());
            EXPECT_EQ(f.app.m_strDatabaseFolder.ToUtf8(), base + "/data/");
            EXPECT_EQ(f.app.m_strLogFolder.ToUtf8(), base + "/data/");
        } else {
            EXPECT_EQ(f.prompts.Messages(), std::vector<std::u16string>{c.message});
            EXPECT_TRUE(f.app.m_strDatabaseFolder.IsEmpty());
        }
    }

    // A relative path is stored absolute; the proposed folder fills the data edit.
    const fs::path previous = fs::current_path();
    fs::current_path(base);
    CDralvekFileSettingDlg relative(f.app, u"data");
    EXPECT_EQ(relative.m_editDatabase->text(), QStringLiteral("data"));
    relative.m_editLog->setText(QStringLiteral("."));
    EXPECT_TRUE(relative.OnBnClickedOk());
    fs::current_path(previous);
    EXPECT_EQ(f.app.m_strDatabaseFolder.ToUtf8(), base + "/data/");
    EXPECT_EQ(f.app.m_strLogFolder.ToUtf8(), base + "/");

    // Enter and Escape neither press OK nor close the dialog; the link opens the page.
    {
        f.prompts.Forget();
        f.app.m_strDatabaseFolder.Empty();
        CDralvekFileSettingDlg keys(f.app, Utf8(base + "/data"));
        keys.show();
        for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QCoreApplication::sendEvent(&keys, &press);
        }
        EXPECT_TRUE(keys.isVisible());
        EXPECT_TRUE(f.app.m_strDatabaseFolder.IsEmpty());
        EXPECT_TRUE(f.prompts.asked.empty());
        auto* link = keys.findChild<QPushButton*>(QStringLiteral("productLink"));
        ASSERT_NE(link, nullptr);
        link->click();
        EXPECT_EQ(f.prompts.Count("open"), 1);
    }

    // Cancel changes nothing: no scan, no busy.
    f.prompts.onDialog = [](QDialog&) { return QDialog::Rejected; };
    f.frame->OnOpenDatabase();
    EXPECT_FALSE(f.frame->WorkerRunning());
    EXPECT_EQ(f.app.m_bBusy.load(), 0);
}

// A log folder that is gone when the scan starts: said in the pane, the scan goes on.
TEST(ScanWindow, LogFileThatCannotBeCreatedLogsToThePane) {
    ScanFixture f;
    f.afterOk = [&f] { f.logs.remove(); };
    ASSERT_TRUE(f.Scan(FolderWithSlash(Fixture("sample"))));
    EXPECT_FALSE(f.frame->ScanLog().IsOpen());
    const auto rows = f.PaneRows();
    ASSERT_FALSE(rows.empty());
    EXPECT_NE(rows.front().find(u"The scan log file cannot be created"), std::u16string::npos);
    EXPECT_TRUE(f.PaneHas(u"scanning completed."));
    EXPECT_FALSE(f.Children(f.Tree().GetRootItem()).empty());
}

// What the scan cannot examine and what a read loses stand in the log pane and the log
// file, with the file and the reason; item data 0 is no object.
TEST(ScanWindow, ProblemsAndLossesReachTheLog) {
    ScanFixture f;
    QTemporaryDir data;
    const fs::path db = fs::path(data.path().toStdString()) / "db1";
    fs::create_directories(db);
    for (const char* ext : {".frm", ".MYI", ".MYD"})
        fs::copy_file(Fixture(std::string("sample/sample/products") + ext), db / (std::string("products") + ext));
    fs::resize_file(db / "products.MYD", fs::file_size(db / "products.MYD") / 2);
    fs::create_symlink("/nonexistent", db / "bad.frm");
    const std::string root = FolderWithSlash(data.path().toStdString());
    f.prompts.answers.push_back(PromptAnswer::No);
    ASSERT_TRUE(f.Scan(root));

    auto paneHolding = [&f](const std::u16string& a, const std::u16string& b) {
        for (const std::u16string& row : f.PaneRows())
            if (row.find(a) != std::u16string::npos && row.find(b) != std::u16string::npos) return true;
        return false;
    };
    EXPECT_TRUE(paneHolding(u"bad.frm", u"No such file or directory"));
    EXPECT_NE(f.LogBytes().find(Utf16Le(u"bad.frm")), std::string::npos);
    // The progress bar counted the one database folder.
    EXPECT_EQ(f.frame->m_wndStatusBar->m_wndProgress->maximum(), 1);

    HTREEITEM products = f.Find({u"MYSQL database", Utf8(root).Str(), u"db1", u"Tables", u"products"});
    f.Click(products);
    EXPECT_TRUE(paneHolding(u"products.MYD", u"lost"));
    EXPECT_TRUE(paneHolding(u"products.MYD", u"were not found"));
    EXPECT_NE(f.LogBytes().find(Utf16Le(u"were not found")), std::string::npos);

    // Item data 0: nothing is read, the list is empty.
    f.Tree().SetItemData(products, 0);
    f.Click(products);
    EXPECT_EQ(f.Records().columnCount(), 0);
    EXPECT_EQ(f.Records().rowCount(), 0);
}

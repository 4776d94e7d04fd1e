#include <filesystem>
#include <fstream>
#include <map>

#include <QLineEdit>

#include "app/FileSettingDlg.h"
#include "app/RecordsPanel.h"
#include "app/SaveOptionsDlg.h"
#include "controls/CheckTreeCtrl.h"
#include "WindowTestSupport.h"

namespace {

namespace fs = std::filesystem;

// Opens folder through the folder-settings dialog and waits for the scan's end, as a user
// does before saving.
bool OpenAndScan(FrameFixture& f, const QTemporaryDir& logs, const std::string& folder) {
    f.prompts.onDialog = [&logs, folder](QDialog& dialog) {
        auto& settings = dynamic_cast<CDralvekFileSettingDlg&>(dialog);
        settings.m_editDatabase->setText(QString::fromStdString(folder));
        settings.m_editLog->setText(logs.path());
        return settings.OnBnClickedOk() ? QDialog::Accepted : QDialog::Rejected;
    };
    f.frame->OnOpenDatabase();
    return PumpUntil([&f] { return !f.frame->WorkerRunning() && f.app.m_bBusy == 0; }, 20000);
}

// The database item whose text is text: the one with a "Tables" child.
HTREEITEM DatabaseItem(FrameFixture& f, const std::u16string& text) {
    CCheckTreeCtrl& tree = *f.frame->m_pTree;
    for (HTREEITEM item = tree.GetRootItem(); item; item = tree.GetNextTreeItem(item)) {
        if (tree.GetItemText(item).Str() != text) continue;
        for (HTREEITEM child = tree.GetChildItem(item); child; child = tree.GetNextSiblingItem(child))
            if (tree.GetItemText(child).Str() == u"Tables") return item;
    }
    return nullptr;
}

// Answers the save-options dialog with script mode into folder (empty: Cancel).
void AnswerScript(FrameFixture& f, const QString& folder) {
    f.prompts.onDialog = [folder](QDialog& dialog) {
        auto& options = static_cast<savedlgoption&>(dialog);
        if (folder.isEmpty()) return static_cast<int>(QDialog::Rejected);
        options.OnSaveAsScript();
        options.m_editFolder->setText(folder);
        options.OnBnClickedOk();
        return options.result();
    };
}

TEST(SaveCommand, ACheckedDatabaseIsSavedAsAScriptOnTheWorkerWithTheWindowLeftInDisplayMode) {
    FrameFixture f;
    QTemporaryDir out, logs;
    ASSERT_TRUE(OpenAndScan(f, logs, std::string(DRALVEK_FIXTURES) + "/sample"));
    // The database item: its objects are checked with it.
    HTREEITEM database = DatabaseItem(f, u"sample");
    ASSERT_NE(database, nullptr);
    f.frame->m_pTree->SetCheck(database, TRUE);
    f.prompts.Forget();
    AnswerScript(f, out.path());

    f.frame->OnSaveData();
    EXPECT_TRUE(f.frame->WorkerRunning() || fs::exists(out.path().toStdString() + "/sample.sql"));
    // While it runs every command refuses and the window's mode stays display.
    EXPECT_EQ(f.app.WindowReadContext().mode, ValueMode::Display);
    f.WaitForWorkerEnd();
    EXPECT_EQ(f.app.m_bBusy, 0);
    EXPECT_EQ(f.app.m_bSaveAsScript, 0);
    EXPECT_EQ(f.app.m_bSaveToServer, 0);

    std::ifstream script(out.path().toStdString() + "/sample.sql");
    const std::string text((std::istreambuf_iterator<char>(script)), {});
    EXPECT_NE(text.find("CREATE TABLE `customers`"), std::string::npos);
    EXPECT_NE(text.find("INSERT INTO `orders`"), std::string::npos);
    EXPECT_NE(text.find("EXECUTE IMMEDIATE"), std::string::npos) << "the view and the triggers";
    EXPECT_FALSE(fs::exists(out.path().toStdString() + "/blobdata"));
    const auto messages = f.prompts.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().rfind(u"Saving completed: everything selected was saved.", 0), 0u)
        << ToQString(CString(messages.back())).toStdString();
    // The log names each table with its rows.
    bool logged = false;
    for (int r = 0; r < f.frame->m_pLogList->m_model.rowCount(); ++r)
        logged |= f.frame->m_pLogList->m_model.Row(r) == QStringLiteral("Saved table sample.customers: 5 rows");
    EXPECT_TRUE(logged);
}

TEST(SaveCommand, CancellingTheDialogSavesNothingAndChangesNoMode) {
    FrameFixture f;
    QTemporaryDir logs;
    ASSERT_TRUE(OpenAndScan(f, logs, std::string(DRALVEK_FIXTURES) + "/sample"));
    HTREEITEM database = DatabaseItem(f, u"sample");
    ASSERT_NE(database, nullptr);
    f.frame->m_pTree->SetCheck(database, TRUE);
    f.prompts.Forget();
    AnswerScript(f, QString());
    f.frame->OnSaveData();
    EXPECT_EQ(f.prompts.Count("dialog"), 1);
    EXPECT_TRUE(f.prompts.Messages().empty());
    EXPECT_FALSE(f.frame->WorkerRunning());
    EXPECT_EQ(f.app.m_bSaveAsScript, 0);
    EXPECT_EQ(f.app.WindowReadContext().mode, ValueMode::Display);
}

}  // namespace

#include <filesystem>
#include <fstream>
#include <map>

#include <QLineEdit>

#include "app/RecordsPanel.h"
#include "app/SaveOptionsDlg.h"
#include "controls/CheckTreeCtrl.h"
#include "WindowTestSupport.h"

namespace {

namespace fs = std::filesystem;

// Fills the frame's tree from a scan of folder as the scan builds it, and keeps the scan's
// lists in the frame; returns the tree items by their scan index.
std::vector<HTREEITEM> ShowScan(FrameFixture& f, const std::string& folder) {
    f.frame->m_scanResult = ScanDataFolder(CString::FromUtf8(folder));
    const ScanResult& scan = f.frame->m_scanResult;
    std::vector<HTREEITEM> items(scan.tree.size(), nullptr);
    for (std::size_t i = 0; i < scan.tree.size(); ++i) {
        const ScanTreeItem& it = scan.tree[i];
        HTREEITEM parent = it.parent < 0 ? TVI_ROOT : items[static_cast<std::size_t>(it.parent)];
        items[i] = f.frame->m_pTree->InsertItemText(it.text.GetString(), it.image, it.image, parent);
        f.frame->m_pTree->SetItemData(items[i], it.data);
    }
    return items;
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
    QTemporaryDir out;
    const auto items = ShowScan(f, std::string(DRALVEK_FIXTURES) + "/sample");
    // The database item: its objects are checked with it.
    std::size_t database = 0;
    for (std::size_t i = 0; i < f.frame->m_scanResult.tree.size(); ++i)
        if (f.frame->m_scanResult.tree[i].depth == 1) database = i;
    f.frame->m_pTree->SetCheck(items[database], TRUE);
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
    const auto items = ShowScan(f, std::string(DRALVEK_FIXTURES) + "/sample");
    f.frame->m_pTree->SetCheck(items.back(), TRUE);
    AnswerScript(f, QString());
    f.frame->OnSaveData();
    EXPECT_FALSE(f.frame->WorkerRunning());
    EXPECT_EQ(f.app.m_bSaveAsScript, 0);
    EXPECT_EQ(f.app.WindowReadContext().mode, ValueMode::Display);
}

}  // namespace

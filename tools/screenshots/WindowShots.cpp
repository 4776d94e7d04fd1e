// Writes pictures of the main window in each look and of the About box.
//
//   window-shots OUTDIR [DATADIR DATABASE TABLE]
//
// With a table given the records panel shows its first page, so the list is seen filled.
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include "app/AboutDlg.h"
#include "app/DralvekOstruneApp.h"
#include "app/FileSettingDlg.h"
#include "app/MainFrame.h"
#include "app/RecordsPanel.h"
#include "controls/CheckTreeCtrl.h"
#include "platform/ui/ProfileStore.h"
#include "platform/ui/Prompts.h"
#include "platform/ui/QtText.h"
#include "tools/common/UnattendedPrompts.h"

namespace {

void Settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Save(QWidget& widget, const QString& path) {
    Settle();
    const bool ok = widget.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

// The item reached from the top item by following texts.
HTREEITEM FindItem(CCheckTreeCtrl& tree, const std::vector<CString>& texts) {
    HTREEITEM item = tree.GetRootItem();
    for (std::size_t i = 0; i < texts.size() && item; ++i) {
        if (i > 0) item = tree.GetChildItem(item);
        while (item && tree.GetItemText(item) != texts[i]) item = tree.GetNextSiblingItem(item);
    }
    return item;
}

// Scans dataFolder through the Open command and shows the scanned tree, then the table,
// the first view and the first trigger of the database.
bool ScanShots(CMainFrame& frame, const QString& out, const QString& dataFolder, const CString& database,
               const CString& table) {
    QTemporaryDir logs;
    QString folder = QDir(dataFolder).absolutePath();
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    // The folder settings are pictured as filled in, just before they are accepted.
    const QString settingsShot = out + QStringLiteral("/folder-settings.png");
    CUnattendedPrompts prompts(folder, logs.path(), [&settingsShot](CDralvekFileSettingDlg& settings) {
        settings.show();
        Save(settings, settingsShot);
        settings.hide();
    });
    SetPrompts(&prompts);
    frame.OnOpenDatabase();
    while (frame.WorkerRunning() || frame.m_app.m_bBusy != 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    CCheckTreeCtrl& tree = *frame.m_pTree;
    const CString top = u"MYSQL database";
    const CString scanned = FromQString(folder);
    if (HTREEITEM db = FindItem(tree, {top, scanned, database})) tree.ExpandBranch(db);
    bool ok = Save(frame, out + QStringLiteral("/scan-tree.png"));
    struct Shot {
        std::vector<CString> path;
        const char* file;
    };
    std::vector<Shot> shots = {{{top, scanned, database, u"Tables", table}, "shown-table.png"}};
    if (HTREEITEM views = FindItem(tree, {top, scanned, database, u"Views"}))
        shots.push_back({{top, scanned, database, u"Views", tree.GetItemText(tree.GetChildItem(views))}, "shown-view.png"});
    if (HTREEITEM triggers = FindItem(tree, {top, scanned, database, u"Trigger"}))
        shots.push_back(
            {{top, scanned, database, u"Trigger", tree.GetItemText(tree.GetChildItem(triggers))}, "shown-trigger.png"});
    for (const Shot& shot : shots) {
        HTREEITEM item = FindItem(tree, shot.path);
        if (!item) {
            std::printf("no item for %s\n", shot.file);
            ok = false;
            continue;
        }
        tree.SelectItem(item);
        frame.OnTreeItemClicked(reinterpret_cast<std::uintptr_t>(item));
        ok &= Save(frame, out + QLatin1Char('/') + QLatin1String(shot.file));
    }
    SetPrompts(nullptr);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 5) {
        std::fprintf(stderr, "usage: window-shots OUTDIR [DATADIR DATABASE TABLE]\n");
        return 2;
    }
    CDralvekOstruneApp app;
    QApplication qtApp(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QTemporaryDir profileRoot;
    CProfileStore::SetRootFolder(profileRoot.path());
    CProfileStore profile(u"DralvekMySqlReVuvUrevve22.08", u"shots");

    CMainFrame frame(app, &profile);
    if (!frame.OnCreate(false)) return 1;
    frame.setWindowState(Qt::WindowNoState);
    frame.resize(1280, 800);
    frame.show();
    Settle();

    for (int i = 0; i < 6; ++i) frame.AddLogLine(CString(u"log line number ") + CString(static_cast<char16_t>(u'1' + i)));
    bool ok = true;
    ok &= Save(frame, out + QStringLiteral("/main-start.png"));

    // A tree as a scan of the sample leaves it, so the pane is seen filled.
    CCheckTreeCtrl& tree = *frame.m_pTree;
    HTREEITEM root = tree.InsertItemText(u"MYSQL database", 0, 0, TVI_ROOT);
    HTREEITEM db = tree.InsertItemText(u"sample", 0, 0, root);
    HTREEITEM tables = tree.InsertItemText(u"Tables", 0, 0, db);
    for (const char16_t* name : {u"customers", u"orders", u"products"}) {
        HTREEITEM table = tree.InsertItemText(name, 0, 0, tables);
        tree.InsertItemText(u"Keys", 0, 0, table);
    }
    tree.InsertItemText(u"customer_revenue", 0, 0, tree.InsertItemText(u"Views", 0, 0, db));
    tree.InsertItemText(u"orders_total", 0, 0, tree.InsertItemText(u"Trigger", 0, 0, db));
    tree.ExpandBranch(root);
    tree.SetCheck(tables, TRUE);

    if (argc == 5) {
        const CString folder = CString::FromUtf8(argv[2]) + u"/" + CString::FromUtf8(argv[3]);
        const CString table = CString::FromUtf8(argv[4]);
        const BrowserEffects shown =
            frame.m_browser.ShowTable(folder + u"/" + table, table, CString::FromUtf8(argv[3]) + u"/" + table);
        frame.m_pRecordsPanel->m_recordModel.Fill(frame.m_engine.m_columns, frame.m_engine.m_rows);
        frame.m_pRecordsPanel->ShowRecordList();
        frame.m_pRecordsPanel->m_btnPrevious->setEnabled(shown.previous != ButtonState::Disabled);
        frame.m_pRecordsPanel->m_btnNext->setEnabled(shown.next != ButtonState::Disabled);
        frame.m_pRecordsPanel->SetStatusText(shown.caption);
        frame.SetCaptionText(shown.caption);
    }
    for (int look = 210; look <= 218; ++look) {
        frame.OnApplicationLook(look);
        ok &= Save(frame, out + QStringLiteral("/main-look-%1.png").arg(look));
    }
    frame.OnApplicationLook(215);
    if (argc == 5)
        ok &= ScanShots(frame, out, QString::fromLocal8Bit(argv[2]), CString::FromUtf8(argv[3]), CString::FromUtf8(argv[4]));

    CDralvekAboutDlg& about = TheAboutDialog();
    about.show();
    ok &= Save(about, out + QStringLiteral("/about.png"));
    about.m_btnOK->click();
    DestroyGlobalDialogs();
    return ok ? 0 : 1;
}

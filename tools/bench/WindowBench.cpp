// The window's figures: start to the main window shown, and refilling the record list.
//
//   window-bench [--runs N] [--scan DATADIR] [--click DATADIR DATABASE TABLE]
//
// "start" runs the program's start-up (application object with its collation table, Qt,
// profile, frame and panes) up to the frame exposed and painted, once per process: run the
// program several times for several figures. "refill" fills the record list with a page of
// 1000 rows of 20, 1000 and 4096 columns and paints the view, median of N runs. "scan"
// runs the Open command on DATADIR (folder settings answered, no ibdata1 question asked
// again) up to the filled tree with the busy flag clear. "click" scans DATADIR once, then
// clicks DATABASE's table TABLE up to its first page in the list, painted.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>
#include <QWindow>

#include "app/DralvekOstruneApp.h"
#include "app/FileSettingDlg.h"
#include "controls/CheckTreeCtrl.h"
#include "platform/ui/Prompts.h"
#include "platform/ui/QtText.h"
#include "app/MainFrame.h"
#include "app/RecordsPanel.h"
#include "platform/ui/ProfileStore.h"
#include "tools/common/UnattendedPrompts.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

TablePage MakePage(std::size_t rows, std::size_t columns) {
    TablePage page;
    TableRow row(columns);
    for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < columns; ++c) {
            CString text;
            text.Format(u"%d-%d value", static_cast<int>(r), static_cast<int>(c));
            row[c].m_strValue = text;
        }
        page.push_back(row);
    }
    return page;
}

void ScanToFilledTree(CMainFrame& frame) {
    frame.OnOpenDatabase();
    while (frame.WorkerRunning() || frame.m_app.m_bBusy != 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    (void)frame.m_pTree->viewport()->grab();
}

HTREEITEM FindChild(CCheckTreeCtrl& tree, HTREEITEM parent, const CString& text) {
    for (HTREEITEM item = parent ? tree.GetChildItem(parent) : tree.GetRootItem(); item; item = tree.GetNextSiblingItem(item))
        if (tree.GetItemText(item) == text) return item;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    const Clock::time_point start = Clock::now();
    int runs = 15;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));

    CDralvekOstruneApp app;
    QApplication qtApp(argc, argv);
    QTemporaryDir profileRoot;
    CProfileStore::SetRootFolder(profileRoot.path());
    CProfileStore profile(u"DralvekMySqlReVuvUrevve22.08", u"bench");
    CMainFrame frame(app, &profile);
    if (!frame.OnCreate(false)) return 1;
    // As start-up does: the whole screen even where no window manager maximises.
    if (QScreen* screen = QGuiApplication::primaryScreen()) frame.setGeometry(screen->availableGeometry());
    frame.show();
    while (!frame.windowHandle() || !frame.windowHandle()->isExposed()) QCoreApplication::processEvents();
    frame.repaint();
    QCoreApplication::processEvents();
    const double startMs = Ms(Clock::now() - start);
    std::printf("start to main window shown: %.1f ms (target <= 1000)\n", startMs);

    CDralvekStatic& panel = *frame.m_pRecordsPanel;
    panel.ShowRecordList();
    struct Case {
        std::size_t columns;
        double target;
    };
    for (const Case c : {Case{20, 30}, Case{1000, 300}, Case{4096, 0}}) {
        std::vector<ColumnInfo> columns(c.columns);
        for (std::size_t i = 0; i < c.columns; ++i) columns[i].m_strName.Format(u"column_%d", static_cast<int>(i));
        // Two pages, so each fill replaces different texts.
        const TablePage pages[2] = {MakePage(1000, c.columns), MakePage(1000, c.columns)};
        std::vector<double> times;
        for (int r = 0; r < runs; ++r) {
            const Clock::time_point t0 = Clock::now();
            panel.m_recordModel.Fill(columns, pages[r % 2]);
            // Drawn into a picture: the cells in view are painted whatever the platform defers.
            (void)panel.m_wndRecordList->viewport()->grab();
            QCoreApplication::processEvents();
            times.push_back(Ms(Clock::now() - t0));
        }
        std::printf("refill 1000 rows x %zu columns: median %.2f ms, max %.2f ms over %d runs", c.columns, Median(times),
                    *std::max_element(times.begin(), times.end()), runs);
        if (c.target > 0) std::printf(" (target <= %.0f)", c.target);
        std::printf("\n");
    }

    for (int i = 1; i < argc; ++i) {
        const bool scan = std::strcmp(argv[i], "--scan") == 0 && i + 1 < argc;
        const bool click = std::strcmp(argv[i], "--click") == 0 && i + 3 < argc;
        if (!scan && !click) continue;
        QTemporaryDir logs;
        QString folder = QDir(QString::fromLocal8Bit(argv[i + 1])).absolutePath() + QLatin1Char('/');
        CUnattendedPrompts prompts(folder, logs.path());
        SetPrompts(&prompts);
        if (scan) {
            std::vector<double> times;
            for (int r = 0; r < std::min(runs, 5); ++r) {
                const Clock::time_point t0 = Clock::now();
                ScanToFilledTree(frame);
                times.push_back(Ms(Clock::now() - t0));
            }
            std::printf("scan to filled tree (%u items, %zu tables): median %.1f ms, max %.1f ms (target <= 2000)\n",
                        frame.m_pTree->GetCount(), frame.Scan().m_tables.size(), Median(times),
                        *std::max_element(times.begin(), times.end()));
        } else {
            ScanToFilledTree(frame);
            CCheckTreeCtrl& tree = *frame.m_pTree;
            HTREEITEM item = FindChild(tree, nullptr, u"MYSQL database");
            item = item ? tree.GetChildItem(item) : nullptr;
            item = item ? FindChild(tree, item, CString::FromUtf8(argv[i + 2])) : nullptr;
            item = item ? FindChild(tree, item, u"Tables") : nullptr;
            item = item ? FindChild(tree, item, CString::FromUtf8(argv[i + 3])) : nullptr;
            if (!item) {
                std::fprintf(stderr, "window-bench: no table %s/%s in the tree\n", argv[i + 2], argv[i + 3]);
                return 1;
            }
            std::vector<double> times;
            for (int r = 0; r < runs; ++r) {
                const Clock::time_point t0 = Clock::now();
                frame.OnTreeItemClicked(reinterpret_cast<std::uintptr_t>(item));
                (void)panel.m_wndRecordList->viewport()->grab();
                QCoreApplication::processEvents();
                times.push_back(Ms(Clock::now() - t0));
            }
            std::printf("click on %s (%d columns, %d rows shown): median %.2f ms, max %.2f ms over %d runs (target <= 50)\n",
                        argv[i + 3], panel.m_recordModel.columnCount(), panel.m_recordModel.rowCount(), Median(times),
                        *std::max_element(times.begin(), times.end()), runs);
        }
        SetPrompts(nullptr);
    }
    return 0;
}

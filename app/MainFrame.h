#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QAbstractListModel>
#include <QDockWidget>
#include <QFrame>
#include <QListView>
#include <QMainWindow>
#include <QStatusBar>

#include "app/DataFolderScan.h"
#include "app/ScanLog.h"
#include "app/TableBrowser.h"
#include "app/WorkerThread.h"
#include "engine/TableEngine.h"
#include "platform/core/CString.h"
#include "platform/ui/ImageList.h"
#include "platform/ui/Wnd.h"

class CDralvekOstruneApp;
class CDralvekStatic;
class CProfileStore;
class QLabel;
class QProgressBar;
class QToolButton;
class CCheckTreeCtrl;
class QTreeWidgetItem;

// The ribbon: the application button, the one category's tab and its two groups of
// large buttons.
class CRibbonBar : public QFrame {
public:
    explicit CRibbonBar(QWidget* parent);

    QToolButton* AddButton(int groupIndex, int id, const CString& label, int image, const CString& toolTip);
    QToolButton* Button(int id) const;
    QLabel* CategoryTab() const { return m_category; }
    std::vector<QLabel*> GroupCaptions() const { return m_groupCaptions; }

private:
    QLabel* m_category = nullptr;
    std::vector<QWidget*> m_groups;
    std::vector<QLabel*> m_groupCaptions;
    std::vector<std::pair<int, QToolButton*>> m_buttons;
    friend class CMainFrame;
};

// The one-line status message under the ribbon; it has no close button.
class CMyCaptionBar : public QFrame {
public:
    explicit CMyCaptionBar(QWidget* parent);
    void SetText(const CString& text);
    CString Text() const;
    QLabel* m_label = nullptr;
    QLabel* m_image = nullptr;
};

// The status bar: the product link at the left, the busy indicator placed by hand in the
// middle, the title pane at the right.
class CRibbonStatusBarCls : public QStatusBar {
public:
    explicit CRibbonStatusBarCls(QWidget* parent);

    static constexpr int kProgressX = 250;
    static constexpr int kProgressY = 3;
    static constexpr int kProgressHeight = 17;
    // Room kept free beside the indicator: the link at the left, the title at the right.
    static constexpr int kProgressReserved = 560;

    QProgressBar* m_wndProgress = nullptr;
    QLabel* m_link = nullptr;
    QLabel* m_title = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};

// The rows of the log pane.
class CLogListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;
    void InsertRow(int index, const QString& text);
    void Clear();
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    const QString& Row(int index) const { return m_rows[static_cast<std::size_t>(index)]; }

private:
    std::vector<QString> m_rows;
};

// The log list: one column, no header, no context menu.
class CDralvekListCtrl : public QListView {
public:
    explicit CDralvekListCtrl(QWidget* parent);
    CLogListModel m_model;
};

class COutputWnd : public QDockWidget {
public:
    explicit COutputWnd(QWidget* parent);
    CDralvekListCtrl* m_wndLogList = nullptr;
};

// The tree pane: the check-box tree of the database objects, inset by one pixel.
class CFileView : public QDockWidget {
public:
    explicit CFileView(QWidget* parent);
    CCheckTreeCtrl* m_wndTree = nullptr;
    CImageList m_TreeImages;
    int TreeItemCount() const;
    int TreeCheckedCount() const;
};

// The middle of the frame, filled by the records panel.
class CDralvekOstruneView : public QWidget {
public:
    explicit CDralvekOstruneView(QWidget* parent);
    CDralvekStatic* m_wndRecordsPanel = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
};

class CMainFrame : public QMainWindow, public CWnd {
public:
    // profile: where the look is kept; may be null (the default look, nothing stored).
    CMainFrame(CDralvekOstruneApp& app, CProfileStore* profile);
    ~CMainFrame() override;

    // Builds the ribbon, bars and panes and writes the first log row; false when a part of
    // the window could not be made. showSplash: the splash window first.
    bool OnCreate(bool showSplash);

    // Commands of the ribbon.
    void OnOpenDatabase();
    void OnStop();
    void OnSaveData();
    void OnScanRecords();
    void OnHelp();
    void OnAbout();
    void OnApplicationLook(int id);
    // The window's close box, Alt+F4 and the window manager's close all come here.
    void OnClose();
    // The end the user does not answer for: a signal or the desktop session ending. The
    // same way out as OnClose, without questions, once a running worker has ended.
    void CloseFromSystem();

    // A click on a tree item's label, and the paging buttons.
    void OnTreeItemClicked(std::uintptr_t item);
    void OnPrevRecords();
    void OnNextRecords();

    // The private messages: tree clicks and the end of the tree's items, the paging buttons.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The offered messages that have no sender in the program.
    void OnAddLogLine(const char* ansiText);
    void OnSetProgressRange(int lower, int upper);
    void OnSetProgressPos(int position);
    void OnSetSqlText(const char* ansiText);
    void OnShowErrorMessage(const CString& text);

    // The one-line status under the ribbon.
    void SetCaptionText(const CString& text);
    // A log line: a row of the log pane and a line of the scan log when it is open. Safe
    // from any thread: the line is written on the GUI thread, whole.
    void AddLogLine(const CString& text);

    // Runs job on the worker thread with the busy flag held until it has ended; false when
    // busy. The job polls StopRequested() at each folder or file.
    bool StartWorker(std::function<void()> job);
    bool StopRequested() const { return m_worker.StopRequested(); }
    bool WorkerRunning() const { return m_worker.IsRunning(); }
    // Enables Stop exactly while busy.
    void OnUpdateStop();

    // What the last scan found (the tree's items index its lists); GUI thread only.
    const ScanResult& Scan() const { return m_scan; }
    // The open scan log; not open before a scan or when it could not be created.
    const CScanLog& ScanLog() const { return m_scanLog; }

    // A data folder given on the command line: Open starts with it proposed.
    void SetProposedFolder(const CString& folder) { m_strProposedFolder = folder; }

    // Where the bundled help page lies.
    static CString HelpPagePath();

    CDralvekOstruneApp& m_app;
    CProfileStore* m_profile;

    CRibbonBar* m_wndRibbonBar = nullptr;
    CMyCaptionBar* m_wndCaptionBar = nullptr;
    CRibbonStatusBarCls* m_wndStatusBar = nullptr;
    CFileView* m_pFileView = nullptr;
    COutputWnd* m_pOutputWnd = nullptr;
    CDralvekOstruneView* m_pView = nullptr;
    CDralvekStatic* m_pRecordsPanel = nullptr;
    CDralvekListCtrl* m_pLogList = nullptr;
    CCheckTreeCtrl* m_pTree = nullptr;

    CTableEngine m_engine;
    CTableBrowser m_browser{m_engine};
    CString m_strSelectedPath;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void InitRibbon();
    bool CreateCaptionBar();
    bool CreateDockingWindows();
    // Shows an information box captioned with the product.
    void Inform(const CString& text);
    void ApplyBrowserEffects(const BrowserEffects& effects);
    // The part of closing after the question: close the files, say where the log is, end.
    void FinishClose(bool interactive);
    void OnWorkerEnded();
    // Where Open hands over to the scan with the folder to propose.
    void BeginOpen(const CString& proposedFolder);
    void InsertLogRow(const CString& text);
    // A line of the scan log file alone (not the pane).
    void WriteLogFileLine(const CString& text);
    // Empties what the previous scan left: log pane, tree, record list, open files and
    // the dictionary.
    void ResetScanState();
    // On the worker: walks the folder, hands the tree over, loads the dictionary.
    void RunScan(CString root);
    // On the GUI thread: the tree of scan, built in one go; scan becomes m_scan.
    void BuildScanTree(ScanResult&& scan);
    // On the GUI thread once the scan's worker has ended, before the busy flag goes.
    void FinishScan();
    // The record list emptied for an item that shows nothing.
    void ShowNothing(const CString& caption);
    // The checked object items of the tree with their parents' data.
    std::vector<struct CheckedTreeItem> CheckedTreeItems() const;

    CWorkerThread m_worker;
    CString m_strProposedFolder;
    // 0: no close waits; 1: the user's close waits for the worker; 2: the system's.
    int m_nClosePending = 0;
    bool m_bLogWriteFailed = false;

    ScanResult m_scan;
    CScanLog m_scanLog;
    QTreeWidgetItem* m_hLastTreeItem = nullptr;
    // Set from the scan's start to FinishScan; m_bScanStopped by a walk a stop ended.
    bool m_bScanRunning = false;
    std::atomic<bool> m_bScanStopped{false};
};

// The frame now open, for code outside it (signals); null when there is none.
CMainFrame* TheMainFrame();

#include "app/MainFrame.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/AboutDlg.h"
#include "app/AppLooks.h"
#include "app/DralvekOstruneApp.h"
#include "app/FileSettingDlg.h"
#include "app/LogFile.h"
#include "app/RecordsPanel.h"
#include "app/SaveOptionsDlg.h"
#include "app/SaveWriter.h"
#include "app/ViewTriggerSql.h"
#include "app/WindowImages.h"
#include "app/WindowTexts.h"
#include "controls/CheckTreeCtrl.h"
#include "controls/SplashWnd.h"
#include "platform/ui/Messages.h"
#include "platform/ui/GuiPost.h"
#include "platform/ui/GuiThread.h"
#include "platform/ui/ProfileStore.h"
#include "platform/ui/Prompts.h"
#include "platform/ui/QtText.h"

namespace {

CMainFrame* g_mainFrame = nullptr;

QLabel* PlainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// A label that runs a call when clicked: the status bar's link.
class CLinkLabel : public QLabel {
public:
    CLinkLabel(const QString& text, QWidget* parent, std::function<void()> onClick)
        : QLabel(text, parent), m_onClick(std::move(onClick)) {
        setTextFormat(Qt::PlainText);
        setCursor(Qt::PointingHandCursor);
        QFont f = font();
        f.setUnderline(true);
        setFont(f);
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && m_onClick) m_onClick();
    }

private:
    std::function<void()> m_onClick;
};

}  // namespace

CMainFrame* TheMainFrame() { return g_mainFrame; }

// --- ribbon --------------------------------------------------------------------------

CRibbonBar::CRibbonBar(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("ribbon"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(0);

    auto* appButton = new QToolButton(this);
    appButton->setObjectName(QStringLiteral("applicationButton"));
    appButton->setIcon(QIcon(ResourceImage(IDB_APP_BUTTON)));
    appButton->setIconSize(QSize(42, 42));
    appButton->setAutoRaise(true);
    appButton->setFixedSize(48, 48);
    appButton->setFocusPolicy(Qt::NoFocus);
    grid->addWidget(appButton, 0, 0, 2, 1, Qt::AlignTop);

    m_category = PlainLabel(QStringLiteral("RaDAZ Idevurod Orerudiz"), this);
    m_category->setObjectName(QStringLiteral("categoryTab"));
    m_category->setContentsMargins(10, 3, 10, 3);
    grid->addWidget(m_category, 0, 1, Qt::AlignLeft | Qt::AlignBottom);

    auto* groupsRow = new QWidget(this);
    groupsRow->setObjectName(QStringLiteral("ribbonGroups"));
    auto* groups = new QHBoxLayout(groupsRow);
    groups->setContentsMargins(0, 0, 0, 0);
    groups->setSpacing(4);
    for (const char* caption : {"", "About"}) {
        auto* group = new QFrame(groupsRow);
        group->setObjectName(QStringLiteral("ribbonGroup"));
        auto* column = new QVBoxLayout(group);
        column->setContentsMargins(4, 2, 4, 1);
        column->setSpacing(0);
        auto* buttons = new QHBoxLayout;
        buttons->setSpacing(2);
        column->addLayout(buttons);
        QLabel* label = PlainLabel(QLatin1String(caption), group);
        label->setObjectName(QStringLiteral("ribbonGroupCaption"));
        label->setAlignment(Qt::AlignHCenter);
        label->setMinimumHeight(label->fontMetrics().height());
        column->addWidget(label);
        groups->addWidget(group);
        m_groups.push_back(group);
        m_groupCaptions.push_back(label);
    }
    groups->addStretch(1);
    grid->addWidget(groupsRow, 1, 1);
    grid->setColumnStretch(1, 1);
}

QToolButton* CRibbonBar::AddButton(int groupIndex, int id, const CString& label, int image, const CString& toolTip) {
    QWidget* group = m_groups[static_cast<std::size_t>(groupIndex)];
    auto* button = new QToolButton(group);
    button->setObjectName(QStringLiteral("command%1").arg(id));
    button->setText(ToQString(label));
    button->setToolTip(ToQString(toolTip));
    button->setIcon(QIcon(RibbonImage(image, 32)));
    button->setIconSize(QSize(32, 32));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setMinimumWidth(std::max(52, button->fontMetrics().horizontalAdvance(button->text()) + 14));
    auto* column = static_cast<QVBoxLayout*>(group->layout());
    static_cast<QHBoxLayout*>(column->itemAt(0)->layout())->addWidget(button);
    m_buttons.emplace_back(id, button);
    return button;
}

QToolButton* CRibbonBar::Button(int id) const {
    for (const auto& [buttonId, button] : m_buttons)
        if (buttonId == id) return button;
    return nullptr;
}

// --- caption bar, status bar ---------------------------------------------------------

CMyCaptionBar::CMyCaptionBar(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("captionBar"));
    setFrameShape(QFrame::NoFrame);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 3, 6, 3);
    row->setSpacing(6);
    m_image = new QLabel(this);
    m_image->setPixmap(ResourceImage(IDB_CAPTION_BAR));
    m_image->setFixedSize(20, 20);
    row->addWidget(m_image);
    m_label = PlainLabel(QString(), this);
    m_label->setObjectName(QStringLiteral("captionText"));
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A long message is cut at the window's edge rather than widening the window.
    m_label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(m_label, 1);
}

void CMyCaptionBar::SetText(const CString& text) {
    m_label->setText(ToQString(text));
    m_label->repaint();
}

CString CMyCaptionBar::Text() const { return FromQString(m_label->text()); }

CRibbonStatusBarCls::CRibbonStatusBarCls(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("statusBar"));
    setSizeGripEnabled(false);
    m_wndProgress = new QProgressBar(this);
    m_wndProgress->setObjectName(QStringLiteral("progress"));
    m_wndProgress->setTextVisible(false);
    m_wndProgress->setRange(0, 100);
    m_wndProgress->hide();
}

void CRibbonStatusBarCls::resizeEvent(QResizeEvent* event) {
    QStatusBar::resizeEvent(event);
    // A status bar narrower than the panes beside it leaves the indicator no width at
    // all, never a negative one.
    const int width = std::max(0, event->size().width() - kProgressReserved);
    m_wndProgress->setGeometry(kProgressX, kProgressY, width, kProgressHeight);
    m_wndProgress->raise();
}

void CRibbonStatusBarCls::contextMenuEvent(QContextMenuEvent* event) { event->accept(); }

// --- log pane, tree pane, view ---------------------------------------------------------

void CLogListModel::InsertRow(int index, const QString& text) {
    index = std::clamp(index, 0, static_cast<int>(m_rows.size()));
    beginInsertRows(QModelIndex(), index, index);
    m_rows.insert(m_rows.begin() + index, text);
    endInsertRows();
}

void CLogListModel::Clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int CLogListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant CLogListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size())) return {};
    if (role == Qt::DisplayRole) return m_rows[static_cast<std::size_t>(index.row())];
    return {};
}

CDralvekListCtrl::CDralvekListCtrl(QWidget* parent) : QListView(parent), m_model(this) {
    setObjectName(QStringLiteral("logList"));
    setModel(&m_model);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // A right click neither shows a menu nor reaches the pane.
    setContextMenuPolicy(Qt::PreventContextMenu);
}

COutputWnd::COutputWnd(QWidget* parent) : QDockWidget(QStringLiteral("Output"), parent) {
    setObjectName(QStringLiteral("outputPane"));
    setFeatures(QDockWidget::DockWidgetMovable);
    m_wndLogList = new CDralvekListCtrl(this);
    m_wndLogList->setFont(QApplication::font());
    setWidget(m_wndLogList);
}

CFileView::CFileView(QWidget* parent) : QDockWidget(QStringLiteral("MySQL Database Objects"), parent) {
    setObjectName(QStringLiteral("fileView"));
    setFeatures(QDockWidget::DockWidgetMovable);
    auto* holder = new QWidget(this);
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(1, 1, 1, 1);
    m_wndTree = new CCheckTreeCtrl(holder);
    m_wndTree->setObjectName(QStringLiteral("databaseTree"));
    layout->addWidget(m_wndTree);
    setWidget(holder);
    // The pictures of the scan's items: folder 0, keys 2, views 15, trigger 21.
    m_TreeImages.Create(16, 16, 0x19, 0, 0);
    m_TreeImages.Add(ResourceImage(IDB_TREE_STRIP).toImage());
    m_wndTree->SetImageList(&m_TreeImages, TVSIL_NORMAL);
    m_wndTree->Initialize();
    m_wndTree->m_bPropagateCheck = TRUE;
    m_wndTree->m_bReadOnly = FALSE;
    m_wndTree->m_bImages = TRUE;
}

int CFileView::TreeItemCount() const { return static_cast<int>(m_wndTree->GetCount()); }

int CFileView::TreeCheckedCount() const { return m_wndTree->GetCheckedCount(); }

CDralvekOstruneView::CDralvekOstruneView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("view"));
    m_wndRecordsPanel = new CDralvekStatic(this);
    m_wndRecordsPanel->setObjectName(QStringLiteral("recordsPanel"));
}

void CDralvekOstruneView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_wndRecordsPanel->setGeometry(0, 0, event->size().width(), event->size().height());
}

// --- the frame -------------------------------------------------------------------------

CMainFrame::CMainFrame(CDralvekOstruneApp& app, CProfileStore* profile)
    : CWnd(this), m_app(app), m_profile(profile), m_worker(app.m_bBusy) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowTitle(ToQString(kProductCaption));
    m_app.m_nAppLook = static_cast<std::uint32_t>(
        m_profile ? m_profile->GetProfileInt(kProfileSection, kProfileLookEntry, ID_LOOK_DEFAULT) : ID_LOOK_DEFAULT);
    m_app.m_bBusy = 0;
    g_mainFrame = this;
}

CMainFrame::~CMainFrame() {
    if (g_mainFrame == this) g_mainFrame = nullptr;
}

bool CMainFrame::OnCreate(bool showSplash) {
    if (showSplash) {
        // It deletes itself when its time is up.
        auto* splash = new CSplashWnd;
        splash->Create(this);
        splash->SetBitmap();
        splash->SetText(u"v22.08");
        splash->repaint();
        splash->Show();
    }
    OnApplicationLook(static_cast<int>(m_app.m_nAppLook));

    m_pView = new CDralvekOstruneView(this);
    setCentralWidget(m_pView);

    auto* top = new QWidget(this);
    top->setObjectName(QStringLiteral("ribbonAndCaption"));
    auto* column = new QVBoxLayout(top);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_wndRibbonBar = new CRibbonBar(top);
    column->addWidget(m_wndRibbonBar);
    InitRibbon();
    if (!CreateCaptionBar()) return false;
    column->addWidget(m_wndCaptionBar);
    setMenuWidget(top);

    m_wndStatusBar = new CRibbonStatusBarCls(this);
    m_wndStatusBar->m_link = new CLinkLabel(ToQString(kProductTitle), m_wndStatusBar, [this] { OnHelp(); });
    m_wndStatusBar->m_link->setObjectName(QStringLiteral("statusLink"));
    m_wndStatusBar->m_link->setToolTip(QStringLiteral("Help for ") + ToQString(kProductTitle));
    m_wndStatusBar->m_link->setMaximumWidth(CRibbonStatusBarCls::kProgressX - 12);
    m_wndStatusBar->addWidget(m_wndStatusBar->m_link);
    auto* separator = new QFrame(m_wndStatusBar);
    separator->setFrameShape(QFrame::VLine);
    separator->setFrameShadow(QFrame::Sunken);
    m_wndStatusBar->addWidget(separator);
    m_wndStatusBar->m_title = PlainLabel(ToQString(kProductTitle), m_wndStatusBar);
    m_wndStatusBar->m_title->setObjectName(QStringLiteral("statusTitle"));
    m_wndStatusBar->addPermanentWidget(m_wndStatusBar->m_title);
    setStatusBar(m_wndStatusBar);

    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks);
    if (!CreateDockingWindows()) return false;

    m_pLogList = m_pOutputWnd->m_wndLogList;
    m_pTree = m_pFileView->m_wndTree;
    m_pTree->m_hWndNotify = this;
    m_pRecordsPanel = m_pView ? m_pView->m_wndRecordsPanel : nullptr;

    SetCaptionText(kStartCaption);
    m_wndStatusBar->m_wndProgress->hide();
    setWindowState(windowState() | Qt::WindowMaximized);

    m_app.m_nLogLineCount = 1;
    m_pLogList->m_model.InsertRow(0, ToQString(kFirstLogLine));
    if (m_app.m_fileLog.IsOpen()) m_app.m_fileLog.Close();
    OnUpdateStop();
    return true;
}

void CMainFrame::InitRibbon() {
    m_wndRibbonBar->AddButton(0, ID_OPEN_DATABASE, u"Open", 0, u"Open Database file");
    m_wndRibbonBar->AddButton(0, ID_STOP, u"Stop", 1, u"Stop running process");
    m_wndRibbonBar->AddButton(0, ID_SAVE_DATA, u"Save MySQL Data", 2, u"Save recovered data");
    m_wndRibbonBar->AddButton(1, ID_HELP_PAGE, u"Help", 8, u"Help for Dralvek RaDAZ Idevurod Orerudiz");
    m_wndRibbonBar->AddButton(1, ID_ABOUT, u"About", 9, u"About Dralvek RaDAZ Idevurod Orerudiz");
    const std::pair<int, void (CMainFrame::*)()> commands[] = {
        {ID_OPEN_DATABASE, &CMainFrame::OnOpenDatabase}, {ID_STOP, &CMainFrame::OnStop},
        {ID_SAVE_DATA, &CMainFrame::OnSaveData},         {ID_HELP_PAGE, &CMainFrame::OnHelp},
        {ID_ABOUT, &CMainFrame::OnAbout},
    };
    for (const auto& [id, handler] : commands)
        connect(m_wndRibbonBar->Button(id), &QToolButton::clicked, this, [this, handler = handler] { (this->*handler)(); });
}

bool CMainFrame::CreateCaptionBar() {
    m_wndCaptionBar = new CMyCaptionBar(this);
    return m_wndCaptionBar != nullptr;
}

bool CMainFrame::CreateDockingWindows() {
    m_pFileView = new CFileView(this);
    m_pOutputWnd = new COutputWnd(this);
    addDockWidget(Qt::LeftDockWidgetArea, m_pFileView);
    addDockWidget(Qt::RightDockWidgetArea, m_pOutputWnd);
    resizeDocks({m_pFileView, m_pOutputWnd}, {200, 400}, Qt::Horizontal);
    return true;
}

void CMainFrame::OnApplicationLook(int id) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int previous = NormaliseLook(static_cast<int>(m_app.m_nAppLook));
    m_app.m_nAppLook = static_cast<std::uint32_t>(id);
    // An id the program does not know keeps the Office 2007 look in its current colours.
    int look = NormaliseLook(id);
    if (look != id) look = previous >= ID_LOOK_DEFAULT ? previous : ID_LOOK_DEFAULT;
    const LookColours colours = ColoursOfLook(look);
    QApplication::setPalette(PaletteOfLook(look));
    const QString sheet =
        QStringLiteral(
            "#ribbon { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %1, stop:1 %2);"
            " border-bottom: 1px solid %3; }"
            "#ribbon QLabel, #ribbon QToolButton { color: %4; background: transparent; }"
            "#ribbon QToolButton { border: 1px solid transparent; border-radius: 3px; padding: 1px; }"
            "#ribbon QToolButton:hover { background: %8; border: 1px solid %3; }"
            "#ribbon QToolButton:pressed { background: %9; }"
            "#categoryTab { background: %5; border: 1px solid %3; border-bottom: none;"
            " border-top-left-radius: 3px; border-top-right-radius: 3px; font-weight: bold; }"
            "#ribbonGroup { background: %5; border: 1px solid %3; border-radius: 3px; }"
            "#captionBar { background: %6; border-bottom: 1px solid %3; }"
            "#captionBar QLabel { color: black; }"
            "#statusBar QLabel { color: %7; }")
            .arg(colours.ribbon.lighter(104).name(), colours.ribbon.darker(104).name(), colours.ribbonEdge.name(),
                 colours.ribbonText.name(), colours.ribbon.lighter(106).name(),
                 QColor(0xff, 0xff, 0xff).name(), colours.text.name(), colours.accent.lighter(130).name(),
                 colours.accent.name());
    setStyleSheet(sheet);
    update();
    if (m_profile) m_profile->WriteProfileInt(kProfileSection, kProfileLookEntry, id);
    QApplication::restoreOverrideCursor();
}

void CMainFrame::Inform(const CString& text) {
    Prompts().MessageBox(this, text, kProductCaption, PromptIcon::Information, PromptButtons::Ok);
}

void CMainFrame::SetCaptionText(const CString& text) {
    if (m_wndCaptionBar) m_wndCaptionBar->SetText(text);
}

void CMainFrame::InsertLogRow(const CString& text) {
    if (!m_pLogList) return;
    m_pLogList->m_model.InsertRow(m_app.m_nLogLineCount, ToQString(text));
    m_app.m_nLogLineCount = m_app.m_nLogLineCount + 1;
    m_pLogList->scrollToBottom();
}

void CMainFrame::WriteLogFileLine(const CString& text) {
    CallOnGuiThread([this, &text] {
        if (!m_scanLog.IsOpen() || m_scanLog.WriteLine(text)) return;
        InsertLogRow(CString(u"The scan log file could not be written: ") + m_scanLog.Path() +
                     u". Further log lines are only in this pane.");
    });
}

void CMainFrame::AddLogLine(const CString& text) {
    CallOnGuiThread([this, &text] {
        InsertLogRow(text);
        if (m_scanLog.IsOpen() || !m_scanLog.Path().IsEmpty()) {
            // A scan's log: a failed write closes it and is said once.
            if (m_scanLog.IsOpen() && !m_scanLog.WriteLine(text))
                InsertLogRow(CString(u"The scan log file could not be written: ") + m_scanLog.Path() +
                             u". Further log lines are only in this pane.");
            return;
        }
        if (!m_app.m_fileLog.IsOpen()) return;
        std::string reason;
        if (AppendLogLine(m_app.m_fileLog, text, reason)) return;
        // A log that cannot be written does not end the work; the pane says so once.
        if (m_bLogWriteFailed) return;
        m_bLogWriteFailed = true;
        InsertLogRow(CString(u"The scan log file could not be written (") + CString::FromUtf8(reason) + u"): " +
                     m_app.m_strLogFilePath + u". Further log lines are only in this pane.");
    });
}

void CMainFrame::OnUpdateStop() {
    if (!m_wndRibbonBar) return;
    if (QToolButton* stop = m_wndRibbonBar->Button(ID_STOP)) stop->setEnabled(m_app.m_bBusy != 0);
}

bool CMainFrame::StartWorker(std::function<void()> job) {
    const bool started = m_worker.Start(std::move(job), [this] { PostToGuiThread([this] { OnWorkerEnded(); }); });
    OnUpdateStop();
    return started;
}

void CMainFrame::OnWorkerEnded() {
    if (m_bScanRunning) FinishScan();
    m_worker.Finish();
    m_bLogWriteFailed = false;
    OnUpdateStop();
    if (m_nClosePending != 0) FinishClose(m_nClosePending == 1);
}

// --- commands --------------------------------------------------------------------------

void CMainFrame::OnOpenDatabase() {
    if (m_app.m_bBusy == 1) {
        Inform(kPleaseWait);
        return;
    }
    m_worker.ClearStopRequest();
    BeginOpen(m_strProposedFolder);
}

void CMainFrame::BeginOpen(const CString& proposedFolder) {
    CDralvekFileSettingDlg dialog(m_app, proposedFolder, this);
    if (Prompts().RunDialog(dialog) != QDialog::Accepted) return;
    m_strSelectedPath = m_app.m_strDatabaseFolder;

    ResetScanState();
    SetCaptionText(m_strSelectedPath);
    m_wndStatusBar->m_wndProgress->setRange(0, 100);
    m_wndStatusBar->m_wndProgress->setValue(0);
    m_wndStatusBar->m_wndProgress->show();

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    CString error;
    if (m_scanLog.Open(m_app.m_strLogFolder, local, m_strSelectedPath, error)) {
        m_app.m_strLogFilePath = m_scanLog.Path();
    } else {
        m_app.m_strLogFilePath.Empty();
        InsertLogRow(CString(u"The scan log file cannot be created (") + error + u"): " + m_scanLog.Path() +
                     u". This scan logs to this pane only.");
    }

    m_bScanRunning = true;
    m_bScanStopped = false;
    const CString root = m_strSelectedPath;
    if (!StartWorker([this, root] { RunScan(root); })) {
        m_bScanRunning = false;
        m_wndStatusBar->m_wndProgress->hide();
        Inform(kPleaseWait);
    }
}

void CMainFrame::ResetScanState() {
    if (m_pLogList) m_pLogList->m_model.Clear();
    m_app.m_nLogLineCount = 0;
    m_scanLog.Close();
    m_hLastTreeItem = nullptr;
    if (m_pTree) m_pTree->DeleteAllItems();
    m_scan = ScanResult();
    if (m_pRecordsPanel) {
        m_pRecordsPanel->m_recordModel.Clear();
        m_pRecordsPanel->SetSqlText(CString());
        m_pRecordsPanel->SetStatusText(CString());
        m_pRecordsPanel->ShowRecordList();
        m_pRecordsPanel->m_btnPrevious->setEnabled(false);
        m_pRecordsPanel->m_btnNext->setEnabled(false);
    }
    // Nothing of the previous folder stays readable: its files and its dictionary go.
    m_browser.Reader().Close();
    m_engine.m_bookmarks.clear();
    m_engine.m_columns.clear();
    m_engine.m_rows.clear();
    m_engine.m_innoColumns.clear();
    if (m_engine.m_fileIbdata.IsOpen()) m_engine.m_fileIbdata.Close();
    m_engine.m_sysTables.clear();
    m_engine.m_sysColumns.clear();
    m_engine.m_sysIndexes.clear();
}

void CMainFrame::RunScan(CString root) {
    WriteLogFileLine(CString(kLogDataFolderPrefix) + root);
    CallOnGuiThread([this] { InsertLogRow(kLogFinding); });

    ScanCallbacks callbacks;
    callbacks.progress = [this](int done, int total) {
        PostToGuiThread([this, done, total] {
            m_wndStatusBar->m_wndProgress->setRange(0, std::max(total, 1));
            m_wndStatusBar->m_wndProgress->setValue(done);
        });
    };
    callbacks.stopRequested = [this] { return StopRequested(); };
    ScanResult scan = ScanDataFolder(root, callbacks);
    for (const ScanProblem& problem : scan.problems) AddLogLine(ScanProblemLogLine(problem));
    m_bScanStopped = scan.stopped;
    CallOnGuiThread([this, &scan] { BuildScanTree(std::move(scan)); });
    if (m_bScanStopped || StopRequested()) return;

    AddLogLine(kLogProcessingIbdata);
    m_engine.m_context = m_app.WindowReadContext();
    const CString ibdata = root + u"ibdata1";
    CString loadedFrom = ibdata;
    bool loaded = m_engine.LoadDictionary(ibdata);
    if (!loaded) {
        // Said in the pane too: without the dictionary, tables held in ibdata1 show no rows.
        AddLogLine(kLogIbdataCannotOpen);
        PromptAnswer answer = PromptAnswer::No;
        CallOnGuiThread([this, &answer] {
            answer = Prompts().MessageBox(this, u"Ibdata1File Cannot be opened.Do you want to browse ibdata1 File Manually?",
                                          kProductCaption, PromptIcon::Question, PromptButtons::YesNo);
        });
        if (answer != PromptAnswer::Yes) return;
        CString chosen;
        CallOnGuiThread([this, &chosen, &root] { chosen = Prompts().ChooseFile(this, u"Open", root, CString()); });
        // Only a file the user accepted is loaded.
        if (chosen.IsEmpty()) return;
        loadedFrom = chosen;
        loaded = m_engine.LoadDictionary(chosen);
        if (!loaded) {
            AddLogLine(kLogManualIbdataCannotOpen);
            return;
        }
    }
    if (m_engine.m_sysTables.empty())
        AddLogLine(CString(u"No data dictionary could be read from ") + loadedFrom +
                   u"; InnoDB tables are read from their .frm and .ibd files alone.");
}

void CMainFrame::BuildScanTree(ScanResult&& scan) {
    m_scan = std::move(scan);
    if (!m_pTree) return;
    std::vector<HTREEITEM> handles(m_scan.tree.size(), nullptr);
    m_pTree->setUpdatesEnabled(false);
    for (std::size_t i = 0; i < m_scan.tree.size(); ++i) {
        const ScanTreeItem& item = m_scan.tree[i];
        const HTREEITEM parent = item.parent < 0 ? TVI_ROOT : handles[static_cast<std::size_t>(item.parent)];
        handles[i] = m_pTree->InsertItemText(item.text.GetString(), item.image, item.image, parent);
        m_pTree->SetItemData(handles[i], static_cast<LPARAM>(item.data));
    }
    // "MYSQL database" and the scanned folder open; the databases stay closed, unless
    // there is only one: then its tables are in sight at once.
    for (std::size_t i = 0; i < handles.size() && i < 2; ++i) m_pTree->Expand(handles[i], TVE_EXPAND);
    if (m_scan.m_databaseFolders.size() == 1) {
        for (std::size_t i = 2; i < m_scan.tree.size() && m_scan.tree[i].depth <= 3; ++i)
            if (m_scan.tree[i].depth == 2 || (m_scan.tree[i].depth == 3 && m_scan.tree[i].text == kTreeTablesText))
                m_pTree->Expand(handles[i], TVE_EXPAND);
    }
    m_pTree->setUpdatesEnabled(true);
}

void CMainFrame::FinishScan() {
    m_bScanRunning = false;
    m_wndStatusBar->m_wndProgress->hide();
    if (m_bScanStopped || StopRequested()) {
        const CString text = u"Scanning stopped: the tree holds only what was found before the stop.";
        AddLogLine(text);
        SetCaptionText(text);
        return;
    }
    InsertLogRow(kLogScanCompletedPane);
    if (m_nClosePending == 0) Inform(kMsgScanCompleted);
    SetCaptionText(kLogScanCompleted);
    WriteLogFileLine(kLogScanCompleted);
    if (m_pTree) m_pTree->viewport()->update();
}

void CMainFrame::OnStop() {
    if (m_app.m_bBusy != 1) return;
    if (Prompts().MessageBox(this, kAskStop, kProductCaption, PromptIcon::Information, PromptButtons::YesNo) !=
        PromptAnswer::Yes)
        return;
    // The busy flag stays until the worker has ended at its next folder or file.
    m_worker.RequestStop();
}

void CMainFrame::OnSaveData() {
    if (m_app.m_bBusy == 1) {
        Inform(kPleaseWait);
        return;
    }
    if (m_pFileView->TreeCheckedCount() == 0) {
        Inform(kSelectFolderToSave);
        return;
    }
    savedlgoption dialog(m_app, this);
    if (Prompts().RunDialog(dialog) != QDialog::Accepted) return;
    // The choice holds for this Save only: the window goes on reading in display mode, and
    // the save reads with a reader and a mode of its own.
    const bool toServer = m_app.m_bSaveToServer == 1;
    m_app.m_bSaveAsScript = 0;
    m_app.m_bSaveToServer = 0;
    ServerSettings server{m_app.m_strServer.ToUtf8(), m_app.m_strServerPort.ToUtf8(), m_app.m_strServerUser.ToUtf8(),
                          m_app.m_strServerPassword.ToUtf8(), {}};
    const std::string folder = m_app.m_strSaveFolder.ToUtf8();

    const SaveSelection selection = SelectionFromChecked(m_scan, CheckedTreeItems());
    if (selection.Empty()) {
        Inform(kSelectFolderToSave);
        return;
    }
    m_worker.ClearStopRequest();
    const bool started = StartWorker([this, selection, toServer, server, folder] {
        SaveCallbacks callbacks;
        callbacks.log = [this](const CString& line) { AddLogLine(line); };
        callbacks.progress = [this](std::size_t done, std::size_t total) {
            CallOnGuiThread([this, done, total] {
                OnSetProgressRange(0, static_cast<int>(total));
                OnSetProgressPos(static_cast<int>(done));
            });
        };
        callbacks.stopRequested = [this] { return StopRequested(); };
        SaveResult result;
        if (toServer) {
            COdbcConnection connection;
            std::string driver, error;
            if (!connection.Connect(server, driver, error)) {
                AddLogLine(u"Cannot connect to the server: " + CString::FromUtf8(error));
                result.losses = 1;
            } else {
                AddLogLine(u"Saving into the server through the ODBC driver " + CString::FromUtf8(driver));
                COdbcSaveTarget target(connection);
                result = SaveObjects(m_scan, selection, m_app.m_mapCollation, target, callbacks);
            }
        } else {
            AddLogLine(u"Saving as script into " + CString::FromUtf8(folder));
            CScriptSaveTarget target(folder);
            result = SaveObjects(m_scan, selection, m_app.m_mapCollation, target, callbacks);
        }
        const CString summary = SaveSummary(result);
        AddLogLine(summary);
        CallOnGuiThread([this, summary] { Inform(summary); });
    });
    if (!started) Inform(kPleaseWait);
}

std::vector<CheckedTreeItem> CMainFrame::CheckedTreeItems() const {
    std::vector<CheckedTreeItem> items;
    if (!m_pTree) return items;
    for (HTREEITEM item = m_pTree->GetRootItem(); item != nullptr; item = m_pTree->GetNextTreeItem(item)) {
        if (!m_pTree->GetCheck(item)) continue;
        const int data = static_cast<int>(m_pTree->GetItemData(item));
        if (data <= 0) continue;
        const HTREEITEM parent = m_pTree->GetParentItem(item);
        items.push_back({data, parent ? static_cast<int>(m_pTree->GetItemData(parent)) : TREE_ITEM_GROUP});
    }
    return items;
}

void CMainFrame::OnScanRecords() {
    if (m_app.m_bBusy == 1) {
        Inform(kPleaseWait);
        return;
    }
    if (m_pFileView->TreeItemCount() == 0) Inform(kSelectFileToScan);
}

CString CMainFrame::HelpPagePath() {
    const QString besideProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/help/index.html");
    if (QFileInfo::exists(besideProgram)) return FromQString(besideProgram);
#ifdef DRALVEK_DATA_DIR
    const QString installed = QStringLiteral(DRALVEK_DATA_DIR "/help/index.html");
    if (QFileInfo::exists(installed)) return FromQString(installed);
#endif
    return FromQString(besideProgram);
}

void CMainFrame::OnHelp() {
    if (m_app.m_bBusy == 1) {
        Inform(kPleaseStopToContinue);
        return;
    }
    const CString page = HelpPagePath();
    if (!Prompts().OpenAddress(page)) AddLogLine(CString(u"The help page could not be opened: ") + page);
}

void CMainFrame::OnAbout() {
    if (m_app.m_bBusy == 1) {
        Inform(kPleaseStopToContinue);
        return;
    }
    Prompts().RunDialog(TheAboutDialog());
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnClose();
}

void CMainFrame::OnClose() {
    if (m_nClosePending != 0) return;
    // A worker asked to stop is let finish its file; a running one must be stopped first.
    if (m_app.m_bBusy == 1 && !(m_worker.IsRunning() && m_worker.StopRequested())) {
        Inform(kPleaseStopToClose);
        return;
    }
    if (Prompts().MessageBox(this, kAskClose, kProductCaption, PromptIcon::Question, PromptButtons::YesNo) !=
        PromptAnswer::Yes)
        return;
    if (m_worker.IsRunning()) {
        m_nClosePending = 1;
        SetCaptionText(u"Closing once the stopped process has ended.");
        return;
    }
    FinishClose(true);
}

void CMainFrame::CloseFromSystem() {
    if (m_worker.IsRunning()) {
        m_worker.RequestStop();
        if (m_nClosePending == 0) m_nClosePending = 2;
        return;
    }
    FinishClose(false);
}

void CMainFrame::FinishClose(bool interactive) {
    m_nClosePending = 0;
    if (m_engine.m_fileIbdata.IsOpen()) m_engine.m_fileIbdata.Close();
    if (m_engine.m_fileIbd.IsOpen()) m_engine.m_fileIbd.Close();
    if (m_engine.m_fileMyd.IsOpen()) m_engine.m_fileMyd.Close();
    if (!m_app.m_strLogFilePath.IsEmpty() && QFileInfo::exists(ToQString(m_app.m_strLogFilePath))) {
        const CString text = CString(kLogFilePathPrefix) + m_app.m_strLogFilePath;
        if (interactive)
            Inform(text);
        else
            std::fprintf(stderr, "%s\n", ToQString(text).toLocal8Bit().constData());
    }
    if (m_app.m_fileLog.IsOpen()) m_app.m_fileLog.Close();
    Prompts().EndProcess(-1);
}

// --- tree clicks, paging ------------------------------------------------------------------

void CMainFrame::OnTreeItemClicked(std::uintptr_t item) {
    auto* const clicked = reinterpret_cast<HTREEITEM>(item);
    std::int32_t idle = 0;
    if (!m_app.m_bBusy.compare_exchange_strong(idle, 1)) {
        // The selection goes back to the item shown.
        if (m_pTree && m_hLastTreeItem) {
            m_pTree->SelectItem(m_hLastTreeItem);
            m_pTree->SelectDropTarget(m_hLastTreeItem);
            m_pTree->SetItemState(m_hLastTreeItem, TVIS_SELECTED, TVIS_SELECTED);
        }
        Inform(kPleaseWait);
        return;
    }
    OnUpdateStop();
    m_hLastTreeItem = clicked;
    if (m_pRecordsPanel) {
        m_pRecordsPanel->SetSqlText(CString());
        m_pRecordsPanel->SetStatusText(CString());
    }
    const CString text = m_pTree && clicked ? m_pTree->GetItemText(clicked) : CString();
    SetCaptionText(text);
    AddLogLine(CString(u"Please wait while ") + text + u" folder is scanning.");
    m_wndStatusBar->m_wndProgress->setValue(0);
    m_wndStatusBar->m_wndProgress->show();
    m_app.m_bSaveAsScript = 0;
    m_app.m_bSaveToServer = 0;
    if (m_pTree) m_pTree->setEnabled(false);

    int data = TREE_ITEM_GROUP;
    int parentData = TREE_ITEM_GROUP;
    if (m_pTree && clicked) {
        data = static_cast<int>(m_pTree->GetItemData(clicked));
        if (HTREEITEM parent = m_pTree->GetParentItem(clicked)) parentData = static_cast<int>(m_pTree->GetItemData(parent));
    }
    const TreeObject object = ResolveTreeItem(m_scan, data, parentData);
    switch (object.kind) {
    case TreeObjectKind::Table: {
        const TableEntry& entry = m_scan.m_tables[object.index];
        const CString& folder = m_scan.m_databaseFolders[static_cast<std::size_t>(entry.m_nDatabase)];
        ApplyBrowserEffects(m_browser.ShowTable(TableBasePath(m_scan, object.index), text,
                                                TableDictionaryKey(folder, entry.m_strName)));
        break;
    }
    case TreeObjectKind::Keys: {
        std::vector<KeyListRow> rows;
        BrowserEffects effects = m_browser.ShowKeys(TableBasePath(m_scan, object.index), text, rows);
        effects.listRefilled = false;
        ApplyBrowserEffects(effects);
        if (m_pRecordsPanel) {
            std::vector<CString> headings(std::begin(kKeyListHeadings), std::end(kKeyListHeadings));
            std::vector<CString> cells;
            cells.reserve(rows.size() * kKeyListColumns);
            for (const KeyListRow& row : rows) cells.insert(cells.end(), row.begin(), row.end());
            m_pRecordsPanel->m_recordModel.Fill(std::move(headings), std::move(cells));
            m_pRecordsPanel->ShowRecordList();
        }
        break;
    }
    case TreeObjectKind::View:
    case TreeObjectKind::Trigger: {
        const CString path = object.kind == TreeObjectKind::View ? m_scan.m_viewFiles[object.index]
                                                                 : TriggerFilePath(m_scan, object.index);
        const ObjectSql sql = object.kind == TreeObjectKind::View ? BuildViewSql(path) : BuildTriggerSql(path);
        for (const CString& problem : sql.problems) AddLogLine(path + u": " + problem);
        if (m_pRecordsPanel) {
            m_pRecordsPanel->m_recordModel.Clear();
            m_pRecordsPanel->SetSqlText(sql.text);
            m_pRecordsPanel->ShowTextPane();
        }
        break;
    }
    case TreeObjectKind::None: ShowNothing(text); break;
    }

    if (m_pRecordsPanel && m_pRecordsPanel->m_recordModel.rowCount() == 0) {
        m_pRecordsPanel->m_btnPrevious->setEnabled(false);
        m_pRecordsPanel->m_btnNext->setEnabled(false);
    }
    m_wndStatusBar->m_wndProgress->hide();
    m_app.m_bBusy = 0;
    OnUpdateStop();
    if (m_pTree) m_pTree->setEnabled(true);
    AddLogLine(u"Scanning process completed.");
}

void CMainFrame::ShowNothing(const CString& caption) {
    if (!m_pRecordsPanel) return;
    m_browser.Reader().Close();
    m_engine.m_bookmarks.clear();
    m_pRecordsPanel->m_recordModel.Clear();
    m_pRecordsPanel->ShowRecordList();
    m_pRecordsPanel->SetStatusText(caption);
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TREE_ITEM_CLICKED: OnTreeItemClicked(static_cast<std::uintptr_t>(lParam)); return 0;
    case WM_PREVIOUS_RECORDS: OnPrevRecords(); return 0;
    case WM_NEXT_RECORDS: OnNextRecords(); return 0;
    // The item shown last is forgotten with the items (held by the display of items).
    case WM_TREE_ITEMS_DELETED: m_hLastTreeItem = nullptr; return 0;
    default: return CWnd::WindowProc(message, wParam, lParam);
    }
}

void CMainFrame::ApplyBrowserEffects(const BrowserEffects& effects) {
    // What the read could not give back whole stands in the log, with where and why.
    for (const CString& loss : effects.losses) AddLogLine(loss);
    if (!effects.message.IsEmpty()) Inform(effects.message);
    if (!m_pRecordsPanel) return;
    if (effects.listRefilled) {
        m_pRecordsPanel->m_recordModel.Fill(m_engine.m_columns, m_engine.m_rows);
        m_pRecordsPanel->ShowRecordList();
    }
    if (effects.next != ButtonState::Unchanged)
        m_pRecordsPanel->m_btnNext->setEnabled(effects.next == ButtonState::Enabled);
    if (effects.previous != ButtonState::Unchanged)
        m_pRecordsPanel->m_btnPrevious->setEnabled(effects.previous == ButtonState::Enabled);
    if (effects.captionChanged) {
        SetCaptionText(effects.caption);
        m_pRecordsPanel->SetStatusText(effects.caption);
    }
}

void CMainFrame::OnPrevRecords() { ApplyBrowserEffects(m_browser.OnPrevRecords()); }

void CMainFrame::OnNextRecords() { ApplyBrowserEffects(m_browser.OnNextRecords()); }

// --- the offered messages -------------------------------------------------------------

void CMainFrame::OnAddLogLine(const char* ansiText) {
    AddLogLine(CString::FromAnsi(ansiText, ansiText ? std::strlen(ansiText) : 0));
}

void CMainFrame::OnSetProgressRange(int lower, int upper) {
    m_wndStatusBar->m_wndProgress->setValue(0);
    m_wndStatusBar->m_wndProgress->setRange(lower, upper);
}

void CMainFrame::OnSetProgressPos(int position) { m_wndStatusBar->m_wndProgress->setValue(position); }

void CMainFrame::OnSetSqlText(const char* ansiText) {
    if (m_pRecordsPanel) m_pRecordsPanel->SetSqlText(CString::FromAnsi(ansiText, ansiText ? std::strlen(ansiText) : 0));
}

void CMainFrame::OnShowErrorMessage(const CString& text) {
    Prompts().MessageBox(this, text, kProductCaption, PromptIcon::Error, PromptButtons::Ok);
}

#include "app/FileSettingDlg.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "app/DralvekOstruneApp.h"
#include "app/MainFrame.h"
#include "app/WindowTexts.h"
#include "platform/ui/Prompts.h"
#include "platform/ui/QtText.h"

namespace {

QLineEdit* FolderRow(QVBoxLayout* column, const QString& title, const QString& name, QWidget* parent,
                     QPushButton*& browse) {
    auto* group = new QGroupBox(title, parent);
    auto* row = new QHBoxLayout(group);
    auto* edit = new QLineEdit(group);
    edit->setObjectName(name);
    edit->setMinimumWidth(520);
    browse = new QPushButton(QStringLiteral("..."), group);
    browse->setObjectName(name + QStringLiteral("Browse"));
    browse->setFixedWidth(38);
    browse->setAutoDefault(false);
    row->addWidget(edit, 1);
    row->addWidget(browse);
    column->addWidget(group);
    return edit;
}

bool IsDirectory(const QString& path) { return !path.isEmpty() && QFileInfo(path).isDir(); }

}  // namespace

CString AbsoluteFolder(const CString& typed) {
    const QString text = ToQString(typed).trimmed();
    if (text.isEmpty()) return CString();
    QString path = QDir::cleanPath(QDir(text).absolutePath());
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    return FromQString(path);
}

CDralvekFileSettingDlg::CDralvekFileSettingDlg(CDralvekOstruneApp& app, const CString& proposedFolder, QWidget* parent)
    : QDialog(parent), m_app(app) {
    setObjectName(QStringLiteral("fileSettingDlg"));
    setWindowTitle(QStringLiteral("Select Database File"));
    auto* column = new QVBoxLayout(this);
    QPushButton* browseDatabase = nullptr;
    QPushButton* browseTemp = nullptr;
    QPushButton* browseLog = nullptr;
    m_editDatabase = FolderRow(column, QStringLiteral("Select MySQL Database File:"), QStringLiteral("databaseFolder"),
                               this, browseDatabase);
    m_editTemp = FolderRow(column, QStringLiteral("Select Temporary Path:"), QStringLiteral("tempFolder"), this,
                           browseTemp);
    m_editLog = FolderRow(column, QStringLiteral("Select Log File Path:"), QStringLiteral("logFolder"), this, browseLog);

    auto* buttons = new QHBoxLayout;
    auto* link = new QPushButton(QStringLiteral("Explore more Database Products"), this);
    link->setObjectName(QStringLiteral("productLink"));
    link->setToolTip(QStringLiteral("Explore more database recovery products"));
    link->setFlat(true);
    link->setAutoDefault(false);
    link->setFocusPolicy(Qt::NoFocus);
    link->setCursor(Qt::PointingHandCursor);
    link->setStyleSheet(QStringLiteral("color: #1a5fb4; text-decoration: underline; border: none;"));
    // The products page is the help page bundled with the program.
    connect(link, &QPushButton::clicked, this, [this] { Prompts().OpenAddress(CMainFrame::HelpPagePath()); });
    buttons->addWidget(link);
    buttons->addStretch(1);
    m_btnOk = new QPushButton(QStringLiteral("OK"), this);
    m_btnOk->setObjectName(QStringLiteral("ok"));
    m_btnOk->setToolTip(QStringLiteral("OK"));
    m_btnOk->setDefault(true);
    m_btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_btnCancel->setObjectName(QStringLiteral("cancel"));
    m_btnCancel->setToolTip(QStringLiteral("Cancel"));
    m_btnCancel->setAutoDefault(false);
    buttons->addWidget(m_btnOk);
    buttons->addWidget(m_btnCancel);
    buttons->addStretch(1);
    column->addLayout(buttons);

    connect(browseDatabase, &QPushButton::clicked, this, [this] { OnBrowseDatabaseFolder(); });
    connect(browseTemp, &QPushButton::clicked, this, [this] { OnBrowseTempFolder(); });
    connect(browseLog, &QPushButton::clicked, this, [this] { OnBrowseLogFolder(); });
    connect(m_btnOk, &QPushButton::clicked, this, [this] { OnBnClickedOk(); });
    connect(m_btnCancel, &QPushButton::clicked, this, [this] { OnBnClickedCancel(); });

    m_editDatabase->setText(ToQString(proposedFolder));
    QString temp = QDir::tempPath();
    if (!temp.endsWith(QLatin1Char('/'))) temp += QLatin1Char('/');
    m_editTemp->setText(temp);
    // The desktop when there is one; a machine without a desktop folder logs to home.
    QString log = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!IsDirectory(log)) log = QDir::homePath();
    m_editLog->setText(log);
}

void CDralvekFileSettingDlg::Inform(const CString& text) {
    Prompts().MessageBox(this, text, kProductCaption, PromptIcon::Information, PromptButtons::Ok);
}

void CDralvekFileSettingDlg::OnBrowseDatabaseFolder() {
    const CString chosen =
        Prompts().ChooseFolder(this, u"Select location to choose database file.", FromQString(m_editDatabase->text()));
    if (!chosen.IsEmpty()) m_editDatabase->setText(ToQString(AbsoluteFolder(chosen)));
}

void CDralvekFileSettingDlg::OnBrowseTempFolder() {
    const CString chosen =
        Prompts().ChooseFolder(this, u"Select location for temporary path.", FromQString(m_editTemp->text()));
    if (!chosen.IsEmpty()) m_editTemp->setText(ToQString(AbsoluteFolder(chosen)));
}

void CDralvekFileSettingDlg::OnBrowseLogFolder() {
    const CString chosen =
        Prompts().ChooseFolder(this, u"Select location to save Log file.", FromQString(m_editLog->text()));
    const QString path = ToQString(chosen).trimmed();
    if (IsDirectory(path)) m_editLog->setText(path);
}

bool CDralvekFileSettingDlg::OnBnClickedOk() {
    // A file passing as a folder, or a relative path, would make the scan find nothing.
    const CString database = AbsoluteFolder(FromQString(m_editDatabase->text()));
    if (!IsDirectory(ToQString(database))) {
        Inform(kInvalidDatabaseFolder);
        return false;
    }
    const CString temp = AbsoluteFolder(FromQString(m_editTemp->text()));
    if (!IsDirectory(ToQString(temp))) {
        Inform(kInvalidTempFolder);
        return false;
    }
    const CString log = AbsoluteFolder(FromQString(m_editLog->text()));
    if (!IsDirectory(ToQString(log)) || ::access(log.ToUtf8().c_str(), W_OK | X_OK) != 0) {
        Inform(kInvalidLogFolder);
        return false;
    }
    m_app.m_strDatabaseFolder = database;
    m_app.m_strTempFolder = temp;
    m_app.m_strLogFolder = log;
    accept();
    return true;
}

void CDralvekFileSettingDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

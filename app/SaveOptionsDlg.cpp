#include "app/SaveOptionsDlg.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/DralvekOstruneApp.h"
#include "app/WindowTexts.h"
#include "platform/ui/Prompts.h"
#include "platform/ui/QtText.h"

namespace {

constexpr const char16_t* kEnterServer = u"Please enter Server name.";
constexpr const char16_t* kEnterUser = u"Please enter user name.";
constexpr const char16_t* kEnterPort = u"Please enter port number.";
constexpr const char16_t* kBadPort = u"Please enter a port number from 1 to 65535.";
constexpr const char16_t* kConnected = u"Connection is successful";
constexpr const char16_t* kTestFailedForSave = u"Test connection is unsuccessful.Saving in database cannot be done.";
constexpr const char16_t* kChooseFolder = u"Please select valid destination folder path.";
constexpr const char16_t* kPickerTitle = u"Please choose a folder.";

// Dialog units of the template to pixels (1.5 across, 1.625 down).
QRect Units(int x, int y, int w, int h) {
    return QRect(x * 3 / 2, y * 13 / 8, w * 3 / 2, h * 13 / 8);
}

QLabel* Label(QWidget* parent, const char16_t* text, QRect rect) {
    auto* label = new QLabel(ToQString(CString(text)), parent);
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(rect);
    return label;
}

QLineEdit* Edit(QWidget* parent, const char* name, QRect rect) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(rect);
    return edit;
}

QPushButton* Button(QWidget* parent, const char* name, const char16_t* text, QRect rect) {
    auto* button = new QPushButton(ToQString(CString(text)), parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(rect);
    button->setAutoDefault(false);
    return button;
}

std::string Utf8Of(const QLineEdit* edit) { return edit->text().toStdString(); }

}  // namespace

savedlgoption::savedlgoption(CDralvekOstruneApp& app, QWidget* parent, ConnectionTester tester)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_app(app),
      m_tester(tester ? std::move(tester) : ConnectionTester(TestServerConnection)) {
    setObjectName(QStringLiteral("saveOptions"));
    setWindowTitle(QStringLiteral("Save Database"));
    setFixedSize(Units(0, 0, 364, 209).size());

    Label(this, u"Choose the saving mode and click OK button to continue the process", Units(19, 11, 226, 8));
    auto* serverGroup = new QFrame(this);
    serverGroup->setFrameShape(QFrame::Box);
    serverGroup->setGeometry(Units(10, 30, 340, 88));
    auto* scriptGroup = new QFrame(this);
    scriptGroup->setFrameShape(QFrame::Box);
    scriptGroup->setGeometry(Units(10, 124, 340, 54));

    m_radioDatabase = new QRadioButton(QStringLiteral("Save in database"), this);
    m_radioDatabase->setObjectName(QStringLiteral("saveInDatabase"));
    m_radioDatabase->setGeometry(Units(18, 29, 89, 10));
    // Each radio button is alone in its group; the handlers set both states.
    m_radioDatabase->setAutoExclusive(false);
    m_radioScript = new QRadioButton(QStringLiteral("Save as Script"), this);
    m_radioScript->setObjectName(QStringLiteral("saveAsScript"));
    m_radioScript->setGeometry(Units(18, 123, 61, 10));
    m_radioScript->setAutoExclusive(false);

    Label(this, u"Server:", Units(37, 49, 25, 8));
    m_editServer = Edit(this, "server", Units(69, 47, 105, 14));
    Label(this, u"Port:", Units(196, 49, 17, 8));
    m_editPort = Edit(this, "port", Units(237, 47, 75, 14));
    Label(this, u"User:", Units(37, 75, 18, 8));
    m_editUser = Edit(this, "user", Units(69, 72, 105, 14));
    Label(this, u"Password:", Units(193, 75, 34, 8));
    m_editPassword = Edit(this, "password", Units(237, 72, 75, 14));
    m_editPassword->setEchoMode(QLineEdit::Password);
    m_btnTest = Button(this, "testConnection", u"Test Connection", Units(146, 95, 85, 16));
    m_btnTest->setToolTip(QStringLiteral("Test connection"));

    Label(this, u"Saving Folder:", Units(24, 144, 47, 8));
    m_editFolder = Edit(this, "folder", Units(77, 142, 238, 14));
    m_editFolder->setReadOnly(true);
    m_btnBrowse = Button(this, "browse", u"...", Units(320, 141, 25, 16));

    m_btnOK = Button(this, "ok", u"OK", Units(131, 188, 55, 16));
    m_btnOK->setDefault(true);
    m_btnOK->setToolTip(QStringLiteral("OK"));
    m_btnCancel = Button(this, "cancel", u"Cancel", Units(191, 188, 55, 16));
    m_btnCancel->setToolTip(QStringLiteral("Cancel"));

    connect(m_btnTest, &QPushButton::clicked, this, [this] { OnTestConnection(); });
    connect(m_radioDatabase, &QRadioButton::clicked, this, [this] { OnSaveInDatabase(); });
    connect(m_radioScript, &QRadioButton::clicked, this, [this] { OnSaveAsScript(); });
    connect(m_btnOK, &QPushButton::clicked, this, [this] { OnBnClickedOk(); });
    connect(m_btnBrowse, &QPushButton::clicked, this, [this] { OnBrowseFolder(); });
    connect(m_btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    // A test holds for the fields it was made with: any edit of them makes it void.
    for (QLineEdit* edit : {m_editServer, m_editPort, m_editUser, m_editPassword})
        connect(edit, &QLineEdit::textChanged, this, [this] { m_bConnectionTested = false; });
    OnInitDialog();
}

void savedlgoption::OnInitDialog() {
    m_editServer->setText(QStringLiteral("localhost"));
    m_editPort->setText(QStringLiteral("3306"));
    m_editUser->setText(QStringLiteral("root"));
    m_editPassword->clear();
    m_editFolder->clear();
    OnSaveInDatabase();
    m_bConnectionTested = false;
    m_strTestedDriver.clear();
}

void savedlgoption::OnSaveInDatabase() {
    m_radioDatabase->setChecked(true);
    m_radioScript->setChecked(false);
    m_editFolder->setEnabled(false);
    m_btnBrowse->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{m_editServer, m_editPort, m_editUser, m_editPassword, m_btnTest})
        w->setEnabled(true);
}

void savedlgoption::OnSaveAsScript() {
    m_radioDatabase->setChecked(false);
    m_radioScript->setChecked(true);
    m_editFolder->setEnabled(true);
    m_btnBrowse->setEnabled(true);
    for (QWidget* w : std::initializer_list<QWidget*>{m_editServer, m_editPort, m_editUser, m_editPassword, m_btnTest})
        w->setEnabled(false);
}

ServerSettings savedlgoption::FieldSettings() const {
    return {Utf8Of(m_editServer), Utf8Of(m_editPort), Utf8Of(m_editUser), Utf8Of(m_editPassword), {}};
}

void savedlgoption::Message(const CString& text) {
    Prompts().MessageBox(this, text, kProductCaption, PromptIcon::Information, PromptButtons::Ok);
}

void savedlgoption::OnTestConnection() {
    const ServerSettings settings = FieldSettings();
    if (settings.server.empty()) return Message(kEnterServer);
    if (settings.user.empty()) return Message(kEnterUser);
    if (settings.port.empty()) return Message(kEnterPort);
    unsigned port = 0;
    if (!ParseServerPort(settings.port, port)) {
        m_bConnectionTested = false;
        return Message(kBadPort);
    }
    const ConnectionTestResult result = m_tester(settings);
    m_strTestedDriver = result.driver;
    const CString through =
        result.driver.empty() ? CString() : u"\nODBC driver: " + CString::FromUtf8(result.driver);
    if (result.ok) {
        Message(CString(kConnected) + through);
        m_bConnectionTested = true;
    } else {
        Message(u"Connection is Failed: " + CString::FromUtf8(result.message) + through);
        m_bConnectionTested = false;
    }
}

void savedlgoption::StoreServerChoice() {
    m_app.m_bSaveAsScript = 0;
    m_app.m_bSaveToServer = 1;
    m_app.m_strServer = FromQString(m_editServer->text());
    m_app.m_strServerUser = FromQString(m_editUser->text());
    m_app.m_strServerPort = FromQString(m_editPort->text());
    m_app.m_strServerPassword = FromQString(m_editPassword->text());
}

void savedlgoption::OnBnClickedOk() {
    if (m_radioDatabase->isChecked()) {
        if (m_bConnectionTested) {
            StoreServerChoice();
            accept();
            return;
        }
        // Tested now; a further OK (with the fields unchanged) takes the choice.
        OnTestConnection();
        if (!m_bConnectionTested) Message(kTestFailedForSave);
        return;
    }
    if (m_editFolder->text().isEmpty()) {
        Message(kChooseFolder);
        return;
    }
    m_app.m_bSaveAsScript = 1;
    m_app.m_bSaveToServer = 0;
    m_app.m_strSaveFolder = FromQString(m_editFolder->text());
    accept();
}

void savedlgoption::OnBrowseFolder() {
    // A cancelled picker empties the field.
    m_editFolder->setText(ToQString(Prompts().ChooseFolder(this, kPickerTitle, CString())));
}

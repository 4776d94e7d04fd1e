#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/SaveOptionsDlg.h"
#include "WindowTestSupport.h"

namespace {

// A dialog whose connection test answers from the test, counting the attempts.
struct DialogFixture {
    CDralvekOstruneApp app;
    CScriptedPrompts prompts;
    int attempts = 0;
    ConnectionTestResult answer{true, "MariaDB Unicode", "Connection is successful"};
    ServerSettings lastTried;
    std::unique_ptr<savedlgoption> dialog;

    DialogFixture() {
        TestApp();
        dialog = std::make_unique<savedlgoption>(app, nullptr, [this](const ServerSettings& s) {
            ++attempts;
            lastTried = s;
            return answer;
        });
    }
    std::u16string LastMessage() const {
        const auto m = prompts.Messages();
        return m.empty() ? std::u16string() : m.back();
    }
};

TEST(SaveOptionsDialog, AFreshShowingProposesALocalServerWithTheFolderFieldDisabled) {
    DialogFixture f;
    savedlgoption& d = *f.dialog;
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Save Database"));
    EXPECT_EQ(d.m_editServer->text(), QStringLiteral("localhost"));
    EXPECT_EQ(d.m_editPort->text(), QStringLiteral("3306"));
    EXPECT_EQ(d.m_editUser->text(), QStringLiteral("root"));
    EXPECT_TRUE(d.m_editPassword->text().isEmpty());
    EXPECT_EQ(d.m_editPassword->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(d.m_radioDatabase->isChecked());
    EXPECT_FALSE(d.m_radioScript->isChecked());
    EXPECT_FALSE(d.m_editFolder->isEnabled());
    EXPECT_FALSE(d.m_btnBrowse->isEnabled());
    EXPECT_TRUE(d.m_btnTest->isEnabled());
    d.OnSaveAsScript();
    EXPECT_FALSE(d.m_radioDatabase->isChecked());
    EXPECT_TRUE(d.m_editFolder->isEnabled());
    EXPECT_FALSE(d.m_editServer->isEnabled());
    EXPECT_FALSE(d.m_btnTest->isEnabled());
}

TEST(SaveOptionsDialog, TheTestRefusesMissingFieldsAndPortsOutsideTheRangeWithoutTrying) {
    struct Case {
        const char* server;
        const char* user;
        const char* port;
        const char16_t* message;
    };
    const Case cases[] = {
        {"", "", "", u"Please enter Server name."},
        {"h", "", "", u"Please enter user name."},
        {"h", "u", "", u"Please enter port number."},
        {"h", "u", "0", u"Please enter a port number from 1 to 65535."},
        {"h", "u", "65536", u"Please enter a port number from 1 to 65535."},
        {"h", "u", "33a", u"Please enter a port number from 1 to 65535."},
    };
    for (const Case& c : cases) {
        DialogFixture f;
        f.dialog->m_editServer->setText(QString::fromUtf8(c.server));
        f.dialog->m_editUser->setText(QString::fromUtf8(c.user));
        f.dialog->m_editPort->setText(QString::fromUtf8(c.port));
        f.dialog->OnTestConnection();
        EXPECT_EQ(f.prompts.Messages(), std::vector<std::u16string>{c.message}) << c.port;
        EXPECT_EQ(f.attempts, 0);
        EXPECT_FALSE(f.dialog->m_bConnectionTested);
    }
}

TEST(SaveOptionsDialog, AnyEditOfAFieldTheTestUsedMakesTheTestVoid) {
    for (int field = 0; field < 4; ++field) {
        DialogFixture f;
        f.dialog->OnTestConnection();
        ASSERT_TRUE(f.dialog->m_bConnectionTested);
        EXPECT_EQ(f.LastMessage().rfind(u"Connection is successful", 0), 0u);
        // The dialog says which driver the test went through.
        EXPECT_NE(f.LastMessage().find(u"MariaDB Unicode"), std::u16string::npos);
        QLineEdit* edits[] = {f.dialog->m_editServer, f.dialog->m_editPort, f.dialog->m_editUser,
                              f.dialog->m_editPassword};
        edits[field]->setText(edits[field]->text() + QStringLiteral("1"));
        EXPECT_FALSE(f.dialog->m_bConnectionTested) << field;
        // OK now tests again rather than accept the edited fields.
        f.dialog->OnBnClickedOk();
        EXPECT_EQ(f.attempts, 2);
        EXPECT_EQ(f.app.m_bSaveToServer, 0);
        EXPECT_EQ(f.dialog->result(), QDialog::Rejected);
    }
}

TEST(SaveOptionsDialog, ServerModeTakesEffectOnlyWhenOkClosesTheDialog) {
    DialogFixture f;
    f.app.m_bSaveAsScript = 0;
    f.dialog->m_editPassword->setText(QStringLiteral("p;w}d"));
    // First OK: the test runs and succeeds; nothing is stored yet, the dialog stays.
    f.dialog->OnBnClickedOk();
    EXPECT_EQ(f.attempts, 1);
    EXPECT_EQ(f.lastTried.password, "p;w}d");
    EXPECT_EQ(f.app.m_bSaveToServer, 0);
    EXPECT_EQ(f.dialog->result(), QDialog::Rejected);
    // Second OK: accepted with the four fields.
    f.dialog->OnBnClickedOk();
    EXPECT_EQ(f.attempts, 1);
    EXPECT_EQ(f.dialog->result(), QDialog::Accepted);
    EXPECT_EQ(f.app.m_bSaveToServer, 1);
    EXPECT_EQ(f.app.m_bSaveAsScript, 0);
    EXPECT_EQ(f.app.m_strServer, CString(u"localhost"));
    EXPECT_EQ(f.app.m_strServerPort, CString(u"3306"));
    EXPECT_EQ(f.app.m_strServerUser, CString(u"root"));
    EXPECT_EQ(f.app.m_strServerPassword, CString(u"p;w}d"));
}

TEST(SaveOptionsDialog, AFailedTestKeepsTheDialogOpenAndTheApplicationUnchanged) {
    DialogFixture f;
    f.answer = {false, "MariaDB Unicode", "SQLSTATE HY000: Can't connect"};
    f.dialog->OnBnClickedOk();
    const auto m = f.prompts.Messages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_NE(m[0].find(u"SQLSTATE HY000"), std::u16string::npos);
    EXPECT_EQ(m[1], u"Test connection is unsuccessful.Saving in database cannot be done.");
    EXPECT_EQ(f.dialog->result(), QDialog::Rejected);
    EXPECT_EQ(f.app.m_bSaveToServer, 0);
    EXPECT_EQ(f.app.m_bSaveAsScript, 0);
}

TEST(SaveOptionsDialog, ScriptModeNeedsAFolderAndARefusedOkOrCancelChangesNothing) {
    DialogFixture f;
    f.dialog->OnSaveAsScript();
    f.dialog->OnBnClickedOk();
    EXPECT_EQ(f.LastMessage(), u"Please select valid destination folder path.");
    EXPECT_EQ(f.dialog->result(), QDialog::Rejected);
    // A refused OK left the window's mode alone: later pages stay in display mode.
    EXPECT_EQ(f.app.m_bSaveAsScript, 0);
    EXPECT_EQ(f.app.WindowReadContext().mode, ValueMode::Display);
    f.dialog->m_btnCancel->click();
    EXPECT_EQ(f.app.m_bSaveAsScript, 0);

    // The picker's folder, then OK.
    DialogFixture g;
    g.dialog->OnSaveAsScript();
    g.prompts.folders.push_back(u"/tmp/saved");
    g.dialog->OnBrowseFolder();
    EXPECT_EQ(g.dialog->m_editFolder->text(), QStringLiteral("/tmp/saved"));
    g.dialog->OnBnClickedOk();
    EXPECT_EQ(g.dialog->result(), QDialog::Accepted);
    EXPECT_EQ(g.app.m_bSaveAsScript, 1);
    EXPECT_EQ(g.app.m_bSaveToServer, 0);
    EXPECT_EQ(g.app.m_strSaveFolder, CString(u"/tmp/saved"));
    // A cancelled picker empties the field.
    g.dialog->OnBrowseFolder();
    EXPECT_TRUE(g.dialog->m_editFolder->text().isEmpty());
}

}  // namespace

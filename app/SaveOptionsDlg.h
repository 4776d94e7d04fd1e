#pragma once

#include <functional>

#include <QDialog>

#include "app/OdbcSave.h"

class CDralvekOstruneApp;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The "Save Database" dialog: save into a live server (tried with a connection test) or as
// a script into a folder. Its choice reaches the application object only when OK closes
// it; a refused OK or Cancel leaves the application as it was.
class savedlgoption : public QDialog {
public:
    using ConnectionTester = std::function<ConnectionTestResult(const ServerSettings&)>;

    // tester: the connection test (TestServerConnection unless a test puts another).
    explicit savedlgoption(CDralvekOstruneApp& app, QWidget* parent = nullptr, ConnectionTester tester = {});

    // Field texts and mode afresh, as each showing starts.
    void OnInitDialog();
    void OnTestConnection();
    void OnSaveInDatabase();
    void OnSaveAsScript();
    void OnBnClickedOk();
    void OnBrowseFolder();

    // The settings the fields hold (socket empty: the dialog has no field for it).
    ServerSettings FieldSettings() const;

    QLineEdit* m_editServer = nullptr;
    QLineEdit* m_editPort = nullptr;
    QLineEdit* m_editUser = nullptr;
    QLineEdit* m_editPassword = nullptr;
    QRadioButton* m_radioDatabase = nullptr;
    QRadioButton* m_radioScript = nullptr;
    QPushButton* m_btnTest = nullptr;
    QLineEdit* m_editFolder = nullptr;
    QPushButton* m_btnBrowse = nullptr;
    QPushButton* m_btnOK = nullptr;
    QPushButton* m_btnCancel = nullptr;
    // The last connection test succeeded, and no field it used was edited since.
    bool m_bConnectionTested = false;
    // The driver the last test went through.
    std::string m_strTestedDriver;

private:
    void Message(const CString& text);
    void StoreServerChoice();
    CDralvekOstruneApp& m_app;
    ConnectionTester m_tester;
};

#pragma once

#include <QDialog>

#include "platform/core/CString.h"

class CDralvekOstruneApp;
class QLineEdit;
class QPushButton;

inline constexpr const char16_t* kInvalidDatabaseFolder =
    u"Please select valid database file path to continue the recovery process.";
inline constexpr const char16_t* kInvalidTempFolder =
    u"Please select valid temporary file path to continue the recovery process.";
inline constexpr const char16_t* kInvalidLogFolder = u"Please select valid Log file path to continue the recovery process.";

// The three folders of a scan: the data folder, a temporary folder and the log folder.
// On OK each must be an existing directory (the log folder writable); they are stored in
// the application object as absolute paths ending in a separator.
class CDralvekFileSettingDlg : public QDialog {
public:
    // proposedFolder: the data folder to start with (the command line's); may be empty.
    CDralvekFileSettingDlg(CDralvekOstruneApp& app, const CString& proposedFolder, QWidget* parent = nullptr);

    void OnBrowseDatabaseFolder();
    void OnBrowseTempFolder();
    void OnBrowseLogFolder();
    // Checks and stores the folders and closes with Accepted; a failed check says why and
    // keeps the dialog open. False when a check failed.
    bool OnBnClickedOk();
    void OnBnClickedCancel() { reject(); }

    QLineEdit* m_editDatabase = nullptr;
    QLineEdit* m_editTemp = nullptr;
    QLineEdit* m_editLog = nullptr;
    QPushButton* m_btnOk = nullptr;
    QPushButton* m_btnCancel = nullptr;

protected:
    // Enter and Escape neither close the dialog nor press a button.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Inform(const CString& text);
    CDralvekOstruneApp& m_app;
};

// The absolute form of a typed folder, with one trailing separator; empty for empty text.
CString AbsoluteFolder(const CString& typed);

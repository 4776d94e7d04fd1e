#pragma once

#include <QDialog>
#include <QFont>

class QLabel;
class QPushButton;

// The About box. Only its OK button closes it: Enter, Escape and the caption's close
// button do nothing, and it can be dragged by any point.
class CDralvekAboutDlg : public QDialog {
public:
    explicit CDralvekAboutDlg(QWidget* parent = nullptr);

    // Sets the texts afresh, as each showing does.
    void OnInitDialog();

    QPushButton* m_btnOK = nullptr;
    QLabel* m_staticNotice = nullptr;
    QLabel* m_staticTitle = nullptr;
    QLabel* m_staticAbout = nullptr;
    QLabel* m_staticSeparator = nullptr;
    QFont m_fontTitle;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool m_bClosingByOk = false;
};

// The one About box of the process, made on first use (after the application object of
// the window library exists) and destroyed by DestroyGlobalDialogs before it goes.
CDralvekAboutDlg& TheAboutDialog();
void DestroyGlobalDialogs();

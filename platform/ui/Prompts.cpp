#include "platform/ui/Prompts.h"

#include <unistd.h>

#include <cstdio>

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "platform/ui/QtText.h"

namespace {

CQtPrompts g_qtPrompts;
IPrompts* g_prompts = nullptr;

}  // namespace

IPrompts& Prompts() { return g_prompts ? *g_prompts : g_qtPrompts; }

void SetPrompts(IPrompts* prompts) { g_prompts = prompts; }

PromptAnswer CQtPrompts::MessageBox(QWidget* owner, const CString& text, const CString& caption, PromptIcon icon,
                                    PromptButtons buttons) {
    QMessageBox box(owner);
    // Messages quote names read from data files: never markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(ToQString(text));
    box.setWindowTitle(ToQString(caption));
    box.setIcon(icon == PromptIcon::Question ? QMessageBox::Question
                : icon == PromptIcon::Error  ? QMessageBox::Critical
                                             : QMessageBox::Information);
    if (buttons == PromptButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? PromptAnswer::Yes : PromptAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return PromptAnswer::Ok;
}

CString CQtPrompts::ChooseFile(QWidget* owner, const CString& caption, const CString& startFolder,
                               const CString& filter) {
    return FromQString(QFileDialog::getOpenFileName(owner, ToQString(caption), ToQString(startFolder), ToQString(filter)));
}

CString CQtPrompts::ChooseFolder(QWidget* owner, const CString& caption, const CString& startFolder) {
    return FromQString(QFileDialog::getExistingDirectory(owner, ToQString(caption), ToQString(startFolder)));
}

int CQtPrompts::RunDialog(QDialog& dialog) { return dialog.exec(); }

bool CQtPrompts::OpenAddress(const CString& address) {
    const QString text = ToQString(address);
    const QUrl url = text.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(text) : QUrl(text);
    return QDesktopServices::openUrl(url);
}

void CQtPrompts::EndProcess(int exitCode) {
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(exitCode);
}

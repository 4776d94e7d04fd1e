#pragma once

#include <functional>

#include "platform/core/CString.h"

class QDialog;
class QWidget;

enum class PromptIcon { Information, Question, Error };
enum class PromptButtons { Ok, YesNo };
enum class PromptAnswer { Ok, Yes, No };

// Everything that waits on the user or leaves the program: message boxes, file and folder
// pickers, modal dialogs, opening an address and ending the process. Tests put a scripted
// implementation in place so that no test blocks on a dialog, opens a browser or ends.
class IPrompts {
public:
    virtual ~IPrompts() = default;

    virtual PromptAnswer MessageBox(QWidget* owner, const CString& text, const CString& caption, PromptIcon icon,
                                    PromptButtons buttons) = 0;
    // The chosen file, or empty when the user cancelled.
    virtual CString ChooseFile(QWidget* owner, const CString& caption, const CString& startFolder,
                               const CString& filter) = 0;
    // The chosen folder, or empty when the user cancelled.
    virtual CString ChooseFolder(QWidget* owner, const CString& caption, const CString& startFolder) = 0;
    // Runs a dialog modally and returns its result code.
    virtual int RunDialog(QDialog& dialog) = 0;
    // Hands an address (a web page, a mail link, a local file URL) to the desktop.
    virtual bool OpenAddress(const CString& address) = 0;
    // Ends the process at once with the given exit code; returns only when a test replaced it.
    virtual void EndProcess(int exitCode) = 0;
};

// The prompts in force: the Qt ones unless SetPrompts put others in place.
IPrompts& Prompts();
// Puts prompts in place (null: back to the Qt ones). The caller keeps ownership.
void SetPrompts(IPrompts* prompts);

// Real dialogs, pickers and the desktop's opener.
class CQtPrompts : public IPrompts {
public:
    PromptAnswer MessageBox(QWidget* owner, const CString& text, const CString& caption, PromptIcon icon,
                            PromptButtons buttons) override;
    CString ChooseFile(QWidget* owner, const CString& caption, const CString& startFolder,
                       const CString& filter) override;
    CString ChooseFolder(QWidget* owner, const CString& caption, const CString& startFolder) override;
    int RunDialog(QDialog& dialog) override;
    bool OpenAddress(const CString& address) override;
    [[noreturn]] void EndProcess(int exitCode) override;
};

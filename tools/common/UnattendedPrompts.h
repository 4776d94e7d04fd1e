#pragma once

// Answers for driving the window without a user (benchmarks, screenshots): the folder
// settings take the given data and log folders, every box is acknowledged, questions are
// answered No, no file or folder is picked.

#include <functional>
#include <utility>

#include <QDialog>
#include <QLineEdit>
#include <QString>

#include "app/FileSettingDlg.h"
#include "platform/ui/Prompts.h"

class CUnattendedPrompts : public IPrompts {
public:
    // beforeOk sees the filled-in folder settings before they are accepted.
    CUnattendedPrompts(QString data, QString log, std::function<void(CDralvekFileSettingDlg&)> beforeOk = {})
        : m_data(std::move(data)), m_log(std::move(log)), m_beforeOk(std::move(beforeOk)) {}
    PromptAnswer MessageBox(QWidget*, const CString&, const CString&, PromptIcon, PromptButtons buttons) override {
        return buttons == PromptButtons::Ok ? PromptAnswer::Ok : PromptAnswer::No;
    }
    CString ChooseFile(QWidget*, const CString&, const CString&, const CString&) override { return {}; }
    CString ChooseFolder(QWidget*, const CString&, const CString&) override { return {}; }
    int RunDialog(QDialog& dialog) override {
        auto* settings = dynamic_cast<CDralvekFileSettingDlg*>(&dialog);
        if (!settings) return QDialog::Rejected;
        settings->m_editDatabase->setText(m_data);
        settings->m_editLog->setText(m_log);
        if (m_beforeOk) m_beforeOk(*settings);
        return settings->OnBnClickedOk() ? QDialog::Accepted : QDialog::Rejected;
    }
    bool OpenAddress(const CString&) override { return false; }
    void EndProcess(int) override {}

private:
    QString m_data;
    QString m_log;
    std::function<void(CDralvekFileSettingDlg&)> m_beforeOk;
};

#pragma once

#include <atomic>
#include <chrono>
#include <thread>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/DralvekOstruneApp.h"
#include "app/MainFrame.h"
#include "platform/ui/ProfileStore.h"
#include "platform/ui/Prompts.h"
#include "platform/ui/QtText.h"

// The Qt application of the test process, made once.
inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "window_tests";
    static char* argv[] = {name, nullptr};
    // Headless whatever the environment holds.
    static const bool headless = qputenv("QT_QPA_PLATFORM", "offscreen");
    (void)headless;
    // Never destroyed: Qt's own statics are gone by the time exit handlers would run it.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Prompts that answer from a script and remember what was asked.
class CScriptedPrompts : public IPrompts {
public:
    struct Asked {
        std::string kind;  // "message", "file", "folder", "dialog", "open", "end"
        CString text;
        CString caption;
        PromptIcon icon = PromptIcon::Information;
        PromptButtons buttons = PromptButtons::Ok;
        int exitCode = 0;
    };

    CScriptedPrompts() { SetPrompts(this); }
    ~CScriptedPrompts() override { SetPrompts(nullptr); }

    std::deque<PromptAnswer> answers;
    // What the file and folder pickers return, in order; empty (cancelled) once used up.
    std::deque<CString> files;
    std::deque<CString> folders;
    std::function<int(QDialog&)> onDialog;
    // Called with each message box's text as it is shown.
    std::function<void(const CString&)> onMessage;
    bool openSucceeds = true;
    std::vector<Asked> asked;

    PromptAnswer MessageBox(QWidget*, const CString& text, const CString& caption, PromptIcon icon,
                            PromptButtons buttons) override {
        asked.push_back({"message", text, caption, icon, buttons, 0});
        if (onMessage) onMessage(text);
        if (buttons == PromptButtons::Ok) return PromptAnswer::Ok;
        if (answers.empty()) {
            ADD_FAILURE() << "unscripted question: " << ToQString(text).toStdString();
            return PromptAnswer::No;
        }
        PromptAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    CString ChooseFile(QWidget*, const CString& caption, const CString&, const CString&) override {
        asked.push_back({"file", {}, caption, PromptIcon::Information, PromptButtons::Ok, 0});
        if (files.empty()) return {};
        CString chosen = files.front();
        files.pop_front();
        return chosen;
    }
    CString ChooseFolder(QWidget*, const CString& caption, const CString&) override {
        asked.push_back({"folder", {}, caption, PromptIcon::Information, PromptButtons::Ok, 0});
        if (folders.empty()) return {};
        CString chosen = folders.front();
        folders.pop_front();
        return chosen;
    }
    int RunDialog(QDialog& dialog) override {
        asked.push_back({"dialog", FromQString(dialog.windowTitle()), {}, PromptIcon::Information, PromptButtons::Ok, 0});
        return onDialog ? onDialog(dialog) : QDialog::Rejected;
    }
    bool OpenAddress(const CString& address) override {
        asked.push_back({"open", address, {}, PromptIcon::Information, PromptButtons::Ok, 0});
        return openSucceeds;
    }
    void EndProcess(int exitCode) override {
        asked.push_back({"end", {}, {}, PromptIcon::Information, PromptButtons::Ok, exitCode});
    }

    // The texts of the message boxes shown, in order.
    std::vector<std::u16string> Messages() const {
        std::vector<std::u16string> texts;
        for (const Asked& a : asked)
            if (a.kind == "message") texts.push_back(a.text.Str());
        return texts;
    }
    int Count(const std::string& kind) const {
        int n = 0;
        for (const Asked& a : asked) n += a.kind == kind;
        return n;
    }
    void Forget() { asked.clear(); }
};

// Runs the event loop until done() holds or the time is up.
inline bool PumpUntil(const std::function<bool()>& done, int milliseconds = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// An application object, scripted prompts, a profile in a temporary folder and a frame
// made as start-up makes it (without the splash).
struct FrameFixture {
    QTemporaryDir folder;
    CDralvekOstruneApp app;
    CScriptedPrompts prompts;
    std::unique_ptr<CProfileStore> profile;
    std::unique_ptr<CMainFrame> frame;

    FrameFixture() {
        TestApp();
        CProfileStore::SetRootFolder(folder.path());
        profile = std::make_unique<CProfileStore>(u"DralvekMySqlReVuvUrevve22.08", u"Dralvek RaDAZ Idevurod Orerudiz v22.08");
        frame = std::make_unique<CMainFrame>(app, profile.get());
        created = frame->OnCreate(false);
    }
    ~FrameFixture() {
        // A test that left a worker running lets it end before the frame goes.
        release = true;
        if (frame && frame->WorkerRunning()) {
            PumpUntil([this] { return !frame->WorkerRunning(); });
        }
        frame.reset();
        CProfileStore::SetRootFolder(QString());
    }
    bool created = false;
    std::atomic<bool> release{false};

    // A worker that works "file after file" until Stop or the end of the test.
    bool StartPollingWorker(std::atomic<int>* files = nullptr) {
        return frame->StartWorker([this, files] {
            while (!frame->StopRequested() && !release) {
                if (files) ++*files;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    void WaitForWorkerEnd() { ASSERT_TRUE(PumpUntil([this] { return !frame->WorkerRunning(); })); }
};

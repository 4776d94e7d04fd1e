#include "app/AppStartup.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>

#include "app/AboutDlg.h"
#include "app/DralvekOstruneApp.h"
#include "app/MainFrame.h"
#include "app/WindowTexts.h"
#include "platform/ui/NamedMutex.h"
#include "platform/ui/ProfileStore.h"
#include "platform/ui/QtText.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
    const char byte = 1;
    // Only an async-signal-safe write here; the frame's close runs on the GUI thread.
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT reach the frame's close logic through a socket the GUI thread reads.
// The handlers come first, so a signal during start-up waits in the socket for the frame.
bool InstallTerminationHandlers() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return false;
    ::fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    return true;
}

std::unique_ptr<QSocketNotifier> RouteTerminationSignals() {
    if (g_signalPipe[0] < 0) return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [] {
        char buffer[16];
        [[maybe_unused]] ssize_t n = ::read(g_signalPipe[0], buffer, sizeof buffer);
        if (CMainFrame* frame = TheMainFrame()) frame->CloseFromSystem();
    });
    return notifier;
}

// Destroys the global dialogs when start-up or the loop ends, before the Qt application.
struct GlobalDialogsScope {
    ~GlobalDialogsScope() { DestroyGlobalDialogs(); }
};

}  // namespace

CommandLine ParseCommandLine(int argc, char** argv) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("-", 0) == 0 && arg != "-") {
            // Qt's own options were taken out by QApplication already.
            line.error = "unknown option " + arg;
            return line;
        }
        if (!line.dataFolder.empty()) {
            line.error = "more than one data folder given";
            return line;
        }
        line.dataFolder = arg;
    }
    if (!line.dataFolder.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(line.dataFolder, ec)) {
            line.error = "not a folder: " + line.dataFolder;
            return line;
        }
        line.dataFolder = std::filesystem::absolute(line.dataFolder, ec).lexically_normal().string();
        if (line.dataFolder.empty() || line.dataFolder.back() != '/') line.dataFolder += '/';
    }
    return line;
}

int RunDralvekOstrune(int argc, char** argv) {
    // The order of the process-wide objects: the running mutex, the application object
    // (which reads the collation table), then the window library.
    InstallTerminationHandlers();
    CNamedMutex runningMutex(ToQString(kRunningMutexName));
    CDralvekOstruneApp app;

    if (!qEnvironmentVariableIsSet("DISPLAY") && !qEnvironmentVariableIsSet("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "dralvek-ostrune: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is "
                     "set).\nStart it under a virtual X server:  xvfb-run -a build/bin/dralvek-ostrune [DATA-FOLDER]\n");
        return 1;
    }
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(ToQString(kProductCaption));
    GlobalDialogsScope dialogs;

    const CommandLine line = ParseCommandLine(argc, argv);
    if (!line.error.empty()) {
        std::fprintf(stderr, "dralvek-ostrune: %s\nusage: dralvek-ostrune [DATA-FOLDER]\n", line.error.c_str());
        return 2;
    }

    CProfileStore profile(kRegistryKey, kProductCaption);
    auto frame = std::make_unique<CMainFrame>(app, &profile);
    if (!frame->OnCreate(true)) {
        std::fprintf(stderr, "dralvek-ostrune: the main window could not be created.\n");
        return 1;
    }
    if (!line.dataFolder.empty()) frame->SetProposedFolder(CString::FromUtf8(line.dataFolder));
    std::unique_ptr<QSocketNotifier> signalNotifier = RouteTerminationSignals();
    QObject::connect(&qtApp, &QGuiApplication::commitDataRequest, frame.get(), [&frame] { frame->CloseFromSystem(); });
    // Without a window manager nothing maximises the window: it is given the screen itself.
    if (QScreen* screen = QGuiApplication::primaryScreen()) frame->setGeometry(screen->availableGeometry());
    frame->show();
    if (!line.dataFolder.empty()) QMetaObject::invokeMethod(frame.get(), [&frame] { frame->OnOpenDatabase(); }, Qt::QueuedConnection);
    const int code = QApplication::exec();
    frame.reset();
    return code;
}

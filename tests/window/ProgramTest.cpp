#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/AppStartup.h"

extern char** environ;

namespace {

struct ProgramRun {
    int status = -1;
    std::string err;
};

// Starts the program with the given environment changes; sends signal after delay when
// signal is not 0; returns its wait status and stderr.
ProgramRun RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& env, int signal = 0,
               int delayMs = 0) {
    QTemporaryDir dir;
    const std::string errPath = dir.filePath(QStringLiteral("err")).toStdString();
    std::vector<std::string> envs = env;
    envs.push_back("HOME=" + dir.path().toStdString());
    envs.push_back("XDG_CONFIG_HOME=" + dir.path().toStdString());
    std::vector<char*> envp;
    for (std::string& e : envs) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStore = args;
    argStore.insert(argStore.begin(), DRALVEK_PROGRAM);
    std::vector<char*> argv;
    for (std::string& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    ProgramRun run;
    if (posix_spawn(&pid, DRALVEK_PROGRAM, &actions, nullptr, argv.data(), envp.data()) != 0) return run;
    posix_spawn_file_actions_destroy(&actions);
    if (signal != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        kill(pid, signal);
    }
    waitpid(pid, &run.status, 0);
    std::ifstream in(errPath);
    std::stringstream text;
    text << in.rdbuf();
    run.err = text.str();
    return run;
}

}  // namespace

// SIGTERM and SIGINT end the program through the frame's close: exit code -1 (255). The
// handlers stand from the first line of start-up, so the delay need only cover loading.
TEST(Program, TerminationSignalsGoThroughTheClose) {
    struct Case {
        int signal;
        int delayMs;
    };
    for (const Case c : {Case{SIGTERM, 1000}, Case{SIGINT, 1000}}) {
        SCOPED_TRACE(c.signal);
        SCOPED_TRACE(c.delayMs);
        ProgramRun run = RunProgram({}, {"QT_QPA_PLATFORM=offscreen"}, c.signal, c.delayMs);
        ASSERT_TRUE(WIFEXITED(run.status)) << run.err;
        EXPECT_EQ(WEXITSTATUS(run.status), 255);
    }
}

// Start-up that cannot go on says why on stderr instead of vanishing.
TEST(Program, FailedStartUpSaysWhy) {
    ProgramRun noDisplay = RunProgram({}, {});
    ASSERT_TRUE(WIFEXITED(noDisplay.status));
    EXPECT_EQ(WEXITSTATUS(noDisplay.status), 1);
    EXPECT_NE(noDisplay.err.find("no display"), std::string::npos) << noDisplay.err;
    EXPECT_NE(noDisplay.err.find("xvfb-run"), std::string::npos) << noDisplay.err;

    ProgramRun notAFolder = RunProgram({"/nonexistent/folder"}, {"QT_QPA_PLATFORM=offscreen"});
    ASSERT_TRUE(WIFEXITED(notAFolder.status));
    EXPECT_EQ(WEXITSTATUS(notAFolder.status), 2);
    EXPECT_NE(notAFolder.err.find("not a folder: /nonexistent/folder"), std::string::npos) << notAFolder.err;
}

TEST(Program, CommandLine) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    struct Case {
        std::vector<std::string> args;
        std::string folder;
        std::string error;
    };
    const Case cases[] = {
        {{}, "", ""},
        {{folder}, folder + "/", ""},
        {{folder + "/"}, folder + "/", ""},
        {{folder, folder}, "", "more than one data folder given"},
        {{"--frobnicate"}, "", "unknown option --frobnicate"},
        {{folder + "/missing"}, "", "not a folder: " + folder + "/missing"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> store = c.args;
        store.insert(store.begin(), "dralvek-ostrune");
        std::vector<char*> argv;
        for (std::string& a : store) argv.push_back(a.data());
        CommandLine line = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(line.error, c.error);
        if (c.error.empty()) {
            EXPECT_EQ(line.dataFolder, c.folder);
        }
    }
}

#include <atomic>
#include <thread>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/ui/GuiThread.h"
#include "platform/ui/NamedMutex.h"
#include "platform/ui/ProfileStore.h"

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    // Headless whatever the environment holds.
    static const bool headless = qputenv("QT_QPA_PLATFORM", "offscreen");
    (void)headless;
    // Never destroyed: Qt's own statics are gone by the time exit handlers would run it.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

}  // namespace

TEST(ProfileStore, IniUnderTheRegistryKeyFolder) {
    QTemporaryDir root;
    CProfileStore::SetRootFolder(root.path());
    {
        CProfileStore profile(u"DralvekMySqlReVuvUrevve22.08", u"App v1");
        EXPECT_EQ(profile.FilePath(), root.path() + QStringLiteral("/DralvekMySqlReVuvUrevve22.08/App v1.ini"));
        EXPECT_EQ(profile.GetProfileInt(u"Workspace", u"ApplicationLook", 215), 215) << "absent: the default";
        EXPECT_TRUE(profile.WriteProfileInt(u"Workspace", u"ApplicationLook", 217));
        EXPECT_TRUE(QFileInfo::exists(profile.FilePath()));
    }
    CProfileStore again(u"DralvekMySqlReVuvUrevve22.08", u"App v1");
    EXPECT_EQ(again.GetProfileInt(u"Workspace", u"ApplicationLook", 215), 217);
    CProfileStore other(u"OtherKey", u"App v1");
    EXPECT_EQ(other.GetProfileInt(u"Workspace", u"ApplicationLook", 1), 1);
    CProfileStore::SetRootFolder(QString());
}

TEST(ProfileStore, ValueThatIsNoNumberGivesTheDefault) {
    QTemporaryDir root;
    CProfileStore::SetRootFolder(root.path());
    QDir().mkpath(root.path() + QStringLiteral("/K"));
    QFile file(root.path() + QStringLiteral("/K/A.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Workspace]\nApplicationLook=blue\n");
    file.close();
    CProfileStore profile(u"K", u"A");
    EXPECT_EQ(profile.GetProfileInt(u"Workspace", u"ApplicationLook", 215), 215);
    CProfileStore::SetRootFolder(QString());
}

TEST(NamedMutex, LockFileThatASecondCopyOpensToo) {
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    {
        CNamedMutex first(QStringLiteral("Global\\{X_RUNNING1}"));
        CNamedMutex second(QStringLiteral("Global\\{X_RUNNING1}"));
        EXPECT_TRUE(first.IsHeld());
        EXPECT_TRUE(second.IsHeld());
        EXPECT_EQ(first.FilePath(), runtime.path() + QStringLiteral("/Global_{X_RUNNING1}.lock"));
        EXPECT_TRUE(QFileInfo::exists(first.FilePath()));
    }
    qunsetenv("XDG_RUNTIME_DIR");
}

// A worker's call runs on the GUI thread and the worker waits for it; on the GUI thread
// the call runs at once.
TEST(GuiThread, CallRunsOnTheGuiThreadAndBlocks) {
    App();
    EXPECT_TRUE(IsGuiThread());
    bool direct = false;
    CallOnGuiThread([&] { direct = IsGuiThread(); });
    EXPECT_TRUE(direct);

    std::atomic<int> done{0};
    std::atomic<bool> ranOnGui{false};
    int value = 0;
    std::thread worker([&] {
        CallOnGuiThread([&] {
            ranOnGui = IsGuiThread();
            value = 42;
        });
        // The call has run by the time it returns.
        done = value == 42 ? 1 : 2;
    });
    while (done == 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();
    EXPECT_EQ(done, 1);
    EXPECT_TRUE(ranOnGui);
}

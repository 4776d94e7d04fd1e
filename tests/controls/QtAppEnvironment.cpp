#include <gtest/gtest.h>

#include <QApplication>

namespace {
// One application object for the whole run.
class QtAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // Headless unless the runner picked a display server itself (screenshots under Xvfb).
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "controls_tests";
        static char* argv[] = {name, nullptr};
        m_app = new QApplication(argc, argv);
    }
    void TearDown() override { delete m_app; }

private:
    QApplication* m_app = nullptr;
};

[[maybe_unused]] ::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);
}  // namespace

// One QApplication for every test of a program with windows, made before
// any test asks for a core application (gtest_main owns main). The tray
// programs' tests share it: like them it stays when its last window closes.
#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        app_ = new QApplication(argc_, argv_);
        QApplication::setApplicationDisplayName(QStringLiteral("Quelta Tests"));
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

private:
    int argc_ = 1;
    char name_[16] = "quelta_tests";
    char* argv_[2] = {name_, nullptr};
    QApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

} // namespace

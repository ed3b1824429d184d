// One QGuiApplication for every test of this program: documents need fonts.
#include <QGuiApplication>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        app_ = new QGuiApplication(argc_, argv_);
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

private:
    int argc_ = 1;
    char name_[16] = "rtf_tests";
    char* argv_[2] = {name_, nullptr};
    QGuiApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

} // namespace

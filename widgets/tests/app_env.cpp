// One QApplication for every test of a program with windows, made before
// any test asks for a core application (gtest_main owns main). The tray
// programs' tests share it: like them it stays when its last window closes.
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace {

// Whether a thread of the global pool still runs (Qt names them so).
bool PooledThreadRuns() {
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        if (std::getline(comm, name) && name == "Thread (pooled)")
            return true;
    }
    return false;
}

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
        // The raster engine paints on the global pool, whose threads the
        // application stops as it goes; they are still ending when it is gone,
        // and a leak check at exit would find the thread data they free last.
        // Wait until they are gone (a minute only ends a hang).
        QElapsedTimer timer;
        timer.start();
        while (PooledThreadRuns() && timer.elapsed() < 60000)
            QThread::msleep(10);
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

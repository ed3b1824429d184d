#include "platform/win/osactions.h"

#include "test_dir.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

TEST(OsActions, SplitsCommandLinesWithoutAShell) {
    using V = std::vector<std::string>;
    EXPECT_EQ(win::SplitCommandLine("prog a  b"), (V{"prog", "a", "b"}));
    EXPECT_EQ(win::SplitCommandLine("\"/opt/my prog\" \"\" x;rm"), (V{"/opt/my prog", "", "x;rm"}));
    EXPECT_EQ(win::SplitCommandLine("   "), V{});
}

TEST(OsActions, LaunchPassesEachArgumentWhole) {
    TestDir dir;
    std::string out = dir.path() + "out.txt";
    std::string arg = "a file; $(touch " + dir.path() + "pwned) 'q'.eml";
    // Written aside and renamed, so the file is whole once it exists; a
    // minute only ends a hang.
    ASSERT_TRUE(win::LaunchProgram(
        {"sh", "-c", "printf '%s' \"$1\" > " + out + ".part && mv " + out + ".part " + out, "sh",
         arg}));
    for (int i = 0; i < 6000 && !std::filesystem::exists(out); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(out);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(ss.str(), arg);
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "pwned"));
    EXPECT_FALSE(win::LaunchProgram({"/nonexistent/program"}));
    EXPECT_FALSE(win::LaunchProgram({}));
}

TEST(OsActions, ShutdownGoesThroughTheHook) {
    EXPECT_EQ(win::ShutdownCommand(win::EWX_REBOOT)[1], "reboot");
    EXPECT_EQ(win::ShutdownCommand(win::EWX_POWEROFF)[1], "poweroff");
    EXPECT_EQ(win::ShutdownCommand(win::EWX_SHUTDOWN)[1], "poweroff");
    EXPECT_EQ(win::ShutdownCommand(win::EWX_LOGOFF)[0], "loginctl");
    std::vector<unsigned> seen;
    win::SetShutdownHook([&](unsigned f) {
        seen.push_back(f);
        return true;
    });
    EXPECT_TRUE(win::ExitWindows(win::EWX_FORCE));
    win::SetShutdownHook({});
    EXPECT_EQ(seen, std::vector<unsigned>{win::EWX_FORCE});
}

// The programs' log: its line texts at a set clock, newest first, the beep
// of the application-wide handler, and the file between runs.
#include "platform/win/datetime.h"
#include "platform/win/hooks.h"
#include "platform/win/logbook.h"
#include "test_dir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

class LogBook : public ::testing::Test {
protected:
    void SetUp() override {
        win::DateParts p;
        p.year = 2024, p.month = 3, p.day = 7, p.hour = 15, p.minute = 4, p.second = 9;
        const win::TDateTime t = win::EncodeDateTime(p);
        win::SetClock([t] { return t; });
        win::SetBeepHook([this](unsigned type) { beeps_.push_back(type); });
        book_.OnLog = [this](const std::string& line, const std::string& text) {
            shown_.push_back(line + " | " + text);
        };
    }
    void TearDown() override {
        win::SetClock({});
        win::SetBeepHook({});
    }

    TestDir dir_;
    win::TLogBook book_;
    std::vector<unsigned> beeps_;
    std::vector<std::string> shown_;
};

TEST_F(LogBook, LinesAreStampedNewestFirstAndErrorsBeep) {
    EXPECT_EQ(win::LogLine("hello"), "3/7/24 3:04:09 PM -- hello");
    EXPECT_EQ(win::ErrorLogLine("boom"), "3/7/24 3:04:09 PM -- Error-boom");
    book_.Log("one");
    book_.Add("DEBUGMESSAGE -- two", "two");
    EXPECT_TRUE(beeps_.empty());
    book_.Error("boom");
    EXPECT_EQ(beeps_, std::vector<unsigned>{win::MB_ICONASTERISK});
    EXPECT_EQ(book_.Lines(),
              (std::deque<std::string>{"3/7/24 3:04:09 PM -- Error-boom", "DEBUGMESSAGE -- two",
                                       "3/7/24 3:04:09 PM -- one"}));
    // The status bar's text is the bare text, the message for an error.
    EXPECT_EQ(shown_, (std::vector<std::string>{"3/7/24 3:04:09 PM -- one | one",
                                                "DEBUGMESSAGE -- two | two",
                                                "3/7/24 3:04:09 PM -- Error-boom | boom"}));
}

TEST_F(LogBook, TheFileKeepsTheLinesInOrderWithCrLf) {
    const std::string path = dir_.path() + "prog.log";
    book_.Log("older");
    book_.Log("newer");
    ASSERT_TRUE(book_.Save(path));
    EXPECT_EQ(ReadAll(path), "3/7/24 3:04:09 PM -- newer\r\n3/7/24 3:04:09 PM -- older\r\n");

    win::TLogBook again;
    again.Add("replaced by the file", "");
    again.Load(path);
    EXPECT_EQ(again.Lines(), book_.Lines());

    // Lines ending in LF alone, a blank line and a last line without an end.
    WriteAll(path, "a\n\r\nb\r\nc");
    again.Load(path);
    EXPECT_EQ(again.Lines(), (std::deque<std::string>{"a", "", "b", "c"}));

    book_.Clear();
    ASSERT_TRUE(book_.Save(path));
    EXPECT_EQ(ReadAll(path), "");
}

TEST_F(LogBook, AMissingFileIsCreatedWithTheLinesThereAre) {
    const std::string path = dir_.path() + "new.log";
    book_.Log("before loading");
    book_.Load(path);
    ASSERT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(book_.Lines().size(), 1u);
    EXPECT_EQ(ReadAll(path), "3/7/24 3:04:09 PM -- before loading\r\n");
}

TEST_F(LogBook, ASaveThatCannotWriteFailsAndLeavesNothingBehind) {
    book_.Log("x");
    EXPECT_FALSE(book_.Save(dir_.path() + "missing/folder.log"));
    EXPECT_FALSE(std::filesystem::exists(dir_.path() + "missing"));
    // Over an existing file: the old one stays whole when writing fails.
    const std::string path = dir_.path() + "kept.log";
    WriteAll(path, "old\r\n");
    std::filesystem::create_directory(path + ".~" + std::to_string(::getpid()) + ".part");
    EXPECT_FALSE(book_.Save(path));
    EXPECT_EQ(ReadAll(path), "old\r\n");
}

} // namespace

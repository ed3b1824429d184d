#include "processor/agentfile.h"

#include "platform/win/tests/test_dir.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>

using quelta::ReadAgentFile;

namespace {
void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}
} // namespace

TEST(AgentFile, ReadsOddSpacingCaseAndCrlf) {
    TestDir dir;
    std::string f = dir.path() + "Orders.agent";
    Write(f,
          "[main]\r\n agenttype = message \r\nTRIGGERCOUNT=2\r\nactioncount=1\r\n"
          "[Header]\r\nentry1=Subject\r\nEntry2 = <Body>\r\nEntry3=stale\r\n"
          "[condition]\r\nEntry1=contains\r\nEntry2=begins with\r\n"
          "[VALUE]\r\nEntry1=order\r\nEntry2=  dear \r\n"
          "[ActionParam1]\r\nEntry1=PLAY SOUND\r\n[ACTIONPARAM2]\r\nEntry1=c:\\sounds\\ding.wav\r\n"
          "[ACTIONPARAM3]\r\nEntry1=\r\n");
    auto a = ReadAgentFile(f);
    EXPECT_EQ(a.Name, "Orders");
    EXPECT_EQ(a.AgentType, "MESSAGE");
    ASSERT_EQ(a.Triggers.size(), 2u);
    EXPECT_EQ(a.Triggers[1].Header, "<Body>");
    EXPECT_EQ(a.Triggers[1].Value, "dear"); // values are trimmed as the profile functions do
    ASSERT_EQ(a.Actions.size(), 1u);
    EXPECT_EQ(a.Actions[0].Name, "PLAY SOUND");
    EXPECT_EQ(a.Actions[0].Param1, "c:\\sounds\\ding.wav");
    EXPECT_EQ(a.Actions[0].Param2, "");
}

TEST(AgentFile, DefaultsForMissingPieces) {
    TestDir dir;
    auto missing = ReadAgentFile(dir.path() + "none.agent");
    EXPECT_EQ(missing.AgentType, "");
    EXPECT_TRUE(missing.Triggers.empty());

    std::string f = dir.path() + "x.agent";
    Write(f, "[MAIN]\nAgentType=Interval\nTriggerCount=-3\nActionCount=2\n");
    auto a = ReadAgentFile(f);
    EXPECT_EQ(a.AgentType, "INTERVAL");
    EXPECT_EQ(a.TriggerCount, -3);
    EXPECT_TRUE(a.Triggers.empty());
    ASSERT_EQ(a.Actions.size(), 2u); // entries beyond what is stored read empty
    EXPECT_EQ(a.Actions[1].Name, "");
}

TEST(AgentFile, KeywordsUpperCaseOnlyAsciiLetters) {
    EXPECT_EQ(quelta::UpperAZ("doesn't contain \xe9t\xe9"), "DOESN'T CONTAIN \xe9T\xe9");
}

TEST(AgentFile, WrittenByCrudini) {
    if (std::system("command -v crudini >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "crudini is not installed";
    TestDir dir;
    std::string f = dir.path() + "c.agent";
    std::string set = "crudini --set " + f + " ";
    ASSERT_EQ(std::system((set + "MAIN AgentType MESSAGE").c_str()), 0);
    ASSERT_EQ(std::system((set + "MAIN TriggerCount 1").c_str()), 0);
    ASSERT_EQ(std::system((set + "HEADER Entry1 From").c_str()), 0);
    ASSERT_EQ(std::system((set + "CONDITION Entry1 \"doesn't contain\"").c_str()), 0);
    ASSERT_EQ(std::system((set + "VALUE Entry1 'Smith, John'").c_str()), 0);
    auto a = ReadAgentFile(f);
    ASSERT_EQ(a.Triggers.size(), 1u);
    EXPECT_EQ(a.Triggers[0].Condition, "doesn't contain");
    EXPECT_EQ(a.Triggers[0].Value, "Smith, John");
}

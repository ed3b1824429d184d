#include "processor/agentfile.h"

#include "mail/exception.h"
#include "platform/win/profile.h"
#include "platform/win/tests/test_dir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

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

namespace {

quelta::TAgentDefinition Sample() {
    quelta::TAgentDefinition a;
    a.AgentType = "MESSAGE";
    a.AppVersion = quelta::kAgentAppVersion;
    a.CreatedDateTime = "3/4/26 9:05:00 AM";
    a.ModifiedDateTime = "3/5/26 10:00:00 AM";
    a.Triggers = {{"Subject", "contains", "order"},
                  {"<Body>", "", "  two blanks first"},
                  {"From", "doesn't contain", "\"quoted\""}};
    a.Actions = {{"PLAY SOUND", "/usr/share/sounds/ding.wav", ""},
                 {"LAUNCH PROGRAM", "/usr/bin/printf a=b;c", "HIDDEN"}};
    return a;
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// crudini's view of one key ("<missing>" when it has none).
std::string Crudini(const std::string& file, const std::string& section, const std::string& key) {
    std::string out;
    FILE* p = ::popen(
        ("crudini --get '" + file + "' " + section + " " + key + " 2>/dev/null").c_str(), "r");
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    if (::pclose(p) != 0)
        return "<missing>";
    if (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

} // namespace

TEST(AgentFileWriter, WhatIsWrittenReadsBackTheSame) {
    TestDir dir;
    const std::string f = dir.path() + "Orders.agent";
    const quelta::TAgentDefinition a = Sample();
    quelta::WriteAgentFile(f, a);
    const auto b = ReadAgentFile(f);
    EXPECT_EQ(b.AgentType, "MESSAGE");
    EXPECT_EQ(b.TriggerCount, 3);
    EXPECT_EQ(b.ActionCount, 2);
    EXPECT_EQ(b.AppVersion, "1.018");
    EXPECT_EQ(b.CreatedDateTime, a.CreatedDateTime);
    EXPECT_EQ(b.ModifiedDateTime, a.ModifiedDateTime);
    EXPECT_EQ(b.CreateUser, "");
    ASSERT_EQ(b.Triggers.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(b.Triggers[i].Header, a.Triggers[i].Header) << i;
        EXPECT_EQ(b.Triggers[i].Condition, a.Triggers[i].Condition) << i;
        EXPECT_EQ(b.Triggers[i].Value, a.Triggers[i].Value) << i;
    }
    ASSERT_EQ(b.Actions.size(), 2u);
    EXPECT_EQ(b.Actions[1].Name, "LAUNCH PROGRAM");
    EXPECT_EQ(b.Actions[1].Param1, "/usr/bin/printf a=b;c");
    EXPECT_EQ(b.Actions[1].Param2, "HIDDEN");
    EXPECT_EQ(b.Actions[0].Param2, "");
    // Nothing but the file is left in the folder.
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST(AgentFileWriter, OneValueIsOneLineAndEveryKeyIsWrittenOnce) {
    TestDir dir;
    const std::string f = dir.path() + "x.agent";
    quelta::TAgentDefinition a = Sample();
    a.Triggers = {{"Subject", "contains", "first\r\n[MAIN]\nTriggerCount=9"}};
    a.Actions.clear();
    quelta::WriteAgentFile(f, a);
    const std::string text = Read(f);
    EXPECT_EQ(text.find("\n[MAIN]", 1), std::string::npos) << text;
    EXPECT_EQ(text.find("\nTriggerCount=9"), std::string::npos) << text;
    EXPECT_EQ(text.find("[ACTIONPARAM1]"), std::string::npos) << text;
    const auto b = ReadAgentFile(f);
    EXPECT_EQ(b.TriggerCount, 1);
    EXPECT_EQ(b.ActionCount, 0);
    ASSERT_EQ(b.Triggers.size(), 1u);
    EXPECT_EQ(b.Triggers[0].Value, "first  [MAIN] TriggerCount=9");
    EXPECT_EQ(text.substr(0, 35), "[MAIN]\nAgentType=MESSAGE\nAppVersion");
}

TEST(AgentFileWriter, ARewriteLeavesNoEntryOfTheOldAgent) {
    TestDir dir;
    const std::string f = dir.path() + "x.agent";
    quelta::TAgentDefinition a = Sample();
    quelta::WriteAgentFile(f, a);
    a.Triggers.resize(1);
    a.Actions.clear();
    quelta::WriteAgentFile(f, a);
    win::TIniFile ini(f);
    EXPECT_FALSE(ini.ValueExists("HEADER", "Entry2"));
    EXPECT_FALSE(ini.ValueExists("VALUE", "Entry3"));
    EXPECT_FALSE(ini.SectionExists("ACTIONPARAM2"));
    EXPECT_EQ(ini.ReadInteger("MAIN", "ActionCount", -1), 0);

    // Another type carries its type alone.
    a.AgentType = "INTERVAL";
    quelta::WriteAgentFile(f, a);
    EXPECT_EQ(Read(f), "[MAIN]\nAgentType=INTERVAL\n");
}

TEST(AgentFileWriter, AFolderThatIsNotThereRaises) {
    TestDir dir;
    EXPECT_THROW(quelta::WriteAgentFile(dir.path() + "no/such/folder/x.agent", Sample()),
                 EFCreateError);
}

TEST(AgentFileWriter, CrudiniReadsTheKeysTheEditorsWrite) {
    if (std::system("command -v crudini >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "crudini is not installed";
    TestDir dir;
    const std::string f = dir.path() + "Orders.agent";
    quelta::WriteAgentFile(f, Sample());
    EXPECT_EQ(Crudini(f, "MAIN", "AgentType"), "MESSAGE");
    EXPECT_EQ(Crudini(f, "MAIN", "AppVersion"), "1.018");
    EXPECT_EQ(Crudini(f, "MAIN", "TriggerCount"), "3");
    EXPECT_EQ(Crudini(f, "MAIN", "ActionCount"), "2");
    EXPECT_EQ(Crudini(f, "MAIN", "CreateUser"), "");
    EXPECT_EQ(Crudini(f, "MAIN", "CreatedDateTime"), "3/4/26 9:05:00 AM");
    EXPECT_EQ(Crudini(f, "HEADER", "Entry2"), "<Body>");
    EXPECT_EQ(Crudini(f, "CONDITION", "Entry2"), "");
    EXPECT_EQ(Crudini(f, "CONDITION", "Entry3"), "doesn't contain");
    EXPECT_EQ(Crudini(f, "VALUE", "Entry1"), "order");
    EXPECT_EQ(Crudini(f, "ACTIONPARAM1", "Entry1"), "PLAY SOUND");
    EXPECT_EQ(Crudini(f, "ACTIONPARAM2", "Entry2"), "/usr/bin/printf a=b;c");
    EXPECT_EQ(Crudini(f, "ACTIONPARAM3", "Entry1"), "");
    EXPECT_EQ(Crudini(f, "ACTIONPARAM3", "Entry2"), "HIDDEN");
}

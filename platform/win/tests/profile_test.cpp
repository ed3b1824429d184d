#include "platform/win/profile.h"

#include "test_dir.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

std::string Shell(const std::string& cmd) {
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return out;
    char buf[256];
    while (size_t n = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    ::pclose(p);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

} // namespace

TEST(Profile, ReadsWithWindowsRules) {
    TestDir dir;
    std::string f = dir.path() + "a.ini";
    WriteAll(f, "; comment\r\n[Folders]\r\n  Messages =  /m/  \r\nmessages=/second/\r\n"
                "Quoted=\"  spaced  \"\r\n[folders]\r\nAgents=/late/\r\n[Nums]\r\nA=42\r\n"
                "B=-7\r\nC=$1F\r\nD=12abc\r\nE=True\r\nF=0\r\n");
    win::TIniFile ini(f);
    EXPECT_EQ(ini.ReadString("FOLDERS", "MESSAGES", "x"), "/m/");      // first match, trimmed
    EXPECT_EQ(ini.ReadString("Folders", "Quoted", "x"), "  spaced  "); // quotes removed
    EXPECT_EQ(ini.ReadString("Folders", "Agents", "def"), "def");      // second section unseen
    EXPECT_EQ(ini.ReadString("Missing", "Key", "def"), "def");
    EXPECT_EQ(ini.ReadInteger("Nums", "A", 0), 42);
    EXPECT_EQ(ini.ReadInteger("Nums", "B", 0), -7);
    EXPECT_EQ(ini.ReadInteger("Nums", "C", 0), 31);
    EXPECT_EQ(ini.ReadInteger("Nums", "D", 5), 5);
    EXPECT_TRUE(ini.ReadBool("Nums", "E", false));
    EXPECT_FALSE(ini.ReadBool("Nums", "F", true));
    EXPECT_TRUE(ini.ReadBool("Nums", "A", false));
    EXPECT_TRUE(ini.ReadBool("Nums", "Nothing", true));
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Folders", "Nums"}));
    EXPECT_EQ(ini.ReadSection("folders"), (std::vector<std::string>{"Messages", "Quoted"}));
}

TEST(Profile, WritesKeepOtherLinesAndLineEnds) {
    TestDir dir;
    std::string f = dir.path() + "b.ini";
    WriteAll(f, "; keep me\r\n[One]\r\nkey=1\r\nodd line\r\n\r\n[Two]\r\nx=y\r\n");
    win::TIniFile ini(f);
    ini.WriteString("ONE", "KEY", "2");
    ini.WriteString("one", "new", "v");
    ini.WriteInteger("Three", "n", 9);
    ini.WriteBool("Two", "b", true);
    EXPECT_EQ(ReadAll(f), "; keep me\r\n[One]\r\nkey=2\r\nodd line\r\nnew=v\r\n\r\n[Two]\r\nx=y\r\n"
                          "b=1\r\n\r\n[Three]\r\nn=9\r\n");
    ini.DeleteKey("two", "X");
    ini.EraseSection("ONE");
    EXPECT_EQ(ReadAll(f), "; keep me\r\n[Two]\r\nb=1\r\n\r\n[Three]\r\nn=9\r\n");
    // No temporary file is left beside it.
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path()))
        files += e.is_regular_file();
    EXPECT_EQ(files, 1);
}

TEST(Profile, ValueWithLineBreakStaysOneKey) {
    TestDir dir;
    win::TIniFile ini(dir.path() + "c.ini");
    ini.WriteString("S", "k", "a\r\n[Evil]\nx=1");
    EXPECT_FALSE(ini.SectionExists("Evil"));
    EXPECT_EQ(ini.ReadString("S", "k", ""), "a  [Evil] x=1");
}

TEST(Profile, BareNameLivesInWindowsDirectory) {
    TestDir dir;
    ::setenv("QUELTA_WINDIR", (dir.path() + "win").c_str(), 1);
    win::TIniFile ini("quelta.ini");
    ini.WriteString("Folders", "Messages", "/x/");
    EXPECT_EQ(ini.FileName(), dir.path() + "win/quelta.ini");
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "win/quelta.ini"));
    ::unsetenv("QUELTA_WINDIR");
}

TEST(Profile, AgreesWithCrudini) {
    if (Shell("command -v crudini").empty())
        GTEST_SKIP() << "crudini is not installed";
    TestDir dir;
    std::string f = dir.path() + "d.ini";
    win::TIniFile ini(f);
    ini.WriteString("Agent", "Type", "MESSAGE");
    ini.WriteString("Trigger1", "Value", "hello world");
    EXPECT_EQ(Shell("crudini --get " + f + " Trigger1 Value"), "hello world");
    Shell("crudini --set " + f + " Action1 Name 'AUTO-REPLY'");
    Shell("crudini --set " + f + " Agent Type INTERVAL");
    EXPECT_EQ(ini.ReadString("action1", "name", ""), "AUTO-REPLY");
    EXPECT_EQ(ini.ReadString("AGENT", "type", ""), "INTERVAL");
}

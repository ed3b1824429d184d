// Cross-checks: where the dialects agree, Debian's bwbasic and yabasic
// print what our engine prints for the same script. Numbers are padded
// differently by each (a sign place, a trailing blank), so lines are
// compared without their outer blanks.
#include "platform/basic/tests/script_runner.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <unistd.h>

namespace {

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(Trim(line));
    return out;
}

// Runs `program` on the script; nothing when the program is not installed.
std::optional<std::string> RunPeer(const std::string& program, const std::string& script) {
    if (access(program.c_str(), X_OK) != 0)
        return std::nullopt;
    char path[] = "/tmp/basic_peer_XXXXXX";
    int fd = mkstemp(path);
    close(fd);
    std::ofstream(path) << script;
    std::string command = program + " " + path + " </dev/null 2>&1";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        std::array<char, 4096> buf;
        std::size_t n;
        while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
            out.append(buf.data(), n);
        pclose(p);
    }
    std::remove(path);
    return out;
}

// bwbasic greets with lines that start with a carriage return and ends at
// its prompt.
std::vector<std::string> BwbasicLines(const std::string& raw) {
    std::vector<std::string> out;
    std::istringstream in(raw);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] == '\r')
            continue;
        std::size_t prompt = line.find("bwBASIC: ");
        if (prompt != std::string::npos)
            line.erase(prompt);
        if (prompt == std::string::npos || !Trim(line).empty())
            out.push_back(Trim(line));
    }
    while (!out.empty() && out.back().empty())
        out.pop_back();
    return out;
}

std::vector<std::string> Ours(const std::string& script) {
    auto o = basic::test::RunScript(script);
    EXPECT_FALSE(o.failed) << o.line << ": " << o.text;
    return Lines(o.output);
}

// Loops and arithmetic that the three dialects write alike.
const char* const kLoops = R"(s = 0
FOR i = 1 TO 10 STEP 3
  s = s + i
NEXT i
PRINT s
t = 0
FOR i = 10 TO 1 STEP -1
  FOR j = 1 TO i
    t = t + j * 2
  NEXT j
NEXT i
PRINT t
n = 1
WHILE n < 1000
  n = n * 3
WEND
PRINT n
PRINT 2 ^ 12 - 1
PRINT ABS(-42)
PRINT (3 + 4) * 5 - 6 / 2
PRINT -7 * 3 + 100
PRINT "abc" + "def"
PRINT LEN("hello" + "world")
)";

// Branches, Select Case and Do loops, as bwbasic has them.
const char* const kBranches = R"(FOR n = 1 TO 7 STEP 2
  IF n > 4 THEN PRINT "big" ELSE PRINT "small"
  IF n = 1 THEN
    PRINT "one"
  ELSEIF n = 3 THEN
    PRINT "three"
  ELSE
    PRINT "more"
  END IF
  SELECT CASE n
    CASE 1 TO 3
      PRINT "low"
    CASE 5
      PRINT "five"
    CASE ELSE
      PRINT "other"
  END SELECT
NEXT n
k = 0
DO WHILE k < 10
  k = k + 3
LOOP
PRINT k
DO
  k = k - 4
LOOP UNTIL k < 0
PRINT k
IF "abc" < "abd" THEN PRINT "less"
PRINT 17 MOD 5
PRINT -17 MOD 5
PRINT INT(-2.5)
PRINT INT(7.9)
)";

TEST(Peers, LoopsMatchBwbasic) {
    auto raw = RunPeer("/usr/bin/bwbasic", kLoops);
    if (!raw)
        GTEST_SKIP() << "bwbasic is not installed (Debian package bwbasic)";
    EXPECT_EQ(BwbasicLines(*raw), Ours(kLoops));
}

TEST(Peers, LoopsMatchYabasic) {
    auto raw = RunPeer("/usr/bin/yabasic", kLoops);
    if (!raw)
        GTEST_SKIP() << "yabasic is not installed (Debian package yabasic)";
    auto theirs = Lines(*raw);
    while (!theirs.empty() && theirs.back().empty())
        theirs.pop_back();
    EXPECT_EQ(theirs, Ours(kLoops));
}

TEST(Peers, BranchesMatchBwbasic) {
    auto raw = RunPeer("/usr/bin/bwbasic", kBranches);
    if (!raw)
        GTEST_SKIP() << "bwbasic is not installed (Debian package bwbasic)";
    auto ours = Ours(kBranches);
    EXPECT_EQ(ours.size(), 19u);
    EXPECT_EQ(BwbasicLines(*raw), ours);
}

} // namespace

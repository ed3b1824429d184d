// postp killed at random moments while it fetches with "retrieve and
// delete" from a real Dovecot, again and again until the work is done:
// every message must end up stored once, byte for byte, the mailbox empty,
// no temporary file left, and the tables and their tags must agree. A
// message is lost only when it is neither stored nor on the server.
// QUELTA_CRASH_TRIALS sets the number of trials (tools/crashtest.sh).
#include "data/dataset.h"
#include "data/tests/appendrow.h"
#include "data/tests/tablecheck.h"
#include "mail/tests/dovecot_server.h"
#include "mail/tests/killrun.h"
#include "mail/tests/testutil.h"
#include "platform/win/profile.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using mailtest::ReadFile;

namespace {

constexpr int kMessages = 40;

using data::test::AppendRow;

// Sizes from one line to a few hundred kilobytes, with lines the
// transport must dot-stuff.
std::string MakeMessage(int trial, int i) {
    std::string m = "Message-ID: <crash." + std::to_string(trial) + "." + std::to_string(i) +
                    "@example.org>\r\nFrom: sender@example.org\r\nSubject: message " +
                    std::to_string(i) + "\r\n\r\n";
    const int lines = i % 7 == 0 ? 4000 : 1 + i * 3;
    for (int k = 0; k < lines; ++k)
        m += (k % 50 == 0 ? "." : "") + std::string(60, static_cast<char>('a' + k % 26)) + "\r\n";
    return m;
}

struct Figures {
    int trials = 0, runs = 0, kills = 0;
    std::vector<std::string> findings;
};

} // namespace

TEST(Crash, PostpKilledAtRandomLosesNothingAndStoresNothingTwice) {
    const int trials = crashtest::Trials(6);
    nettest::DovecotServer dovecot;
    for (int t = 0; t <= trials; ++t)
        dovecot.AddUser("crash" + std::to_string(t), "secret");
    if (!dovecot.Started())
        GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot.Why();
    std::mt19937 rng(std::random_device{}());
    Figures f;
    double fullRun = 0;
    // Trial 0 runs whole and times a run; the others are killed at random
    // moments up to that time (later runs have less left to do).
    for (int t = 0; t <= trials; ++t) {
        mailtest::ScratchDir dir;
        const std::string root = dir.Path().string() + "/";
        const std::string db = root + "db/", prog = root + "prog/", windir = root + "win/";
        for (const std::string& d : {db, prog, windir})
            fs::create_directories(d);
        ASSERT_EQ(std::system((QUELTA_BIN_DIR "/mkschema '" + db + "' >/dev/null").c_str()), 0);
        for (const char* file : {"postp", "libwsock32.so"})
            fs::copy_file(std::string(QUELTA_BIN_DIR "/") + file, prog + file);
        {
            win::TIniFile ini(windir + "quelta.ini");
            ini.WriteString("Folders", "Messages", root + "messages/");
            ini.WriteString("Folders", "Agents", root + "agents/");
            ini.WriteString("Folders", "DataBase", db);
            ini.WriteBool("ProcessorSettings", "AutoEnabled", true);
        }
        const std::string user = "crash" + std::to_string(t);
        AppendRow(db, "NODES.DBF",
                  {{"UNIQUE_ID", "K1"},
                   {"NODE", "Crash"},
                   {"POPADDRESS", dovecot.Address()},
                   {"LOGIN", user},
                   {"PASSWORD", "secret"},
                   {"NEXTDATE", "1/1/2000"},
                   {"NEXTTIME", "00:00"},
                   {"FREQVAL", "0"}});
        AppendRow(db, "rules.dbf",
                  {{"UNIQUE_ID", "R1"},
                   {"LINK_ID", "K1"},
                   {"RULE", "All"},
                   {"COND", "A"},
                   {"ACT1", "Y"},
                   {"ACT2", "Y"}});
        std::map<std::string, int> delivered; // text -> times stored
        for (int i = 0; i < kMessages; ++i) {
            const std::string m = MakeMessage(t, i);
            dovecot.Deliver(user, m);
            delivered[m] = 0;
        }

        const std::string output = root + "postp.out";
        const std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen",
                                              "QUELTA_WINDIR=" + windir};
        const std::string where = "trial " + std::to_string(t) + ": ";
        // Work done so far: messages stored plus messages gone from the
        // server; it only grows, and it grows while the runs get anywhere.
        const std::string pending = root + "messages/K1/Pending";
        auto work = [&] {
            std::size_t n = kMessages - dovecot.Mailbox(user).size();
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(pending, ec))
                n += e.path().extension() == ".eml";
            return n;
        };
        // Kills fall within the time a whole run took, a window that
        // widens when they keep landing before any work is done; after
        // three such kills in a row a run goes to its end.
        double window = fullRun;
        int idle = 0;
        bool done = false;
        while (!done) {
            const std::size_t before = work();
            const bool whole = t == 0 || idle >= 3;
            std::uniform_real_distribution<double> when(0, window);
            const crashtest::TRun r =
                crashtest::RunAndKill({prog + "postp", "/singlepass"}, env, output,
                                      whole ? -1 : when(rng), std::max(120.0, 20 * fullRun));
            ++f.runs;
            const bool progress = work() > before;
            if (r.killed && !whole) {
                ++f.kills;
                idle = progress ? 0 : idle + 1;
                if (!progress)
                    window *= 2;
                continue;
            }
            if (r.killed) {
                f.findings.push_back(where + "a run did not end within " +
                                     std::to_string(r.seconds) + " s\n" + ReadFile(output));
                break;
            }
            if (t == 0)
                fullRun = r.seconds;
            if (r.exitCode != 0) {
                f.findings.push_back(where + "exit code " + std::to_string(r.exitCode) + "\n" +
                                     ReadFile(output));
                break;
            }
            done = dovecot.Mailbox(user).empty();
            if (!done && !progress) {
                f.findings.push_back(where + "a whole run did nothing and left " +
                                     std::to_string(dovecot.Mailbox(user).size()) +
                                     " messages on the server\n" + ReadFile(prog + "mailproc.log"));
                break;
            }
            idle = 0;
        }
        ++f.trials;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(pending, ec)) {
            if (e.path().extension() != ".eml") {
                f.findings.push_back(where + "left behind: " + e.path().filename().string());
                continue;
            }
            const std::string text = ReadFile(e.path());
            const auto it = delivered.find(text);
            if (it == delivered.end())
                f.findings.push_back(where + "unknown or half file " +
                                     e.path().filename().string());
            else if (++it->second > 1)
                f.findings.push_back(where + "stored twice: " + e.path().filename().string());
        }
        const std::vector<std::string> left = dovecot.Mailbox(user);
        for (const auto& [text, times] : delivered)
            if (times == 0 && std::find(left.begin(), left.end(), text) == left.end())
                f.findings.push_back(where + "lost: " + text.substr(0, text.find('\r')));
        for (const auto& e : fs::directory_iterator(prog))
            if (e.path().extension() == ".part")
                f.findings.push_back(where + "left behind: " + e.path().string());
        for (const std::string& p : tablecheck::Problems(db))
            f.findings.push_back(where + p);
        if (t == 0 && !f.findings.empty())
            break; // without one whole run the kill times mean nothing
    }
    std::cout << "postp crash test: " << f.trials << " trials, " << f.runs << " runs, " << f.kills
              << " kills, " << f.findings.size() << " findings\n";
    for (const std::string& finding : f.findings)
        ADD_FAILURE() << finding;
}

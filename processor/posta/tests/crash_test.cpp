// posta stopped while its agents answer pending mail through a real SMTP
// server (aiosmtpd), then run again until a run ends by itself: every
// message must be filed once, byte for byte, with one received row, none
// answered twice, nothing left in Pending, and the tables and their tags
// must agree. Some trials stop it at each named moment of the filing (its
// own and the engine's, through QUELTA_STOP_AT), the others kill it at
// random moments. QUELTA_CRASH_TRIALS sets the number of random trials
// (tools/crashtest.sh).
#include "data/tests/tablecheck.h"
#include "mail/tests/killrun.h"
#include "processor/posta/tests/postafixture.h"
#include "processor/store.h"

#include <iostream>
#include <iterator>
#include <random>

using postatest::PostaTest;
namespace fs = std::filesystem;

namespace {

constexpr int kMessages = 25;
// A trial's runs after this many kills run whole: it ends by the work done,
// however slow the machine is against the first trial's timing.
constexpr int kKillsPerTrial = 10;

// The moments of filing a message that a stop may leave half done.
const char* const kStopPoints[] = {
    "filing:agents-ran",               // answered, no received row yet
    "record-before-keys:ACTIONS.DBF",  // an action row without its keys
    "record-before-keys:RECEIVED.DBF", // the received row without its keys
    "filing:row-posted",               // the row, not yet in the mark
    "filing:row-marked",               // not yet copied to In
    "filing:copied",                   // in In and still in Pending
    "filing:pending-removed",          // the mark left beside nothing
};
constexpr int kStopTrials = static_cast<int>(std::size(kStopPoints));

struct Figures {
    int trials = 0, runs = 0, kills = 0, stops = 0, answered = 0, messages = 0;
    std::vector<std::string> findings;
};

int Occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST_F(PostaTest, CrashKilledAtRandomFilesEverythingOnceAndAnswersNothingTwice) {
    if (!passtest::HaveAiosmtpd())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    passtest::SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    const int trials = crashtest::Trials(5);
    Ini().WriteBool("AgentSettings", "AutoEnabled", true);
    passtest::Spit(root_ + "templates/r.eml",
                   "Subject: Re: <<REPLYHEADER~Subject>>\r\n\r\nThank you.\r\n");
    WriteAgent("reply", {}, {{{"AUTO-REPLY", root_ + "templates/r.eml", ""}}});
    const std::string program = root_ + "prog/posta";
    fs::copy_file(QUELTA_BIN_DIR "/posta", program);
    fs::create_symlink(QUELTA_BIN_DIR "/libwsock32.so", root_ + "prog/libwsock32.so");
    std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen", "QUELTA_WINDIR=" + root_ + "win"};
    // Leaks are not this test's subject, and under a sanitizer on a loaded
    // machine the check at the end of a posta run now and then fails by
    // itself (on an allocation inside Qt, or its tracer meeting a thread
    // that is still ending): the runs here check none.
    const char* asan = std::getenv("ASAN_OPTIONS");
    env.push_back("ASAN_OPTIONS=" + (asan ? std::string(asan) + ":" : "") + "detect_leaks=0");
    std::mt19937 rng(std::random_device{}());
    Figures f;
    double fullRun = 0;
    int sent = 0; // replies the server had before this trial
    // Trial 0 runs whole and times a run; the next ones stop at each named
    // moment once, the others are killed at random moments up to that time
    // (later runs have less left to do).
    for (int t = 0; t <= kStopTrials + trials; ++t) {
        const char* stopAt = t >= 1 && t <= kStopTrials ? kStopPoints[t - 1] : nullptr;
        const std::string account = "T" + std::to_string(t);
        AddAccount(account, "127.0.0.1:" + std::to_string(sink.Port()));
        Attach(account, "AG" + std::to_string(t), "reply");
        std::map<std::string, std::string> originals; // file name -> text
        for (int i = 0; i < kMessages; ++i) {
            const std::string id = std::to_string(t) + "." + std::to_string(i);
            const std::string name = quelta::MessageFileName("<p." + id + "@example.org>");
            AddMessage(account, name, "Sender <s." + id + "@example.org>", "Order " + id,
                       "Line one\r\n.\r\nLine " + id + "\r\n",
                       "Message-ID: <p." + id + "@example.org>\r\n");
            originals[name] = passtest::Slurp(Pending(account) + name);
        }
        const std::string where = "trial " + std::to_string(t) + ": ";
        bool done = false;
        int kills = 0;
        for (int run = 0; run <= kKillsPerTrial && !done; ++run) {
            std::uniform_real_distribution<double> when(0, fullRun);
            const bool random = t > kStopTrials && kills < kKillsPerTrial;
            const double killAfter = random ? when(rng) : -1;
            std::vector<std::string> runEnv = env;
            if (stopAt != nullptr && run == 0)
                runEnv.push_back(std::string("QUELTA_STOP_AT=") + stopAt);
            const crashtest::TRun r = crashtest::RunAndKill({program, "/SINGLEPASS"}, runEnv,
                                                            root_ + "posta.out", killAfter);
            ++f.runs;
            if (r.killed) {
                ++f.kills;
                ++kills;
                continue;
            }
            if (t == 0)
                fullRun = r.seconds;
            if (stopAt != nullptr && run == 0) {
                if (r.exitCode == win::kStopPointExit) {
                    ++f.stops;
                    continue;
                }
                f.findings.push_back(where + "never stopped at " + stopAt);
            }
            if (r.exitCode != 0) {
                f.findings.push_back(where + "exit code " + std::to_string(r.exitCode) + "\n" +
                                     passtest::Slurp(root_ + "posta.out"));
                break;
            }
            done = true;
            for (const auto& e : fs::directory_iterator(Pending(account)))
                done = done && e.path().extension() != ".eml";
        }
        ++f.trials;
        f.messages += kMessages;
        if (!done)
            f.findings.push_back(where + "no run filed every message\n" +
                                 passtest::Slurp(root_ + "prog/agentproc.log"));
        for (const auto& e : fs::directory_iterator(Pending(account)))
            f.findings.push_back(where + "left in Pending: " + e.path().filename().string());
        for (const auto& e : fs::directory_iterator(In(account))) {
            const std::string name = e.path().filename().string();
            const auto it = originals.find(name);
            if (it == originals.end())
                f.findings.push_back(where + "unknown file in In: " + name);
            else if (passtest::Slurp(e.path().string()) != it->second)
                f.findings.push_back(where + "not filed whole: " + name);
        }
        std::map<std::string, int> rows, actions;
        for (auto& r : Rows("RECEIVED.DBF"))
            if (r["LINK_ID"] == account)
                ++rows[r["MESSAGE_ID"]];
        for (auto& r : Rows("ACTIONS.DBF"))
            if (r["NODE_ID"] == account)
                ++actions[r["MESSAGE_ID"]];
        std::string envelopes;
        for (int n = sent + 1; n <= sink.Count(); ++n)
            envelopes += sink.Read(std::to_string(n) + ".json");
        sent = sink.Count();
        for (int i = 0; i < kMessages; ++i) {
            const std::string id = std::to_string(t) + "." + std::to_string(i);
            const std::string key = "<p." + id + "@example.org>";
            if (!fs::exists(In(account) + quelta::MessageFileName(key)))
                f.findings.push_back(where + "not filed: " + key);
            if (rows[key] != 1)
                f.findings.push_back(where + std::to_string(rows[key]) + " received rows for " +
                                     key);
            const int replies = Occurrences(envelopes, "\"s." + id + "@example.org\"");
            f.answered += replies;
            if (replies > 1 || actions[key] > 1)
                f.findings.push_back(where + key + " answered " + std::to_string(replies) +
                                     " times, " + std::to_string(actions[key]) + " action rows");
            else if (replies > actions[key])
                f.findings.push_back(where + key + " answered without its action row");
        }
        for (const std::string& p : tablecheck::Problems(root_ + "db"))
            f.findings.push_back(where + p);
        if (t == 0 && !f.findings.empty())
            break; // without one whole run the kill times mean nothing
    }
    std::cout << "posta crash test: " << f.trials << " trials, " << f.runs << " runs, " << f.kills
              << " kills, " << f.stops << " named stops, " << f.answered << " of " << f.messages
              << " messages answered, " << f.findings.size() << " findings\n";
    for (const std::string& finding : f.findings)
        ADD_FAILURE() << finding;
}

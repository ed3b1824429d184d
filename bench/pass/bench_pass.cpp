// The agent pass against procmail, in one run: posta /SINGLEPASS over N
// pending messages with five agents of two triggers each (one answers the
// sender through aiosmtpd), and procmail with five equivalent recipes over
// the same messages, one procmail process per message as a local delivery
// would start it (replies through formail and msmtp to the same aiosmtpd).
// Prints messages per second, peak memory and the ratios, and the hits of
// each rule on both sides as a check that they did the same work.
//   bench_pass [messages] [--core] [--keep]
//     messages  how many (default 5000)
//     --core    also time the library's pass in-process (no windows, no
//               automation objects); used alone when posta is not built
//     --keep    keep the work folder
#include "bench/pass/corpus.h"
#include "bench/pass/spawn.h"
#include "data/dataset.h"
#include "mail/agwinsock.h"
#include "processor/agentprocessor.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace benchpass;

namespace {

const char* const kAccount = "202612090001";
const std::string kBin = QUELTA_BIN_DIR;
// procmail runs whose memory is measured.
const size_t kMemorySample = 300;

std::string Trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

int LinesWith(const std::string& path, const std::string& text) {
    std::istringstream in(Read(path));
    int n = 0;
    for (std::string line; std::getline(in, line);)
        n += line.find(text) != std::string::npos;
    return n;
}

int FilesIn(const std::string& folder) {
    int n = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        n += e.is_regular_file();
    return n;
}

// Runs the program under bench_pass_rss, so that its peak memory is its
// own and not this program's (see rss.cpp).
RunResult Measured(RunRequest request, const std::string& rssFile) {
    request.argv.insert(request.argv.begin(), {kBin + "/bench_pass_rss", rssFile});
    RunResult r = Run(request);
    r.maxRssKiB = std::atol(Read(rssFile).c_str());
    return r;
}

std::string AgentId(size_t rule) {
    return "20261209AGENT" + std::to_string(rule + 1);
}

void Append(const std::string& db, const std::string& table,
            const std::map<std::string, std::string>& fields) {
    data::TTable t;
    t.SetDatabaseName(db);
    t.SetTableName(table);
    t.Open();
    t.Append();
    for (const auto& [name, value] : fields)
        t.FieldByName(name).SetAsString(value);
    t.Post();
    t.Close();
}

// A Quelta installation in dir: tables, quelta.ini, one account with the
// five agents attached, the reply template and the messages in Pending.
void SetupStore(const std::string& dir, int port, const std::vector<Message>& messages,
                const std::string& corpus) {
    const std::string db = dir + "/db/", agents = dir + "/agents/", store = dir + "/messages/",
                      templ = dir + "/templates/reply.eml";
    fs::create_directories(db);
    fs::create_directories(dir + "/prog");
    const RunResult made = Run({{kBin + "/mkschema", db}, {}, "/dev/null", dir + "/setup.out"});
    if (made.status != 0)
        throw std::runtime_error("mkschema failed, see " + dir + "/setup.out");
    // Switched off, so that only the single pass runs whatever the timer does.
    Write(dir + "/win/quelta.ini", "[Folders]\nMessages=" + store + "\nAgents=" + agents +
                                       "\nDataBase=" + db + "\n[AgentSettings]\nAutoEnabled=0\n");
    Append(db, "NODES.DBF",
           {{"UNIQUE_ID", kAccount},
            {"NODE", "Bench Sales"},
            {"ADDRESS", "sales@bench.example"},
            {"SMTPADDRES", "127.0.0.1:" + std::to_string(port)}});
    Write(templ, ReplyTemplate());
    for (size_t i = 0; i < Rules().size(); ++i) {
        const Rule& r = Rules()[i];
        Append(db, "Agents.dbf",
               {{"UNIQUE_ID", AgentId(i)}, {"LINK_ID", kAccount}, {"AGENT", r.name}});
        Write(agents + r.name + ".agent", AgentFile(r, templ));
    }
    const std::string pending = store + kAccount + "/Pending/";
    fs::create_directories(pending);
    for (const Message& m : messages)
        fs::copy_file(corpus + m.name, pending + m.name, fs::copy_options::overwrite_existing);
}

struct SideResult {
    std::string label, shortLabel;
    RunResult run;
    int replies = 0;
    int filed = 0;
    int failures = 0;      // processes that ended with an error, messages left behind
    int sendFailures = 0;  // replies the side could not send
    long medianRssKiB = 0; // procmail: the typical process, beside the largest
    std::vector<int> hits;
};

// What the Quelta pass did, from its action rows and folders.
void CountQuelta(const std::string& dir, SideResult& side) {
    side.hits.assign(Rules().size(), 0);
    data::TTable t;
    t.SetDatabaseName(dir + "/db/");
    t.SetTableName("ACTIONS.DBF");
    t.Open();
    for (t.First(); !t.Eof(); t.Next()) {
        const std::string agent = Trimmed(t.FieldByName("AGENT_ID").AsString());
        for (size_t i = 0; i < Rules().size(); ++i)
            side.hits[i] += agent == AgentId(i);
    }
    t.Close();
    side.filed = FilesIn(dir + "/messages/" + kAccount + "/In");
    side.failures = FilesIn(dir + "/messages/" + kAccount + "/Pending");
}

SideResult RunPosta(const std::string& root, int port, SmtpSink& sink,
                    const std::vector<Message>& messages, const std::string& corpus) {
    const std::string dir = root + "/posta";
    SetupStore(dir, port, messages, corpus);
    const auto env =
        EnvironmentWith({"QUELTA_WINDIR=" + dir + "/win", "QT_QPA_PLATFORM=offscreen"});
    const RunResult reg = Run(
        {{kBin + "/regsvr", "/s", kBin + "/libQuelta.so"}, env, "/dev/null", dir + "/setup.out"});
    if (reg.status != 0)
        throw std::runtime_error("regsvr failed, see " + dir + "/setup.out");

    // posta keeps its log beside the program and loads it at start: an old
    // log is set aside, so that every run starts from an empty one.
    const std::string log = kBin + "/agentproc.log", saved = log + ".bench-saved";
    const bool hadLog = fs::exists(log);
    if (hadLog)
        fs::rename(log, saved);
    SideResult side;
    side.label = "posta /SINGLEPASS";
    side.shortLabel = "posta";
    const int before = sink.Count();
    side.run = Measured({{kBin + "/posta", "/SINGLEPASS"},
                         env,
                         "/dev/null",
                         dir + "/posta.out",
                         60 + static_cast<int>(messages.size()) / 10},
                        dir + "/posta.rss");
    side.replies = sink.Count() - before;
    if (fs::exists(log))
        fs::rename(log, dir + "/agentproc.log");
    if (hadLog)
        fs::rename(saved, log);
    CountQuelta(dir, side);
    side.sendFailures = LinesWith(dir + "/agentproc.log", "Could not send outgoing mail");
    if (side.run.status != 0)
        ++side.failures;
    return side;
}

std::string SelfPath() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        throw std::runtime_error("cannot find this program's path");
    return std::string(buf, static_cast<size_t>(n));
}

SideResult RunCore(const std::string& root, int port, SmtpSink& sink,
                   const std::vector<Message>& messages, const std::string& corpus) {
    const std::string dir = root + "/core";
    SetupStore(dir, port, messages, corpus);
    SideResult side;
    side.label = "Quelta pass in-process";
    side.shortLabel = "in-process";
    const int before = sink.Count();
    side.run = Measured({{SelfPath(), "--core-pass", dir},
                         EnvironmentWith({"QUELTA_WINDIR=" + dir + "/win"}),
                         "/dev/null",
                         dir + "/core.out",
                         60 + static_cast<int>(messages.size()) / 10},
                        dir + "/core.rss");
    side.replies = sink.Count() - before;
    CountQuelta(dir, side);
    side.sendFailures = LinesWith(dir + "/prog/agentproc.log", "Could not send outgoing mail");
    if (side.run.status != 0)
        ++side.failures;
    return side;
}

// The child of RunCore: the pass of the processor library, as posta runs
// it, without posta's windows and automation objects.
int CorePass(const std::string& dir) {
    int argc = 1;
    char name[] = "bench_pass";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    try {
        TagWinsock::SetLibraryName(kBin + "/libwsock32.so");
        quelta::TAgentProcessor p;
        p.SetFolders(dir + "/messages/", dir + "/agents/", dir + "/db/");
        p.SetProgramFolder(dir + "/prog/");
        p.LoadLog();
        p.OpenTables();
        p.LoadSocketLayer();
        p.AgentsMain();
        p.CloseTables();
        p.SaveLog();
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "core pass: %s\n", e.what());
        return 1;
    }
}

SideResult RunProcmail(const std::string& root, int port, SmtpSink& sink,
                       const std::vector<Message>& messages) {
    const std::string dir = root + "/procmail", mail = dir + "/mail/";
    fs::create_directories(dir + "/In");
    for (const Message& m : messages)
        Write(mail + m.name, WithLineFeeds(m.text));
    Write(dir + "/msmtprc", "account default\nhost 127.0.0.1\nport " + std::to_string(port) +
                                "\nauth off\ntls off\nfrom sales@bench.example\ntimeout 30\n");
    fs::permissions(dir + "/msmtprc", fs::perms::owner_read | fs::perms::owner_write);
    Write(dir + "/reply.txt", WithLineFeeds(ReplyBody()));
    Write(dir + "/procmailrc", ProcmailRc(dir, dir + "/msmtprc", dir + "/reply.txt"));
    const auto env = EnvironmentWith(
        {"HOME=" + dir, "LOGNAME=" + std::string(getenv("LOGNAME") ? getenv("LOGNAME") : "bench")});

    SideResult side;
    side.label = side.shortLabel = "procmail";
    const int before = sink.Count();
    const auto start = std::chrono::steady_clock::now();
    for (const Message& m : messages) {
        const RunResult r = Run({{"/usr/bin/procmail", dir + "/procmailrc"},
                                 env,
                                 mail + m.name,
                                 dir + "/procmail.out"});
        side.failures += r.status != 0;
    }
    side.run.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    side.replies = sink.Count() - before;

    side.hits.assign(Rules().size(), 0);
    std::istringstream log(Read(dir + "/procmail.log"));
    for (std::string line; std::getline(log, line);)
        for (size_t i = 0; i < Rules().size(); ++i)
            side.hits[i] += line == ProcmailTag(Rules()[i]);
    side.filed = FilesIn(dir + "/In/new");
    side.sendFailures = LinesWith(dir + "/procmail.log", "could not send mail");

    // Memory apart from the timing, which an extra process per message
    // would slow: the first messages again (a fifth of them reply) in a
    // folder of their own, each procmail under bench_pass_rss.
    const std::string again = root + "/procmail-memory";
    fs::create_directories(again + "/In");
    Write(again + "/procmailrc", ProcmailRc(again, dir + "/msmtprc", dir + "/reply.txt"));
    std::vector<long> rss;
    for (size_t i = 0; i < messages.size() && i < kMemorySample; ++i) {
        const RunResult r = Measured({{"/usr/bin/procmail", again + "/procmailrc"},
                                      env,
                                      mail + messages[i].name,
                                      again + "/procmail.out"},
                                     again + "/rss");
        rss.push_back(r.maxRssKiB);
    }
    if (!rss.empty()) {
        side.run.maxRssKiB = *std::max_element(rss.begin(), rss.end());
        std::nth_element(rss.begin(), rss.begin() + static_cast<long>(rss.size() / 2), rss.end());
        side.medianRssKiB = rss[rss.size() / 2];
    }
    return side;
}

void Print(const std::vector<SideResult>& sides, const std::vector<Message>& messages,
           bool postaBuilt) {
    const double n = static_cast<double>(messages.size());
    std::printf("\nAgent pass over %zu pending messages: 5 rules of two conditions each, one\n"
                "answering the sender through aiosmtpd on 127.0.0.1.\n",
                messages.size());
    std::printf("procmail: one process per message (stdin = the message), replies through\n"
                "formail -rt | msmtp -t. Peak RSS from wait4 ru_maxrss (largest process).\n");
    if (!postaBuilt)
        std::printf("posta is not built in %s: the pass is measured through the processor\n"
                    "library in-process (TAgentProcessor::AgentsMain in a child process).\n",
                    kBin.c_str());
    std::printf("machine: %ld processors, load average %s", sysconf(_SC_NPROCESSORS_ONLN),
                Read("/proc/loadavg").c_str());
    std::printf("\n%-24s %9s %12s %13s %8s %6s %8s\n", "side", "wall s", "messages/s",
                "peak RSS MiB", "replies", "filed", "errors");
    for (const SideResult& s : sides)
        std::printf("%-24s %9.2f %12.1f %13.1f %8d %6d %8d%s\n", s.label.c_str(), s.run.seconds,
                    n / s.run.seconds, s.run.maxRssKiB / 1024.0, s.replies, s.filed,
                    s.failures + s.sendFailures, s.run.timedOut ? "  (timed out)" : "");
    const SideResult& theirs = sides.back();
    std::printf("procmail's peak RSS: the largest of its first %zu runs (procmail with its sh,\n"
                "formail and msmtp), run again under bench_pass_rss; median %.1f MiB\n",
                std::min(messages.size(), kMemorySample), theirs.medianRssKiB / 1024.0);
    for (size_t i = 0; i + 1 < sides.size(); ++i)
        std::printf("ratio %s / procmail: %.2f x messages/s, %.2f x peak RSS\n",
                    sides[i].shortLabel.c_str(), theirs.run.seconds / sides[i].run.seconds,
                    static_cast<double>(sides[i].run.maxRssKiB) /
                        static_cast<double>(theirs.run.maxRssKiB));

    std::printf("\n%-10s %9s", "rule hits", "expected");
    for (const SideResult& s : sides)
        std::printf(" %10s", s.shortLabel.c_str());
    std::printf("\n");
    bool same = true;
    for (size_t i = 0; i < Rules().size(); ++i) {
        int expected = 0;
        for (const Message& m : messages)
            expected += Rules()[i].fires(m.features);
        std::printf("%-10s %9d", Rules()[i].name.c_str(), expected);
        for (const SideResult& s : sides) {
            std::printf(" %10d", s.hits[i]);
            same = same && s.hits[i] == expected;
        }
        std::printf("\n");
    }
    std::printf(same ? "every side found exactly the expected hits\n"
                     : "WARNING: the sides disagree with the expected hits\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--core-pass") == 0)
        return CorePass(argv[2]);
    int count = 5000;
    bool core = false, keep = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--core") == 0)
            core = true;
        else if (std::strcmp(argv[i], "--keep") == 0)
            keep = true;
        else if (std::atoi(argv[i]) > 0 && std::atoi(argv[i]) <= 1000000)
            count = std::atoi(argv[i]);
        else {
            std::fprintf(stderr, "usage: bench_pass [messages] [--core] [--keep]\n");
            return 2;
        }
    }

    char pattern[] = "/tmp/bench-pass-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string root = pattern;
    int rc = 0;
    try {
        const bool postaBuilt = access((kBin + "/posta").c_str(), X_OK) == 0;
        const std::vector<Message> messages = MakeMessages(count);
        const std::string corpus = root + "/corpus/";
        for (const Message& m : messages)
            Write(corpus + m.name, m.text);
        fs::create_directories(root + "/sink");
        SmtpSink sink(QUELTA_SOURCE_DIR "/mail/tests/smtp_sink.py", root + "/sink");

        std::vector<SideResult> sides;
        if (postaBuilt) {
            std::fprintf(stderr, "posta /SINGLEPASS over %d messages...\n", count);
            sides.push_back(RunPosta(root, sink.Port(), sink, messages, corpus));
        }
        if (core || !postaBuilt) {
            std::fprintf(stderr, "the library's pass in-process over %d messages...\n", count);
            sides.push_back(RunCore(root, sink.Port(), sink, messages, corpus));
        }
        std::fprintf(stderr, "procmail over %d messages...\n", count);
        sides.push_back(RunProcmail(root, sink.Port(), sink, messages));
        Print(sides, messages, postaBuilt);
        for (const SideResult& s : sides)
            if (s.failures + s.sendFailures != 0)
                rc = 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_pass: %s\n", e.what());
        rc = 1;
    }
    if (keep || rc != 0)
        std::printf("work folder kept: %s\n", root.c_str());
    else
        fs::remove_all(root);
    return rc;
}

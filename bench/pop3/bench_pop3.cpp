// One mailbox of small and large messages on a Dovecot started here, fetched
// three times: by postp /SINGLEPASS (an "all messages, retrieve, keep"
// restriction), by mpop and by fetchmail (both keeping the mail on the
// server). Prints wall and CPU time of each, the ratios to postp, and the
// POP3 commands per message that Dovecot logged for each session.
#include "data/dataset.h"
#include "mail/tests/dovecot_server.h"
#include "platform/win/profile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;
namespace fs = std::filesystem;

namespace {

struct Timing {
    double wall = 0, cpu = 0;
    int status = -1;
};

double ChildCpu() {
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Runs argv with extra environment entries, output to log; wall and CPU time.
Timing Run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
           const std::string& log) {
    std::vector<std::string> envs;
    for (char** e = environ; *e; ++e)
        envs.emplace_back(*e);
    envs.insert(envs.end(), env.begin(), env.end());
    std::vector<char*> a, e;
    for (const auto& s : argv)
        a.push_back(const_cast<char*>(s.c_str()));
    a.push_back(nullptr);
    for (const auto& s : envs)
        e.push_back(const_cast<char*>(s.c_str()));
    e.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    Timing t;
    const double cpu0 = ChildCpu();
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (posix_spawnp(&pid, a[0], &fa, nullptr, a.data(), e.data()) == 0)
        waitpid(pid, &t.status, 0);
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    t.cpu = ChildCpu() - cpu0;
    posix_spawn_file_actions_destroy(&fa);
    return t;
}

void Write(const std::string& path, const std::string& text, mode_t mode = 0644) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    chmod(path.c_str(), mode);
}

std::string Message(int n, std::size_t size) {
    std::string m = "Message-ID: <bench." + std::to_string(n) +
                    "@example.org>\r\nFrom: a@example.org\r\nTo: b@example.org\r\n"
                    "Subject: bench " +
                    std::to_string(n) + "\r\nDate: Wed, 9 Dec 2026 08:00:00 +0000\r\n\r\n";
    while (m.size() + 78 < size)
        m += std::string(76, static_cast<char>('a' + n % 26)) + "\r\n";
    return m + ".\r\n..end\r\n";
}

void Append(const std::string& db, const std::string& table,
            const std::vector<std::pair<std::string, std::string>>& fields) {
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

// The counters of the sessions Dovecot logged since offset: top, retr, del.
std::vector<long> Counters(const std::string& log, std::size_t offset) {
    static const std::regex line(R"(top=(\d+)/\d+, retr=(\d+)/\d+, del=(\d+)/)");
    std::vector<long> sum(3, 0);
    const std::string tail = log.substr(std::min(offset, log.size()));
    for (std::sregex_iterator it(tail.begin(), tail.end(), line), end; it != end; ++it)
        for (int i = 0; i < 3; ++i)
            sum[static_cast<std::size_t>(i)] += std::stol((*it)[i + 1]);
    return sum;
}

std::size_t CountFiles(const std::string& dir) {
    std::size_t n = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec);
         it != fs::recursive_directory_iterator(); ++it)
        n += it->is_regular_file() ? 1 : 0;
    return n;
}

// Messages in a batch-SMTP file: one MAIL FROM each.
std::size_t CountEnvelopes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::size_t n = 0;
    for (std::string line; std::getline(in, line);)
        n += line.rfind("MAIL FROM:", 0) == 0 ? 1 : 0;
    return n;
}

} // namespace

int main(int argc, char** argv) {
    const int small = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int large = argc > 2 ? std::atoi(argv[2]) : 20;
    nettest::DovecotServer dovecot;
    if (!dovecot.Started()) {
        std::printf("bench_pop3: Dovecot not available: %s\n", dovecot.Why().c_str());
        return 0;
    }
    dovecot.AddUser("bench", "secret");
    std::size_t bytes = 0;
    for (int i = 0; i < small + large; ++i) {
        const std::string m = Message(i, i < small ? 10 * 1024 : 5 * 1024 * 1024);
        bytes += m.size();
        dovecot.Deliver("bench", m);
    }
    const int total = small + large;
    std::printf("mailbox: %d messages (%d of 10 KiB, %d of 5 MiB), %.1f MiB, on %s\n", total, small,
                large, static_cast<double>(bytes) / 1048576.0, dovecot.Address().c_str());

    const std::string root = dovecot.Folder() + "/bench/";
    for (const char* sub : {"db", "win", "prog", "messages", "agents", "mpop", "fetchmail"})
        fs::create_directories(root + sub);
    if (std::system((std::string(QUELTA_BIN_DIR "/mkschema ") + root + "db >/dev/null").c_str()) !=
        0)
        return 1;
    Append(root + "db/", "NODES.DBF",
           {{"UNIQUE_ID", "BENCH"},
            {"NODE", "Bench"},
            {"POPADDRESS", dovecot.Address()},
            {"LOGIN", "bench"},
            {"PASSWORD", "secret"},
            {"NEXTDATE", "1/1/2000"},
            {"NEXTTIME", "00:00"},
            {"FREQVAL", "5"}});
    Append(root + "db/", "rules.dbf",
           {{"UNIQUE_ID", "R1"},
            {"LINK_ID", "BENCH"},
            {"RULE", "All"},
            {"COND", "A"},
            {"ACT1", "Y"},
            {"ACT2", "N"}});
    {
        win::TIniFile ini(root + "win/quelta.ini");
        ini.WriteString("Folders", "Messages", root + "messages/");
        ini.WriteString("Folders", "Agents", root + "agents/");
        ini.WriteString("Folders", "DataBase", root + "db/");
    }
    fs::copy_file(QUELTA_BIN_DIR "/postp", root + "prog/postp");

    const std::string port = std::to_string(dovecot.Port());
    Write(root + "mpoprc",
          "defaults\ntls off\naccount bench\nhost 127.0.0.1\nport " + port +
              "\nuser bench\npassword secret\nauth user\nkeep on\nonly_new off\n"
              "uidls_file " +
              root + "mpop/uidls\ndelivery maildir " + root + "mpop/maildir\n",
          0600);
    for (const char* sub : {"cur", "new", "tmp"})
        fs::create_directories(root + "mpop/maildir/" + sub);
    Write(root + "fetchmailrc",
          "set no bouncemail\npoll 127.0.0.1 proto pop3 port " + port +
              " auth password\n  user \"bench\" password \"secret\" keep fetchall "
              "sslproto \"\"\n",
          0600);

    struct Tool {
        const char* name;
        std::vector<std::string> argv, env;
        std::string out;
    };
    const std::vector<Tool> tools = {
        {"postp",
         {root + "prog/postp", "/SINGLEPASS"},
         {"QT_QPA_PLATFORM=offscreen", "QUELTA_WINDIR=" + root + "win"},
         root + "messages"},
        {"mpop", {"mpop", "-C", root + "mpoprc", "bench"}, {}, root + "mpop/maildir"},
        {"fetchmail",
         {"fetchmail", "-f", root + "fetchmailrc", "-i", root + "fetchmail/ids", "--nosyslog",
          "--bsmtp", root + "fetchmail/out.bsmtp"},
         {"FETCHMAILHOME=" + root + "fetchmail"},
         root + "fetchmail"}};
    std::optional<Timing> base, mpop;
    std::printf("%-10s %9s %9s %8s %8s %10s %8s\n", "tool", "wall s", "cpu s", "wall x", "cpu x",
                "cmds/msg", "stored");
    for (const Tool& tool : tools) {
        const std::size_t offset = dovecot.Log().size();
        const Timing t = Run(tool.argv, tool.env, root + tool.name + ".out");
        const std::vector<long> c = Counters(dovecot.Log(), offset);
        if (!base)
            base = t;
        if (std::string(tool.name) == "mpop")
            mpop = t;
        // LIST/TOP/RETR/DELE as Dovecot counts them, plus USER, PASS, STAT, QUIT.
        const double perMessage = static_cast<double>(c[0] + c[1] + c[2]) / total;
        const std::size_t stored = std::string(tool.name) == "fetchmail"
                                       ? CountEnvelopes(root + "fetchmail/out.bsmtp")
                                       : CountFiles(tool.out);
        std::printf("%-10s %9.2f %9.2f %8.2f %8.2f %10.2f %8zu%s\n", tool.name, t.wall, t.cpu,
                    t.wall / base->wall, base->cpu > 0 ? t.cpu / base->cpu : 0.0, perMessage,
                    stored, WIFEXITED(t.status) && WEXITSTATUS(t.status) <= 1 ? "" : "  (failed)");
        std::printf("           top=%ld retr=%ld del=%ld\n", c[0], c[1], c[2]);
    }
    std::printf("(x: ratio to postp; cmds/msg: TOP+RETR+DELE per message from Dovecot's log)\n");
    if (mpop && mpop->wall > 0 && mpop->cpu > 0)
        std::printf("postp / mpop: wall %.2f (goal <= 1.50), cpu %.2f (goal <= 2.00)\n",
                    base->wall / mpop->wall, base->cpu / mpop->cpu);
    return 0;
}

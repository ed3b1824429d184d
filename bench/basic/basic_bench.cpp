// One loop-heavy workload (calls, arithmetic, string building) written for
// our engine, for yabasic and for Python; each side runs three times, taking
// turns, and the best times are printed with their ratios. Usage:
// basic_bench [turns]
#include "platform/basic/engine.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string Replace(std::string s, const std::string& what, const std::string& with) {
    for (std::size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + with.size()))
        s.replace(p, what.size(), with);
    return s;
}

const char* const kOurs = R"(Function F(x)
  F = x * 2 + 1
End Function
s = ""
total = 0
For i = 1 To TURNS
  total = total + F(i) Mod 7
  s = s & Chr(65 + i Mod 26)
  If Len(s) > 1000 Then s = ""
Next
Print total & " " & Len(s)
)";

const char* const kYabasic = R"(sub f(x)
  return x * 2 + 1
end sub
s$ = ""
total = 0
for i = 1 to TURNS
  total = total + mod(f(i), 7)
  s$ = s$ + chr$(65 + mod(i, 26))
  if len(s$) > 1000 s$ = ""
next i
print total
print len(s$)
)";

const char* const kPython = R"(def f(x):
    return x * 2 + 1
s = ""
total = 0
for i in range(1, TURNS + 1):
    total = total + f(i) % 7
    s = s + chr(65 + i % 26)
    if len(s) > 1000:
        s = ""
print(total)
print(len(s))
)";

std::string WriteTemp(const std::string& text, const char* suffix) {
    std::string path = "/tmp/basic_bench_XXXXXX";
    path += suffix;
    int fd = mkstemps(path.data(), static_cast<int>(std::string(suffix).size()));
    if (fd < 0)
        return {};
    close(fd);
    std::ofstream(path) << text;
    return path;
}

// Seconds the program took on the script, output to /dev/null; negative
// when it cannot run.
double RunPeer(const char* program, const std::string& script) {
    if (access(program, X_OK) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    char* argv[] = {const_cast<char*>(program), const_cast<char*>(script.c_str()), nullptr};
    auto start = Clock::now();
    pid_t pid = 0;
    int rc = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    double secs = std::chrono::duration<double>(Clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? secs : -1;
}

void Report(const char* name, double secs, double ours, double goal) {
    if (secs < 0) {
        std::printf("%-14s not available\n", name);
        return;
    }
    std::printf("%-14s %8.3f s   quelta/%s = %.2f   (goal <= %.2f)\n", name, secs, name,
                ours / secs, goal);
}

} // namespace

int main(int argc, char** argv) {
    long turns = argc > 1 ? std::atol(argv[1]) : 300000;
    std::string n = std::to_string(turns);

    // Each side three times, taking turns, and the best time of each: the
    // machine is shared, and a slice lost to another program is no side's cost.
    std::string yab = WriteTemp(Replace(kYabasic, "TURNS", n), ".yab");
    std::string py = WriteTemp(Replace(kPython, "TURNS", n), ".py");
    std::string out;
    double ours = -1, yabasic = -1, python = -1;
    const auto best = [](double& kept, double secs) {
        if (secs >= 0 && (kept < 0 || secs < kept))
            kept = secs;
    };
    for (int trial = 0; trial < 3; ++trial) {
        basic::TBasicEngine engine;
        engine.Limits().MaxStatements = 0;
        out.clear();
        engine.OnLog = [&](const std::string& line) { out += " " + line; };
        auto start = Clock::now();
        try {
            engine.RunText(Replace(kOurs, "TURNS", n));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "basic_bench: %s\n", e.what());
            return 1;
        }
        best(ours, std::chrono::duration<double>(Clock::now() - start).count());
        best(yabasic, RunPeer("/usr/bin/yabasic", yab));
        best(python, RunPeer("/usr/bin/python3", py));
    }
    std::remove(yab.c_str());
    std::remove(py.c_str());

    std::printf("workload: %ld turns of a call, arithmetic and string building (result:%s)\n",
                turns, out.c_str());
    std::printf("%-14s %8.3f s\n", "quelta", ours);
    Report("yabasic", yabasic, ours, 0.8);
    Report("python3", python, ours, 1.5);
    std::printf("(best of three turns each; peers are timed as processes, start-up included)\n");
    return 0;
}

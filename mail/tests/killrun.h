#pragma once
// The crash tests' driver: runs a program, and kills it (SIGKILL, as a
// power cut or the OOM killer would end it) after a chosen time unless it
// ended first. Output goes to a file of the test's; nothing is shared with
// the test's own process but the files the program writes.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace crashtest {

struct TRun {
    bool killed = false;
    int exitCode = -1; // -1 when killed or ended by a signal
    double seconds = 0;
};

// Starts argv[0] with argv and the test's environment plus extra
// ("NAME=value", replacing the test's own NAME); kills it after killAfter
// seconds, or after limit seconds (a program that hangs) when killAfter is
// negative.
inline TRun RunAndKill(const std::vector<std::string>& argv, const std::vector<std::string>& extra,
                       const std::string& output, double killAfter, double limit = 120) {
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e) {
        const std::string var = *e;
        const std::string name = var.substr(0, var.find('=') + 1);
        bool replaced = false;
        for (const std::string& x : extra)
            replaced = replaced || x.compare(0, name.size(), name) == 0;
        if (!replaced)
            envText.push_back(var);
    }
    envText.insert(envText.end(), extra.begin(), extra.end());
    std::vector<char*> envp, args;
    for (auto& e : envText)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argText = argv;
    for (auto& a : argText)
        args.push_back(a.data());
    args.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    TRun run;
    pid_t pid = -1;
    const auto start = std::chrono::steady_clock::now();
    const int rc = posix_spawn(&pid, args[0], &files, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    if (rc != 0)
        return run;
    const double deadline = killAfter >= 0 ? killAfter : limit;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        run.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (done == pid)
            break;
        if (run.seconds >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            run.killed = true;
            return run;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    if (WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    return run;
}

// How many trials a crash test runs: QUELTA_CRASH_TRIALS, else fallback.
inline int Trials(int fallback) {
    const char* text = std::getenv("QUELTA_CRASH_TRIALS");
    const int n = text ? std::atoi(text) : 0;
    return n > 0 ? n : fallback;
}

} // namespace crashtest

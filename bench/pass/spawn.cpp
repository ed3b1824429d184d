#include "bench/pass/spawn.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace benchpass {

namespace {

std::vector<char*> Pointers(const std::vector<std::string>& items) {
    std::vector<char*> p;
    for (const auto& s : items)
        p.push_back(const_cast<char*>(s.c_str()));
    p.push_back(nullptr);
    return p;
}

// Waits for the child at most `seconds`; true when it has ended. A pidfd
// lets poll wait without a busy loop; without one, wait4 blocks.
bool WaitEnd(pid_t pid, int seconds) {
    const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0)
        return true;
    pollfd p{fd, POLLIN, 0};
    int r;
    do
        r = poll(&p, 1, seconds * 1000);
    while (r < 0 && errno == EINTR);
    close(fd);
    return r > 0;
}

struct FileActions {
    FileActions() { posix_spawn_file_actions_init(&fa); }
    ~FileActions() { posix_spawn_file_actions_destroy(&fa); }
    posix_spawn_file_actions_t fa;
};

} // namespace

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& overrides) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& o : overrides)
            replaced = replaced || o.substr(0, o.find('=')) == name;
        if (!replaced)
            env.push_back(entry);
    }
    env.insert(env.end(), overrides.begin(), overrides.end());
    return env;
}

RunResult Run(const RunRequest& request) {
    RunResult result;
    FileActions fa;
    posix_spawn_file_actions_addopen(&fa.fa, 0, request.stdinPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa.fa, 1, request.outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&fa.fa, 1, 2);
    auto argv = Pointers(request.argv);
    const std::vector<std::string> env = request.env.empty() ? EnvironmentWith({}) : request.env;
    auto envp = Pointers(env);

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &fa.fa, nullptr, argv.data(), envp.data()) != 0)
        return result;
    if (!WaitEnd(pid, request.timeoutSeconds)) {
        result.timedOut = true;
        kill(pid, SIGKILL);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.maxRssKiB = usage.ru_maxrss;
    if (WIFEXITED(status) && !result.timedOut)
        result.status = WEXITSTATUS(status);
    return result;
}

SmtpSink::SmtpSink(const std::string& script, const std::string& folder) : folder_(folder) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        throw std::runtime_error("pipe failed");
    }
    FileActions fa;
    posix_spawn_file_actions_adddup2(&fa.fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa.fa, out[1], 1);
    const std::vector<std::string> args = {"/usr/bin/python3", script, folder, "--count"};
    auto argv = Pointers(args);
    const int rc = posix_spawn(&pid_, argv[0], &fa.fa, nullptr, argv.data(), environ);
    close(in[0]);
    close(out[1]);
    toSink_ = in[1];
    if (rc != 0) {
        pid_ = -1;
        close(out[0]);
        throw std::runtime_error("cannot start /usr/bin/python3");
    }
    // The sink prints its port once it listens.
    std::string line;
    pollfd p{out[0], POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        if (poll(&p, 1, 500) <= 0)
            continue;
        char buf[64];
        const ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        line.append(buf, static_cast<size_t>(n));
    }
    close(out[0]);
    port_ = std::atoi(line.c_str());
    if (port_ <= 0) {
        close(toSink_);
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        throw std::runtime_error("aiosmtpd did not start (apt-get install python3-aiosmtpd)");
    }
}

SmtpSink::~SmtpSink() {
    if (toSink_ >= 0)
        close(toSink_);
    if (pid_ > 0) {
        if (!WaitEnd(pid_, 10))
            kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

int SmtpSink::Count() const {
    std::ifstream in(folder_ + "/count");
    int n = 0;
    in >> n;
    return n;
}

void Write(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace benchpass

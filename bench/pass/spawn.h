#pragma once
// Running outside programs for the benchmark: an argument list (no shell),
// chosen environment and files for the standard streams, a time limit, and
// the child's wall time and peak memory from wait4.
#include <string>
#include <sys/types.h>
#include <vector>

namespace benchpass {

struct RunResult {
    int status = -1;    // exit code, or -1 when killed or not started
    double seconds = 0; // wall time from spawn to reaping
    long maxRssKiB = 0; // ru_maxrss: the largest of the child and its reaped descendants
    bool timedOut = false;
};

struct RunRequest {
    std::vector<std::string> argv;
    std::vector<std::string> env; // "NAME=value"; empty: this process's environment
    std::string stdinPath = "/dev/null";
    std::string outPath = "/dev/null"; // stdout and stderr, appended
    int timeoutSeconds = 60;
};

RunResult Run(const RunRequest& request);

// This process's environment with some variables replaced or added.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& overrides);

// A file the runs read: created with its folders, or replaced; throws when
// it cannot be written.
void Write(const std::string& path, const std::string& text);
// A file's bytes; "" when it cannot be read.
std::string Read(const std::string& path);

// aiosmtpd (mail/tests/smtp_sink.py --count) on 127.0.0.1, stopped by
// closing its standard input when the object goes.
class SmtpSink {
public:
    SmtpSink(const std::string& script, const std::string& folder);
    ~SmtpSink();
    SmtpSink(const SmtpSink&) = delete;
    SmtpSink& operator=(const SmtpSink&) = delete;
    [[nodiscard]] int Port() const { return port_; }
    // Messages accepted so far.
    [[nodiscard]] int Count() const;

private:
    std::string folder_;
    pid_t pid_ = -1;
    int toSink_ = -1;
    int port_ = 0;
};

} // namespace benchpass

#pragma once
// A scripted loopback server for the network tests: it listens on
// 127.0.0.1, accepts one connection and plays its steps on its own thread
// with plain blocking sockets, recording the lines it reads. Also the lazy
// QCoreApplication and the Winsock loading the network tests share.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace nettest {

struct Step {
    enum Kind { Send, Line, Data, Pause, Close, Abort, Linger, Act } kind;
    std::string text;
    int ms = 0;
    std::function<void()> action = {};
};
// Sends bytes as they are.
inline Step Say(std::string text, int pauseAfterMs = 0) {
    return {Step::Send, std::move(text), pauseAfterMs};
}
// Reads one line (recorded without its CR LF).
inline Step Hear() {
    return {Step::Line, {}, 0};
}
// Reads up to CR LF "." CR LF (recorded whole, the mark included).
inline Step HearData() {
    return {Step::Data, {}, 0};
}
inline Step Wait(int ms) {
    return {Step::Pause, {}, ms};
}
// Closes the connection; Abort resets it (RST).
inline Step Hangup() {
    return {Step::Close, {}, 0};
}
inline Step Reset() {
    return {Step::Abort, {}, 0};
}
// Keeps the connection until the client closes it (or ms pass).
inline Step Linger(int ms = 10000) {
    return {Step::Linger, {}, ms};
}
// Runs action on the server's thread, at this point of the dialogue.
inline Step Do(std::function<void()> action) {
    return {Step::Act, {}, 0, std::move(action)};
}

class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<Step> steps);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    [[nodiscard]] std::uint16_t Port() const { return port_; }
    [[nodiscard]] std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    // Waits for the script's end; the lines and data read, in order.
    const std::vector<std::string>& Heard();

private:
    void Run(std::vector<Step> steps);
    int listen_ = -1;
    std::uint16_t port_ = 0;
    std::vector<std::string> heard_;
    std::thread thread_;
};

// A port on 127.0.0.1 that nobody listens on.
[[nodiscard]] std::uint16_t ClosedPort();
// The QCoreApplication of the test program, made on first use, and the
// Winsock binding loaded from the build's binary folder.
void EnsureNetwork();

} // namespace nettest

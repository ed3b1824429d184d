#include "mail/tests/tcp_server.h"

#include "mail/agwinsock.h"

#include <QCoreApplication>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace nettest {

namespace {

int ListenSocket(std::uint16_t& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 8) != 0)
        return -1;
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

bool ReadUntil(int fd, std::string& got, const std::string& mark) {
    char c;
    while (got.size() < mark.size() || got.compare(got.size() - mark.size(), mark.size(), mark)) {
        if (::recv(fd, &c, 1, 0) != 1)
            return false;
        got += c;
    }
    return true;
}

} // namespace

ScriptedServer::ScriptedServer(std::vector<Step> steps) {
    listen_ = ListenSocket(port_);
    thread_ = std::thread([this, s = std::move(steps)]() mutable { Run(std::move(s)); });
}

ScriptedServer::~ScriptedServer() {
    if (thread_.joinable())
        thread_.join();
    if (listen_ >= 0)
        ::close(listen_);
}

const std::vector<std::string>& ScriptedServer::Heard() {
    if (thread_.joinable())
        thread_.join();
    return heard_;
}

void ScriptedServer::Run(std::vector<Step> steps) {
    timeval tv{15, 0};
    ::setsockopt(listen_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    const int fd = ::accept(listen_, nullptr, nullptr);
    if (fd < 0)
        return;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    bool open = true;
    for (const Step& s : steps) {
        if (!open)
            break;
        switch (s.kind) {
        case Step::Send:
            ::send(fd, s.text.data(), s.text.size(), MSG_NOSIGNAL);
            if (s.ms > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(s.ms));
            break;
        case Step::Line:
        case Step::Data: {
            std::string got;
            const bool ok = ReadUntil(fd, got, s.kind == Step::Line ? "\r\n" : "\r\n.\r\n");
            if (s.kind == Step::Line && ok)
                got.resize(got.size() - 2);
            heard_.push_back(ok ? got : "(closed) " + got);
            open = ok;
            break;
        }
        case Step::Pause:
            std::this_thread::sleep_for(std::chrono::milliseconds(s.ms));
            break;
        case Step::Abort: {
            linger l{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            open = false;
            break;
        }
        case Step::Close:
            open = false;
            break;
        case Step::Act:
            s.action();
            break;
        case Step::Linger: {
            timeval t{s.ms / 1000, (s.ms % 1000) * 1000};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
            char c;
            while (::recv(fd, &c, 1, 0) > 0) {
            }
            open = false;
            break;
        }
        }
    }
    ::close(fd);
}

std::uint16_t ClosedPort() {
    std::uint16_t port = 0;
    ::close(ListenSocket(port));
    return port;
}

void EnsureNetwork() {
    static int argc = 1;
    static char name[] = "mail_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
    TagWinsock::SetLibraryName(QUELTA_BIN_DIR "/libwsock32.so");
    if (!Winsock().IsLoaded())
        Winsock().Load();
}

} // namespace nettest

#include "fuzz/reply_server.h"

#include <QCoreApplication>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <dlfcn.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "mail/agwinsock.h"

namespace fuzz {

namespace {

std::mutex g_mutex;
std::condition_variable g_idle;
std::string g_replies;
int g_sessions = 0; // accepted and not yet ended

void SendAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return; // the client went away; nothing more to say
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

ReplyServer& ReplyServer::Instance() {
    static ReplyServer server;
    return server;
}

ReplyServer::ReplyServer() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
    TagWinsock::SetLibraryName(QUELTA_BIN_DIR "/libwsock32.so");
    // Each new client unloads the binding and loads it again; a handle kept
    // here keeps the library mapped in between, so that stays cheap.
    if (!dlopen(QUELTA_BIN_DIR "/libwsock32.so", RTLD_NOW | RTLD_LOCAL))
        std::abort();
    if (!Winsock().IsLoaded())
        Winsock().Load();

    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listen_, 16) != 0)
        std::abort();
    socklen_t len = sizeof a;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    std::thread([this] {
        for (;;) {
            int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            {
                std::lock_guard<std::mutex> lock(g_mutex);
                ++g_sessions;
            }
            std::thread([this, fd] {
                Serve(fd);
                std::lock_guard<std::mutex> lock(g_mutex);
                --g_sessions;
                g_idle.notify_all();
            }).detach();
        }
    }).detach();
}

std::string ReplyServer::Address() const {
    return "127.0.0.1:" + std::to_string(port_);
}

void ReplyServer::SetReplies(std::string_view bytes) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_replies.assign(bytes);
}

void ReplyServer::WaitIdle() {
    for (;;) {
        // A connection still waiting in the backlog is not counted yet.
        pollfd p{listen_, POLLIN, 0};
        bool waiting = ::poll(&p, 1, 0) > 0;
        std::unique_lock<std::mutex> lock(g_mutex);
        if (!waiting && g_sessions == 0)
            return;
        g_idle.wait_for(lock, std::chrono::milliseconds(1));
    }
}

// The first reply on connecting, then the next one after each line the
// client sends. When the client says nothing for a moment (it waits for the
// rest of a reply) the server sends all that is left. After the last reply
// it hangs up: it closes its sending half and reads on until the client
// closes, so the client's unread commands never turn the close into a reset
// that would throw away replies not read yet.
void ReplyServer::Serve(int fd) {
    std::string replies;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        replies = g_replies;
    }
    std::vector<std::string> chunks;
    for (std::size_t from = 0;;) {
        std::size_t at = replies.find(kReplySeparator, from);
        chunks.push_back(replies.substr(from, at == std::string::npos ? at : at - from));
        if (at == std::string::npos)
            break;
        from = at + 1;
    }
    std::size_t next = 0;
    SendAll(fd, chunks[next++]);
    bool hungUp = false;
    char buf[4096];
    for (;;) {
        if (next == chunks.size() && !hungUp) {
            ::shutdown(fd, SHUT_WR);
            hungUp = true;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, hungUp ? 10000 : 5) <= 0) {
            if (hungUp)
                break;
            while (next < chunks.size())
                SendAll(fd, chunks[next++]);
            continue;
        }
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i)
            if (buf[i] == '\n' && next < chunks.size())
                SendAll(fd, chunks[next++]);
    }
    ::close(fd);
}

} // namespace fuzz

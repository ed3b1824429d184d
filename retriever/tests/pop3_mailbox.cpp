#include "retriever/tests/pop3_mailbox.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace nettest {

namespace {

bool SendAll(int fd, const std::string& text) {
    for (std::size_t sent = 0; sent < text.size();) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// The text as a POP3 data block: the "." that begins a line (after CR LF)
// doubled, unless stuff is off; ended by ".".
std::string Block(const std::string& text, bool stuff) {
    std::string out;
    bool lineStart = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (stuff && lineStart && text[i] == '.')
            out += '.';
        out += text[i];
        lineStart = text[i] == '\n' && i > 0 && text[i - 1] == '\r';
    }
    if (!out.empty() && !lineStart)
        out += "\r\n";
    return out + ".\r\n";
}

// The header and the first lines of the body.
std::string Top(const std::string& text, long lines) {
    std::size_t at = text.find("\r\n\r\n");
    if (at == std::string::npos)
        return text;
    at += 4;
    for (long k = 0; k < lines && at < text.size(); ++k) {
        const std::size_t lf = text.find('\n', at);
        at = lf == std::string::npos ? text.size() : lf + 1;
    }
    return text.substr(0, at);
}

} // namespace

TPop3Mailbox::TPop3Mailbox() {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listen_, 4) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("the test's POP3 server cannot listen");
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

TPop3Mailbox::~TPop3Mailbox() {
    stop_ = true;
    thread_.join();
    ::close(listen_);
}

void TPop3Mailbox::Deliver(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(bytes);
}

void TPop3Mailbox::RefuseDelete(const std::string& marker, const std::string& refusal) {
    std::lock_guard<std::mutex> lock(mutex_);
    refusedMarker_ = marker;
    refusal_ = refusal;
}

void TPop3Mailbox::SetStatWithoutSize(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    statWithoutSize_ = on;
}

void TPop3Mailbox::SetDotStuffing(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    dotStuffing_ = on;
}

std::vector<std::string> TPop3Mailbox::Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

std::vector<std::string> TPop3Mailbox::Commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

void TPop3Mailbox::Serve() {
    while (!stop_) {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0)
            continue;
        Session(fd);
        ::close(fd);
    }
}

void TPop3Mailbox::Session(int fd) {
    if (!SendAll(fd, "+OK test POP3 server ready\r\n"))
        return;
    std::vector<std::string> box = Messages(); // the session's view, numbered from 1
    bool statWithoutSize = false, stuff = true;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        statWithoutSize = statWithoutSize_;
        stuff = dotStuffing_;
    }
    std::set<std::size_t> deleted;
    auto message = [&](const std::string& arg, std::size_t& index) {
        const long n = std::atol(arg.c_str());
        if (n < 1 || static_cast<std::size_t>(n) > box.size() ||
            deleted.count(static_cast<std::size_t>(n - 1)))
            return false;
        index = static_cast<std::size_t>(n - 1);
        return true;
    };
    std::string pending;
    while (!stop_) {
        const std::size_t lf = pending.find("\r\n");
        if (lf == std::string::npos) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            char chunk[4096];
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                return; // gone without QUIT: nothing is deleted
            pending.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        const std::string line = pending.substr(0, lf);
        pending.erase(0, lf + 2);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            commands_.push_back(line);
        }
        const std::string verb = line.substr(0, line.find(' '));
        const std::string rest = line.size() > verb.size() ? line.substr(verb.size() + 1) : "";
        std::size_t i = 0;
        std::string reply;
        if (verb == "USER" || verb == "PASS" || verb == "NOOP") {
            reply = "+OK\r\n";
        } else if (verb == "STAT") {
            std::size_t count = 0, size = 0;
            for (std::size_t k = 0; k < box.size(); ++k)
                if (!deleted.count(k))
                    ++count, size += box[k].size();
            reply = "+OK " + std::to_string(count) +
                    (statWithoutSize ? std::string() : " " + std::to_string(size)) + "\r\n";
        } else if (verb == "LIST" && message(rest, i)) {
            reply = "+OK " + rest + " " + std::to_string(box[i].size()) + "\r\n";
        } else if (verb == "TOP" && message(rest.substr(0, rest.find(' ')), i)) {
            const long lines = std::atol(rest.substr(rest.find(' ') + 1).c_str());
            reply = "+OK\r\n" + Block(Top(box[i], lines), stuff);
        } else if (verb == "RETR" && message(rest, i)) {
            reply = "+OK\r\n" + Block(box[i], stuff);
        } else if (verb == "DELE" && message(rest, i)) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!refusedMarker_.empty() && box[i].find(refusedMarker_) != std::string::npos) {
                reply = refusal_ + "\r\n";
            } else {
                deleted.insert(i);
                reply = "+OK\r\n";
            }
        } else if (verb == "QUIT") {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                std::vector<std::string> kept;
                for (std::size_t k = 0; k < box.size(); ++k)
                    if (!deleted.count(k))
                        kept.push_back(box[k]);
                // Delivered during the session: kept behind the others.
                for (std::size_t k = box.size(); k < messages_.size(); ++k)
                    kept.push_back(messages_[k]);
                messages_ = kept;
            }
            SendAll(fd, "+OK bye\r\n");
            return;
        } else {
            reply = "-ERR no such message or command\r\n";
        }
        if (!SendAll(fd, reply))
            return;
    }
}

} // namespace nettest

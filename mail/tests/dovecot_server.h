#pragma once
// A real Dovecot POP3 server for the tests: its own configuration, a
// passwd-file and one maildir per user in a scratch folder, listening on a
// free port of 127.0.0.1, stopped with the object. Started() is false (and
// Why() says why) when the server cannot run here; tests skip then.
#include <cstdint>
#include <string>
#include <vector>

namespace nettest {

class DovecotServer {
public:
    DovecotServer();
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    [[nodiscard]] bool Started() const { return pid_ > 0; }
    [[nodiscard]] const std::string& Why() const { return why_; }
    [[nodiscard]] std::uint16_t Port() const { return port_; }
    [[nodiscard]] std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    [[nodiscard]] const std::string& Folder() const { return dir_; }

    // Users are added before the first log-in: the server keeps the
    // passwd-file it read first.
    void AddUser(const std::string& name, const std::string& password);
    // Puts a message into the user's mailbox as these exact bytes; the
    // order of delivery is the order on the server.
    void Deliver(const std::string& user, const std::string& bytes);
    // The messages left in the user's mailbox, in delivery order.
    [[nodiscard]] std::vector<std::string> Mailbox(const std::string& user) const;
    // The server's log so far.
    [[nodiscard]] std::string Log() const;

private:
    std::string MailDir(const std::string& user) const;
    std::string dir_;
    std::uint16_t port_ = 0;
    int pid_ = -1;
    int delivered_ = 0;
    std::string why_;
};

} // namespace nettest

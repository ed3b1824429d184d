#pragma once
// A POP3 server of the tests' own for what Dovecot will not do, such as
// refusing DELE (a read-only or locked mailbox, a provider that forbids
// deleting): one mailbox in memory, served on 127.0.0.1 to one session
// after another on a thread of its own. Deletions take effect at QUIT, as
// RFC 1939 has it; a session that ends without QUIT deletes nothing.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nettest {

class TPop3Mailbox {
public:
    TPop3Mailbox();
    ~TPop3Mailbox();
    TPop3Mailbox(const TPop3Mailbox&) = delete;
    TPop3Mailbox& operator=(const TPop3Mailbox&) = delete;

    [[nodiscard]] std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    // Appends a message, these exact bytes (lines end with CR LF).
    void Deliver(const std::string& bytes);
    // DELE of a message whose text holds marker is answered with refusal.
    void RefuseDelete(const std::string& marker, const std::string& refusal);
    // Servers met in the field: STAT answered with the count alone ("+OK 2"),
    // and data sent without doubling a leading "." (a line "." then ends
    // a message early).
    void SetStatWithoutSize(bool on);
    void SetDotStuffing(bool on);
    // What is on the server now, in order.
    [[nodiscard]] std::vector<std::string> Messages() const;
    // Every command line of every session, in order.
    [[nodiscard]] std::vector<std::string> Commands() const;

private:
    void Serve();
    void Session(int fd);

    int listen_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> messages_, commands_;
    std::string refusedMarker_, refusal_;
    bool statWithoutSize_ = false, dotStuffing_ = true;
    std::thread thread_;
};

} // namespace nettest

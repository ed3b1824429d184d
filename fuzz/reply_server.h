#pragma once
// The server side of the protocol fuzz targets: a loopback listener that
// answers every connection from the fuzz input, cut into replies at each
// kReplySeparator byte: the first on connecting, the next after each line
// the client sends, all the rest when it falls silent; then it hangs up.
// Also the event loop and Winsock binding the clients need.
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzz {

inline constexpr char kReplySeparator = '\x1e';

class ReplyServer {
public:
    // The one server of the process, listening from first use.
    static ReplyServer& Instance();
    // "127.0.0.1:port"
    [[nodiscard]] std::string Address() const;
    // What the next connections are answered with.
    void SetReplies(std::string_view bytes);
    // Returns once every connection made so far has ended (the client has
    // closed its end), so nothing of one input outlives it.
    void WaitIdle();

private:
    ReplyServer();
    void Serve(int fd);
    int listen_ = -1;
    std::uint16_t port_ = 0;
};

} // namespace fuzz

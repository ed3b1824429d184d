#include "mail/agsocket.h"

#include "mail/agras.h"
#include "mail/agwinsock.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <istream>
#include <ostream>
#include <vector>

namespace {

constexpr long kSelectMask = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE; // 51
// Large enough that a long transfer wakes the event loop rarely.
constexpr int kReceiveChunk = 65536;
constexpr int kSendChunk = 2047;

int Percent(long long position, long long size) {
    return static_cast<int>(
        std::lround(static_cast<double>(position) * 100.0 / static_cast<double>(size)));
}

} // namespace

TagSocket::TagSocket() {
    window_.WndProc = &TagSocket::WndProc;
    window_.owner = this;
    // Creating a socket component unloads the process-wide binding; the
    // owner loads it again after creating its components.
    SetWinsockLoaded(false);
}

TagSocket::~TagSocket() {
    // The library must not keep this window: close what is still open.
    try {
        const bool load = !Winsock().IsLoaded() &&
                          (socket_ != INVALID_SOCKET || request_ != nullptr || startups_ > 0);
        if (load)
            Winsock().Load();
        if (Winsock().IsLoaded()) {
            CancelRequest();
            if (socket_ != INVALID_SOCKET)
                Winsock().CloseSocket(socket_);
            for (; startups_ > 0; --startups_)
                Winsock().WSACleanup();
        }
        if (load)
            Winsock().Unload();
    } catch (...) {
    }
}

bool TagSocket::WinsockLoaded() const {
    return Winsock().IsLoaded();
}

void TagSocket::SetWinsockLoaded(bool loaded) {
    if (!loaded)
        Winsock().Unload();
    else if (!Winsock().IsLoaded())
        Winsock().Load();
}

bool TagSocket::IsWinsockAvailable() {
    return Winsock().IsAvailable();
}

void TagSocket::WndProc(WSWINDOW* self, unsigned msg, std::uintptr_t, std::intptr_t l) {
    static_cast<Window*>(self)->owner->OnMessage(msg, l);
}

void TagSocket::OnMessage(unsigned msg, std::intptr_t l) {
    const unsigned error = WSAGetSelectError(l);
    if (msg != kHostLookedUp && msg != kServLookedUp && msg != kSocketEvent)
        return;
    if (error != 0) {
        error_ = true;
        errorCode_ = static_cast<int>(error);
    }
    if (msg == kHostLookedUp) {
        hostLookedUp_ = true;
    } else if (msg == kServLookedUp) {
        servLookedUp_ = true;
    } else if (error == 0) {
        switch (WSAGetSelectEvent(l)) {
        case FD_READ:
            readable_ = true;
            break;
        case FD_WRITE:
            writable_ = true;
            break;
        case FD_CONNECT:
            connected_ = true;
            break;
        case FD_CLOSE:
            closed_ = true;
            break;
        default:
            break;
        }
    }
}

void TagSocket::Reset() {
    cancel_ = false;
    waiter_.ClearExpired();
    request_ = nullptr;
    error_ = false;
    errorCode_ = 0;
    hostLookedUp_ = servLookedUp_ = false;
    connected_ = readable_ = writable_ = closed_ = false;
}

int TagSocket::GetReplyCode(const std::string& line) {
    if (line.size() < 3)
        return -1;
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        const char c = line[static_cast<std::size_t>(i)];
        if (c < '0' || c > '9')
            return -1;
        code = code * 10 + (c - '0');
    }
    return code;
}

// ---- error routines ----

void TagSocket::RaiseError(int id) {
    waiter_.Stop();
    std::string text = NetStr(id);
    if (text.empty())
        text = "Error #" + std::to_string(id);
    if (OnError)
        OnError(*this, text);
    throw ESocketError(text);
}

void TagSocket::RaiseErrorIfSet(int id) {
    if (id != 0)
        RaiseError(id);
    waiter_.Stop();
}

void TagSocket::RaiseTimedOut() {
    waiter_.Stop();
    std::string text = NetStr(STimedOut);
    if (OnError)
        OnError(*this, text);
    CancelRequest();
    if (Winsock().WSAIsBlocking())
        Winsock().WSACancelBlockingCall();
    Close();
    throw ETimedOutError(NetStr(STimedOut));
}

void TagSocket::RaiseCanceled() {
    waiter_.Stop();
    std::string text = NetStr(SCanceled);
    if (OnError)
        OnError(*this, text);
    throw ECanceledError(NetStr(SCanceled));
}

void TagSocket::RaiseWaitEnd(bool withError) {
    if (cancel_)
        RaiseCanceled();
    if (waiter_.Expired())
        RaiseTimedOut();
    if (withError && error_)
        RaiseError(errorCode_);
}

void TagSocket::CancelRequest() {
    if (request_) {
        HANDLE r = request_;
        request_ = nullptr;
        Winsock().WSACancelAsyncRequest(r);
    }
}

// ---- opening ----

void TagSocket::Open() {
    if (ras_)
        ras_->Connect();
    if (OnOpen)
        OnOpen(*this);
    if (server_.empty())
        RaiseError(SServerRequired);
    if (Winsock().WSAStartup(0x0101, &wsaData_) != 0)
        RaiseError(SInvalidWinsockVersion);
    ++startups_;
    GetLocalHostName();
    ResolveHost();
    ResolvePort();
    socket_ = Winsock().Socket(AF_INET_WS, SOCK_STREAM_WS, 0);
    if (socket_ == INVALID_SOCKET)
        RaiseErrorIfSet(Winsock().WSAGetLastError());
}

void TagSocket::GetLocalHostName() {
    char buf[512] = {};
    if (Winsock().GetHostName(buf, sizeof buf) == 0)
        localHostName_ = buf;
    else
        localHostName_ = server_.substr(0, server_.find(':'));
}

void TagSocket::ResolveHost() {
    const std::string host = server_.substr(0, server_.find(':'));
    const std::uint32_t addr = Winsock().InetAddr(host.c_str());
    if (addr != INADDR_NONE_WS) {
        hostAddress_ = addr;
        return;
    }
    request_ = Winsock().WSAAsyncGetHostByName(&window_, kHostLookedUp, host.c_str(), lookupBuf_,
                                               sizeof lookupBuf_);
    // A look-up that cannot start fails now rather than by time-out.
    if (!request_)
        RaiseErrorIfSet(Winsock().WSAGetLastError());
    waiter_.Wait([this] { return hostLookedUp_ || cancel_; });
    // An unanswered look-up is cancelled, so it never writes into the buffer later.
    if (!hostLookedUp_)
        CancelRequest();
    request_ = nullptr;
    if (error_)
        RaiseError(errorCode_);
    if (waiter_.Expired())
        RaiseTimedOut();
    if (cancel_)
        RaiseCanceled();
    const auto* he = reinterpret_cast<const HOSTENT*>(lookupBuf_);
    dottedAddress_.clear();
    if (he->h_addr_list && he->h_addr_list[0]) {
        const auto* b = reinterpret_cast<const unsigned char*>(he->h_addr_list[0]);
        dottedAddress_ = std::to_string(b[0]) + "." + std::to_string(b[1]) + "." +
                         std::to_string(b[2]) + "." + std::to_string(b[3]);
    }
    hostAddress_ = Winsock().InetAddr(dottedAddress_.c_str());
    if (hostAddress_ == INADDR_NONE_WS)
        RaiseError(SErrorResolvingHost);
}

void TagSocket::ResolvePort() {
    const auto colon = server_.find(':');
    if (colon != std::string::npos) {
        const std::string text = server_.substr(colon + 1);
        long n = 0;
        bool digits = !text.empty() && text.size() <= 5;
        for (char c : text) {
            digits = digits && c >= '0' && c <= '9';
            n = digits ? n * 10 + (c - '0') : 0;
        }
        if (digits && n > 0 && n <= 65535) {
            port_ = static_cast<u_short>(n);
            return;
        }
    }
    if (serviceName_.empty())
        RaiseError(SServiceRequired);
    if (cancel_)
        RaiseCanceled();
    request_ = Winsock().WSAAsyncGetServByName(&window_, kServLookedUp, serviceName_.c_str(), "tcp",
                                               lookupBuf_, sizeof lookupBuf_);
    if (request_) {
        waiter_.Wait([this] { return servLookedUp_ || cancel_; });
        if (!servLookedUp_)
            CancelRequest();
        request_ = nullptr;
        if (!error_ && !waiter_.Expired()) {
            if (cancel_)
                RaiseCanceled();
            const auto* se = reinterpret_cast<const SERVENT*>(lookupBuf_);
            port_ = Winsock().Htons(static_cast<u_short>(se->s_port));
            return;
        }
    }
    // The default port is the answer: a failed service look-up is no
    // error that a later wait should still see.
    error_ = false;
    errorCode_ = 0;
    port_ = defaultPort_;
}

void TagSocket::Connect() {
    if (cancel_)
        RaiseCanceled();
    if (Winsock().WSAAsyncSelect(socket_, &window_, kSocketEvent, kSelectMask) != 0)
        RaiseErrorIfSet(Winsock().WSAGetLastError());
    SOCKADDR_IN sa{};
    sa.sin_family = AF_INET_WS;
    sa.sin_port = Winsock().Htons(port_);
    sa.sin_addr.s_addr = hostAddress_;
    if (Winsock().Connect(socket_, reinterpret_cast<const SOCKADDR*>(&sa), sizeof sa) != 0) {
        const int err = Winsock().WSAGetLastError();
        if (err != WSAEWOULDBLOCK)
            RaiseErrorIfSet(err);
    }
    // A refused connection ends the wait at once with its error.
    waiter_.Wait([this] { return connected_ || cancel_ || error_; });
    RaiseWaitEnd(true);
}

// ---- lines ----

int TagSocket::ReceiveChunk() {
    // The held bytes move to the front; the buffer only ever grows.
    if (receivedAt_ > 0) {
        std::memmove(received_.data(), received_.data() + receivedAt_, Held());
        receivedEnd_ -= receivedAt_;
        receivedAt_ = 0;
    }
    if (received_.size() < receivedEnd_ + kReceiveChunk)
        received_.resize(receivedEnd_ + kReceiveChunk);
    const int n = Winsock().Recv(socket_, received_.data() + receivedEnd_, kReceiveChunk, 0);
    if (n > 0)
        receivedEnd_ += static_cast<std::size_t>(n);
    return n;
}

bool TagSocket::TakeLine(std::string& line) {
    const char* begin = received_.data() + receivedAt_;
    const auto* lf = static_cast<const char*>(std::memchr(begin, '\n', Held()));
    if (!lf)
        return false;
    if (static_cast<std::size_t>(lf - begin) > kMaxLineLength)
        RaiseError(WSAEMSGSIZE);
    const char* end = lf;
    while (end > begin && (end[-1] == '\r' || end[-1] == '\n'))
        --end;
    line.assign(begin, end);
    receivedAt_ += static_cast<std::size_t>(lf - begin) + 1;
    return true;
}

void TagSocket::DropHeld() {
    receivedAt_ = receivedEnd_ = 0;
}

int TagSocket::ReadLine(std::string& line) {
    if (!IsOpen())
        RaiseError(SNotConnected);
    line.clear();
    // A line that came with an earlier receive needs no wait.
    if (TakeLine(line))
        return GetReplyCode(line);
    // A server that has closed sends no more: the close ends the wait too.
    waiter_.Wait([this] { return readable_ || closed_ || cancel_ || error_; });
    RaiseWaitEnd(true);
    waiter_.Start();
    readable_ = false;
    ProcessMessages();
    bool found = false, ended = false;
    // Chunks, not bytes: what follows the line feed stays held for the next
    // read (a reply line, or data for ReceiveToStream). When nothing is
    // there, sleep in the loop until something is.
    for (;;) {
        ProcessMessages();
        const int n = ReceiveChunk();
        if (n == SOCKET_ERROR) {
            const int err = Winsock().WSAGetLastError();
            if (err != WSAEWOULDBLOCK && !cancel_)
                RaiseError(err);
        } else if (n > 0) {
            if (TakeLine(line)) {
                found = true;
                break;
            }
            if (Held() > kMaxLineLength)
                RaiseError(WSAEMSGSIZE);
        } else {
            ended = true; // the server closed the connection
        }
        if (QCoreApplication::closingDown() || cancel_ || waiter_.Expired() || ended)
            break;
        if (n <= 0)
            waiter_.Pump([this] { return readable_ || closed_ || cancel_ || error_; });
        readable_ = false;
        if (error_ && !cancel_)
            RaiseError(errorCode_);
    }
    const int result = found ? GetReplyCode(line) : -1;
    if (waiter_.Expired())
        RaiseTimedOut();
    if (cancel_)
        RaiseCanceled();
    waiter_.Stop();
    // A server that closes before a whole line ends the wait with an error.
    if (ended && !found)
        RaiseError(WSAECONNRESET);
    return result;
}

int TagSocket::ReadReply() {
    const int code = ReadLine(lastReply_);
    if (code > 0 && lastReply_.find('-') == 3) {
        // Continuation lines "250-..." up to "250 ..." or a bare "250"; lines
        // already received are still read after the server closed.
        while (!closed_ || Held() > 0) {
            ReadLine(lastReply_);
            if (GetReplyCode(lastReply_) == code &&
                (lastReply_.size() == 3 || lastReply_.find(' ') == 3))
                break;
        }
    }
    return code;
}

int TagSocket::SendSome(const char* data, int len) {
    writable_ = false;
    const int n = Winsock().Send(socket_, data, len, 0);
    if (n != SOCKET_ERROR)
        return n;
    const int err = Winsock().WSAGetLastError();
    if (err != WSAEWOULDBLOCK && !cancel_)
        RaiseError(err);
    if (err == WSAEWOULDBLOCK)
        WaitWritable();
    return 0;
}

void TagSocket::WaitWritable() {
    waiter_.Pump([this] { return writable_ || closed_ || cancel_ || error_; });
    if (error_ && !cancel_)
        RaiseError(errorCode_);
}

void TagSocket::SendLine(std::string_view line) {
    if (!IsOpen())
        RaiseError(SNotConnected);
    // A line break taken from data would start a command of its own.
    if (line.find_first_of("\r\n") != std::string_view::npos)
        RaiseError(WSAEINVAL);
    std::string text(line);
    text += "\r\n";
    std::size_t sent = 0;
    waiter_.Start();
    do {
        ProcessMessages();
        sent += static_cast<std::size_t>(
            SendSome(text.data() + sent, static_cast<int>(text.size() - sent)));
        ProcessMessages();
    } while (sent < text.size() && !waiter_.Expired() && !cancel_);
    waiter_.Stop();
    if (waiter_.Expired())
        RaiseTimedOut();
    if (cancel_)
        RaiseCanceled();
}

// ---- bulk data ----

// The end mark is CR LF "." CR LF. The line break before the data counts as
// the first CR LF (so empty data, a lone ".", ends at once), and the last
// bytes of each receive are held back until the next one shows whether
// they start the mark. Bytes after the mark stay held for the next read.
void TagSocket::ReceiveToStream(std::ostream& stream, long size) {
    if (!IsOpen())
        RaiseError(SNotConnected);
    // Data that came with the reply line is read before waiting for more.
    if (Held() == 0) {
        // A server that has closed sends no more: the close ends the wait too.
        waiter_.Wait([this] { return readable_ || closed_ || cancel_ || error_; });
        RaiseWaitEnd(true);
        readable_ = false;
    }
    static constexpr std::string_view kMark = "\r\n.\r\n";
    std::string tail;    // received, not yet written: may begin the mark
    bool atStart = true; // nothing written and nothing dropped yet
    bool found = false;
    const std::streamoff start = std::max<std::streamoff>(0, stream.tellp());
    long long written = 0;
    const auto put = [&](char* p, std::size_t n) {
        char* const end = p + n;
        for (char* at = p;
             (at = static_cast<char*>(std::memchr(at, '\0', static_cast<std::size_t>(end - at))));)
            *at = ' ';
        stream.write(p, static_cast<std::streamsize>(n));
        written += static_cast<long long>(n);
    };
    waiter_.Start();
    do {
        ProcessMessages();
        bool ended = false;
        if (Held() == 0) {
            const int n = ReceiveChunk();
            if (n == SOCKET_ERROR) {
                const int err = Winsock().WSAGetLastError();
                if (err != WSAEWOULDBLOCK && !cancel_)
                    RaiseError(err);
            } else if (n == 0) {
                ended = true;
            }
        }
        const long long position = start + written;
        if (OnProgress) {
            if (size <= 0)
                OnProgress(*this, -1, static_cast<long>(position));
            else
                OnProgress(*this, Percent(position, size), static_cast<long>(position));
        }
        const std::size_t n = Held();
        if (n > 0) {
            char* chunk = received_.data() + receivedAt_;
            const std::string_view data(chunk, n);
            // The mark across the boundary: the held-back bytes and the
            // first ones of this chunk; else inside the chunk.
            std::string edge = tail;
            edge.append(chunk, std::min<std::size_t>(n, kMark.size() - 1));
            std::size_t end = std::string::npos; // data bytes before the mark
            std::size_t markEnd = 0;             // offset after the mark
            if (atStart && edge.compare(0, 3, ".\r\n") == 0) {
                end = 0;
                markEnd = 3;
            } else if (auto at = edge.find(kMark); at != std::string::npos) {
                end = at + 2;
                markEnd = at + kMark.size();
            } else if (auto in = data.find(kMark); in != std::string_view::npos) {
                end = tail.size() + in + 2;
                markEnd = tail.size() + in + kMark.size();
            }
            const std::size_t total = tail.size() + n;
            const std::size_t keep = end != std::string::npos ? end : (total > 4 ? total - 4 : 0);
            const std::size_t fromTail = std::min(keep, tail.size());
            if (fromTail > 0)
                put(tail.data(), fromTail);
            if (keep > tail.size())
                put(chunk, keep - tail.size());
            if (keep > 0)
                atStart = false;
            if (end != std::string::npos) {
                found = true;
                receivedAt_ += markEnd - tail.size();
            } else {
                std::string rest = tail.substr(fromTail);
                const std::size_t chunkFrom = keep > tail.size() ? keep - tail.size() : 0;
                rest.append(chunk + chunkFrom, n - chunkFrom);
                tail = std::move(rest);
                receivedAt_ = receivedEnd_;
            }
            waiter_.Start();
        }
        if (found || cancel_ || waiter_.Expired())
            break;
        if (ended)
            RaiseError(WSAECONNRESET); // closed before the end mark
        if (n == 0)
            waiter_.Pump([this] { return readable_ || closed_ || cancel_ || error_; });
        readable_ = false;
        if (error_ && !cancel_)
            RaiseError(errorCode_);
    } while (true);
    waiter_.Stop();
    if (waiter_.Expired())
        RaiseTimedOut();
    if (cancel_)
        RaiseCanceled();
}

void TagSocket::SendStream(std::istream& stream, const Filter& filter) {
    stream.clear();
    stream.seekg(0, std::ios::end);
    const long long size = std::max<long long>(0, static_cast<long long>(stream.tellg()));
    stream.seekg(0, std::ios::beg);
    std::vector<char> chunk(kSendChunk);
    long long position = 0;
    for (;;) {
        stream.read(chunk.data(), kSendChunk);
        const auto got = static_cast<std::size_t>(stream.gcount());
        position += static_cast<long long>(got);
        const bool last = got < static_cast<std::size_t>(kSendChunk) || position >= size;
        std::string data = filter ? filter(std::string_view(chunk.data(), got), last)
                                  : std::string(chunk.data(), got);
        std::size_t sent = 0;
        waiter_.Start();
        while (sent < data.size() && !waiter_.Expired() && !cancel_) {
            const int n = SendSome(data.data() + sent, static_cast<int>(data.size() - sent));
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                waiter_.Start();
            }
        }
        waiter_.Stop();
        if (OnProgress)
            OnProgress(*this, size > 0 ? Percent(position, size) : 100,
                       static_cast<long>(position));
        if (last || waiter_.Expired() || cancel_)
            break;
    }
    if (waiter_.Expired())
        RaiseTimedOut();
    if (cancel_)
        RaiseCanceled();
    if (OnProgress)
        OnProgress(*this, 0, 0);
}

// ---- closing ----

void TagSocket::Close() {
    DropHeld(); // what the last connection sent means nothing to the next
    if (socket_ != INVALID_SOCKET) {
        if (OnClosing)
            OnClosing(*this);
        const SOCKET s = socket_;
        socket_ = INVALID_SOCKET;
        Winsock().CloseSocket(s);
        if (OnClosed)
            OnClosed(*this);
    }
    if (ras_)
        ras_->Disconnect();
}

void TagSocket::Cancel() {
    cancel_ = true;
    if (OnCancel)
        OnCancel(*this);
    CancelRequest();
    Close();
}

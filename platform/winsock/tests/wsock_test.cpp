// libwsock32 loaded by name as the mail components load it, against
// loopback peers made here with plain POSIX sockets.
#include "platform/winsock/winsock.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

void EnsureApp() {
    static int argc = 1;
    static char name[] = "winsock_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

struct Api {
    void* lib = nullptr;
    LPFN_WSASTARTUP WSAStartup;
    LPFN_WSACLEANUP WSACleanup;
    LPFN_WSAGETLASTERROR WSAGetLastError;
    LPFN_SOCKET socket;
    LPFN_CONNECT connect;
    LPFN_SEND send;
    LPFN_RECV recv;
    LPFN_CLOSESOCKET closesocket;
    LPFN_HTONS Htons;
    LPFN_INET_ADDR inet_addr;
    LPFN_GETHOSTNAME gethostname;
    LPFN_WSAASYNCSELECT WSAAsyncSelect;
    LPFN_WSAASYNCGETHOSTBYNAME WSAAsyncGetHostByName;
    LPFN_WSAASYNCGETSERVBYNAME WSAAsyncGetServByName;
    LPFN_WSACANCELASYNCREQUEST WSACancelAsyncRequest;
    LPFN_WSSETLOOKUPDELAY WsSetLookupDelay;
};

template <class F> void Resolve(void* lib, F& f, const char* name) {
    f = reinterpret_cast<F>(dlsym(lib, name));
    ASSERT_NE(f, nullptr) << name;
}

const Api& WS() {
    static Api a = [] {
        Api r;
        r.lib = dlopen(QUELTA_BIN_DIR "/libwsock32.so", RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(r.lib, nullptr) << dlerror();
        Resolve(r.lib, r.WSAStartup, "WSAStartup");
        Resolve(r.lib, r.WSACleanup, "WSACleanup");
        Resolve(r.lib, r.WSAGetLastError, "WSAGetLastError");
        Resolve(r.lib, r.socket, "socket");
        Resolve(r.lib, r.connect, "connect");
        Resolve(r.lib, r.send, "send");
        Resolve(r.lib, r.recv, "recv");
        Resolve(r.lib, r.closesocket, "closesocket");
        Resolve(r.lib, r.Htons, "htons");
        Resolve(r.lib, r.inet_addr, "inet_addr");
        Resolve(r.lib, r.gethostname, "gethostname");
        Resolve(r.lib, r.WSAAsyncSelect, "WSAAsyncSelect");
        Resolve(r.lib, r.WSAAsyncGetHostByName, "WSAAsyncGetHostByName");
        Resolve(r.lib, r.WSAAsyncGetServByName, "WSAAsyncGetServByName");
        Resolve(r.lib, r.WSACancelAsyncRequest, "WSACancelAsyncRequest");
        Resolve(r.lib, r.WsSetLookupDelay, "WsSetLookupDelay");
        return r;
    }();
    return a;
}

// A window that records what it is sent.
struct Recorder : WSWINDOW {
    struct Msg {
        unsigned msg;
        std::uintptr_t w;
        std::intptr_t l;
    };
    std::vector<Msg> got;
    Recorder() {
        WndProc = [](WSWINDOW* self, unsigned m, std::uintptr_t w, std::intptr_t l) {
            static_cast<Recorder*>(self)->got.push_back({m, w, l});
        };
    }
    bool Has(unsigned event) const {
        for (auto& m : got)
            if (WSAGetSelectEvent(m.l) == event)
                return true;
        return false;
    }
    unsigned ErrorOf(unsigned event) const {
        for (auto& m : got)
            if (WSAGetSelectEvent(m.l) == event)
                return WSAGetSelectError(m.l);
        return 0xFFFF;
    }
};

bool PumpUntil(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

int Listener(u_short& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(::listen(fd, 4), 0);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

SOCKADDR_IN Loopback(const Api& ws, u_short port) {
    SOCKADDR_IN sa{};
    sa.sin_family = AF_INET_WS;
    sa.sin_port = ws.Htons(port);
    sa.sin_addr.s_addr = ws.inet_addr("127.0.0.1");
    return sa;
}

class Winsock : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        WSADATA d;
        ASSERT_EQ(WS().WSAStartup(0x0101, &d), 0);
        EXPECT_EQ(d.wVersion, 0x0101);
    }
    void TearDown() override { WS().WSACleanup(); }
};

TEST(WinsockStartup, VersionAndInitialisation) {
    EnsureApp();
    const Api& ws = WS();
    WSADATA d;
    EXPECT_EQ(ws.WSAStartup(0x0001, &d), WSAVERNOTSUPPORTED);
    EXPECT_EQ(ws.socket(AF_INET_WS, SOCK_STREAM_WS, 0), INVALID_SOCKET);
    EXPECT_EQ(ws.WSAGetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(ws.WSAStartup(0x0202, &d), 0);
    EXPECT_EQ(ws.WSACleanup(), 0);
    EXPECT_EQ(ws.WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(ws.WSAGetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(ws.Htons(25), htons(25));
    EXPECT_EQ(ws.inet_addr("10.1.2.3"), ::inet_addr("10.1.2.3"));
    EXPECT_EQ(ws.inet_addr("mail.example.org"), INADDR_NONE_WS);
    EXPECT_EQ(ws.inet_addr(""), INADDR_NONE_WS);
}

TEST_F(Winsock, ConnectWriteReadCloseEvents) {
    const Api& ws = WS();
    u_short port = 0;
    int lfd = Listener(port);
    Recorder wnd;
    SOCKET s = ws.socket(AF_INET_WS, SOCK_STREAM_WS, 0);
    ASSERT_NE(s, INVALID_SOCKET);
    ASSERT_EQ(ws.WSAAsyncSelect(s, &wnd, 1174, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE), 0);
    SOCKADDR_IN sa = Loopback(ws, port);
    EXPECT_EQ(ws.connect(s, reinterpret_cast<SOCKADDR*>(&sa), sizeof sa), SOCKET_ERROR);
    EXPECT_EQ(ws.WSAGetLastError(), WSAEWOULDBLOCK);
    ASSERT_TRUE(PumpUntil([&] { return wnd.Has(FD_WRITE); }));
    EXPECT_EQ(WSAGetSelectEvent(wnd.got.at(0).l), static_cast<unsigned>(FD_CONNECT));
    EXPECT_EQ(wnd.ErrorOf(FD_CONNECT), 0u);
    EXPECT_EQ(wnd.got.at(0).msg, 1174u);
    EXPECT_EQ(wnd.got.at(0).w, s);
    int peer = ::accept(lfd, nullptr, nullptr);
    ASSERT_GE(peer, 0);

    char buf[16];
    EXPECT_EQ(ws.recv(s, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(ws.WSAGetLastError(), WSAEWOULDBLOCK);
    EXPECT_EQ(ws.send(s, "HELO x\r\n", 8, 0), 8);
    ASSERT_EQ(::recv(peer, buf, sizeof buf, 0), 8);

    // Data with a NUL arrives whole; FD_READ comes again while data remains.
    ASSERT_EQ(::send(peer, "25\0ab", 5, 0), 5);
    ASSERT_TRUE(PumpUntil([&] { return wnd.Has(FD_READ); }));
    EXPECT_EQ(ws.recv(s, buf, 2, 0), 2);
    wnd.got.clear();
    ASSERT_TRUE(PumpUntil([&] { return wnd.Has(FD_READ); }));
    EXPECT_EQ(ws.recv(s, buf, sizeof buf, 0), 3);
    EXPECT_EQ(std::string(buf, 3), std::string("\0ab", 3));

    wnd.got.clear();
    ::close(peer);
    ASSERT_TRUE(PumpUntil([&] { return wnd.Has(FD_CLOSE); }));
    EXPECT_EQ(wnd.ErrorOf(FD_CLOSE), 0u);
    EXPECT_EQ(ws.recv(s, buf, sizeof buf, 0), 0);
    // Sending to a closed peer fails with a code, never with SIGPIPE.
    int rc = 0;
    for (int i = 0; i < 50 && rc != SOCKET_ERROR; ++i) {
        rc = ws.send(s, "x", 1, 0);
        usleep(2000);
    }
    EXPECT_EQ(rc, SOCKET_ERROR);
    EXPECT_EQ(ws.WSAGetLastError(), WSAECONNRESET);
    EXPECT_EQ(ws.closesocket(s), 0);
    EXPECT_EQ(ws.closesocket(s), SOCKET_ERROR);
    EXPECT_EQ(ws.WSAGetLastError(), WSAENOTSOCK);
    ::close(lfd);
}

TEST_F(Winsock, RefusedConnectionReportsItsCode) {
    const Api& ws = WS();
    u_short port = 0;
    ::close(Listener(port)); // a port nobody listens on
    Recorder wnd;
    SOCKET s = ws.socket(AF_INET_WS, SOCK_STREAM_WS, 0);
    ASSERT_EQ(ws.WSAAsyncSelect(s, &wnd, 1174, 51), 0);
    SOCKADDR_IN sa = Loopback(ws, port);
    int rc = ws.connect(s, reinterpret_cast<SOCKADDR*>(&sa), sizeof sa);
    if (rc == SOCKET_ERROR && ws.WSAGetLastError() == WSAEWOULDBLOCK) {
        ASSERT_TRUE(PumpUntil([&] { return wnd.Has(FD_CONNECT); }));
        EXPECT_EQ(wnd.ErrorOf(FD_CONNECT), static_cast<unsigned>(WSAECONNREFUSED));
    } else {
        EXPECT_EQ(ws.WSAGetLastError(), WSAECONNREFUSED);
    }
    EXPECT_FALSE(wnd.Has(FD_WRITE));
    EXPECT_EQ(ws.closesocket(s), 0);
}

TEST_F(Winsock, LookupsAnswerThroughTheQueue) {
    const Api& ws = WS();
    Recorder wnd;
    alignas(8) char host[MAXGETHOSTSTRUCT];
    HANDLE h = ws.WSAAsyncGetHostByName(&wnd, 1172, "localhost", host, sizeof host);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !wnd.got.empty(); }));
    EXPECT_EQ(wnd.got[0].msg, 1172u);
    EXPECT_EQ(wnd.got[0].w, reinterpret_cast<std::uintptr_t>(h));
    EXPECT_EQ(WSAGetSelectError(wnd.got[0].l), 0u);
    const auto* he = reinterpret_cast<const HOSTENT*>(host);
    ASSERT_NE(he->h_addr_list[0], nullptr);
    std::uint32_t addr;
    std::memcpy(&addr, he->h_addr_list[0], 4);
    EXPECT_EQ(addr, ::inet_addr("127.0.0.1"));

    wnd.got.clear();
    ws.WSAAsyncGetHostByName(&wnd, 1172, "no-such-host.invalid", host, sizeof host);
    ASSERT_TRUE(PumpUntil([&] { return !wnd.got.empty(); }, 15000));
    EXPECT_EQ(WSAGetSelectError(wnd.got[0].l), static_cast<unsigned>(WSAHOST_NOT_FOUND));

    wnd.got.clear();
    alignas(8) char serv[MAXGETHOSTSTRUCT];
    ASSERT_NE(ws.WSAAsyncGetServByName(&wnd, 1173, "smtp", "tcp", serv, sizeof serv), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !wnd.got.empty(); }));
    EXPECT_EQ(WSAGetSelectError(wnd.got[0].l), 0u);
    EXPECT_EQ(ws.Htons(static_cast<u_short>(reinterpret_cast<const SERVENT*>(serv)->s_port)), 25);

    wnd.got.clear();
    ws.WSAAsyncGetServByName(&wnd, 1173, "no-such-service", "tcp", serv, sizeof serv);
    ASSERT_TRUE(PumpUntil([&] { return !wnd.got.empty(); }));
    EXPECT_EQ(WSAGetSelectError(wnd.got[0].l), static_cast<unsigned>(WSANO_DATA));

    // A buffer too small for the answer is an error, not an overrun.
    wnd.got.clear();
    alignas(8) char tiny[sizeof(HOSTENT) + 4];
    ws.WSAAsyncGetHostByName(&wnd, 1172, "localhost", tiny, sizeof tiny);
    ASSERT_TRUE(PumpUntil([&] { return !wnd.got.empty(); }));
    EXPECT_EQ(WSAGetSelectError(wnd.got[0].l), static_cast<unsigned>(WSAENOBUFS));
}

TEST_F(Winsock, CancelledLookupIsNeverAnswered) {
    const Api& ws = WS();
    Recorder wnd;
    alignas(8) char host[MAXGETHOSTSTRUCT];
    std::memset(host, 0x5A, sizeof host);
    ws.WsSetLookupDelay(300);
    HANDLE h = ws.WSAAsyncGetHostByName(&wnd, 1172, "localhost", host, sizeof host);
    ws.WsSetLookupDelay(0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(ws.WSACancelAsyncRequest(h), 0);
    EXPECT_EQ(ws.WSACancelAsyncRequest(h), SOCKET_ERROR);
    PumpUntil([] { return false; }, 500);
    EXPECT_TRUE(wnd.got.empty());
    EXPECT_EQ(host[0], 0x5A);
}

} // namespace

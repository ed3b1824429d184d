// The exported Winsock entry points. Each forwards to the implementation and
// never lets an exception out of the library.
#include "platform/winsock/wsock_p.h"

#define WS_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
template <class F, class R> R Guard(F&& f, R failed) noexcept {
    try {
        return f();
    } catch (...) {
        return failed;
    }
}
} // namespace

WS_EXPORT int WSAStartup(WORD v, WSADATA* d) {
    return Guard([&] { return wsock::Startup(v, d); }, static_cast<int>(WSASYSNOTREADY));
}
WS_EXPORT int WSACleanup() {
    return Guard([] { return wsock::Cleanup(); }, static_cast<int>(SOCKET_ERROR));
}
WS_EXPORT int WSAGetLastError() {
    return wsock::GetLastError();
}
WS_EXPORT int WSAIsBlocking() {
    return 0; // no call of this library ever blocks
}
WS_EXPORT int WSACancelBlockingCall() {
    return SOCKET_ERROR;
}
WS_EXPORT SOCKET socket(int af, int type, int protocol) {
    return Guard([&] { return wsock::Socket(af, type, protocol); }, INVALID_SOCKET);
}
WS_EXPORT int connect(SOCKET s, const SOCKADDR* name, int namelen) {
    return Guard([&] { return wsock::Connect(s, name, namelen); }, static_cast<int>(SOCKET_ERROR));
}
WS_EXPORT int send(SOCKET s, const char* buf, int len, int flags) {
    return Guard([&] { return wsock::Send(s, buf, len, flags); }, static_cast<int>(SOCKET_ERROR));
}
WS_EXPORT int recv(SOCKET s, char* buf, int len, int flags) {
    return Guard([&] { return wsock::Recv(s, buf, len, flags); }, static_cast<int>(SOCKET_ERROR));
}
WS_EXPORT int closesocket(SOCKET s) {
    return Guard([&] { return wsock::CloseSocket(s); }, static_cast<int>(SOCKET_ERROR));
}
WS_EXPORT int gethostname(char* name, int namelen) {
    return Guard([&] { return wsock::GetHostName(name, namelen); }, static_cast<int>(SOCKET_ERROR));
}
WS_EXPORT u_short htons(u_short v) {
    return wsock::Htons(v);
}
WS_EXPORT std::uint32_t inet_addr(const char* cp) {
    return wsock::InetAddr(cp);
}
WS_EXPORT int WSAAsyncSelect(SOCKET s, HWND wnd, u_int msg, long events) {
    return Guard([&] { return wsock::AsyncSelect(s, wnd, msg, events); },
                 static_cast<int>(SOCKET_ERROR));
}
WS_EXPORT HANDLE WSAAsyncGetHostByName(HWND wnd, u_int msg, const char* name, char* buf,
                                       int buflen) {
    return Guard([&] { return wsock::AsyncGetHostByName(wnd, msg, name, buf, buflen); },
                 static_cast<HANDLE>(nullptr));
}
WS_EXPORT HANDLE WSAAsyncGetServByName(HWND wnd, u_int msg, const char* name, const char* proto,
                                       char* buf, int buflen) {
    return Guard([&] { return wsock::AsyncGetServByName(wnd, msg, name, proto, buf, buflen); },
                 static_cast<HANDLE>(nullptr));
}
WS_EXPORT int WSACancelAsyncRequest(HANDLE h) {
    return Guard([&] { return wsock::CancelAsyncRequest(h); }, static_cast<int>(SOCKET_ERROR));
}
WS_EXPORT void WsSetLookupDelay(unsigned ms) {
    wsock::SetLookupDelay(ms);
}

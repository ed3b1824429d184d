#pragma once
// The Winsock 1.1 interface of libwsock32, as its callers see it. The
// library is loaded at run time by name and every call is looked up by name,
// so this header declares types, constants and the pointer type of each
// entry point, never the functions themselves (their names collide with the
// C library's sockets).
#include <cstdint>

extern "C" {

typedef unsigned int SOCKET;
typedef void* HANDLE;
typedef std::uint16_t WORD;
typedef unsigned int u_int;
typedef unsigned short u_short;
typedef unsigned long u_long;

// The receiver of asynchronous notifications ("a window"). The caller owns
// it and keeps it alive until its socket is closed and its requests are
// answered or cancelled; the library calls WndProc on the thread that made
// the request, from that thread's Qt event loop. WndProc must not throw.
typedef struct WSWINDOW WSWINDOW;
struct WSWINDOW {
    void (*WndProc)(WSWINDOW* self, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);
};
typedef WSWINDOW* HWND;

inline constexpr SOCKET INVALID_SOCKET = ~0u;
inline constexpr int SOCKET_ERROR = -1;
inline constexpr int AF_INET_WS = 2;
inline constexpr int SOCK_STREAM_WS = 1;
inline constexpr std::uint32_t INADDR_NONE_WS = 0xFFFFFFFFu;

// Socket events of WSAAsyncSelect.
enum : long {
    FD_READ = 1,
    FD_WRITE = 2,
    FD_OOB = 4,
    FD_ACCEPT = 8,
    FD_CONNECT = 16,
    FD_CLOSE = 32
};

// Error codes.
enum : int {
    WSAEINTR = 10004,
    WSAEBADF = 10009,
    WSAEACCES = 10013,
    WSAEFAULT = 10014,
    WSAEINVAL = 10022,
    WSAEMFILE = 10024,
    WSAEWOULDBLOCK = 10035,
    WSAEINPROGRESS = 10036,
    WSAEALREADY = 10037,
    WSAENOTSOCK = 10038,
    WSAEDESTADDRREQ = 10039,
    WSAEMSGSIZE = 10040,
    WSAEPROTOTYPE = 10041,
    WSAENOPROTOOPT = 10042,
    WSAEPROTONOSUPPORT = 10043,
    WSAESOCKTNOSUPPORT = 10044,
    WSAEOPNOTSUPP = 10045,
    WSAEPFNOSUPPORT = 10046,
    WSAEAFNOSUPPORT = 10047,
    WSAEADDRINUSE = 10048,
    WSAEADDRNOTAVAIL = 10049,
    WSAENETDOWN = 10050,
    WSAENETUNREACH = 10051,
    WSAENETRESET = 10052,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOBUFS = 10055,
    WSAEISCONN = 10056,
    WSAENOTCONN = 10057,
    WSAESHUTDOWN = 10058,
    WSAETOOMANYREFS = 10059,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAELOOP = 10062,
    WSAENAMETOOLONG = 10063,
    WSAEHOSTDOWN = 10064,
    WSAEHOSTUNREACH = 10065,
    WSAENOTEMPTY = 10066,
    WSAEPROCLIM = 10067,
    WSAEUSERS = 10068,
    WSAEDQUOT = 10069,
    WSAESTALE = 10070,
    WSAEREMOTE = 10071,
    WSASYSNOTREADY = 10091,
    WSAVERNOTSUPPORTED = 10092,
    WSANOTINITIALISED = 10093,
    WSAEDISCON = 10094,
    WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002,
    WSANO_RECOVERY = 11003,
    WSANO_DATA = 11004,
};

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[257];
    char szSystemStatus[129];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
};

struct IN_ADDR_WS {
    std::uint32_t s_addr; // network order
};
struct SOCKADDR_IN {
    short sin_family;
    u_short sin_port; // network order
    IN_ADDR_WS sin_addr;
    char sin_zero[8];
};
struct SOCKADDR {
    u_short sa_family;
    char sa_data[14];
};

// What the asynchronous look-ups write at the start of the caller's buffer;
// the strings and lists they point to follow in the same buffer.
struct HOSTENT {
    char* h_name;
    char** h_aliases;
    short h_addrtype;
    short h_length;
    char** h_addr_list;
};
struct SERVENT {
    char* s_name;
    char** s_aliases;
    short s_port; // network order
    char* s_proto;
};

// Minimum buffer size for the asynchronous look-ups.
enum : int { MAXGETHOSTSTRUCT = 1024 };

typedef int (*LPFN_WSASTARTUP)(WORD wVersionRequested, WSADATA* lpWSAData);
typedef int (*LPFN_WSACLEANUP)();
typedef int (*LPFN_WSAGETLASTERROR)();
typedef int (*LPFN_WSAISBLOCKING)();
typedef int (*LPFN_WSACANCELBLOCKINGCALL)();
typedef SOCKET (*LPFN_SOCKET)(int af, int type, int protocol);
typedef int (*LPFN_CONNECT)(SOCKET s, const SOCKADDR* name, int namelen);
typedef int (*LPFN_SEND)(SOCKET s, const char* buf, int len, int flags);
typedef int (*LPFN_RECV)(SOCKET s, char* buf, int len, int flags);
typedef int (*LPFN_CLOSESOCKET)(SOCKET s);
typedef int (*LPFN_GETHOSTNAME)(char* name, int namelen);
typedef u_short (*LPFN_HTONS)(u_short hostshort);
typedef std::uint32_t (*LPFN_INET_ADDR)(const char* cp);
typedef int (*LPFN_WSAASYNCSELECT)(SOCKET s, HWND hWnd, u_int wMsg, long lEvent);
typedef HANDLE (*LPFN_WSAASYNCGETHOSTBYNAME)(HWND hWnd, u_int wMsg, const char* name, char* buf,
                                             int buflen);
typedef HANDLE (*LPFN_WSAASYNCGETSERVBYNAME)(HWND hWnd, u_int wMsg, const char* name,
                                             const char* proto, char* buf, int buflen);
typedef int (*LPFN_WSACANCELASYNCREQUEST)(HANDLE hAsyncTaskHandle);

// Test control, not part of Winsock: every host look-up waits this long on
// its worker before it resolves (0: no wait). A cancel ends the wait early.
typedef void (*LPFN_WSSETLOOKUPDELAY)(unsigned milliseconds);

} // extern "C"

// The long parameter of an asynchronous answer: error in the high word, the
// event (or the buffer length of a look-up) in the low word.
constexpr std::intptr_t WSAMakeReply(unsigned low, unsigned error) {
    return static_cast<std::intptr_t>(((error & 0xFFFFu) << 16) | (low & 0xFFFFu));
}
constexpr unsigned WSAGetSelectEvent(std::intptr_t lParam) {
    return static_cast<unsigned>(lParam) & 0xFFFFu;
}
constexpr unsigned WSAGetSelectError(std::intptr_t lParam) {
    return (static_cast<unsigned>(lParam) >> 16) & 0xFFFFu;
}

// Winsock 1.1 over non-blocking POSIX sockets and Qt's event loop.
//
// Readiness: a socket selected with WSAAsyncSelect gets QSocketNotifiers in
// the selecting thread. They are armed the way Winsock posts its events:
//   connect pending    -> write notifier -> FD_CONNECT (error from SO_ERROR),
//                         then FD_WRITE when it succeeded
//   connected          -> read notifier  -> peek: data FD_READ, end FD_CLOSE,
//                         error FD_CLOSE with the code
//   FD_READ is re-armed by recv, FD_WRITE by a send that would block;
//   FD_CLOSE is sent once.
// Look-ups run getaddrinfo / getservbyname_r on a detached worker thread and
// post the answer to the requesting thread's event loop, where it is copied
// into the caller's buffer unless the request was cancelled meanwhile.
#include "platform/winsock/wsock_p.h"

#include <QMetaObject>
#include <QObject>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace wsock {
namespace {

// This library exports socket, connect, send, recv and gethostname under the
// C library's names. Its own calls take the next definition after itself, so
// they reach the C library whatever order the process resolves symbols in.
struct Sys {
    decltype(&::socket) socket = nullptr;
    decltype(&::connect) connect = nullptr;
    decltype(&::send) send = nullptr;
    decltype(&::recv) recv = nullptr;
    decltype(&::gethostname) gethostname = nullptr;
};

template <class F> void Bind(F& slot, const char* name, F fallback) {
    void* p = dlsym(RTLD_NEXT, name);
    slot = p ? reinterpret_cast<F>(p) : fallback;
}

const Sys& sys() {
    static const Sys s = [] {
        Sys r;
        Bind(r.socket, "socket", &::socket);
        Bind(r.connect, "connect", &::connect);
        Bind(r.send, "send", &::send);
        Bind(r.recv, "recv", &::recv);
        Bind(r.gethostname, "gethostname", &::gethostname);
        return r;
    }();
    return s;
}

thread_local int t_lastError = 0;
std::atomic<int> g_startups{0};
std::atomic<unsigned> g_lookupDelay{0};

int Fail(int code) {
    t_lastError = code;
    return SOCKET_ERROR;
}

bool Started() {
    if (g_startups.load() > 0)
        return true;
    t_lastError = WSANOTINITIALISED;
    return false;
}

// ---- sockets and their notifications (owning thread only) ----

struct Reg {
    int fd = -1;
    HWND wnd = nullptr;
    u_int msg = 0;
    long events = 0;
    bool connecting = false;
    bool connected = false;
    bool closeSent = false;
    bool writeWanted = false;
    std::unique_ptr<QSocketNotifier> rd, wr;
};

std::map<SOCKET, std::shared_ptr<Reg>>& Regs() {
    static std::map<SOCKET, std::shared_ptr<Reg>> regs;
    return regs;
}

int g_dispatching = 0; // depth of notifier callbacks running now

std::shared_ptr<Reg> Find(SOCKET s) {
    auto it = Regs().find(s);
    return it == Regs().end() ? nullptr : it->second;
}

void Post(const std::shared_ptr<Reg>& r, long event, int error) {
    if (!r->wnd || !(r->events & event) || r->fd < 0)
        return;
    r->wnd->WndProc(r->wnd, r->msg, static_cast<std::uintptr_t>(r->fd),
                    WSAMakeReply(static_cast<unsigned>(event), static_cast<unsigned>(error)));
}

void OnReadable(SOCKET s);
void OnWritable(SOCKET s);

void Arm(const std::shared_ptr<Reg>& r) {
    if (!r->wnd || r->events == 0) {
        if (r->rd)
            r->rd->setEnabled(false);
        if (r->wr)
            r->wr->setEnabled(false);
        return;
    }
    const SOCKET s = static_cast<SOCKET>(r->fd);
    if (!r->rd) {
        r->rd = std::make_unique<QSocketNotifier>(r->fd, QSocketNotifier::Read);
        QObject::connect(r->rd.get(), &QSocketNotifier::activated, [s] { OnReadable(s); });
    }
    if (!r->wr) {
        r->wr = std::make_unique<QSocketNotifier>(r->fd, QSocketNotifier::Write);
        QObject::connect(r->wr.get(), &QSocketNotifier::activated, [s] { OnWritable(s); });
    }
    r->rd->setEnabled(r->connected && !r->closeSent && (r->events & (FD_READ | FD_CLOSE)));
    r->wr->setEnabled(r->connecting || (r->connected && r->writeWanted && !r->closeSent));
}

struct Dispatching {
    Dispatching() { ++g_dispatching; }
    ~Dispatching() { --g_dispatching; }
};

void OnReadable(SOCKET s) {
    auto r = Find(s);
    if (!r)
        return;
    Dispatching d;
    r->rd->setEnabled(false);
    char c;
    const ssize_t n = sys().recv(r->fd, &c, 1, MSG_PEEK);
    if (n > 0) {
        Post(r, FD_READ, 0); // re-armed by the next recv
    } else if (n == 0) {
        r->closeSent = true;
        Post(r, FD_CLOSE, 0);
    } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        r->rd->setEnabled(true);
    } else {
        r->closeSent = true;
        Post(r, FD_CLOSE, ErrnoToWinsock(errno));
    }
}

void OnWritable(SOCKET s) {
    auto r = Find(s);
    if (!r)
        return;
    Dispatching d;
    r->wr->setEnabled(false);
    if (r->connecting) {
        int err = 0;
        socklen_t len = sizeof err;
        if (getsockopt(r->fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
            err = errno;
        r->connecting = false;
        if (err != 0) {
            Post(r, FD_CONNECT, ErrnoToWinsock(err));
            return;
        }
        r->connected = true;
        r->writeWanted = false;
        Arm(r);
        Post(r, FD_CONNECT, 0);
        if (r->fd >= 0)
            Post(r, FD_WRITE, 0);
        return;
    }
    r->writeWanted = false;
    Post(r, FD_WRITE, 0);
}

// ---- look-ups ----

struct Answer {
    int error = 0;
    std::string name;
    std::vector<std::uint32_t> addrs; // network order
    short port = 0;                   // network order
    std::string proto;
};

struct Lookup {
    std::uintptr_t id = 0;
    HWND wnd = nullptr;
    u_int msg = 0;
    char* buf = nullptr;
    int buflen = 0;
    std::atomic<bool> cancelled{false};
};

std::mutex g_lookupMutex;
std::map<std::uintptr_t, std::shared_ptr<Lookup>> g_lookups;
std::atomic<std::uintptr_t> g_nextLookup{1};

QObject* PostContext() {
    thread_local QObject* ctx = new QObject; // lives as long as the thread
    return ctx;
}

// Lays the answer out in the caller's buffer: the structure first, then the
// lists and strings it points to. Returns the Winsock error, 0 on success.
class BufferWriter {
public:
    BufferWriter(char* buf, int len) : buf_(buf), len_(static_cast<std::size_t>(len)) {}
    char* Take(std::size_t n, std::size_t align) {
        std::size_t at = (used_ + align - 1) / align * align;
        if (at + n > len_)
            return nullptr;
        used_ = at + n;
        return buf_ + at;
    }
    std::size_t Used() const { return used_; }

private:
    char* buf_;
    std::size_t len_;
    std::size_t used_ = 0;
};

template <class T> void Put(char* at, const T& v) {
    std::memcpy(at, &v, sizeof v);
}

int WriteHost(const Lookup& l, const Answer& a, int& used) {
    BufferWriter w(l.buf, l.buflen);
    char* he = w.Take(sizeof(HOSTENT), alignof(HOSTENT));
    if (!he)
        return WSAENOBUFS;
    std::size_t n = a.addrs.size();
    char* aliases = w.Take(sizeof(char*), alignof(char*));
    char* list = nullptr;
    // Fewer addresses when the buffer is short; none at all is an error.
    while (n > 0) {
        BufferWriter probe = w;
        char* lp = probe.Take((n + 1) * sizeof(char*), alignof(char*));
        char* ap = probe.Take(n * 4, 4);
        char* np = probe.Take(a.name.size() + 1, 1);
        if (lp && ap && np) {
            list = w.Take((n + 1) * sizeof(char*), alignof(char*));
            break;
        }
        --n;
    }
    if (!aliases || !list)
        return WSAENOBUFS;
    char* addrs = w.Take(n * 4, 4);
    char* name = w.Take(a.name.size() + 1, 1);
    std::memcpy(name, a.name.c_str(), a.name.size() + 1);
    Put<char*>(aliases, nullptr);
    for (std::size_t i = 0; i < n; ++i) {
        std::memcpy(addrs + 4 * i, &a.addrs[i], 4);
        Put<char*>(list + i * sizeof(char*), addrs + 4 * i);
    }
    Put<char*>(list + n * sizeof(char*), nullptr);
    HOSTENT h{name, reinterpret_cast<char**>(aliases), AF_INET_WS, 4,
              reinterpret_cast<char**>(list)};
    Put(he, h);
    used = static_cast<int>(w.Used());
    return 0;
}

int WriteServ(const Lookup& l, const Answer& a, int& used) {
    BufferWriter w(l.buf, l.buflen);
    char* se = w.Take(sizeof(SERVENT), alignof(SERVENT));
    char* aliases = w.Take(sizeof(char*), alignof(char*));
    char* name = w.Take(a.name.size() + 1, 1);
    char* proto = w.Take(a.proto.size() + 1, 1);
    if (!se || !aliases || !name || !proto)
        return WSAENOBUFS;
    std::memcpy(name, a.name.c_str(), a.name.size() + 1);
    std::memcpy(proto, a.proto.c_str(), a.proto.size() + 1);
    Put<char*>(aliases, nullptr);
    SERVENT s{name, reinterpret_cast<char**>(aliases), a.port, proto};
    Put(se, s);
    used = static_cast<int>(w.Used());
    return 0;
}

void Deliver(const std::shared_ptr<Lookup>& l, const Answer& a, bool host) {
    {
        std::lock_guard lock(g_lookupMutex);
        if (l->cancelled.load() || g_lookups.erase(l->id) == 0)
            return;
    }
    int error = a.error;
    int used = 0;
    if (error == 0)
        error = host ? WriteHost(*l, a, used) : WriteServ(*l, a, used);
    l->wnd->WndProc(l->wnd, l->msg, l->id,
                    WSAMakeReply(static_cast<unsigned>(used), static_cast<unsigned>(error)));
}

Answer ResolveHost(const std::string& name) {
    Answer a;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* res = nullptr;
    const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &res);
    if (rc != 0) {
        a.error = EaiToWinsock(rc);
        return a;
    }
    a.name = (res && res->ai_canonname) ? res->ai_canonname : name;
    for (addrinfo* p = res; p; p = p->ai_next) {
        if (p->ai_family != AF_INET)
            continue;
        const auto* sin = reinterpret_cast<const sockaddr_in*>(p->ai_addr);
        bool seen = false;
        for (auto x : a.addrs)
            seen = seen || x == sin->sin_addr.s_addr;
        if (!seen)
            a.addrs.push_back(sin->sin_addr.s_addr);
    }
    freeaddrinfo(res);
    if (a.addrs.empty())
        a.error = WSANO_DATA;
    return a;
}

Answer ResolveService(const std::string& name, const std::string& proto) {
    Answer a;
    servent se{};
    servent* res = nullptr;
    std::vector<char> tmp(4096);
    const int rc = getservbyname_r(name.c_str(), proto.empty() ? nullptr : proto.c_str(), &se,
                                   tmp.data(), tmp.size(), &res);
    if (rc != 0 || !res) {
        a.error = WSANO_DATA;
        return a;
    }
    a.name = res->s_name ? res->s_name : name;
    a.proto = res->s_proto ? res->s_proto : proto;
    a.port = static_cast<short>(res->s_port);
    return a;
}

HANDLE StartLookup(HWND wnd, u_int msg, char* buf, int buflen, bool host, std::string name,
                   std::string proto) {
    if (!Started())
        return nullptr;
    if (!wnd || !buf || buflen <= 0) {
        t_lastError = WSAEFAULT;
        return nullptr;
    }
    auto l = std::make_shared<Lookup>();
    l->id = g_nextLookup.fetch_add(1);
    l->wnd = wnd;
    l->msg = msg;
    l->buf = buf;
    l->buflen = buflen;
    {
        std::lock_guard lock(g_lookupMutex);
        g_lookups[l->id] = l;
    }
    QObject* ctx = PostContext();
    const unsigned delay = host ? g_lookupDelay.load() : 0;
    std::thread([l, ctx, host, delay, name = std::move(name), proto = std::move(proto)] {
        using namespace std::chrono;
        const auto until = steady_clock::now() + milliseconds(delay);
        while (steady_clock::now() < until && !l->cancelled.load())
            std::this_thread::sleep_for(milliseconds(5));
        if (l->cancelled.load())
            return;
        Answer a = host ? ResolveHost(name) : ResolveService(name, proto);
        if (l->cancelled.load())
            return;
        QMetaObject::invokeMethod(
            ctx, [l, a = std::move(a), host] { Deliver(l, a, host); }, Qt::QueuedConnection);
    }).detach();
    return reinterpret_cast<HANDLE>(l->id);
}

} // namespace

int ErrnoToWinsock(int err) {
    switch (err) {
    case 0:
        return 0;
    case EINTR:
        return WSAEINTR;
    case EBADF:
        return WSAEBADF;
    case EACCES:
    case EPERM:
        return WSAEACCES;
    case EFAULT:
        return WSAEFAULT;
    case EINVAL:
        return WSAEINVAL;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
#if EAGAIN != EWOULDBLOCK
    case EWOULDBLOCK:
#endif
    case EAGAIN:
    case EINPROGRESS:
        return WSAEWOULDBLOCK;
    case EALREADY:
        return WSAEALREADY;
    case ENOTSOCK:
        return WSAENOTSOCK;
    case EDESTADDRREQ:
        return WSAEDESTADDRREQ;
    case EMSGSIZE:
        return WSAEMSGSIZE;
    case EPROTOTYPE:
        return WSAEPROTOTYPE;
    case ENOPROTOOPT:
        return WSAENOPROTOOPT;
    case EPROTONOSUPPORT:
        return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
        return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP:
        return WSAEOPNOTSUPP;
    case EPFNOSUPPORT:
        return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT:
        return WSAEAFNOSUPPORT;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return WSAENETDOWN;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case ENETRESET:
        return WSAENETRESET;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case EPIPE:
    case ECONNRESET:
        return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
        return WSAENOBUFS;
    case EISCONN:
        return WSAEISCONN;
    case ENOTCONN:
        return WSAENOTCONN;
    case ESHUTDOWN:
        return WSAESHUTDOWN;
    case ETOOMANYREFS:
        return WSAETOOMANYREFS;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case ELOOP:
        return WSAELOOP;
    case ENAMETOOLONG:
        return WSAENAMETOOLONG;
    case EHOSTDOWN:
        return WSAEHOSTDOWN;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
    case ENOTEMPTY:
        return WSAENOTEMPTY;
    case EUSERS:
        return WSAEUSERS;
    case EDQUOT:
        return WSAEDQUOT;
    case ESTALE:
        return WSAESTALE;
    case EREMOTE:
        return WSAEREMOTE;
    default:
        return WSAEINVAL;
    }
}

int EaiToWinsock(int eai) {
    switch (eai) {
    case 0:
        return 0;
    case EAI_NONAME:
        return WSAHOST_NOT_FOUND;
    case EAI_AGAIN:
        return WSATRY_AGAIN;
#ifdef EAI_NODATA
    case EAI_NODATA:
        return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
        return WSANO_DATA;
#endif
    case EAI_MEMORY:
        return WSAENOBUFS;
    case EAI_SYSTEM:
        return ErrnoToWinsock(errno);
    default:
        return WSANO_RECOVERY;
    }
}

int Startup(WORD version, WSADATA* data) {
    const unsigned major = version & 0xFFu, minor = (version >> 8) & 0xFFu;
    if (major < 1 || (major == 1 && minor < 1))
        return WSAVERNOTSUPPORTED;
    if (!data)
        return WSAEFAULT;
    std::memset(data, 0, sizeof *data);
    data->wVersion = 0x0101;
    data->wHighVersion = 0x0101;
    std::strcpy(data->szDescription, "Quelta sockets over POSIX");
    std::strcpy(data->szSystemStatus, "Running");
    data->iMaxSockets = 1024;
    g_startups.fetch_add(1);
    return 0;
}

int Cleanup() {
    int n = g_startups.load();
    while (n > 0 && !g_startups.compare_exchange_weak(n, n - 1)) {
    }
    return n > 0 ? 0 : Fail(WSANOTINITIALISED);
}

int GetLastError() {
    return t_lastError;
}

SOCKET Socket(int af, int type, int protocol) {
    if (!Started())
        return INVALID_SOCKET;
    if (af != AF_INET_WS) {
        t_lastError = WSAEAFNOSUPPORT;
        return INVALID_SOCKET;
    }
    if (type != SOCK_STREAM_WS) {
        t_lastError = WSAESOCKTNOSUPPORT;
        return INVALID_SOCKET;
    }
    const int fd = sys().socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        t_lastError = ErrnoToWinsock(errno);
        return INVALID_SOCKET;
    }
    // Lines go out as they are written: the protocols wait for each reply,
    // so holding a small write back for an acknowledgement only adds delay.
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto r = std::make_shared<Reg>();
    r->fd = fd;
    Regs()[static_cast<SOCKET>(fd)] = r;
    return static_cast<SOCKET>(fd);
}

int Connect(SOCKET s, const SOCKADDR* name, int namelen) {
    if (!Started())
        return SOCKET_ERROR;
    auto r = Find(s);
    if (!r)
        return Fail(WSAENOTSOCK);
    if (!name || namelen < static_cast<int>(sizeof(SOCKADDR_IN)))
        return Fail(WSAEFAULT);
    SOCKADDR_IN in;
    std::memcpy(&in, name, sizeof in);
    if (in.sin_family != AF_INET_WS)
        return Fail(WSAEAFNOSUPPORT);
    if (r->connecting)
        return Fail(WSAEALREADY);
    if (r->connected)
        return Fail(WSAEISCONN);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = in.sin_port;
    sa.sin_addr.s_addr = in.sin_addr.s_addr;
    const int rc = sys().connect(r->fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (rc != 0 && errno != EINPROGRESS)
        return Fail(ErrnoToWinsock(errno));
    // Even an immediate success is reported as pending, so that FD_CONNECT
    // always arrives as Winsock sends it.
    r->connecting = true;
    Arm(r);
    return Fail(WSAEWOULDBLOCK);
}

int Send(SOCKET s, const char* buf, int len, int flags) {
    if (!Started())
        return SOCKET_ERROR;
    auto r = Find(s);
    if (!r)
        return Fail(WSAENOTSOCK);
    if (len < 0 || (!buf && len > 0))
        return Fail(WSAEFAULT);
    if (r->connecting || !r->connected)
        return Fail(WSAENOTCONN);
    const ssize_t n = sys().send(r->fd, buf, static_cast<std::size_t>(len),
                                 (flags & (MSG_OOB | MSG_DONTROUTE)) | MSG_NOSIGNAL);
    if (n < 0) {
        const int err = errno;
        if (err == EAGAIN || err == EWOULDBLOCK) {
            r->writeWanted = true;
            Arm(r);
        }
        return Fail(ErrnoToWinsock(err));
    }
    return static_cast<int>(n);
}

int Recv(SOCKET s, char* buf, int len, int flags) {
    if (!Started())
        return SOCKET_ERROR;
    auto r = Find(s);
    if (!r)
        return Fail(WSAENOTSOCK);
    if (len < 0 || (!buf && len > 0))
        return Fail(WSAEFAULT);
    if (r->connecting || !r->connected)
        return Fail(WSAENOTCONN);
    const ssize_t n =
        sys().recv(r->fd, buf, static_cast<std::size_t>(len), flags & (MSG_OOB | MSG_PEEK));
    const int err = errno;
    if (r->rd && !r->closeSent && r->wnd)
        r->rd->setEnabled(true); // FD_READ again while data remains
    if (n < 0)
        return Fail(ErrnoToWinsock(err));
    return static_cast<int>(n);
}

int CloseSocket(SOCKET s) {
    if (!Started())
        return SOCKET_ERROR;
    auto it = Regs().find(s);
    if (it == Regs().end())
        return Fail(WSAENOTSOCK);
    auto r = it->second;
    Regs().erase(it);
    for (auto* n : {&r->rd, &r->wr}) {
        if (!*n)
            continue;
        (*n)->setEnabled(false);
        // A notifier whose callback is running now cannot be deleted here.
        if (g_dispatching > 0)
            n->release()->deleteLater();
        else
            n->reset();
    }
    const int fd = r->fd;
    r->fd = -1;
    if (::close(fd) != 0)
        return Fail(ErrnoToWinsock(errno));
    return 0;
}

int GetHostName(char* name, int namelen) {
    if (!Started())
        return SOCKET_ERROR;
    if (!name || namelen <= 0)
        return Fail(WSAEFAULT);
    if (sys().gethostname(name, static_cast<std::size_t>(namelen)) != 0)
        return Fail(WSAEFAULT);
    name[namelen - 1] = '\0';
    return 0;
}

u_short Htons(u_short v) {
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<u_short>((v >> 8) | (v << 8));
    return v;
}

std::uint32_t InetAddr(const char* cp) {
    in_addr a{};
    if (!cp || !*cp || inet_aton(cp, &a) == 0)
        return INADDR_NONE_WS;
    return a.s_addr;
}

int AsyncSelect(SOCKET s, HWND wnd, u_int msg, long events) {
    if (!Started())
        return SOCKET_ERROR;
    auto r = Find(s);
    if (!r)
        return Fail(WSAENOTSOCK);
    if (events != 0 && !wnd)
        return Fail(WSAEINVAL);
    r->wnd = wnd;
    r->msg = msg;
    r->events = events;
    r->writeWanted = true; // a writable connected socket gets FD_WRITE now
    Arm(r);
    return 0;
}

HANDLE AsyncGetHostByName(HWND wnd, u_int msg, const char* name, char* buf, int buflen) {
    if (!name) {
        t_lastError = WSAEFAULT;
        return nullptr;
    }
    return StartLookup(wnd, msg, buf, buflen, true, name, {});
}

HANDLE AsyncGetServByName(HWND wnd, u_int msg, const char* name, const char* proto, char* buf,
                          int buflen) {
    if (!name) {
        t_lastError = WSAEFAULT;
        return nullptr;
    }
    return StartLookup(wnd, msg, buf, buflen, false, name, proto ? proto : "");
}

int CancelAsyncRequest(HANDLE h) {
    if (!Started())
        return SOCKET_ERROR;
    std::lock_guard lock(g_lookupMutex);
    auto it = g_lookups.find(reinterpret_cast<std::uintptr_t>(h));
    if (it == g_lookups.end())
        return Fail(WSAEINVAL);
    it->second->cancelled.store(true);
    g_lookups.erase(it);
    return 0;
}

void SetLookupDelay(unsigned ms) {
    g_lookupDelay.store(ms);
}

} // namespace wsock

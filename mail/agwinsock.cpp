#include "mail/agwinsock.h"

#include "mail/msstrings.h"
#include "platform/win/paths.h"

#include <dlfcn.h>

namespace {

const StringEntry kWinsockStrings[] = {
    {57000, "Operation timed out"},
    {57001, "Operation has been canceled"},
    {57002, "Server property is required"},
    {57003, "Invalid Winsock version"},
    {57004, "Error resolving remote host"},
    {57005, "Service name is required"},
    {57006, "Proxy port is required"},
    {57007, "Invalid URL"},
    {57008, "You have to connect to the server first"},
    {SWinsockFunctionNotFound, "Function %s not found"},
    {SWinsockNotLoaded, "Winsock is not loaded"},
    {SWinsockNotFound, "Winsock not found"},
    {10004, "[10004] Interrupted function call"},
    {10009, "[10009] Bad file number"},
    {10013, "[10013] Permission denied."},
    {10014, "[10014] Bad address"},
    {10022, "[10022] Invalid argument"},
    {10024, "[10024] Too many open files"},
    {10035, "[10035] Resource temporarily not available"},
    {10036, "[10036] Operation now in progress"},
    {10037, "[10037] Operation already in progress"},
    {10038, "[10038] Socket operation on non-socket"},
    {10039, "[10039] Destination address required"},
    {10040, "[10040] Message too long"},
    {10041, "[10041] Protocol wrong type for socket"},
    {10042, "[10042] Bad protocol option"},
    {10043, "[10043] Protocol not supported"},
    {10044, "[10044] Socket type not supported"},
    {10045, "[10045] Operation not supported"},
    {10046, "[10046] Protocol family not supported"},
    {10047, "[10047] Address family not supported by protocol family"},
    {10048, "[10048] Address already in use"},
    {10049, "[10049] Cannot assign requested address"},
    {10050, "[10050] Network is down"},
    {10051, "[10051] Network is unreachable"},
    {10052, "[10052] Network dropped connection or reset"},
    {10053, "[10053] Software caused connection abort"},
    {10054, "[10054] Connection reset by peer"},
    {10055, "[10055] No buffer space available"},
    {10056, "[10056] Socket is already connected"},
    {10057, "[10057] Socket is not connected"},
    {10058, "[10058] Can't send after socket shutdown"},
    {10059, "[10059] Too many references, can't splice"},
    {10060, "[10060] Connection timed out"},
    {10061, "[10061] Connection refused"},
    {10062, "[10062] Too many levels of symbolic links"},
    {10063, "[10063] File name too long"},
    {10064, "[10064] Host is down"},
    {10065, "[10065] No Route to Host"},
    {10066, "[10066] Directory not empty"},
    {10067, "[10067] Too many processes"},
    {10068, "[10068] Too many users"},
    {10069, "[10069] Disc Quota Exceeded"},
    {10070, "[10070] Stale NFS file handle"},
    {10071, "[10071] Too many levels of remote in path"},
    {10091, "[10091] Network subsystem is unavailable"},
    {10092, "[10092] WINSOCK DLL Version out of range"},
    {10093, "[10093] Successful WSAStartup() not yet performed"},
    {10094, "[10094] Graceful shutdown in progress"},
    {11001, "[11001] Host not found"},
    {11002, "[11002] Non-Authoritative Host not found"},
    {11003, "[11003] Non-Recoverable errors: FORMERR, REFUSED, NOTIMP"},
    {11004, "[11004] Valid name, no data record of requested type"},
};

std::string& LibName() {
    static std::string name = "libwsock32.so";
    return name;
}

} // namespace

std::string NetStr(int id) {
    for (const StringEntry& e : kWinsockStrings)
        if (e.id == id)
            return e.text;
    return LoadStr(id);
}

std::string FormatStr(const std::string& fmt, const std::string& arg) {
    std::string s = fmt;
    auto at = s.find("%s");
    if (at != std::string::npos)
        s.replace(at, 2, arg);
    return s;
}

TagWinsock& Winsock() {
    static TagWinsock instance;
    return instance;
}

TagWinsock::~TagWinsock() {
    Unload();
}

void TagWinsock::SetLibraryName(const std::string& name) {
    LibName() = name;
}
const std::string& TagWinsock::LibraryName() {
    return LibName();
}

void TagWinsock::Load() {
    const std::string& name = LibName();
    handle_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    // The program's own folder holds it when no search path names that folder.
    if (!handle_ && name.find('/') == std::string::npos)
        handle_ = dlopen((win::ProgramFolder() + name).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_)
        throw EWinsockDLLError(NetStr(SWinsockNotFound));
}

void TagWinsock::Unload() {
    if (handle_)
        dlclose(handle_);
    handle_ = nullptr;
}

void* TagWinsock::GetProc(const std::string& name) const {
    if (!IsLoaded())
        throw EWinsockDLLError(NetStr(SWinsockNotLoaded));
    void* p = dlsym(handle_, name.c_str());
    if (!p)
        throw EWinsockDLLError(FormatStr(NetStr(SWinsockFunctionNotFound), name));
    return p;
}

bool TagWinsock::IsAvailable() {
    if (IsLoaded())
        return true;
    try {
        Load();
        Unload();
        return true;
    } catch (const EWinsockDLLError&) {
        return false;
    }
}

int TagWinsock::WSAStartup(WORD version, WSADATA* data) {
    return Proc<LPFN_WSASTARTUP>("WSAStartup")(version, data);
}
int TagWinsock::WSACleanup() {
    return Proc<LPFN_WSACLEANUP>("WSACleanup")();
}
int TagWinsock::WSAGetLastError() {
    return Proc<LPFN_WSAGETLASTERROR>("WSAGetLastError")();
}
int TagWinsock::WSAIsBlocking() {
    return Proc<LPFN_WSAISBLOCKING>("WSAIsBlocking")();
}
int TagWinsock::WSACancelBlockingCall() {
    return Proc<LPFN_WSACANCELBLOCKINGCALL>("WSACancelBlockingCall")();
}
HANDLE TagWinsock::WSAAsyncGetServByName(HWND wnd, u_int msg, const char* name, const char* proto,
                                         char* buf, int buflen) {
    return Proc<LPFN_WSAASYNCGETSERVBYNAME>("WSAAsyncGetServByName")(wnd, msg, name, proto, buf,
                                                                     buflen);
}
HANDLE TagWinsock::WSAAsyncGetHostByName(HWND wnd, u_int msg, const char* name, char* buf,
                                         int buflen) {
    return Proc<LPFN_WSAASYNCGETHOSTBYNAME>("WSAAsyncGetHostByName")(wnd, msg, name, buf, buflen);
}
int TagWinsock::WSACancelAsyncRequest(HANDLE request) {
    return Proc<LPFN_WSACANCELASYNCREQUEST>("WSACancelAsyncRequest")(request);
}
int TagWinsock::WSAAsyncSelect(SOCKET s, HWND wnd, u_int msg, long events) {
    return Proc<LPFN_WSAASYNCSELECT>("WSAAsyncSelect")(s, wnd, msg, events);
}
SOCKET TagWinsock::Socket(int af, int type, int protocol) {
    return Proc<LPFN_SOCKET>("socket")(af, type, protocol);
}
int TagWinsock::Connect(SOCKET s, const SOCKADDR* name, int namelen) {
    return Proc<LPFN_CONNECT>("connect")(s, name, namelen);
}
int TagWinsock::Send(SOCKET s, const char* buf, int len, int flags) {
    return Proc<LPFN_SEND>("send")(s, buf, len, flags);
}
int TagWinsock::Recv(SOCKET s, char* buf, int len, int flags) {
    return Proc<LPFN_RECV>("recv")(s, buf, len, flags);
}
int TagWinsock::CloseSocket(SOCKET s) {
    return Proc<LPFN_CLOSESOCKET>("closesocket")(s);
}
int TagWinsock::GetHostName(char* name, int namelen) {
    return Proc<LPFN_GETHOSTNAME>("gethostname")(name, namelen);
}
u_short TagWinsock::Htons(u_short v) {
    return Proc<LPFN_HTONS>("htons")(v);
}

std::uint32_t TagWinsock::InetAddr(const char* cp) {
    void* p = handle_ ? dlsym(handle_, "inet_addr") : nullptr;
    if (!p)
        throw EWinsockDLLError(FormatStr(NetStr(SWinsockFunctionNotFound), "inet_addr"));
    return reinterpret_cast<LPFN_INET_ADDR>(p)(cp);
}

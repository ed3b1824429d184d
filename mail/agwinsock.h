#pragma once
// The process-wide run-time binding to the Winsock library (libwsock32.so,
// our "wsock32.dll"). Nothing links to it: the library is loaded by name on
// request and every entry point is looked up by name at each call, so a
// missing library or function is an error of its own.
#include "mail/exception.h"
#include "platform/winsock/winsock.h"

#include <string>

// The library is missing, not loaded, or lacks a function.
class EWinsockDLLError : public Exception {
public:
    using Exception::Exception;
};

enum : int {
    SWinsockFunctionNotFound = 57010,
    SWinsockNotLoaded = 57011,
    SWinsockNotFound = 57012,
};

class TagWinsock {
public:
    TagWinsock() = default;
    ~TagWinsock();
    TagWinsock(const TagWinsock&) = delete;
    TagWinsock& operator=(const TagWinsock&) = delete;

    [[nodiscard]] bool IsLoaded() const { return handle_ != nullptr; }
    // Raises EWinsockDLLError "Winsock not found" when the library cannot be loaded.
    void Load();
    void Unload();
    // Raises "Winsock is not loaded" or "Function <name> not found".
    [[nodiscard]] void* GetProc(const std::string& name) const;
    // Loaded, or a probe load (then unloaded again) succeeds.
    [[nodiscard]] bool IsAvailable();

    // The wrapped entry points, each resolved through GetProc when called.
    int WSAStartup(WORD version, WSADATA* data);
    int WSACleanup();
    int WSAGetLastError();
    int WSAIsBlocking();
    int WSACancelBlockingCall();
    HANDLE WSAAsyncGetServByName(HWND wnd, u_int msg, const char* name, const char* proto,
                                 char* buf, int buflen);
    HANDLE WSAAsyncGetHostByName(HWND wnd, u_int msg, const char* name, char* buf, int buflen);
    int WSACancelAsyncRequest(HANDLE request);
    int WSAAsyncSelect(SOCKET s, HWND wnd, u_int msg, long events);
    SOCKET Socket(int af, int type, int protocol);
    int Connect(SOCKET s, const SOCKADDR* name, int namelen);
    int Send(SOCKET s, const char* buf, int len, int flags);
    int Recv(SOCKET s, char* buf, int len, int flags);
    int CloseSocket(SOCKET s);
    int GetHostName(char* name, int namelen);
    u_short Htons(u_short v);
    // Looked up without the loaded test: unloaded, it reports the function missing.
    std::uint32_t InetAddr(const char* cp);

    // The file name loaded ("libwsock32.so"); tests point it elsewhere.
    static void SetLibraryName(const std::string& name);
    [[nodiscard]] static const std::string& LibraryName();

private:
    template <class F> F Proc(const char* name) const { return reinterpret_cast<F>(GetProc(name)); }
    void* handle_ = nullptr;
};

// The one binding of the process.
[[nodiscard]] TagWinsock& Winsock();

// The text of a network string id (57000-57012, 10004-11004), else of the
// mail string table; "" when neither holds the id.
[[nodiscard]] std::string NetStr(int id);
// Formats the text of 57010 and the like: "%s" replaced by arg.
[[nodiscard]] std::string FormatStr(const std::string& fmt, const std::string& arg);

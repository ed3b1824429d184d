#pragma once
// The library's own implementation of each export, kept in a namespace so
// that the file defining the exports never sees the C library's socket
// declarations of the same names.
#include "platform/winsock/winsock.h"

namespace wsock {

int Startup(WORD version, WSADATA* data);
int Cleanup();
int GetLastError();
SOCKET Socket(int af, int type, int protocol);
int Connect(SOCKET s, const SOCKADDR* name, int namelen);
int Send(SOCKET s, const char* buf, int len, int flags);
int Recv(SOCKET s, char* buf, int len, int flags);
int CloseSocket(SOCKET s);
int GetHostName(char* name, int namelen);
u_short Htons(u_short v);
std::uint32_t InetAddr(const char* cp);
int AsyncSelect(SOCKET s, HWND wnd, u_int msg, long events);
HANDLE AsyncGetHostByName(HWND wnd, u_int msg, const char* name, char* buf, int buflen);
HANDLE AsyncGetServByName(HWND wnd, u_int msg, const char* name, const char* proto, char* buf,
                          int buflen);
int CancelAsyncRequest(HANDLE h);
void SetLookupDelay(unsigned ms);

// errno (or a getaddrinfo/getservbyname result) to the Winsock code.
int ErrnoToWinsock(int err);
int EaiToWinsock(int eai);

} // namespace wsock

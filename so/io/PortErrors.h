// The one place where ports turn errno into the error numbers callers see.
#pragma once

#include "platform/wintypes.h"

namespace Tesk::IO {

// Winsock error numbers the TCP/IP port reports (the values callers know from Windows).
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTUNREACH = 10065;

// Stores Win32ErrorFromErrno(err) as the calling thread's last error and returns it.
DWORD SetLastErrorFromErrno(int err);

// The Winsock number for a socket errno; stored as the thread's last error too, since
// on Windows WSAGetLastError and GetLastError are the same value.
int SetLastSocketErrorFromErrno(int err);

}  // namespace Tesk::IO

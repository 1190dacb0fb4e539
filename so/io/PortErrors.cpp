#include "PortErrors.h"

#include <cerrno>

namespace Tesk::IO {

DWORD SetLastErrorFromErrno(int err) {
  // Line-setting calls on something that is not a terminal fail on Windows with
  // "incorrect function".
  DWORD error = err == ENOTTY ? static_cast<DWORD>(ERROR_INVALID_FUNCTION) : Win32ErrorFromErrno(err);
  SetLastError(error);
  return error;
}

int SetLastSocketErrorFromErrno(int err) {
  int wsa;
  switch (err) {
    case 0: wsa = 0; break;
    case EINTR: wsa = WSAEINTR; break;
    case EBADF: wsa = WSAEBADF; break;
    case EACCES:
    case EPERM: wsa = WSAEACCES; break;
    case EINVAL: wsa = WSAEINVAL; break;
    case EMFILE:
    case ENFILE: wsa = WSAEMFILE; break;
    case EAGAIN: wsa = WSAEWOULDBLOCK; break;
    case EINPROGRESS:
    case EALREADY: wsa = WSAEINPROGRESS; break;
    case EAFNOSUPPORT: wsa = WSAEAFNOSUPPORT; break;
    case EADDRINUSE: wsa = WSAEADDRINUSE; break;
    case EADDRNOTAVAIL: wsa = WSAEADDRNOTAVAIL; break;
    case ENETDOWN: wsa = WSAENETDOWN; break;
    case ENETUNREACH: wsa = WSAENETUNREACH; break;
    case ECONNABORTED: wsa = WSAECONNABORTED; break;
    case ECONNRESET: wsa = WSAECONNRESET; break;
    case ENOBUFS:
    case ENOMEM: wsa = WSAENOBUFS; break;
    case EISCONN: wsa = WSAEISCONN; break;
    case ENOTCONN: wsa = WSAENOTCONN; break;
    // A send after the peer closed: Winsock reports the connection as shut down.
    case EPIPE: wsa = WSAESHUTDOWN; break;
    case ETIMEDOUT: wsa = WSAETIMEDOUT; break;
    case ECONNREFUSED: wsa = WSAECONNREFUSED; break;
    case EHOSTUNREACH:
    case EHOSTDOWN: wsa = WSAEHOSTUNREACH; break;
    default: wsa = static_cast<int>(Win32ErrorFromErrno(err)); break;
  }
  SetLastError(static_cast<DWORD>(wsa));
  return wsa;
}

}  // namespace Tesk::IO

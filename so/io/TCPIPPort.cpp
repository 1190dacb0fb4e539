#include "TCPIPPort.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cwchar>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "FdIo.h"
#include "PortErrors.h"

namespace Tesk::IO {

namespace {

template <class... Numbers>
std::wstring Formatted(const wchar_t* format, Numbers... numbers) {
  wchar_t text[128];
  std::swprintf(text, sizeof text / sizeof text[0], format, static_cast<int>(numbers)...);
  return text;
}

timeval Milliseconds(LONG ms) {
  if (ms < 0) ms = 0;
  return timeval{ms / 1000, static_cast<suseconds_t>((ms % 1000) * 1000)};
}

}  // namespace

TCPIPPort::TCPIPPort(const TCPIPPortSettings& settings) : settings_(settings) {
  SetSettingsPointer(&settings_);
  SetOverlapped(true);
  // For display only; the address is never opened as a path.
  SetDevicePath(settings_.GetSettingsString());
  cancelReceiveFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TCPIPPort::~TCPIPPort() {
  CloseSocket();
  if (cancelReceiveFd_ >= 0) ::close(cancelReceiveFd_);
}

bool TCPIPPort::CreateSocket() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
  if (fd < 0) return false;
  // The designed options; a failure of any of them is ignored.
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  timeval receive = Milliseconds(settings_.GetReadTimeout());
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &receive, sizeof receive);
  timeval send = Milliseconds(settings_.GetWriteTimeout());
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &send, sizeof send);
  linger noLinger{0, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
  int sendBuffer = kSendBufferSize;
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
  SetFd(fd);
  return true;
}

bool TCPIPPort::ConnectOnce(int* wsaError) {
  if (Fd() < 0 && !CreateSocket()) {
    *wsaError = SetLastSocketErrorFromErrno(errno);
    return false;
  }
  if (!addressValid_) {
    *wsaError = SetLastSocketErrorFromErrno(EADDRNOTAVAIL);
    return false;
  }
  bind(Fd(), reinterpret_cast<const sockaddr*>(&local_), sizeof local_);
  int err = 0;
  if (::connect(Fd(), reinterpret_cast<const sockaddr*>(&remote_), sizeof remote_) != 0) {
    err = errno;
    if (err == EINPROGRESS || err == EINTR) {
      WaitResult waited = WaitFd(Fd(), POLLOUT, kConnectTimeoutMs);
      if (waited == WaitResult::kTimeout) {
        err = ETIMEDOUT;
      } else {
        socklen_t size = sizeof err;
        if (getsockopt(Fd(), SOL_SOCKET, SO_ERROR, &err, &size) != 0) err = errno;
      }
    }
  }
  if (err != 0) {
    *wsaError = SetLastSocketErrorFromErrno(err);
    return false;
  }
  return true;
}

bool TCPIPPort::Connect() {
  int wsaError = 0;
  if (!ConnectOnce(&wsaError)) {
    CloseSocket();
    if (!ConnectOnce(&wsaError)) {
      SetError(kConnectFailed, Formatted(L"*Connect Fail! WSAGetLastError:%d", wsaError));
      CloseSocket();
      SetLastError(static_cast<DWORD>(wsaError));
      return false;
    }
  }
  connected_ = true;
  return true;
}

void TCPIPPort::CloseSocket() {
  connected_ = false;
  int fd = Fd();
  if (fd < 0) return;
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
  SetFd(-1);
}

bool TCPIPPort::Open() {
  if (IsOpen()) Close();
  SetLastError(0);
  local_ = sockaddr_in{};
  local_.sin_family = AF_INET;
  local_.sin_addr.s_addr = htonl(INADDR_ANY);
  local_.sin_port = 0;
  remote_ = sockaddr_in{};
  remote_.sin_family = AF_INET;
  remote_.sin_port = htons(settings_.TcpPort());
  // inet_aton accepts the same forms as Winsock's inet_addr (a.b.c.d, a.b, hex parts).
  addressValid_ = inet_aton(settings_.Address().c_str(), &remote_.sin_addr) != 0;
  CreateSocket();
  bool connected = Connect();
  SetOpenFlag(connected);
  SetReadable(connected);
  return connected;
}

void TCPIPPort::Close() {
  SetLastError(0);
  CloseSocket();
  SetOpenFlag(false);
}

int TCPIPPort::PeerClosedError() const {
  if (Fd() < 0 || !connected_) return ENOTCONN;
  pollfd entry{Fd(), POLLIN | POLLRDHUP, 0};
  if (poll(&entry, 1, 0) <= 0) return 0;
  if (entry.revents & (POLLERR | POLLHUP | POLLNVAL | POLLRDHUP)) {
    int err = 0;
    socklen_t size = sizeof err;
    getsockopt(Fd(), SOL_SOCKET, SO_ERROR, &err, &size);
    return err != 0 ? err : ECONNRESET;
  }
  return 0;
}

bool TCPIPPort::Write(const BYTE* data, LONG offset, LONG length) {
  const DWORD limit = static_cast<DWORD>(std::max<LONG>(0, settings_.GetWriteTimeout()));
  SetLastError(0);
  if (length < 0 || offset < 0 || (data == nullptr && length > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const BYTE* at = data + offset;
  LONG remaining = length;
  LONG accepted = 0;  // bytes of this block the connection took
  int lastError = 0;
  for (int attempt = 0; attempt < kWriteAttempts && !CancelRequested() && remaining > 0; ++attempt) {
    // A printer that closed the connection between jobs is found before sending:
    // bytes sent into a closed connection would be accepted locally and then lost.
    int err = PeerClosedError();
    std::size_t sent = 0;
    if (err == 0)
      sent = WriteWithin(Fd(), at, static_cast<std::size_t>(remaining), limit, nullptr, &err);
    at += sent;
    remaining -= static_cast<LONG>(sent);
    accepted += static_cast<LONG>(sent);
    if (remaining == 0) return true;
    lastError = SetLastSocketErrorFromErrno(err != 0 ? err : ETIMEDOUT);
    if (err == ETIMEDOUT || err == 0) continue;  // stalled: the same connection goes on
    CloseSocket();
    if (accepted > 0) {
      // Part of the block went into a connection that broke. How much of it the printer
      // got is unknown: sending it again could print it twice, sending only the rest
      // would leave a gap. The caller decides; the next write connects afresh.
      SetError(lastError, Formatted(L"WriteData Fail! connection lost after %d of %d bytes, WSAGetLastError:%d",
                                    accepted, length, lastError));
      return false;
    }
    // Nothing of the block was taken: the connection died while idle, so the whole
    // block goes again on a new one.
    if (!Connect()) {
      SetError(kConnectFailed, Formatted(L"WriteData reconnect Fail! WSAGetLastError:%d", lastError));
      return false;
    }
    ClearErrorText();
    // A printer found again may have been switched off meanwhile: its set-up goes first.
    SendRestoreBytes(limit);
  }
  if (remaining > 0 && !CancelRequested())
    SetError(lastError, Formatted(L"WriteData Fail! printer took %d of %d bytes, WSAGetLastError:%d",
                                  accepted, length, lastError));
  return false;
}

bool TCPIPPort::Read(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL waitAll) {
  const DWORD limit = static_cast<DWORD>(std::max<LONG>(0, settings_.GetReadTimeout()));
  LONG unused = 0;
  LONG& count = bytesRead ? *bytesRead : unused;
  SetLastError(0);
  count = 0;
  if (buffer == nullptr || offset < 0 || length < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (Fd() < 0) {
    SetLastError(static_cast<DWORD>(WSAENOTCONN));
    return false;
  }
  BYTE* at = buffer + offset;
  LONG remaining = length;
  int attempts = 0;
  while (!CancelRequested() && remaining > 0) {
    if (attempts >= kMaxReadAttempts) break;
    ++attempts;
    const LONG chunk = std::min(remaining, kReadChunk);
    ssize_t n = -1;
    WaitResult waited = WaitFd(Fd(), POLLIN, limit);
    if (waited == WaitResult::kReady) {
      n = ::recv(Fd(), at, static_cast<std::size_t>(chunk), MSG_DONTWAIT);
      if (n < 0) SetLastSocketErrorFromErrno(errno);
    } else {
      SetLastSocketErrorFromErrno(waited == WaitResult::kTimeout ? ETIMEDOUT : EBADF);
    }
    if (n > 0) {
      count += static_cast<LONG>(n);
      if (!waitAll || count == length) return true;
      ++attempts;  // a partial success uses up a further attempt
      at += n;
      remaining -= static_cast<LONG>(n);
    } else if (!waitAll) {
      break;
    }
  }
  return false;
}

bool TCPIPPort::ReadOnce(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL) {
  LONG unused = 0;
  LONG& count = bytesRead ? *bytesRead : unused;
  SetLastError(0);
  count = 0;
  if (buffer == nullptr || offset < 0 || length <= 0 || Fd() < 0) return false;
  ssize_t n = ::recv(Fd(), buffer + offset, static_cast<std::size_t>(length), MSG_DONTWAIT);
  if (n <= 0) {
    if (n < 0) SetLastSocketErrorFromErrno(errno);
    return false;
  }
  count = static_cast<LONG>(n);
  return true;
}

void TCPIPPort::StartReceive(BYTE* buffer, LONG length, ReceiveCallback callback) {
  if (buffer == nullptr || length <= 0 || Fd() < 0) return;
  const LONG chunk = std::min(length, kReadChunk);
  pollfd entries[2] = {{Fd(), POLLIN, 0}, {cancelReceiveFd_, POLLIN, 0}};
  int rc;
  do {
    rc = poll(entries, cancelReceiveFd_ >= 0 ? 2 : 1, -1);
  } while (rc < 0 && errno == EINTR);
  if (rc > 0 && (entries[0].revents & (POLLIN | POLLHUP | POLLERR))) {
    ssize_t n = ::recv(Fd(), buffer, static_cast<std::size_t>(chunk), MSG_DONTWAIT);
    DWORD count = n > 0 ? static_cast<DWORD>(n) : 0;
    if (count >= static_cast<DWORD>(length) && callback) callback(count, 0, count, nullptr);
  }
  if (cancelReceiveFd_ >= 0) {
    std::uint64_t drained;
    while (::read(cancelReceiveFd_, &drained, sizeof drained) > 0) {
    }
  }
}

void TCPIPPort::CancelReceive() {
  if (cancelReceiveFd_ < 0) return;
  std::uint64_t one = 1;
  ssize_t ignored = ::write(cancelReceiveFd_, &one, sizeof one);
  (void)ignored;
}

}  // namespace Tesk::IO

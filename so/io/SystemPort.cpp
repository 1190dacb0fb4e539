#include "SystemPort.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "FdIo.h"
#include "PortErrors.h"
#include "platform/devname.h"
#include "platform/sync.h"

namespace Tesk::IO {

namespace {

// Only devices come back after a loss; files and FIFOs are never opened again behind
// the caller's back (a regular file would be truncated).
bool PlugsBack(int fd) {
  struct stat info {};
  return fstat(fd, &info) == 0 && S_ISCHR(info.st_mode);
}

// The descriptor's device is gone: a terminal whose other side closed, an unplugged device.
bool HungUp(int fd) {
  pollfd entry{fd, POLLOUT, 0};
  return poll(&entry, 1, 0) > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool DeviceGone(int error) { return error == EIO || error == ENODEV || error == ENXIO || error == EPIPE; }

}  // namespace

CSystemPort::CSystemPort(IPortSettings* settings)
    : settings_(settings ? settings : &defaultSettings_), commState_(std::make_unique<struct termios>()) {
  std::memset(commState_.get(), 0, sizeof(struct termios));
}

CSystemPort::~CSystemPort() {
  if (fd_ >= 0) ::close(fd_);
}

bool CSystemPort::TestOpen() {
  bool opened = Open();
  Close();
  return opened;
}

int CSystemPort::OpenDevice(const std::wstring& path) {
  std::string mapped = platform::MapDeviceName(path);
  int fd = ::open(mapped.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    SetLastErrorFromErrno(errno);
    return -1;
  }
  // flock locks belong to the open file description, so this also refuses a second
  // open of the same device within this process, as the no-sharing open does.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    ::close(fd);
    SetLastError(ERROR_SHARING_VIOLATION);
    return -1;
  }
  return fd;
}

bool CSystemPort::Open() {
  if (open_) Close();
  SetLastError(0);
  if (devicePath_.empty()) return false;
  int fd = OpenDevice(devicePath_);
  if (fd < 0) return false;
  fd_ = fd;
  readable_ = true;
  byteWise_ = false;
  ConfigureOpenedPort();
  open_ = true;
  return true;
}

void CSystemPort::Close() {
  SetLastError(0);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  open_ = false;
  deviceLost_ = false;
  commStateLoaded_ = false;
}

DWORD CSystemPort::WriteTimeLimit(LONG) {
  return static_cast<DWORD>(std::max<LONG>(0, settings_->GetWriteTimeout()));
}

DWORD CSystemPort::ReadWaitLimit(bool waitAll) { return waitAll ? kWaitAllLimitMs : kSingleLimitMs; }

bool CSystemPort::Write(const BYTE* data, LONG offset, LONG length) {
  const DWORD limit = WriteTimeLimit(length);
  SetLastError(0);
  if (CancelRequested() || length == 0) return false;
  if (length < 0 || offset < 0 || data == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (fd_ < 0 && !deviceLost_) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  // A device that went away (a serial adapter or USB cable pulled, the printer switched
  // off) hangs up its descriptor. Nothing of the block was written then: once the device
  // is back, possibly under a new node, it is opened again and the whole block goes there.
  const bool plugsBack = deviceLost_ || PlugsBack(fd_);
  if (plugsBack && (deviceLost_ || HungUp(fd_)) && !ReopenLostDevice(limit)) return false;
  int error = 0;
  std::size_t written = WriteWithin(fd_, data + offset, static_cast<std::size_t>(length), limit, &cancel_, &error);
  if (plugsBack && written == 0 && DeviceGone(error) && ReopenLostDevice(limit))
    written = WriteWithin(fd_, data + offset, static_cast<std::size_t>(length), limit, &cancel_, &error);
  if (error != 0) SetLastErrorFromErrno(error);
  return written == static_cast<std::size_t>(length);
}

bool CSystemPort::ReopenLostDevice(DWORD limitMs) {
  Close();
  RefreshDevice();
  ClearErrorText();
  if (!Open()) {
    // Still open for the caller, without a descriptor: the next write looks again.
    open_ = true;
    deviceLost_ = true;
    const DWORD system = GetLastError();
    SetError(static_cast<LONG>(ERROR_DEVICE_NOT_CONNECTED),
             L"WriteData Fail! the printer is disconnected");
    SetLastError(system != 0 ? system : static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    return false;
  }
  return SendRestoreBytes(limitMs);
}

bool CSystemPort::SendRestoreBytes(DWORD limitMs) {
  if (restoreBytes_.empty()) return true;
  int error = 0;
  const std::size_t sent = WriteWithin(fd_, restoreBytes_.data(), restoreBytes_.size(), limitMs, &cancel_, &error);
  if (error != 0) SetLastErrorFromErrno(error);
  return sent == restoreBytes_.size();
}

CSystemPort::Attempt CSystemPort::ReadChunk(BYTE* at, LONG chunk, DWORD limitMs) {
  Attempt attempt;
  const DWORD start = GetTickCount();
  const bool gather = ReadsUntilLimit() && !overlapped_;
  for (;;) {
    const DWORD spent = GetTickCount() - start;
    const DWORD left = spent >= limitMs ? 0 : limitMs - spent;
    WaitResult waited = WaitFd(fd_, POLLIN, left);
    if (waited == WaitResult::kError) {
      SetLastError(ERROR_INVALID_HANDLE);
      attempt.lastCallOk = false;
      return attempt;
    }
    if (waited == WaitResult::kTimeout) break;
    ssize_t n = ::read(fd_, at + attempt.bytes, static_cast<std::size_t>(chunk - attempt.bytes));
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      SetLastErrorFromErrno(errno);
      attempt.lastCallOk = attempt.bytes > 0;
      break;
    }
    if (n == 0) break;  // end of file
    if (n > 0) attempt.bytes += static_cast<LONG>(n);
    if (!gather || attempt.bytes == chunk) break;
  }
  // A read that times out or meets the end of a file still succeeds, with 0 bytes,
  // as a timed-out ReadFile does; overlapped reads count only when bytes came.
  attempt.ok = overlapped_ ? attempt.bytes > 0 : attempt.lastCallOk;
  return attempt;
}

CSystemPort::Attempt CSystemPort::ReadBytewise(BYTE* at, LONG chunk, DWORD limitMs) {
  Attempt attempt;
  while (attempt.bytes < chunk) {
    WaitResult waited = WaitFd(fd_, POLLIN, limitMs);
    if (waited == WaitResult::kTimeout) break;  // the call returned 0 bytes
    if (waited == WaitResult::kError) {
      SetLastError(ERROR_INVALID_HANDLE);
      attempt.lastCallOk = false;
      break;
    }
    ssize_t n = ::read(fd_, at + attempt.bytes, 1);
    if (n == 1) {
      ++attempt.bytes;
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      SetLastErrorFromErrno(errno);
      attempt.lastCallOk = false;
    }
    break;
  }
  attempt.ok = attempt.bytes > 0;
  return attempt;
}

bool CSystemPort::Read(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL waitAll) {
  const DWORD limit = ReadWaitLimit(waitAll != FALSE);
  LONG unused = 0;
  LONG& count = bytesRead ? *bytesRead : unused;
  SetLastError(0);
  count = 0;
  if (!readable_) return false;
  if (buffer == nullptr || offset < 0 || length < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (fd_ < 0) {
    // poll would ignore a closed descriptor and sit out the whole limit.
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  BYTE* at = buffer + offset;
  LONG remaining = length;
  for (int r = 0; !CancelRequested() && remaining > 0 && r <= kMaxReadRounds; r += 2) {
    const LONG chunk = std::min(remaining, kReadChunk);
    Attempt attempt = (byteWise_ && !overlapped_) ? ReadBytewise(at, chunk, limit) : ReadChunk(at, chunk, limit);
    if (!overlapped_ && attempt.bytes < chunk) Sleep(static_cast<DWORD>(r + 2));
    if (attempt.ok) {
      count += attempt.bytes;
      at += attempt.bytes;
      remaining -= attempt.bytes;
      if (!waitAll) return attempt.bytes > 0;
      if (remaining == 0) return true;
    } else {
      if (!waitAll) return false;
      Sleep(5);
    }
  }
  // The rounds ran out before length bytes came: a failure in every mode, with the
  // bytes that did arrive left in the count.
  return false;
}

bool CSystemPort::ReadOnce(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL) {
  LONG unused = 0;
  LONG& count = bytesRead ? *bytesRead : unused;
  count = 0;
  SetLastError(0);
  if (!readable_) return false;
  if (buffer == nullptr || offset < 0 || length < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (fd_ < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (CancelRequested()) return false;
  const DWORD limit = ReadWaitLimit(false);
  Attempt attempt = (byteWise_ && !overlapped_) ? ReadBytewise(buffer + offset, length, limit)
                                                : ReadChunk(buffer + offset, length, limit);
  count = attempt.bytes;
  if (overlapped_) return attempt.bytes > 0;
  return byteWise_ ? attempt.lastCallOk : attempt.ok;
}

bool CSystemPort::BeginReadEx(BYTE* buffer, LONG offset, LONG length) {
  if (!readable_ || fd_ < 0 || buffer == nullptr || offset < 0 || length <= 0) return false;
  callbackBuffer_ = buffer + offset;
  Attempt attempt = ReadChunk(callbackBuffer_, length, ReadWaitLimit(false));
  OnReadComplete(attempt.lastCallOk ? 0 : GetLastError(), static_cast<DWORD>(attempt.bytes), nullptr);
  return attempt.lastCallOk;
}

void CSystemPort::OnReadComplete(DWORD, DWORD bytesTransferred, void*) {
  if (notify_ && readCallback_) readCallback_(this, callbackBuffer_, bytesTransferred);
}

DWORD CSystemPort::GetSystemError() { return GetLastError(); }

LONG CSystemPort::GetCancel(LONG* cancel) {
  if (cancel) *cancel = cancel_.load();
  return 0;
}

LONG CSystemPort::SetCancel(LONG cancel) {
  cancel_.store(cancel);
  return 0;
}

void CSystemPort::SetError(LONG code, std::wstring text) {
  errorCode_ = code;
  if (text.size() > kMaxErrorText) text.resize(kMaxErrorText);
  errorText_ = std::move(text);
}

bool CSystemPort::LoadCommState() {
  if (fd_ < 0) return false;
  std::memset(commState_.get(), 0, sizeof(struct termios));
  commStateLoaded_ = tcgetattr(fd_, commState_.get()) == 0;
  if (!commStateLoaded_) SetLastErrorFromErrno(errno);
  return commStateLoaded_;
}

void CSystemPort::ApplyCommState() {
  // A state never read back from this device would hang the line up (speed 0).
  if (fd_ < 0 || !commStateLoaded_) return;
  if (tcsetattr(fd_, TCSANOW, commState_.get()) == 0) {
    tcgetattr(fd_, commState_.get());
  } else {
    SetLastErrorFromErrno(errno);
  }
}

}  // namespace Tesk::IO

#include "FilePort.h"

#include <sys/stat.h>
#include <unistd.h>

namespace Tesk::IO {

FilePort::FilePort(const FilePortSettings& settings) : settings_(settings) {
  SetSettingsPointer(&settings_);
  SetOverlapped(false);
}

FilePort::~FilePort() { CloseHandles(); }

void FilePort::CloseHandles() {
  if (readFd_ >= 0) ::close(readFd_);
  if (writeFd_ >= 0) ::close(writeFd_);
  readFd_ = writeFd_ = -1;
  SetFd(-1);
}

bool FilePort::Open() {
  if (IsOpen()) Close();
  SetLastError(0);
  SetDevicePath(settings_.OutputPath());
  if (DevicePath().empty()) return false;
  writeFd_ = OpenDevice(DevicePath());
  if (writeFd_ < 0) return false;
  struct stat info {};
  if (fstat(writeFd_, &info) == 0 && S_ISREG(info.st_mode) && ftruncate(writeFd_, 0) != 0) {
    // Leaving old bytes behind the new output would corrupt the capture.
    ::close(writeFd_);
    writeFd_ = -1;
    return false;
  }
  SetDevicePath(settings_.InputPath());
  readFd_ = settings_.InputPath().empty() ? -1 : OpenDevice(DevicePath());
  SetLastError(0);  // a missing input file is not reported
  SetFd(readFd_);
  SetReadable(true);
  SetByteWise(false);
  ConfigureOpenedPort();
  SetOpenFlag(true);
  return true;
}

void FilePort::Close() {
  SetLastError(0);
  CloseHandles();
  SetOpenFlag(false);
}

bool FilePort::Write(const BYTE* data, LONG offset, LONG length) {
  SetFd(writeFd_);
  return CSystemPort::Write(data, offset, length);
}

bool FilePort::Read(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL waitAll) {
  SetFd(readFd_);
  if (waitAll || length <= 0) return CSystemPort::Read(buffer, offset, length, bytesRead, TRUE);
  // All bytes are gathered, but a request without wait-all keeps its short limit: a
  // silent printer behind a FIFO ends the read after one short wait instead of holding
  // the port lock through every wait-all round.
  LONG unused = 0;
  LONG& count = bytesRead ? *bytesRead : unused;
  count = 0;
  while (count < length) {
    LONG got = 0;
    const bool ok = CSystemPort::Read(buffer, offset + count, length - count, &got, FALSE);
    count += got;
    if (!ok || got == 0) break;
  }
  return length > 0 && count == length;
}

bool FilePort::ReadOnce(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL ignored) {
  SetFd(readFd_);
  return CSystemPort::ReadOnce(buffer, offset, length, bytesRead, ignored);
}

}  // namespace Tesk::IO

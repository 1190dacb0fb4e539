#include "LPTPort.h"

#include "ParallelStatus.h"

namespace Tesk::IO {

LPTPort::LPTPort(const LPTPortSettings& settings) : settings_(settings) {
  SetSettingsPointer(&settings_);
  SetOverlapped(false);
  SetDevicePath(settings_.GetPortName());
}

void LPTPort::RefreshDevice() { SetDevicePath(settings_.GetPortName()); }

DWORD LPTPort::WriteTimeLimit(LONG length) {
  return kWriteConstantMs + static_cast<DWORD>(length < 0 ? 0 : length);
}

bool LPTPort::QueryStatus(bool* paperEmpty) { return QueryParallelStatus(Fd(), paperEmpty); }

void LPTPort::ConfigureOpenedPort() {
  SetByteWise(true);
  bool paperEmpty = false;
  if (!QueryStatus(&paperEmpty) || paperEmpty) return;
  if (Write(kProbe, 0, sizeof kProbe)) {
    BYTE answer = 0;
    LONG count = 0;
    SetReadable(Read(&answer, 0, 1, &count, TRUE));
  }
}

}  // namespace Tesk::IO

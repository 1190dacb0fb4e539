#include "USBPort.h"

namespace Tesk::IO {

USBPort::USBPort(const USBPortSettings& settings) : settings_(settings) {
  SetSettingsPointer(&settings_);
  SetOverlapped(true);
  SetDevicePath(L"");
  RefreshDevice();
}

void USBPort::RefreshDevice() {
  SetLastError(0);
  alternateDevice_ = 0;
}

}  // namespace Tesk::IO

#include "LPTPort.h"

namespace Tesk::IO {

LPTPort::LPTPort(const LPTPortSettings& settings) : settings_(settings) {
  SetSettingsPointer(&settings_);
  SetOverlapped(false);
  SetDevicePath(settings_.GetPortName());
}

void LPTPort::RefreshDevice() { SetDevicePath(settings_.GetPortName()); }

void LPTPort::ConfigureOpenedPort() { SetByteWise(true); }

}  // namespace Tesk::IO

#include "SerialPort.h"

namespace Tesk::IO {

SerialPort::SerialPort(const SerialPortSettings& settings) : settings_(settings) {
  SetSettingsPointer(&settings_);
  SetOverlapped(false);
  SetDevicePath(settings_.GetPortName());
}

void SerialPort::RefreshDevice() { SetDevicePath(settings_.GetPortName()); }

}  // namespace Tesk::IO

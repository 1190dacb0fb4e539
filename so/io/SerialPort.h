// A printer on a serial line ("COM").
#pragma once

#include "PortSettings.h"
#include "SystemPort.h"

namespace Tesk::IO {

// Opens the port name of its settings (\\.\COMn, mapped to a tty). The line settings
// applied at open are still to come: the device is used as the system left it.
class SerialPort : public CSystemPort {
 public:
  explicit SerialPort(const SerialPortSettings& settings);
  void RefreshDevice() override;
  const SerialPortSettings& Settings() const { return settings_; }

 private:
  SerialPortSettings settings_;
};

}  // namespace Tesk::IO

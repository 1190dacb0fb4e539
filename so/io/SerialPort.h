// A printer on a serial line ("COM").
#pragma once

#include "PortSettings.h"
#include "SystemPort.h"

namespace Tesk::IO {

// Opens the port name of its settings (\\.\COMn, mapped to a tty) and sets the line at
// every open: the settings' speed, 8 data bits, no parity, 1 stop bit, RTS/CTS
// handshake, raw binary. Reads return what arrived within 100 ms; a write may take
// 1000 ms plus a per-byte time that depends on the speed.
class SerialPort : public CSystemPort {
 public:
  static constexpr DWORD kReadTotalMs = 100;

  explicit SerialPort(const SerialPortSettings& settings);
  void RefreshDevice() override;
  void ConfigureOpenedPort() override;
  const SerialPortSettings& Settings() const { return settings_; }

  // Milliseconds per written byte for a line speed: 1 from 19200 up, 2 from 4801,
  // 3 from 2401, 5 below; a speed of 0 keeps the current multiplier.
  static DWORD WriteMultiplierFor(DWORD baudRate, DWORD current);
  DWORD WriteMultiplier() const { return writeMultiplier_; }
  DWORD WriteTimeLimit(LONG length) override;

 protected:
  DWORD ReadWaitLimit(bool) override { return kReadTotalMs; }
  bool ReadsUntilLimit() const override { return true; }

 private:
  SerialPortSettings settings_;
  DWORD writeMultiplier_ = 0;
};

}  // namespace Tesk::IO

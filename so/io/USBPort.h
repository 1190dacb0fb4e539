// A printer on USB, found by hardware id rather than by name.
#pragma once

#include "PortSettings.h"
#include "SystemPort.h"

namespace Tesk::IO {

// Looks for its device when constructed and on RefreshDevice: the first usblp printer
// whose hardware id contains the settings' match text, else the alternate text (then
// IsAlternateDevice is 1), else the maker's vendor text. Without one the device path
// stays empty and Open fails. Reads and writes use the overlapped limits.
// Keeps a copy of its settings (a pointer to the caller's object could dangle once the
// engine drops it).
class USBPort : public CSystemPort {
 public:
  // Result of an enumeration that found nothing.
  static constexpr int kNoDevice = 999;

  explicit USBPort(const USBPortSettings& settings);
  LONG IsAlternateDevice() override { return alternateDevice_; }
  void RefreshDevice() override;
  const USBPortSettings& Settings() const { return settings_; }

 private:
  // 0 when a device was found, else kNoDevice.
  int Enumerate();

  USBPortSettings settings_;
  LONG alternateDevice_ = 0;
};

}  // namespace Tesk::IO

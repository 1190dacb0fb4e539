// A printer on USB, found by hardware id rather than by name.
#pragma once

#include "PortSettings.h"
#include "SystemPort.h"

namespace Tesk::IO {

// Keeps a copy of its settings (a pointer to the caller's object could dangle once the
// engine drops it). Device discovery is still to come: until then the device path stays
// empty and Open fails, as it does when no matching printer is present.
class USBPort : public CSystemPort {
 public:
  explicit USBPort(const USBPortSettings& settings);
  LONG IsAlternateDevice() override { return alternateDevice_; }
  void RefreshDevice() override;
  const USBPortSettings& Settings() const { return settings_; }

 private:
  USBPortSettings settings_;
  LONG alternateDevice_ = 0;
};

}  // namespace Tesk::IO

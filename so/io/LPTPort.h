// A printer on a parallel port ("LPT").
#pragma once

#include "PortSettings.h"
#include "SystemPort.h"

namespace Tesk::IO {

// Opens the port name of its settings (LPTn, mapped to /dev/lp*). Reads fetch one byte
// per system call. The back-channel probe at open is still to come.
class LPTPort : public CSystemPort {
 public:
  explicit LPTPort(const LPTPortSettings& settings);
  void RefreshDevice() override;
  void ConfigureOpenedPort() override;

 private:
  LPTPortSettings settings_;
};

}  // namespace Tesk::IO

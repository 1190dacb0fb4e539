// A printer on a parallel port ("LPT").
#pragma once

#include "PortSettings.h"
#include "SystemPort.h"

namespace Tesk::IO {

// Opens the port name of its settings (LPTn, mapped to /dev/lp*). Reads fetch one byte
// per system call. At every open it asks the printer for its paper sensor status: a
// printer that does not answer leaves the port write-only, so later reads fail at once.
// The probe is skipped (the port stays readable) when the port's status lines cannot
// be read or report paper out.
class LPTPort : public CSystemPort {
 public:
  static constexpr DWORD kReadTotalMs = 1000 + 5;     // constant + 5 ms for the one byte
  static constexpr DWORD kWriteConstantMs = 2000;     // plus 1 ms per byte
  static constexpr BYTE kProbe[] = {0x1D, 0x72, 0x01};  // GS r 1: transmit paper sensor status

  explicit LPTPort(const LPTPortSettings& settings);
  void RefreshDevice() override;
  void ConfigureOpenedPort() override;
  DWORD WriteTimeLimit(LONG length) override;

 protected:
  DWORD ReadWaitLimit(bool) override { return kReadTotalMs; }
  // The port's status lines; false when the device has none to report.
  virtual bool QueryStatus(bool* paperEmpty);

 private:
  LPTPortSettings settings_;
};

}  // namespace Tesk::IO

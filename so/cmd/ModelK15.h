// The second printer model: its own packet-framed dialect and a fixed parameter set.
#pragma once

#include <string>

#include "CmdHelperK15.h"
#include "PrinterBase.h"

namespace Tesk::Printer {

class CModelK15 : public CPrinterBase {
 public:
  CModelK15();
  explicit CModelK15(const std::wstring& modelName);
  // Copies point the engine at their own builder, never at the source's.
  CModelK15(const CModelK15& other);
  CModelK15& operator=(const CModelK15& other);
  ~CModelK15() override;

  void Initialize(const std::wstring& modelName);
  void SetDeviceParameter(const std::wstring& modelName);
  void InitProperty();

 protected:
  void SetProperty_Open() override;
  void InitCmdHelper() override;
  // The printer always answers, so the claim never probes it.
  int IsSupportBidi() override;

 private:
  CmdHelper_K15 cmdHelperMember_;
};

}  // namespace Tesk::Printer

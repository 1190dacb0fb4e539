// The TM-T88IV-compatible printers and the ESC/POS printers of other makes, grouped by
// model name into 80 mm, 58 mm and TM-T88IV parameter sets.
#pragma once

#include <string>

#include "CmdHelperBase.h"
#include "PrinterBase.h"

namespace Tesk::Printer {

class CTM_T88IV : public CPrinterBase {
 public:
  CTM_T88IV();
  explicit CTM_T88IV(const std::wstring& modelName);
  // Copies point the engine at their own builder, never at the source's.
  CTM_T88IV(const CTM_T88IV& other);
  CTM_T88IV& operator=(const CTM_T88IV& other);
  ~CTM_T88IV() override;

  void Initialize(const std::wstring& modelName);
  void SetDeviceParameter(const std::wstring& modelName);
  void InitProperty();

 protected:
  void SetProperty_Open() override;
  void InitCmdHelper() override;
  int IsSupportBidi() override;

 private:
  CCmdHelperBase cmdHelperMember_;
};

}  // namespace Tesk::Printer

// The CashDrawer control object: the UnifiedPOS CashDrawer methods and properties over
// the service object a drawer entry names.
#pragma once

#include "ControlObject.h"

namespace zanth::co {

class CashDrawer : public ControlObject {
 public:
  CashDrawer();
  ~CashDrawer() override = default;

  LONG OpenDrawer();
  LONG WaitForDrawerClose(LONG beepTimeout, LONG beepFrequency, LONG beepDuration,
                          LONG beepDelay);

#define ZANTH_NUMBER_PROPERTY_RO(name, pidx) LONG name();
#define ZANTH_NUMBER_PROPERTY_RW(name, pidx) LONG name(); void Set##name(LONG value);
#define ZANTH_STRING_PROPERTY_RO(name, pidx) std::wstring name();
#define ZANTH_STRING_PROPERTY_RW(name, pidx) \
  std::wstring name();                       \
  void Set##name(const std::wstring& value);
#include "CashDrawerProperties.inc"
#undef ZANTH_NUMBER_PROPERTY_RO
#undef ZANTH_NUMBER_PROPERTY_RW
#undef ZANTH_STRING_PROPERTY_RO
#undef ZANTH_STRING_PROPERTY_RW
};

}  // namespace zanth::co

// The decoded printer status shared by the status decoders and the engine.
#pragma once

#include "platform/wintypes.h"

namespace Tesk::Printer {

// Six 32-bit members in this order. Decoders store the masked reply bits (non-zero:
// the condition holds), except where a decoder says it stores 1 or 0.
struct tagPrinterStatus {
  LONG drawer = 0;      // drawer-sensor bit as the printer reports it
  LONG drawerOpen = 0;  // after the open-level polarity; not written by decoders
  LONG offline = 0;
  LONG coverOpen = 0;
  LONG nearEnd = 0;   // receipt paper near its end
  LONG paperEnd = 0;  // receipt paper out
};

}  // namespace Tesk::Printer

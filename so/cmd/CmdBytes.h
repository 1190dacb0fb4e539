// Small helpers for appending command bytes; private to the command builders.
#pragma once

#include <initializer_list>

#include "PrinterBuffer.h"

namespace Tesk::Printer::cmdbytes {

// Appends the low byte of each value; returns 1 so command operations can return it.
inline int Emit(PrinterBuffer& out, std::initializer_list<int> bytes) {
  for (int b : bytes) out.Append(static_cast<std::uint8_t>(b & 0xFF));
  return 1;
}

inline int Lo(int v) { return v & 0xFF; }
inline int Hi(int v) { return (v >> 8) & 0xFF; }
inline int Bool(int flag) { return flag ? 1 : 0; }

}  // namespace Tesk::Printer::cmdbytes

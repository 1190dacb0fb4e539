// Compares a buffer with golden bytes; on mismatch names the first differing offset and
// dumps both buffers in hex.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "PrinterBuffer.h"

namespace zanth_test {

using Bytes = std::vector<std::uint8_t>;

inline std::string HexDump(const std::uint8_t* data, size_t size) {
  std::string text;
  char cell[32];
  for (size_t i = 0; i < size; ++i) {
    if (i % 16 == 0) {
      std::snprintf(cell, sizeof cell, "\n%04zx:", i);
      text += cell;
    }
    std::snprintf(cell, sizeof cell, " %02X", data[i]);
    text += cell;
  }
  return size ? text : std::string("\n(empty)");
}

inline ::testing::AssertionResult BytesEqual(const PrinterBuffer& actual, const Bytes& expected) {
  const size_t size = static_cast<size_t>(actual.Size());
  size_t first = 0;
  while (first < size && first < expected.size() && actual.At(first) == expected[first]) ++first;
  if (first == size && first == expected.size()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "first difference at offset " << first << " (sizes: actual " << size << ", expected "
         << expected.size() << ")\nactual:" << HexDump(actual.Data(), size)
         << "\nexpected:" << HexDump(expected.data(), expected.size());
}

}  // namespace zanth_test

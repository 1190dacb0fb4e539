// Barcodes read back from a PNG of the virtual printer's paper by zbarimg.
#pragma once

#include <array>
#include <cstdio>
#include <memory>
#include <string>

namespace zanth::test {

// What zbarimg reads in a PNG, one "TYPE:data" line per symbol.
inline std::string ReadSymbols(const std::string& png) {
  const std::string command = "zbarimg --quiet '" + png + "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), &::pclose);
  std::string out;
  if (!pipe) return out;
  std::array<char, 512> chunk{};
  while (std::fgets(chunk.data(), chunk.size(), pipe.get())) out += chunk.data();
  return out;
}

}  // namespace zanth::test

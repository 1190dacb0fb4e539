#include "PrintData.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

#include "platform/wtext.h"

namespace zanth::cli {

std::wstring DecodePrintData(std::string_view bytes) {
  std::string raw;
  raw.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\\' && i + 3 < bytes.size() && (bytes[i + 1] == 'x' || bytes[i + 1] == 'X') &&
        bytes[i + 2] == '1' && (bytes[i + 3] == 'b' || bytes[i + 3] == 'B')) {
      raw += '\x1b';
      i += 3;
    } else {
      raw += bytes[i];
    }
  }
  return platform::FromUtf8(raw);
}

bool ReadPrintFile(const std::string& path, std::string& bytes, std::string& error) {
  if (path == "-") {
    bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return true;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (file.bad()) {
    error = "cannot read " + path + ": read error";
    return false;
  }
  return true;
}

}  // namespace zanth::cli

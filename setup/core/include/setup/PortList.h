// The printer editor's COM and LPT port lists, read from the spooler's port enumeration.
#pragma once

#include <string>
#include <vector>

namespace zanth::setup {

struct PortList {
  std::vector<std::wstring> ports;  // "COM1", without the colon the enumeration adds
  std::wstring message;             // why the list is empty: no ports, or the system's text
};

// The ports whose names contain kind ("COM" or "LPT", letter case ignored), in the
// enumeration's order.
PortList ListPorts(const std::wstring& kind);

}  // namespace zanth::setup

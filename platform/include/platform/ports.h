// EnumPortsW stand-in: the serial and parallel port names a port setting may use.
//
// Lists "COMn:" and "LPTn:" for the links dosdevices/comn and dosdevices/lptn beside the
// registry file whose target exists, and for the /dev/ttyS<n-1> and /dev/lp<n-1> devices
// present that no link overrides, so every name listed maps back (MapDeviceName) to the
// device it was listed for. USB serial adapters (/dev/ttyUSB*, /dev/ttyACM*) are reached
// through links. Thread-safe; touches only the file system.
#pragma once

#include <string>
#include <vector>

#include "platform/wintypes.h"

struct PORT_INFO_1W {
  LPWSTR pName;
};

struct PORT_INFO_2W {
  LPWSTR pPortName;
  LPWSTR pMonitorName;
  LPWSTR pDescription;
  DWORD fPortType;
  DWORD Reserved;
};

constexpr DWORD PORT_TYPE_WRITE = 0x0001;
constexpr DWORD PORT_TYPE_READ = 0x0002;
constexpr LONG ERROR_INVALID_LEVEL = 124;

// As on Windows: pName must be null (the local machine); Level 1 or 2. The structures come
// first in pPorts, the strings they point at after them. With too small a buffer (or none)
// and ports present, fails with ERROR_INSUFFICIENT_BUFFER and *pcbNeeded set; with no ports
// it succeeds with *pcReturned 0.
BOOL EnumPortsW(LPWSTR pName, DWORD Level, BYTE* pPorts, DWORD cbBuf, DWORD* pcbNeeded,
                DWORD* pcReturned);

namespace platform {

// The port names EnumPortsW lists ("COM1:", "LPT1:"), COM ports first, each by number.
std::vector<std::wstring> ListPortNames();

}  // namespace platform

// Device names: the generated names of new entries and the checks every new name passes.
#pragma once

#include <string>

#include "setup/SetupRegistry.h"

namespace zanth::setup {

// The next free name base + "_NN" among the class's entries: one more than the largest
// numeric suffix of the entries that contain base + "_" ("_01" when there are none), at
// least two digits.
std::wstring NextDeviceName(DeviceKind kind, const std::wstring& base);

// Checks a device name for a new entry: not blank, no "\" (it would nest keys), and no
// existing entry of the class by that name (letter case ignored). None when usable.
SetupError CheckNewDeviceName(DeviceKind kind, const std::wstring& name);

// A dotted IPv4 address: four decimal parts 0..255 (blanks around it are ignored).
bool IsValidIpAddress(const std::wstring& address);

}  // namespace zanth::setup

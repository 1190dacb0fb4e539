// Finding devices by the names a user types: logical names, device names, the drawers
// that hang on a printer.
#pragma once

#include <string>
#include <vector>

namespace zanth::cli {

enum class DeviceKind { None, Printer, Drawer };

// The device name a logical name stands for; a name that is no logical name is taken as
// the device name itself (as the control objects do).
std::wstring PhysicalDeviceName(DeviceKind kind, const std::string& name);
// Printer when the name is a printer's logical or device name, else Drawer when it is a
// drawer's, else None.
DeviceKind KindOfName(const std::string& name);
// The drawer entries whose "PrinterName" is this printer device.
std::vector<std::wstring> DrawersOfPrinter(const std::wstring& printerDevice);

}  // namespace zanth::cli

#include "DeviceLookup.h"

#include "platform/wtext.h"
#include "setup/SetupRegistry.h"

namespace zanth::cli {

namespace {

setup::DeviceKind SetupKind(DeviceKind kind) {
  return kind == DeviceKind::Drawer ? setup::DeviceKind::CashDrawer : setup::DeviceKind::Printer;
}

}  // namespace

std::wstring PhysicalDeviceName(DeviceKind kind, const std::string& name) {
  const std::wstring wide = platform::FromUtf8(name);
  for (const setup::StringValue& value : setup::ListStringValues(setup::ClassKeyPath(SetupKind(kind))))
    if (!value.name.empty() && platform::EqualsNoCase(value.name, wide)) return value.data;
  return wide;
}

DeviceKind KindOfName(const std::string& name) {
  for (const DeviceKind kind : {DeviceKind::Printer, DeviceKind::Drawer}) {
    const std::wstring device = PhysicalDeviceName(kind, name);
    if (!device.empty() && setup::KeyExists(setup::DeviceKeyPath(SetupKind(kind), device))) return kind;
  }
  return DeviceKind::None;
}

std::vector<std::wstring> DrawersOfPrinter(const std::wstring& printerDevice) {
  std::vector<std::wstring> drawers;
  const setup::DeviceKind drawer = setup::DeviceKind::CashDrawer;
  for (const std::wstring& name : setup::ListSubkeys(setup::ClassKeyPath(drawer)))
    if (platform::EqualsNoCase(setup::ReadString(setup::DeviceKeyPath(drawer, name), L"PrinterName"),
                               printerDevice))
      drawers.push_back(name);
  return drawers;
}

}  // namespace zanth::cli

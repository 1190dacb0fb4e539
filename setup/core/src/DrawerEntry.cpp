// The cash-drawer editor's rules: printer choices, defaults, loading, checks and values.
#include "EditorRules.h"
#include "setup/Brand.h"
#include "setup/DeviceNames.h"
#include "setup/Editors.h"

namespace zanth::setup {

namespace {

// A pulse time is one byte of the drawer kick command.
bool IsPulseTime(const std::wstring& text) {
  return detail::IsDecimal(text, 3) && std::stoi(text) <= 255;
}

// A time-out in ms that fits a 32-bit signed number.
bool IsWaitTimeout(const std::wstring& text) {
  return detail::IsDecimal(text, 10) && std::stoll(text) <= 2147483647LL;
}

}  // namespace

std::vector<std::wstring> DrawerPrinterChoices(const std::wstring& brand,
                                               const std::wstring& ownProgId) {
  std::vector<std::wstring> printers;
  for (const std::wstring& device : ListSubkeys(ClassKeyPath(DeviceKind::Printer))) {
    if (brand == L"DEBUG" ||
        ReadString(DeviceKeyPath(DeviceKind::Printer, device), L"") == ownProgId)
      printers.push_back(device);
  }
  return printers;
}

DrawerEntry NewDrawerEntry(const std::wstring& printerName) {
  DrawerEntry entry;
  entry.printerName = printerName;
  if (!printerName.empty()) entry.drawerName = NextDeviceName(DeviceKind::CashDrawer, printerName);
  entry.logicalName = entry.drawerName;
  return entry;
}

DrawerEntry LoadDrawerEntry(const std::wstring& deviceName) {
  const std::wstring key = DeviceKeyPath(DeviceKind::CashDrawer, deviceName);
  DrawerEntry entry;
  entry.drawerName = ReadString(key, L"CashDrawerName");
  entry.printerName = ReadString(key, L"PrinterName");
  entry.queryStatus = ReadString(key, L"CapDrawStatus") == L"1";
  entry.openVoltageHigh = ReadString(key, L"OpenVoltage") == L"1";
  const std::wstring pin = ReadString(key, L"DrawerPin");
  entry.drawer1 = pin == L"1" || pin == L"3";
  entry.drawer2 = pin == L"2" || pin == L"3";
  entry.pulseHigh = ReadString(key, L"SignalOnTime");
  entry.pulseLow = ReadString(key, L"SignalOffTime");
  entry.waitTimeout = ReadString(key, L"WaitForDrawerCloseTimeOut");
  entry.logicalName = FirstLogicalNameOf(deviceName, DeviceKind::CashDrawer);
  return entry;
}

std::wstring DrawerPinOf(const DrawerEntry& entry) {
  if (entry.drawer1 && entry.drawer2) return L"3";
  return entry.drawer1 ? L"1" : L"2";
}

ValueList DrawerValues(const DrawerEntry& entry, const std::wstring& brand) {
  ValueList values;
  const std::wstring model =
      ReadString(DeviceKeyPath(DeviceKind::Printer, entry.printerName), L"DriverModel");
  if (std::wstring progId = DrawerProgIdOf(model, brand); !progId.empty())
    values.emplace_back(L"", progId);
  values.emplace_back(L"PrinterName", entry.printerName);
  values.emplace_back(L"CapDrawStatus", entry.queryStatus ? L"1" : L"0");
  values.emplace_back(L"CashDrawerName", entry.drawerName);
  values.emplace_back(L"DrawerPin", DrawerPinOf(entry));
  values.emplace_back(L"OpenVoltage", entry.openVoltageHigh ? L"1" : L"0");
  values.emplace_back(L"SignalOnTime", entry.pulseHigh);
  values.emplace_back(L"SignalOffTime", entry.pulseLow);
  values.emplace_back(L"WaitForDrawerCloseTimeOut", entry.waitTimeout);
  return values;
}

Outcome CheckDrawer(const DrawerEntry& entry, EditMode mode, const std::wstring& keyName) {
  using detail::Refuse;
  if (Trimmed(entry.printerName).empty() || entry.printerName.find(L'\\') != std::wstring::npos ||
      !KeyExists(DeviceKeyPath(DeviceKind::Printer, entry.printerName)))
    return Refuse(SetupError::NoPrinterChosen);
  const std::wstring key = mode == EditMode::Add ? entry.drawerName : keyName;
  if (SetupError error = detail::CheckEntryKey(DeviceKind::CashDrawer, mode, key); error != SetupError::None)
    return Refuse(error);
  if (SetupError error = detail::CheckEntryLogicalName(DeviceKind::CashDrawer, entry.logicalName, mode, key);
      error != SetupError::None)
    return Refuse(error);
  if (!entry.drawer1 && !entry.drawer2) return Refuse(SetupError::NoDrawerChecked);
  if (!IsPulseTime(entry.pulseHigh) || !IsPulseTime(entry.pulseLow))
    return Refuse(SetupError::PulseOutOfRange);
  if (!IsWaitTimeout(entry.waitTimeout)) return Refuse(SetupError::BadWaitTimeout);
  return {};
}

Outcome SaveDrawer(const DrawerEntry& entry, EditMode mode, const std::wstring& keyName,
                   const std::wstring& brand) {
  if (Outcome outcome = CheckDrawer(entry, mode, keyName); !outcome.ok()) return outcome;
  const std::wstring key = mode == EditMode::Add ? entry.drawerName : keyName;
  const ValueList values = DrawerValues(entry, brand);
  // The logical name comes last, in the class key.
  return detail::WriteEntry(DeviceKind::CashDrawer, mode, key, values, values.size(),
                            entry.logicalName);
}

}  // namespace zanth::setup

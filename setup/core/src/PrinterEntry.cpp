// The printer editor's rules: defaults, loading, checks and the values a save writes.
#include <algorithm>

#include "EditorRules.h"
#include "setup/Brand.h"
#include "setup/DeviceNames.h"
#include "setup/Editors.h"

namespace zanth::setup {

namespace {

// The fields of a settings string: the runs between commas, empty runs dropped.
std::vector<std::wstring> SettingsFields(const std::wstring& settings) {
  std::vector<std::wstring> fields;
  size_t start = 0;
  while (start <= settings.size()) {
    size_t comma = settings.find(L',', start);
    if (comma == std::wstring::npos) comma = settings.size();
    if (comma > start) fields.push_back(settings.substr(start, comma - start));
    start = comma + 1;
  }
  return fields;
}

bool IsPortType(const std::wstring& type) {
  const auto& types = PrinterPortTypes();
  return std::find(types.begin(), types.end(), type) != types.end();
}

}  // namespace

PrinterEntry NewPrinterEntry(const std::wstring& model) {
  PrinterEntry entry;
  entry.model = model;
  entry.printerName = NextDeviceName(DeviceKind::Printer, model);
  entry.logicalName = entry.printerName;
  return entry;
}

PrinterEntry LoadPrinterEntry(const std::wstring& deviceName) {
  const std::wstring key = DeviceKeyPath(DeviceKind::Printer, deviceName);
  PrinterEntry entry;
  entry.printerName = ReadString(key, L"DriverName");
  entry.model = ReadString(key, L"DriverModel");
  entry.portType = ReadString(key, L"PortType");
  entry.notes = ReadString(key, L"Notes");
  const std::vector<std::wstring> fields = SettingsFields(ReadString(key, L"PortSettings"));
  if (!fields.empty()) {
    if (entry.portType == L"COM") {
      entry.comPort = fields[0];
      // The second field reads "BaudRate_" and the rate.
      if (fields.size() > 1 && fields[1].size() > 9) entry.baudRate = fields[1].substr(9);
    } else if (entry.portType == L"LPT") {
      entry.lptPort = fields[0];
    } else if (entry.portType == L"TCP/IP") {
      entry.ipAddress = fields[0];
    }
  }
  entry.logicalName = FirstLogicalNameOf(deviceName, DeviceKind::Printer);
  return entry;
}

std::wstring PrinterPortSettings(const PrinterEntry& entry) {
  auto withoutColon = [](std::wstring port) {
    if (!port.empty() && port.back() == L':') port.pop_back();
    return port;
  };
  if (entry.portType == L"USB") return entry.model;
  if (entry.portType == L"COM")
    return withoutColon(entry.comPort) + L",BaudRate_" + entry.baudRate;
  if (entry.portType == L"LPT") return withoutColon(entry.lptPort);
  if (entry.portType == L"TCP/IP") return Trimmed(entry.ipAddress) + L"," + kTcpPrinterPort;
  return {};
}

ValueList PrinterValues(const PrinterEntry& entry, const std::wstring& brand) {
  ValueList values;
  const ModelGroup group = PrinterGroupOf(entry.model, brand);
  if (!group.progId.empty()) values.emplace_back(L"", group.progId);
  if (group.found) values.emplace_back(L"DeviceDescription", group.description);
  values.emplace_back(L"DriverModel", entry.model);
  values.emplace_back(L"DriverName", entry.printerName);
  values.emplace_back(L"BitMapMode", L"RasterBitImage");
  values.emplace_back(L"PortType", entry.portType);
  values.emplace_back(L"ReadTimeout", L"2000");
  values.emplace_back(L"WriteTimeout", L"2000");
  values.emplace_back(L"InputBufSize", L"2048");
  values.emplace_back(L"OutputBufSize", L"2048");
  values.emplace_back(L"Notes", entry.notes);
  values.emplace_back(L"PortSettings", PrinterPortSettings(entry));
  return values;
}

Outcome CheckPrinter(const PrinterEntry& entry, EditMode mode, const std::wstring& keyName) {
  using detail::Refuse;
  const std::wstring key = mode == EditMode::Add ? entry.printerName : keyName;
  if (SetupError error = detail::CheckEntryKey(DeviceKind::Printer, mode, key); error != SetupError::None)
    return Refuse(error);
  if (SetupError error = detail::CheckEntryLogicalName(DeviceKind::Printer, entry.logicalName, mode, key);
      error != SetupError::None)
    return Refuse(error);
  if (!IsPortType(entry.portType)) return Refuse(SetupError::UnknownPortType);
  if (entry.portType == L"TCP/IP" && !IsValidIpAddress(entry.ipAddress))
    return Refuse(SetupError::BadIpAddress);
  if ((entry.portType == L"COM" && Trimmed(entry.comPort).empty()) ||
      (entry.portType == L"LPT" && Trimmed(entry.lptPort).empty()))
    return Refuse(SetupError::NoPortChosen);
  return {};
}

Outcome SavePrinter(const PrinterEntry& entry, EditMode mode, const std::wstring& keyName,
                    const std::wstring& brand) {
  if (Outcome outcome = CheckPrinter(entry, mode, keyName); !outcome.ok()) return outcome;
  const std::wstring key = mode == EditMode::Add ? entry.printerName : keyName;
  const ValueList values = PrinterValues(entry, brand);
  // The logical name is written after "Notes", just before "PortSettings".
  return detail::WriteEntry(DeviceKind::Printer, mode, key, values, values.size() - 1,
                            entry.logicalName);
}

}  // namespace zanth::setup

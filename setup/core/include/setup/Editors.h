// The rules of the three editors without their windows: what each shows when it opens in
// Add or Modify mode, what it refuses, and the exact values each save writes.
//
// Saves validate first and write nothing when they refuse. A failed registry write stops
// the save with RegistryFailure; a failed Add removes what it had written, so no half
// entry stays behind.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "setup/SetupRegistry.h"

namespace zanth::setup {

enum class EditMode { Add, Modify };

// The port types a printer entry offers, in list order.
inline const std::vector<std::wstring>& PrinterPortTypes() {
  static const std::vector<std::wstring> types = {L"USB", L"COM", L"LPT", L"TCP/IP"};
  return types;
}
// The baud rates of a COM port, in list order; the default is the last.
inline const std::vector<std::wstring>& BaudRates() {
  static const std::vector<std::wstring> rates = {L"4800",  L"9600",  L"19200",
                                                  L"38400", L"57600", L"115200"};
  return rates;
}
inline constexpr wchar_t kDefaultBaudRate[] = L"115200";
inline constexpr wchar_t kTcpPrinterPort[] = L"9100";

// One written value: name (empty: the key's default value) and text.
using ValueList = std::vector<std::pair<std::wstring, std::wstring>>;

struct PrinterEntry {
  std::wstring model;        // "DriverModel"
  std::wstring printerName;  // "DriverName"; the entry's key name in Add mode
  std::wstring logicalName;
  std::wstring portType = L"USB";
  std::wstring comPort;      // "COM1" (no colon)
  std::wstring baudRate = kDefaultBaudRate;
  std::wstring lptPort;      // "LPT1"
  std::wstring ipAddress;
  std::wstring notes;
};

// A new printer of the model: generated name, logical name alike, USB port.
PrinterEntry NewPrinterEntry(const std::wstring& model);
// The entry of an existing printer as the editor shows it in Modify mode.
PrinterEntry LoadPrinterEntry(const std::wstring& deviceName);
// "PortSettings" for the entry's port: USB the model, COM "COM1,BaudRate_115200", LPT the
// port, TCP/IP address + ",9100". Empty for an unknown port type.
std::wstring PrinterPortSettings(const PrinterEntry& entry);
// The values written into the device key, in writing order (the logical name goes to the
// class key between "Notes" and "PortSettings").
ValueList PrinterValues(const PrinterEntry& entry, const std::wstring& brand);
// Checks without writing. keyName: the entry's key in Modify mode (ignored in Add mode).
Outcome CheckPrinter(const PrinterEntry& entry, EditMode mode, const std::wstring& keyName);
// Writes the entry: in Add mode under its printer name, in Modify mode under keyName (the
// key keeps its name even when the printer name changed; the logical name keeps standing
// for that key).
Outcome SavePrinter(const PrinterEntry& entry, EditMode mode, const std::wstring& keyName,
                    const std::wstring& brand);

struct DrawerEntry {
  std::wstring printerName;  // the printer device the drawer hangs on
  std::wstring drawerName;   // the entry's key name in Add mode ("CashDrawerName")
  std::wstring logicalName;
  bool drawer1 = true;
  bool drawer2 = false;
  std::wstring pulseHigh = L"10";  // "SignalOnTime", ms
  std::wstring pulseLow = L"10";   // "SignalOffTime", ms
  bool queryStatus = true;         // status item 0: "CapDrawStatus" "1"
  bool openVoltageHigh = false;    // "OpenVoltage" "1" for High
  std::wstring waitTimeout = L"5000";
};

// The printers a drawer may hang on: printer entries whose default value equals the own
// ProgID (every printer for the "DEBUG" brand), in registry order.
std::vector<std::wstring> DrawerPrinterChoices(const std::wstring& brand,
                                               const std::wstring& ownProgId);
// A new drawer on the printer: generated name, logical name alike, the Add defaults.
DrawerEntry NewDrawerEntry(const std::wstring& printerName);
DrawerEntry LoadDrawerEntry(const std::wstring& deviceName);
// "3" both drawers, "1" drawer 1 only, "2" drawer 2 only.
std::wstring DrawerPinOf(const DrawerEntry& entry);
ValueList DrawerValues(const DrawerEntry& entry, const std::wstring& brand);
Outcome CheckDrawer(const DrawerEntry& entry, EditMode mode, const std::wstring& keyName);
Outcome SaveDrawer(const DrawerEntry& entry, EditMode mode, const std::wstring& keyName,
                   const std::wstring& brand);

// The logical-name editor: in Add mode gives the device a further logical name; in Modify
// mode renames oldName. The name is stored trimmed.
Outcome CheckLogicalName(DeviceKind kind, const std::wstring& name, EditMode mode,
                         const std::wstring& oldName);
Outcome SaveLogicalName(DeviceKind kind, const std::wstring& deviceName,
                        const std::wstring& name, EditMode mode, const std::wstring& oldName);

}  // namespace zanth::setup

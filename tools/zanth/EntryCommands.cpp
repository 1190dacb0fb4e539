// devices, add-printer, add-drawer and remove: the setup tool's own registry rules (its
// library), so an entry made here is the entry its editors make.
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "DeviceLookup.h"
#include "Json.h"
#include "OposConstants.h"
#include "ResultText.h"
#include "platform/wtext.h"
#include "setup/Brand.h"
#include "setup/DeviceTree.h"
#include "setup/Editors.h"
#include "setup/SetupRegistry.h"

namespace zanth::cli {

namespace {

using platform::FromUtf8;
using platform::ToUtf8;

std::string JsonText(const std::wstring& text) { return JsonString(ToUtf8(text)); }

std::string JsonList(const std::vector<std::wstring>& items) {
  std::string out = "[";
  for (const std::wstring& item : items) out += (out.size() > 1 ? ", " : "") + JsonText(item);
  return out + "]";
}

std::string Joined(const std::vector<std::wstring>& items) {
  std::string out;
  for (const std::wstring& item : items) out += (out.empty() ? "" : ", ") + ToUtf8(item);
  return out.empty() ? "(none)" : out;
}

// The OPOS code that fits a refusal, and what to tell the user.
int Refused(const std::string& what, const setup::Outcome& outcome) {
  using setup::SetupError;
  std::int32_t code = OPOS_E_ILLEGAL;
  std::string sentence;
  switch (outcome.error) {
    case SetupError::None: return 0;
    case SetupError::RegistryFailure:
      code = OPOS_E_FAILURE;
      sentence = "the registry could not be written (error " + std::to_string(outcome.code) + ": " +
                 ToUtf8(outcome.reason) + ")";
      break;
    case SetupError::EmptyDeviceName: sentence = "the device name is empty"; break;
    case SetupError::DeviceNameHasBackslash: sentence = "a device name cannot contain \"\\\""; break;
    case SetupError::DeviceExists:
      code = OPOS_E_EXISTS;
      sentence = "an entry of that name exists already";
      break;
    case SetupError::NoSuchDevice:
      code = OPOS_E_NOEXIST;
      sentence = "there is no such entry";
      break;
    case SetupError::EmptyLogicalName: sentence = "the logical name is empty"; break;
    case SetupError::LogicalNameTaken:
      code = OPOS_E_EXISTS;
      sentence = "the logical name is taken";
      break;
    case SetupError::BadIpAddress: sentence = "the address is not a dotted IPv4 address such as 10.0.0.1"; break;
    case SetupError::NoDrawerChecked: sentence = "choose drawer 1, 2 or both"; break;
    case SetupError::PulseOutOfRange: sentence = "pulse times must be 0 to 255 ms"; break;
    case SetupError::BadWaitTimeout: sentence = "the close-wait time-out must be a number"; break;
    case SetupError::NoPrinterChosen:
      code = OPOS_E_NOEXIST;
      sentence = "the printer is not in the registry";
      break;
    case SetupError::LastLogicalName: sentence = "a device keeps at least one logical name"; break;
    case SetupError::UnknownPortType: sentence = "unknown port type"; break;
    case SetupError::NoPortChosen: sentence = "name the serial or parallel port"; break;
    default: sentence = "the entry was refused"; break;
  }
  return Fail(what + ": " + ResultName(code) + " (" + std::to_string(code) + "): " + sentence +
              "; nothing was written");
}

int Refused(const std::string& what, std::int32_t code, const std::string& sentence) {
  return Fail(what + ": " + ResultName(code) + " (" + std::to_string(code) + "): " + sentence +
              "; nothing was written");
}

bool IsDecimal(const std::string& text) {
  return !text.empty() && text.size() <= 5 && text.find_first_not_of("0123456789") == std::string::npos;
}

bool Contains(const std::vector<std::wstring>& list, const std::wstring& item) {
  for (const std::wstring& entry : list)
    if (entry == item) return true;
  return false;
}

}  // namespace

int ListDevices(bool json) {
  if (!RegistryUsable()) return 1;
  using setup::DeviceKind;
  const std::vector<std::wstring> printers = setup::ListSubkeys(setup::ClassKeyPath(DeviceKind::Printer));
  const std::vector<std::wstring> drawers = setup::ListSubkeys(setup::ClassKeyPath(DeviceKind::CashDrawer));
  std::string printerLines, drawerLines;
  for (const std::wstring& name : printers) {
    const std::wstring key = setup::DeviceKeyPath(DeviceKind::Printer, name);
    const std::wstring model = setup::ReadString(key, L"DriverModel");
    const std::wstring portType = setup::ReadString(key, L"PortType");
    const std::wstring settings = setup::ReadString(key, L"PortSettings");
    const std::vector<std::wstring> logical = setup::LogicalNamesOf(name, DeviceKind::Printer);
    if (json) {
      printerLines += std::string(printerLines.empty() ? "" : ", ") + "{\"device\": " + JsonText(name) +
                      ", \"model\": " + JsonText(model) + ", \"portType\": " + JsonText(portType) +
                      ", \"portSettings\": " + JsonText(settings) + ", \"logicalNames\": " + JsonList(logical) + "}";
    } else {
      printerLines += "  " + ToUtf8(name) + "  model " + ToUtf8(model) + "  port " + ToUtf8(portType) + " " +
                      ToUtf8(settings) + "  logical names: " + Joined(logical) + "\n";
    }
  }
  for (const std::wstring& name : drawers) {
    const std::wstring key = setup::DeviceKeyPath(DeviceKind::CashDrawer, name);
    const std::wstring printer = setup::ReadString(key, L"PrinterName");
    const std::wstring pin = setup::ReadString(key, L"DrawerPin");
    const std::vector<std::wstring> logical = setup::LogicalNamesOf(name, DeviceKind::CashDrawer);
    if (json) {
      drawerLines += std::string(drawerLines.empty() ? "" : ", ") + "{\"device\": " + JsonText(name) +
                     ", \"printer\": " + JsonText(printer) + ", \"drawerPin\": " + JsonText(pin) +
                     ", \"logicalNames\": " + JsonList(logical) + "}";
    } else {
      drawerLines += "  " + ToUtf8(name) + "  on printer " + ToUtf8(printer) + "  pin " + ToUtf8(pin) +
                     "  logical names: " + Joined(logical) + "\n";
    }
  }
  if (json) {
    std::printf("{\"printers\": [%s], \"drawers\": [%s]}\n", printerLines.c_str(), drawerLines.c_str());
  } else {
    std::printf("printers:\n%s", printerLines.empty() ? "  (none)\n" : printerLines.c_str());
    std::printf("drawers:\n%s", drawerLines.empty() ? "  (none)\n" : drawerLines.c_str());
  }
  return 0;
}

int AddPrinter(const AddPrinterOptions& options) {
  if (!RegistryUsable()) return 1;
  const std::string what = "add-printer " + options.name;
  const std::wstring brand = setup::kBuildBrand;
  const std::vector<std::wstring> models = setup::ModelsOf(brand);
  if (!Contains(models, FromUtf8(options.model)))
    return Refused(what, OPOS_E_ILLEGAL, "unknown model " + options.model + " (models: " + Joined(models) + ")");

  setup::PrinterEntry entry;
  entry.model = FromUtf8(options.model);
  entry.printerName = FromUtf8(options.name);
  entry.logicalName = FromUtf8(options.logicalName.empty() ? options.name : options.logicalName);
  entry.notes = FromUtf8(options.notes);
  // Written after the editor's save: a TCP port other than the raw 9100, and the file
  // port the editors do not offer.
  std::wstring portType, portSettings;
  switch (options.port) {
    case PortKind::Tcp: {
      entry.portType = L"TCP/IP";
      std::string host = options.portValue, port = ToUtf8(setup::kTcpPrinterPort);
      if (const auto colon = host.rfind(':'); colon != std::string::npos) {
        port = host.substr(colon + 1);
        host.resize(colon);
        if (!IsDecimal(port) || std::stoi(port) < 1 || std::stoi(port) > 65535)
          return Refused(what, OPOS_E_ILLEGAL, "the TCP port must be a number from 1 to 65535");
      }
      entry.ipAddress = FromUtf8(host);
      if (FromUtf8(port) != setup::kTcpPrinterPort) portType = L"TCP/IP", portSettings = FromUtf8(host + "," + port);
      break;
    }
    case PortKind::Serial: {
      entry.portType = L"COM";
      std::string device = options.portValue;
      if (const auto comma = device.find(','); comma != std::string::npos) {
        entry.baudRate = FromUtf8(device.substr(comma + 1));
        device.resize(comma);
        if (!Contains(setup::BaudRates(), entry.baudRate))
          return Refused(what, OPOS_E_ILLEGAL, "baud rate must be one of " + Joined(setup::BaudRates()));
      }
      entry.comPort = FromUtf8(device);
      break;
    }
    case PortKind::Usb: entry.portType = L"USB"; break;
    case PortKind::File:
      if (options.portValue.empty()) return Refused(what, OPOS_E_ILLEGAL, "the file port needs a path");
      entry.portType = L"USB";  // checked and saved as the editor would, then pointed at the file
      portType = L"FILE";
      portSettings = FromUtf8(options.portValue);
      break;
    case PortKind::None: return Refused(what, OPOS_E_ILLEGAL, "choose a port");
  }
  if (const setup::Outcome checked = setup::CheckPrinter(entry, setup::EditMode::Add, L""); !checked.ok())
    return Refused(what, checked);
  if (const setup::Outcome saved = setup::SavePrinter(entry, setup::EditMode::Add, L"", brand); !saved.ok())
    return Refused(what, saved);
  if (!portType.empty()) {
    const std::wstring key = setup::DeviceKeyPath(setup::DeviceKind::Printer, entry.printerName);
    setup::Outcome port = setup::WriteString(key, L"PortType", portType);
    if (port.ok()) port = setup::WriteString(key, L"PortSettings", portSettings);
    if (!port.ok()) {
      setup::DeleteDevice(setup::DeviceKind::Printer, entry.printerName);
      return Refused(what, port);
    }
  }
  std::printf("added printer %s (model %s, logical name %s)\n", options.name.c_str(), options.model.c_str(),
              ToUtf8(entry.logicalName).c_str());
  return 0;
}

int AddDrawer(const AddDrawerOptions& options) {
  if (!RegistryUsable()) return 1;
  const std::string what = "add-drawer " + options.printer;
  const std::wstring brand = setup::kBuildBrand;
  const std::wstring printer = PhysicalDeviceName(DeviceKind::Printer, options.printer);
  if (!setup::KeyExists(setup::DeviceKeyPath(setup::DeviceKind::Printer, printer)))
    return Refused(what, OPOS_E_NOEXIST, "there is no printer " + options.printer);
  if (!Contains(setup::DrawerPrinterChoices(brand, setup::OwnProgIdOf(brand)), printer))
    return Refused(what, OPOS_E_ILLEGAL, "the printer " + ToUtf8(printer) + " is not served by this service object");
  setup::DrawerEntry entry = setup::NewDrawerEntry(printer);
  if (!options.name.empty()) entry.drawerName = FromUtf8(options.name);
  entry.logicalName = options.logicalName.empty() ? entry.drawerName : FromUtf8(options.logicalName);
  entry.drawer1 = options.drawerPin != 2;
  entry.drawer2 = options.drawerPin != 1;
  entry.pulseHigh = std::to_wstring(options.pulseOnMs);
  entry.pulseLow = std::to_wstring(options.pulseOffMs);
  entry.queryStatus = options.statusQuery;
  entry.openVoltageHigh = options.openVoltageHigh;
  entry.waitTimeout = std::to_wstring(options.waitTimeoutMs);
  if (const setup::Outcome saved = setup::SaveDrawer(entry, setup::EditMode::Add, L"", brand); !saved.ok())
    return Refused(what, saved);
  std::printf("added drawer %s on printer %s (logical name %s)\n", ToUtf8(entry.drawerName).c_str(),
              ToUtf8(printer).c_str(), ToUtf8(entry.logicalName).c_str());
  return 0;
}

int RemoveDevice(const std::string& name) {
  if (!RegistryUsable()) return 1;
  const DeviceKind kind = KindOfName(name);
  if (kind == DeviceKind::None) return Refused("remove " + name, OPOS_E_NOEXIST, "no printer or drawer of that name");
  const std::wstring device = PhysicalDeviceName(kind, name);
  const setup::DeviceKind setupKind =
      kind == DeviceKind::Printer ? setup::DeviceKind::Printer : setup::DeviceKind::CashDrawer;
  if (const setup::Outcome removed = setup::DeleteDevice(setupKind, device); !removed.ok())
    return Refused("remove " + name, removed);
  std::printf("removed %s %s and its logical names\n", kind == DeviceKind::Printer ? "printer" : "drawer",
              ToUtf8(device).c_str());
  if (kind == DeviceKind::Printer)
    for (const std::wstring& drawer : DrawersOfPrinter(device))
      std::printf("note: drawer %s still names this printer\n", ToUtf8(drawer).c_str());
  return 0;
}

}  // namespace zanth::cli

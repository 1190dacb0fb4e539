// Prints a demonstration receipt: by default to a virtual printer on loopback TCP,
// with a registry of its own; or to a real printer named by a logical name from the
// registry (--printer) or reached at a TCP address (--tcp).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "OposConstants.h"
#include "POSPrinter.h"
#include "platform/com.h"
#include "platform/registry.h"
#include "platform/wtext.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"

namespace {

const wchar_t kPrinterClass[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter";
const wchar_t kProgId[] = L"ZanthOposPrinterU1.13";
const wchar_t kDeviceName[] = L"ZanthDemoPrinter";
const wchar_t kLogicalName[] = L"DemoReceipt";

void Usage() {
  std::fprintf(stderr,
               "usage: zanth-demo [--out DIR] [--printer LOGICAL-NAME | --tcp ADDRESS[:PORT]]\n"
               "  default: print to a virtual printer on 127.0.0.1 and write DIR/receipt.png\n"
               "  --printer  use a printer configured in the registry ($OPOS_REGISTRY)\n"
               "  --tcp      a network printer (raw port, 9100 by default)\n");
}

bool SetString(const std::wstring& key, const std::wstring& name, const std::wstring& value) {
  return platform::SetRegistryString(HKEY_LOCAL_MACHINE, key, name, value) == ERROR_SUCCESS;
}

// A printer entry on the TCP/IP port and a logical name for it.
bool WriteDeviceEntry(const std::wstring& address) {
  const std::wstring key = std::wstring(kPrinterClass) + L"\\" + kDeviceName;
  const std::pair<const wchar_t*, std::wstring> values[] = {
      {L"", kProgId},
      {L"PortType", L"TCP/IP"},
      {L"DriverModel", L"TM-T88IV"},
      {L"DriverName", L"Zanth demo"},
      {L"PortSettings", address},
      {L"OutputBufSize", L"4096"},
      {L"BitMapMode", L"1"},
      {L"WriteTimeout", L"1000"},
      {L"ReadTimeout", L"1000"},
      {L"DeviceDescription", L"Demonstration receipt printer"},
      {L"Notes", L""},
  };
  for (const auto& [name, value] : values)
    if (!SetString(key, name, value)) return false;
  return SetString(kPrinterClass, kLogicalName, kDeviceName);
}

// What regsvr32 does: the library writes its own class registration.
bool RegisterServiceObject() {
  if (SUCCEEDED(platform::CallServerRegistration(ZANTH_SO_PATH))) return true;
  std::fprintf(stderr, "zanth-demo: %s\n", platform::ComLastErrorText().c_str());
  return false;
}

// Reports a failed call with the codes the application sees.
bool Check(zanth::co::POSPrinter& printer, LONG rc, const char* what) {
  if (rc == OPOS_SUCCESS) return true;
  std::fprintf(stderr, "zanth-demo: %s failed: ResultCode %d, ResultCodeExtended %d\n", what,
               rc, printer.ResultCodeExtended());
  return false;
}

// The receipt, in OPOS print data: ESC | sequences for layout and style. Lines that fill
// the paper width are built from the printer's characters per line.
const std::wstring kTitle =
    L"\x1b|cA\x1b|4C\x1b|bCZANTH CAFE\n\x1b|N"
    L"\x1b|cA12 Harbour Street\n"
    L"\x1b|cAReceipt 000042   2026-12-08 12:30\n";
struct Item {
  const wchar_t* name;
  const wchar_t* price;
};
const Item kItems1252[] = {
    {L"Caf\u00e9 cr\u00e8me", L"\u20ac 3.20"},
    {L"Cr\u00eape au chocolat", L"\u20ac 4.50"},
    {L"Stra\u00dfenbahn-Ticket", L"\u20ac 2.90"},
};
const Item kItems866[] = {
    {L"\u0427\u0430\u0439 \u0447\u0451\u0440\u043d\u044b\u0439 (\u0447\u0430\u0448\u043a\u0430)", L"1.80"},
};
const std::wstring kFooter =
    L"\x1b|rA\x1b|bCTOTAL   \u20ac 12.40\n"
    L"\x1b|1lF"
    L"\x1b|cA\x1b|rvC Thank you! \x1b|!rvC\n"
    L"\x1b|cA\x1b|2CMerci - Danke\n";

// Item lines: the name at the left, the price against the right edge, the gap counted
// in characters so every price ends in the last column.
template <size_t N>
std::wstring ItemLines(const Item (&items)[N], LONG lineChars) {
  std::wstring lines;
  for (const Item& item : items) {
    const std::wstring name = item.name, price = item.price;
    const size_t used = name.size() + price.size();
    const size_t width = lineChars > 0 ? static_cast<size_t>(lineChars) : 0;
    lines += name + std::wstring(used < width ? width - used : 1, L' ') + price + L"\n";
  }
  return lines;
}

int PrintReceipt(const std::wstring& logicalName) {
  zanth::co::POSPrinter printer;
  if (!Check(printer, printer.Open(logicalName), "Open")) {
    std::fprintf(stderr, "zanth-demo: OpenResult %d\n", printer.OpenResult());
    return 1;
  }
  if (!Check(printer, printer.ClaimDevice(5000), "ClaimDevice")) return 1;
  printer.SetDeviceEnabled(true);
  if (!Check(printer, printer.ResultCode(), "DeviceEnabled")) return 1;

  const LONG lineChars = printer.RecLineChars();
  const std::wstring header =
      kTitle + L"\x1b|uC" + std::wstring(static_cast<size_t>(std::max<LONG>(lineChars, 1)), L' ') + L"\n";
  bool ok = Check(printer, printer.PrintNormal(PTR_S_RECEIPT, header), "PrintNormal");
  printer.SetCharacterSet(1252);
  ok = ok && Check(printer, printer.ResultCode(), "CharacterSet 1252") &&
       Check(printer, printer.PrintNormal(PTR_S_RECEIPT, ItemLines(kItems1252, lineChars)),
             "PrintNormal");
  // The same receipt goes on in a Cyrillic code page.
  printer.SetCharacterSet(866);
  ok = ok && Check(printer, printer.ResultCode(), "CharacterSet 866") &&
       Check(printer, printer.PrintNormal(PTR_S_RECEIPT, ItemLines(kItems866, lineChars)),
             "PrintNormal");
  printer.SetCharacterSet(1252);
  ok = ok && Check(printer, printer.PrintNormal(PTR_S_RECEIPT, kFooter), "PrintNormal") &&
       Check(printer, printer.CutPaper(100), "CutPaper");

  printer.SetDeviceEnabled(false);
  printer.ReleaseDevice();
  printer.Close();
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out = "demo-output";
  std::string logicalName, tcpAddress;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--out" || arg == "--printer" || arg == "--tcp") && i + 1 < argc) {
      (arg == "--out" ? out : arg == "--printer" ? logicalName : tcpAddress) = argv[++i];
    } else {
      Usage();
      return arg == "--help" || arg == "-h" ? 0 : 2;
    }
  }

  // A printer from the registry as configured.
  if (!logicalName.empty()) return PrintReceipt(platform::FromUtf8(logicalName));

  std::error_code error;
  std::filesystem::create_directories(out, error);
  const std::string folder = std::filesystem::absolute(out, error).string();
  const std::string registry = folder + "/registry.reg";
  std::filesystem::remove(registry, error);
  setenv("OPOS_REGISTRY", registry.c_str(), 1);
  if (!RegisterServiceObject()) return 1;

  if (!tcpAddress.empty()) {
    std::string address = tcpAddress;
    const auto colon = address.rfind(':');
    if (colon != std::string::npos) address[colon] = ',';
    if (!WriteDeviceEntry(platform::FromUtf8(address))) {
      std::fprintf(stderr, "zanth-demo: cannot write %s\n", registry.c_str());
      return 1;
    }
    return PrintReceipt(kLogicalName);
  }

  // The printer the device entry names, with its print width, dot pitch and motion units.
  zanth::sim::VirtualPrinter virtualPrinter(zanth::sim::PrinterConfig::ForModel("TM-T88IV"));
  zanth::sim::TcpServer server(virtualPrinter, 0);
  if (!WriteDeviceEntry(L"127.0.0.1," + std::to_wstring(server.Port()))) {
    std::fprintf(stderr, "zanth-demo: cannot write %s\n", registry.c_str());
    return 1;
  }
  std::printf("virtual printer listening on 127.0.0.1:%u; registry %s\n", server.Port(),
              registry.c_str());
  const int printed = PrintReceipt(kLogicalName);
  if (printed != 0) return printed;
  if (!virtualPrinter.WaitForCuts(1, std::chrono::seconds(10))) {
    std::fprintf(stderr, "zanth-demo: the virtual printer saw no cut\n");
    return 1;
  }
  const std::string png = folder + "/receipt.png";
  std::string writeError;
  if (!virtualPrinter.WritePng(png, &writeError)) {
    std::fprintf(stderr, "zanth-demo: cannot write %s: %s\n", png.c_str(), writeError.c_str());
    return 1;
  }
  std::printf("receipt printed: %zu bytes received, %d cut; rendered to %s\n",
              virtualPrinter.BytesReceived(), virtualPrinter.CutCount(), png.c_str());
  return 0;
}

#include "USBPort.h"

#include <cwctype>

#include "UsbDiscovery.h"
#include "UsbModelTable.h"

namespace Tesk::IO {

namespace {

std::wstring UpperCase(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  return text;
}

bool Contains(const std::wstring& text, const std::wstring& part) {
  return !part.empty() && text.find(part) != std::wstring::npos;
}

}  // namespace

USBPort::USBPort(const USBPortSettings& settings) : settings_(settings) {
  SetSettingsPointer(&settings_);
  SetOverlapped(true);
  SetDevicePath(L"");
  Enumerate();
}

void USBPort::RefreshDevice() { Enumerate(); }

int USBPort::Enumerate() {
  SetLastError(0);
  alternateDevice_ = 0;
  // A path from an earlier search could now belong to another printer.
  SetDevicePath(L"");
  for (const UsbPrinterNode& printer : ListUsbPrinters()) {
    const std::wstring id = UpperCase(printer.hardwareId);
    bool match = Contains(id, settings_.HardwareIdMatch());
    if (!match && Contains(id, kAlternateHardwareId)) {
      match = true;
      alternateDevice_ = 1;
    }
    if (!match) match = Contains(id, kVendorHardwareId);
    if (match) {
      SetDevicePath(printer.devicePath);
      return 0;
    }
  }
  return kNoDevice;
}

}  // namespace Tesk::IO

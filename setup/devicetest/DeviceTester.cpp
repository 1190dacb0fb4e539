// The device test over the control objects.
#include "DeviceTester.h"

#include "platform/msgbox.h"

namespace zanth::setup {

namespace {

constexpr wchar_t kTestFailed[] = L"Cann't print anything due to printer fail!";
constexpr LONG kInteractive = 3;  // CH_INTERACTIVE
constexpr LONG kClaimTimeout = 1000;

struct StatusName {
  LONG value;
  const wchar_t* name;
};

constexpr StatusName kCommonStatus[] = {
    {2001, L"OPOS_SUE_POWER_ONLINE"},  {2002, L"OPOS_SUE_POWER_OFF"},
    {2003, L"OPOS_SUE_POWER_OFFLINE"}, {2004, L"OPOS_SUE_POWER_OFF_OFFLINE"},
};
constexpr StatusName kPrinterStatus[] = {
    {11, L"PTR_SUE_COVER_OPEN"},    {12, L"PTR_SUE_COVER_OK"},       {24, L"PTR_SUE_REC_EMPTY"},
    {25, L"PTR_SUE_REC_NEAREMPTY"}, {26, L"PTR_SUE_REC_PAPEROK"},    {1001, L"PTR_SUE_IDLE"},
};
constexpr StatusName kDrawerStatus[] = {{0, L"CASH_SUE_DRAWERCLOSED"}, {1, L"CASH_SUE_DRAWEROPEN"}};

}  // namespace

DeviceTester::DeviceTester(std::wstring caption, EventReport eventReport)
    : caption_(std::move(caption)), eventReport_(std::move(eventReport)) {
  if (!eventReport_) return;
  // Set before any Open: the control objects take their callbacks at Open.
  printer_.Callbacks().statusUpdate = [this](LONG status) {
    eventReport_(L"POSPrinter StatusUpdate: " + StatusText(false, status));
  };
  printer_.Callbacks().error = [this](LONG resultCode, LONG resultCodeExtended, LONG, LONG&) {
    eventReport_(L"POSPrinter ErrorEvent: " + std::to_wstring(resultCode) + L"/" +
                 std::to_wstring(resultCodeExtended));
  };
  drawer_.Callbacks().statusUpdate = [this](LONG status) {
    eventReport_(L"CashDrawer StatusUpdate: " + StatusText(true, status));
  };
}

std::wstring DeviceTester::StatusText(bool drawer, LONG status) {
  auto find = [status](const auto& table) -> const wchar_t* {
    for (const StatusName& s : table)
      if (s.value == status) return s.name;
    return nullptr;
  };
  const wchar_t* name = find(kCommonStatus);
  if (!name) name = drawer ? find(kDrawerStatus) : find(kPrinterStatus);
  const std::wstring value = std::to_wstring(status);
  return name ? std::wstring(name) + L" (" + value + L")" : value;
}

std::wstring DeviceTester::OpenResultText(LONG openResult) {
  switch (openResult) {
    case 301: return L"Control Object already open";
    case 302: return L"The registry does not contain a key for the specified device name";
    case 303: return L"Could not read the device name key's default value, or could not convert this Prog ID to a valid Class ID";
    case 304: return L"Could not create a service object instance";
    case 305: return L"The service object does not support one or more of the method required by its release";
    case 306: return L"The service object returned a failure status";
    case 307: return L"The service object major version number is not 1";
    case 401: return L"Configured port is invalid or inaccessible";
    case 402: return L"Does not support the specified device";
    case 403: return L"Configuration information error";
    default: return L"OpenResult:" + std::to_wstring(openResult);
  }
}

void DeviceTester::Show(const std::wstring& text) {
  shown_.push_back(text);
  MessageBoxW(nullptr, text.c_str(), caption_.c_str(), MB_OK | MB_ICONINFORMATION);
}

void DeviceTester::Shut(co::ControlObject& device) {
  if (!device.IsOpen()) return;
  if (device.DeviceEnabled()) device.SetDeviceEnabled(false);
  if (device.Claimed()) device.ReleaseDevice();
  device.Close();
}

bool DeviceTester::OpenDevice(co::ControlObject& device, const std::wstring& deviceName,
                              const wchar_t* openFailed, const wchar_t* claimFailed,
                              const std::function<LONG()>& afterEnable) {
  if (device.Open(deviceName) != 0) {
    Show(openFailed + OpenResultText(device.OpenResult()) + L"!");
    Shut(device);
    return false;
  }
  if (device.ClaimDevice(kClaimTimeout) == 0) {
    device.SetDeviceEnabled(true);
    if (device.ResultCode() == 0 && (!afterEnable || afterEnable() == 0)) return true;
  }
  Show(claimFailed);
  // A device left open here would fail every later test at Open.
  Shut(device);
  return false;
}

bool DeviceTester::OpenPrinter(const std::wstring& deviceName) {
  printerOpen_ = OpenDevice(printer_, deviceName, L"PosPrinter Failed Open: ",
                            L"Fails to get the exclusive right for the device.", {});
  return printerOpen_;
}

void DeviceTester::ClosePrinter() {
  Shut(printer_);
  printerOpen_ = false;
}

bool DeviceTester::OpenDrawer(const std::wstring& deviceName) {
  drawerOpen_ = OpenDevice(drawer_, deviceName, L"Cashdrawer failed to open: ",
                           L"Cashdrawer failed to get the exclusive right for the device.",
                           [this] { return drawer_.OpenDrawer(); });
  return drawerOpen_;
}

void DeviceTester::CloseDrawer() {
  Shut(drawer_);
  drawerOpen_ = false;
}

std::vector<std::wstring> DeviceTester::TestPrinter(const std::wstring& deviceName) {
  shown_.clear();
  if (!printerOpen_) OpenPrinter(deviceName);
  if (!printerOpen_) {
    Show(kTestFailed);
    return shown_;
  }
  printer_.CheckHealth(kInteractive);
  Show(printer_.CheckHealthText());
  ClosePrinter();
  return shown_;
}

std::vector<std::wstring> DeviceTester::TestDrawer(const std::wstring& deviceName) {
  shown_.clear();
  if (OpenDrawer(deviceName)) {
    drawer_.CheckHealth(kInteractive);
    Show(drawer_.CheckHealthText());
    CloseDrawer();
  } else {
    Show(kTestFailed);
  }
  return shown_;
}

}  // namespace zanth::setup

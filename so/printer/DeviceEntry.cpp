#include "DeviceEntry.h"

#include <array>
#include <cwctype>
#include <mutex>
#include <utility>

#include "OposConstants.h"
#include "platform/registry.h"
#include "platform/sync.h"

namespace Tesk::Printer {
namespace {

const wchar_t kServiceRoot[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\";
constexpr DWORD kValueBytes = 1024;  // read buffer per value
constexpr size_t kMaxChars = 255;    // kept per value

std::mutex sleeperMutex;
std::function<void(DWORD)> sleeper = [](DWORD ms) { Sleep(ms); };

void Pause(DWORD ms) {
  std::function<void(DWORD)> current;
  {
    std::lock_guard<std::mutex> lock(sleeperMutex);
    current = sleeper;
  }
  current(ms);
}

// One try at a REG_SZ value; false for any error, another type or an overlong text.
bool TryReadString(HKEY key, const wchar_t* name, std::wstring& out) {
  std::array<BYTE, kValueBytes + sizeof(wchar_t)> data{};
  DWORD type = 0;
  DWORD size = kValueBytes;
  if (RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
    return false;
  if (type != REG_SZ) return false;
  const auto* text = reinterpret_cast<const wchar_t*>(data.data());
  size_t length = size / sizeof(wchar_t);
  while (length > 0 && text[length - 1] == L'\0') --length;
  if (length > kMaxChars) return false;
  out.assign(text, length);
  return true;
}

// Reads the values in order with the retry schedule; 0 or OPOS_E_NOSERVICE. All values come
// from one version of the registry file: when a retry finds the file rewritten, the values
// read so far are read again from the new version (without their pauses again), so an entry
// never mixes values of two versions.
template <size_t N>
LONG ReadValues(HKEY key, const std::array<std::pair<const wchar_t*, std::wstring*>, N>& values,
                DWORD pauseStep, platform::RegistryReadSnapshot& snapshot) {
  std::array<DWORD, N> tries{};
  std::array<bool, N> paused{};
  for (size_t i = 0; i < N;) {
    const auto& [name, target] = values[i];
    if (TryReadString(key, name, *target)) {
      if (!paused[i]) Pause(10);
      paused[i] = true;
      ++i;
      continue;
    }
    // Pauses before tries 2 to 6: 0, 1, 2, 3 and 4 steps.
    if (++tries[i] >= 6) return OPOS_E_NOSERVICE;
    Pause((tries[i] - 1) * pauseStep);
    if (snapshot.Refresh()) i = 0;
  }
  return 0;
}

template <size_t N>
LONG ReadEntry(const std::wstring& path,
               const std::array<std::pair<const wchar_t*, std::wstring*>, N>& values,
               DWORD pauseStep) {
  platform::RegistryReadSnapshot snapshot;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return OPOS_E_ILLEGAL;
  const LONG result = ReadValues(key, values, pauseStep, snapshot);
  RegCloseKey(key);
  return result;
}

}  // namespace

std::wstring PrinterEntryPath(const std::wstring& deviceName) {
  return std::wstring(kServiceRoot) + L"POSPrinter\\" + deviceName;
}

std::wstring DrawerEntryPath(const std::wstring& deviceName) {
  return std::wstring(kServiceRoot) + L"CashDrawer\\" + deviceName;
}

LONG ReadPrinterEntry(const std::wstring& deviceName, PrinterEntry& entry) {
  if (deviceName.empty()) return OPOS_E_ILLEGAL;
  const std::array<std::pair<const wchar_t*, std::wstring*>, 10> values{{
      {L"PortType", &entry.portType},
      {L"DriverModel", &entry.driverModel},
      {L"DriverName", &entry.driverName},
      {L"PortSettings", &entry.portSettings},
      {L"OutputBufSize", &entry.outputBufSize},
      {L"BitMapMode", &entry.bitMapMode},
      {L"WriteTimeout", &entry.writeTimeout},
      {L"ReadTimeout", &entry.readTimeout},
      {L"DeviceDescription", &entry.deviceDescription},
      {L"Notes", &entry.notes},
  }};
  return ReadEntry(PrinterEntryPath(deviceName), values, 20);
}

LONG ReadDrawerEntry(const std::wstring& deviceName, DrawerEntry& entry) {
  if (deviceName.empty()) return OPOS_E_ILLEGAL;
  const std::array<std::pair<const wchar_t*, std::wstring*>, 7> values{{
      {L"OpenVoltage", &entry.openVoltage},
      {L"CapDrawStatus", &entry.capDrawStatus},
      {L"DrawerPin", &entry.drawerPin},
      {L"PrinterName", &entry.printerName},
      {L"SignalOffTime", &entry.signalOffTime},
      {L"SignalOnTime", &entry.signalOnTime},
      {L"WaitForDrawerCloseTimeOut", &entry.waitForDrawerCloseTimeOut},
  }};
  return ReadEntry(DrawerEntryPath(deviceName), values, 50);
}

LONG EntryNumber(const std::wstring& text) {
  std::int64_t value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') break;
    value = value * 10 + (c - L'0');
    if (value > 0x7FFFFFFF) return 0x7FFFFFFF;  // saturate instead of wrapping
  }
  return static_cast<LONG>(value);
}

void SetEntryReaderSleep(std::function<void(DWORD)> newSleeper) {
  std::lock_guard<std::mutex> lock(sleeperMutex);
  sleeper = newSleeper ? std::move(newSleeper) : [](DWORD ms) { Sleep(ms); };
}

}  // namespace Tesk::Printer

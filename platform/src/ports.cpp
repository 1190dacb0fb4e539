// Serial and parallel port names from the dosdevices links and the devices present.
#include "platform/ports.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/devname.h"
#include "platform/registry.h"
#include "platform/wtext.h"

namespace platform {

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// "ttyS12" with prefix "ttyS" gives 12; -1 when the rest is not a number.
long NumberAfter(const char* name, const char* prefix) {
  const size_t length = std::strlen(prefix);
  if (std::strncmp(name, prefix, length) != 0 || name[length] == '\0') return -1;
  long n = 0;
  for (const char* p = name + length; *p; ++p) {
    if (*p < '0' || *p > '9' || n > 998) return -1;
    n = n * 10 + (*p - '0');
  }
  return n;
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
    ::closedir(dir);
  }
  return names;
}

std::string RegistryFolder() {
  const std::string file = RegistryFilePath();
  const auto slash = file.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
}

}  // namespace

std::vector<std::wstring> ListPortNames() {
  // Kind (0 COM, 1 LPT) and number, so COM10 sorts after COM9.
  std::map<std::pair<int, long>, std::wstring> ports;
  auto consider = [&](int kind, long number) {
    if (number < 1 || number > 999) return;
    const std::wstring name = (kind == 0 ? L"COM" : L"LPT") + std::to_wstring(number);
    // Listed only when the name reaches a device that is there.
    if (Exists(MapDeviceName(name))) ports[{kind, number}] = name + L":";
  };
  for (const std::string& entry : Entries(RegistryFolder() + "/dosdevices")) {
    if (long n = NumberAfter(entry.c_str(), "com"); n >= 0) consider(0, n);
    if (long n = NumberAfter(entry.c_str(), "lpt"); n >= 0) consider(1, n);
  }
  for (const std::string& entry : Entries("/dev")) {
    const long serial = NumberAfter(entry.c_str(), "ttyS");
    if (serial >= 0 && MapDeviceName(L"COM" + std::to_wstring(serial + 1)) == "/dev/" + entry)
      consider(0, serial + 1);
    const long parallel = NumberAfter(entry.c_str(), "lp");
    if (parallel >= 0 && MapDeviceName(L"LPT" + std::to_wstring(parallel + 1)) == "/dev/" + entry)
      consider(1, parallel + 1);
  }
  std::vector<std::wstring> names;
  for (auto& [key, name] : ports) names.push_back(std::move(name));
  return names;
}

}  // namespace platform

BOOL EnumPortsW(LPWSTR pName, DWORD Level, BYTE* pPorts, DWORD cbBuf, DWORD* pcbNeeded,
                DWORD* pcReturned) {
  if (!pcbNeeded || !pcReturned) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *pcbNeeded = 0;
  *pcReturned = 0;
  if (pName && *pName) {
    SetLastError(ERROR_INVALID_PARAMETER);  // only the local machine has ports here
    return FALSE;
  }
  if (Level != 1 && Level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  static const std::wstring kLocalPort = L"Local Port";
  const std::vector<std::wstring> names = platform::ListPortNames();
  const size_t record = Level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
  size_t needed = record * names.size();
  for (const std::wstring& name : names) {
    needed += (name.size() + 1) * sizeof(wchar_t);
    if (Level == 2) needed += 2 * (kLocalPort.size() + 1) * sizeof(wchar_t);
  }
  *pcbNeeded = static_cast<DWORD>(needed);
  if (names.empty()) {
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  }
  if (!pPorts || cbBuf < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // Strings go after the records; wchar_t alignment holds since records are 8-byte multiples.
  wchar_t* text = reinterpret_cast<wchar_t*>(pPorts + record * names.size());
  auto place = [&text](const std::wstring& s) {
    wchar_t* start = text;
    std::copy(s.begin(), s.end(), text);
    text += s.size();
    *text++ = L'\0';
    return start;
  };
  for (size_t i = 0; i < names.size(); ++i) {
    if (Level == 1) {
      reinterpret_cast<PORT_INFO_1W*>(pPorts)[i].pName = place(names[i]);
    } else {
      PORT_INFO_2W& info = reinterpret_cast<PORT_INFO_2W*>(pPorts)[i];
      info.pPortName = place(names[i]);
      info.pMonitorName = place(kLocalPort);
      info.pDescription = place(kLocalPort);
      info.fPortType = PORT_TYPE_WRITE | PORT_TYPE_READ;
      info.Reserved = 0;
    }
  }
  *pcReturned = static_cast<DWORD>(names.size());
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

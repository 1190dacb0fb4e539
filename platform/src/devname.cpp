// Windows device names (COMn, LPTn, \\.\ paths) to Linux device paths.
#include "platform/devname.h"

#include <sys/stat.h>

#include <cwctype>
#include <string_view>

#include "platform/registry.h"
#include "platform/wtext.h"

namespace platform {

namespace {

// "COM3" with prefix "COM" gives 3; 0 when the name is not prefix + a number >= 1.
// A trailing ':' is accepted because Windows accepts "COM1:" too.
unsigned DosDeviceNumber(std::wstring_view name, std::wstring_view prefix) {
  if (name.size() <= prefix.size() || !EqualsNoCase(name.substr(0, prefix.size()), prefix))
    return 0;
  std::wstring_view digits = name.substr(prefix.size());
  if (!digits.empty() && digits.back() == L':') digits.remove_suffix(1);
  if (digits.empty() || digits.size() > 3 || digits.front() == L'0') return 0;
  unsigned n = 0;
  for (wchar_t c : digits) {
    if (c < L'0' || c > L'9') return 0;
    n = n * 10 + static_cast<unsigned>(c - L'0');
  }
  return n;
}

std::string RegistryFolder() {
  const std::string file = RegistryFilePath();
  const auto slash = file.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return file.substr(0, slash);
}

std::string MapDosDevice(const char* linkName, const char* devicePrefix, unsigned n) {
  std::string link = RegistryFolder();
  if (link.back() != '/') link += '/';
  link += "dosdevices/";
  link += linkName;
  link += std::to_string(n);
  struct stat st;
  // lstat: a link that points nowhere (yet) is still the configured mapping, and
  // opening it gives a clear "no such device" later.
  if (::lstat(link.c_str(), &st) == 0) return link;
  return devicePrefix + std::to_string(n - 1);
}

}  // namespace

std::string MapDeviceName(const std::wstring& name) {
  std::wstring_view rest(name);
  if (rest.size() >= 4 && rest.substr(0, 4) == L"\\\\.\\") rest.remove_prefix(4);
  if (!rest.empty() && rest.front() == L'/') return ToUtf8(rest);
  if (unsigned n = DosDeviceNumber(rest, L"COM")) return MapDosDevice("com", "/dev/ttyS", n);
  if (unsigned n = DosDeviceNumber(rest, L"LPT")) return MapDosDevice("lpt", "/dev/lp", n);
  return ToUtf8(rest);
}

}  // namespace platform

// Generated device names and the checks on new names.
#include "setup/DeviceNames.h"

#include <algorithm>

#include "platform/wtext.h"

namespace zanth::setup {

namespace {

// A suffix of decimal digits; -1 for anything else, or for more digits than a generated
// name ever needs (such a name cannot collide with a generated one).
long long SuffixNumber(std::wstring_view suffix) {
  if (suffix.empty() || suffix.size() > 9) return -1;
  long long n = 0;
  for (wchar_t c : suffix) {
    if (c < L'0' || c > L'9') return -1;
    n = n * 10 + (c - L'0');
  }
  return n;
}

}  // namespace

std::wstring NextDeviceName(DeviceKind kind, const std::wstring& base) {
  const std::wstring stem = platform::ToUpper(base + L"_");
  std::vector<std::wstring> matches;
  for (const std::wstring& name : ListSubkeys(ClassKeyPath(kind)))
    if (platform::ToUpper(name).find(stem) != std::wstring::npos) matches.push_back(name);
  long long highest = 0;
  for (const std::wstring& name : matches) {
    const long long n = SuffixNumber(std::wstring_view(name).substr(name.rfind(L'_') + 1));
    highest = std::max(highest, n);
  }
  std::wstring number = std::to_wstring(highest + 1);
  if (number.size() < 2) number.insert(0, 2 - number.size(), L'0');
  return base + L"_" + number;
}

SetupError CheckNewDeviceName(DeviceKind kind, const std::wstring& name) {
  if (Trimmed(name).empty()) return SetupError::EmptyDeviceName;
  if (name.find(L'\\') != std::wstring::npos) return SetupError::DeviceNameHasBackslash;
  for (const std::wstring& existing : ListSubkeys(ClassKeyPath(kind)))
    if (platform::EqualsNoCase(existing, name)) return SetupError::DeviceExists;
  return SetupError::None;
}

bool IsValidIpAddress(const std::wstring& address) {
  const std::wstring text = Trimmed(address);
  // The shortest dotted address is 7 characters and has three dots.
  if (text.size() < 7 || CountOf(text, L'.') != 3) return false;
  int parts = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t dot = text.find(L'.', start);
    if (dot == std::wstring::npos) dot = text.size();
    const std::wstring_view part = std::wstring_view(text).substr(start, dot - start);
    if (part.empty() || part.size() > 3) return false;
    int value = 0;
    for (wchar_t c : part) {
      if (c < L'0' || c > L'9') return false;
      value = value * 10 + (c - L'0');
    }
    if (value > 255) return false;
    ++parts;
    start = dot + 1;
  }
  return parts == 4;
}

}  // namespace zanth::setup

#include "UsbDiscovery.h"

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <fstream>

namespace Tesk::IO {

namespace {

namespace fs = std::filesystem;

std::string Root(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  return value && *value ? value : fallback;
}

// The four hex digits of an idVendor or idProduct file, upper-case; empty if unusable.
std::wstring ReadId(const fs::path& file) {
  std::ifstream in(file);
  std::string text;
  if (!(in >> text) || text.size() != 4) return {};
  std::wstring id;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
    id.push_back(static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(c))));
  }
  return id;
}

// lpN's number, or -1 for other names.
long LpNumber(const std::string& name) {
  if (name.size() < 3 || name.compare(0, 2, "lp") != 0) return -1;
  if (!std::all_of(name.begin() + 2, name.end(), [](char c) { return c >= '0' && c <= '9'; })) return -1;
  if (name.size() > 9) return -1;
  return std::stol(name.substr(2));
}

}  // namespace

std::vector<UsbPrinterNode> ListUsbPrinters() {
  const fs::path classDir = fs::path(Root("OPOS_SYSFS_ROOT", "/sys")) / "class" / "usbmisc";
  const fs::path devRoot = Root("OPOS_DEV_ROOT", "/dev");
  std::vector<std::pair<long, std::string>> names;
  std::error_code ec;
  for (fs::directory_iterator it(classDir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    long number = LpNumber(name);
    if (number >= 0) names.emplace_back(number, name);
  }
  std::sort(names.begin(), names.end());

  std::vector<UsbPrinterNode> printers;
  for (const auto& [number, name] : names) {
    // "device" is the printer interface; its parent is the USB device with the ids.
    fs::path interface = fs::canonical(classDir / name / "device", ec);
    if (ec) continue;
    std::wstring vendor, product;
    for (const fs::path& dir : {interface.parent_path(), interface}) {
      vendor = ReadId(dir / "idVendor");
      product = ReadId(dir / "idProduct");
      if (!vendor.empty() && !product.empty()) break;
    }
    if (vendor.empty() || product.empty()) continue;
    std::string node = (devRoot / "usb" / name).string();
    printers.push_back({L"USB\\VID_" + vendor + L"&PID_" + product, std::wstring(node.begin(), node.end())});
  }
  return printers;
}

}  // namespace Tesk::IO

// zanth-reg: imports, exports and lists the OPOS registry and registers COM servers.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/registry.h"
#include "platform/wtext.h"

namespace {

constexpr wchar_t kServiceOpos[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS";
constexpr const wchar_t* kClasses[] = {L"POSPrinter", L"CashDrawer"};

int Usage() {
  std::fprintf(stderr,
               "usage: zanth-reg import FILE          merge a .reg file into the registry\n"
               "       zanth-reg export FILE [ROOT]   write the registry (or ROOT and below) to FILE\n"
               "       zanth-reg list                 show the POSPrinter and CashDrawer devices\n"
               "       zanth-reg register LIB         call LIB's DllRegisterServer\n"
               "       zanth-reg unregister LIB       call LIB's DllUnregisterServer\n"
               "The registry file is $OPOS_REGISTRY (now %s).\n",
               platform::RegistryFilePath().c_str());
  return 2;
}

int RegistryFailure(const char* what, LONG rc) {
  const std::string text = platform::RegistryLastErrorText();
  std::fprintf(stderr, "zanth-reg: %s failed (error %d)%s%s\n", what, static_cast<int>(rc),
               text.empty() ? "" : ": ", text.c_str());
  return 1;
}

// A string value's text, or nothing when it is missing or not text.
bool QueryString(HKEY key, const std::wstring& name, std::wstring& text) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
      ERROR_SUCCESS)
    return false;
  buffer.resize(size / sizeof(wchar_t));
  while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
  text = buffer;
  return true;
}

std::vector<std::wstring> SubkeyNames(HKEY key) {
  std::vector<std::wstring> names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[512];
    DWORD length = 512;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

struct NamedText {
  std::wstring name;
  std::wstring text;
};

std::vector<NamedText> StringValues(HKEY key) {
  std::vector<NamedText> values;
  for (DWORD i = 0;; ++i) {
    wchar_t name[512];
    DWORD length = 512, type = 0;
    const LONG rc = RegEnumValueW(key, i, name, &length, nullptr, &type, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) continue;  // a name too long to show
    std::wstring text;
    if (QueryString(key, std::wstring(name, length), text)) values.push_back({std::wstring(name, length), text});
  }
  return values;
}

std::string Quoted(const std::wstring& text) { return "\"" + platform::ToUtf8(text) + "\""; }

int List() {
  HKEY root = nullptr;
  LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServiceOpos, 0, KEY_READ, &root);
  if (rc == ERROR_FILE_NOT_FOUND) {
    std::printf("No OPOS devices (no HKEY_LOCAL_MACHINE\\%s).\n", platform::ToUtf8(kServiceOpos).c_str());
    return 0;
  }
  if (rc != ERROR_SUCCESS) return RegistryFailure("reading the registry", rc);
  for (const wchar_t* cls : kClasses) {
    std::printf("%s\n", platform::ToUtf8(cls).c_str());
    HKEY classKey = nullptr;
    if (RegOpenKeyExW(root, cls, 0, KEY_READ, &classKey) != ERROR_SUCCESS) {
      std::printf("  (none)\n");
      continue;
    }
    const std::vector<std::wstring> devices = SubkeyNames(classKey);
    const std::vector<NamedText> names = StringValues(classKey);
    if (devices.empty()) std::printf("  (none)\n");
    for (const std::wstring& device : devices) {
      std::string line = "  device " + Quoted(device);
      HKEY deviceKey = nullptr;
      if (RegOpenKeyExW(classKey, device.c_str(), 0, KEY_READ, &deviceKey) == ERROR_SUCCESS) {
        std::wstring text;
        if (QueryString(deviceKey, L"", text)) line += "  service " + Quoted(text);
        if (QueryString(deviceKey, L"PortType", text)) line += "  port " + Quoted(text);
        if (QueryString(deviceKey, L"PortSettings", text)) line += " " + Quoted(text);
        RegCloseKey(deviceKey);
      }
      std::printf("%s\n", line.c_str());
      // A logical name is a string value of the class key whose data names a device.
      for (const NamedText& logical : names)
        if (platform::EqualsNoCase(logical.text, device))
          std::printf("    logical name %s\n", Quoted(logical.name).c_str());
    }
    RegCloseKey(classKey);
  }
  RegCloseKey(root);
  return 0;
}

// regsvr32's job: load the server and let it write (or remove) its own registration.
int CallServerEntry(const std::string& library, bool unregister) {
  if (SUCCEEDED(platform::CallServerRegistration(library, unregister))) {
    std::printf("%s in %s succeeded.\n", unregister ? "DllUnregisterServer" : "DllRegisterServer",
                library.c_str());
    return 0;
  }
  std::fprintf(stderr, "zanth-reg: %s\n", platform::ComLastErrorText().c_str());
  const std::string text = platform::RegistryLastErrorText();
  if (!text.empty()) std::fprintf(stderr, "zanth-reg: %s\n", text.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "import" && argc == 3) {
    const LONG rc = platform::ImportRegFile(argv[2]);
    if (rc != ERROR_SUCCESS) return RegistryFailure("import", rc);
    std::printf("Imported %s into %s.\n", argv[2], platform::RegistryFilePath().c_str());
    return 0;
  }
  if (command == "export" && (argc == 3 || argc == 4)) {
    const std::wstring root = argc == 4 ? platform::FromUtf8(argv[3]) : std::wstring();
    const LONG rc = platform::ExportRegFile(argv[2], root);
    if (rc != ERROR_SUCCESS) return RegistryFailure("export", rc);
    return 0;
  }
  if (command == "list" && argc == 2) return List();
  if (command == "register" && argc == 3) return CallServerEntry(argv[2], false);
  if (command == "unregister" && argc == 3) return CallServerEntry(argv[2], true);
  return Usage();
}

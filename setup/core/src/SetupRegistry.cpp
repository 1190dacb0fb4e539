// Registry routines of the setup tool over the platform registry.
#include "setup/SetupRegistry.h"

#include <cwctype>

#include "platform/registry.h"
#include "platform/wtext.h"

namespace zanth::setup {

namespace {

// An open key that closes itself.
class Key {
 public:
  Key() = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (handle_) RegCloseKey(handle_);
  }
  LONG Open(const std::wstring& path, REGSAM access) {
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &handle_);
  }
  LONG Create(const std::wstring& path) {
    return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, &handle_, nullptr);
  }
  HKEY get() const { return handle_; }

 private:
  HKEY handle_ = nullptr;
};

// Registry names are at most 16383 characters.
constexpr DWORD kMaxName = 16384;

// Value names and types of an open key, in registry order.
std::vector<std::pair<std::wstring, DWORD>> EnumValues(HKEY key) {
  std::vector<std::pair<std::wstring, DWORD>> values;
  std::wstring name(kMaxName, L'\0');
  for (DWORD i = 0;; ++i) {
    DWORD length = kMaxName;
    DWORD type = 0;
    if (RegEnumValueW(key, i, name.data(), &length, nullptr, &type, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    values.emplace_back(name.substr(0, length), type);
  }
  return values;
}

std::wstring QueryString(HKEY key, const std::wstring& name, bool* isString = nullptr) {
  DWORD type = 0;
  DWORD size = 0;
  if (isString) *isString = false;
  if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return {};
  std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                       &size) != ERROR_SUCCESS)
    return {};
  data.resize(size / sizeof(wchar_t));
  while (!data.empty() && data.back() == L'\0') data.pop_back();
  if (isString) *isString = true;
  return data;
}

}  // namespace

std::wstring ClassName(DeviceKind kind) {
  return kind == DeviceKind::Printer ? L"POSPrinter" : L"CashDrawer";
}

std::wstring ClassKeyPath(DeviceKind kind) {
  return std::wstring(kServiceOposPath) + L"\\" + ClassName(kind);
}

std::wstring DeviceKeyPath(DeviceKind kind, const std::wstring& deviceName) {
  return ClassKeyPath(kind) + L"\\" + deviceName;
}

std::wstring SystemErrorText(LONG code) {
  switch (code) {
    case ERROR_SUCCESS: return L"The operation completed successfully.";
    case ERROR_FILE_NOT_FOUND: return L"The system cannot find the file.";
    case ERROR_PATH_NOT_FOUND: return L"The system cannot find the path.";
    case ERROR_ACCESS_DENIED: return L"Access is denied.";
    case ERROR_INVALID_HANDLE: return L"The handle is invalid.";
    case ERROR_NOT_ENOUGH_MEMORY: return L"Not enough memory resources are available to process this command.";
    case ERROR_INVALID_PARAMETER: return L"The parameter is incorrect.";
    case ERROR_INSUFFICIENT_BUFFER: return L"The data area passed to a system call is too small.";
    case ERROR_BADDB: return L"The configuration registry database is corrupt.";
    case ERROR_BADKEY: return L"The configuration registry key is invalid.";
    case ERROR_CANTREAD: return L"The configuration registry key could not be read.";
    case ERROR_CANTWRITE: return L"The configuration registry key could not be written.";
    case ERROR_KEY_DELETED: return L"Illegal operation attempted on a registry key that has been marked for deletion.";
    default: return L"Error " + std::to_wstring(code) + L".";
  }
}

Outcome RegistryFailure(LONG code) {
  Outcome outcome;
  outcome.error = SetupError::RegistryFailure;
  outcome.code = code;
  outcome.reason = SystemErrorText(code);
  // The registry's own account names the file and the cause (for example a file only
  // root may write).
  const std::string detail = platform::RegistryLastErrorText();
  if (!detail.empty()) outcome.reason += L"\n" + platform::FromUtf8(detail);
  return outcome;
}

bool KeyExists(const std::wstring& keyPath) {
  Key key;
  return key.Open(keyPath, KEY_READ) == ERROR_SUCCESS;
}

std::vector<std::wstring> ListSubkeys(const std::wstring& keyPath) {
  std::vector<std::wstring> names;
  Key key;
  if (key.Open(keyPath, KEY_READ) != ERROR_SUCCESS) return names;
  std::wstring name(kMaxName, L'\0');
  for (DWORD i = 0;; ++i) {
    DWORD length = kMaxName;
    if (RegEnumKeyExW(key.get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    names.push_back(name.substr(0, length));
  }
  return names;
}

std::vector<std::wstring> ListValueNames(const std::wstring& keyPath) {
  std::vector<std::wstring> names;
  Key key;
  if (key.Open(keyPath, KEY_READ) != ERROR_SUCCESS) return names;
  for (auto& [name, type] : EnumValues(key.get())) names.push_back(std::move(name));
  return names;
}

std::vector<StringValue> ListStringValues(const std::wstring& keyPath) {
  std::vector<StringValue> values;
  Key key;
  if (key.Open(keyPath, KEY_READ) != ERROR_SUCCESS) return values;
  for (auto& [name, type] : EnumValues(key.get())) {
    if (type != REG_SZ) continue;
    bool isString = false;
    std::wstring data = QueryString(key.get(), name, &isString);
    if (isString) values.push_back({std::move(name), std::move(data)});
  }
  return values;
}

std::wstring ReadString(const std::wstring& keyPath, const std::wstring& name) {
  Key key;
  if (key.Open(keyPath, KEY_READ) != ERROR_SUCCESS) return {};
  return QueryString(key.get(), name);
}

Outcome WriteString(const std::wstring& keyPath, const std::wstring& name,
                    const std::wstring& value) {
  Key key;
  if (LONG rc = key.Create(keyPath); rc != ERROR_SUCCESS) return RegistryFailure(rc);
  const DWORD size = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  if (LONG rc = RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(value.c_str()), size);
      rc != ERROR_SUCCESS)
    return RegistryFailure(rc);
  return {};
}

Outcome DeleteSubkey(const std::wstring& parentPath, const std::wstring& name) {
  Key key;
  if (LONG rc = key.Open(parentPath, KEY_ALL_ACCESS); rc != ERROR_SUCCESS)
    return RegistryFailure(rc);
  if (LONG rc = RegDeleteTreeW(key.get(), name.c_str()); rc != ERROR_SUCCESS)
    return RegistryFailure(rc);
  return {};
}

Outcome DeleteValue(const std::wstring& keyPath, const std::wstring& name) {
  Key key;
  if (LONG rc = key.Open(keyPath, KEY_ALL_ACCESS); rc != ERROR_SUCCESS) return RegistryFailure(rc);
  if (LONG rc = RegDeleteValueW(key.get(), name.c_str()); rc != ERROR_SUCCESS)
    return RegistryFailure(rc);
  return {};
}

Outcome EnsureClassKeys() {
  for (DeviceKind kind : {DeviceKind::Printer, DeviceKind::CashDrawer}) {
    if (KeyExists(ClassKeyPath(kind))) continue;
    Key key;
    if (LONG rc = key.Create(ClassKeyPath(kind)); rc != ERROR_SUCCESS) return RegistryFailure(rc);
  }
  return {};
}

std::wstring Trimmed(std::wstring_view text) {
  // As the tool's Trim: everything up to the blank counts as space.
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && text[begin] <= L' ') ++begin;
  while (end > begin && text[end - 1] <= L' ') --end;
  return std::wstring(text.substr(begin, end - begin));
}

bool LogicalNameFree(const std::wstring& name, DeviceKind kind) {
  const std::wstring wanted = Trimmed(name);
  for (const std::wstring& existing : ListValueNames(ClassKeyPath(kind)))
    if (platform::EqualsNoCase(Trimmed(existing), wanted)) return false;
  return true;
}

std::vector<std::wstring> LogicalNamesOf(const std::wstring& deviceName, DeviceKind kind) {
  std::vector<std::wstring> names;
  for (StringValue& value : ListStringValues(ClassKeyPath(kind)))
    if (!value.name.empty() && platform::EqualsNoCase(value.data, deviceName))
      names.push_back(std::move(value.name));
  return names;
}

std::wstring FirstLogicalNameOf(const std::wstring& deviceName, DeviceKind kind) {
  std::vector<std::wstring> names = LogicalNamesOf(deviceName, kind);
  return names.empty() ? std::wstring() : names.front();
}

int CountOf(std::wstring_view text, wchar_t ch) {
  int count = 0;
  for (size_t i = 1; i < text.size(); ++i)
    if (text[i] == ch) ++count;
  return count;
}

int PositionOfNth(std::wstring_view text, wchar_t ch, int n) {
  int seen = 0;
  for (size_t i = 1; i < text.size(); ++i)
    if (text[i] == ch && ++seen == n) return static_cast<int>(i);
  return -1;
}

}  // namespace zanth::setup

// A file-backed registry with the Win32 call shapes.
//
// The store is one text file in the Windows registry-export format, named by
// OPOS_REGISTRY (default /etc/opos/registry.reg). Every call reads the current file
// (re-parsed only when it changed on disk) and every change rewrites it under an
// exclusive lock through a temporary file and rename, so several processes may use it
// at once and a reader never sees half a file. A key handle remembers its path, not a
// node: a key deleted by another process reports ERROR_KEY_DELETED or
// ERROR_FILE_NOT_FOUND at the next call. Key names compare case-insensitively.
// HKEY_CLASSES_ROOT reads HKEY_CURRENT_USER\Software\Classes over
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes and writes to the latter.
//
// Data of REG_SZ and REG_MULTI_SZ values is wchar_t text with its terminator(s), byte
// sizes counted in sizeof(wchar_t) units, exactly as the W calls hand it over.
// Thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/wintypes.h"

struct RegistryKeyHandle;
using HKEY = RegistryKeyHandle*;
using REGSAM = DWORD;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)))

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, HKEY* result);
LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                     DWORD options, REGSAM access, void* security, HKEY* result,
                     DWORD* disposition);
// data null with cbData non-null: the size needed. Too small a buffer: ERROR_MORE_DATA
// with *cbData set to the size needed.
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type,
                      BYTE* data, DWORD* cbData);
LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type,
                    const BYTE* data, DWORD cbData);
LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved,
                   LPWSTR keyClass, DWORD* classLength, void* lastWriteTime);
LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, DWORD* valueNameLength,
                   DWORD* reserved, DWORD* type, BYTE* data, DWORD* cbData);
// Deletes a key without subkeys (ERROR_ACCESS_DENIED when it has some, as Windows).
LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey);
// Deletes a key and everything under it.
LONG RegDeleteTreeW(HKEY key, LPCWSTR subKey);
LONG RegDeleteValueW(HKEY key, LPCWSTR valueName);
LONG RegCloseKey(HKEY key);

namespace platform {

// The file the store uses now: $OPOS_REGISTRY or /etc/opos/registry.reg.
std::string RegistryFilePath();

// Text of the last failure of a Reg* call on this thread (for example where a damaged
// file failed to parse: path, line and what was wrong). Empty after success.
std::string RegistryLastErrorText();

// Creates the key under root when needed and sets a REG_SZ value on it (an empty name
// is the default value). Returns the Win32 result.
LONG SetRegistryString(HKEY root, const std::wstring& key, const std::wstring& name,
                       const std::wstring& value);

// While one lives on a thread, that thread's registry reads (queries, enumerations, opens,
// exports) all see one version of the file: the one current when it was made or last
// refreshed, however often other processes rewrite the file meanwhile. Writes still go to
// the current file and are not seen through it. For reads whose values must belong
// together, such as one device entry. Snapshots nest; each belongs to its thread.
class RegistryReadSnapshot {
 public:
  RegistryReadSnapshot();
  ~RegistryReadSnapshot();
  RegistryReadSnapshot(const RegistryReadSnapshot&) = delete;
  RegistryReadSnapshot& operator=(const RegistryReadSnapshot&) = delete;

  // Moves the view to the current file; true when that is another version.
  bool Refresh();

 private:
  struct Pin;
  Pin* pin_;
  void* previous_;
};

// One value as the .reg format carries it.
struct RegistryValue {
  std::wstring name;  // empty: the default value (@)
  DWORD type = REG_SZ;
  std::vector<BYTE> data;  // as RegQueryValueExW returns it
};

// One key with its values; path is the full path from the root name, for example
// L"HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail".
struct RegistryKey {
  std::wstring path;
  std::vector<RegistryValue> values;
};

// In parsed .reg text, "name"=- (delete the value) comes as a value of this type, and
// a "[-path]" section (delete the key) as a key whose path starts with '-'.
constexpr DWORD kRegDeleteValueMark = 0xFFFFFFFF;

// Parses .reg text (UTF-8 or UTF-16LE with a BOM). Returns false with a message
// (line number and reason) for text that is not a registry export.
bool ParseRegFile(const std::string& bytes, std::vector<RegistryKey>& keys,
                  std::string& error);
// Renders keys in the Windows export format, UTF-16LE with a BOM.
std::string FormatRegFile(const std::vector<RegistryKey>& keys);

// Merges the keys of a .reg file into the store (a "[-path]" section deletes a key,
// "name"=- deletes a value). Returns ERROR_SUCCESS or an error code with
// RegistryLastErrorText set.
LONG ImportRegFile(const std::string& path);
// Writes the store's keys under root (a full path such as L"HKEY_LOCAL_MACHINE\\SOFTWARE",
// empty for everything) to a .reg file.
LONG ExportRegFile(const std::string& path, const std::wstring& root);

}  // namespace platform

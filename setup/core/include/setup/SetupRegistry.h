// The setup tool's registry routines: each call opens HKEY_LOCAL_MACHINE, does one thing and
// closes its key again. Paths are relative to HKEY_LOCAL_MACHINE.
//
// Reads never fail loudly: a key that cannot be opened gives empty lists and empty strings.
// Writes and deletions return an Outcome carrying the Win32 code and the system's reason, so
// a caller never reports a failed save as done. Not thread-safe beyond what the registry is;
// call from one thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/wintypes.h"

namespace zanth::setup {

inline constexpr wchar_t kServiceOposPath[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS";

enum class DeviceKind { Printer, CashDrawer };

// "POSPrinter" or "CashDrawer".
std::wstring ClassName(DeviceKind kind);
// "SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter" (or ...\CashDrawer).
std::wstring ClassKeyPath(DeviceKind kind);
// The class key path, "\" and the device name.
std::wstring DeviceKeyPath(DeviceKind kind, const std::wstring& deviceName);

// Why an operation did not happen. Validation errors leave the registry untouched.
enum class SetupError {
  None,
  RegistryFailure,       // a write or deletion failed: code and reason say why
  EmptyDeviceName,       // empty or blank device name
  DeviceNameHasBackslash,
  DeviceExists,          // Add with the name of an existing entry
  NoSuchDevice,          // Modify or delete of an entry that is not there
  EmptyLogicalName,
  LogicalNameTaken,
  BadIpAddress,
  NoDrawerChecked,       // a drawer entry with neither drawer 1 nor drawer 2
  PulseOutOfRange,       // pulse times are one byte each: 0..255
  BadWaitTimeout,        // the close-wait time-out is not a number
  NoPrinterChosen,       // a drawer entry without a printer to hang on
  LastLogicalName,       // deleting a device's only logical name
  UnknownPortType,
  NoPortChosen,          // a COM or LPT printer without a port
};

struct Outcome {
  SetupError error = SetupError::None;
  LONG code = ERROR_SUCCESS;  // the Win32 code of a RegistryFailure
  std::wstring reason;        // the system's text for a RegistryFailure
  bool ok() const { return error == SetupError::None; }
};

// A failed registry call as an Outcome: the code and the registry's own account of it.
Outcome RegistryFailure(LONG code);
// The system's message for a Win32 error code, as FormatMessage would give it.
std::wstring SystemErrorText(LONG code);

struct StringValue {
  std::wstring name;  // empty: the default value
  std::wstring data;
};

bool KeyExists(const std::wstring& keyPath);
// Subkey names in registry order; empty when the key cannot be opened.
std::vector<std::wstring> ListSubkeys(const std::wstring& keyPath);
// Value names in registry order (the default value, when set, as an empty name).
std::vector<std::wstring> ListValueNames(const std::wstring& keyPath);
// The REG_SZ values of a key (others are skipped), in registry order.
std::vector<StringValue> ListStringValues(const std::wstring& keyPath);
// A REG_SZ value (an empty name reads the default value); empty when absent or not text.
std::wstring ReadString(const std::wstring& keyPath, const std::wstring& name);
// Sets a REG_SZ value, creating the key when missing.
Outcome WriteString(const std::wstring& keyPath, const std::wstring& name,
                    const std::wstring& value);
// Deletes a subkey with everything under it.
Outcome DeleteSubkey(const std::wstring& parentPath, const std::wstring& name);
Outcome DeleteValue(const std::wstring& keyPath, const std::wstring& name);
// Creates the POSPrinter and CashDrawer class keys when missing.
Outcome EnsureClassKeys();

// Text without the blanks and control characters around it.
std::wstring Trimmed(std::wstring_view text);

// True when no logical name of the class equals name (trimmed, letter case ignored, as
// registry value names compare).
bool LogicalNameFree(const std::wstring& name, DeviceKind kind);
// The logical names (string values of the class key) that stand for the device, in
// registry order; device names compare without letter case, as key names do.
std::vector<std::wstring> LogicalNamesOf(const std::wstring& deviceName, DeviceKind kind);
// The first of them, or empty.
std::wstring FirstLogicalNameOf(const std::wstring& deviceName, DeviceKind kind);

// Occurrences of ch in text, counted from the second character on (a character in the
// first position never counts).
int CountOf(std::wstring_view text, wchar_t ch);
// Zero-based position of the n-th (1-based) occurrence of ch, counted from the second
// character on; -1 when there are fewer.
int PositionOfNth(std::wstring_view text, wchar_t ch, int n);

}  // namespace zanth::setup

// Checks and the entry writer the printer and drawer editors share.
#include "EditorRules.h"

#include "platform/wtext.h"
#include "setup/DeviceNames.h"

namespace zanth::setup::detail {

SetupError CheckEntryLogicalName(DeviceKind kind, const std::wstring& logicalName, EditMode mode,
                                 const std::wstring& keyName) {
  const std::wstring name = Trimmed(logicalName);
  if (name.empty()) return SetupError::EmptyLogicalName;
  for (const StringValue& value : ListStringValues(ClassKeyPath(kind))) {
    if (!platform::EqualsNoCase(Trimmed(value.name), name)) continue;
    const bool own = mode == EditMode::Modify && platform::EqualsNoCase(value.data, keyName);
    return own ? SetupError::None : SetupError::LogicalNameTaken;
  }
  // A value of another type by that name would be overwritten as well.
  return LogicalNameFree(name, kind) ? SetupError::None : SetupError::LogicalNameTaken;
}

SetupError CheckEntryKey(DeviceKind kind, EditMode mode, const std::wstring& keyName) {
  if (mode == EditMode::Add) return CheckNewDeviceName(kind, keyName);
  if (Trimmed(keyName).empty() || keyName.find(L'\\') != std::wstring::npos ||
      !KeyExists(DeviceKeyPath(kind, keyName)))
    return SetupError::NoSuchDevice;
  return SetupError::None;
}

Outcome WriteEntry(DeviceKind kind, EditMode mode, const std::wstring& keyName,
                   const ValueList& values, size_t logicalNameAt, const std::wstring& logicalName) {
  const std::wstring keyPath = DeviceKeyPath(kind, keyName);
  const std::wstring name = Trimmed(logicalName);
  // In Modify mode the logical name keeps its spelling when it is the entry's own already.
  std::wstring previousData;
  bool hadLogicalName = false;
  for (const StringValue& value : ListStringValues(ClassKeyPath(kind)))
    if (value.name == name) previousData = value.data, hadLogicalName = true;
  bool wroteLogicalName = false;
  auto fail = [&](Outcome outcome) {
    if (mode == EditMode::Add) {
      DeleteSubkey(ClassKeyPath(kind), keyName);
      if (wroteLogicalName) {
        if (hadLogicalName)
          WriteString(ClassKeyPath(kind), name, previousData);
        else
          DeleteValue(ClassKeyPath(kind), name);
      }
    }
    return outcome;
  };
  for (size_t i = 0; i <= values.size(); ++i) {
    if (i == logicalNameAt) {
      if (Outcome outcome = WriteString(ClassKeyPath(kind), name, keyName); !outcome.ok())
        return fail(outcome);
      wroteLogicalName = true;
    }
    if (i == values.size()) break;
    if (Outcome outcome = WriteString(keyPath, values[i].first, values[i].second); !outcome.ok())
      return fail(outcome);
  }
  return {};
}

bool IsDecimal(const std::wstring& text, size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return false;
  for (wchar_t c : text)
    if (c < L'0' || c > L'9') return false;
  return true;
}

}  // namespace zanth::setup::detail

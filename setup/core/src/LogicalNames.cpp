// The logical-name editor's rules.
#include "EditorRules.h"
#include "platform/wtext.h"
#include "setup/Editors.h"

namespace zanth::setup {

Outcome CheckLogicalName(DeviceKind kind, const std::wstring& name, EditMode mode,
                         const std::wstring& oldName) {
  const std::wstring wanted = Trimmed(name);
  if (wanted.empty()) return detail::Refuse(SetupError::EmptyLogicalName);
  // Renaming a name to itself (or to another letter case of it) is no clash.
  if (mode == EditMode::Modify && platform::EqualsNoCase(wanted, Trimmed(oldName))) return {};
  if (!LogicalNameFree(wanted, kind)) return detail::Refuse(SetupError::LogicalNameTaken);
  return {};
}

Outcome SaveLogicalName(DeviceKind kind, const std::wstring& deviceName,
                        const std::wstring& name, EditMode mode, const std::wstring& oldName) {
  if (Trimmed(deviceName).empty() || deviceName.find(L'\\') != std::wstring::npos ||
      !KeyExists(DeviceKeyPath(kind, deviceName)))
    return detail::Refuse(SetupError::NoSuchDevice);
  if (Outcome outcome = CheckLogicalName(kind, name, mode, oldName); !outcome.ok()) return outcome;
  const std::wstring classKey = ClassKeyPath(kind);
  const std::wstring wanted = Trimmed(name);
  if (mode == EditMode::Add || oldName.empty() || oldName == wanted)
    return WriteString(classKey, wanted, deviceName);
  if (platform::EqualsNoCase(oldName, wanted)) {
    // Only the letter case changes: the old value must go first, and comes back if the
    // new one cannot be written.
    const std::wstring oldData = ReadString(classKey, oldName);
    if (Outcome outcome = DeleteValue(classKey, oldName); !outcome.ok()) return outcome;
    Outcome outcome = WriteString(classKey, wanted, deviceName);
    if (!outcome.ok()) WriteString(classKey, oldName, oldData);
    return outcome;
  }
  // The new name first, so a failed write loses nothing.
  if (Outcome outcome = WriteString(classKey, wanted, deviceName); !outcome.ok()) return outcome;
  for (const std::wstring& existing : ListValueNames(classKey))
    if (existing == oldName) return DeleteValue(classKey, oldName);
  return {};
}

}  // namespace zanth::setup

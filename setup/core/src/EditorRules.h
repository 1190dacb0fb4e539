// Helpers the printer and drawer editors share.
#pragma once

#include <string>

#include "setup/Editors.h"

namespace zanth::setup::detail {

inline Outcome Refuse(SetupError error) { return {error, ERROR_SUCCESS, {}}; }

// The logical name may be used for the entry keyName: not blank, and free or (in Modify
// mode) already standing for that entry.
SetupError CheckEntryLogicalName(DeviceKind kind, const std::wstring& logicalName, EditMode mode,
                                 const std::wstring& keyName);

// Checks the entry's key: in Add mode a usable new name, in Modify mode an existing entry.
SetupError CheckEntryKey(DeviceKind kind, EditMode mode, const std::wstring& keyName);

// Writes the entry's values into its key and, before values[logicalNameAt], its logical
// name into the class key. In Add mode a failure removes what was written, so no half entry
// stays behind.
Outcome WriteEntry(DeviceKind kind, EditMode mode, const std::wstring& keyName,
                   const ValueList& values, size_t logicalNameAt, const std::wstring& logicalName);

// Decimal digits only, at most maxDigits of them.
bool IsDecimal(const std::wstring& text, size_t maxDigits);

}  // namespace zanth::setup::detail

// The build brand and what it decides: the service object ProgIDs this build owns, the
// printer models it offers, and the ProgID and description each model's group writes.
#pragma once

#include <string>
#include <vector>

namespace zanth::setup {

// This build's brand code.
inline constexpr wchar_t kBuildBrand[] = L"Zanth";

// The ProgID (or comma-separated list of ProgIDs) the brand owns; empty for an unknown brand.
std::wstring OwnProgIdOf(const std::wstring& brand);
// True when an entry whose default value is progId may be edited by this brand: the value
// is non-empty and occurs inside the own ProgID text.
bool IsOwnedProgId(const std::wstring& progId, const std::wstring& ownProgId);

// The printer models the brand offers, in list order (empty for an unknown brand).
std::vector<std::wstring> ModelsOf(const std::wstring& brand);

struct ModelGroup {
  bool found = false;        // the model belongs to a group
  std::wstring progId;       // the entry's default value; empty: none is written
  std::wstring description;  // "DeviceDescription"
};
// The group a printer model belongs to (the model occurs inside the group's text).
ModelGroup PrinterGroupOf(const std::wstring& model, const std::wstring& brand);
// The default value of a drawer entry hanging on a printer of this model: the group's
// ProgID, where the shared group falls to the Corlin ProgID under every brand but "QN".
std::wstring DrawerProgIdOf(const std::wstring& printerModel, const std::wstring& brand);

}  // namespace zanth::setup

// Which USB hardware id belongs to which printer model.
#pragma once

#include <string>

namespace Tesk::IO {

// Tried for every device after the model's own text: a second product of the maker
// (found through it, the engine probes the back channel at claim), then any product
// of the maker.
constexpr const wchar_t* kAlternateHardwareId = L"VID_5A4E&PID_0E01";
constexpr const wchar_t* kVendorHardwareId = L"VID_5A4E";
// The text of models the table does not list.
constexpr const wchar_t* kDefaultHardwareId = L"VID_5A4E&PID_0001";

// The hardware-id match text of a model name (exact, case-sensitive), or the default.
std::wstring HardwareIdForModel(const std::wstring& modelName);

}  // namespace Tesk::IO

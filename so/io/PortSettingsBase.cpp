#include "PortSettingsBase.h"

#include <string>

#include "Tokenize.h"

namespace Tesk::IO {

CPortSettingsBase::CPortSettingsBase(std::wstring portType, std::wstring portName)
    : portName_(std::move(portName)), portType_(std::move(portType)) {}

void CPortSettingsBase::CheckLength(const std::wstring& value, std::size_t limit, const char* field) {
  if (value.size() > limit)
    throw SettingsError(std::string(field) + " longer than " + std::to_string(limit) + " characters");
}

std::vector<std::wstring> CPortSettingsBase::SplitFields(const std::wstring& settings) const {
  std::vector<std::wstring> fields = Tokenize(settings, delimiters_);
  if (fields.empty()) throw SettingsError("port settings hold delimiters only");
  return fields;
}

void CPortSettingsBase::SetPortName(const std::wstring& name) {
  CheckLength(name, kMaxPortName, "port name");
  portName_ = name;
}

void CPortSettingsBase::KeepSettingsString(const std::wstring& settings) {
  CheckLength(settings, kMaxSettingsString, "port settings");
  settingsString_ = settings;
}

std::uint32_t ParseLeadingNumber(const std::wstring& text, std::uint32_t max) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  if (i < text.size() && text[i] == L'-') return 0;  // no leading digits
  if (i < text.size() && text[i] == L'+') ++i;
  std::uint64_t value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10 + static_cast<std::uint64_t>(text[i] - L'0');
    if (value > max) return 0;  // a number the field cannot hold has no meaning either
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace Tesk::IO

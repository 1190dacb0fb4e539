// Fields and defaults shared by every port type's settings.
#pragma once

#include <string>
#include <vector>

#include "IPortSettings.h"

namespace Tesk::IO {

// Sizes, time-outs and the delimiter set never change after construction: the
// registry's "ReadTimeout", "WriteTimeout" and buffer sizes do not reach the port.
// Settings objects are values: copying one copies every field.
class CPortSettingsBase : public IPortSettings {
 public:
  static constexpr std::size_t kMaxPortName = 254;
  static constexpr std::size_t kMaxPortType = 31;
  static constexpr std::size_t kMaxSettingsString = 511;
  static constexpr std::size_t kMaxDelimiters = 9;

  CPortSettingsBase() = default;
  explicit CPortSettingsBase(std::wstring portType, std::wstring portName = L"Auto");

  std::wstring GetSettingsString() const override { return {}; }
  void SetSettingsString(const std::wstring&) override {}
  std::wstring GetPortName() const override { return portName_; }
  std::wstring GetPortType() const override { return portType_; }
  LONG GetInputBufferSize() const override { return inputBufferSize_; }
  LONG GetOutputBufferSize() const override { return outputBufferSize_; }
  LONG GetWriteTimeout() const override { return writeTimeout_; }
  LONG GetReadTimeout() const override { return readTimeout_; }

  // The last settings string kept by SetSettingsString (not every type keeps it).
  const std::wstring& KeptSettingsString() const { return settingsString_; }
  const std::wstring& Delimiters() const { return delimiters_; }

 protected:
  // Throws SettingsError naming the field when value is longer than limit.
  static void CheckLength(const std::wstring& value, std::size_t limit, const char* field);
  // Tokenizes with the delimiter set; a value of delimiters only has no port to take
  // and is refused like an empty one, so the open fails instead of using a blank name.
  std::vector<std::wstring> SplitFields(const std::wstring& settings) const;
  void SetPortName(const std::wstring& name);
  void KeepSettingsString(const std::wstring& settings);

 private:
  std::wstring portName_ = L"Auto";
  std::wstring portType_ = L"USB";
  std::wstring settingsString_;
  LONG inputBufferSize_ = 2048;
  LONG outputBufferSize_ = 2048;
  LONG writeTimeout_ = 1000;
  LONG readTimeout_ = 1000;
  std::wstring delimiters_ = L",";
};

// Leading decimal digits of text after optional blanks, as the settings grammar reads
// numbers: no digits give 0, and so do a negative number and one above max (a port or
// baud rate the field cannot hold). Never throws.
std::uint32_t ParseLeadingNumber(const std::wstring& text, std::uint32_t max);

}  // namespace Tesk::IO

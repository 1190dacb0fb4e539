#include "PortSettings.h"

#include "Tokenize.h"

namespace Tesk::IO {

namespace {

// Control characters cannot be part of a device name or a path the port opens.
void CheckPrintable(const std::wstring& value, const char* field) {
  for (wchar_t c : value)
    if (c < 0x20 || c == 0x7F) throw SettingsError(std::string(field) + " holds a control character");
}

// "BaudRate_9600": the number after the first "_", if at least two characters stand
// before it; otherwise the default.
DWORD BaudRateFromField(const std::wstring& field) {
  std::size_t underscore = field.find(L'_');
  if (underscore == std::wstring::npos || underscore < 2) return SerialPortSettings::kDefaultBaudRate;
  return ParseLeadingNumber(field.substr(underscore + 1), 0xFFFFFFFFu);
}

}  // namespace

void SerialPortSettings::SetSettingsString(const std::wstring& settings) {
  auto fields = SplitFields(settings);
  CheckPrintable(fields[0], "port name");
  std::wstring name = L"\\\\.\\" + fields[0];
  CheckLength(name, kMaxPortName, "port name");
  DWORD baud = fields.size() >= 2 ? BaudRateFromField(fields[1]) : kDefaultBaudRate;
  KeepSettingsString(settings);
  SetPortName(name);
  baudRate_ = baud;
}

void LPTPortSettings::SetSettingsString(const std::wstring& settings) {
  auto fields = SplitFields(settings);
  CheckPrintable(fields[0], "port name");
  CheckLength(fields[0], kMaxPortName, "port name");
  KeepSettingsString(settings);
  SetPortName(fields[0]);
}

std::wstring TCPIPPortSettings::GetSettingsString() const {
  return std::wstring(address_.begin(), address_.end());
}

void TCPIPPortSettings::SetSettingsString(const std::wstring& settings) {
  auto fields = SplitFields(settings);
  const std::wstring& address = fields[0];
  if (address.size() > kMaxAddress)
    throw SettingsError("TCP/IP address longer than " + std::to_string(kMaxAddress) + " characters");
  std::string ansi;
  for (wchar_t c : address) {
    if (c <= 0x20 || c >= 0x7F) throw SettingsError("TCP/IP address holds a character that is not printable ASCII");
    ansi.push_back(static_cast<char>(c));
  }
  std::uint16_t port = tcpPort_;
  if (fields.size() >= 2) port = static_cast<std::uint16_t>(ParseLeadingNumber(fields[1], 0xFFFF));
  address_ = std::move(ansi);
  tcpPort_ = port;
}

void FilePortSettings::SetSettingsString(const std::wstring& settings) {
  auto fields = SplitFields(settings);
  std::wstring input = fields.size() >= 2 ? fields[1] : inputPath_;
  for (const std::wstring* path : {&fields[0], &input}) {
    CheckLength(*path, kMaxPath, "file path");
    CheckPrintable(*path, "file path");
  }
  KeepSettingsString(settings);
  outputPath_ = fields[0];
  inputPath_ = std::move(input);
}

}  // namespace Tesk::IO

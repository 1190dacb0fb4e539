// The settings classes of the five port types and their "PortSettings" grammars.
#pragma once

#include <cstdint>
#include <string>

#include "PortSettingsBase.h"
#include "UsbModelTable.h"

namespace Tesk::IO {

// "COM": port[,key_baud], e.g. COM1,BaudRate_115200. Port name "\\.\" + port.
class SerialPortSettings : public CPortSettingsBase {
 public:
  static constexpr DWORD kDefaultBaudRate = 115200;
  SerialPortSettings() : CPortSettingsBase(L"COM") {}
  std::wstring GetSettingsString() const override { return GetPortName(); }
  void SetSettingsString(const std::wstring& settings) override;
  DWORD BaudRate() const { return baudRate_; }

 private:
  DWORD baudRate_ = kDefaultBaudRate;
};

// "LPT": port, e.g. LPT1; further fields are ignored.
class LPTPortSettings : public CPortSettingsBase {
 public:
  LPTPortSettings() : CPortSettingsBase(L"LPT", L"LPT1") {}
  std::wstring GetSettingsString() const override { return GetPortName(); }
  void SetSettingsString(const std::wstring& settings) override;
};

// "USB": the string is ignored; the device is found by hardware id, chosen from the
// printer's model name by the engine.
class USBPortSettings : public CPortSettingsBase {
 public:
  static constexpr std::size_t kMaxText = 254;
  static constexpr const wchar_t* kDefaultHardwareIdMatch = kDefaultHardwareId;
  // Not in the model table, so it agrees with the default match text.
  static constexpr const wchar_t* kDefaultModelName = L"GX-50";

  USBPortSettings() : CPortSettingsBase(L"USB") {}
  std::wstring GetSettingsString() const override { return L"Auto"; }
  void SetSettingsString(const std::wstring&) override {}

  const std::wstring& HardwareIdMatch() const { return hardwareIdMatch_; }
  const std::wstring& EnumeratorName() const { return enumeratorName_; }
  const std::wstring& ModelName() const { return modelName_; }
  // Both cut the text to 254 characters; model names come from a fixed list.
  void SetHardwareIdMatch(const std::wstring& text) { hardwareIdMatch_ = text.substr(0, kMaxText); }
  // The engine hands over its model name; the match text follows from the model table.
  void SetModelName(const std::wstring& name) {
    modelName_ = name.substr(0, kMaxText);
    hardwareIdMatch_ = HardwareIdForModel(modelName_);
  }

 private:
  std::wstring hardwareIdMatch_ = kDefaultHardwareIdMatch;
  std::wstring enumeratorName_ = L"USBPRINT";
  std::wstring modelName_ = kDefaultModelName;
};

// "TCP/IP": address[,port], e.g. 192.168.1.100,9100. The string itself is not kept.
class TCPIPPortSettings : public CPortSettingsBase {
 public:
  static constexpr std::size_t kMaxAddress = 19;
  static constexpr const char* kDefaultAddress = "192.168.1.100";
  static constexpr std::uint16_t kDefaultTcpPort = 9100;

  TCPIPPortSettings() : CPortSettingsBase(L"TCP/IP") {}
  std::wstring GetSettingsString() const override;
  // Refuses an address longer than 19 characters or holding anything but printable
  // ASCII (it could not be stored or converted), and a port number above 65535.
  void SetSettingsString(const std::wstring& settings) override;
  const std::string& Address() const { return address_; }
  std::uint16_t TcpPort() const { return tcpPort_; }

 private:
  std::string address_ = kDefaultAddress;
  std::uint16_t tcpPort_ = kDefaultTcpPort;
};

// "FILE": output path[,input path]. Paths of at most 254 characters each.
class FilePortSettings : public CPortSettingsBase {
 public:
  static constexpr std::size_t kMaxPath = 254;
  FilePortSettings() : CPortSettingsBase(L"FILE") {}
  std::wstring GetSettingsString() const override { return outputPath_ + L"," + inputPath_; }
  void SetSettingsString(const std::wstring& settings) override;
  const std::wstring& OutputPath() const { return outputPath_; }
  const std::wstring& InputPath() const { return inputPath_; }

 private:
  std::wstring outputPath_;
  std::wstring inputPath_;
};

}  // namespace Tesk::IO

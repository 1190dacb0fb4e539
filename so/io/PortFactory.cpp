#include "PortFactory.h"

#include "FilePort.h"
#include "LPTPort.h"
#include "SerialPort.h"
#include "TCPIPPort.h"
#include "USBPort.h"

namespace Tesk::IO {

namespace {

template <class Port, class Settings>
std::unique_ptr<IPort> Make(const IPortSettings& settings) {
  auto* typed = dynamic_cast<const Settings*>(&settings);
  if (typed == nullptr) throw kUnknownPortType;
  return std::make_unique<Port>(*typed);
}

}  // namespace

std::unique_ptr<IPortSettings> CreatePortSettings(const std::wstring& portType) {
  if (portType == L"COM") return std::make_unique<SerialPortSettings>();
  if (portType == L"USB") return std::make_unique<USBPortSettings>();
  if (portType == L"LPT") return std::make_unique<LPTPortSettings>();
  if (portType == L"TCP/IP") return std::make_unique<TCPIPPortSettings>();
  if (portType == L"FILE") return std::make_unique<FilePortSettings>();
  throw kUnknownPortType;
}

std::unique_ptr<IPort> CreatePort(const IPortSettings& settings) {
  const std::wstring type = settings.GetPortType();
  if (type == L"COM") return Make<SerialPort, SerialPortSettings>(settings);
  if (type == L"USB") return Make<USBPort, USBPortSettings>(settings);
  if (type == L"LPT") return Make<LPTPort, LPTPortSettings>(settings);
  if (type == L"TCP/IP") return Make<TCPIPPort, TCPIPPortSettings>(settings);
  if (type == L"FILE") return Make<FilePort, FilePortSettings>(settings);
  throw kUnknownPortType;
}

}  // namespace Tesk::IO

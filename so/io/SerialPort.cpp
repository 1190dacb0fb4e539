#include "SerialPort.h"

#include <cwchar>
#include <termios.h>

#include "CustomBaud.h"
#include "PortErrors.h"

namespace Tesk::IO {

SerialPort::SerialPort(const SerialPortSettings& settings) : settings_(settings) {
  SetSettingsPointer(&settings_);
  SetOverlapped(false);
  SetDevicePath(settings_.GetPortName());
}

void SerialPort::RefreshDevice() { SetDevicePath(settings_.GetPortName()); }

DWORD SerialPort::WriteMultiplierFor(DWORD baudRate, DWORD current) {
  if (baudRate >= 19200) return 1;
  if (baudRate >= 4801) return 2;
  if (baudRate >= 2401) return 3;
  if (baudRate >= 1) return 5;
  return current;
}

DWORD SerialPort::WriteTimeLimit(LONG length) {
  return CSystemPort::WriteTimeLimit(length) + writeMultiplier_ * static_cast<DWORD>(length < 0 ? 0 : length);
}

void SerialPort::ConfigureOpenedPort() {
  const DWORD baud = settings_.BaudRate();
  const bool loaded = LoadCommState();
  const DWORD loadError = GetLastError();
  if (loaded) {
    termios& line = CommState();
    cfmakeraw(&line);
    line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
    line.c_cflag |= CS8 | CREAD | CLOCAL | CRTSCTS;
    line.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    // Raw 8N1 and the handshake always go to the line. A speed of 0 is left out:
    // Windows refuses it, and on a terminal it would hang the line up.
    ApplyCommState();
    if (baud != 0) SetLineSpeed(Fd(), baud);
    LoadCommState();
    tcflush(Fd(), TCIOFLUSH);
  }
  if (!loaded) {
    // The time-outs of a terminal live in its line settings: without them there are none.
    wchar_t text[kMaxErrorText + 1];
    std::swprintf(text, kMaxErrorText + 1,
                  L"SerialPort::SetupTimeouts - Unable to obtain timeout information. ErrorCode:%d(%2X)",
                  static_cast<int>(loadError), static_cast<unsigned>(loadError));
    SetError(static_cast<LONG>(loadError), text);
    return;
  }
  std::uint32_t actual = 0;
  if (baud != 0 && GetLineSpeed(Fd(), &actual)) writeMultiplier_ = WriteMultiplierFor(actual, writeMultiplier_);
}

}  // namespace Tesk::IO

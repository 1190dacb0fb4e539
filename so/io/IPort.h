// A transport to one printer: open, close, write and read, with a kept error.
#pragma once

#include <string>

#include "IPortSettings.h"
#include "platform/wintypes.h"

namespace Tesk::IO {

class IPort;

// Completion of a BeginReadEx read: the port, the read's buffer and the bytes it got.
using ReadCallback = void (*)(IPort* port, BYTE* buffer, DWORD bytesTransferred);
// Completion of a TCP/IP StartReceive: (count, 0, count, the port's read context).
using ReceiveCallback = void (*)(DWORD count, DWORD error, DWORD bytesTransferred, void* context);

// Slot order is fixed (26 slots, then the destructor); ports are deleted through IPort.
// Results are 1/true for success and 0/false for failure; nothing throws. The engine
// serialises calls on one port with its port lock (CPrinterPort); only SetCancel and
// CancelReceive may come from another thread.
class IPort {
 public:
  virtual IPortSettings* GetSettings() = 0;
  // Open, then Close; returns what Open returned.
  virtual bool TestOpen() = 0;
  // 1 when a USB port found its device through the alternate hardware id.
  virtual LONG IsAlternateDevice() = 0;
  virtual LONG IsOpen() = 0;
  // Opens the device; on failure GetSystemError tells why.
  virtual bool Open() = 0;
  virtual void Close() = 0;
  // Writes length bytes from data + offset in one attempt; a short write is a failure.
  // A length of 0 returns false without touching the device.
  virtual bool Write(const BYTE* data, LONG offset, LONG length) = 0;
  // Blocking receive (TCP/IP only); other ports do nothing.
  virtual void StartReceive(BYTE* buffer, LONG length, ReceiveCallback callback) = 0;
  virtual void CancelReceive() = 0;
  // Reads into buffer + offset in chunks of at most 128 bytes. With waitAll it keeps
  // trying (five attempts) until length bytes arrived; without, it returns after the
  // first attempt. Each attempt waits the port type's limit (2000 ms with wait-all and
  // 200 ms without on USB; the line time-outs on serial and parallel ports; the read
  // time-out on TCP/IP). *bytesRead gets what arrived either way.
  virtual bool Read(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL waitAll) = 0;
  // One read attempt; the last argument is ignored.
  virtual bool ReadOnce(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL ignored) = 0;
  virtual LONG IsNotifyEnabled() = 0;
  virtual void SetNotifyEnabled(LONG enabled) = 0;
  // Starts a read whose completion goes to OnReadComplete (buffer must stay valid).
  virtual bool BeginReadEx(BYTE* buffer, LONG offset, LONG length) = 0;
  virtual void OnReadComplete(DWORD errorCode, DWORD bytesTransferred, void* context) = 0;
  // Does nothing in every port; called before a request/response exchange.
  virtual void DiscardInput() = 0;
  virtual void SetReadCallback(ReadCallback callback) = 0;
  // The calling thread's Win32 last error.
  virtual DWORD GetSystemError() = 0;
  virtual std::wstring GetErrorText() = 0;
  virtual LONG GetErrorCode() = 0;
  virtual LONG GetCancel(LONG* cancel) = 0;
  // Non-zero makes writes and reads stop before their next system call.
  virtual LONG SetCancel(LONG cancel) = 0;
  // Renews the device path from the settings.
  virtual void RefreshDevice() = 0;
  // Called by Open right after the device is opened (line settings, time-outs, probe).
  virtual void ConfigureOpenedPort() = 0;
  // Terminal line settings of an open serial device; false when none.
  virtual bool LoadCommState() = 0;
  virtual void ApplyCommState() = 0;
  virtual ~IPort() = default;
};

}  // namespace Tesk::IO

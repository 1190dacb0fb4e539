// The engine's holder of its port: every exchange with the printer goes through its lock.
#pragma once

#include <memory>
#include <string>

#include "IPort.h"
#include "platform/sync.h"

namespace Tesk::Printer {

// Shared by the engine, its worker and queued jobs. Open, Write, Read and ReadOnce
// never wait for the port lock: each tries it once and fails when another thread holds
// it. The lock is recursive, so a thread that holds it (through Lock or TryLock, for a
// whole request-and-reply exchange or for claim and release) always passes.
class CPrinterPort {
 public:
  explicit CPrinterPort(std::shared_ptr<IO::IPort> port);
  CPrinterPort(const CPrinterPort&) = delete;
  CPrinterPort& operator=(const CPrinterPort&) = delete;

  // The port's Open; when the lock is busy, *resultCode = OPOS_E_BUSY (113) and false.
  bool Open(LONG* resultCode);
  // The port's operation when the lock is free to this thread and the port is open,
  // else false.
  bool Write(const BYTE* data, LONG offset, LONG length);
  bool Read(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL waitAll);
  bool ReadOnce(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL flag);
  // The settings' "PortType" name; empty without a port.
  std::wstring GetPortType() const;

  IO::IPort* GetPort() const { return port_.get(); }
  const std::shared_ptr<IO::IPort>& SharedPort() const { return port_; }

  // The port lock itself, for the engine's longer holds. Every Lock or successful
  // TryLock needs one Unlock on the same thread.
  void Lock() { lock_.Enter(); }
  bool TryLock() { return lock_.TryEnter(); }
  void Unlock() { lock_.Leave(); }

 private:
  std::shared_ptr<IO::IPort> port_;
  platform::CriticalSection lock_;
};

}  // namespace Tesk::Printer

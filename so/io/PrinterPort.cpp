#include "PrinterPort.h"

#include "OposConstants.h"

namespace Tesk::Printer {

namespace {

// Holds the port lock for one operation when it could be taken without waiting.
class TryGuard {
 public:
  explicit TryGuard(platform::CriticalSection& lock) : lock_(lock), held_(lock.TryEnter()) {}
  ~TryGuard() {
    if (held_) lock_.Leave();
  }
  TryGuard(const TryGuard&) = delete;
  TryGuard& operator=(const TryGuard&) = delete;
  bool Held() const { return held_; }

 private:
  platform::CriticalSection& lock_;
  bool held_;
};

}  // namespace

CPrinterPort::CPrinterPort(std::shared_ptr<IO::IPort> port) : port_(std::move(port)) {}

bool CPrinterPort::Open(LONG* resultCode) {
  TryGuard guard(lock_);
  if (!guard.Held()) {
    if (resultCode) *resultCode = OPOS_E_BUSY;
    return false;
  }
  return port_ && port_->Open();
}

bool CPrinterPort::Write(const BYTE* data, LONG offset, LONG length) {
  TryGuard guard(lock_);
  return guard.Held() && port_ && port_->IsOpen() && port_->Write(data, offset, length);
}

bool CPrinterPort::Read(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL waitAll) {
  TryGuard guard(lock_);
  return guard.Held() && port_ && port_->IsOpen() && port_->Read(buffer, offset, length, bytesRead, waitAll);
}

bool CPrinterPort::ReadOnce(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL flag) {
  TryGuard guard(lock_);
  return guard.Held() && port_ && port_->IsOpen() && port_->ReadOnce(buffer, offset, length, bytesRead, flag);
}

std::wstring CPrinterPort::GetPortType() const {
  return port_ && port_->GetSettings() ? port_->GetSettings()->GetPortType() : std::wstring();
}

}  // namespace Tesk::Printer

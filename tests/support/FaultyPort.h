// A port wrapper that injects transport faults, scripted call by call, around any real port
// (a TCP/IP, serial, file or fake port): short writes, I/O errors, EAGAIN, time-outs, a
// connection that drops after N bytes, reads that stay silent. Calls with no fault scripted
// go to the real port unchanged.
#pragma once

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "IPort.h"
#include "platform/wintypes.h"

namespace zanth::test {

class FaultyPort : public Tesk::IO::IPort {
 public:
  enum class WriteFault {
    kShort,    // the first `bytes` bytes reach the printer, then the write fails
    kIoError,  // nothing is written; the write fails as with EIO
    kAgain,    // nothing is written; the device would block (EAGAIN)
    kTimeout,  // nothing is written until `delayMs` passed; then the write times out
  };
  enum class ReadFault {
    kSilent,   // the read waits `delayMs` and gets nothing
    kIoError,  // the read fails as with EIO
  };

  explicit FaultyPort(std::unique_ptr<Tesk::IO::IPort> real) : real_(std::move(real)) {}

  // Scripts the next write (calls are consumed in order).
  void FailNextWrite(WriteFault fault, LONG bytes = 0, DWORD delayMs = 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    writes_.push_back({fault, bytes, delayMs});
  }
  void FailNextRead(ReadFault fault, DWORD delayMs = 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    reads_.push_back({fault, delayMs});
  }
  // After `bytes` more bytes the connection drops: the real port is closed and every write
  // fails until the port is opened again.
  void DisconnectAfter(LONG bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    disconnectAfter_ = bytes;
  }
  // Bytes that reached the real port through this wrapper.
  LONG BytesDelivered() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return delivered_;
  }

  // IPort
  Tesk::IO::IPortSettings* GetSettings() override { return real_->GetSettings(); }
  bool TestOpen() override { return real_->TestOpen(); }
  LONG IsAlternateDevice() override { return real_->IsAlternateDevice(); }
  LONG IsOpen() override { return dropped_ ? 0 : real_->IsOpen(); }
  bool Open() override {
    dropped_ = false;
    return real_->Open();
  }
  void Close() override { real_->Close(); }

  bool Write(const BYTE* data, LONG offset, LONG length) override {
    Scripted<WriteFault> fault;
    LONG room = -1;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (dropped_) return Fail(ERROR_BROKEN_PIPE, L"the connection was dropped");
      if (!writes_.empty()) {
        fault = writes_.front();
        writes_.pop_front();
      }
      room = disconnectAfter_;
    }
    if (fault.active) {
      switch (fault.kind) {
        case WriteFault::kShort: {
          const LONG part = std::min(fault.bytes, length);
          if (part > 0 && real_->Write(data, offset, part)) Count(part);
          return Fail(ERROR_WRITE_FAULT, L"short write: " + std::to_wstring(part) + L" of " +
                                             std::to_wstring(length) + L" bytes");
        }
        case WriteFault::kIoError: return Fail(ERROR_GEN_FAILURE, L"write failed: Input/output error");
        case WriteFault::kAgain: return Fail(ERROR_IO_PENDING, L"write failed: Resource temporarily unavailable");
        case WriteFault::kTimeout:
          std::this_thread::sleep_for(std::chrono::milliseconds(fault.delayMs));
          return Fail(ERROR_TIMEOUT, L"write timed out");
      }
    }
    if (room >= 0 && length > room) {  // the connection drops inside this write
      if (room > 0 && real_->Write(data, offset, room)) Count(room);
      real_->Close();
      std::lock_guard<std::mutex> lock(mutex_);
      dropped_ = true;
      disconnectAfter_ = -1;
      return Fail(ERROR_BROKEN_PIPE, L"the connection was dropped");
    }
    if (!real_->Write(data, offset, length)) return Passed(false);
    Count(length);
    return Passed(true);
  }

  void StartReceive(BYTE* buffer, LONG length, Tesk::IO::ReceiveCallback callback) override {
    real_->StartReceive(buffer, length, callback);
  }
  void CancelReceive() override { real_->CancelReceive(); }
  bool Read(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL waitAll) override {
    if (ReadFaulted(bytesRead)) return false;
    return Passed(real_->Read(buffer, offset, length, bytesRead, waitAll));
  }
  bool ReadOnce(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL ignored) override {
    if (ReadFaulted(bytesRead)) return false;
    return Passed(real_->ReadOnce(buffer, offset, length, bytesRead, ignored));
  }
  LONG IsNotifyEnabled() override { return real_->IsNotifyEnabled(); }
  void SetNotifyEnabled(LONG enabled) override { real_->SetNotifyEnabled(enabled); }
  bool BeginReadEx(BYTE* buffer, LONG offset, LONG length) override { return real_->BeginReadEx(buffer, offset, length); }
  void OnReadComplete(DWORD error, DWORD bytes, void* context) override { real_->OnReadComplete(error, bytes, context); }
  void DiscardInput() override { real_->DiscardInput(); }
  void SetReadCallback(Tesk::IO::ReadCallback callback) override { real_->SetReadCallback(callback); }
  DWORD GetSystemError() override { return faulted_ ? static_cast<DWORD>(errorCode_) : real_->GetSystemError(); }
  std::wstring GetErrorText() override { return faulted_ ? errorText_ : real_->GetErrorText(); }
  LONG GetErrorCode() override { return faulted_ ? errorCode_ : real_->GetErrorCode(); }
  LONG GetCancel(LONG* cancel) override { return real_->GetCancel(cancel); }
  LONG SetCancel(LONG cancel) override { return real_->SetCancel(cancel); }
  void RefreshDevice() override { real_->RefreshDevice(); }
  void ConfigureOpenedPort() override { real_->ConfigureOpenedPort(); }
  bool LoadCommState() override { return real_->LoadCommState(); }
  void ApplyCommState() override { real_->ApplyCommState(); }

 private:
  template <typename Kind>
  struct Scripted {
    Kind kind{};
    LONG bytes = 0;
    DWORD delayMs = 0;
    bool active = false;
    Scripted() = default;
    Scripted(Kind k, LONG b, DWORD d) : kind(k), bytes(b), delayMs(d), active(true) {}
    Scripted(Kind k, DWORD d) : kind(k), delayMs(d), active(true) {}
  };

  bool ReadFaulted(LONG* bytesRead) {
    Scripted<ReadFault> fault;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (reads_.empty()) return false;
      fault = reads_.front();
      reads_.pop_front();
    }
    if (bytesRead) *bytesRead = 0;
    if (fault.kind == ReadFault::kSilent) {
      std::this_thread::sleep_for(std::chrono::milliseconds(fault.delayMs));
      Fail(ERROR_TIMEOUT, L"read timed out");
    } else {
      Fail(ERROR_READ_FAULT, L"read failed: Input/output error");
    }
    return true;
  }
  void Count(LONG bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    delivered_ += bytes;
    if (disconnectAfter_ >= 0) disconnectAfter_ -= bytes;
  }
  bool Fail(LONG code, std::wstring text) {
    faulted_ = true;
    errorCode_ = code;
    errorText_ = std::move(text);
    return false;
  }
  bool Passed(bool result) {
    faulted_ = false;
    return result;
  }

  std::unique_ptr<Tesk::IO::IPort> real_;
  mutable std::mutex mutex_;
  std::deque<Scripted<WriteFault>> writes_;
  std::deque<Scripted<ReadFault>> reads_;
  LONG disconnectAfter_ = -1;
  LONG delivered_ = 0;
  bool dropped_ = false;
  bool faulted_ = false;
  LONG errorCode_ = 0;
  std::wstring errorText_;
};

}  // namespace zanth::test

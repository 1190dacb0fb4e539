// A scripted printer port for engine tests: records every write and answers from a
// responder, the way a printer answers a request.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <stdexcept>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "IPort.h"
#include "IPortSettings.h"

namespace zanth::test {

class FakePortSettings : public Tesk::IO::IPortSettings {
 public:
  explicit FakePortSettings(std::wstring type) : type_(std::move(type)) {}
  std::wstring GetSettingsString() const override { return L""; }
  void SetSettingsString(const std::wstring&) override {}
  std::wstring GetPortName() const override { return L"fake"; }
  std::wstring GetPortType() const override { return type_; }
  LONG GetInputBufferSize() const override { return 2048; }
  LONG GetOutputBufferSize() const override { return 2048; }
  LONG GetWriteTimeout() const override { return 1000; }
  LONG GetReadTimeout() const override { return 1000; }

 private:
  std::wstring type_;
};

class FakePort : public Tesk::IO::IPort {
 public:
  using Bytes = std::vector<BYTE>;
  // Called with each written block; returns the bytes the printer answers with.
  using Responder = std::function<Bytes(const Bytes& written)>;

  explicit FakePort(std::wstring type = L"FILE") : settings_(std::move(type)) {}

  // Test controls.
  void SetResponder(Responder responder) {
    std::lock_guard<std::mutex> lock(mutex_);
    responder_ = std::move(responder);
  }
  void QueueReply(const Bytes& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  }
  // At most this many bytes reach one read (replies arriving in pieces).
  void SetMaxPerRead(LONG bytes) { maxPerRead_ = bytes; }
  void SetOpenFails(bool fails) { openFails_ = fails; }
  void SetWriteFails(bool fails) { writeFails_ = fails; }
  void SetWriteThrows(bool throws) { writeThrows_ = throws; }
  // While held, a write waits (a printer that stopped taking bytes) until released.
  void HoldWrites(bool held) {
    std::lock_guard<std::mutex> lock(mutex_);
    writesHeld_ = held;
    writesReleased_.notify_all();
  }
  int WritesWaiting() const { return writesWaiting_.load(); }
  void SetAlternateDevice(LONG alternate) { alternate_ = alternate; }
  Bytes Written() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
  }
  std::vector<Bytes> Blocks() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return blocks_;
  }
  void ClearWritten() {
    std::lock_guard<std::mutex> lock(mutex_);
    written_.clear();
    blocks_.clear();
  }
  int OpenCount() const { return openCount_; }
  int CloseCount() const { return closeCount_; }

  // IPort
  Tesk::IO::IPortSettings* GetSettings() override { return &settings_; }
  bool TestOpen() override {
    const bool opened = Open();
    Close();
    return opened;
  }
  LONG IsAlternateDevice() override { return alternate_; }
  LONG IsOpen() override { return open_; }
  bool Open() override {
    if (openFails_) return false;
    ++openCount_;
    open_ = 1;
    return true;
  }
  void Close() override {
    if (open_) ++closeCount_;
    open_ = 0;
  }
  bool Write(const BYTE* data, LONG offset, LONG length) override {
    if (writeThrows_) throw std::runtime_error("port failure");
    if (!open_ || length <= 0 || writeFails_) return false;
    Bytes block(data + offset, data + offset + length);
    std::unique_lock<std::mutex> lock(mutex_);
    ++writesWaiting_;
    writesReleased_.wait(lock, [&] { return !writesHeld_.load(); });
    --writesWaiting_;
    written_.insert(written_.end(), block.begin(), block.end());
    blocks_.push_back(block);
    if (responder_) {
      const Bytes reply = responder_(block);
      pending_.insert(pending_.end(), reply.begin(), reply.end());
    }
    return true;
  }
  void StartReceive(BYTE*, LONG, Tesk::IO::ReceiveCallback) override {}
  void CancelReceive() override {}
  bool Read(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL waitAll) override {
    const LONG got = Take(buffer + offset, length);
    if (bytesRead) *bytesRead = got;
    return waitAll ? got == length : got > 0;
  }
  bool ReadOnce(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL) override {
    const LONG got = Take(buffer + offset, length);
    if (bytesRead) *bytesRead = got;
    return open_ != 0;
  }
  LONG IsNotifyEnabled() override { return 0; }
  void SetNotifyEnabled(LONG) override {}
  bool BeginReadEx(BYTE*, LONG, LONG) override { return false; }
  void OnReadComplete(DWORD, DWORD, void*) override {}
  void DiscardInput() override {}
  void SetReadCallback(Tesk::IO::ReadCallback) override {}
  DWORD GetSystemError() override { return 0; }
  std::wstring GetErrorText() override { return L""; }
  LONG GetErrorCode() override { return 0; }
  LONG GetCancel(LONG* cancel) override {
    if (cancel) *cancel = 0;
    return 0;
  }
  LONG SetCancel(LONG) override { return 0; }
  void RefreshDevice() override {}
  void ConfigureOpenedPort() override {}
  bool LoadCommState() override { return false; }
  void ApplyCommState() override {}

 private:
  LONG Take(BYTE* to, LONG length) {
    if (!open_ || length <= 0) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    const LONG got = std::min<LONG>(std::min<LONG>(length, maxPerRead_),
                                    static_cast<LONG>(pending_.size()));
    for (LONG i = 0; i < got; ++i) {
      to[i] = pending_.front();
      pending_.pop_front();
    }
    return got;
  }

  FakePortSettings settings_;
  mutable std::mutex mutex_;
  Responder responder_;
  std::deque<BYTE> pending_;
  Bytes written_;
  std::vector<Bytes> blocks_;
  std::atomic<LONG> open_{0};
  LONG alternate_ = 0;
  LONG maxPerRead_ = 0x7FFFFFFF;
  bool openFails_ = false;
  std::atomic<bool> writeFails_{false};
  std::atomic<bool> writeThrows_{false};
  std::atomic<bool> writesHeld_{false};
  std::condition_variable writesReleased_;
  std::atomic<int> writesWaiting_{0};
  int openCount_ = 0;
  int closeCount_ = 0;
};

}  // namespace zanth::test

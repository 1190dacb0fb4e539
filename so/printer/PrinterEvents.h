// The engine's callback interface to the COM layer, and the switchable forwarder the
// engine and its worker report through.
#pragma once

#include <atomic>

#include "TaskInterfaces.h"
#include "platform/wintypes.h"

namespace Tesk::Printer {

// Implemented by the COM layer and handed to OpenServiceW. Called on the caller's
// thread or the engine's worker thread; implementations must not call back into the
// engine's lifecycle operations.
class IPrinterEventHandle {
 public:
  virtual void OnErrorEvent(const wchar_t* errorText) = 0;
  virtual void OnOutputComplete(LONG outputId) = 0;
  virtual void OnStatusUpdate(LONG status) = 0;
  // Read the printer state now (the COM layer calls GetPrinterState(false)).
  virtual LONG OnPollState() = 0;
  // A queued job that could not be written, with its own result codes (the job is held
  // until the response to the error retries or clears it).
  virtual void OnOutputError(LONG resultCode, LONG resultCodeExtended,
                             const wchar_t* errorText) = 0;

 protected:
  ~IPrinterEventHandle() = default;
};

// Forwards to the COM layer's handler only while enabled: the engine enables it when
// the device is enabled and disables it when the device is disabled, released or
// closed, so no event escapes a disabled device.
class CPrinterEventObject : public IPrinterEventHandle, public BASE::ITask2 {
 public:
  explicit CPrinterEventObject(IPrinterEventHandle* handler) : handler_(handler) {}
  virtual ~CPrinterEventObject() = default;

  void Enable(bool enabled) { enabled_.store(enabled); }
  bool IsEnabled() const { return enabled_.load(); }

  void OnErrorEvent(const wchar_t* errorText) override {
    if (enabled_.load() && handler_) handler_->OnErrorEvent(errorText);
  }
  void OnOutputComplete(LONG outputId) override {
    if (enabled_.load() && handler_) handler_->OnOutputComplete(outputId);
  }
  void OnStatusUpdate(LONG status) override {
    if (enabled_.load() && handler_) handler_->OnStatusUpdate(status);
  }
  LONG OnPollState() override {
    return enabled_.load() && handler_ ? handler_->OnPollState() : -1;
  }
  void OnOutputError(LONG resultCode, LONG resultCodeExtended,
                     const wchar_t* errorText) override {
    if (enabled_.load() && handler_) handler_->OnOutputError(resultCode, resultCodeExtended, errorText);
  }
  // The worker's idle task: ask for a state read, ignore the answer.
  void RunIdle() override {
    if (enabled_.load() && handler_) handler_->OnPollState();
  }

 private:
  IPrinterEventHandle* handler_;
  std::atomic<bool> enabled_{false};
};

}  // namespace Tesk::Printer

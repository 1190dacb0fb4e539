// An engine with the full ESC/POS builder and a scripted port, for lifecycle and
// status tests that must not depend on a model's table.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <vector>

#include "CmdHelperBase.h"
#include "FakePort.h"
#include "PrinterBase.h"
#include "PrinterPort.h"

namespace zanth::test {

class TestEngine : public Tesk::Printer::CPrinterBase {
 public:
  TestEngine() { InitCmdHelper(); }

  void UsePort(std::shared_ptr<Tesk::IO::IPort> port) {
    printerPort_ = std::make_shared<Tesk::Printer::CPrinterPort>(std::move(port));
  }
  void SetBidiAnswer(int bidi) { bidiAnswer_ = bidi; }
  void SetAsbCapable(int capable) { asbCapable_ = capable; }
  void SetQueryInfoAtClaim(int query) { queryInfoAtClaim_ = query; }
  void SetStatusMethod(BYTE method) { statusMethod_ = method; }
  void SetNearEndCheck(LONG check) { SetCapability(8525, check); }
  void SetLastStatus(const Tesk::Printer::tagPrinterStatus& status) { lastStatus_ = status; }
  void SetDrawerOpenLevel(int level) { drawerOpenLevel_ = level; }
  void SetCutFeedDistance(int hundredthsMm) { builder_.SetCutFeedDistance(hundredthsMm); }
  void SetBuzzer(int buzzer) { buzzer_ = buzzer; }

 protected:
  void InitCmdHelper() override { cmdHelper_ = &builder_; }
  int IsSupportBidi() override { return bidiAnswer_; }

 private:
  CCmdHelperBase builder_;
  int bidiAnswer_ = 1;
};

// Records the events the engine raises. The worker reports on its own thread: a test
// reads the lists only after it waited for them (WaitFor) or stopped the worker.
class RecordingEvents : public Tesk::Printer::IPrinterEventHandle {
 public:
  struct OutputError {
    LONG resultCode, resultCodeExtended;
  };
  void OnErrorEvent(const wchar_t* text) override {
    std::lock_guard<std::mutex> lock(mutex);
    errors.emplace_back(text ? text : L"");
  }
  void OnOutputComplete(LONG id) override {
    std::lock_guard<std::mutex> lock(mutex);
    outputs.push_back(id);
    changed.notify_all();
  }
  void OnStatusUpdate(LONG status) override {
    std::lock_guard<std::mutex> lock(mutex);
    statuses.push_back(status);
  }
  LONG OnPollState() override {
    ++polls;
    return 0;
  }
  void OnOutputError(LONG resultCode, LONG resultCodeExtended, const wchar_t*) override {
    std::lock_guard<std::mutex> lock(mutex);
    outputErrors.push_back({resultCode, resultCodeExtended});
    changed.notify_all();
  }
  // Waits (10 s at most) until pred() holds, pred called under the lock.
  template <class Pred>
  bool WaitFor(Pred pred) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), pred);
  }

  std::mutex mutex;
  std::condition_variable changed;
  std::atomic<int> polls{0};
  std::vector<OutputError> outputErrors;

  std::vector<std::wstring> errors;
  std::vector<LONG> outputs;
  std::vector<LONG> statuses;
};

// Answers the status reads of a claim: on-line, cover closed, paper present.
inline FakePort::Bytes HealthyPrinter(const FakePort::Bytes& request) {
  if (request.size() == 3 && request[0] == 0x10 && request[1] == 0x04) return {0x12};  // DLE EOT n
  if (request.size() == 3 && request[0] == 0x1D && request[1] == 0x72) return {0x00};  // GS r n
  return {};
}

// Opens and claims engine on a new scripted port that answers as HealthyPrinter, with a
// printer ready to print and the claim's bytes cleared: where byte-exact engine tests start.
template <class Engine>
std::shared_ptr<FakePort> OpenReadyEngine(Engine& engine, RecordingEvents& events) {
  auto port = std::make_shared<FakePort>();
  port->SetResponder(HealthyPrinter);
  engine.UsePort(port);
  LONG result = -1;
  EXPECT_EQ(engine.OpenServiceW(L"printer", &events, &result), 0);
  engine.ClaimDevice(1000, &result);
  EXPECT_EQ(result, 0);
  engine.SetLastStatus({});
  port->ClearWritten();
  return port;
}

}  // namespace zanth::test

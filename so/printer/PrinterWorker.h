// The engine's worker context as the lifecycle drives it.
//
// The lifecycle prepares the worker at open, starts or resumes it at enable, suspends
// it at disable and stops it at close; output marks a direct send so that idle polling
// keeps off the port meanwhile. The worker thread itself (queued asynchronous jobs and
// idle status polls) is not built yet: this context keeps the state those operations
// define, and its queue is always empty because nothing can queue a job yet.
#pragma once

#include <atomic>
#include <memory>

#include "platform/wintypes.h"

namespace Tesk::Printer {

class CPrinterPort;
class CPrinterEventObject;

class CPrinterTaskThreadContext {
 public:
  enum class State { Prepared, Running, Suspended, Stopped };

  CPrinterTaskThreadContext(std::shared_ptr<CPrinterPort> port,
                            std::shared_ptr<CPrinterEventObject> events)
      : port_(std::move(port)), events_(std::move(events)) {}

  void Start() { state_ = State::Running; }
  void Resume() { state_ = State::Running; }
  void Suspend() { state_ = State::Suspended; }
  void Stop() { state_ = State::Stopped; }
  State GetState() const { return state_; }

  void SetMonitoring(bool on) { monitoring_ = on; }
  bool IsMonitoring() const { return monitoring_; }
  void SetPollInterval(DWORD milliseconds) { pollInterval_ = milliseconds; }
  DWORD GetPollInterval() const { return pollInterval_; }

  void SetDirectSendMark() { directSend_ = true; }
  void ClearDirectSendMark() { directSend_ = false; }
  bool IsDirectSendMarked() const { return directSend_; }

  LONG GetQueueCount() const { return 0; }
  void ClearQueue() {}

 private:
  std::shared_ptr<CPrinterPort> port_;
  std::shared_ptr<CPrinterEventObject> events_;
  std::atomic<State> state_{State::Prepared};
  std::atomic<bool> monitoring_{false};
  std::atomic<DWORD> pollInterval_{100};
  std::atomic<bool> directSend_{false};
};

}  // namespace Tesk::Printer

// The state machine both background threads share: the engine's worker and the COM
// layer's event thread. A derived class supplies the work (HasWork, RunOne, OnIdle);
// this class owns the thread and its start, suspend-with-acknowledgement, resume, stop
// and restart rules, so they hold for both threads alike.
//
// Threads: the control operations may be called from any thread, also from the
// thread itself (a callback that disables or freezes); they never wait for the thread
// from inside it. The hooks run on the thread only.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/com.h"
#include "platform/sync.h"
#include "platform/wintypes.h"

namespace Tesk::BASE {

class CTaskThread {
 public:
  enum State : int { kCreated = 0, kPrepared = 1, kRunning = 2, kSuspended = 3, kStopped = 4 };

  struct Timing {
    DWORD pauseBeforeTaskMs;  // every task starts at least this long after the last one
    DWORD idleWaitMs;         // how long an idle thread waits before OnIdle again
    DWORD suspendAckMs;       // how long Suspend waits for the acknowledgement
    // An unacknowledged suspend stops the thread (the event thread) or is taken as done
    // (the worker, whose thread then holds before its next task).
    bool stopWhenSuspendTimesOut;
  };

  explicit CTaskThread(Timing timing) : timing_(timing) {}
  virtual ~CTaskThread();
  CTaskThread(const CTaskThread&) = delete;
  CTaskThread& operator=(const CTaskThread&) = delete;

  // created -> prepared; later calls change nothing.
  void Prepare();
  // E_UNEXPECTED while created. Clears a stop or suspend request and lets the thread
  // run; a thread that is still ending from an earlier stop is kept rather than joined
  // by a second one, and a thread that ended is replaced. State running.
  HRESULT Start();
  HRESULT Resume() { return Start(); }
  // Holds the thread before its next task. Nothing without a thread or when suspended.
  // Returns whether the thread acknowledged; from the thread itself it cannot, and the
  // hold takes effect when the current task returns.
  bool Suspend();
  // Asks the thread to end after its current task. State stopped.
  void Stop();
  // Waits until the thread ended (INFINITE: without limit) and joins it. False on time-out
  // and always on the thread itself, which cannot wait for its own end.
  bool WaitStopped(DWORD milliseconds);
  // Wakes the thread because work was queued.
  void SignalWork();

  int GetState() const { return state_.load(); }
  bool HasThread() const { return hasThread_.load(); }
  bool IsCurrentThread() const { return threadId_.load() == std::this_thread::get_id(); }
  bool IsSuspendRequested() const;
  // True once the thread is asked to hold or end: a task waiting for something may give up.
  bool IsStopOrSuspendRequested() const;

 protected:
  // The hooks, called on the thread.
  virtual bool HasWork() = 0;
  virtual void RunOne() = 0;
  virtual void OnIdle() {}
  // Called on the thread after its loop ended, without the control lock.
  // Returns true when it freed this object (nothing may touch it afterwards).
  virtual bool OnThreadEnded() { return false; }
  // Stops and joins the thread; derived destructors call it before their members go.
  // A thread that destroys its own object cannot be joined and is detached instead.
  void Shutdown();
  // For OnThreadEnded before it frees the object: the thread lets go of itself.
  void ReleaseThread();
  DWORD IdleWait() const { return idleWaitMs_.load(); }
  void SetIdleWait(DWORD milliseconds) { idleWaitMs_ = milliseconds; }

 private:
  void Run();
  // Waits up to milliseconds for stop, suspend or (when wakeOnWork) work; the lock is held.
  void WaitLocked(std::unique_lock<std::mutex>& lock, DWORD milliseconds, bool wakeOnWork);

  const Timing timing_;
  std::atomic<DWORD> idleWaitMs_{timing_.idleWaitMs};
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
  bool stopRequested_ = false;
  bool suspendRequested_ = false;
  bool suspendAcknowledged_ = false;
  bool work_ = false;
  bool ended_ = true;
  std::atomic<bool> hasThread_{false};
  std::atomic<std::thread::id> threadId_{};
  std::atomic<int> state_{kCreated};
};

}  // namespace Tesk::BASE

// The owner's event queue and event thread: events reported by the engine wait in the
// queue and one thread hands them to the control objects, so the engine never blocks on
// a control object. FreezeEvents suspends the thread; disabling stops it.
//
// Threads: Push and CancelHead may be called from any thread; Start, Resume, Suspend,
// Stop and WaitStopped from the COM object's thread only. Execute runs on the event
// thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/com.h"
#include "platform/sync.h"

// One queued event.
class CTaskBase {
 public:
  virtual ~CTaskBase() = default;
  virtual int Execute() = 0;
  virtual void OnDone() {}
  virtual int GetKind() { return 0; }
  virtual void OnDropped() {}
  virtual void SetCancelled(int cancelled) { cancelled_ = cancelled; }
  bool IsCancelled() const { return cancelled_ != 0; }
  void MarkRunning() { running_ = 1; }

 protected:
  std::atomic<int> cancelled_{0};
  std::atomic<int> running_{0};
};

// The event queue. A task stays queued while it runs and is removed after its delivery
// attempt, also when it was cancelled meanwhile.
class CTaskContextBase {
 public:
  CTaskContextBase() = default;
  virtual ~CTaskContextBase();
  CTaskContextBase(const CTaskContextBase&) = delete;
  CTaskContextBase& operator=(const CTaskContextBase&) = delete;

  // Runs the head task; false when the queue was empty.
  virtual bool RunOne();
  virtual void CancelHead();

  void Push(std::unique_ptr<CTaskBase> task);
  size_t Count() const;
  // Waits up to milliseconds for a task to be queued; true when one is there.
  bool WaitForWork(DWORD milliseconds);
  // Wakes a waiting WaitForWork without a task (used to stop the thread).
  void Wake();

 private:
  mutable std::mutex mutex_;
  std::condition_variable work_;
  std::deque<std::unique_ptr<CTaskBase>> tasks_;
  bool wake_ = false;
  bool closing_ = false;
};

// The event thread. States: 0 created, 1 prepared, 2 running, 3 suspended, 4 stopped.
class CTaskThreadBase2 {
 public:
  enum State : int { kCreated = 0, kPrepared = 1, kRunning = 2, kSuspended = 3, kStopped = 4 };
  // Tasks are run at least this far apart, so a control object is never flooded.
  static constexpr DWORD kDeliveryPauseMs = 100;

  CTaskThreadBase2() = default;
  virtual ~CTaskThreadBase2();
  CTaskThreadBase2(const CTaskThreadBase2&) = delete;
  CTaskThreadBase2& operator=(const CTaskThreadBase2&) = delete;

  virtual void Prepare(CTaskContextBase* context);
  // E_UNEXPECTED before Prepare. Creates the thread when there is none.
  HRESULT Start();
  HRESULT Resume() { return Start(); }
  // Holds delivery; when the thread does not acknowledge within 3000 ms it is stopped.
  void Suspend();
  // Asks the thread to end; it finishes the task it is delivering first.
  void Stop();
  // True when the thread has ended within the time (INFINITE waits without limit). A
  // thread that ended is joined; one that did not is left detached to finish later.
  bool WaitStopped(DWORD milliseconds);
  // For an owner destroyed on the event thread itself (its control object released it
  // from inside a callback): the thread frees itself and the queue once its loop ends.
  // Call only on the event thread.
  void FreeWhenEnded(CTaskContextBase* context);
  // Both may be asked on the event thread itself (a control object closing from inside
  // its callback), so they read atomics, not the std::thread the owner's thread assigns.
  bool HasThread() const { return hasThread_; }
  bool IsCurrentThread() const { return threadId_.load() == std::this_thread::get_id(); }
  int GetState() const { return state_; }

 private:
  void Run();

  CTaskContextBase* context_ = nullptr;
  std::thread thread_;
  std::atomic<bool> hasThread_{false};
  std::atomic<std::thread::id> threadId_{};
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopRequested_ = false;
  bool suspendRequested_ = false;
  bool suspendAcknowledged_ = false;
  bool ended_ = true;
  bool freeWhenEnded_ = false;
  CTaskContextBase* ownedContext_ = nullptr;
  std::atomic<int> state_{kCreated};
};

// The owner's event queue and event thread: events reported by the engine wait in the
// queue and one thread hands them to the control objects, so the engine never blocks on
// a control object. FreezeEvents suspends the thread; disabling stops it. The thread's
// start, suspend, resume, stop and restart rules are the shared ones of CTaskThread.
//
// Threads: Push, CancelHead and DropPending may be called from any thread; the control
// operations from any thread too, also from the event thread inside a delivery, where
// they never wait for the thread itself. Execute runs on the event thread.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

#include "TaskThread.h"
#include "platform/com.h"
#include "platform/sync.h"

// One queued event.
class CTaskBase {
 public:
  virtual ~CTaskBase() = default;
  // 0: not delivered yet (the thread is asked to hold or end first); the task stays at
  // the head for the next attempt unless it was cancelled meanwhile.
  virtual int Execute() = 0;
  virtual void OnDone() {}
  virtual int GetKind() { return 0; }
  virtual void OnDropped() {}
  virtual void SetCancelled(int cancelled) { cancelled_ = cancelled; }
  bool IsCancelled() const { return cancelled_ != 0; }
  void MarkRunning() { running_ = 1; }
  void ClearRunning() { running_ = 0; }
  bool IsRunning() const { return running_ != 0; }

 protected:
  std::atomic<int> cancelled_{0};
  std::atomic<int> running_{0};
};

class CTaskThreadBase2;

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
  // Cancels a task being delivered and drops every other one (disabling: nothing queued
  // before it may be delivered after the next enable).
  void DropPending();

  void Push(std::unique_ptr<CTaskBase> task);
  size_t Count() const;
  // The thread Push wakes (set by CTaskThreadBase2::Prepare).
  void LinkThread(CTaskThreadBase2* thread) { thread_ = thread; }

 private:
  mutable std::mutex mutex_;
  std::deque<std::unique_ptr<CTaskBase>> tasks_;
  std::atomic<CTaskThreadBase2*> thread_{nullptr};
  bool closing_ = false;
};

// The event thread: tasks at least 100 ms apart, an idle wait of 2000 ms, and a suspend
// that is not acknowledged within 3000 ms stops the thread instead.
class CTaskThreadBase2 final : public Tesk::BASE::CTaskThread {
 public:
  static constexpr DWORD kDeliveryPauseMs = 100;

  CTaskThreadBase2() : CTaskThread(Timing{kDeliveryPauseMs, 2000, 3000, true}) {}
  ~CTaskThreadBase2() override;

  void Prepare(CTaskContextBase* context);
  // For an owner destroyed on the event thread itself (its control object released it
  // from inside a callback): the thread frees itself and the queue once its loop ends.
  // Call only on the event thread.
  void FreeWhenEnded(CTaskContextBase* context);

 protected:
  bool HasWork() override { return context_ && context_->Count() != 0; }
  void RunOne() override {
    if (context_) context_->RunOne();
  }
  bool OnThreadEnded() override;

 private:
  CTaskContextBase* context_ = nullptr;
  std::atomic<CTaskContextBase*> ownedContext_{nullptr};
  std::atomic<bool> freeWhenEnded_{false};
};

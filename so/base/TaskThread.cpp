#include "TaskThread.h"

#include <chrono>

namespace Tesk::BASE {

CTaskThread::~CTaskThread() { Shutdown(); }

void CTaskThread::Prepare() {
  int created = kCreated;
  state_.compare_exchange_strong(created, kPrepared);
}

HRESULT CTaskThread::Start() {
  if (state_.load() == kCreated) return E_UNEXPECTED;
  std::thread ended;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopRequested_ = false;
    suspendRequested_ = false;
    suspendAcknowledged_ = false;
    if (ended_) {
      // No thread, or one that finished: a new one takes over the queue. A thread that
      // is still ending was told above to go on, so a queue never has two.
      ended = std::move(thread_);
      ended_ = false;
      hasThread_ = true;
      thread_ = std::thread([this] { Run(); });
    }
    state_ = kRunning;
  }
  changed_.notify_all();
  if (ended.joinable()) {
    if (ended.get_id() == std::this_thread::get_id()) ended.detach();
    else ended.join();
  }
  return S_OK;
}

bool CTaskThread::Suspend() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (ended_ || state_.load() == kSuspended) return false;
  suspendAcknowledged_ = false;
  suspendRequested_ = true;
  changed_.notify_all();
  if (IsCurrentThread()) {
    state_ = kSuspended;
    return false;
  }
  const bool acknowledged =
      changed_.wait_for(lock, std::chrono::milliseconds(timing_.suspendAckMs),
                        [&] { return suspendAcknowledged_ || ended_ || stopRequested_; }) &&
      suspendAcknowledged_;
  if (!acknowledged && timing_.stopWhenSuspendTimesOut) {
    stopRequested_ = true;
    changed_.notify_all();
    state_ = kStopped;
    return false;
  }
  state_ = kSuspended;
  return acknowledged;
}

void CTaskThread::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopRequested_ = true;
    if (state_.load() != kCreated) state_ = kStopped;
  }
  changed_.notify_all();
}

bool CTaskThread::WaitStopped(DWORD milliseconds) {
  if (IsCurrentThread()) return false;
  std::thread ended;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    auto done = [&] { return ended_; };
    if (milliseconds == INFINITE) {
      changed_.wait(lock, done);
    } else if (!changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), done)) {
      return false;
    }
    ended = std::move(thread_);
    hasThread_ = false;
  }
  if (ended.joinable()) ended.join();
  return true;
}

void CTaskThread::SignalWork() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    work_ = true;
  }
  changed_.notify_all();
}

bool CTaskThread::IsSuspendRequested() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return suspendRequested_;
}

bool CTaskThread::IsStopOrSuspendRequested() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopRequested_ || suspendRequested_;
}

void CTaskThread::Shutdown() {
  Stop();
  if (IsCurrentThread()) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (thread_.joinable()) thread_.detach();
    hasThread_ = false;
    return;
  }
  WaitStopped(INFINITE);
}

void CTaskThread::ReleaseThread() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (thread_.joinable()) thread_.detach();
  hasThread_ = false;
  ended_ = true;
}

void CTaskThread::WaitLocked(std::unique_lock<std::mutex>& lock, DWORD milliseconds,
                             bool wakeOnWork) {
  changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] {
    return stopRequested_ || suspendRequested_ || (wakeOnWork && work_);
  });
}

void CTaskThread::Run() {
  threadId_ = std::this_thread::get_id();
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (stopRequested_) break;
    if (suspendRequested_) {
      if (!suspendAcknowledged_) {
        suspendAcknowledged_ = true;
        changed_.notify_all();
      }
      changed_.wait(lock, [&] { return stopRequested_ || !suspendRequested_; });
      continue;
    }
    // Cleared before looking at the queue: work queued from here on wakes the wait below.
    work_ = false;
    lock.unlock();
    const bool hasWork = HasWork();
    if (!hasWork) OnIdle();
    lock.lock();
    if (!hasWork) {
      WaitLocked(lock, idleWaitMs_.load(), true);
      continue;
    }
    WaitLocked(lock, timing_.pauseBeforeTaskMs, false);
    if (stopRequested_ || suspendRequested_) continue;
    lock.unlock();
    if (HasWork()) {
      try {
        RunOne();
      } catch (...) {
        // A failing task must not end the thread.
      }
    }
    lock.lock();
  }
  lock.unlock();
  threadId_ = std::thread::id();
  if (OnThreadEnded()) return;  // the object freed itself
  lock.lock();
  ended_ = true;
  changed_.notify_all();
}

}  // namespace Tesk::BASE

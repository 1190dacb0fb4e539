#include "EventThread.h"

#include <chrono>

CTaskContextBase::~CTaskContextBase() {
  std::lock_guard<std::mutex> lock(mutex_);
  closing_ = true;
  for (auto& task : tasks_) task->SetCancelled(1);
  tasks_.clear();
}

void CTaskContextBase::Push(std::unique_ptr<CTaskBase> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) return;
    tasks_.push_back(std::move(task));
  }
  work_.notify_all();
}

size_t CTaskContextBase::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tasks_.size();
}

bool CTaskContextBase::WaitForWork(DWORD milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  work_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                 [&] { return !tasks_.empty() || wake_; });
  wake_ = false;
  return !tasks_.empty();
}

void CTaskContextBase::Wake() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    wake_ = true;
  }
  work_.notify_all();
}

bool CTaskContextBase::RunOne() {
  CTaskBase* head = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (tasks_.empty()) return false;
    head = tasks_.front().get();
  }
  // Pushing at the back never moves the head, so it stays valid without the lock.
  head->MarkRunning();
  try {
    head->Execute();
  } catch (...) {
    // A failing delivery must not end the event thread.
  }
  std::unique_ptr<CTaskBase> done;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!tasks_.empty() && tasks_.front().get() == head) {
      done = std::move(tasks_.front());
      tasks_.pop_front();
    }
  }
  if (done) done->OnDone();
  return true;
}

void CTaskContextBase::CancelHead() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!tasks_.empty()) tasks_.front()->SetCancelled(1);
}

CTaskThreadBase2::~CTaskThreadBase2() {
  if (thread_.joinable()) {
    Stop();
    thread_.join();
  }
  hasThread_ = false;
}

void CTaskThreadBase2::Prepare(CTaskContextBase* context) {
  context_ = context;
  if (state_ == kCreated) state_ = kPrepared;
}

HRESULT CTaskThreadBase2::Start() {
  if (state_ == kCreated || !context_) return E_UNEXPECTED;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopRequested_ = false;
    suspendRequested_ = false;
    suspendAcknowledged_ = false;
  }
  changed_.notify_all();
  if (!hasThread_) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ended_ = false;
    }
    hasThread_ = true;
    // The thread records its own id first thing, so IsCurrentThread never depends on
    // when this assignment completes.
    thread_ = std::thread([this] {
      threadId_ = std::this_thread::get_id();
      Run();
    });
  }
  state_ = kRunning;
  return S_OK;
}

void CTaskThreadBase2::Suspend() {
  if (!hasThread_ || state_ == kSuspended) return;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    suspendAcknowledged_ = false;
    suspendRequested_ = true;
    context_->Wake();
    changed_.notify_all();
    if (!changed_.wait_for(lock, std::chrono::milliseconds(3000),
                           [&] { return suspendAcknowledged_ || ended_; })) {
      lock.unlock();
      Stop();
      return;
    }
  }
  state_ = kSuspended;
}

void CTaskThreadBase2::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopRequested_ = true;
  }
  changed_.notify_all();
  if (context_) context_->Wake();
  if (state_ != kCreated) state_ = kStopped;
}

bool CTaskThreadBase2::WaitStopped(DWORD milliseconds) {
  if (!hasThread_) return true;
  if (IsCurrentThread()) return false;  // the event thread cannot wait for itself
  {
    std::unique_lock<std::mutex> lock(mutex_);
    auto ended = [&] { return ended_; };
    if (milliseconds == INFINITE) {
      changed_.wait(lock, ended);
    } else if (!changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), ended)) {
      return false;
    }
  }
  thread_.join();
  hasThread_ = false;
  threadId_ = std::thread::id();
  return true;
}

void CTaskThreadBase2::FreeWhenEnded(CTaskContextBase* context) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ownedContext_ = context;
    freeWhenEnded_ = true;
  }
  Stop();
}

void CTaskThreadBase2::Run() {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (suspendRequested_ && !stopRequested_) {
        suspendAcknowledged_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return stopRequested_ || !suspendRequested_; });
      }
      if (stopRequested_) break;
    }
    if (context_->WaitForWork(2000)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kDeliveryPauseMs));
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopRequested_ || suspendRequested_) continue;
    } else {
      continue;
    }
    context_->RunOne();
  }
  bool freeSelf = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    freeSelf = freeWhenEnded_;
    changed_.notify_all();
  }
  if (freeSelf) {
    thread_.detach();
    delete ownedContext_;
    delete this;
  }
}

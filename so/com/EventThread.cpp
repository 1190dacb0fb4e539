#include "EventThread.h"

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
  if (CTaskThreadBase2* thread = thread_.load()) thread->SignalWork();
}

size_t CTaskContextBase::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tasks_.size();
}

bool CTaskContextBase::RunOne() {
  CTaskBase* head = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (tasks_.empty()) return false;
    head = tasks_.front().get();
    head->MarkRunning();
  }
  // Only this thread removes a running head, so it stays valid without the lock.
  int delivered = 1;
  try {
    delivered = head->Execute();
  } catch (...) {
    // A failing delivery must not end the event thread.
  }
  std::unique_ptr<CTaskBase> done;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (delivered == 0 && !head->IsCancelled()) {
      head->ClearRunning();
      return true;
    }
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

void CTaskContextBase::DropPending() {
  std::deque<std::unique_ptr<CTaskBase>> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::unique_ptr<CTaskBase> running;
    if (!tasks_.empty() && tasks_.front()->IsRunning()) {
      running = std::move(tasks_.front());
      tasks_.pop_front();
      running->SetCancelled(1);
    }
    dropped.swap(tasks_);
    if (running) tasks_.push_back(std::move(running));
  }
  for (auto& task : dropped) task->OnDropped();
}

CTaskThreadBase2::~CTaskThreadBase2() {
  if (!freeWhenEnded_.load()) Shutdown();
}

void CTaskThreadBase2::Prepare(CTaskContextBase* context) {
  context_ = context;
  if (context) context->LinkThread(this);
  CTaskThread::Prepare();
}

void CTaskThreadBase2::FreeWhenEnded(CTaskContextBase* context) {
  ownedContext_ = context;
  freeWhenEnded_ = true;
  Stop();
}

bool CTaskThreadBase2::OnThreadEnded() {
  if (!freeWhenEnded_.load()) return false;
  ReleaseThread();
  CTaskContextBase* context = ownedContext_.exchange(nullptr);
  if (context) context->LinkThread(nullptr);
  delete context;
  delete this;
  return true;
}

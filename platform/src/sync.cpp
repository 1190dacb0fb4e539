// Critical sections, events, Sleep and GetTickCount on the C++ standard library.
#include "platform/sync.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

struct CRITICAL_SECTION::Impl {
  std::recursive_mutex mutex;
};

namespace {

// A zero-initialised section (never passed to InitializeCriticalSection) is set up on
// first use instead of crashing, so a static or member section is safe either way.
CRITICAL_SECTION::Impl* SectionImpl(CRITICAL_SECTION* section) {
  std::atomic_ref<CRITICAL_SECTION::Impl*> slot(section->impl);
  CRITICAL_SECTION::Impl* impl = slot.load(std::memory_order_acquire);
  if (impl) return impl;
  auto* fresh = new CRITICAL_SECTION::Impl;
  if (slot.compare_exchange_strong(impl, fresh, std::memory_order_acq_rel)) return fresh;
  delete fresh;
  return impl;
}

}  // namespace

void InitializeCriticalSection(CRITICAL_SECTION* section) {
  if (section) section->impl = new CRITICAL_SECTION::Impl;
}

void DeleteCriticalSection(CRITICAL_SECTION* section) {
  if (!section) return;
  delete section->impl;
  section->impl = nullptr;
}

void EnterCriticalSection(CRITICAL_SECTION* section) {
  if (section) SectionImpl(section)->mutex.lock();
}

void LeaveCriticalSection(CRITICAL_SECTION* section) {
  if (section && section->impl) section->impl->mutex.unlock();
}

BOOL TryEnterCriticalSection(CRITICAL_SECTION* section) {
  if (!section) return FALSE;
  return SectionImpl(section)->mutex.try_lock() ? TRUE : FALSE;
}

// Events share one mutex: a wait on several events must see all their states at one
// instant, and event traffic is light (a few per print job), so one lock is cheap.
// Each waiting thread has its own condition variable, registered on every event it
// waits for, so SetEvent wakes exactly the threads concerned.
namespace {

struct Waiter {
  std::condition_variable cv;
};

struct EventObject {
  bool manualReset = false;
  bool signalled = false;
  std::vector<Waiter*> waiters;
};

struct EventTable {
  std::mutex mutex;
  // Handle -> event; a waiter holds its own reference, so closing a handle while
  // another thread waits on it does not pull the object away from under the wait.
  std::unordered_map<HANDLE, std::shared_ptr<EventObject>> live;
};

EventTable& Events() {
  static EventTable* table = new EventTable;  // never destroyed: usable during exit
  return *table;
}

std::shared_ptr<EventObject> FindLocked(EventTable& table, HANDLE handle) {
  auto it = table.live.find(handle);
  return it == table.live.end() ? nullptr : it->second;
}

using Clock = std::chrono::steady_clock;

std::optional<Clock::time_point> DeadlineFor(DWORD milliseconds) {
  if (milliseconds == INFINITE) return std::nullopt;
  return Clock::now() + std::chrono::milliseconds(milliseconds);
}

// Checks the wait condition under the table lock; on success consumes auto-reset
// events and returns the result code.
std::optional<DWORD> TrySatisfy(const std::vector<std::shared_ptr<EventObject>>& events,
                                bool waitAll) {
  if (waitAll) {
    for (const auto& e : events)
      if (!e->signalled) return std::nullopt;
    for (const auto& e : events)
      if (!e->manualReset) e->signalled = false;
    return WAIT_OBJECT_0;
  }
  for (size_t i = 0; i < events.size(); ++i) {
    if (events[i]->signalled) {
      if (!events[i]->manualReset) events[i]->signalled = false;
      return WAIT_OBJECT_0 + static_cast<DWORD>(i);
    }
  }
  return std::nullopt;
}

DWORD WaitOn(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  const auto deadline = DeadlineFor(milliseconds);
  EventTable& table = Events();
  std::unique_lock<std::mutex> lock(table.mutex);
  std::vector<std::shared_ptr<EventObject>> events;
  events.reserve(count);
  for (DWORD i = 0; i < count; ++i) {
    auto e = FindLocked(table, handles[i]);
    if (!e) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    events.push_back(std::move(e));
  }
  if (auto done = TrySatisfy(events, waitAll)) return *done;
  if (milliseconds == 0) return WAIT_TIMEOUT;

  Waiter self;
  for (auto& e : events) e->waiters.push_back(&self);
  DWORD result = WAIT_TIMEOUT;
  for (;;) {
    if (auto done = TrySatisfy(events, waitAll)) {
      result = *done;
      break;
    }
    if (!deadline) {
      self.cv.wait(lock);
    } else if (self.cv.wait_until(lock, *deadline) == std::cv_status::timeout) {
      // One last look: a SetEvent may have raced the time-out.
      if (auto done = TrySatisfy(events, waitAll)) result = *done;
      break;
    }
  }
  for (auto& e : events) std::erase(e->waiters, &self);
  return result;
}

}  // namespace

HANDLE CreateEventW(void*, BOOL manualReset, BOOL initialState, LPCWSTR) {
  auto event = std::make_shared<EventObject>();
  event->manualReset = manualReset != FALSE;
  event->signalled = initialState != FALSE;
  HANDLE handle = event.get();
  EventTable& table = Events();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.live.emplace(handle, std::move(event));
  return handle;
}

BOOL SetEvent(HANDLE handle) {
  EventTable& table = Events();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto event = FindLocked(table, handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->signalled = true;
  for (Waiter* w : event->waiters) w->cv.notify_one();
  return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
  EventTable& table = Events();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto event = FindLocked(table, handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->signalled = false;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return WaitOn(1, &handle, false, milliseconds);
}

// There are no APCs here, so an alertable wait is an ordinary one.
DWORD WaitForSingleObjectEx(HANDLE handle, DWORD milliseconds, BOOL) {
  return WaitOn(1, &handle, false, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                             DWORD milliseconds) {
  return WaitOn(count, handles, waitAll != FALSE, milliseconds);
}

BOOL CloseHandle(HANDLE handle) {
  std::shared_ptr<EventObject> doomed;  // released after the lock
  EventTable& table = Events();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.live.find(handle);
  if (it == table.live.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  doomed = std::move(it->second);
  table.live.erase(it);
  return TRUE;
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD GetTickCount() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      Clock::now().time_since_epoch());
  return static_cast<DWORD>(static_cast<std::uint64_t>(ms.count()));
}

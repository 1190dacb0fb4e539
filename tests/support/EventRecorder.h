// Waiting on what the application is told: a recorder of every callback of a control
// object in arrival order ("S" status updates, "O" output completes, "E" errors), and a
// poll for conditions no event announces.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "POSPrinter.h"

namespace zanth::test {

// Every callback of one control object, in arrival order; waits on conditions.
struct Recorder {
  struct Entry {
    char kind;  // 'S' status, 'O' output complete, 'E' error
    LONG value, extended;
  };
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Entry> entries;

  void Add(char kind, LONG value, LONG extended = 0) {
    std::lock_guard<std::mutex> lock(mutex);
    entries.push_back({kind, value, extended});
    changed.notify_all();
  }
  std::vector<LONG> Of(char kind) {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<LONG> values;
    for (const auto& e : entries)
      if (e.kind == kind) values.push_back(e.value);
    return values;
  }
  size_t Count(char kind, LONG value) {
    const auto values = Of(kind);
    return static_cast<size_t>(std::count(values.begin(), values.end(), value));
  }
  bool WaitFor(char kind, size_t count, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, limit, [&] {
      return static_cast<size_t>(std::count_if(entries.begin(), entries.end(), [&](const Entry& e) {
               return e.kind == kind;
             })) >= count;
    });
  }
  bool WaitForValue(char kind, LONG value, size_t count = 1,
                    std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, limit, [&] {
      return static_cast<size_t>(std::count_if(entries.begin(), entries.end(), [&](const Entry& e) {
               return e.kind == kind && e.value == value;
             })) >= count;
    });
  }
};

inline void Record(co::ControlObject& control, Recorder& recorder) {
  control.Callbacks().statusUpdate = [&recorder](LONG data) { recorder.Add('S', data); };
  control.Callbacks().outputComplete = [&recorder](LONG id) { recorder.Add('O', id); };
  control.Callbacks().error = [&recorder](LONG rc, LONG rcx, LONG, LONG&) {
    recorder.Add('E', rc, rcx);
  };
}

// Polls a condition no event announces until it holds or the limit passed.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace zanth::test

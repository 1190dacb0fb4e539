// A double-ended queue with its own lock; every change and look happens under it.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>

namespace Tesk::BASE {

template <class T>
class SafeDeque {
 public:
  void PushBack(T value) {
    std::lock_guard<std::mutex> lock(mutex_);
    items_.push_back(std::move(value));
  }
  void PushFront(T value) {
    std::lock_guard<std::mutex> lock(mutex_);
    items_.push_front(std::move(value));
  }
  std::optional<T> Front() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (items_.empty()) return std::nullopt;
    return items_.front();
  }
  std::optional<T> PopFront() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (items_.empty()) return std::nullopt;
    T value = std::move(items_.front());
    items_.pop_front();
    return value;
  }
  // Removes the head only when it is still `expected` (another thread may have cleared).
  bool PopFrontIf(const T& expected) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (items_.empty() || !(items_.front() == expected)) return false;
    items_.pop_front();
    return true;
  }
  // Takes everything out at once; the caller releases the elements without the lock.
  std::deque<T> TakeAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::deque<T> all;
    all.swap(items_);
    return all;
  }
  void ForEach(const std::function<void(T&)>& visit) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (T& item : items_) visit(item);
  }
  size_t Size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_.size();
  }
  bool Empty() const { return Size() == 0; }

 private:
  mutable std::mutex mutex_;
  std::deque<T> items_;
};

}  // namespace Tesk::BASE

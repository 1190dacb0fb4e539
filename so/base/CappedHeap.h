// A private heap for queued job data: allocations are counted against an optional cap,
// and one that would pass it throws std::bad_alloc, as a fixed-size heap raises
// out-of-memory, so a caller can fall back to a heap without a limit.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

namespace Tesk::BASE {

class CappedHeap {
 public:
  static constexpr size_t kUnlimited = 0;

  explicit CappedHeap(size_t maximumBytes) : maximum_(maximumBytes) {}
  CappedHeap(const CappedHeap&) = delete;
  CappedHeap& operator=(const CappedHeap&) = delete;

  // Zero-initialised block of `bytes`; throws std::bad_alloc when the cap is reached.
  std::uint8_t* Allocate(size_t bytes) {
    size_t used = used_.load();
    do {
      if (maximum_ != kUnlimited && (bytes > maximum_ || used > maximum_ - bytes))
        throw std::bad_alloc();
    } while (!used_.compare_exchange_weak(used, used + bytes));
    auto* block = new (std::nothrow) std::uint8_t[bytes == 0 ? 1 : bytes]();
    if (!block) {
      used_ -= bytes;
      throw std::bad_alloc();
    }
    return block;
  }
  void Free(std::uint8_t* block, size_t bytes) {
    delete[] block;
    used_ -= bytes;
  }
  size_t Used() const { return used_.load(); }
  size_t Maximum() const { return maximum_; }

 private:
  const size_t maximum_;
  std::atomic<size_t> used_{0};
};

}  // namespace Tesk::BASE

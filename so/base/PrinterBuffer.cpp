#include "PrinterBuffer.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

PrinterBuffer::PrinterBuffer(std::int32_t initialCapacity, std::int32_t growthStep)
    : growthStep_(growthStep > 0 ? growthStep : 32) {
  Reserve(initialCapacity, 0);
}

PrinterBuffer::~PrinterBuffer() { std::free(storage_); }

PrinterBuffer::PrinterBuffer(const PrinterBuffer& other) : growthStep_(other.growthStep_) {
  Reserve(other.capacity_, 0);
  AppendBytes(other.begin_, other.Size());
}

PrinterBuffer& PrinterBuffer::operator=(const PrinterBuffer& other) {
  if (this != &other) {
    growthStep_ = other.growthStep_;
    Clear();
    Reserve(other.capacity_, 0);
    AppendBytes(other.begin_, other.Size());
  }
  return *this;
}

bool PrinterBuffer::Reserve(std::int32_t n, std::uint8_t fill) {
  if (n < capacity_ || n <= 0) return true;
  const std::int32_t size = Size();
  auto* grown = static_cast<std::uint8_t*>(std::realloc(storage_, static_cast<size_t>(n)));
  if (!grown) return false;  // the old block and its data stay as they were
  storage_ = grown;
  begin_ = storage_;
  end_ = begin_ + size;
  std::memset(end_, fill, static_cast<size_t>(n - size));
  capacity_ = n;
  return true;
}

bool PrinterBuffer::GrowFor(std::int64_t sizeAfter) {
  constexpr std::int64_t kMaxCapacity = INT32_MAX;
  // One byte stays free past the data, so the largest size is one below the maximum.
  if (sizeAfter + 1 > kMaxCapacity) return false;
  if (sizeAfter + 1 < capacity_) return true;
  std::int64_t grown =
      capacity_ + static_cast<std::int64_t>(growthStep_) * ((sizeAfter - capacity_) / growthStep_ + 1);
  // The last step may overshoot the limit while the data itself still fits.
  if (grown > kMaxCapacity) grown = kMaxCapacity;
  return Reserve(static_cast<std::int32_t>(grown), 0);
}

bool PrinterBuffer::Append(std::uint8_t byte) {
  if (!GrowFor(Size())) return false;
  *end_++ = byte;
  return true;
}

bool PrinterBuffer::AppendBytes(const void* data, std::int32_t n) {
  if (n <= 0) return true;
  if (!GrowFor(static_cast<std::int64_t>(Size()) + n)) return false;
  std::memmove(end_, data, static_cast<size_t>(n));
  end_ += n;
  return true;
}

bool PrinterBuffer::InsertBytes(std::uint8_t* position, const std::uint8_t* first,
                                const std::uint8_t* last) {
  const std::ptrdiff_t length = last - first;
  if (length <= 0) return true;
  if (length > INT32_MAX) return false;
  const auto n = static_cast<std::int32_t>(length);
  if (static_cast<std::int64_t>(Size()) + n + 1 > INT32_MAX) return false;  // before copying
  std::int32_t offset = static_cast<std::int32_t>(position - begin_);
  if (offset < 0 || offset > Size()) offset = Size();
  // The source may lie inside this buffer, which growing would move.
  std::uint8_t* copy = static_cast<std::uint8_t*>(std::malloc(static_cast<size_t>(n)));
  if (!copy) return false;
  std::memcpy(copy, first, static_cast<size_t>(n));
  if (!GrowFor(static_cast<std::int64_t>(Size()) + n)) {
    std::free(copy);
    return false;
  }
  std::uint8_t* at = begin_ + offset;
  std::memmove(at + n, at, static_cast<size_t>(end_ - at));
  std::memcpy(at, copy, static_cast<size_t>(n));
  std::free(copy);
  end_ += n;
  return true;
}

void PrinterBuffer::Clear() {
  if (storage_) std::memset(storage_, 0, static_cast<size_t>(capacity_));
  end_ = begin_;
}

bool PrinterBuffer::Resize(std::int32_t n, std::uint8_t fill) {
  if (n < 0) n = 0;
  if (n > INT32_MAX - 32) return false;
  if (!Reserve(n + 32, fill)) return false;
  std::uint8_t* newEnd = begin_ + n;
  if (newEnd < end_) std::memset(newEnd, fill, static_cast<size_t>(end_ - newEnd));
  end_ = newEnd;
  return true;
}

void PrinterBuffer::Fill(std::uint8_t byte) {
  if (storage_) std::memset(storage_, byte, static_cast<size_t>(capacity_));
}

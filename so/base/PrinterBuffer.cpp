#include "PrinterBuffer.h"

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

void PrinterBuffer::Reserve(std::int32_t n, std::uint8_t fill) {
  if (n < capacity_ || n <= 0) return;
  const std::int32_t size = Size();
  // The operations cannot report a failure, so running out of memory is fatal here,
  // as it is for every standard container.
  auto* grown = static_cast<std::uint8_t*>(std::realloc(storage_, static_cast<size_t>(n)));
  if (!grown) throw std::bad_alloc();
  storage_ = grown;
  begin_ = storage_;
  end_ = begin_ + size;
  std::memset(end_, fill, static_cast<size_t>(n - size));
  capacity_ = n;
}

void PrinterBuffer::GrowFor(std::int32_t sizeAfter) {
  if (sizeAfter + 1 >= capacity_) {
    Reserve(capacity_ + growthStep_ * ((sizeAfter - capacity_) / growthStep_ + 1), 0);
  }
}

void PrinterBuffer::Append(std::uint8_t byte) {
  GrowFor(Size());
  *end_++ = byte;
}

void PrinterBuffer::AppendBytes(const void* data, std::int32_t n) {
  if (n <= 0) return;
  GrowFor(Size() + n);
  std::memmove(end_, data, static_cast<size_t>(n));
  end_ += n;
}

void PrinterBuffer::InsertBytes(std::uint8_t* position, const std::uint8_t* first,
                                const std::uint8_t* last) {
  const std::int32_t n = static_cast<std::int32_t>(last - first);
  if (n <= 0) return;
  std::int32_t offset = static_cast<std::int32_t>(position - begin_);
  if (offset < 0 || offset > Size()) offset = Size();
  // The source may lie inside this buffer, which growing would move.
  std::uint8_t* copy = static_cast<std::uint8_t*>(std::malloc(static_cast<size_t>(n)));
  if (!copy) throw std::bad_alloc();
  std::memcpy(copy, first, static_cast<size_t>(n));
  GrowFor(Size() + n);
  std::uint8_t* at = begin_ + offset;
  std::memmove(at + n, at, static_cast<size_t>(end_ - at));
  std::memcpy(at, copy, static_cast<size_t>(n));
  std::free(copy);
  end_ += n;
}

void PrinterBuffer::Clear() {
  if (storage_) std::memset(storage_, 0, static_cast<size_t>(capacity_));
  end_ = begin_;
}

void PrinterBuffer::Resize(std::int32_t n, std::uint8_t fill) {
  if (n < 0) n = 0;
  Reserve(n + 32, fill);
  std::uint8_t* newEnd = begin_ + n;
  if (newEnd < end_) std::memset(newEnd, fill, static_cast<size_t>(end_ - newEnd));
  end_ = newEnd;
}

void PrinterBuffer::Fill(std::uint8_t byte) {
  if (storage_) std::memset(storage_, byte, static_cast<size_t>(capacity_));
}

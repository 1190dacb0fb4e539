// The engine's growable byte buffer: every command and port write works on one.
#pragma once

#include <cstdint>

class PrinterBuffer {
 public:
  explicit PrinterBuffer(std::int32_t initialCapacity = 32, std::int32_t growthStep = 32);
  ~PrinterBuffer();
  PrinterBuffer(const PrinterBuffer& other);
  PrinterBuffer& operator=(const PrinterBuffer& other);

  // The growing operations return false, changing nothing, when the buffer would pass
  // the 32-bit capacity (about 2 GB) or the memory runs out.
  // Grows to n bytes (nothing when n < capacity); new space is set to fill.
  bool Reserve(std::int32_t n, std::uint8_t fill = 0);
  bool Append(std::uint8_t byte);
  bool AppendBytes(const void* data, std::int32_t n);
  // Inserts [first, last) before position, a pointer into the data.
  bool InsertBytes(std::uint8_t* position, const std::uint8_t* first, const std::uint8_t* last);
  // Zeroes the whole capacity; the capacity stays.
  void Clear();
  // Size becomes n; reserves 32 bytes beyond it; cut-off bytes are overwritten with fill.
  bool Resize(std::int32_t n, std::uint8_t fill = 0);
  void Fill(std::uint8_t byte);

  std::int32_t Size() const { return static_cast<std::int32_t>(end_ - begin_); }
  bool IsEmpty() const { return end_ == begin_; }
  std::int32_t Capacity() const { return capacity_; }
  std::int32_t GrowthStep() const { return growthStep_; }
  std::uint8_t* Data(std::int32_t offset = 0) { return begin_ + offset; }
  const std::uint8_t* Data(std::int32_t offset = 0) const { return begin_ + offset; }
  std::uint8_t At(std::int32_t index) const { return begin_[index]; }

 private:
  // The growth rule: capacity + step * ((needed - capacity) / step + 1), where needed
  // is the size after the addition; a buffer that is exactly full grows one step.
  // sizeAfter is 64-bit so that size + n cannot wrap before it is checked.
  bool GrowFor(std::int64_t sizeAfter);

  std::uint8_t* storage_ = nullptr;
  std::uint8_t* begin_ = nullptr;
  std::uint8_t* end_ = nullptr;
  std::int32_t capacity_ = 0;
  std::int32_t growthStep_ = 0;
};

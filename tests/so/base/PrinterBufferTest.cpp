#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "PrinterBuffer.h"

namespace {

bool SlackIsAll(const PrinterBuffer& buffer, std::uint8_t value) {
  for (std::int32_t i = buffer.Size(); i < buffer.Capacity(); ++i)
    if (buffer.Data()[i] != value) return false;
  return true;
}

TEST(PrinterBuffer, DefaultIs32By32AndEmpty) {
  PrinterBuffer buffer;
  EXPECT_EQ(buffer.Capacity(), 32);
  EXPECT_EQ(buffer.GrowthStep(), 32);
  EXPECT_TRUE(buffer.IsEmpty());
  EXPECT_TRUE(SlackIsAll(buffer, 0));
}

// Append grows when size + 1 >= capacity, by step * ((size - capacity) / step + 1).
struct GrowthCase {
  std::int32_t capacity, step, appended, expectedCapacity;
};

class PrinterBufferGrowth : public ::testing::TestWithParam<GrowthCase> {};

TEST_P(PrinterBufferGrowth, AppendOneByOne) {
  const auto& c = GetParam();
  PrinterBuffer buffer(c.capacity, c.step);
  for (std::int32_t i = 0; i < c.appended; ++i) buffer.Append(static_cast<std::uint8_t>(i + 1));
  EXPECT_EQ(buffer.Size(), c.appended);
  EXPECT_EQ(buffer.Capacity(), c.expectedCapacity);
  for (std::int32_t i = 0; i < c.appended; ++i) ASSERT_EQ(buffer.At(i), static_cast<std::uint8_t>(i + 1));
  EXPECT_TRUE(SlackIsAll(buffer, 0));
}

INSTANTIATE_TEST_SUITE_P(Rule, PrinterBufferGrowth,
                         ::testing::Values(GrowthCase{32, 32, 31, 32},  // 30 + 1 < 32: no growth
                                           GrowthCase{32, 32, 32, 64},  // size 31: 31 + 1 >= 32
                                           GrowthCase{4, 4, 8, 12},
                                           GrowthCase{10, 3, 10, 13},
                                           GrowthCase{2048, 2048, 3000, 4096}));

TEST(PrinterBuffer, AppendBytesUsesSizeAfterInGrowthRule) {
  PrinterBuffer buffer(32, 32);
  std::vector<std::uint8_t> data(100, 0xAB);
  buffer.AppendBytes(data.data(), 100);
  // 100 + 1 >= 32: 32 + 32 * ((100 - 32) / 32 + 1) = 32 + 32 * 3 = 128
  EXPECT_EQ(buffer.Capacity(), 128);
  EXPECT_EQ(buffer.Size(), 100);
  EXPECT_TRUE(SlackIsAll(buffer, 0));
}

TEST(PrinterBuffer, ExactlyFullGrowsByOneStep) {
  PrinterBuffer buffer(16, 8);
  std::vector<std::uint8_t> data(15, 1);
  buffer.AppendBytes(data.data(), 15);  // 15 + 1 >= 16: grows to 24
  EXPECT_EQ(buffer.Capacity(), 24);
}

TEST(PrinterBuffer, ClearKeepsCapacityAndZeroesAll) {
  PrinterBuffer buffer(8, 8);
  for (int i = 0; i < 20; ++i) buffer.Append(0xFF);
  const auto capacity = buffer.Capacity();
  buffer.Clear();
  EXPECT_EQ(buffer.Capacity(), capacity);
  EXPECT_TRUE(buffer.IsEmpty());
  EXPECT_TRUE(SlackIsAll(buffer, 0));
}

TEST(PrinterBuffer, ResizeSmallerOverwritesCutBytesWithFill) {
  PrinterBuffer buffer(64, 32);
  for (int i = 0; i < 10; ++i) buffer.Append(0x11);
  buffer.Resize(4, 0xEE);
  EXPECT_EQ(buffer.Size(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(buffer.At(i), 0x11);
  for (int i = 4; i < 10; ++i) EXPECT_EQ(buffer.Data()[i], 0xEE);
}

TEST(PrinterBuffer, ResizeLargerReserves32Beyond) {
  PrinterBuffer buffer(32, 32);
  buffer.Resize(100, 0x20);
  EXPECT_EQ(buffer.Size(), 100);
  EXPECT_EQ(buffer.Capacity(), 132);
  EXPECT_EQ(buffer.Data()[100], 0x20);  // new space filled
}

TEST(PrinterBuffer, ReserveBelowCapacityChangesNothing) {
  PrinterBuffer buffer(64, 32);
  buffer.Append(7);
  buffer.Reserve(10, 0xFF);
  EXPECT_EQ(buffer.Capacity(), 64);
  EXPECT_EQ(buffer.Size(), 1);
  EXPECT_TRUE(SlackIsAll(buffer, 0));
}

TEST(PrinterBuffer, InsertBytesMovesTailUp) {
  PrinterBuffer buffer(4, 4);
  const std::uint8_t head[] = {1, 2, 5, 6};
  buffer.AppendBytes(head, 4);
  const std::uint8_t middle[] = {3, 4};
  buffer.InsertBytes(buffer.Data(2), middle, middle + 2);
  ASSERT_EQ(buffer.Size(), 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(buffer.At(i), i + 1);
}

TEST(PrinterBuffer, InsertBytesFromItselfSurvivesGrowth) {
  PrinterBuffer buffer(4, 4);
  const std::uint8_t data[] = {9, 8, 7};
  buffer.AppendBytes(data, 3);
  buffer.InsertBytes(buffer.Data(0), buffer.Data(0), buffer.Data(3));
  ASSERT_EQ(buffer.Size(), 6);
  const std::uint8_t expected[] = {9, 8, 7, 9, 8, 7};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(buffer.At(i), expected[i]);
}

TEST(PrinterBuffer, CopyIsDeep) {
  PrinterBuffer a(8, 8);
  a.Append(1);
  PrinterBuffer b(a);
  b.Append(2);
  a = b;
  b.Clear();
  ASSERT_EQ(a.Size(), 2);
  EXPECT_EQ(a.At(1), 2);
}

}  // namespace

// Growth past the 32-bit capacity wrapped the size arithmetic and wrote past the block.
// Each operation must refuse, leaving the data and capacity as they were; none of them
// may allocate or read the oversized source first.
struct OversizeCase {
  const char* name;
  bool (*grow)(PrinterBuffer& buffer, const std::uint8_t* source);
};

const OversizeCase kOversizeCases[] = {
    {"AppendBytesPastTheLimit",
     [](PrinterBuffer& b, const std::uint8_t* s) { return b.AppendBytes(s, INT32_MAX - 5); }},
    {"AppendBytesOfTheLimitItself",
     [](PrinterBuffer& b, const std::uint8_t* s) { return b.AppendBytes(s, INT32_MAX); }},
    {"InsertBytesPastTheLimit",
     [](PrinterBuffer& b, const std::uint8_t* s) {
       return b.InsertBytes(b.Data(), s, s + (INT32_MAX - 5));
     }},
    {"ResizeToTheLimit",
     [](PrinterBuffer& b, const std::uint8_t*) { return b.Resize(INT32_MAX - 8); }},
};

TEST(PrinterBuffer, GrowthPastTheLimitFailsWithoutTouchingTheData) {
  const std::uint8_t source[4] = {9, 9, 9, 9};
  for (const OversizeCase& c : kOversizeCases) {
    SCOPED_TRACE(c.name);
    PrinterBuffer buffer(32, 32);
    ASSERT_TRUE(buffer.AppendBytes("0123456789", 10));
    EXPECT_FALSE(c.grow(buffer, source));
    EXPECT_EQ(buffer.Size(), 10);
    EXPECT_EQ(buffer.Capacity(), 32);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.Data()), 10), "0123456789");
    EXPECT_TRUE(buffer.Append('!'));  // still usable
    EXPECT_EQ(buffer.At(10), '!');
  }
}

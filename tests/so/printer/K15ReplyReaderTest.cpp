// The second model's answers to framed blocks, in whatever pieces they arrive.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "K15ReplyReader.h"

namespace {

using Tesk::Printer::K15ReplyReader;

using Bytes = std::vector<std::uint8_t>;

const Bytes kAck = {0xAA, 0x01, 0x06, 0x06, 0xBB};
const Bytes kNak = {0xAA, 0x01, 0x15, 0x15, 0xBB};

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

struct ReplyCase {
  const char* name;
  int packets;
  Bytes reply;
  bool complete;
  int acks, naks;
  std::size_t used;  // bytes that belong to the reply
  std::size_t stray;
};

class K15Replies : public ::testing::TestWithParam<ReplyCase> {};

// Every split of the reply into two reads gives the same answer as one read.
TEST_P(K15Replies, AnySplitReadsTheSame) {
  const ReplyCase& c = GetParam();
  for (std::size_t split = 0; split <= c.reply.size(); ++split) {
    SCOPED_TRACE(split);
    K15ReplyReader reader(c.packets);
    std::size_t used = reader.Feed(c.reply.data(), split);
    if (!reader.Complete()) used += reader.Feed(c.reply.data() + split, c.reply.size() - split);
    EXPECT_EQ(reader.Complete(), c.complete);
    EXPECT_EQ(reader.Acks(), c.acks);
    EXPECT_EQ(reader.Naks(), c.naks);
    EXPECT_EQ(used, c.used);
    EXPECT_EQ(reader.StrayBytes(), c.stray);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, K15Replies,
    ::testing::Values(
        ReplyCase{"OneAck", 1, kAck, true, 1, 0, 5, 0},
        ReplyCase{"ThreeAcksForThreePackets", 3, Join({kAck, kAck, kAck}), true, 3, 0, 15, 0},
        ReplyCase{"OneOfThreeIsNotEnough", 3, kAck, false, 1, 0, 5, 0},
        ReplyCase{"RefusedPacketEndsItToo", 2, Join({kAck, kNak}), true, 1, 1, 10, 0},
        ReplyCase{"StatusBlockAfterTheAckIsLeft", 1, Join({kAck, {0x10, 0x00, 0x00, 0x0F}}), true, 1, 0, 5, 0},
        ReplyCase{"AnswerByteEndingInTheEndByte", 1, {0xBB}, false, 0, 0, 1, 1},
        ReplyCase{"BadChecksumIsNoAck", 1, {0xAA, 0x01, 0x06, 0x07, 0xBB}, false, 0, 0, 5, 5},
        ReplyCase{"AckBehindNoise", 1, Join({{0xAA, 0x00, 0x42}, kAck}), true, 1, 0, 8, 3},
        ReplyCase{"StartByteInsideAnUnfinishedPacket", 1, Join({{0xAA, 0x05, 0x01}, kAck}), true, 1, 0, 8, 3}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

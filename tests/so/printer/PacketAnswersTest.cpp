// The packet-framed model's answers to a synchronous block: a refused packet fails the
// call, and a status block read together with the answers is applied, not lost.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "CmdHelperK15.h"
#include "ModelK15.h"
#include "OposConstants.h"
#include "TestEngine.h"

namespace {

using zanth::test::FakePort;
using zanth::test::RecordingEvents;
using zanth::test::TestEngine;
using Bytes = std::vector<BYTE>;

const Bytes kAck = {0xAA, 0x01, 0x06, 0x06, 0xBB};
const Bytes kNak = {0xAA, 0x01, 0x15, 0x15, 0xBB};
const Bytes kCoverOpenBlock = {0x30, 0x00, 0x00, 0x00};  // ASB: cover open, paper present

// The payloads of the packets in one written block (AA length data xor BB).
std::vector<Bytes> Packets(const Bytes& block) {
  std::vector<Bytes> packets;
  size_t at = 0;
  while (at + 1 < block.size() && block[at] == 0xAA) {
    const size_t length = block[at + 1];
    if (at + 4 + length > block.size()) break;
    packets.emplace_back(block.begin() + static_cast<long>(at + 2),
                         block.begin() + static_cast<long>(at + 2 + length));
    at += 4 + length;
  }
  return packets;
}

// Answers as the printer does: a status request by its status byte (on-line, cover
// shut, paper present), every other packet by answer(index of the packet in the block).
FakePort::Responder Printer(std::function<Bytes(size_t packet, size_t packets)> answer) {
  return [answer](const Bytes& block) {
    const std::vector<Bytes> packets = Packets(block);
    Bytes reply;
    for (size_t i = 0; i < packets.size(); ++i) {
      const Bytes& p = packets[i];
      const bool query = p.size() == 3 && (p[0] == 0x10 || p[0] == 0x1D);
      const Bytes part = !query                                ? answer(i, packets.size())
                         : p[0] == 0x10 && p[1] == 0x04        ? Bytes{0x12}
                         : p[0] == 0x1D && p[1] == 0x72        ? Bytes{0x00}
                                                               : answer(i, packets.size());
      reply.insert(reply.end(), part.begin(), part.end());
    }
    return reply;
  };
}

template <class Model>
class ReadyModel : public Model {
 public:
  void UsePort(std::shared_ptr<Tesk::IO::IPort> port) {
    this->printerPort_ = std::make_shared<Tesk::Printer::CPrinterPort>(std::move(port));
  }
  void SetLastStatus(const Tesk::Printer::tagPrinterStatus& status) { this->lastStatus_ = status; }
};

// Long enough for three packets of 46 bytes.
const std::wstring kJob = L"a line long enough to travel in more than two packets of the framing "
                          L"protocol, to the end\n";

struct NakCase {
  const char* name;
  std::function<Bytes(size_t, size_t)> answer;
  LONG perRead;  // bytes a read brings at most
  LONG result;
};

class RefusedPackets : public testing::TestWithParam<NakCase> {};

TEST_P(RefusedPackets, FailTheCall) {
  const NakCase& c = GetParam();
  RecordingEvents events;
  ReadyModel<Tesk::Printer::CModelK15> engine;
  auto port = zanth::test::OpenReadyEngine(engine, events);
  port->SetResponder(Printer(c.answer));
  port->SetMaxPerRead(c.perRead);
  LONG rc = -1;
  engine.PrintNormal(PTR_S_RECEIPT, kJob, &rc);
  ASSERT_GE(Packets(port->Written()).size(), 3u);
  EXPECT_EQ(rc, c.result);
  EXPECT_EQ(engine.GetResultCode(), c.result);
  if (c.result != 0) {
    EXPECT_NE(std::wstring(engine.ErrorInformation()).find(L"refused"), std::wstring::npos);
  }
  // The next block is answered afresh: nothing of the refusal carries over.
  port->SetResponder(Printer([](size_t, size_t) { return kAck; }));
  engine.PrintNormal(PTR_S_RECEIPT, L"next\n", &rc);
  EXPECT_EQ(rc, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RefusedPackets,
    testing::Values(
        NakCase{"AllAcknowledged", [](size_t, size_t) { return kAck; }, 1000, 0},
        NakCase{"AcknowledgedInPieces", [](size_t, size_t) { return kAck; }, 2, 0},
        NakCase{"MiddlePacketRefused", [](size_t i, size_t) { return i == 1 ? kNak : kAck; }, 1000,
                OPOS_E_FAILURE},
        NakCase{"LastPacketRefusedInPieces",
                [](size_t i, size_t n) { return i + 1 == n ? kNak : kAck; }, 3, OPOS_E_FAILURE},
        NakCase{"AllRefused", [](size_t, size_t) { return kNak; }, 1000, OPOS_E_FAILURE},
        // No answer at all proves nothing either way; the block counts as sent.
        NakCase{"Silent", [](size_t, size_t) { return Bytes{}; }, 1000, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A framing printer with automatic status back on a network port.
class FramingAsbEngine : public TestEngine {
 public:
  FramingAsbEngine() {
    InitCmdHelper();
    packetFraming_ = 1;
    SetAsbCapable(1);
  }

 protected:
  void InitCmdHelper() override { cmdHelper_ = &k15_; }

 private:
  CmdHelper_K15 k15_;
};

struct BlockCase {
  const char* name;
  bool blockFirst;
};

class StatusBlockWithTheAnswer : public testing::TestWithParam<BlockCase> {};

TEST_P(StatusBlockWithTheAnswer, IsApplied) {
  const BlockCase& c = GetParam();
  RecordingEvents events;
  FramingAsbEngine engine;
  auto port = std::make_shared<FakePort>(L"TCP/IP");
  port->SetResponder(Printer([](size_t, size_t) { return kAck; }));
  engine.UsePort(port);
  LONG rc = -1;
  ASSERT_EQ(engine.OpenServiceW(L"printer", &events, &rc), 0);
  engine.ClaimDevice(1000, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(engine.DeviceEnable(1), 1);
  {
    std::lock_guard<std::mutex> lock(events.mutex);
    events.statuses.clear();
  }
  ASSERT_EQ(engine.GetLastStatus().coverOpen, 0);
  ASSERT_EQ(engine.GetLastStatus().paperEnd, 0);

  // The cover opens while the job is being answered: its block shares the read.
  port->SetResponder(Printer([&c](size_t i, size_t n) {
    Bytes answer = kAck;
    if (i + 1 == n) answer.insert(c.blockFirst ? answer.begin() : answer.end(),
                                  kCoverOpenBlock.begin(), kCoverOpenBlock.end());
    return answer;
  }));
  engine.PrintNormal(PTR_S_RECEIPT, kJob, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(engine.GetLastStatus().coverOpen, 0);
  std::lock_guard<std::mutex> lock(events.mutex);
  EXPECT_EQ(events.statuses, std::vector<LONG>{PTR_SUE_COVER_OPEN});
}

INSTANTIATE_TEST_SUITE_P(Reads, StatusBlockWithTheAnswer,
                         testing::Values(BlockCase{"AfterTheLastAck", false},
                                         BlockCase{"BeforeTheLastAck", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

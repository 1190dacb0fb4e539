#include <gtest/gtest.h>

#include <cwctype>
#include <thread>

#include "OposConstants.h"
#include "PrinterWorker.h"
#include "TestEngine.h"
#include "platform/sync.h"

namespace {

using zanth::test::FakePort;
using zanth::test::RecordingEvents;
using zanth::test::TestEngine;
using Bytes = std::vector<BYTE>;

const Bytes kInitialize = {0x1B, 0x40};  // ESC @
const Bytes kClaimSetup = {
    0x1B, 0x3D, 0x01,        // ESC = 1: select the printer
    0x1B, 0x63, 0x34, 0xFC,  // ESC c 4 252: near-end sensors do not stop printing
    0x1B, 0x63, 0x33, 0x00,  // ESC c 3 0: no paper-out signal sensors
    0x1C, 0x26,              // FS &: double-byte mode on
};

struct Fixture : ::testing::Test {
  void Open(const std::wstring& type = L"FILE") {
    port = std::make_shared<FakePort>(type);
    engine.UsePort(port);
    LONG openResult = -1;
    ASSERT_EQ(engine.OpenServiceW(L"printer", &events, &openResult), 0);
    ASSERT_EQ(openResult, 0);
  }
  LONG Claim() {
    LONG result = 0;
    engine.ClaimDevice(1000, &result);
    return result;
  }

  RecordingEvents events;
  std::shared_ptr<FakePort> port;
  // Declared last, so it goes first: its worker may still call the members above.
  TestEngine engine;
};

TEST_F(Fixture, FullCycleReportsSuccessAndSendsClaimSequence) {
  Open();
  EXPECT_EQ(engine.IsOpened(), 1);
  EXPECT_EQ(port->OpenCount(), 1);  // the probe
  EXPECT_EQ(port->IsOpen(), 0);

  EXPECT_EQ(Claim(), 0);
  EXPECT_EQ(engine.IsClaimed(), 1);
  EXPECT_EQ(port->IsOpen(), 1);
  const auto blocks = port->Blocks();
  ASSERT_GE(blocks.size(), 2u);
  EXPECT_EQ(blocks[0], kInitialize);
  EXPECT_EQ(blocks[1], kClaimSetup);

  port->ClearWritten();
  EXPECT_EQ(engine.DeviceEnable(1), 1);
  ASSERT_FALSE(port->Blocks().empty());
  const Bytes enableBlock = {
      0x1B, 0x3D, 0x01,  // ESC = 1
      0x1B, 0x33, 0x24,  // ESC 3 36: line spacing after open, 1.5 x font A height 24
      0x1B, 0x21, 0x00,  // ESC ! 0
      0x1B, 0x61, 0x00,  // ESC a 0
      0x1B, 0x2D, 0x00,  // ESC - 0
  };
  EXPECT_EQ(port->Blocks()[0], enableBlock);
  EXPECT_EQ(engine.GetWorker()->GetState(),
            Tesk::Printer::CPrinterTaskThreadContext::kRunning);

  EXPECT_EQ(engine.DeviceEnable(0), 1);
  EXPECT_EQ(engine.GetWorker()->GetState(),
            Tesk::Printer::CPrinterTaskThreadContext::kSuspended);

  LONG result = -1;
  engine.ReleaseDevice(&result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(engine.IsClaimed(), 0);
  EXPECT_EQ(port->IsOpen(), 0);
  const Bytes asbOff = {0x1D, 0x61, 0x00};  // GS a 0
  EXPECT_EQ(port->Blocks().back(), asbOff);

  result = -1;
  engine.CloseService(&result);
  EXPECT_EQ(engine.IsOpened(), 0);
  EXPECT_EQ(engine.GetPrinterPort(), nullptr);
}

TEST_F(Fixture, ClaimTwiceDoesNotTouchThePort) {
  Open();
  ASSERT_EQ(Claim(), 0);
  const auto written = port->Written();
  EXPECT_EQ(Claim(), 0);
  EXPECT_EQ(port->OpenCount(), 2);  // probe + first claim
  EXPECT_EQ(port->Written(), written);
}

TEST_F(Fixture, ClaimOnClosedEngineIs101) {
  EXPECT_EQ(Claim(), OPOS_E_CLOSED);
  EXPECT_EQ(engine.GetResultCode(), OPOS_E_CLOSED);
}

TEST_F(Fixture, PortThatDoesNotOpenAtClaimIs106AndStaysOpen) {
  Open();
  port->SetOpenFails(true);
  EXPECT_EQ(Claim(), OPOS_E_ILLEGAL);
  EXPECT_EQ(engine.IsClaimed(), 0);
  EXPECT_EQ(engine.IsOpened(), 1);
}

TEST_F(Fixture, ProbeFailureAtOpenGives401) {
  port = std::make_shared<FakePort>();
  port->SetOpenFails(true);
  engine.UsePort(port);
  LONG openResult = 0;
  engine.OpenServiceW(L"printer", &events, &openResult);
  EXPECT_EQ(openResult, OPOS_ORS_NOPORT);
  EXPECT_EQ(engine.IsOpened(), 0);
}

// Holds the port lock on another thread until released.
struct LockHolder {
  explicit LockHolder(Tesk::Printer::CPrinterPort& printerPort) {
    thread = std::thread([&] {
      printerPort.TryLock();
      held.Set();
      release.Wait(INFINITE);
      printerPort.Unlock();
    });
    held.Wait(INFINITE);
  }
  ~LockHolder() {
    release.Set();
    thread.join();
  }
  platform::Event held{true, false};
  platform::Event release{true, false};
  std::thread thread;
};

TEST_F(Fixture, LockHeldByAnotherThreadGives401AtOpen) {
  port = std::make_shared<FakePort>();
  engine.UsePort(port);
  LockHolder holder(*engine.GetPrinterPort());
  LONG openResult = 0;
  engine.OpenServiceW(L"printer", &events, &openResult);
  EXPECT_EQ(openResult, OPOS_ORS_NOPORT);
}

TEST_F(Fixture, LockHeldByAnotherThreadGives113AtClaim) {
  Open();
  LockHolder holder(*engine.GetPrinterPort());
  EXPECT_EQ(Claim(), OPOS_E_BUSY);
  EXPECT_EQ(engine.IsClaimed(), 0);
  EXPECT_EQ(port->IsOpen(), 0);
}

TEST_F(Fixture, LockHeldAtReleaseGives113AndKeepsPortOpen) {
  Open();
  ASSERT_EQ(Claim(), 0);
  LockHolder holder(*engine.GetPrinterPort());
  LONG result = 0;
  engine.ReleaseDevice(&result);  // about five seconds of tries
  EXPECT_EQ(result, OPOS_E_BUSY);
  EXPECT_STREQ(engine.ErrorInformation(), L"Cann't close port!");
  EXPECT_EQ(engine.IsClaimed(), 0);
  EXPECT_EQ(port->IsOpen(), 1);
}

TEST_F(Fixture, EnableNeedsAClaimAndAChange) {
  Open();
  EXPECT_EQ(engine.DeviceEnable(1), 0);  // not claimed
  ASSERT_EQ(Claim(), 0);
  EXPECT_EQ(engine.DeviceEnable(0), 0);  // already disabled
  EXPECT_EQ(engine.DeviceEnable(1), 1);
  EXPECT_EQ(engine.DeviceEnable(1), 0);
  EXPECT_EQ(engine.IsEnabled(), 1);
}

struct PollCase {
  const wchar_t* portType;
  DWORD interval;
};

class PollInterval : public Fixture, public ::testing::WithParamInterface<PollCase> {};

TEST_P(PollInterval, FollowsThePortType) {
  Open(GetParam().portType);
  ASSERT_EQ(Claim(), 0);
  ASSERT_EQ(engine.DeviceEnable(1), 1);
  EXPECT_EQ(engine.GetWorker()->GetPollInterval(), GetParam().interval);
}

INSTANTIATE_TEST_SUITE_P(Ports, PollInterval,
                         ::testing::Values(PollCase{L"USB", 2000}, PollCase{L"COM", 200},
                                           PollCase{L"LPT", 200}, PollCase{L"TCP/IP", 200},
                                           PollCase{L"FILE", 200}),
                         [](const auto& info) {
                           std::string name;
                           for (const wchar_t* c = info.param.portType; *c; ++c)
                             if (std::iswalnum(static_cast<wint_t>(*c))) name += static_cast<char>(*c);
                           return name;
                         });

TEST_F(Fixture, ParallelPrinterThatNeverAnswersStaysUnidirectional) {
  engine.SetBidiAnswer(0);
  engine.SetAsbCapable(1);
  engine.SetQueryInfoAtClaim(1);
  Open(L"LPT");
  ASSERT_EQ(Claim(), 0);
  EXPECT_EQ(engine.IsBidirectional(), 0);
  EXPECT_EQ(engine.IsAsbInUse(), 0);
  const Bytes probe = {0x1D, 0x72, 0x01};  // GS r 1
  const auto blocks = port->Blocks();
  ASSERT_EQ(blocks.size(), 3u);  // ESC @, set-up, probe: no information queries
  EXPECT_EQ(blocks[2], probe);
}

TEST_F(Fixture, ParallelPrinterThatAnswersBecomesBidirectionalWithAsb) {
  engine.SetBidiAnswer(0);
  engine.SetAsbCapable(1);
  Open(L"LPT");
  port->SetResponder([](const Bytes& block) {
    return block == Bytes{0x1D, 0x72, 0x01} ? Bytes{0x00} : Bytes{};
  });
  ASSERT_EQ(Claim(), 0);
  EXPECT_EQ(engine.IsBidirectional(), 1);
  EXPECT_EQ(engine.IsAsbInUse(), 1);
}

TEST_F(Fixture, AsbIsNeverUsedOnUsb) {
  engine.SetAsbCapable(1);
  Open(L"USB");
  ASSERT_EQ(Claim(), 0);
  EXPECT_EQ(engine.IsBidirectional(), 1);
  EXPECT_EQ(engine.IsAsbInUse(), 0);
}

// The printer-information queries at claim and a printer that answers them.
FakePort::Bytes AnswerInformation(const FakePort::Bytes& block) {
  auto endsWith = [&](const Bytes& tail) {
    return block.size() >= tail.size() &&
           std::equal(tail.begin(), tail.end(), block.end() - static_cast<long>(tail.size()));
  };
  auto framed = [](const std::string& text) {
    Bytes reply(text.size() + 2, 0x00);
    reply[0] = 0x5F;
    std::copy(text.begin(), text.end(), reply.begin() + 1);
    return reply;
  };
  if (endsWith({0x1D, 0x49, 0x41})) return framed("2.05 ESC/POS");
  if (endsWith({0x1D, 0x49, 0x42})) return framed("Acme");
  if (endsWith({0x1D, 0x49, 0x43})) return framed("A-VERY-LONG-PRINTER-MODEL-NAME-XYZ");
  if (endsWith({0x1D, 0x49, 0x02})) return {0x02};  // type ID with the cutter bit
  return {};
}

TEST_F(Fixture, ClaimStoresThePrinterInformation) {
  engine.SetQueryInfoAtClaim(1);
  Open(L"TCP/IP");
  port->SetResponder(AnswerInformation);
  ASSERT_EQ(Claim(), 0);
  EXPECT_EQ(engine.GetFirmwareVersion(), "2.05 ESC/POS");
  EXPECT_EQ(engine.GetMakerName(), "Acme");
  EXPECT_EQ(engine.GetModelName(), L"A-VERY-LONG-PRINTER-MODEL-NAM");  // 29 characters
  EXPECT_EQ(engine.GetModelName().size(), 29u);
  EXPECT_EQ(engine.GetCapRecPapercut(), 1);
}

TEST_F(Fixture, SilentPrinterAtClaimStillClaims) {
  engine.SetQueryInfoAtClaim(1);
  Open(L"TCP/IP");
  EXPECT_EQ(Claim(), 0);
  EXPECT_EQ(engine.IsClaimed(), 1);
  EXPECT_EQ(engine.GetFirmwareVersion(), "1.00");  // the default stays
}

struct RcCase {
  LONG code, resultCode, extended;
};

TEST(SetRC, SplitsCodesAbove200IntoExtended) {
  const RcCase cases[] = {{0, 0, 0}, {106, 106, 0}, {200, 200, 0}, {201, 114, 201}, {300, 114, 300}};
  for (const auto& c : cases) {
    TestEngine engine;
    EXPECT_EQ(engine.SetRC(c.code), c.resultCode) << c.code;
    EXPECT_EQ(engine.GetResultCode(), c.resultCode) << c.code;
    EXPECT_EQ(engine.GetResultCodeExtended(), c.extended) << c.code;
  }
}

TEST_F(Fixture, SecondOpenOnlyResetsTheRunTimeState) {
  Open();
  ASSERT_EQ(Claim(), 0);
  LONG openResult = -1;
  engine.OpenServiceW(L"printer", &events, &openResult);
  EXPECT_EQ(engine.IsClaimed(), 0);
  EXPECT_EQ(engine.IsOpened(), 1);
  EXPECT_EQ(port->OpenCount(), 2);  // no second probe
}

}  // namespace

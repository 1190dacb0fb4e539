#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "OposConstants.h"
#include "TestEngine.h"
#include "platform/sync.h"

namespace {

using Tesk::Printer::tagPrinterStatus;
using zanth::test::FakePort;
using zanth::test::RecordingEvents;
using zanth::test::TestEngine;
using Bytes = std::vector<BYTE>;

// The printer side of DLE EOT n and GS r n, with replies a test sets.
struct ScriptedPrinter {
  BYTE printerStatus = 0x12;  // DLE EOT 1: on-line, drawer clear
  BYTE offlineCause = 0x12;   // DLE EOT 2: cover closed
  BYTE paperStatus = 0x12;    // DLE EOT 4: paper present
  BYTE paperSensor = 0x00;    // GS r 1
  BYTE drawerSensor = 0x00;   // GS r 2
  Bytes usbPrefix;            // older bytes a USB read brings before the answer
  bool silent = false;
  std::vector<Bytes> requests;

  FakePort::Responder Responder() {
    return [this](const Bytes& block) -> Bytes {
      requests.push_back(block);
      if (silent || block.size() != 3) return {};
      BYTE answer;
      if (block[0] == 0x10 && block[1] == 0x04) {
        answer = block[2] == 1 ? printerStatus : block[2] == 2 ? offlineCause : paperStatus;
      } else if (block[0] == 0x1D && block[1] == 0x72) {
        answer = block[2] == 1 ? paperSensor : drawerSensor;
      } else {
        return {};
      }
      Bytes reply = usbPrefix;
      reply.push_back(answer);
      return reply;
    };
  }
};

struct StatusFixture : ::testing::Test {
  // drawerOnly: enabled for a drawer client alone (open level 1: bit set means open).
  void Enable(const std::wstring& portType = L"TCP/IP", BYTE method = 3, bool drawerOnly = false) {
    port = std::make_shared<FakePort>(portType);
    engine.UsePort(port);
    engine.SetStatusMethod(method);
    LONG openResult = 0;
    ASSERT_EQ(engine.OpenServiceW(L"p", &events, &openResult), 0);
    LONG result = 0;
    engine.ClaimDevice(0, &result);
    ASSERT_EQ(result, 0);
    port->SetResponder(printer.Responder());
    if (drawerOnly) {
      engine.SetupCashDrawer(0, 1, 1, 100, 100, 1000);
    } else {
      engine.SetPrinterMode(1);
      engine.SetDrawerOpenLevel(1);  // sensor bit clear: drawer closed
    }
    ASSERT_EQ(engine.DeviceEnable(1), 1);
  }
  std::vector<LONG> Poll() {
    events.statuses.clear();
    engine.GetPrinterState(false);
    return events.statuses;
  }

  RecordingEvents events;
  ScriptedPrinter printer;
  std::shared_ptr<FakePort> port;
  // Declared last, so it goes first: its worker may still call the members above.
  TestEngine engine;
};

// Initial report at enable: paper first, then cover, unconditionally.
struct InitialCase {
  const char* name;
  BYTE printerStatus, offlineCause, paperStatus;
  std::vector<LONG> events;
};

class InitialReport : public StatusFixture, public ::testing::WithParamInterface<InitialCase> {};

TEST_P(InitialReport, RaisesPaperThenCover) {
  const auto& c = GetParam();
  printer.printerStatus = c.printerStatus;
  printer.offlineCause = c.offlineCause;
  printer.paperStatus = c.paperStatus;
  Enable();
  EXPECT_EQ(events.statuses, c.events);
}

INSTANTIATE_TEST_SUITE_P(
    RealTime, InitialReport,
    ::testing::Values(
        InitialCase{"Ready", 0x12, 0x12, 0x12, {PTR_SUE_REC_PAPEROK, PTR_SUE_COVER_OK}},
        // Off-line (1A) with the cover open (16) and paper out (72).
        InitialCase{"CoverOpenPaperOut", 0x1A, 0x16, 0x72, {PTR_SUE_REC_EMPTY, PTR_SUE_COVER_OPEN}},
        InitialCase{"NearEnd", 0x12, 0x12, 0x1E, {PTR_SUE_REC_NEAREMPTY, PTR_SUE_COVER_OK}},
        // On-line printers report their paper too (paper check on).
        InitialCase{"OnlinePaperOut", 0x12, 0x12, 0x7E,
                    {PTR_SUE_REC_EMPTY, PTR_SUE_REC_NEAREMPTY, PTR_SUE_COVER_OK}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StatusFixture, StateAfterOpenIsPaperOutUntilTheFirstRead) {
  port = std::make_shared<FakePort>(L"TCP/IP");
  engine.UsePort(port);
  LONG openResult = 0;
  engine.OpenServiceW(L"p", &events, &openResult);
  EXPECT_EQ(engine.IsInErrorState(), 1);
  EXPECT_EQ(engine.GetLastStatus().paperEnd, 1);
  EXPECT_EQ(engine.GetLastStatus().nearEnd, 1);
}

TEST_F(StatusFixture, PaperChangesAreReportedOnEdges) {
  Enable();
  ASSERT_EQ(engine.IsInErrorState(), 0);
  printer.paperStatus = 0x7E;  // near end (0C) and end (60)
  EXPECT_EQ(Poll(), (std::vector<LONG>{PTR_SUE_REC_EMPTY, PTR_SUE_REC_NEAREMPTY}));
  EXPECT_EQ(engine.IsInErrorState(), 1);
  printer.paperStatus = 0x1E;  // only near end
  EXPECT_EQ(Poll(), (std::vector<LONG>{PTR_SUE_REC_NEAREMPTY}));
  EXPECT_EQ(Poll(), std::vector<LONG>{});
  printer.paperStatus = 0x12;  // paper restored
  EXPECT_EQ(Poll(), (std::vector<LONG>{PTR_SUE_REC_PAPEROK}));
  EXPECT_EQ(Poll(), std::vector<LONG>{});
}

TEST_F(StatusFixture, CoverChangesAreReportedOnEdges) {
  Enable();
  printer.printerStatus = 0x1A;  // off-line
  printer.offlineCause = 0x16;   // cover open
  EXPECT_EQ(Poll(), (std::vector<LONG>{PTR_SUE_COVER_OPEN}));
  EXPECT_EQ(Poll(), std::vector<LONG>{});
  printer.printerStatus = 0x12;
  EXPECT_EQ(Poll(), (std::vector<LONG>{PTR_SUE_COVER_OK}));
}

TEST_F(StatusFixture, OfflinePrinterIsAskedForCauseAndPaper) {
  printer.printerStatus = 0x1E;  // drawer set (04), off-line (08)
  Enable();
  printer.requests.clear();
  Poll();
  const std::vector<Bytes> expected = {{0x10, 0x04, 0x01}, {0x10, 0x04, 0x02}, {0x10, 0x04, 0x04}};
  EXPECT_EQ(printer.requests, expected);
}

TEST_F(StatusFixture, OnlinePrinterWithoutPaperCheckIsNotAskedForPaper) {
  engine.SetNearEndCheck(0);
  printer.printerStatus = 0x16;  // drawer set, on-line
  printer.paperStatus = 0x7E;    // would say paper out if asked
  Enable();
  EXPECT_EQ(events.statuses, (std::vector<LONG>{PTR_SUE_REC_PAPEROK, PTR_SUE_COVER_OK}));
  printer.requests.clear();
  Poll();
  EXPECT_EQ(printer.requests, (std::vector<Bytes>{{0x10, 0x04, 0x01}}));
}

TEST_F(StatusFixture, StatusByCommandReadsPaperSensorAndDrawer) {
  printer.paperSensor = 0x0C;  // paper end
  Enable(L"TCP/IP", 2);
  EXPECT_EQ(events.statuses, (std::vector<LONG>{PTR_SUE_REC_EMPTY, PTR_SUE_COVER_OK}));
  printer.requests.clear();
  printer.paperSensor = 0x00;
  EXPECT_EQ(Poll(), (std::vector<LONG>{PTR_SUE_REC_PAPEROK}));
  EXPECT_EQ(printer.requests, (std::vector<Bytes>{{0x1D, 0x72, 0x01}, {0x1D, 0x72, 0x02}}));
}

TEST_F(StatusFixture, DrawerOnlyClientAsksOnlyTheDrawer) {
  Enable(L"TCP/IP", 3);
  engine.SetPrinterMode(0);
  engine.SetupCashDrawer(0, 1, 1, 100, 100, 1000);  // open level 1: bit set means open
  printer.requests.clear();
  printer.drawerSensor = 0x01;
  EXPECT_EQ(Poll(), (std::vector<LONG>{2}));
  EXPECT_EQ(printer.requests, (std::vector<Bytes>{{0x1D, 0x72, 0x02}}));
  printer.drawerSensor = 0x00;
  EXPECT_EQ(Poll(), (std::vector<LONG>{1}));
}

TEST_F(StatusFixture, UsbReplyIsJudgedByItsLastByte) {
  printer.usbPrefix = {0x7E, 0x00, 0x55};  // stale bytes that would not decode
  printer.paperStatus = 0x1E;
  Enable(L"USB");
  EXPECT_EQ(events.statuses, (std::vector<LONG>{PTR_SUE_REC_NEAREMPTY, PTR_SUE_COVER_OK}));
}

TEST_F(StatusFixture, SilentPrinterGivesUpAfterSixTriesWithStatusUnknown) {
  printer.silent = true;
  const DWORD start = GetTickCount();
  Enable();
  EXPECT_TRUE(events.statuses.empty());
  // The paper out assumed at open ends with the attempt: unknown refuses nothing.
  EXPECT_EQ(engine.GetLastStatus().paperEnd, 0);
  EXPECT_EQ(engine.GetLastStatus().nearEnd, 0);
  EXPECT_EQ(engine.IsInErrorState(), 0);
  int statusRequests = 0;
  for (const auto& r : printer.requests) statusRequests += r == Bytes{0x10, 0x04, 0x01};
  EXPECT_EQ(statusRequests, 6);
  EXPECT_LT(GetTickCount() - start, 10000u);
}

TEST_F(StatusFixture, SendAndReadDataWithLengthZeroIs108AfterWriting) {
  Enable();
  PrinterBuffer request;
  request.Append(0x1D);
  request.Append(0x49);
  request.Append(0x01);
  port->ClearWritten();
  LONG count = -1;
  EXPECT_EQ(engine.SendAndReadData(request, nullptr, 0, 0, &count), OPOS_E_OFFLINE);
  EXPECT_EQ(port->Written(), (Bytes{0x1D, 0x49, 0x01}));
  EXPECT_EQ(count, 0);
}

TEST_F(StatusFixture, SendAndReadDataDrainsAReply) {
  Enable();
  port->SetResponder([](const Bytes&) { return Bytes{1, 2, 3}; });
  PrinterBuffer request;
  request.Append(0x00);
  LONG count = 0;
  EXPECT_EQ(engine.SendAndReadData(request, nullptr, 0, -1, &count), 0);
  EXPECT_EQ(count, 3);
}

// Automatic status back blocks.
struct AsbCase {
  Bytes block;
  int valid;
  LONG drawer, offline, cover;
};

class AsbBlocks : public StatusFixture, public ::testing::WithParamInterface<AsbCase> {};

TEST_P(AsbBlocks, DecodeOnlyValidBlocks) {
  engine.SetAsbCapable(1);
  Enable(L"TCP/IP");
  ASSERT_EQ(engine.IsAsbInUse(), 1);
  port->SetMaxPerRead(2);  // the block arrives in two pieces
  port->QueueReply(GetParam().block);
  tagPrinterStatus status;
  EXPECT_EQ(engine.GetPrinterStateByASB(&status), GetParam().valid);
  if (GetParam().valid) {
    EXPECT_EQ(status.drawer != 0, GetParam().drawer != 0);
    EXPECT_EQ(status.offline != 0, GetParam().offline != 0);
    EXPECT_EQ(status.coverOpen != 0, GetParam().cover != 0);
  }
}

INSTANTIATE_TEST_SUITE_P(FirstByte, AsbBlocks,
                         ::testing::Values(AsbCase{{0x14, 0x00, 0x00, 0x00}, 1, 1, 0, 0},
                                           AsbCase{{0x18, 0x00, 0x00, 0x00}, 1, 0, 1, 0},
                                           AsbCase{{0x30, 0x00, 0x00, 0x00}, 1, 0, 0, 1},
                                           AsbCase{{0x12, 0x00, 0x00, 0x00}, 0, 0, 0, 0},
                                           AsbCase{{0x10, 0x80, 0x00, 0x00}, 0, 0, 0, 0},
                                           AsbCase{{0x10, 0x00}, 0, 0, 0, 0}),
                         [](const auto& info) {
                           char name[32];
                           std::snprintf(name, sizeof name, "First%02X_%zuBytes",
                                         info.param.block[0], info.param.block.size());
                           return std::string(name) + (info.param.block.size() == 4 &&
                                                               info.param.block[1] ? "_BadSecond" : "");
                         });

TEST_F(StatusFixture, AsbEnableReadsByQueryThenSwitchesAsbOn) {
  engine.SetAsbCapable(1);
  Enable(L"TCP/IP");
  const auto blocks = port->Blocks();
  // The status queries come before GS a 255.
  auto asbOn = std::find(blocks.begin(), blocks.end(), Bytes{0x1D, 0x61, 0xFF});
  ASSERT_NE(asbOn, blocks.end());
  auto query = std::find(blocks.begin(), blocks.end(), Bytes{0x10, 0x04, 0x01});
  ASSERT_NE(query, blocks.end());
  EXPECT_LT(query - blocks.begin(), asbOn - blocks.begin());
  EXPECT_EQ(events.statuses, (std::vector<LONG>{PTR_SUE_REC_PAPEROK, PTR_SUE_COVER_OK}));
}

// A printer client joining an engine its drawer enabled with automatic status back on:
// the unread input it clears before asking about paper holds the block that reported the
// drawer opening.
TEST_F(StatusFixture, PrinterJoiningADrawersEngineKeepsTheDrawerBlockItClears) {
  engine.SetAsbCapable(1);
  Enable(L"TCP/IP", 3, true);
  ASSERT_EQ(engine.IsAsbInUse(), 1);
  events.statuses.clear();
  port->QueueReply({0x14, 0x00, 0x00, 0x00});  // the drawer opened
  printer.printerStatus = 0x16;
  engine.SetPrinterMode(1);
  engine.ReadStatusIfPaperUnread();
  EXPECT_EQ(events.statuses, (std::vector<LONG>{2, PTR_SUE_REC_PAPEROK, PTR_SUE_COVER_OK}));
}

TEST_F(StatusFixture, RandomRepliesNeverRaiseInvalidEvents) {
  Enable();
  std::mt19937 random(12345);
  const std::vector<LONG> allowed = {1, 2, 11, 12, 24, 25, 26};
  for (int round = 0; round < 300; ++round) {
    printer.printerStatus = static_cast<BYTE>(random());
    printer.offlineCause = static_cast<BYTE>(random());
    printer.paperStatus = static_cast<BYTE>(random());
    if (round % 7 == 0) port->QueueReply({static_cast<BYTE>(random()), static_cast<BYTE>(random())});
    for (LONG event : Poll())
      ASSERT_NE(std::find(allowed.begin(), allowed.end(), event), allowed.end()) << event;
    const auto& status = engine.GetLastStatus();
    ASSERT_TRUE(status.paperEnd == 0 || !(status.paperEnd & ~0x60));
  }
}

TEST_F(StatusFixture, FloodingPrinterDoesNotHangThePoll) {
  Enable();
  port->QueueReply(Bytes(100000, 0x12));
  const DWORD start = GetTickCount();
  Poll();
  EXPECT_LT(GetTickCount() - start, 10000u);
}

}  // namespace

// Asynchronous output on the engine's worker: job order and IDs, the bytes written, the
// heaps, clearing during a write, held failures with retry or clear, and disabling.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <chrono>
#include <string>
#include <thread>

#include "OposConstants.h"
#include "PrinterPort.h"
#include "PrinterWorker.h"
#include "TestEngine.h"

namespace {

using zanth::test::FakePort;
using zanth::test::RecordingEvents;
using zanth::test::TestEngine;
using Bytes = std::vector<BYTE>;
using Worker = Tesk::Printer::CPrinterTaskThreadContext;

// GS r 1 answers paperReply (0x0C: paper out), GS r 2 answers drawer closed.
FakePort::Responder PaperSensor(BYTE paperReply) {
  return [paperReply](const Bytes& request) -> Bytes {
    if (request.size() == 3 && request[0] == 0x1D && request[1] == 0x72)
      return {request[2] == 1 ? paperReply : BYTE{0}};
    return {};
  };
}

// For conditions nothing signals (the port's state): checks every 5 ms, 10 s at most.
template <class Pred>
bool WaitUntil(Pred pred) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class AsyncEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    port = std::make_shared<FakePort>();
    port->SetResponder(PaperSensor(0x00));
    engine.UsePort(port);
    LONG result = -1;
    ASSERT_EQ(engine.OpenServiceW(L"printer", &events, &result), 0);
    engine.ClaimDevice(1000, &result);
    ASSERT_EQ(result, 0);
    ASSERT_EQ(engine.DeviceEnable(1), 1);
    port->ClearWritten();
  }
  void TearDown() override {
    port->HoldWrites(false);
    LONG result = 0;
    engine.CloseService(&result);
  }
  void SetAsync(LONG on) {
    LONG result = -1;
    engine.SetPropertyNumber(PIDXPtr_AsyncMode, on, &result);
    ASSERT_EQ(result, 0);
  }
  LONG Print(const std::wstring& text) {
    LONG result = -1;
    engine.PrintNormal(PTR_S_RECEIPT, text, &result);
    return result;
  }
  LONG OutputIdProperty() {
    LONG value = -1;
    engine.GetPropertyNumber(PIDX_OutputID, &value);
    return value;
  }
  bool WaitForOutputs(size_t count) {
    return events.WaitFor([&] { return events.outputs.size() >= count; });
  }
  bool WaitForErrors(size_t count) {
    return events.WaitFor([&] { return events.outputErrors.size() >= count; });
  }
  Worker& worker() { return *engine.GetWorker(); }

  TestEngine engine;
  RecordingEvents events;
  std::shared_ptr<FakePort> port;
};

TEST_F(AsyncEngine, JobsGetConsecutiveIdsCompleteInOrderWithTheSynchronousBytes) {
  const std::wstring texts[] = {L"first\n", L"\x1b|bCsecond\n", L"third\n"};
  for (const auto& text : texts) ASSERT_EQ(Print(text), 0);
  const auto synchronous = port->Blocks();
  port->ClearWritten();

  SetAsync(1);
  std::vector<LONG> ids;
  for (const auto& text : texts) {
    ASSERT_EQ(Print(text), 0);
    ids.push_back(OutputIdProperty());
  }
  EXPECT_EQ(ids[1], ids[0] + 1);
  EXPECT_EQ(ids[2], ids[1] + 1);
  ASSERT_TRUE(WaitForOutputs(3));
  EXPECT_EQ(events.outputs, ids);
  EXPECT_EQ(port->Blocks(), synchronous);
  EXPECT_TRUE(engine.IsIdle());
}

TEST_F(AsyncEngine, EnginesOwnSendGoesOutAtOnceWithoutAnOutputId) {
  SetAsync(1);
  port->HoldWrites(true);
  ASSERT_EQ(Print(L"queued\n"), 0);
  const LONG queuedId = OutputIdProperty();
  // The queued job waits in the port; the engine's own printout must not queue behind it.
  ASSERT_TRUE(WaitUntil([&] { return port->WritesWaiting() == 1; }));
  port->HoldWrites(false);
  EXPECT_EQ(engine.printImmediate("health\n"), 0);
  ASSERT_TRUE(WaitForOutputs(1));
  EXPECT_EQ(events.outputs, std::vector<LONG>{queuedId});
  EXPECT_EQ(OutputIdProperty(), queuedId);
}

struct HeapCase {
  const char* name;
  std::vector<size_t> sizes;
  size_t smallUsed, largeUsed;
};

class Heaps : public AsyncEngine, public ::testing::WithParamInterface<HeapCase> {};

TEST_P(Heaps, JobDataGoesToTheSmallHeapUntilItIsFullOrTheJobIsLarge) {
  const auto& c = GetParam();
  auto holder = engine.GetPrinterPort();
  holder->Lock();  // the worker cannot write: every job stays queued
  for (size_t size : c.sizes) {
    std::vector<BYTE> data(size, 'x');
    LONG id = 0;
    ASSERT_EQ(worker().QueueOutput(data.data(), data.size(), false, &id), 0);
  }
  EXPECT_EQ(worker().SmallHeap().Used(), c.smallUsed);
  EXPECT_EQ(worker().LargeHeap().Used(), c.largeUsed);
  holder->Unlock();
  ASSERT_TRUE(WaitForOutputs(c.sizes.size()));
  EXPECT_EQ(port->Written().size(), c.smallUsed + c.largeUsed);
  // Every block goes back to its heap once its job is done.
  EXPECT_TRUE(WaitUntil([&] { return worker().SmallHeap().Used() + worker().LargeHeap().Used() == 0; }));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, Heaps,
    ::testing::Values(HeapCase{"SmallJob", {65535}, 65535, 0},
                      HeapCase{"LargeJob", {70000}, 0, 70000},
                      // 8 x 60000 fit the 512 KiB small heap; the ninth falls back.
                      HeapCase{"SmallHeapFull", std::vector<size_t>(9, 60000), 480000, 60000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AsyncEngine, ClearOutputDuringAWriteLetsItFinishAndDropsTheRest) {
  SetAsync(1);
  port->HoldWrites(true);
  for (const wchar_t* text : {L"one\n", L"two\n", L"three\n"}) ASSERT_EQ(Print(text), 0);
  const LONG first = OutputIdProperty() - 2;
  ASSERT_TRUE(WaitUntil([&] { return port->WritesWaiting() == 1; }));
  LONG result = -1;
  engine.ClearOutput(&result);
  EXPECT_EQ(worker().GetQueueCount(), 0);
  EXPECT_FALSE(engine.IsIdle());  // the first job is still being written
  SetAsync(0);
  EXPECT_EQ(Print(L"sync\n"), OPOS_E_BUSY);
  port->HoldWrites(false);
  ASSERT_TRUE(WaitForOutputs(1));
  ASSERT_TRUE(WaitUntil([&] { return engine.IsIdle() != 0; }));
  EXPECT_EQ(Print(L"sync\n"), 0);
  EXPECT_EQ(events.outputs, std::vector<LONG>{first});
  EXPECT_EQ(port->Blocks().size(), 2u);  // "one" and the synchronous line
}

// A job that cannot be written is held with its own codes; the answer retries or clears.
struct FailureCase {
  const char* name;
  BYTE paperReply;     // what the last status read found
  bool lockHeld;       // the port lock is held elsewhere instead of the write failing
  LONG resultCode, extended;
  bool retry;          // answer: retry (true) or clear (false)
};

class HeldFailure : public AsyncEngine, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(HeldFailure, ReportsTheJobsCodesOnceAndRetriesOrClears) {
  const auto& c = GetParam();
  port->SetResponder(PaperSensor(c.paperReply));
  engine.GetPrinterState(false);
  port->ClearWritten();
  SetAsync(1);
  worker().SetLockAttempts(1);
  auto holder = engine.GetPrinterPort();
  if (c.lockHeld) holder->Lock();
  else port->SetWriteFails(true);
  ASSERT_EQ(Print(L"held\n"), 0);
  const LONG heldId = OutputIdProperty();
  ASSERT_EQ(Print(L"behind\n"), 0);
  ASSERT_TRUE(WaitForErrors(1));
  EXPECT_EQ(events.outputErrors[0].resultCode, c.resultCode);
  EXPECT_EQ(events.outputErrors[0].resultCodeExtended, c.extended);
  EXPECT_TRUE(worker().IsHeld());
  EXPECT_EQ(worker().GetQueueCount(), 2);  // the failed job stays at the head
  EXPECT_TRUE(events.outputs.empty());     // a job that was not written is not complete
  // While output waits, the engine's own sends are refused, neither queued nor mixed in.
  for (const auto& call : std::vector<std::function<void(LONG*)>>{
           [&](LONG* r) { engine.OpenDrawer(r); },
           [&](LONG* r) { engine.CheckHealth(OPOS_CH_EXTERNAL, r); }}) {
    LONG busy = -1;
    call(&busy);
    EXPECT_EQ(busy, OPOS_E_BUSY);
  }
  EXPECT_EQ(worker().GetQueueCount(), 2);

  if (c.lockHeld) holder->Unlock();
  else port->SetWriteFails(false);
  if (c.retry) {
    engine.Retry();
    ASSERT_TRUE(WaitForOutputs(2));
    EXPECT_EQ(events.outputs, (std::vector<LONG>{heldId, heldId + 1}));
    EXPECT_EQ(port->Blocks().size(), 2u);  // each job written once, whole
  } else {
    LONG result = -1;
    engine.ClearOutput(&result);
    EXPECT_EQ(worker().GetQueueCount(), 0);
    ASSERT_EQ(Print(L"after\n"), 0);
    ASSERT_TRUE(WaitForOutputs(1));
    EXPECT_EQ(events.outputs, std::vector<LONG>{heldId + 2});
    EXPECT_EQ(port->Blocks().size(), 1u);
  }
  EXPECT_EQ(events.outputErrors.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, HeldFailure,
    ::testing::Values(
        FailureCase{"WriteFailedRetry", 0x00, false, OPOS_E_NOHARDWARE, 0, true},
        FailureCase{"WriteFailedClear", 0x00, false, OPOS_E_NOHARDWARE, 0, false},
        FailureCase{"PaperOutRetry", 0x0C, false, OPOS_E_EXTENDED, OPOS_EPTR_REC_EMPTY, true},
        FailureCase{"PortBusyRetry", 0x00, true, OPOS_E_TIMEOUT, 0, true},
        FailureCase{"PortBusyClear", 0x00, true, OPOS_E_TIMEOUT, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

// With AsyncMode off behind output still waiting, a change of turn that would print the
// collected sideways page is refused and changes nothing: the page stays collected and the
// turn in force; once the output is written the same request prints it. A change that
// prints nothing goes through.
TEST_F(AsyncEngine, RotatePrintBehindWaitingOutputIsBusyOnlyWhenItWouldPrint) {
  struct Row {
    const char* name;
    LONG from;
    const wchar_t* collected;  // nullptr: nothing printed under the turn
    LONG to, code;
    BYTE direction;  // ESC T of the sideways page
  } rows[] = {
      {"SidewaysPageToNormal", PTR_RP_RIGHT90, L"SIDE\n", PTR_RP_NORMAL, OPOS_E_BUSY, '3'},
      {"SidewaysPageToUpsideDown", PTR_RP_LEFT90, L"SIDE\n", PTR_RP_ROTATE180, OPOS_E_BUSY, '1'},
      {"SidewaysPageToTheOtherSide", PTR_RP_RIGHT90, L"SIDE\n", PTR_RP_LEFT90, OPOS_E_BUSY, '3'},
      {"NothingCollected", PTR_RP_RIGHT90, nullptr, PTR_RP_NORMAL, 0, 0},
  };
  auto rotate = [&](LONG rotation) {
    LONG result = -1;
    engine.RotatePrint(PTR_S_RECEIPT, rotation, &result);
    return result;
  };
  auto rotateSpecial = [&] {
    LONG value = -1;
    engine.GetPropertyNumber(PIDXPtr_RotateSpecial, &value);
    return value;
  };
  size_t completed = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SetAsync(1);
    port->HoldWrites(true);
    ASSERT_EQ(Print(L"written\n"), 0);
    ASSERT_EQ(Print(L"waiting\n"), 0);
    ASSERT_TRUE(WaitUntil([&] { return port->WritesWaiting() == 1; }));
    ASSERT_EQ(rotate(row.from), 0);
    if (row.collected) {
      ASSERT_EQ(Print(row.collected), 0);
    }
    SetAsync(0);
    EXPECT_EQ(rotate(row.to), row.code);
    EXPECT_EQ(rotateSpecial(), row.code == 0 ? row.to : row.from);
    EXPECT_EQ(worker().GetQueueCount(), 2);  // nothing queued or written in between
    port->HoldWrites(false);
    completed += 2;
    ASSERT_TRUE(WaitForOutputs(completed));
    ASSERT_TRUE(WaitUntil([&] { return engine.IsIdle() != 0; }));
    port->ClearWritten();
    if (row.code != 0) {
      EXPECT_EQ(rotate(row.to), 0);
      EXPECT_EQ(rotateSpecial(), row.to);
      const auto blocks = port->Blocks();
      ASSERT_EQ(blocks.size(), 1u);
      const Bytes side = {'S', 'I', 'D', 'E'}, turn = {0x1B, 'T', row.direction};
      const auto page = std::search(blocks[0].begin(), blocks[0].end(), turn.begin(), turn.end());
      EXPECT_NE(page, blocks[0].end());
      EXPECT_NE(std::search(page, blocks[0].end(), side.begin(), side.end()), blocks[0].end());
    } else {
      EXPECT_TRUE(port->Blocks().empty());
    }
    ASSERT_EQ(rotate(PTR_RP_NORMAL), 0);
    port->ClearWritten();
  }
}

TEST_F(AsyncEngine, AnExceptionStopsTheQueueWhichRefusesJobsUntilCleared) {
  SetAsync(1);
  port->SetWriteThrows(true);
  ASSERT_EQ(Print(L"boom\n"), 0);
  ASSERT_TRUE(WaitForErrors(1));
  EXPECT_EQ(events.outputErrors[0].resultCode, OPOS_E_FAILURE);
  port->SetWriteThrows(false);
  EXPECT_EQ(Print(L"refused\n"), OPOS_E_FAILURE);  // never accepted and then not run
  LONG result = -1;
  engine.ClearOutput(&result);
  ASSERT_EQ(Print(L"accepted\n"), 0);
  ASSERT_TRUE(WaitForOutputs(1));
  EXPECT_EQ(events.outputErrors.size(), 1u);
}

TEST_F(AsyncEngine, DisablingStopsWritesPollsAndEventsUntilTheNextEnable) {
  SetAsync(1);
  ASSERT_TRUE(WaitUntil([&] { return events.polls.load() >= 2; }));
  auto holder = engine.GetPrinterPort();
  holder->Lock();
  ASSERT_EQ(Print(L"dropped\n"), 0);
  ASSERT_EQ(engine.DeviceEnable(0), 1);
  holder->Unlock();
  EXPECT_EQ(worker().GetQueueCount(), 0);
  const int polls = events.polls.load();
  // Long enough for several polls and for the dropped job to have been written.
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  EXPECT_EQ(events.polls.load(), polls);
  EXPECT_TRUE(port->Blocks().empty());
  EXPECT_TRUE(events.outputs.empty());

  ASSERT_EQ(engine.DeviceEnable(1), 1);
  port->ClearWritten();
  ASSERT_EQ(Print(L"again\n"), 0);
  ASSERT_TRUE(WaitForOutputs(1));
  EXPECT_TRUE(WaitUntil([&] { return events.polls.load() > polls; }));
}

}  // namespace

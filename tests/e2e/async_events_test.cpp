// Asynchronous output and events through the control objects, the service object and the
// virtual printer on loopback TCP: OutputIDs and OutputCompletes, FreezeEvents, FlagWhenIdle,
// status changes after enable, drawer events, write failures answered with retry or clear,
// and callbacks that disable or freeze.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "CashDrawer.h"
#include "OposConstants.h"
#include "POSPrinter.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "so/com/SoTestSupport.h"
#include "support/EventRecorder.h"
#include "support/NetPrinterTest.h"

namespace zanth::test {
namespace {

using namespace std::chrono_literals;

class AsyncEvents : public NetPrinterTest {
 protected:
  // Queues one line per text; returns the OutputIDs the control object read back.
  std::vector<LONG> PrintLines(std::initializer_list<const wchar_t*> texts) {
    std::vector<LONG> ids;
    for (const wchar_t* text : texts) {
      EXPECT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, text), OPOS_SUCCESS);
      ids.push_back(printer_.OutputID());
    }
    return ids;
  }
};

TEST_F(AsyncEvents, JobsCompleteInOutputIdOrderAndPrintInOrder) {
  OpenEnabled();
  const auto ids = PrintLines({L"alpha\n", L"beta\n", L"gamma\n"});
  EXPECT_EQ(ids[1], ids[0] + 1);
  EXPECT_EQ(ids[2], ids[1] + 1);
  ASSERT_TRUE(events_.WaitFor('O', 3));
  EXPECT_EQ(events_.Of('O'), ids);
  EXPECT_NE(device_.PrintedText().find("alpha\nbeta\ngamma\n"), std::string::npos);
  EXPECT_EQ(printer_.State(), OPOS_S_IDLE);
}

TEST_F(AsyncEvents, FrozenJobsCompleteInOrderAfterTheThaw) {
  OpenEnabled();
  printer_.SetFreezeEvents(true);
  const auto ids = PrintLines({L"one\n", L"two\n", L"three\n"});
  ASSERT_TRUE(device_.WaitFor([&] { return device_.PrintedText().find("three") != std::string::npos; },
                              20s));
  EXPECT_TRUE(events_.Of('O').empty());  // written, but the completions are held
  printer_.SetFreezeEvents(false);
  ASSERT_TRUE(events_.WaitFor('O', 3));
  EXPECT_EQ(events_.Of('O'), ids);
}

TEST_F(AsyncEvents, FlagWhenIdleReportsIdleAfterEveryBurst) {
  OpenEnabled();
  for (int burst = 1; burst <= 2; ++burst) {
    SCOPED_TRACE(burst);
    printer_.SetFlagWhenIdle(1);
    const auto ids = PrintLines({L"a\n", L"b\n", L"c\n"});
    ASSERT_TRUE(events_.WaitForValue('S', PTR_SUE_IDLE, static_cast<size_t>(burst)));
    EXPECT_EQ(printer_.FlagWhenIdle(), 0);
    // Idle follows the burst's last completion.
    std::lock_guard<std::mutex> lock(events_.mutex);
    const auto& e = events_.entries;
    const auto last = std::find_if(e.rbegin(), e.rend(), [](const auto& x) { return x.kind == 'O'; });
    ASSERT_NE(last, e.rend());
    EXPECT_EQ(last->value, ids.back());
    EXPECT_EQ(e.back().kind, 'S');
    EXPECT_EQ(e.back().value, PTR_SUE_IDLE);
  }
}

struct StatusStep {
  const char* name;
  void (sim::VirtualPrinter::*set)(bool);
  bool on;
  LONG event, state, printResult, extended;
};

const StatusStep kCoverOpens = {"CoverOpens", &sim::VirtualPrinter::SetCoverOpen, true,
                                PTR_SUE_COVER_OPEN, OPOS_S_ERROR, OPOS_E_EXTENDED,
                                OPOS_EPTR_COVER_OPEN};
const StatusStep kCoverCloses = {"CoverCloses", &sim::VirtualPrinter::SetCoverOpen, false,
                                 PTR_SUE_COVER_OK, OPOS_S_IDLE, OPOS_SUCCESS, 0};
const StatusStep kPaperRunsOut = {"PaperRunsOut", &sim::VirtualPrinter::SetPaperEnd, true,
                                  PTR_SUE_REC_EMPTY, OPOS_S_ERROR, OPOS_E_EXTENDED,
                                  OPOS_EPTR_REC_EMPTY};
const StatusStep kPaperBack = {"PaperBack", &sim::VirtualPrinter::SetPaperEnd, false,
                               PTR_SUE_REC_PAPEROK, OPOS_S_IDLE, OPOS_SUCCESS, 0};

struct StatusCase {
  const char* name;
  const wchar_t* model;
  std::vector<StatusStep> steps;
};

class StatusAfterEnable : public AsyncEvents, public ::testing::WithParamInterface<StatusCase> {};

// The printer sends its changes by itself (automatic status back), or the idle worker asks
// (a model without it asks by transmit status, which tells paper but not the cover).
TEST_P(StatusAfterEnable, ReachesTheApplicationAndTheRulesFollow) {
  TempRegistry::SetString(std::wstring(kPrinterRoot) + L"Net", L"DriverModel", GetParam().model);
  OpenEnabled(false);
  for (const StatusStep& step : GetParam().steps) {
    SCOPED_TRACE(step.name);
    const size_t before = events_.Count('S', step.event);
    (device_.*step.set)(step.on);
    ASSERT_TRUE(events_.WaitForValue('S', step.event, before + 1));
    EXPECT_EQ(printer_.State(), step.state);
    EXPECT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, L"check\n"), step.printResult);
    if (step.printResult == OPOS_E_EXTENDED) {
      EXPECT_EQ(printer_.ResultCodeExtended(), step.extended);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Printers, StatusAfterEnable,
    ::testing::Values(StatusCase{"AutomaticStatusBack", L"TM-T88IV",
                                 {kCoverOpens, kCoverCloses, kPaperRunsOut, kPaperBack}},
                      StatusCase{"Polled", L"ZQ-2A", {kPaperRunsOut, kPaperBack}},
                      // Asked by real-time status, which tells the cover too.
                      StatusCase{"PolledRealTime", L"K15SMB",
                                 {kCoverOpens, kCoverCloses, kPaperRunsOut, kPaperBack}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AsyncEvents, DrawerChangesReachOnlyTheDrawerClient) {
  AddDrawer(L"Till", L"Net");
  OpenEnabled();
  co::CashDrawer drawer;
  Recorder drawerEvents;
  Record(drawer, drawerEvents);
  ASSERT_EQ(drawer.Open(L"Till"), OPOS_SUCCESS);
  ASSERT_EQ(drawer.ClaimDevice(1000), OPOS_SUCCESS);
  drawer.SetDeviceEnabled(true);
  ASSERT_TRUE(drawer.DeviceEnabled());
  device_.SetDrawerOpen(true);
  ASSERT_TRUE(drawerEvents.WaitForValue('S', CASH_SUE_DRAWEROPEN));
  device_.SetDrawerOpen(false);
  ASSERT_TRUE(drawerEvents.WaitForValue('S', CASH_SUE_DRAWERCLOSED));
  for (LONG value : events_.Of('S')) EXPECT_GE(value, 5) << "drawer code at the printer";
  drawer.Close();
}

TEST_F(AsyncEvents, WriteFailureIsHeldAndRetriedOnceThePrinterIsBack) {
  OpenEnabled();
  printer_.Callbacks().error = [this](LONG rc, LONG rcx, LONG locus, LONG& response) {
    EXPECT_EQ(locus, OPOS_EL_OUTPUT);
    EXPECT_EQ(response, OPOS_ER_RETRY);  // the default
    if (answered_++ == 0) server_ = std::make_unique<sim::TcpServer>(device_, port_);
    response = OPOS_ER_RETRY;
    events_.Add('E', rc, rcx);
  };
  server_.reset();  // the printer goes away: connection refused
  const auto ids = PrintLines({L"kept\n"});
  ASSERT_TRUE(events_.WaitFor('E', 1));
  EXPECT_EQ(events_.Of('E')[0], OPOS_E_NOHARDWARE);
  ASSERT_TRUE(events_.WaitFor('O', 1));
  EXPECT_EQ(events_.Of('O'), ids);
  ASSERT_TRUE(device_.WaitFor([&] { return device_.PrintedText().find("kept") != std::string::npos; },
                              20s));
}

TEST_F(AsyncEvents, WriteFailureAnsweredWithClearDropsTheQueue) {
  OpenEnabled();
  printer_.Callbacks().error = [&](LONG rc, LONG rcx, LONG, LONG& response) {
    events_.Add('E', rc, rcx);
    response = OPOS_ER_CLEAR;
  };
  server_.reset();
  PrintLines({L"lost1\n", L"lost2\n"});
  ASSERT_TRUE(events_.WaitFor('E', 1));
  ASSERT_TRUE(events_.WaitFor('E', 1));
  // The clear runs on the event thread after the callback: wait until the engine is idle.
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (printer_.State() != OPOS_S_IDLE && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(20ms);
  EXPECT_EQ(printer_.State(), OPOS_S_IDLE);
  server_ = std::make_unique<sim::TcpServer>(device_, port_);
  const auto ids = PrintLines({L"fresh\n"});
  ASSERT_TRUE(events_.WaitFor('O', 1));
  EXPECT_EQ(events_.Of('O'), ids);
  EXPECT_EQ(events_.Of('E').size(), 1u);
  EXPECT_EQ(device_.PrintedText().find("lost"), std::string::npos);
}

// Control calls from inside a callback return at once and take effect after it.
TEST_F(AsyncEvents, CallbackThatDisablesTheDeviceReturnsAndEventsResumeAfterReEnable) {
  OpenEnabled();
  printer_.Callbacks().outputComplete = [this](LONG id) {
    if (!disabledInside_.exchange(true)) printer_.SetDeviceEnabled(false);
    events_.Add('O', id);
  };
  PrintLines({L"first\n", L"second\n"});
  ASSERT_TRUE(events_.WaitFor('O', 1));
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (printer_.DeviceEnabled() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(20ms);
  ASSERT_FALSE(printer_.DeviceEnabled());
  printer_.SetDeviceEnabled(true);
  ASSERT_TRUE(printer_.DeviceEnabled());
  const auto ids = PrintLines({L"third\n"});
  ASSERT_TRUE(events_.WaitForValue('O', ids[0]));
  // The second job was dropped with the disable and never reported.
  EXPECT_EQ(events_.Of('O').size(), 2u);
}

TEST_F(AsyncEvents, CallbackThatFreezesEventsHoldsTheRestUntilTheThaw) {
  OpenEnabled();
  printer_.Callbacks().outputComplete = [&](LONG id) {
    events_.Add('O', id);
    if (events_.Of('O').size() == 1) printer_.SetFreezeEvents(true);
  };
  const auto ids = PrintLines({L"x1\n", L"x2\n", L"x3\n"});
  ASSERT_TRUE(events_.WaitFor('O', 1));
  ASSERT_TRUE(device_.WaitFor([&] { return device_.PrintedText().find("x3") != std::string::npos; },
                              20s));
  EXPECT_FALSE(events_.WaitFor('O', 2, 500ms));
  printer_.SetFreezeEvents(false);
  ASSERT_TRUE(events_.WaitFor('O', 3));
  EXPECT_EQ(events_.Of('O'), ids);
}

TEST_F(AsyncEvents, SecondClaimByAnEnabledClientKeepsItsEvents) {
  OpenEnabled();
  ASSERT_EQ(printer_.ClaimDevice(1000), OPOS_SUCCESS);
  EXPECT_TRUE(printer_.DeviceEnabled());
  const auto ids = PrintLines({L"still\n"});
  ASSERT_TRUE(events_.WaitFor('O', 1));
  EXPECT_EQ(events_.Of('O'), ids);
}

// An error answered with clear arrives on the event thread while the application keeps
// printing synchronously: the clear must not touch the lines being built.
TEST_F(AsyncEvents, ClearAnswerDoesNotLoseSynchronousLines) {
  OpenEnabled(false);
  printer_.Callbacks().error = [this](LONG, LONG, LONG, LONG& response) {
    ++answered_;
    response = OPOS_ER_CLEAR;
  };
  // Printing goes on while the answers to the errors run on the event thread.
  int lines = 0;
  const auto until = std::chrono::steady_clock::now() + 20s;
  for (; answered_.load() < 3 && std::chrono::steady_clock::now() < until; ++lines) {
    ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, L"line " + std::to_wstring(lines) + L" end\n"),
              OPOS_SUCCESS);
    if (lines % 10 == 0) {
      EXPECT_NE(printer_.SetLogo(99, L"logo"), OPOS_SUCCESS);  // raises an error event
    }
  }
  EXPECT_GE(answered_.load(), 3);
  const std::string last = "line " + std::to_string(lines - 1) + " end";
  ASSERT_TRUE(device_.WaitFor(
      [&] { return device_.PrintedText().find(last) != std::string::npos; }, 30s));
  const std::string text = device_.PrintedText();
  size_t at = 0;  // every line, whole and in order
  for (int i = 0; i < lines; ++i) {
    at = text.find("line " + std::to_string(i) + " end\n", at);
    ASSERT_NE(at, std::string::npos) << "line " << i << " of " << lines << " lost";
  }
}

// OutputIDs come from one counter for the process: opening another printer does not
// start them again, so an ID never repeats within a device.
TEST_F(AsyncEvents, OpeningAnotherPrinterDoesNotRestartOutputIds) {
  OpenEnabled();
  const auto before = PrintLines({L"before\n"});
  AddFilePrinter(L"Other", registry_.Folder() + "/other.out");
  LONG otherId = 0;
  {
    co::POSPrinter other;
    ASSERT_EQ(other.Open(L"Other"), OPOS_SUCCESS);
    ASSERT_EQ(other.ClaimDevice(1000), OPOS_SUCCESS);
    other.SetDeviceEnabled(true);
    other.SetAsyncMode(1);
    ASSERT_EQ(other.PrintNormal(PTR_S_RECEIPT, L"elsewhere\n"), OPOS_SUCCESS);
    otherId = other.OutputID();
    other.Close();
  }
  const auto after = PrintLines({L"after\n"});
  EXPECT_GT(otherId, before[0]);
  EXPECT_GT(after[0], otherId);
  ASSERT_TRUE(events_.WaitFor('O', 2));
  EXPECT_EQ(events_.Of('O'), (std::vector<LONG>{before[0], after[0]}));
}

// Two control objects of one printer used from two threads at once.
TEST_F(AsyncEvents, TwoControlObjectsOnTwoThreads) {
  OpenEnabled();
  co::POSPrinter second;
  ASSERT_EQ(second.Open(L"Net"), OPOS_SUCCESS);
  std::atomic<bool> done{false};
  std::thread reader([&] {
    while (!done) {
      const LONG state = second.State();
      EXPECT_TRUE(state == OPOS_S_IDLE || state == OPOS_S_BUSY || state == OPOS_S_ERROR);
    }
  });
  for (int i = 0; i < 3; ++i) {
    printer_.SetDeviceEnabled(false);
    printer_.SetDeviceEnabled(true);
    ASSERT_TRUE(printer_.DeviceEnabled());
  }
  const auto ids = PrintLines({L"both\n"});
  ASSERT_TRUE(events_.WaitForValue('O', ids[0]));
  done = true;
  reader.join();
  second.Close();
}

}  // namespace
}  // namespace zanth::test

// Critical sections and events: the Win32 wait semantics the engines rely on.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/sync.h"

namespace {

using namespace std::chrono_literals;

// Polls a condition with a generous limit so a slow machine never fails a test.
template <typename F>
bool WaitUntil(F condition, std::chrono::milliseconds limit = 10s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(1ms);
  }
  return condition();
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
  platform::CriticalSection cs;
  cs.Enter();
  ASSERT_TRUE(cs.TryEnter());  // same thread again
  bool otherGot = true;
  std::thread([&] { otherGot = cs.TryEnter(); }).join();
  EXPECT_FALSE(otherGot);
  cs.Leave();
  std::thread([&] { otherGot = cs.TryEnter(); }).join();
  EXPECT_FALSE(otherGot) << "still held once";
  cs.Leave();
  std::thread([&] {
    otherGot = cs.TryEnter();
    if (otherGot) cs.Leave();
  }).join();
  EXPECT_TRUE(otherGot);
}

TEST(CriticalSection, EnterBlocksUntilOwnerLeaves) {
  platform::CriticalSection cs;
  std::atomic<int> stage{0};
  cs.Enter();
  std::thread other([&] {
    stage = 1;
    cs.Enter();
    stage = 2;
    cs.Leave();
  });
  ASSERT_TRUE(WaitUntil([&] { return stage.load() == 1; }));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(stage.load(), 1);
  cs.Leave();
  other.join();
  EXPECT_EQ(stage.load(), 2);
}

TEST(CriticalSection, ZeroInitialisedSectionWorksWithoutInitialize) {
  CRITICAL_SECTION cs{};
  EnterCriticalSection(&cs);
  EXPECT_TRUE(TryEnterCriticalSection(&cs));
  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);
  DeleteCriticalSection(&cs);
  EXPECT_EQ(cs.impl, nullptr);
}

// One row: how the event is made, what is done to it, what two zero-time waits return.
struct EventCase {
  const char* name;
  bool manualReset;
  bool initial;
  enum Action { kNone, kSet, kReset, kSetTwice } action;
  DWORD firstWait;
  DWORD secondWait;
};

const EventCase kEventCases[] = {
    {"AutoInitiallyClear", false, false, EventCase::kNone, WAIT_TIMEOUT, WAIT_TIMEOUT},
    {"AutoInitiallySetFiresOnce", false, true, EventCase::kNone, WAIT_OBJECT_0, WAIT_TIMEOUT},
    {"AutoSetFiresOnce", false, false, EventCase::kSet, WAIT_OBJECT_0, WAIT_TIMEOUT},
    {"AutoSetTwiceStillOnce", false, false, EventCase::kSetTwice, WAIT_OBJECT_0, WAIT_TIMEOUT},
    {"AutoResetClears", false, true, EventCase::kReset, WAIT_TIMEOUT, WAIT_TIMEOUT},
    {"ManualInitiallyClear", true, false, EventCase::kNone, WAIT_TIMEOUT, WAIT_TIMEOUT},
    {"ManualInitiallySetStays", true, true, EventCase::kNone, WAIT_OBJECT_0, WAIT_OBJECT_0},
    {"ManualSetStays", true, false, EventCase::kSet, WAIT_OBJECT_0, WAIT_OBJECT_0},
    {"ManualResetClears", true, true, EventCase::kReset, WAIT_TIMEOUT, WAIT_TIMEOUT},
};

class EventStates : public testing::TestWithParam<EventCase> {};

TEST_P(EventStates, ZeroTimeWaits) {
  const EventCase& c = GetParam();
  HANDLE e = CreateEventW(nullptr, c.manualReset, c.initial, L"ignored");
  ASSERT_NE(e, nullptr);
  if (c.action == EventCase::kSet || c.action == EventCase::kSetTwice) {
    EXPECT_TRUE(SetEvent(e));
  }
  if (c.action == EventCase::kSetTwice) {
    EXPECT_TRUE(SetEvent(e));
  }
  if (c.action == EventCase::kReset) {
    EXPECT_TRUE(ResetEvent(e));
  }
  EXPECT_EQ(WaitForSingleObject(e, 0), c.firstWait);
  EXPECT_EQ(WaitForSingleObjectEx(e, 0, TRUE), c.secondWait);
  EXPECT_TRUE(CloseHandle(e));
}

INSTANTIATE_TEST_SUITE_P(All, EventStates, testing::ValuesIn(kEventCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Event, SameNameGivesIndependentEvents) {
  HANDLE a = CreateEventW(nullptr, TRUE, FALSE, L"Engine");
  HANDLE b = CreateEventW(nullptr, TRUE, FALSE, L"Engine");
  ASSERT_NE(a, b);
  SetEvent(a);
  EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_TIMEOUT);
  CloseHandle(a);
  CloseHandle(b);
}

TEST(Event, TimedWaitTimesOutAfterTheTime) {
  platform::Event e(false, false);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(e.Handle(), 60), WAIT_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 59ms);
}

TEST(Event, WaitWakesWhenAnotherThreadSets) {
  platform::Event e(false, false);
  std::thread setter([&] {
    std::this_thread::sleep_for(20ms);
    e.Set();
  });
  EXPECT_EQ(WaitForSingleObject(e.Handle(), INFINITE), WAIT_OBJECT_0);
  setter.join();
  EXPECT_EQ(WaitForSingleObject(e.Handle(), 0), WAIT_TIMEOUT) << "the wait consumed the set";
}

TEST(Event, AutoResetReleasesOneWaiterPerSet) {
  platform::Event e(false, false);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i) {
    waiters.emplace_back([&] {
      if (WaitForSingleObject(e.Handle(), 20000) == WAIT_OBJECT_0) ++released;
    });
  }
  std::this_thread::sleep_for(20ms);  // let both block (not needed for correctness)
  e.Set();
  ASSERT_TRUE(WaitUntil([&] { return released.load() == 1; }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(released.load(), 1);
  e.Set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), 2);
}

TEST(Event, ManualResetReleasesAllWaiters) {
  platform::Event e(true, false);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      if (WaitForSingleObject(e.Handle(), 20000) == WAIT_OBJECT_0) ++released;
    });
  }
  e.Set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), 3);
}

TEST(WaitMultiple, AnyReturnsLowestSignalledAndConsumesOnlyIt) {
  platform::Event a(false, false), b(false, true), c(false, true);
  const HANDLE hs[] = {a.Handle(), b.Handle(), c.Handle()};
  EXPECT_EQ(WaitForMultipleObjects(3, hs, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(3, hs, FALSE, 0), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForMultipleObjects(3, hs, FALSE, 0), WAIT_TIMEOUT);
}

TEST(WaitMultiple, AnyWakesOnTheEventThatIsSet) {
  platform::Event a(false, false), b(false, false);
  const HANDLE hs[] = {a.Handle(), b.Handle()};
  std::thread setter([&] {
    std::this_thread::sleep_for(20ms);
    b.Set();
  });
  EXPECT_EQ(WaitForMultipleObjects(2, hs, FALSE, 20000), WAIT_OBJECT_0 + 1);
  setter.join();
}

TEST(WaitMultiple, AllNeedsEveryEventAndLeavesThemUntouchedOnTimeout) {
  platform::Event a(false, true), b(false, false);
  const HANDLE hs[] = {a.Handle(), b.Handle()};
  EXPECT_EQ(WaitForMultipleObjects(2, hs, TRUE, 30), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(a.Handle(), 0), WAIT_OBJECT_0) << "a must still be set";
  a.Set();
  b.Set();
  EXPECT_EQ(WaitForMultipleObjects(2, hs, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(a.Handle(), 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(b.Handle(), 0), WAIT_TIMEOUT);
}

TEST(WaitMultiple, AllWakesWhenTheLastEventIsSet) {
  platform::Event a(true, true), b(false, false);
  const HANDLE hs[] = {a.Handle(), b.Handle()};
  std::thread setter([&] {
    std::this_thread::sleep_for(20ms);
    b.Set();
  });
  EXPECT_EQ(WaitForMultipleObjects(2, hs, TRUE, 20000), WAIT_OBJECT_0);
  setter.join();
  EXPECT_EQ(WaitForSingleObject(a.Handle(), 0), WAIT_OBJECT_0) << "manual stays set";
  EXPECT_EQ(WaitForSingleObject(b.Handle(), 0), WAIT_TIMEOUT) << "auto was consumed";
}

TEST(WaitMultiple, BadArgumentsFail) {
  platform::Event a(true, true);
  HANDLE many[MAXIMUM_WAIT_OBJECTS + 1];
  for (auto& h : many) h = a.Handle();
  EXPECT_EQ(WaitForMultipleObjects(0, many, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, many, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, many, FALSE, 0), WAIT_OBJECT_0);
  const HANDLE withBad[] = {a.Handle(), reinterpret_cast<HANDLE>(0x1234)};
  EXPECT_EQ(WaitForMultipleObjects(2, withBad, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Event, ClosedOrUnknownHandlesFailCleanly) {
  HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_TRUE(CloseHandle(e));
  EXPECT_FALSE(CloseHandle(e));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(SetEvent(nullptr));
  EXPECT_FALSE(ResetEvent(INVALID_HANDLE_VALUE));
  EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
}

TEST(Event, CloseDuringAWaitLetsTheWaitFinish) {
  HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  std::atomic<DWORD> result{WAIT_FAILED};
  std::thread waiter([&] { result = WaitForSingleObject(e, 100); });
  std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(CloseHandle(e));
  waiter.join();
  // Either the wait had started (and times out on the still-alive object) or it had not
  // (and sees an invalid handle); it never touches freed memory.
  EXPECT_TRUE(result == WAIT_TIMEOUT || result == WAIT_FAILED) << result;
}

TEST(Event, ProducerConsumerLosesNoWakeups) {
  platform::Event ready(false, false), taken(false, false);
  constexpr int kRounds = 2000;
  int box = 0;
  long sum = 0;
  std::thread consumer([&] {
    for (int i = 0; i < kRounds; ++i) {
      ASSERT_EQ(WaitForSingleObject(ready.Handle(), 20000), WAIT_OBJECT_0);
      sum += box;
      taken.Set();
    }
  });
  for (int i = 1; i <= kRounds; ++i) {
    box = i;
    ready.Set();
    ASSERT_EQ(WaitForSingleObject(taken.Handle(), 20000), WAIT_OBJECT_0);
  }
  consumer.join();
  EXPECT_EQ(sum, static_cast<long>(kRounds) * (kRounds + 1) / 2);
}

TEST(Clock, TickCountFollowsSleep) {
  const DWORD before = GetTickCount();
  Sleep(30);
  const DWORD elapsed = GetTickCount() - before;  // unsigned difference survives a wrap
  EXPECT_GE(elapsed, 29u);
  EXPECT_LT(elapsed, 10000u);
  Sleep(0);
}

}  // namespace

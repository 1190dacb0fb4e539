// The owner's event queue and thread, and its client table, on their own.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "ClientTable.h"
#include "EventThread.h"

namespace {

using Clock = std::chrono::steady_clock;

// Records each delivery; waits on conditions, never on fixed sleeps.
struct Journal {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int> order;
  std::vector<Clock::time_point> times;

  void Add(int id) {
    std::lock_guard<std::mutex> lock(mutex);
    order.push_back(id);
    times.push_back(Clock::now());
    changed.notify_all();
  }
  bool WaitFor(size_t count) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] { return order.size() >= count; });
  }
  size_t Size() {
    std::lock_guard<std::mutex> lock(mutex);
    return order.size();
  }
};

class RecordingTask : public CTaskBase {
 public:
  RecordingTask(Journal& journal, int id, bool fail = false)
      : journal_(journal), id_(id), fail_(fail) {}
  int Execute() override {
    journal_.Add(IsCancelled() ? -id_ : id_);
    if (fail_) throw std::runtime_error("delivery failed");
    return 1;
  }

 private:
  Journal& journal_;
  int id_;
  bool fail_;
};

TEST(EventThread, DeliversInOrderAtLeast100msApartAndSurvivesFailures) {
  Journal journal;
  CTaskContextBase queue;
  CTaskThreadBase2 thread;
  EXPECT_EQ(thread.Start(), E_UNEXPECTED);  // not prepared
  thread.Prepare(&queue);
  queue.Push(std::make_unique<RecordingTask>(journal, 1, /*fail=*/true));
  queue.Push(std::make_unique<RecordingTask>(journal, 2));
  queue.Push(std::make_unique<RecordingTask>(journal, 3));
  ASSERT_EQ(thread.Start(), S_OK);
  ASSERT_TRUE(journal.WaitFor(3));
  EXPECT_EQ(journal.order, (std::vector<int>{1, 2, 3}));
  for (size_t i = 1; i < journal.times.size(); ++i) {
    EXPECT_GE(journal.times[i] - journal.times[i - 1], std::chrono::milliseconds(100));
  }
  thread.Stop();
  EXPECT_TRUE(thread.WaitStopped(INFINITE));
  EXPECT_EQ(thread.GetState(), CTaskThreadBase2::kStopped);
  EXPECT_EQ(queue.Count(), 0u);
}

TEST(EventThread, SuspendedThreadKeepsTasksQueuedUntilResumed) {
  Journal journal;
  CTaskContextBase queue;
  CTaskThreadBase2 thread;
  thread.Prepare(&queue);
  ASSERT_EQ(thread.Start(), S_OK);
  thread.Suspend();
  EXPECT_EQ(thread.GetState(), CTaskThreadBase2::kSuspended);
  for (int id = 1; id <= 3; ++id) queue.Push(std::make_unique<RecordingTask>(journal, id));
  // Suspension is acknowledged, so nothing can be delivered now.
  EXPECT_EQ(journal.Size(), 0u);
  EXPECT_EQ(queue.Count(), 3u);
  ASSERT_EQ(thread.Resume(), S_OK);
  ASSERT_TRUE(journal.WaitFor(3));
  EXPECT_EQ(journal.order, (std::vector<int>{1, 2, 3}));
  thread.Stop();
  EXPECT_TRUE(thread.WaitStopped(5000));
}

TEST(EventQueue, CancelledHeadIsStillRemovedAfterItsAttempt) {
  Journal journal;
  CTaskContextBase queue;
  EXPECT_FALSE(queue.RunOne());  // empty
  queue.Push(std::make_unique<RecordingTask>(journal, 7));
  queue.Push(std::make_unique<RecordingTask>(journal, 8));
  queue.CancelHead();
  EXPECT_TRUE(queue.RunOne());
  EXPECT_TRUE(queue.RunOne());
  EXPECT_EQ(journal.order, (std::vector<int>{-7, 8}));
  EXPECT_EQ(queue.Count(), 0u);
}

// Disabling drops what waits in the queue, so nothing reported before the disable is
// delivered after the next enable; a task being delivered is only cancelled.
TEST(EventQueue, DropPendingKeepsOnlyTheTaskBeingDelivered) {
  Journal journal;
  CTaskContextBase queue;
  for (int id = 1; id <= 3; ++id) queue.Push(std::make_unique<RecordingTask>(journal, id));
  queue.DropPending();
  EXPECT_EQ(queue.Count(), 0u);
  EXPECT_FALSE(queue.RunOne());

  // A task that drops the queue from inside its own delivery, as a disabling callback does.
  class DroppingTask : public CTaskBase {
   public:
    DroppingTask(CTaskContextBase& queue, bool& cancelled) : queue_(queue), cancelled_(cancelled) {}
    int Execute() override {
      queue_.DropPending();
      cancelled_ = IsCancelled();
      return 1;
    }

   private:
    CTaskContextBase& queue_;
    bool& cancelled_;
  };
  bool cancelledInside = false;
  queue.Push(std::make_unique<DroppingTask>(queue, cancelledInside));
  queue.Push(std::make_unique<RecordingTask>(journal, 4));
  EXPECT_TRUE(queue.RunOne());
  EXPECT_TRUE(cancelledInside);
  EXPECT_EQ(queue.Count(), 0u);
  EXPECT_TRUE(journal.order.empty());
}

// A task that waits for the event thread from inside its own delivery.
class SelfWaitingTask : public CTaskBase {
 public:
  SelfWaitingTask(CTaskThreadBase2& thread, Journal& journal) : thread_(thread), journal_(journal) {}
  int Execute() override {
    thread_.Stop();
    journal_.Add(thread_.WaitStopped(INFINITE) ? 1 : 0);  // must not wait for itself
    return 1;
  }

 private:
  CTaskThreadBase2& thread_;
  Journal& journal_;
};

TEST(EventThread, WaitingFromTheEventThreadItselfDoesNotHang) {
  Journal journal;
  CTaskContextBase queue;
  CTaskThreadBase2 thread;
  thread.Prepare(&queue);
  queue.Push(std::make_unique<SelfWaitingTask>(thread, journal));
  ASSERT_EQ(thread.Start(), S_OK);
  ASSERT_TRUE(journal.WaitFor(1));
  EXPECT_EQ(journal.order, (std::vector<int>{0}));
  EXPECT_TRUE(thread.WaitStopped(5000));
}

TEST(ClientTable, RegistersUpTo255AndRestoresEmptySlots) {
  CClientTable table;
  auto fake = [](int i) { return reinterpret_cast<CTeskOposPrinterSO*>(0x1000 + 16 * i); };
  EXPECT_EQ(table.IndexOf(fake(0)), CClientTable::kAbsent);
  EXPECT_FALSE(table.AnyOpen());
  EXPECT_FALSE(table.AllFrozen());  // nobody registered: nobody froze
  for (int i = 0; i < CClientTable::kSize; ++i) {
    ASSERT_TRUE(table.Register(fake(i), i % 2 == 0, nullptr, nullptr, DrawerParameters{}));
  }
  EXPECT_FALSE(table.Register(fake(300), true, nullptr, nullptr, DrawerParameters{}));
  EXPECT_EQ(table.IndexOf(fake(254)), 254);
  EXPECT_TRUE(table.HasPrinterClient());
  EXPECT_TRUE(table.HasDrawerClient());
  EXPECT_TRUE(table.NoneEnabled());

  ASSERT_TRUE(table.Update(fake(3), [](SoClient& c) {
    c.claimed = 1;
    c.enabled = 1;
    c.onTime = 99;
  }));
  EXPECT_TRUE(table.AnyClaimed());
  EXPECT_FALSE(table.NoneEnabled());
  table.Remove(fake(3));
  EXPECT_FALSE(table.AnyClaimed());
  EXPECT_TRUE(table.NoneEnabled());
  EXPECT_EQ(table.At(3).onTime, 16);  // the empty-slot values
  EXPECT_EQ(table.At(3).offTime, 16);
  EXPECT_EQ(table.At(3).waitTimeout, 60000);
  EXPECT_FALSE(table.Update(fake(3), [](SoClient& c) { c.claimed = 1; }));
  // The freed slot is the first free one again.
  ASSERT_TRUE(table.Register(fake(400), false, nullptr, nullptr, DrawerParameters{1, 1, 1, 50, 100, 500}));
  EXPECT_EQ(table.IndexOf(fake(400)), 3);
  EXPECT_EQ(table.At(3).waitTimeout, 500);
}

TEST(ClientTable, AllFrozenOnlyWhenEveryRegisteredClientFroze) {
  CClientTable table;
  auto* a = reinterpret_cast<CTeskOposPrinterSO*>(0x10);
  auto* b = reinterpret_cast<CTeskOposPrinterSO*>(0x20);
  table.Register(a, true, nullptr, nullptr, DrawerParameters{});
  table.Register(b, false, nullptr, nullptr, DrawerParameters{});
  table.Update(a, [](SoClient& c) { c.eventsFrozen = 1; });
  EXPECT_FALSE(table.AllFrozen());
  table.Update(b, [](SoClient& c) { c.eventsFrozen = 1; });
  EXPECT_TRUE(table.AllFrozen());
  table.Remove(b);
  EXPECT_TRUE(table.AllFrozen());
  EXPECT_FALSE(table.HasDrawerClient());
}

}  // namespace

// The start, suspend, resume, stop and restart rules both background threads share.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include "TaskThread.h"

namespace {

using Tesk::BASE::CTaskThread;

// A thread over a queue of functions; records which threads ran them and how many at once.
class QueueThread final : public CTaskThread {
 public:
  explicit QueueThread(bool stopWhenSuspendTimesOut, DWORD suspendAckMs = 3000)
      : CTaskThread(Timing{0, 50, suspendAckMs, stopWhenSuspendTimesOut}) {}
  ~QueueThread() override { Shutdown(); }

  void Push(std::function<void()> task) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    SignalWork();
  }
  size_t Pending() {
    std::lock_guard<std::mutex> lock(mutex_);
    return tasks_.size();
  }
  bool WaitForRuns(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return runs_ >= count; });
  }
  int Runs() {
    std::lock_guard<std::mutex> lock(mutex_);
    return runs_;
  }
  int MaxConcurrent() {
    std::lock_guard<std::mutex> lock(mutex_);
    return maxConcurrent_;
  }
  size_t DistinctThreads() {
    std::lock_guard<std::mutex> lock(mutex_);
    return threads_.size();
  }

 protected:
  bool HasWork() override { return Pending() != 0; }
  void RunOne() override {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      task = std::move(tasks_.front());
      tasks_.pop_front();
      maxConcurrent_ = std::max(maxConcurrent_, ++running_);
      threads_.insert(std::this_thread::get_id());
    }
    task();
    std::lock_guard<std::mutex> lock(mutex_);
    --running_;
    ++runs_;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> tasks_;
  std::set<std::thread::id> threads_;
  int runs_ = 0, running_ = 0, maxConcurrent_ = 0;
};

// A gate a task waits at until the test opens it.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false, reached = false;
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex);
    reached = true;
    changed.notify_all();
    changed.wait(lock, [&] { return open; });
  }
  bool WaitReached() {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] { return reached; });
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex);
    open = true;
    changed.notify_all();
  }
};

TEST(TaskThread, StartNeedsPrepareAndSuspendHoldsTasksUntilResume) {
  QueueThread thread(false);
  EXPECT_EQ(thread.Start(), E_UNEXPECTED);
  EXPECT_EQ(thread.GetState(), CTaskThread::kCreated);
  thread.Prepare();
  EXPECT_EQ(thread.GetState(), CTaskThread::kPrepared);
  ASSERT_EQ(thread.Start(), S_OK);
  EXPECT_EQ(thread.GetState(), CTaskThread::kRunning);
  EXPECT_TRUE(thread.Suspend());
  EXPECT_EQ(thread.GetState(), CTaskThread::kSuspended);
  EXPECT_FALSE(thread.Suspend());  // already suspended: nothing to acknowledge
  for (int i = 0; i < 3; ++i) thread.Push([] {});
  // Acknowledged: the thread is parked, so the tasks are still queued.
  EXPECT_EQ(thread.Pending(), 3u);
  ASSERT_EQ(thread.Resume(), S_OK);
  ASSERT_TRUE(thread.WaitForRuns(3));
}

// What a suspend that the busy thread cannot acknowledge in time leaves behind, and that
// the next start never puts a second thread on the queue.
struct TimeoutCase {
  const char* name;
  bool stopWhenSuspendTimesOut;
  int stateAfterTimeout;
};

class SuspendTimeout : public ::testing::TestWithParam<TimeoutCase> {};

TEST_P(SuspendTimeout, LeavesOneThreadOnTheQueue) {
  QueueThread thread(GetParam().stopWhenSuspendTimesOut, /*suspendAckMs=*/200);
  thread.Prepare();
  Gate gate;
  thread.Push([&] { gate.Wait(); });
  thread.Push([] {});
  ASSERT_EQ(thread.Start(), S_OK);
  ASSERT_TRUE(gate.WaitReached());
  EXPECT_FALSE(thread.Suspend());  // the task holds the thread past the limit
  EXPECT_EQ(thread.GetState(), GetParam().stateAfterTimeout);
  ASSERT_EQ(thread.Start(), S_OK);  // while the first thread is still inside its task
  gate.Open();
  ASSERT_TRUE(thread.WaitForRuns(2));
  EXPECT_EQ(thread.MaxConcurrent(), 1);
  EXPECT_EQ(thread.DistinctThreads(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Policies, SuspendTimeout,
                         ::testing::Values(TimeoutCase{"EventThreadStops", true,
                                                       CTaskThread::kStopped},
                                           TimeoutCase{"WorkerCountsAsSuspended", false,
                                                       CTaskThread::kSuspended}),
                         [](const auto& info) { return std::string(info.param.name); });

// Control calls made by a task on its own thread return at once and take effect after it.
struct SelfCallCase {
  const char* name;
  std::function<void(QueueThread&)> call;
  int state;
};

class FromItsOwnThread : public ::testing::TestWithParam<SelfCallCase> {};

TEST_P(FromItsOwnThread, ReturnsAtOnceAndTakesEffectAfterTheTask) {
  const auto& c = GetParam();
  QueueThread thread(true);
  thread.Prepare();
  bool waited = true;
  thread.Push([&] {
    c.call(thread);
    waited = thread.WaitStopped(INFINITE);  // never waits for itself
    thread.Push([] {});                     // queued behind: held back by the call
  });
  ASSERT_EQ(thread.Start(), S_OK);
  ASSERT_TRUE(thread.WaitForRuns(1));
  EXPECT_FALSE(waited);
  EXPECT_EQ(thread.GetState(), c.state);
  if (c.state == CTaskThread::kStopped) {
    EXPECT_TRUE(thread.WaitStopped(10000));
  }
  EXPECT_EQ(thread.Pending(), 1u);
  // The next start (an enable or a thaw) runs the thread again, whichever way it ended.
  ASSERT_EQ(thread.Start(), S_OK);
  ASSERT_TRUE(thread.WaitForRuns(2));
  EXPECT_EQ(thread.MaxConcurrent(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, FromItsOwnThread,
    ::testing::Values(SelfCallCase{"Suspend", [](QueueThread& t) { t.Suspend(); },
                                   CTaskThread::kSuspended},
                      SelfCallCase{"Stop", [](QueueThread& t) { t.Stop(); },
                                   CTaskThread::kStopped}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TaskThread, StoppedThreadEndsAfterItsTaskAndIsJoined) {
  QueueThread thread(false);
  thread.Prepare();
  ASSERT_EQ(thread.Start(), S_OK);
  EXPECT_TRUE(thread.HasThread());
  thread.Stop();
  EXPECT_TRUE(thread.WaitStopped(10000));
  EXPECT_FALSE(thread.HasThread());
  thread.Push([] {});
  EXPECT_EQ(thread.Pending(), 1u);  // no thread runs it until the next start
  ASSERT_EQ(thread.Start(), S_OK);
  ASSERT_TRUE(thread.WaitForRuns(1));
}

}  // namespace

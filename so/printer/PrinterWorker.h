// The engine's worker: one thread per open engine that writes queued asynchronous jobs
// in order and, while it has nothing to write, runs the idle status poll.
//
// A job whose write fails stays at the head and holds the queue until Retry writes it
// again from its start or ClearOutput drops it with the rest; the failure is reported
// once with the job's own result codes. An exception escaping a job sets the failure
// mark: jobs are refused (not silently kept) until ClearOutput or the next enable.
//
// Threads: QueueOutput, ClearQueue, Retry and the lifecycle operations come from the
// engine's callers (the application's thread, or the event thread answering an error);
// jobs, completions and polls run on the worker thread.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "CappedHeap.h"
#include "PrinterEvents.h"
#include "SafeDeque.h"
#include "TaskInterfaces.h"
#include "TaskThread.h"
#include "platform/wintypes.h"

namespace Tesk::Printer {

class CPrinterPort;

// Why a write failed, as the application is told: with the printer's cover open or its
// paper out (as last read) that is the reason, OPOS_EPTR_COVER_OPEN or OPOS_EPTR_REC_EMPTY
// (reported as OPOS_E_EXTENDED with that extended code); any other failure, or a failure
// that is not a failed write, stands as it is. Queued and synchronous output share it.
LONG WriteFailureReason(LONG failure, bool coverOpen, bool paperEnd);

// One queued output job: a private copy of its bytes in one of the worker's heaps.
class CPrinterOutTask final : public BASE::ITaskBase {
 public:
  // Copies length bytes into heap (which may throw std::bad_alloc).
  CPrinterOutTask(LONG outputId, std::shared_ptr<CPrinterPort> port,
                  std::shared_ptr<BASE::CappedHeap> heap, const BYTE* data, size_t length);
  ~CPrinterOutTask() override;
  CPrinterOutTask(const CPrinterOutTask&) = delete;
  CPrinterOutTask& operator=(const CPrinterOutTask&) = delete;

  // Writes the whole block under the port lock, waiting for the lock lockAttempts more
  // times 100 ms apart. Non-zero on success; on failure FailureCode tells why.
  int Execute() override;
  void Cancel() override { cancelled_ = 1; }
  LONG GetOutputID() const override { return outputId_; }
  int IsWriting() const override { return writing_.load(); }
  int IsCancelled() const override { return cancelled_.load(); }

  void SetLockAttempts(int attempts) { lockAttempts_ = attempts; }
  // OPOS_E_NOHARDWARE (write failed) or OPOS_E_TIMEOUT (port lock not had).
  LONG FailureCode() const { return failureCode_; }
  const std::wstring& FailureText() const { return failureText_; }
  const BASE::CappedHeap* Heap() const { return heap_.get(); }
  size_t Length() const { return length_; }

 private:
  const LONG outputId_;
  std::shared_ptr<CPrinterPort> port_;
  std::shared_ptr<BASE::CappedHeap> heap_;
  std::uint8_t* data_ = nullptr;
  size_t length_ = 0;
  std::atomic<int> cancelled_{0};
  std::atomic<int> writing_{0};
  int lockAttempts_ = 100;
  LONG failureCode_ = 0;
  std::wstring failureText_;
};

class CPrinterTaskThreadContext final : public BASE::CTaskThread {
 public:
  using Job = std::shared_ptr<CPrinterOutTask>;
  static constexpr size_t kSmallHeapMaximum = 512 * 1024;
  static constexpr size_t kLargeJobBytes = 65536;
  static constexpr DWORD kPollIntervalMs = 200;
  static constexpr DWORD kUsbPollIntervalMs = 2000;

  CPrinterTaskThreadContext(std::shared_ptr<CPrinterPort> port,
                            std::shared_ptr<CPrinterEventObject> events);
  ~CPrinterTaskThreadContext() override;

  // Queues a copy of the bytes as a job with the next process-wide OutputID (urgent: at
  // the front). Returns 0 and the ID, or OPOS_E_FAILURE while the failure mark is set.
  LONG QueueOutput(const BYTE* data, size_t length, bool urgent, LONG* outputId);
  // Cancels the head (a write in progress finishes) and drops every queued job without
  // events; ends a held failure and resets the failure mark.
  void ClearQueue();
  // Writes a held job again from its start.
  void Retry();
  // Starting at enable also resets the failure mark.
  HRESULT StartForEnable();

  LONG GetQueueCount() const { return static_cast<LONG>(queue_.Size()); }
  // Nothing queued and nothing being written.
  bool IsIdle() const { return queue_.Empty() && writing_.load() == 0; }
  bool IsHeld() const { return held_.load(); }
  bool HasFailed() const { return failed_.load(); }

  void SetDirectSendMark() { ++directSends_; }
  void ClearDirectSendMark() { --directSends_; }
  bool IsDirectSendMarked() const { return directSends_.load() > 0; }
  void SetPollInterval(DWORD milliseconds) { SetIdleWait(milliseconds); }
  DWORD GetPollInterval() const { return IdleWait(); }
  // The last status the engine read: a failed write reports cover open or paper out.
  void NoteStatus(bool coverOpen, bool paperEnd) {
    coverOpen_ = coverOpen;
    paperEnd_ = paperEnd;
  }
  // How often a job retries the port lock, 100 ms apart (100: about ten seconds).
  void SetLockAttempts(int attempts) { lockAttempts_ = attempts; }
  const BASE::CappedHeap& SmallHeap() const { return *smallHeap_; }
  const BASE::CappedHeap& LargeHeap() const { return *largeHeap_; }

 protected:
  bool HasWork() override { return !held_.load() && !failed_.load() && !queue_.Empty(); }
  void RunOne() override;
  void OnIdle() override;

 private:
  void ReportFailure(const Job& job);

  std::shared_ptr<CPrinterPort> port_;
  std::shared_ptr<CPrinterEventObject> events_;
  std::shared_ptr<BASE::CappedHeap> smallHeap_;
  std::shared_ptr<BASE::CappedHeap> largeHeap_;
  BASE::SafeDeque<Job> queue_;
  std::atomic<int> writing_{0};
  std::atomic<bool> held_{false};
  std::atomic<bool> failed_{false};
  std::atomic<int> directSends_{0};
  std::atomic<bool> coverOpen_{false};
  std::atomic<bool> paperEnd_{false};
  std::atomic<int> lockAttempts_{100};
};

}  // namespace Tesk::Printer

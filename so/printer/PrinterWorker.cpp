#include "PrinterWorker.h"

#include <cstring>

#include "OposConstants.h"
#include "PrinterBase.h"
#include "PrinterPort.h"
#include "platform/sync.h"

namespace Tesk::Printer {

LONG WriteFailureReason(LONG failure, bool coverOpen, bool paperEnd) {
  if (failure != OPOS_E_NOHARDWARE) return failure;
  if (coverOpen) return OPOS_EPTR_COVER_OPEN;
  if (paperEnd) return OPOS_EPTR_REC_EMPTY;
  return failure;
}

CPrinterOutTask::CPrinterOutTask(LONG outputId, std::shared_ptr<CPrinterPort> port,
                                 std::shared_ptr<BASE::CappedHeap> heap, const BYTE* data,
                                 size_t length)
    : outputId_(data ? outputId : -1), port_(std::move(port)), heap_(std::move(heap)) {
  if (!data || length == 0) return;
  data_ = heap_->Allocate(length);
  length_ = length;
  std::memcpy(data_, data, length);
}

CPrinterOutTask::~CPrinterOutTask() {
  if (data_) heap_->Free(data_, length_);
}

int CPrinterOutTask::Execute() {
  if (!data_ || cancelled_.load()) return 1;
  bool locked = port_->TryLock();
  for (int attempt = 0; !locked && attempt < lockAttempts_ && !cancelled_.load(); ++attempt) {
    Sleep(100);
    locked = port_->TryLock();
  }
  if (locked && cancelled_.load()) {
    // Cleared while it waited for the port: nothing of it was written.
    port_->Unlock();
    return 1;
  }
  if (cancelled_.load()) return 1;
  if (!locked) {
    failureCode_ = OPOS_E_TIMEOUT;
    failureText_ = L"The port is busy.";
    return 0;
  }
  struct Unlocker {
    CPrinterPort* port;
    ~Unlocker() { port->Unlock(); }
  } unlocker{port_.get()};
  writing_ = 1;
  const bool written = port_->Write(data_, 0, static_cast<LONG>(length_));
  writing_ = 0;
  if (written) return 1;
  failureCode_ = OPOS_E_NOHARDWARE;
  failureText_ = port_->GetPort() ? port_->GetPort()->GetErrorText() : std::wstring();
  return 0;
}

CPrinterTaskThreadContext::CPrinterTaskThreadContext(std::shared_ptr<CPrinterPort> port,
                                                     std::shared_ptr<CPrinterEventObject> events)
    : CTaskThread(Timing{100, kPollIntervalMs, 3000, false}),
      port_(std::move(port)),
      events_(std::move(events)),
      smallHeap_(std::make_shared<BASE::CappedHeap>(kSmallHeapMaximum)),
      largeHeap_(std::make_shared<BASE::CappedHeap>(BASE::CappedHeap::kUnlimited)) {
  Prepare();
}

CPrinterTaskThreadContext::~CPrinterTaskThreadContext() {
  // The thread ends before the queue, heaps and shared pointers it uses go.
  Shutdown();
  queue_.TakeAll();
}

LONG CPrinterTaskThreadContext::QueueOutput(const BYTE* data, size_t length, bool urgent,
                                            LONG* outputId) {
  if (failed_.load()) return OPOS_E_FAILURE;
  Job job;
  const LONG id = CPrinterBase::NextOutputId();
  try {
    if (length < kLargeJobBytes) {
      try {
        job = std::make_shared<CPrinterOutTask>(id, port_, smallHeap_, data, length);
      } catch (const std::bad_alloc&) {
        job = std::make_shared<CPrinterOutTask>(id, port_, largeHeap_, data, length);
      }
    } else {
      job = std::make_shared<CPrinterOutTask>(id, port_, largeHeap_, data, length);
    }
  } catch (const std::bad_alloc&) {
    return OPOS_E_FAILURE;
  }
  if (urgent) {
    queue_.PushFront(std::move(job));
  } else {
    queue_.PushBack(std::move(job));
  }
  if (outputId) *outputId = id;
  SignalWork();
  return 0;
}

void CPrinterTaskThreadContext::ClearQueue() {
  if (std::optional<Job> head = queue_.Front()) (*head)->Cancel();
  // Released outside the queue lock: a job's destructor frees into its heap.
  std::deque<Job> dropped = queue_.TakeAll();
  held_ = false;
  failed_ = false;
}

void CPrinterTaskThreadContext::Retry() {
  held_ = false;
  SignalWork();
  Resume();
}

HRESULT CPrinterTaskThreadContext::StartForEnable() {
  failed_ = false;
  return Start();
}

void CPrinterTaskThreadContext::RunOne() {
  std::optional<Job> head = queue_.Front();
  if (!head) return;
  const Job job = *head;
  if (job->IsCancelled()) {
    queue_.PopFrontIf(job);
    return;
  }
  ++writing_;
  struct WritingMark {
    std::atomic<int>& writing;
    ~WritingMark() { --writing; }
  };
  int written = 0;
  try {
    WritingMark mark{writing_};
    job->SetLockAttempts(lockAttempts_.load());
    written = job->Execute();
    // Removed before the completion is reported, so the engine already reads as idle.
    if (written || job->IsCancelled()) queue_.PopFrontIf(job);
  } catch (...) {
    queue_.PopFrontIf(job);
    if (!failed_.exchange(true) && events_) {
      events_->OnOutputError(OPOS_E_FAILURE, 0, L"Output failed unexpectedly.");
    }
    return;
  }
  if (written) {
    if (job->GetOutputID() != -1 && events_) events_->OnOutputComplete(job->GetOutputID());
    return;
  }
  if (job->IsCancelled()) return;  // cleared while it was being written
  held_ = true;
  // The printer's status changes were not read while the job was being written: a cover
  // opened or paper run out meanwhile is what the failure reports.
  if (events_) events_->RunIdle();
  ReportFailure(job);
}

void CPrinterTaskThreadContext::ReportFailure(const Job& job) {
  if (!events_) return;
  const LONG reason = WriteFailureReason(job->FailureCode(), coverOpen_.load(), paperEnd_.load());
  // Codes above 200 are extended ones, as a method's result reports them.
  const LONG code = reason > 200 ? OPOS_E_EXTENDED : reason;
  const LONG extended = reason > 200 ? reason : 0;
  events_->OnOutputError(code, extended, job->FailureText().c_str());
}

void CPrinterTaskThreadContext::OnIdle() {
  if (!IsDirectSendMarked() && events_) events_->RunIdle();
}

}  // namespace Tesk::Printer

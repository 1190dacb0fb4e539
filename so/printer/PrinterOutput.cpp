// Handing finished blocks to the port: the send paths, the answers read with them, what a
// failed write reports, the set-up sent again after a reconnect, and clearing output.
#include <cwchar>
#include <vector>

#include "CmdHelperK15.h"
#include "ICmdHelper.h"
#include "K15ReplyReader.h"
#include "IPort.h"
#include "OposConstants.h"
#include "PrinterBase.h"
#include "PrinterPort.h"
#include "PrinterWorker.h"
#include "SystemPort.h"
#include "platform/sync.h"

namespace Tesk::Printer {

LONG CPrinterBase::Send(PrinterBuffer& buffer, bool urgent) {
  set_printerSettings(buffer);
  if (asyncMode_ && worker_) {
    if (buffer.IsEmpty()) return 0;
    LONG outputId = 0;
    const LONG code = worker_->QueueOutput(buffer.Data(), static_cast<size_t>(buffer.Size()),
                                           urgent, &outputId);
    if (code != 0) {
      errorText_ = L"The output queue is stopped by an earlier failure.";
      return code;
    }
    lastOutputId_ = outputId;
    return 0;
  }
  if (worker_ && !worker_->IsIdle()) return OPOS_E_BUSY;
  return ReasonForFailedOutput(DirectSend(buffer, false, 7));
}

LONG CPrinterBase::SendNow(PrinterBuffer& buffer) {
  set_printerSettings(buffer);
  return ReasonForFailedOutput(DirectSend(buffer, false, 7));
}

// A write that failed while the device is enabled: the status is read again first (the
// worker's polls stop while a block is written, so a cover opened or paper run out
// meanwhile is not known yet), and a failure the printer's state explains reports that,
// as a queued job's failure does. Before enabling, the status was never read: the paper
// out assumed at open explains nothing.
LONG CPrinterBase::ReasonForFailedOutput(LONG code) {
  if (code != OPOS_E_NOHARDWARE || !eventObject_ || !eventObject_->IsEnabled()) return code;
  GetPrinterState(false);
  const tagPrinterStatus status = GetLastStatus();
  return WriteFailureReason(code, status.coverOpen != 0, status.paperEnd != 0);
}

LONG CPrinterBase::DirectSend(PrinterBuffer& buffer, bool waitForReply, LONG replyLength) {
  // An empty block is nothing to do, not a failure.
  if (buffer.IsEmpty()) return 0;
  if (worker_) worker_->SetDirectSendMark();
  struct MarkClearer {
    CPrinterTaskThreadContext* worker;
    ~MarkClearer() {
      if (worker) worker->ClearDirectSendMark();
    }
  } clearer{worker_.get()};

  std::vector<BYTE> outside;
  const LONG code = WriteAndReadAnswers(buffer, waitForReply, replyLength, &outside);
  // Read with the answers but not part of them: a status block among these bytes is the
  // printer reporting a change, applied once the port is free again.
  ApplyNewestStatusBlock(outside);
  return code;
}

LONG CPrinterBase::WriteAndReadAnswers(PrinterBuffer& buffer, bool waitForReply,
                                       LONG replyLength, std::vector<BYTE>* outside) {
  if (!WaitForPortLock()) return OPOS_E_BUSY;
  struct Unlocker {
    CPrinterBase* engine;
    ~Unlocker() { engine->UnlockPort(); }
  } unlocker{this};

  if (!WriteBlock(buffer)) return ReportWriteFailure();
  if (!packetFraming_) {
    if (bidirectional_ && waitForReply) {
      LONG count = 0;
      const LONG code = ReadData(replyBuffer_.data(), 0, 255, &count, 2000);
      if (code != 0) return code;
      if (count != replyLength) return OPOS_E_FAILURE;
    }
    return 0;
  }
  if (!bidirectional_) return 0;

  // The packet protocol answers every packet; collect replies until each packet written
  // was answered, or silence: an answer split across reads is still whole, and one of
  // many acknowledgements no longer ends the wait early.
  Sleep(10);
  const int packets = static_cast<int>((buffer.Size() + CmdHelper_K15::kPacketPayload - 1) /
                                       CmdHelper_K15::kPacketPayload);
  K15ReplyReader reader(packets);
  LONG received = 0;
  while (received < 255 && !reader.Complete()) {
    LONG got = 0;
    if (!printerPort_->Read(replyBuffer_.data(), received, 255 - received, &got, FALSE) ||
        got == 0)
      break;
    const size_t used = reader.Feed(replyBuffer_.data() + received, static_cast<size_t>(got));
    // What came in the same read after the last answer.
    outside->insert(outside->end(), replyBuffer_.begin() + received + static_cast<LONG>(used),
                    replyBuffer_.begin() + received + got);
    received += got;
  }
  outside->insert(outside->begin(), reader.Stray().begin(), reader.Stray().end());
  if (reader.Naks() > 0) {
    // A refused packet was not printed: the block did not reach the paper whole.
    wchar_t text[96];
    std::swprintf(text, 96, L"The printer refused %d of %d packets.", reader.Naks(), packets);
    errorText_ = text;
    errorNumber_ = 0;
    ++failedWrites_;
    return OPOS_E_FAILURE;
  }
  return 0;
}

bool CPrinterBase::WriteBlock(const PrinterBuffer& block) {
  if (!packetFraming_ || !cmdHelper_) return printerPort_->Write(block.Data(), 0, block.Size());
  packetBuffer_.Clear();
  cmdHelper_->WriteData(packetBuffer_, block);
  return printerPort_->Write(packetBuffer_.Data(), 0, packetBuffer_.Size());
}

// A write that failed: 107, with what the port says went wrong as the error text (the
// text an application shows), so a partly sent block is never reported as printed.
LONG CPrinterBase::ReportWriteFailure() {
  Tesk::IO::IPort* port = printerPort_ ? printerPort_->GetPort() : nullptr;
  std::wstring text = port ? port->GetErrorText() : std::wstring();
  errorNumber_ = port ? port->GetErrorCode() : 0;
  if (text.empty()) {
    const DWORD system = port ? port->GetSystemError() : 0;
    wchar_t fallback[64];
    std::swprintf(fallback, 64, L"Write to the printer failed! ErrorCode:%u", static_cast<unsigned>(system));
    text = fallback;
    if (errorNumber_ == 0) errorNumber_ = static_cast<LONG>(system);
  }
  errorText_ = std::move(text);
  ++failedWrites_;
  return OPOS_E_NOHARDWARE;
}

void CPrinterBase::AppendClaimSetup(PrinterBuffer& out) {
  cmdHelper_->SelectPeripheral(out, 1);
  cmdHelper_->SetPaperStopSensor(out, 252);  // near-end sensors do not stop printing
  cmdHelper_->SetPaperOutSensor(out, 0);     // no paper-out signal sensors
  cmdHelper_->SetKanjiMode(out, 1);          // double-byte character mode on
}

// A printer switched off, unplugged or reconnected starts as after ESC @: without these
// it would print a downloaded bitmap as nothing and send no status changes.
void CPrinterBase::UpdateRestoreBytes() {
  auto* port = printerPort_ ? dynamic_cast<Tesk::IO::CSystemPort*>(printerPort_->GetPort()) : nullptr;
  if (!port || !cmdHelper_) return;
  PrinterBuffer setup(64, 64);
  if (claimed_) {
    AppendClaimSetup(setup);
    if (downloadedBitmap_ >= 0 && bitmaps_[static_cast<size_t>(downloadedBitmap_)].storedInPrinter)
      setup.AppendBytes(downloadCommand_.Data(), downloadCommand_.Size());
    if (enabled_ && asbInUse_) cmdHelper_->SetAutoStatusBack(setup, 0xFF);
  }
  PrinterBuffer framed(64, 64);
  const PrinterBuffer* bytes = &setup;
  if (packetFraming_ && !setup.IsEmpty()) {
    cmdHelper_->WriteData(framed, setup);
    bytes = &framed;
  }
  std::vector<BYTE> restore(bytes->Data(), bytes->Data() + bytes->Size());
  // The worker may be writing: the port's copy changes only under the port lock.
  if (!WaitForPortLock()) return;
  port->SetRestoreBytes(std::move(restore));
  UnlockPort();
}

// Drops queued jobs and everything collected for later output; the transaction,
// page-mode and rotation flags stay as they are. Sets no ResultCode.
LONG CPrinterBase::ClearOutput(LONG* /*result*/) {
  ClearQueuedOutput();
  transactionBuffer_.Clear();
  pageModeBuffer_.Clear();
  rotationBuffers_[0].Clear();
  rotationBuffers_[1].Clear();  // upright objects of the sideways page go with it
  partialLine_ = 0;
  sendBuffer_.Clear();
  conversionBuffer_.Clear();
  formatOutputBuffer_.Clear();
  lineBuffer_.Clear();
  return 0;
}

void CPrinterBase::ClearQueuedOutput() {
  if (worker_) worker_->ClearQueue();
}

}  // namespace Tesk::Printer

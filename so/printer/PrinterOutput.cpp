// Handing finished blocks to the port, and the output methods not built yet.
#include <cwchar>

#include "ICmdHelper.h"
#include "IPort.h"
#include "OposConstants.h"
#include "PrinterBase.h"
#include "PrinterPort.h"
#include "PrinterWorker.h"
#include "TCPIPPort.h"
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
  return DirectSend(buffer, false, 7);
}

LONG CPrinterBase::SendNow(PrinterBuffer& buffer) {
  set_printerSettings(buffer);
  return DirectSend(buffer, false, 7);
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

  if (!WaitForPortLock()) return OPOS_E_BUSY;
  struct Unlocker {
    CPrinterBase* engine;
    ~Unlocker() { engine->UnlockPort(); }
  } unlocker{this};

  if (!WriteBlock(buffer)) return ReportWriteFailure();
  if (!packetFraming_) {
    RestoreAsbAfterReconnect();
    if (bidirectional_ && waitForReply) {
      LONG count = 0;
      const LONG code = ReadData(replyBuffer_.data(), 0, 255, &count, 2000);
      if (code != 0) return code;
      if (count != replyLength) return OPOS_E_FAILURE;
    }
    return 0;
  }
  if (!bidirectional_) return 0;

  // The packet protocol answers every packet; collect replies until the printer's
  // final acknowledgement (0xBB) or silence.
  Sleep(10);
  LONG received = 0;
  while (received < 255) {
    LONG got = 0;
    if (!printerPort_->Read(replyBuffer_.data(), received, 255 - received, &got, FALSE) ||
        got == 0)
      break;
    received += got;
    if (replyBuffer_[static_cast<size_t>(received - 1)] == 0xBB) break;
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
  return OPOS_E_NOHARDWARE;
}

// A network printer that was reconnected during a write has forgotten the automatic
// status back the old connection enabled; without it no status change would arrive.
void CPrinterBase::RestoreAsbAfterReconnect() {
  if (!isTcpIp_ || !asbInUse_ || !enabled_ || !cmdHelper_ || asbConnection_ == 0) return;
  auto* tcp = dynamic_cast<Tesk::IO::TCPIPPort*>(printerPort_->GetPort());
  if (!tcp || tcp->ConnectionCount() == asbConnection_) return;
  const bool justSwitchedOn = asbConnection_ < 0;
  asbConnection_ = tcp->ConnectionCount();
  if (justSwitchedOn) return;
  PrinterBuffer asbOn(8, 8);
  cmdHelper_->SetAutoStatusBack(asbOn, 0xFF);
  WriteBlock(asbOn);
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

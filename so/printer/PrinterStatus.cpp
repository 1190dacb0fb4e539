// Reading the printer's status: automatic status back, real-time requests, transmit
// status, and the request-and-reply helpers other operations share.
#include <algorithm>
#include <array>
#include <vector>

#include "ICmdHelper.h"
#include "IPort.h"
#include "OposConstants.h"
#include "PrinterBase.h"
#include "PrinterPort.h"
#include "PrinterWorker.h"
#include "platform/sync.h"

namespace Tesk::Printer {

bool CPrinterBase::WaitForPortLock() {
  if (!printerPort_) return false;
  if (printerPort_->TryLock()) return true;
  for (int attempt = 0; attempt < 100; ++attempt) {
    Sleep(100);
    if (printerPort_->TryLock()) return true;
  }
  return false;
}

void CPrinterBase::UnlockPort() {
  if (printerPort_) printerPort_->Unlock();
}

void CPrinterBase::RaiseStateUpdateEvent(LONG status) {
  if (eventObject_) eventObject_->OnStatusUpdate(status);
}

// One request (DLE EOT n or GS r n) and its single answer byte. Single tries of the
// lock: a poll that meets a busy port gives up instead of waiting.
int CPrinterBase::ExchangeStatusByte(bool realTime, BYTE n, BYTE* statusByte) {
  if (!printerPort_ || !cmdHelper_) return 0;
  statusCommandBuffer_.Clear();
  if (realTime) {
    cmdHelper_->RequestRealTimeStatus(statusCommandBuffer_, n);
  } else {
    cmdHelper_->TransmitStatus(statusCommandBuffer_, n);
  }
  // A framing model's builder makes its real-time request a packet of its own; every
  // other request goes out as any block does.
  const bool written =
      realTime ? printerPort_->Write(statusCommandBuffer_.Data(), 0, statusCommandBuffer_.Size())
               : WriteBlock(statusCommandBuffer_);
  if (!written) return 0;

  // A USB read may bring older bytes first: the status byte is the last one.
  const LONG asked = isUsb_ ? 256 : 1;
  LONG count = 0;
  Sleep(10);
  bool got = printerPort_->Read(replyBuffer_.data(), 0, asked, &count, FALSE) && count > 0;
  if (!got && (isUsb_ || isLpt_)) {
    Sleep(50);
    count = 0;
    got = printerPort_->Read(replyBuffer_.data(), 0, asked, &count, FALSE) && count > 0;
  }
  if (!got) return 0;
  *statusByte = replyBuffer_[static_cast<size_t>(std::min<LONG>(count, 256) - 1)];
  return 1;
}

int CPrinterBase::GetPrinterStateByRealTime(tagPrinterStatus* status, int firstOnly) {
  replyBuffer_.fill(0);
  BYTE reply = 0;
  if (!ExchangeStatusByte(true, 1, &reply) || !cmdHelper_->ParsePrinterStatus(reply, status))
    return 0;
  if (firstOnly) return 1;
  if (status->offline) {
    Sleep(10);
    if (!ExchangeStatusByte(true, 2, &reply) || !cmdHelper_->ParseOfflineStatus(reply, status))
      return 0;
  } else {
    status->coverOpen = 0;
    status->nearEnd = 0;
    status->paperEnd = 0;
    if (!Capability(PIDXPtr_CapRecNearEndSensor)) return 1;
    Sleep(10);
  }
  if (!ExchangeStatusByte(true, 4, &reply)) return 0;
  return cmdHelper_->ParsePaperStatus(reply, status) ? 1 : 0;
}

int CPrinterBase::GetPrinterStateBySendCmd(tagPrinterStatus* status, int drawerOnly) {
  replyBuffer_.fill(0);
  BYTE reply = 0;
  if (!drawerOnly) {
    if (!ExchangeStatusByte(false, 1, &reply)) return 0;
    cmdHelper_->ParsePaperSensorStatus(reply, status);
    Sleep(10);
  }
  if (!ExchangeStatusByte(false, 2, &reply)) return 0;
  LONG drawer = 0;
  cmdHelper_->ParseDrawerStatus(reply, &drawer);
  status->drawer = drawer;
  return 1;
}

int CPrinterBase::GetPrinterStateByASB(tagPrinterStatus* status) {
  if (!WaitForPortLock()) return 0;
  LONG total = 0;
  if (printerPort_->GetPort()->IsOpen()) {
    LONG count = 0;
    if (printerPort_->ReadOnce(replyBuffer_.data(), 0, 4, &count, FALSE)) total = count;
    if (total > 0 && total < 4) {
      Sleep(10);
      count = 0;
      if (printerPort_->ReadOnce(replyBuffer_.data(), total, 4 - total, &count, FALSE))
        total += count;
    }
  }
  UnlockPort();
  if (total < 4) return 0;
  return cmdHelper_->ParseAutoStatus(replyBuffer_.data(), status) ? 1 : 0;
}

void CPrinterBase::ClearUnReadDataInPrinter(std::vector<BYTE>* drained) {
  if (!cmdHelper_ || !printerPort_ || !bidirectional_) return;
  try {
    LONG count = 0;
    if (isUsb_) {
      const bool read = printerPort_->ReadOnce(replyBuffer_.data(), 0, 256, &count, FALSE);
      if (drained && read && count > 0)
        drained->insert(drained->end(), replyBuffer_.begin(), replyBuffer_.begin() + count);
      Sleep(10);
      return;
    }
    // Bounded so a printer that floods bytes cannot hold the caller forever.
    for (int at = 0; at < 4096; ++at) {
      count = 0;
      if (!printerPort_->ReadOnce(replyBuffer_.data(), 0, 1, &count, FALSE) || count == 0) break;
      if (drained) drained->push_back(replyBuffer_[0]);
    }
  } catch (...) {
    // A failed drain must not stop the poll.
  }
}

// With automatic status back on, the bytes a drawer query clears first may hold the block
// that reports a change (the drawer springing open after its pulse, the cover opening):
// the newest valid block among them is applied as the worker would have applied it, or
// only its drawer state where a fresher answer tells paper and cover.
void CPrinterBase::ApplyNewestStatusBlock(const std::vector<BYTE>& drained, bool drawerOnly) {
  if (!asbInUse_ || drained.size() < 4) return;
  for (size_t at = drained.size() - 4 + 1; at-- > 0;) {
    tagPrinterStatus status = GetLastStatus();
    if (!cmdHelper_->ParseAutoStatus(drained.data() + at, &status)) continue;
    status.drawerOpen = DrawerOpenFromSensor(status.drawer);
    if (drawerOnly) NoteDrawerState(status.drawerOpen);
    else ApplyStatus(status, false);
    return;
  }
}

int CPrinterBase::DrawerOpenFromSensor(int sensor) const {
  return drawerOpenLevel_ ? (sensor ? 1 : 0) : (sensor ? 0 : 1);
}

// A drawer read by its own query is the drawer's state too: recorded, and a change
// reported as a status block would report it.
void CPrinterBase::NoteDrawerState(int open) {
  bool changed = false;
  {
    std::lock_guard<std::mutex> lock(statusMutex_.mutex);
    if ((lastStatus_.drawerOpen != 0) != (open != 0)) {
      lastStatus_.drawerOpen = open ? 1 : 0;
      changed = clientMode_ != 0;
    }
  }
  if (changed) RaiseStateUpdateEvent(open ? 2 : 1);
}

// A printer that cannot answer, or did not, has an unknown status, which refuses
// nothing: the paper out assumed from the open lasts only until this first attempt.
void CPrinterBase::ForgetPaperAndCover() {
  std::lock_guard<std::mutex> lock(statusMutex_.mutex);
  lastStatus_.coverOpen = 0;
  lastStatus_.paperEnd = 0;
  lastStatus_.nearEnd = 0;
}

void CPrinterBase::ReadStatusIfPaperUnread() {
  if (!enabled_ || paperStateRead_ || !(clientMode_ & 1)) return;
  if (!asbInUse_) {
    GetPrinterState(true);
  } else if (isCom_) {
    // On a serial line the answer is the block the printer sends when ASB is switched
    // on again; a query's reply could mix with blocks there.
    commandBuffer_.Clear();
    cmdHelper_->SetAutoStatusBack(commandBuffer_, 0xFF);
    DirectSend(commandBuffer_, false, 7);
    GetPrinterState(true);
  } else {
    // A block comes only when something changes: ask instead, as enabling does, without
    // touching the flag the worker's polls read meanwhile.
    ReadPrinterState(true, false);
  }
}

LONG CPrinterBase::GetPrinterState(bool initialReport) {
  return ReadPrinterState(initialReport, asbInUse_ != 0);
}

LONG CPrinterBase::ReadPrinterState(bool initialReport, bool byAsb) {
  if (!cmdHelper_ || !printerPort_ || !bidirectional_) {
    if (initialReport) ForgetPaperAndCover();
    return -1;
  }
  tagPrinterStatus status = GetLastStatus();
  const bool drawerOnly = IsDrawerOnly();

  bool ok = false;
  for (int attempt = 0; attempt < (initialReport ? 6 : 1) && !ok; ++attempt) {
    if (byAsb) {
      ok = GetPrinterStateByASB(&status) != 0;
    } else if (drawerOnly) {
      // The model's drawer query, with the open level applied; no answer keeps the
      // stored state. A status block met on the way may have changed it meanwhile.
      int open = 0;
      std::vector<BYTE> drained;
      const int answered = QueryDrawerSensor(1, &open, &drained);
      ApplyNewestStatusBlock(drained);
      status = GetLastStatus();
      if (answered) status.drawerOpen = open;
      ok = true;
      continue;
    } else {
      // A printer joining a drawer's engine with automatic status back on clears what came
      // in unread, which may be the block reporting the drawer: its drawer state is kept.
      // Paper and cover come from the answer read next.
      std::vector<BYTE> drained;
      ClearUnReadDataInPrinter(&drained);
      ApplyNewestStatusBlock(drained, initialReport);
      if (statusMethod_ & 1) {
        ok = GetPrinterStateByRealTime(&status, 0) != 0;
      } else if (statusMethod_ & 2) {
        ok = GetPrinterStateBySendCmd(&status, 0) != 0;
      }
    }
    if (ok) status.drawerOpen = DrawerOpenFromSensor(status.drawer);
  }
  if (!ok) {
    if (initialReport) ForgetPaperAndCover();
    return 0;
  }
  // The drawer-only read asks nothing about paper; a printer client joining later
  // reads it then.
  const bool paperRead = byAsb || !drawerOnly;
  if (paperRead) paperStateRead_ = 1;

  // Paper and cover were not read: they are unknown, refuse nothing, and have nothing to
  // report.
  if (initialReport && !paperRead) {
    ForgetPaperAndCover();
    return 0;
  }

  ApplyStatus(status, initialReport);
  return 0;
}

// Records a status read and raises the changes it brings: every field at the initial
// report, only what changed afterwards.
void CPrinterBase::ApplyStatus(const tagPrinterStatus& status, bool initialReport) {
  // The status is updated under its lock; the events go out after it is released.
  std::array<LONG, 8> raised{};
  size_t raisedCount = 0;
  auto raise = [&](LONG code) {
    if (raisedCount < raised.size()) raised[raisedCount++] = code;
  };
  {
    std::lock_guard<std::mutex> lock(statusMutex_.mutex);

    if (initialReport) {
      lastStatus_.paperEnd = status.paperEnd;
      lastStatus_.nearEnd = status.nearEnd;
      lastStatus_.coverOpen = status.coverOpen;
      if (status.paperEnd) raise(PTR_SUE_REC_EMPTY);
      if (status.nearEnd) raise(PTR_SUE_REC_NEAREMPTY);
      if (!status.paperEnd && !status.nearEnd) raise(PTR_SUE_REC_PAPEROK);
      raise(status.coverOpen ? PTR_SUE_COVER_OPEN : PTR_SUE_COVER_OK);
    } else {
      if (status.coverOpen && !lastStatus_.coverOpen) {
        lastStatus_.coverOpen = status.coverOpen;
        raise(PTR_SUE_COVER_OPEN);
      } else if (!status.coverOpen && lastStatus_.coverOpen) {
        lastStatus_.coverOpen = 0;
        raise(PTR_SUE_COVER_OK);
      }
      if (status.paperEnd && !lastStatus_.paperEnd) {
        lastStatus_.paperEnd = status.paperEnd;
        raise(PTR_SUE_REC_EMPTY);
      }
      if (status.nearEnd) {
        if (!lastStatus_.nearEnd) {
          lastStatus_.nearEnd = status.nearEnd;
          raise(PTR_SUE_REC_NEAREMPTY);
        }
        if (!status.paperEnd && lastStatus_.paperEnd) {
          lastStatus_.paperEnd = 0;
          lastStatus_.nearEnd = status.nearEnd;
          raise(PTR_SUE_REC_NEAREMPTY);
        }
      } else if (!status.paperEnd && (lastStatus_.nearEnd || lastStatus_.paperEnd)) {
        lastStatus_.nearEnd = 0;
        lastStatus_.paperEnd = 0;
        raise(PTR_SUE_REC_PAPEROK);
      }
      lastStatus_.paperEnd = status.paperEnd;
      lastStatus_.nearEnd = status.nearEnd;

      if (clientMode_ != 0) {
        if (!status.drawerOpen && lastStatus_.drawerOpen) {
          lastStatus_.drawerOpen = 0;
          raise(1);
        } else if (status.drawerOpen && !lastStatus_.drawerOpen) {
          lastStatus_.drawerOpen = status.drawerOpen;
          raise(2);
        }
      }
    }
    if (worker_) worker_->NoteStatus(lastStatus_.coverOpen != 0, lastStatus_.paperEnd != 0);
  }
  for (size_t i = 0; i < raisedCount; ++i) RaiseStateUpdateEvent(raised[i]);
}

LONG CPrinterBase::SendAndReadData(PrinterBuffer& request, BYTE* reply, LONG offset,
                                   LONG length, LONG* count) {
  if (count) *count = 0;
  if (!WaitForPortLock()) return OPOS_E_BUSY;
  struct Unlocker {
    CPrinterBase* engine;
    ~Unlocker() { engine->UnlockPort(); }
  } unlocker{this};

  Tesk::IO::IPort* port = printerPort_->GetPort();
  if (port->IsOpen()) port->DiscardInput();
  set_printerSettings(request);
  if (!WriteBlock(request)) return OPOS_E_OFFLINE;

  if (length > 0) {
    Sleep(10);
    std::vector<BYTE> scratch;
    BYTE* target = reply;
    LONG at = offset;
    if (!target) {
      scratch.resize(static_cast<size_t>(length));
      target = scratch.data();
      at = 0;
    }
    LONG got = 0;
    const bool read = printerPort_->Read(target, at, length, &got, TRUE);
    if (count) *count = got;
    return read ? 0 : OPOS_E_OFFLINE;
  }
  if (length < 0) {
    // Drain whatever the printer sends back, a byte at a time.
    Sleep(10);
    bool anyRead = false;
    for (int drained = 0; drained < 65536; ++drained) {
      BYTE scratch = 0;
      LONG got = 0;
      if (!printerPort_->Read(&scratch, 0, 1, &got, TRUE)) return anyRead ? 0 : OPOS_E_OFFLINE;
      anyRead = true;
      if (got == 0) return 0;
      if (count) ++*count;
      Sleep(2);
    }
    return 0;
  }
  return OPOS_E_OFFLINE;  // nothing asked for after the write
}

LONG CPrinterBase::ReadData(BYTE* destination, LONG offset, LONG maxLength, BYTE startByte,
                            BYTE endByte, LONG* count, DWORD timeout) {
  if (count) *count = 0;
  const DWORD start = GetTickCount();
  if (!WaitForPortLock()) return OPOS_E_BUSY;
  BYTE chunk[255];
  bool started = false, ended = false, anyRead = false;
  LONG stored = 0;
  int emptyAttempts = 0;
  while (!ended) {
    LONG got = 0;
    if (printerPort_->Read(chunk, 0, sizeof chunk, &got, FALSE)) anyRead = true;
    for (LONG i = 0; i < got && !ended; ++i) {
      if (!started) {
        started = chunk[i] == startByte;
      } else if (chunk[i] == endByte) {
        ended = true;
      } else if (stored < maxLength) {
        destination[offset + stored++] = chunk[i];
      }
    }
    Sleep(50);
    if (ended || GetTickCount() - start >= timeout) break;
    // Once bytes are being stored, only the end byte or the deadline ends the reply.
    if (stored == 0 && ++emptyAttempts >= 7) break;
  }
  UnlockPort();
  if (count) *count = stored;
  return anyRead ? 0 : OPOS_E_OFFLINE;
}

LONG CPrinterBase::ReadData(BYTE* destination, LONG offset, LONG maxLength, BYTE endByte,
                            LONG* count, DWORD timeout) {
  if (count) *count = 0;
  const DWORD start = GetTickCount();
  if (!WaitForPortLock()) return OPOS_E_BUSY;
  BYTE chunk[255];
  bool anyRead = false;
  LONG stored = 0;
  int attempts = 0;
  while (GetTickCount() - start < timeout) {
    Sleep(10);
    LONG got = 0;
    if (printerPort_->Read(chunk, 0, sizeof chunk, &got, FALSE)) anyRead = true;
    for (LONG i = 0; i < got && chunk[i] != endByte && stored < maxLength; ++i)
      destination[offset + stored++] = chunk[i];
    if (++attempts >= 7 && stored == 0) break;
  }
  UnlockPort();
  if (count) *count = stored;
  return anyRead ? 0 : OPOS_E_OFFLINE;
}

LONG CPrinterBase::ReadData(BYTE* destination, LONG offset, LONG length, LONG* count,
                            DWORD timeout) {
  if (count) *count = 0;
  const DWORD start = GetTickCount();
  if (!WaitForPortLock()) return OPOS_E_BUSY;
  bool anyRead = false;
  LONG total = 0;
  int attempts = 0;
  do {
    LONG got = 0;
    if (printerPort_->Read(destination, offset + total, length - total, &got, TRUE))
      anyRead = true;
    total += got;
    ++attempts;
  } while (GetTickCount() - start < timeout && total < length && (attempts < 6 || total > 0));
  UnlockPort();
  if (count) *count = total;
  return anyRead ? 0 : OPOS_E_OFFLINE;
}

LONG CPrinterBase::SendAndReadString(PrinterBuffer& request, BYTE* destination, LONG offset,
                                     LONG maxLength, BYTE startByte, BYTE endByte,
                                     LONG* count) {
  const LONG code = DirectSend(request, false, 7);
  if (code != 0) return code;
  Sleep(50);
  return ReadData(destination, offset, maxLength, startByte, endByte, count, 2000);
}

LONG CPrinterBase::SendAndReadString(PrinterBuffer& request, BYTE* destination, LONG offset,
                                     LONG maxLength, BYTE endByte, LONG* count) {
  const LONG code = DirectSend(request, false, 7);
  if (code != 0) return code;
  Sleep(50);
  return ReadData(destination, offset, maxLength, endByte, count, 2000);
}

}  // namespace Tesk::Printer

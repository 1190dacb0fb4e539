// The cash drawer on the printer's kick-out connector: the pulse that opens it, the
// sensor query that reads it back, and the wait for it to close.
#include <array>
#include <optional>
#include <vector>

#include "ICmdHelper.h"
#include "IPort.h"
#include "OposConstants.h"
#include "PrinterBase.h"
#include "PrinterPort.h"
#include "platform/sync.h"

namespace Tesk::Printer {

LONG CPrinterBase::SendOwnCommands(PrinterBuffer& buffer) {
  // Pulses and beeps are not application output: they never join the asynchronous
  // queue and carry no OutputID. Unlike SendNow they leave the pending print settings
  // alone, so beeping during a wait never touches what a printing client is filling.
  return DirectSend(buffer, false, 7);
}

LONG CPrinterBase::OpenDrawer(LONG* result) {
  if (!IsIdle()) return ReportResult(OPOS_E_BUSY, result);
  if (!cmdHelper_) return ReportResult(OPOS_E_FAILURE, result);

  drawerBuffer_.Clear();
  // ESC p m t1 t2: m 0 kicks pin 2, m 1 pin 5; the times travel as their low byte.
  if (drawerPin_ & 1) cmdHelper_->GeneratePulse(drawerBuffer_, 0, drawerOnTime_ & 0xFF, drawerOffTime_ & 0xFF);
  if (drawerPin_ & 2) cmdHelper_->GeneratePulse(drawerBuffer_, 1, drawerOnTime_ & 0xFF, drawerOffTime_ & 0xFF);
  // No pin selected, or a printer without a kick-out command: an empty block would
  // report an opening that never happened.
  if (drawerBuffer_.IsEmpty()) return ReportResult(OPOS_E_ILLEGAL, result);

  const LONG code = SendOwnCommands(drawerBuffer_);
  ReportResult(code, result);
  if (code != 0 || !drawerStatusCapability_) return 0;

  // The drawer needs a moment to spring open; the answer does not change the result.
  Sleep(200);
  for (int check = 0; check < 2; ++check) {
    if (check > 0) Sleep(500);
    int valid = 0;
    if (GetDrawerOpenState(1, &valid) && valid) break;
  }
  return 0;
}

int CPrinterBase::GetDrawerOpenState(int clearFirst, int* valid) {
  if (valid) *valid = 0;
  int open = 0;
  std::vector<BYTE> drained;
  const int answered = QueryDrawerSensor(clearFirst, &open, &drained);
  // Applied once the port is free again: the block first, the fresher answer last.
  ApplyNewestStatusBlock(drained);
  if (!answered) return GetLastStatus().drawerOpen ? 1 : 0;
  NoteDrawerState(open);
  if (valid) *valid = 1;
  return open;
}

// Asks the model's drawer query; 1 with the open level applied to the answer in *open,
// 0 when nothing was asked or nothing came back. What the clearing read took, and any
// status block met before the answer, is left in *drained.
int CPrinterBase::QueryDrawerSensor(int clearFirst, int* open, std::vector<BYTE>* drained) {
  if (!cmdHelper_ || !printerPort_ || !bidirectional_) return 0;
  // Built per call: the worker's poll and the caller's thread both ask. A builder
  // without a drawer query leaves the bytes zero, and nothing goes to the printer.
  std::array<BYTE, 3> query{};
  cmdHelper_->GetDrawerStatusQuery(query.data());
  if (query == std::array<BYTE, 3>{}) return 0;
  if (!WaitForPortLock()) return 0;
  struct Unlocker {
    CPrinterBase* engine;
    ~Unlocker() { engine->UnlockPort(); }
  } unlocker{this};

  BYTE reply[4] = {};
  if (clearFirst) ClearUnReadDataInPrinter(drained);
  if (!printerPort_->Write(query.data(), 0, static_cast<LONG>(query.size()))) return 0;

  // GS r 2 answers one byte; a USB transfer may bring older bytes before it.
  auto readReply = [&]() -> LONG {
    LONG count = 0;
    const bool read = isUsb_ ? printerPort_->ReadOnce(reply, 0, 4, &count, FALSE)
                             : printerPort_->Read(reply, 0, 1, &count, TRUE);
    return read ? count : 0;
  };
  // With automatic status back on, a status block may arrive before the answer (the
  // printer reports a change whenever it sees one). Its first byte has bit 4 set, which
  // an answer never has; the block goes with the drained bytes, the answer is read on.
  int blockBytesLeft = 0;
  std::optional<BYTE> answer;
  auto take = [&](LONG count) {
    for (LONG i = 0; i < count; ++i) {
      const BYTE b = reply[i];
      if (blockBytesLeft > 0) {
        --blockBytesLeft;
        if (drained) drained->push_back(b);
      } else if (asbInUse_ && (b & 0x93) == 0x10) {
        blockBytesLeft = 3;
        if (drained) drained->push_back(b);
      } else {
        answer = b;  // the last answer byte of a USB transfer is the newest
      }
    }
  };
  Sleep(10);
  LONG count = readReply();
  if (count <= 0 && (isUsb_ || isLpt_)) {
    Sleep(50);
    count = readReply();
  }
  take(count);
  // Blocks came first: read on for the answer, each read bounded by the port's time-out.
  for (int extra = 0; !answer && count > 0 && extra < 8; ++extra) {
    count = readReply();
    take(count);
  }
  if (!answer) return 0;
  *open = drawerOpenLevel_ ? (*answer == 1) : (*answer == 0);
  return 1;
}

LONG CPrinterBase::WaitForDrawerClose(LONG beepTimeout, LONG /*beepFrequency*/, LONG beepDuration,
                                      LONG beepDelay, LONG* result,
                                      const std::function<void(DWORD)>& pause) {
  const DWORD limit = static_cast<DWORD>(drawerWaitTimeout_ < 0 ? 0 : drawerWaitTimeout_);
  const DWORD start = GetTickCount();
  // The printer's own buzzer: two beeps per command.
  PrinterBuffer beep(16, 16);
  if (cmdHelper_) cmdHelper_->Beep(beep, beepDuration, beepDelay, 2);
  const bool canBeep = buzzer_ && !beep.IsEmpty();
  // A negative time-out (OPOS_FOREVER among them) means the caller wants no beeping.
  const bool beepWanted = beepTimeout >= 0;
  const long long repeatEvery = 2LL * (static_cast<long long>(beepDuration) + beepDelay);

  int open = 1;
  bool beeping = false;
  DWORD lastBeep = 0;
  DWORD elapsed = 0;
  do {
    int valid = 0;
    const int answer = GetDrawerOpenState(1, &valid);
    if (valid) open = answer;

    const DWORD now = GetTickCount();
    bool sound = false;
    if (!beeping) {
      sound = beepWanted && static_cast<long long>(elapsed) > beepTimeout;
      beeping = sound;
    } else {
      sound = static_cast<long long>(now - lastBeep) > repeatEvery;
    }
    if (sound) {
      lastBeep = now;
      if (canBeep) SendOwnCommands(beep);
    }
    if (pause) {
      pause(300);
    } else {
      Sleep(300);
    }
    elapsed = GetTickCount() - start;
  } while (open && elapsed < limit);

  // Judged by the drawer, not the clock: one read closed on the last pass is a success.
  const LONG code = open ? OPOS_E_TIMEOUT : 0;
  return ReportResult(code, result);
}

}  // namespace Tesk::Printer

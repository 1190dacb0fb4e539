// The cash drawer on the printer's kick-out connector: the pulse that opens it, the
// sensor query that reads it back, and the wait for it to close.
#include <array>

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
  const int stored = GetLastStatus().drawerOpen ? 1 : 0;
  if (valid) *valid = 0;
  if (!cmdHelper_ || !printerPort_ || !bidirectional_) return stored;
  // Built per call: the worker's poll and the caller's thread both ask. A builder
  // without a drawer query leaves the bytes zero, and nothing goes to the printer.
  std::array<BYTE, 3> query{};
  cmdHelper_->GetDrawerStatusQuery(query.data());
  if (query == std::array<BYTE, 3>{}) return stored;
  if (!WaitForPortLock()) return stored;
  struct Unlocker {
    CPrinterBase* engine;
    ~Unlocker() { engine->UnlockPort(); }
  } unlocker{this};

  BYTE reply[4] = {};
  if (clearFirst) ClearUnReadDataInPrinter();
  if (!printerPort_->Write(query.data(), 0, static_cast<LONG>(query.size()))) return stored;

  // GS r 2 answers one byte; a USB transfer may bring older bytes before it.
  auto readReply = [&]() -> LONG {
    LONG count = 0;
    const bool read = isUsb_ ? printerPort_->ReadOnce(reply, 0, 4, &count, FALSE)
                             : printerPort_->Read(reply, 0, 1, &count, TRUE);
    return read ? count : 0;
  };
  Sleep(10);
  LONG count = readReply();
  if (count <= 0 && (isUsb_ || isLpt_)) {
    Sleep(50);
    count = readReply();
  }
  if (count <= 0) return stored;
  const BYTE last = reply[(count < 4 ? count : 4) - 1];
  if (valid) *valid = 1;
  return drawerOpenLevel_ ? (last == 1) : (last == 0);
}

LONG CPrinterBase::WaitForDrawerClose(LONG beepTimeout, LONG /*beepFrequency*/, LONG beepDuration,
                                      LONG beepDelay, LONG* result) {
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
    Sleep(300);
    elapsed = GetTickCount() - start;
  } while (open && elapsed < limit);

  // Judged by the drawer, not the clock: one read closed on the last pass is a success.
  const LONG code = open ? OPOS_E_TIMEOUT : 0;
  return ReportResult(code, result);
}

}  // namespace Tesk::Printer

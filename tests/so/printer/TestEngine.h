// An engine with the full ESC/POS builder and a scripted port, for lifecycle and
// status tests that must not depend on a model's table.
#pragma once

#include <memory>

#include "CmdHelperBase.h"
#include "FakePort.h"
#include "PrinterBase.h"
#include "PrinterPort.h"

namespace zanth::test {

class TestEngine : public Tesk::Printer::CPrinterBase {
 public:
  TestEngine() { InitCmdHelper(); }

  void UsePort(std::shared_ptr<Tesk::IO::IPort> port) {
    printerPort_ = std::make_shared<Tesk::Printer::CPrinterPort>(std::move(port));
  }
  void SetBidiAnswer(int bidi) { bidiAnswer_ = bidi; }
  void SetAsbCapable(int capable) { asbCapable_ = capable; }
  void SetQueryInfoAtClaim(int query) { queryInfoAtClaim_ = query; }
  void SetStatusMethod(BYTE method) { statusMethod_ = method; }
  void SetNearEndCheck(LONG check) { SetCapability(8525, check); }
  void SetLastStatus(const Tesk::Printer::tagPrinterStatus& status) { lastStatus_ = status; }
  void SetDrawerOpenLevel(int level) { drawerOpenLevel_ = level; }
  void SetBuzzer(int buzzer) { buzzer_ = buzzer; }

 protected:
  void InitCmdHelper() override { cmdHelper_ = &builder_; }
  int IsSupportBidi() override { return bidiAnswer_; }

 private:
  CCmdHelperBase builder_;
  int bidiAnswer_ = 1;
};

// Records the events the engine raises.
class RecordingEvents : public Tesk::Printer::IPrinterEventHandle {
 public:
  void OnErrorEvent(const wchar_t* text) override { errors.emplace_back(text ? text : L""); }
  void OnOutputComplete(LONG id) override { outputs.push_back(id); }
  void OnStatusUpdate(LONG status) override { statuses.push_back(status); }
  LONG OnPollState() override { return 0; }

  std::vector<std::wstring> errors;
  std::vector<LONG> outputs;
  std::vector<LONG> statuses;
};

}  // namespace zanth::test

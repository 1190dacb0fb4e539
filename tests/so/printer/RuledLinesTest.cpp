// Ruled lines and curved text through the engine: the packet-framed model's bytes on a
// scripted port, the results, and the ErrorString of calls that print nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ModelK15.h"
#include "ModelTMT88IV.h"
#include "OposConstants.h"
#include "TestEngine.h"

namespace {

using Tesk::Printer::CPrinterBase;
using Tesk::Printer::tagPrinterStatus;
using zanth::test::FakePort;
using zanth::test::RecordingEvents;
using Bytes = std::vector<BYTE>;

template <class Model>
class ReadyModel : public Model {
 public:
  void UsePort(std::shared_ptr<Tesk::IO::IPort> port) {
    this->printerPort_ = std::make_shared<Tesk::Printer::CPrinterPort>(std::move(port));
  }
  void SetLastStatus(const tagPrinterStatus& status) { this->lastStatus_ = status; }
};

// The payload of the packets written (AA length data xor BB), checked as the printer would.
Bytes Unframe(const std::vector<Bytes>& blocks) {
  Bytes payload;
  for (const Bytes& block : blocks) {
    size_t at = 0;
    while (at < block.size()) {
      const size_t length = at + 1 < block.size() ? block[at + 1] : 0;
      if (block[at] != 0xAA || at + 4 + length > block.size() || block[at + 3 + length] != 0xBB) {
        ADD_FAILURE() << "not a packet at byte " << at;
        return payload;
      }
      BYTE check = 0;
      for (size_t i = 0; i < length; ++i) check ^= block[at + 2 + i];
      EXPECT_EQ(block[at + 2 + length], check);
      payload.insert(payload.end(), block.begin() + static_cast<long>(at + 2),
                     block.begin() + static_cast<long>(at + 2 + length));
      at += 4 + length;
    }
  }
  return payload;
}

using Call = std::function<void(CPrinterBase&, LONG*)>;

Call Line(std::wstring list) {
  return [list](CPrinterBase& e, LONG* rc) { e.PrintLine(PTR_S_RECEIPT, list, rc); };
}
Call Curve(LONG number, LONG position, std::wstring text) {
  return [=](CPrinterBase& e, LONG* rc) {
    e.PrintCurveText(PTR_S_RECEIPT, number, position, text, rc);
  };
}
std::wstring Values(int count) {
  std::wstring list;
  for (int i = 0; i < count; ++i) list += (i ? L"," : L"") + std::to_wstring(i * 10);
  return list;
}
Bytes EightSegments() {
  Bytes bytes = {0x1D, 0x27, 8};
  for (int i = 0; i < 16; ++i) bytes.insert(bytes.end(), {static_cast<BYTE>(i * 10), 0});
  return bytes;
}

struct Case {
  const char* name;
  bool secondModel;
  LONG binaryConversion;
  tagPrinterStatus status;
  Call call;
  LONG result, extended;
  Bytes sent;
  const wchar_t* note;  // part of the error text; nullptr: the text is empty
};

const tagPrinterStatus kReady{};
const tagPrinterStatus kCoverOpen{0, 0, 0, 1, 0, 0};
const tagPrinterStatus kPaperOut{0, 0, 0, 0, 0, 1};

const Case kCases[] = {
    {"FourValuesTwoSegments", true, 0, kReady, Line(L"0,100,200,300"), 0, 0,
     {0x1D, 0x27, 2, 0, 0, 100, 0, 0xC8, 0, 0x2C, 1}, nullptr},
    {"ThreeValuesDropTheThird", true, 0, kReady, Line(L"10,20,30"), 0, 0,
     {0x1D, 0x27, 1, 10, 0, 20, 0}, nullptr},
    {"ThreeValuesAndACommaEndAtZero", true, 0, kReady, Line(L"10,20,30,"), 0, 0,
     {0x1D, 0x27, 2, 10, 0, 20, 0, 30, 0, 0, 0}, nullptr},
    {"OtherFieldsCountAsZero", true, 0, kReady, Line(L"x,5y, -1,+7"), 0, 0,
     {0x1D, 0x27, 2, 0, 0, 5, 0, 0xFF, 0xFF, 7, 0}, nullptr},
    {"ValuesKeepTheirLow16Bits", true, 0, kReady, Line(L"70000,1"), 0, 0,
     {0x1D, 0x27, 1, 0x70, 0x11, 1, 0}, nullptr},
    {"SixteenValuesAreEightSegments", true, 0, kReady, Line(Values(16)), 0, 0, EightSegments(),
     nullptr},
    {"EighteenValuesPrintNothing", true, 0, kReady, Line(Values(18)), 0, 0, {},
     L"cannot draw 9 segments"},
    {"TwoCharactersAreRefused", true, 0, kReady, Line(L"12"), OPOS_E_ILLEGAL, 0, {},
     L"at least 3"},
    {"LineWithCoverOpen", true, 0, kCoverOpen, Line(L"0,100"), OPOS_E_EXTENDED,
     OPOS_EPTR_COVER_OPEN, {}, nullptr},
    {"LineWithoutPaper", true, 0, kPaperOut, Line(L"0,100"), OPOS_E_EXTENDED,
     OPOS_EPTR_REC_EMPTY, {}, nullptr},
    {"LineOnTheDefaultModel", false, 0, kReady, Line(L"0,100"), OPOS_E_ILLEGAL, 0, {},
     L"cannot print ruled lines"},

    {"CurveLayout0", true, 0, kReady, Curve(0, 300, L"ABC"), 0, 0,
     {0x1D, 0x22, 0, 0x2C, 1, 'A', 'B', 'C', 0}, nullptr},
    {"CurveLayout1", true, 0, kReady, Curve(1, 0, L"x"), 0, 0, {0x1D, 0x22, 1, 0, 0, 'x', 0},
     nullptr},
    {"CurveLayout2PrintsNothing", true, 0, kReady, Curve(2, 0, L"x"), 0, 0, {},
     L"no curved-text layout 2"},
    {"CurveEmptyIsRefused", true, 0, kReady, Curve(0, 0, L""), OPOS_E_ILLEGAL, 0, {},
     L"at least one"},
    {"CurveWithA00ByteIsRefused", true, OPOS_BC_NIBBLE, kReady, Curve(0, 0, L"410042"),
     OPOS_E_ILLEGAL, 0, {}, L"00 byte"},
    {"CurveBinaryWithoutA00Byte", true, OPOS_BC_NIBBLE, kReady, Curve(0, 0, L"4142"), 0, 0,
     {0x1D, 0x22, 0, 0, 0, 'A', 'B', 0}, nullptr},
    {"CurveWithoutPaper", true, 0, kPaperOut, Curve(0, 0, L"x"), OPOS_E_EXTENDED,
     OPOS_EPTR_REC_EMPTY, {}, nullptr},
    {"CurveOnTheDefaultModel", false, 0, kReady, Curve(0, 0, L"x"), OPOS_E_ILLEGAL, 0, {},
     L"cannot print ruled lines"},
    {"DrawRuledLineIsNotSupported", true, 0, kReady,
     [](CPrinterBase& e, LONG* rc) { e.DrawRuledLine(PTR_S_RECEIPT, L"0,100", 1, 1, 1, 1, rc); },
     OPOS_E_EXTENDED, 300, {}, nullptr},
};

class RuledLines : public ::testing::Test {
 protected:
  template <class Model>
  void Run(const Case& c, Model& engine) {
    auto port = zanth::test::OpenReadyEngine(engine, events);
    LONG rc = -1;
    engine.SetPropertyNumber(PIDX_BinaryConversion, c.binaryConversion, &rc);
    ASSERT_EQ(rc, 0);
    engine.SetLastStatus(c.status);
    port->ClearWritten();
    rc = -1;
    c.call(engine, &rc);
    EXPECT_EQ(rc, c.result);
    EXPECT_EQ(engine.GetResultCode(), c.result);
    EXPECT_EQ(engine.GetResultCodeExtended(), c.extended);
    if (c.secondModel) {
      EXPECT_EQ(Unframe(port->Blocks()), c.sent);
    } else {
      EXPECT_TRUE(port->Blocks().empty());
    }
    const std::wstring text = engine.ErrorInformation();
    if (c.note) {
      EXPECT_NE(text.find(c.note), std::wstring::npos) << platform::ToUtf8(text);
    } else {
      EXPECT_TRUE(text.empty()) << platform::ToUtf8(text);
    }
  }
  RecordingEvents events;
};

TEST_F(RuledLines, BytesResultsAndNotes) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    if (c.secondModel) {
      ReadyModel<Tesk::Printer::CModelK15> engine;
      Run(c, engine);
    } else {
      ReadyModel<Tesk::Printer::CTM_T88IV> engine;
      Run(c, engine);
    }
  }
}

TEST_F(RuledLines, InATransactionTheyWaitForItsEnd) {
  ReadyModel<Tesk::Printer::CModelK15> engine;
  auto port = zanth::test::OpenReadyEngine(engine, events);
  LONG rc = -1;
  engine.TransactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION, &rc);
  ASSERT_EQ(rc, 0);
  port->ClearWritten();
  engine.PrintLine(PTR_S_RECEIPT, L"0,575", &rc);
  EXPECT_EQ(rc, 0);
  engine.PrintCurveText(PTR_S_RECEIPT, 1, 8, L"ok", &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(port->Blocks().empty());
  engine.TransactionPrint(PTR_S_RECEIPT, PTR_TP_NORMAL, &rc);
  ASSERT_EQ(rc, 0);
  const Bytes sent = Unframe(port->Blocks());
  const Bytes commands = {0x1D, 0x27, 1, 0, 0, 0x3F, 2, 0x1D, 0x22, 1, 8, 0, 'o', 'k', 0};
  EXPECT_NE(std::search(sent.begin(), sent.end(), commands.begin(), commands.end()), sent.end());
}

// Output still queued while AsyncMode is off makes both methods busy; that comes before
// the capability check. (The packet-framed model prints synchronously only, so the default
// model queues the job.)
TEST_F(RuledLines, QueuedOutputMakesThemBusy) {
  ReadyModel<Tesk::Printer::CTM_T88IV> engine;
  auto port = zanth::test::OpenReadyEngine(engine, events);
  ASSERT_EQ(engine.DeviceEnable(1), 1);
  engine.SetLastStatus(kReady);
  LONG rc = -1;
  engine.SetPropertyNumber(PIDXPtr_AsyncMode, 1, &rc);
  ASSERT_EQ(rc, 0);
  port->HoldWrites(true);
  struct Release {  // a failed check must not leave the worker stuck in a write
    FakePort& port;
    ~Release() { port.HoldWrites(false); }
  } release{*port};
  engine.PrintNormal(PTR_S_RECEIPT, L"queued\n", &rc);
  ASSERT_EQ(rc, 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (port->WritesWaiting() == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(port->WritesWaiting(), 1);
  engine.SetPropertyNumber(PIDXPtr_AsyncMode, 0, &rc);
  engine.PrintLine(PTR_S_RECEIPT, L"0,100", &rc);
  EXPECT_EQ(rc, OPOS_E_BUSY);
  engine.PrintCurveText(PTR_S_RECEIPT, 0, 0, L"x", &rc);
  EXPECT_EQ(rc, OPOS_E_BUSY);
  port->HoldWrites(false);
  EXPECT_TRUE(events.WaitFor([&] { return events.outputs.size() == 1; }));
  engine.CloseService(&rc);
}

}  // namespace

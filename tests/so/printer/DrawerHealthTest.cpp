// The drawer, the health check and direct I/O inside the engine: what reaches the port
// and what the caller is told, with a scripted printer.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "CmdHelperK15.h"
#include "OposConstants.h"
#include "TestEngine.h"
#include "platform/msgbox.h"

namespace {

using zanth::test::FakePort;
using zanth::test::RecordingEvents;
using zanth::test::TestEngine;
using Bytes = std::vector<BYTE>;
using Clock = std::chrono::steady_clock;

const Bytes kDrawerQuery = {0x1D, 0x72, 0x02};  // GS r 2

struct DrawerFixture : ::testing::Test {
  // drawerReplies: GS r 2 answers in turn, the last repeated; empty: silent.
  void Open(std::vector<BYTE> replies = {}, int queryInfo = 0) {
    drawerReplies = std::move(replies);
    port = std::make_shared<FakePort>(L"TCP/IP");
    engine.UsePort(port);
    engine.SetQueryInfoAtClaim(queryInfo);
    port->SetResponder([this](const Bytes& block) -> Bytes {
      stamps.push_back(Clock::now());
      if (block == kDrawerQuery) {
        if (drawerReplies.empty()) return {};
        const BYTE reply = drawerReplies[std::min(queries, drawerReplies.size() - 1)];
        ++queries;
        return {reply};
      }
      // GS I 41 (firmware): "_" text NUL; the other identification queries alike.
      if (block.size() >= 3 && block[block.size() - 3] == 0x1D && block[block.size() - 2] == 0x49) {
        const BYTE n = block.back();
        if (n == 0x02) return {0x02};
        const std::string text = n == 0x41 ? "FW 7.1" : n == 0x42 ? "Maker" : "Model";
        Bytes reply{'_'};
        reply.insert(reply.end(), text.begin(), text.end());
        reply.push_back(0);
        return reply;
      }
      return {};
    });
    LONG result = 0;
    ASSERT_EQ(engine.OpenServiceW(L"Till 1", &events, &result), 0);
    engine.ClaimDevice(0, &result);
    ASSERT_EQ(result, 0);
    port->ClearWritten();
    stamps.clear();
  }
  std::string WrittenText() const {
    const Bytes w = port->Written();
    return std::string(w.begin(), w.end());
  }

  RecordingEvents events;
  std::shared_ptr<FakePort> port;
  std::vector<BYTE> drawerReplies;
  size_t queries = 0;
  std::vector<Clock::time_point> stamps;
  // Declared last, so it goes first: its worker may still call the members above.
  TestEngine engine;
};

struct PulseCase {
  const char* name;
  LONG pin, onTime, offTime;
  LONG result;
  Bytes block;  // the one block written; empty: nothing written
};

class OpenDrawerPulses : public DrawerFixture, public ::testing::WithParamInterface<PulseCase> {};

TEST_P(OpenDrawerPulses, SendsOneBlockWithThePinsSelected) {
  const auto& c = GetParam();
  Open();
  engine.SetupCashDrawer(c.pin, 1, 0, c.onTime, c.offTime, 1000);
  LONG result = -1;
  engine.OpenDrawer(&result);
  EXPECT_EQ(result, c.result);
  EXPECT_EQ(engine.GetResultCode(), c.result);
  const std::vector<Bytes> expected = c.block.empty() ? std::vector<Bytes>{}
                                                      : std::vector<Bytes>{c.block};
  EXPECT_EQ(port->Blocks(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pins, OpenDrawerPulses,
    ::testing::Values(
        PulseCase{"Pin2", 1, 10, 20, 0, {0x1B, 0x70, 0x00, 10, 20}},  // ESC p 0 t1 t2
        PulseCase{"Pin5", 2, 10, 20, 0, {0x1B, 0x70, 0x01, 10, 20}},  // ESC p 1 t1 t2
        PulseCase{"BothPinsInOneBlock", 3, 10, 20, 0,
                  {0x1B, 0x70, 0x00, 10, 20, 0x1B, 0x70, 0x01, 10, 20}},
        PulseCase{"TimesUseTheirLowByte", 1, 0x132, 0x2FF, 0, {0x1B, 0x70, 0x00, 0x32, 0xFF}},
        // Mend: no pin selected used to send an empty block and report success.
        PulseCase{"NoPinIsRefused", 4, 10, 20, OPOS_E_ILLEGAL, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DrawerFixture, FailedPulseReportsTheWrite) {
  Open();
  engine.SetupCashDrawer(1, 1, 1, 10, 10, 1000);
  port->SetWriteFails(true);
  LONG result = 0;
  engine.OpenDrawer(&result);
  EXPECT_EQ(result, OPOS_E_NOHARDWARE);
}

struct LevelCase {
  int openLevel;
  BYTE reply;
  int open;
};

TEST_F(DrawerFixture, OpenLevelDecidesWhichReplyMeansOpen) {
  const LevelCase cases[] = {{0, 0x00, 1}, {0, 0x01, 0}, {0, 0x02, 0},
                             {1, 0x01, 1}, {1, 0x00, 0}, {1, 0xFF, 0}};
  Open({0});
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "level " << c.openLevel << " reply " << int(c.reply));
    drawerReplies = {c.reply};
    engine.SetupCashDrawer(1, c.openLevel, 1, 10, 10, 1000);
    int valid = 0;
    EXPECT_EQ(engine.GetDrawerOpenState(1, &valid), c.open);
    EXPECT_EQ(valid, 1);
  }
  drawerReplies.clear();  // silent: the stored state, not valid
  int valid = 1;
  EXPECT_EQ(engine.GetDrawerOpenState(1, &valid), engine.GetLastStatus().drawerOpen);
  EXPECT_EQ(valid, 0);
}

// Block kinds in order: Q drawer query, B beep.
std::string Pattern(const std::vector<Bytes>& blocks) {
  std::string pattern;
  for (const Bytes& b : blocks) pattern += b == kDrawerQuery ? 'Q' : (b.size() > 2 && b[1] == 0x28) ? 'B' : '?';
  return pattern;
}

struct WaitCase {
  const char* name;
  LONG beepTimeout, duration, delay;
  int buzzer;
  LONG closeTimeout;
  std::vector<BYTE> replies;  // open level 1: 01 open, 00 closed
  LONG result;
  const char* pattern;  // nullptr: not checked (ends by the clock)
};

class WaitForClose : public DrawerFixture, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(WaitForClose, PollsBeepsAndJudgesByTheDrawer) {
  const auto& c = GetParam();
  Open(c.replies);
  engine.SetBuzzer(c.buzzer);
  engine.SetupCashDrawer(1, 1, 1, 10, 10, c.closeTimeout);
  LONG result = -1;
  const auto start = Clock::now();
  engine.WaitForDrawerClose(c.beepTimeout, 1000, c.duration, c.delay, &result);
  EXPECT_EQ(result, c.result);
  const std::vector<Bytes> blocks = port->Blocks();
  if (c.pattern) {
    EXPECT_EQ(Pattern(blocks), c.pattern);
  }
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (Pattern({blocks[i]}) != "B") continue;
    // ESC ( A 05 00 61 64 count t1 t2: two beeps, times in 100 ms (1 up to 100 ms).
    auto units = [](LONG ms) { return static_cast<BYTE>(ms <= 100 ? 1 : ms / 100); };
    EXPECT_EQ(blocks[i], (Bytes{0x1B, 0x28, 0x41, 0x05, 0x00, 0x61, 0x64, 0x02, units(c.duration),
                                units(c.delay)}));
    EXPECT_GE(stamps[i] - start, std::chrono::milliseconds(300));  // not before the second pass
    break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Passes, WaitForClose,
    ::testing::Values(
        WaitCase{"AlreadyClosed", 0, 0, 0, 1, 60000, {0x00}, 0, "Q"},
        WaitCase{"BeepsFromTheSecondPassThenEveryPass", 0, 0, 0, 1, 60000,
                 {0x01, 0x01, 0x01, 0x00}, 0, "QQBQBQB"},
        WaitCase{"RepeatWaitsTwiceDurationPlusDelay", 0, 50, 20000, 1, 60000,
                 {0x01, 0x01, 0x01, 0x00}, 0, "QQBQQ"},
        WaitCase{"NoBuzzerNoBeep", 0, 0, 0, 0, 60000, {0x01, 0x01, 0x00}, 0, "QQQ"},
        WaitCase{"LongBeepTimeout", 60000, 0, 0, 1, 60000, {0x01, 0x01, 0x00}, 0, "QQQ"},
        // Mend: OPOS_FOREVER used to beep on the first pass.
        WaitCase{"ForeverNeverBeeps", OPOS_FOREVER, 0, 0, 1, 60000, {0x01, 0x01, 0x00}, 0, "QQQ"},
        // Mends: the result follows the drawer, not the clock.
        WaitCase{"ClosedOnTheLastPassSucceeds", 60000, 0, 0, 1, 1, {0x00}, 0, "Q"},
        WaitCase{"OpenAtTheLimitTimesOut", 60000, 0, 0, 1, 1, {0x01}, OPOS_E_TIMEOUT, "Q"},
        WaitCase{"SilentPrinterTimesOut", 60000, 0, 0, 1, 700, {}, OPOS_E_TIMEOUT, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DrawerQuery, BuilderWithoutQueryWritesNothing) {
  RecordingEvents events;
  struct K15Engine : TestEngine {
    K15Engine() { cmdHelper_ = &k15; }
    CmdHelper_K15 k15;
  } engine;
  auto port = std::make_shared<FakePort>(L"TCP/IP");
  engine.UsePort(port);
  LONG result = 0;
  engine.OpenServiceW(L"p", &events, &result);
  engine.ClaimDevice(0, &result);
  engine.SetupCashDrawer(1, 1, 1, 10, 10, 1000);  // drawer only
  port->ClearWritten();
  int valid = 1;
  EXPECT_EQ(engine.GetDrawerOpenState(1, &valid), 0);
  EXPECT_EQ(valid, 0);
  engine.GetPrinterState(false);
  // Mend: three raw 00 bytes went out, outside the packet framing, at every poll.
  EXPECT_TRUE(port->Written().empty());
}

TEST_F(DrawerFixture, DrawerOnlyEngineIsNoErrorAndReportsNoPaper) {
  Open({0x00});
  ASSERT_EQ(engine.GetLastStatus().paperEnd, 1);  // never read in drawer-only mode
  engine.SetupCashDrawer(1, 1, 1, 10, 10, 1000);
  ASSERT_EQ(engine.DeviceEnable(1), 1);
  EXPECT_TRUE(events.statuses.empty());
  EXPECT_EQ(engine.IsInErrorState(), 0);
  drawerReplies = {0x01};
  engine.GetPrinterState(false);
  EXPECT_EQ(events.statuses, std::vector<LONG>{2});
  // A printer client joins: paper counts again, but it was never read, so it is unknown
  // and refuses nothing until the joining client's read brings real values.
  engine.SetPrinterMode(1);
  EXPECT_EQ(engine.IsInErrorState(), 0);
}

struct HealthCase {
  const char* name;
  LONG level;
  int queryInfo;
  bool writeFails;
  LONG result, extended;
  const wchar_t* text;
  const char* printed;  // nullptr: nothing written
  bool firmwareLine;
};

class Health : public DrawerFixture, public ::testing::WithParamInterface<HealthCase> {};

TEST_P(Health, TextResultAndPrintout) {
  const auto& c = GetParam();
  Open({}, c.queryInfo);
  int boxes = 0;
  SetMessageBoxHandler([&](const std::wstring& text, const std::wstring& caption, UINT type) {
    ++boxes;
    EXPECT_EQ(text, L"OPOS Check Health:INTERACTIVE!\nPlease click the 'OK' button to continue...");
    EXPECT_EQ(caption, L"Opos");
    EXPECT_EQ(type, MB_OK);
    return IDOK;
  });
  port->SetWriteFails(c.writeFails);
  LONG result = 12345;
  engine.CheckHealth(c.level, &result);
  SetMessageBoxHandler(nullptr);
  EXPECT_EQ(result, c.result);
  if (c.level != OPOS_CH_INTERNAL) {
    EXPECT_EQ(engine.GetResultCode(), c.result);
    EXPECT_EQ(engine.GetResultCodeExtended(), c.extended);
  }
  BSTR text = nullptr;
  engine.GetPropertyString(PIDX_CheckHealthText, &text);
  EXPECT_EQ(std::wstring(text ? text : L""), c.text);
  SysFreeString(text);
  EXPECT_EQ(boxes, c.level == OPOS_CH_INTERACTIVE ? 1 : 0);
  const std::string written = WrittenText();
  if (!c.printed) {
    EXPECT_TRUE(written.empty());
    return;
  }
  EXPECT_NE(written.find(c.printed), std::string::npos) << written;
  EXPECT_NE(written.find("Manufacturer: " + engine.GetMakerName() + "\nDevice Name: Till 1\n"),
            std::string::npos);
  EXPECT_EQ(written.find("Firmware Version: FW 7.1\n") != std::string::npos, c.firmwareLine);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, Health,
    ::testing::Values(
        HealthCase{"Internal", OPOS_CH_INTERNAL, 0, false, 12345, 0,
                   L"Internal HealthCheck: Successful.", nullptr, false},
        HealthCase{"External", OPOS_CH_EXTERNAL, 0, false, 0, 0,
                   L"External HealthCheck: Complete.\r\n\r\nSuccessful",
                   "OPOS Printer CheckHealth EXTERNAL:\n", false},
        HealthCase{"ExternalWithPrinterInformation", OPOS_CH_EXTERNAL, 1, false, 0, 0,
                   L"External HealthCheck: Complete.\r\n\r\nSuccessful",
                   "OPOS Printer CheckHealth EXTERNAL:\n", true},
        HealthCase{"Interactive", OPOS_CH_INTERACTIVE, 0, false, 0, 0,
                   L"INTERACTIVE HealthCheck: Complete.\r\n\r\nSuccessful",
                   "OPOS Printer CheckHealth INTERACTIVE:\n", false},
        HealthCase{"NotResponding", OPOS_CH_EXTERNAL, 0, true, OPOS_E_NOHARDWARE, 0,
                   L"External HealthCheck: No Responding.\r\n\r\nOPOS_E_NOHARDWARE", nullptr,
                   false},
        HealthCase{"LevelZero", 0, 0, false, OPOS_E_EXTENDED, 300,
                   L"Illegal Health Check Level!\r\nOPOS_E_ILLEGAL", nullptr, false},
        HealthCase{"LevelFour", 4, 0, false, OPOS_E_EXTENDED, 300,
                   L"Illegal Health Check Level!\r\nOPOS_E_ILLEGAL", nullptr, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DrawerFixture, InteractiveCheckWithoutHandlerAnswersAtOnce) {
  Open();
  SetMessageBoxHandler(nullptr);
  LONG result = -1;
  engine.CheckHealth(OPOS_CH_INTERACTIVE, &result);  // would hang if it waited for a click
  EXPECT_EQ(result, 0);
}

// Mend: in AsyncMode the engine's own commands were queued, reported success before
// anything was written, and raised an OutputComplete no application asked for.
TEST_F(DrawerFixture, OwnCommandsGoOutAtOnceInAsyncMode) {
  struct Row {
    const char* name;
    std::function<void(LONG*)> call;
    std::string written;  // part of what must be on the port when the call returns
  };
  const Row rows[] = {
      {"OpenDrawer", [&](LONG* r) { engine.OpenDrawer(r); }, std::string("\x1bp\x00\x0a\x0a", 5)},
      {"Beeps", [&](LONG* r) { engine.WaitForDrawerClose(0, 1000, 0, 0, r); }, "\x1b(A\x05"},
      {"HealthPrintout", [&](LONG* r) { engine.CheckHealth(OPOS_CH_EXTERNAL, r); },
       "OPOS Printer CheckHealth EXTERNAL:\n"}};
  Open({0x01, 0x01, 0x00});
  engine.SetBuzzer(1);
  engine.SetupCashDrawer(1, 1, 1, 10, 10, 60000);
  LONG ignored = 0;
  engine.SetPropertyNumber(PIDXPtr_AsyncMode, 1, &ignored);
  ASSERT_TRUE(engine.DeviceEnable(1));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    port->ClearWritten();
    queries = 0;
    LONG result = -1;
    row.call(&result);
    EXPECT_EQ(result, 0);
    EXPECT_NE(WrittenText().find(row.written), std::string::npos);
  }
  EXPECT_TRUE(events.outputs.empty());
}

struct DirectIOCase {
  const char* name;
  LONG command;
  bool inTransaction, writeFails;
  LONG result;
  std::string written;
};

TEST_F(DrawerFixture, DirectIOCommands) {
  const DirectIOCase cases[] = {
      {"UnknownCommandSendsNothing", 7, false, false, 0, ""},
      {"Command101WritesAtOnce", 101, false, false, 0, "\x1b@AB"},
      {"Command100WritesAtOnce", 100, false, false, 0, "\x1b@AB"},
      {"Command100JoinsTheTransaction", 100, true, false, 0, ""},
      // Mend: a failed write used to answer OPOS_SUCCESS.
      {"FailedWriteIsReported", 101, false, true, OPOS_E_NOHARDWARE, ""},
  };
  Open();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LONG ignored = 0;
    if (c.inTransaction) engine.TransactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION, &ignored);
    port->ClearWritten();
    port->SetWriteFails(c.writeFails);
    LONG data = 5, result = -1;
    std::wstring text = L"\x1b@AB";
    engine.DirectIO(c.command, &data, text, &result);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(engine.GetResultCode(), c.result);
    EXPECT_EQ(WrittenText(), c.written);
    EXPECT_EQ(data, 5);
    EXPECT_EQ(text, L"\x1b@AB");
    port->SetWriteFails(false);
    if (c.inTransaction) {
      engine.TransactionPrint(PTR_S_RECEIPT, PTR_TP_NORMAL, &ignored);
      EXPECT_NE(WrittenText().find("\x1b@AB"), std::string::npos);
    }
  }
}

// The firmware read back: the printer's answer when the claim asked for it, else the model's
// default marked as such; nothing is sent either way.
TEST_F(DrawerFixture, DirectIOReadsTheFirmwareVersion) {
  for (const int queryInfo : {0, 1}) {
    SCOPED_TRACE(queryInfo);
    Open({}, queryInfo);
    port->ClearWritten();
    LONG data = 5, result = -1;
    std::wstring text = L"in";
    engine.DirectIO(Tesk::Printer::kDirectIOReadFirmwareVersion, &data, text, &result);
    EXPECT_EQ(result, OPOS_SUCCESS);
    EXPECT_EQ(data, queryInfo);
    const std::string firmware = engine.GetFirmwareVersion();
    EXPECT_EQ(text, std::wstring(firmware.begin(), firmware.end()));
    EXPECT_EQ(firmware == "FW 7.1", queryInfo == 1);
    EXPECT_TRUE(WrittenText().empty());
  }
}

TEST(StatusNames, EveryCodeHasItsName) {
  const std::pair<LONG, const char*> names[] = {
      {0, "Successful"},         {101, "OPOS_E_CLOSED"},   {102, "OPOS_E_FAILURE"},
      {103, "OPOS_E_NOTCLAIMED"}, {104, "OPOS_E_NOSERVICE"}, {105, "OPOS_E_DISABLED"},
      {106, "OPOS_E_ILLEGAL"},   {107, "OPOS_E_NOHARDWARE"}, {108, "OPOS_E_OFFLINE"},
      {109, "OPOS_E_NOEXIST"},   {110, "OPOS_E_EXISTS"},   {111, "OPOS_E_FAILURE"},
      {112, "OPOS_E_TIMEOUT"},   {113, "OPOS_E_BUSY"},     {114, "OPOS_E_EXTENDED"},
      {203, "OPOS_E_FAILURE"},   {-1, "OPOS_E_FAILURE"}};
  TestEngine engine;
  for (const auto& [code, name] : names) EXPECT_STREQ(engine.GetStatusString(code), name) << code;
}

TEST(StatisticsAndFirmware, AreNotSupported) {
  TestEngine engine;
  std::wstring buffer = L"<stats/>";
  LONG comparison = 9;
  const std::function<void(LONG*)> calls[] = {
      [&](LONG* r) { engine.RetrieveStatistics(buffer, r); },
      [&](LONG* r) { engine.UpdateStatistics(buffer, r); },
      [&](LONG* r) { engine.ResetStatistics(buffer, r); },
      [&](LONG* r) { engine.CompareFirmwareVersion(L"fw.bin", &comparison, r); },
      [&](LONG* r) { engine.UpdateFirmware(L"fw.bin", r); }};
  for (size_t i = 0; i < std::size(calls); ++i) {
    SCOPED_TRACE(i);
    LONG result = 0;
    calls[i](&result);
    EXPECT_EQ(result, OPOS_E_EXTENDED);
    EXPECT_EQ(engine.GetResultCodeExtended(), 300);
  }
  EXPECT_EQ(buffer, L"<stats/>");
  EXPECT_EQ(comparison, 9);
}

}  // namespace

// Faults that stopped real printers, each pinned through the control object, the COM
// layer, the service object and a port: a temporary file, or the virtual printer on
// loopback TCP, whose decoded commands are the evidence.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "CashDrawer.h"
#include "OposConstants.h"
#include "POSPrinter.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "so/com/SoTestSupport.h"

namespace zanth::test {
namespace {

using namespace std::chrono_literals;

void ExpectReadyToPrint(co::POSPrinter& printer) {
  EXPECT_EQ(printer.State(), OPOS_S_IDLE);
  EXPECT_EQ(printer.CoverOpen(), 0);
  EXPECT_EQ(printer.RecEmpty(), 0);
  EXPECT_EQ(printer.RecNearEnd(), 0);
}

// --- Printers that cannot answer -----------------------------------------------------

struct SilentCase {
  const char* name;  // the fault: a printer without answers refused every print (114/203)
  const wchar_t* portType;
  const wchar_t* model;
};

constexpr SilentCase kSilentCases[] = {
    // A FILE port with no answering stand-in: a write-only device such as /dev/usb/lp0.
    {"FilePortWithoutAnswers", L"FILE", L"TM-T88IV"},
    // A parallel printer that never answers GS r 1 stays unidirectional.
    {"ParallelPrinterThatNeverAnswers", L"LPT", L"KR-11"},
};

class SilentPrinter : public ::testing::TestWithParam<SilentCase> {};

TEST_P(SilentPrinter, PrintsAReceiptWhoseBytesArrive) {
  const SilentCase& c = GetParam();
  TempRegistry registry;
  ASSERT_TRUE(Library().Loaded()) << dlerror();
  ASSERT_EQ(Library().registerServer(), S_OK);
  const std::string output = registry.Folder() + "/printer.out";
  AddFilePrinter(L"Quiet", output, c.model);
  ASSERT_TRUE(TempRegistry::SetString(std::wstring(kPrinterRoot) + L"Quiet", L"PortType",
                                      c.portType));

  co::POSPrinter printer;
  ASSERT_EQ(printer.Open(L"Quiet"), OPOS_SUCCESS);
  EXPECT_EQ(printer.State(), OPOS_S_ERROR);  // paper counts as out until enabling tries
  ASSERT_EQ(printer.ClaimDevice(1000), OPOS_SUCCESS);
  printer.SetDeviceEnabled(true);
  ASSERT_TRUE(printer.DeviceEnabled());
  ExpectReadyToPrint(printer);
  EXPECT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"first line\nTotal 9.99\n"), OPOS_SUCCESS);
  EXPECT_EQ(printer.PrintImmediate(PTR_S_RECEIPT, L"immediate\n"), OPOS_SUCCESS);
  EXPECT_EQ(printer.CutPaper(100), OPOS_SUCCESS);
  printer.SetDeviceEnabled(false);
  EXPECT_EQ(printer.Close(), OPOS_SUCCESS);

  const std::string written = ReadFile(output);
  EXPECT_NE(written.find("first line\nTotal 9.99\n"), std::string::npos);
  EXPECT_NE(written.find("immediate\n"), std::string::npos);
  EXPECT_NE(written.find("\x1D\x56\x00", 0, 3), std::string::npos);  // GS V 0: the cut
}

INSTANTIATE_TEST_SUITE_P(Ports, SilentPrinter, ::testing::ValuesIn(kSilentCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- A printer on the virtual printer ----------------------------------------------------

class VirtualReceipt : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library().Loaded()) << dlerror();
    ASSERT_EQ(Library().registerServer(), S_OK);
    AddNetPrinter(L"Net", L"TM-T88IV");
  }
  void AddNetPrinter(const std::wstring& name, const std::wstring& model) {
    AddFilePrinter(name, registry_.Folder() + "/unused.out", model);
    const std::wstring key = std::wstring(kPrinterRoot) + name;
    TempRegistry::SetString(key, L"PortType", L"TCP/IP");
    TempRegistry::SetString(key, L"PortSettings",
                            L"127.0.0.1," + std::to_wstring(server_.Port()));
  }
  void OpenClaimEnable(co::POSPrinter& printer, const std::wstring& name = L"Net") {
    ASSERT_EQ(printer.Open(name), OPOS_SUCCESS);
    ASSERT_EQ(printer.ClaimDevice(1000), OPOS_SUCCESS);
    printer.SetDeviceEnabled(true);
    ASSERT_TRUE(printer.DeviceEnabled());
  }
  // Prints, cuts and waits until the printer has decoded the cut.
  void PrintAndCut(co::POSPrinter& printer, const std::wstring& data, bool immediate = false) {
    const int cuts = device_.CutCount();
    const LONG printed = immediate ? printer.PrintImmediate(PTR_S_RECEIPT, data)
                                   : printer.PrintNormal(PTR_S_RECEIPT, data);
    ASSERT_EQ(printed, OPOS_SUCCESS);
    ASSERT_EQ(printer.CutPaper(100), OPOS_SUCCESS);
    ASSERT_TRUE(device_.WaitForCuts(cuts + 1, 10s));
  }
  std::vector<int> ArgsOf(const char* op) const {
    std::vector<int> args;
    for (const sim::Command& command : device_.LogOf(op)) args.push_back(command.Arg(0));
    return args;
  }
  // The last Kanji mode switch before the first text command that holds `text`.
  std::string KanjiModeBefore(const std::string& text) const {
    std::string mode = "none";
    for (const sim::Command& command : device_.Log()) {
      if (command.op == "KanjiOn" || command.op == "KanjiOff") mode = command.op;
      if (command.op == "Text" &&
          std::string(command.data.begin(), command.data.end()).find(text) != std::string::npos)
        return mode;
    }
    return "text not found";
  }

  TempRegistry registry_;
  sim::VirtualPrinter device_;
  sim::TcpServer server_{device_, 0};
};

// --- Text that prints the wrong characters ------------------------------------------------

struct CodePageCase {
  const char* name;  // the fault pinned
  const wchar_t* model;  // whose character-set list holds the page
  LONG characterSet;
  const wchar_t* text;
  const char* bytes;  // what must reach the printer
  int table;          // ESC t n in force for those bytes
};

const CodePageCase kCodePageCases[] = {
    // 1252 and 1256 bytes went out under the 850/858/720/864 tables ("é€" printed "ÚÇ").
    {"Cp850NotConvertedWith1252", L"TM-T88IV", 850, L"\u00E9\u00C9", "\x82\x90", 2},
    {"Cp858NotConvertedWith1252", L"TM-T88IV", 858, L"\u00E9\u20AC", "\x82\xD5", 19},
    {"Cp720NotConvertedWith1256", L"TM-T88IV", 720, L"\u00E9", "\x82", 32},
    {"Cp864NotConvertedWith1256", L"TM-T88IV", 864, L"\u00B0", "\x80", 37},
    // The pseudo pages converted to nothing: PrintNormal printed no text and returned 0.
    {"AsciiPrintsSevenBitWithQuestionMarks", L"TM-T88IIM", PTR_CS_ASCII, L"A\u00E9", "A?", 0},
    {"AnsiPrintsInTheAnsiCodePage", L"TM-T88IIM", PTR_CS_ANSI, L"\u00E9\u20AC", "\xE9\x80", 16},
};

class CodePageText : public VirtualReceipt, public ::testing::WithParamInterface<CodePageCase> {};

TEST_P(CodePageText, BytesAreInTheTableThePrinterWasSwitchedTo) {
  const CodePageCase& c = GetParam();
  AddNetPrinter(L"Net", c.model);
  co::POSPrinter printer;
  OpenClaimEnable(printer);
  printer.SetCharacterSet(c.characterSet);
  ASSERT_EQ(printer.ResultCode(), OPOS_SUCCESS);
  for (const bool immediate : {false, true}) {
    SCOPED_TRACE(immediate ? "PrintImmediate" : "PrintNormal");
    device_.ClearLog();
    PrintAndCut(printer, std::wstring(L"<") + c.text + L">\n", immediate);
    const std::string expected = std::string("<") + c.bytes + ">";
    EXPECT_NE(device_.PrintedText().find(expected), std::string::npos) << device_.PrintedText();
    const std::vector<int> tables = ArgsOf("CodeTable");
    ASSERT_FALSE(tables.empty());
    EXPECT_EQ(tables.back(), c.table);
    EXPECT_EQ(KanjiModeBefore(expected), "KanjiOff");
  }
}

INSTANTIATE_TEST_SUITE_P(CharacterSets, CodePageText, ::testing::ValuesIn(kCodePageCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(VirtualReceipt, CharacterSetsThatCannotBeConvertedAreRefusedWhenSet) {
  // Listed for these models, but nothing converts to them: PrintNormal printed nothing.
  AddNetPrinter(L"Old", L"TM-T88IIM");
  co::POSPrinter printer;
  OpenClaimEnable(printer, L"Old");
  const LONG before = printer.CharacterSet();
  for (const LONG characterSet : {LONG{PTR_CS_UNICODE}, LONG{255}}) {
    SCOPED_TRACE(characterSet);
    ASSERT_NE(printer.CharacterSetList().find(std::to_wstring(characterSet)), std::wstring::npos);
    printer.SetCharacterSet(characterSet);
    EXPECT_EQ(printer.ResultCode(), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.CharacterSet(), before);
  }
}

TEST_F(VirtualReceipt, BinaryPrintImmediateGoesOutWithKanjiModeOff) {
  // FS & made binary bytes of 0x80 and above double-byte lead bytes.
  co::POSPrinter printer;
  OpenClaimEnable(printer);
  printer.SetBinaryConversion(OPOS_BC_DECIMAL);
  ASSERT_EQ(printer.ResultCode(), OPOS_SUCCESS);
  PrintAndCut(printer, L"060200201062010", true);  // "<", C8, C9, ">", LF
  EXPECT_NE(device_.PrintedText().find("<\xC8\xC9>"), std::string::npos);
  EXPECT_EQ(KanjiModeBefore("<\xC8\xC9>"), "KanjiOff");
}

TEST_F(VirtualReceipt, AnsiCodePageOutsideTheListFallsBackToASingleBytePage) {
  // With the ANSI code page 1251 a job got Kanji mode and the Chinese table.
  setenv("OPOS_ANSI_CODEPAGE", "1251", 1);
  co::POSPrinter printer;
  OpenClaimEnable(printer);
  unsetenv("OPOS_ANSI_CODEPAGE");
  EXPECT_EQ(printer.CharacterSet(), 437);  // the list's first single-byte page
  PrintAndCut(printer, L"<\u00E9>\n");
  EXPECT_NE(device_.PrintedText().find("<\x82>"), std::string::npos);
  EXPECT_EQ(ArgsOf("CodeTable").back(), 0);
  EXPECT_EQ(KanjiModeBefore("<\x82>"), "KanjiOff");
}

struct FontCase {
  const char* name;
  LONG recLineChars;
  int fontB;  // the font SelectFont chose for 512 dots: A is 12 dots wide, B 9
};

constexpr FontCase kFontCases[] = {
    {"Chars42FontA", 42, 0},               // 512 / 42 = 12
    {"Chars48FontBNotA", 48, 1},           // 10: the job printed font A, measured as B
    {"Chars56FontB", 56, 1},               // 9
    {"Chars64NothingFitsNarrowestB", 64, 1},
};

class FontRule : public VirtualReceipt, public ::testing::WithParamInterface<FontCase> {};

TEST_P(FontRule, EveryCommandOfTheJobUsesTheChosenFont) {
  const FontCase& c = GetParam();
  co::POSPrinter printer;
  OpenClaimEnable(printer);
  printer.SetRecLineChars(c.recLineChars);
  device_.ClearLog();
  // Bold switched on and never off: the call's reset goes back to the job's font.
  PrintAndCut(printer, L"\x1b|bCfull line\n\x1b|2fTsmall\n");
  const std::vector<int> fonts = ArgsOf("Font");  // ESC M, sent when the font changed
  if (c.recLineChars != 42) {
    ASSERT_FALSE(fonts.empty());
    EXPECT_EQ(fonts.back(), c.fontB);
  }
  const std::vector<sim::Command> modes = device_.LogOf("PrintMode");  // ESC !
  ASSERT_GE(modes.size(), 2u);
  EXPECT_EQ(modes.front().Arg(0) & 1, c.fontB);  // the job's opening
  EXPECT_EQ(modes.back().Arg(0) & 1, c.fontB);   // the reset at the call's end
}

INSTANTIATE_TEST_SUITE_P(LineChars, FontRule, ::testing::ValuesIn(kFontCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct SegmentCase {
  const char* name;
  const wchar_t* data;
  int position;  // ESC $ from the left of the 504-dot area GS W set
};

constexpr SegmentCase kSegmentCases[] = {
    // Placed against the 576-dot paper, the right segment started at 564.
    {"RightSegmentInsideTheArea", L"Total\x1b|rA9\n", 504 - 12},
    {"CentreSegmentInsideTheArea", L"Total\x1b|cA9\n", (504 - 12) / 2},
};

class NarrowedArea : public VirtualReceipt, public ::testing::WithParamInterface<SegmentCase> {};

TEST_P(NarrowedArea, SegmentsArePlacedInsideThePrintArea) {
  AddNetPrinter(L"Wide", L"KR-12");  // 576 dots
  co::POSPrinter printer;
  OpenClaimEnable(printer, L"Wide");
  printer.SetRecLineChars(42);  // font A: 42 * 12 = 504 dots
  ASSERT_EQ(printer.ResultCode(), OPOS_SUCCESS);
  device_.ClearLog();
  PrintAndCut(printer, GetParam().data);
  EXPECT_EQ(ArgsOf("PrintAreaWidth"), std::vector<int>{504});
  EXPECT_EQ(ArgsOf("AbsolutePosition"), std::vector<int>{GetParam().position});
}

INSTANTIATE_TEST_SUITE_P(Alignment, NarrowedArea, ::testing::ValuesIn(kSegmentCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Cutting through the receipt -----------------------------------------------------------

TEST_F(VirtualReceipt, EachPrinterFeedsItsOwnCutDistanceWhateverWasOpenedBefore) {
  // The feed was module-wide: 0 in a fresh process (the cutter went through the last
  // lines), and then whatever the last 80 mm model configured.
  struct Step {
    const wchar_t* model;
    int feed;  // dots fed by ESC J before GS V: (distance / 100) * 8
  };
  const Step steps[] = {{L"TM-T88IV", 168}, {L"ZQ-1B", 264}, {L"TM-T88IV", 168},
                        {L"NV-21", 272},    {L"ZQ-1C", 288}};
  for (const Step& step : steps) {
    SCOPED_TRACE(platform::ToUtf8(step.model));
    AddNetPrinter(L"Cutter", step.model);
    co::POSPrinter printer;
    OpenClaimEnable(printer, L"Cutter");
    device_.ClearLog();
    ASSERT_EQ(printer.CutPaper(100), OPOS_SUCCESS);
    ASSERT_TRUE(device_.WaitForOp("Cut", 10s));
    int fed = 0;
    for (const int dots : ArgsOf("FeedDots")) fed += dots;
    EXPECT_EQ(fed, step.feed);
    printer.SetDeviceEnabled(false);
    EXPECT_EQ(printer.Close(), OPOS_SUCCESS);
  }
}

// --- Sharing one printer between instances ----------------------------------------------

TEST_F(VirtualReceipt, OwnerIsFoundWhateverTheLetterCaseOfTheName) {
  // "Net" and "NET" name one registry key; they built two engines on one port.
  co::POSPrinter first, second;
  OpenClaimEnable(first, L"Net");
  const int connections = server_.ConnectionsAccepted();
  OpenClaimEnable(second, L"NET");
  EXPECT_EQ(server_.ConnectionsAccepted(), connections);  // no second engine, no probe
  PrintAndCut(second, L"through the second\n");
  EXPECT_NE(device_.PrintedText().find("through the second"), std::string::npos);
}

struct LateJoinCase {
  const char* name;
  bool paperOut;
  LONG printResult, extended;
};

constexpr LateJoinCase kLateJoinCases[] = {
    // The drawer-only status read never read paper: the open's "paper end" refused all.
    {"PaperPresentPrints", false, OPOS_SUCCESS, 0},
    {"PaperOutStillRefuses", true, OPOS_E_EXTENDED, OPOS_EPTR_REC_EMPTY},
};

class PrinterAfterDrawer : public VirtualReceipt,
                           public ::testing::WithParamInterface<LateJoinCase> {};

TEST_P(PrinterAfterDrawer, JoiningPrinterReadsThePaper) {
  const LateJoinCase& c = GetParam();
  device_.SetPaperEnd(c.paperOut);
  AddDrawer(L"Till", L"Net");
  co::CashDrawer drawer;
  ASSERT_EQ(drawer.Open(L"Till"), OPOS_SUCCESS);  // the drawer owns the engine
  ASSERT_EQ(drawer.ClaimDevice(1000), OPOS_SUCCESS);
  drawer.SetDeviceEnabled(true);
  ASSERT_TRUE(drawer.DeviceEnabled());

  co::POSPrinter printer;
  OpenClaimEnable(printer);
  EXPECT_EQ(printer.RecEmpty(), c.paperOut ? 1 : 0);
  EXPECT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"after the drawer\n"), c.printResult);
  EXPECT_EQ(printer.ResultCodeExtended(), c.extended);
  printer.SetDeviceEnabled(false);
  EXPECT_EQ(printer.Close(), OPOS_SUCCESS);
  drawer.SetDeviceEnabled(false);
  EXPECT_EQ(drawer.Close(), OPOS_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Paper, PrinterAfterDrawer, ::testing::ValuesIn(kLateJoinCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(VirtualReceipt, EachInstanceAnswersForItsOwnCalls) {
  // Attached instances read the owner's (or a stale) result; the owner's Claimed and
  // DeviceEnabled followed the engine rather than its own requests.
  device_.SetPaperEnd(true);
  co::POSPrinter owner, attached;
  ASSERT_EQ(owner.Open(L"Net"), OPOS_SUCCESS);
  ASSERT_EQ(attached.Open(L"Net"), OPOS_SUCCESS);
  ASSERT_EQ(attached.ClaimDevice(1000), OPOS_SUCCESS);
  attached.SetDeviceEnabled(true);
  ASSERT_TRUE(attached.DeviceEnabled());

  struct Step {
    const char* what;
    std::function<void()> act;
    LONG ownerClaimed, ownerEnabled, ownerResult, ownerExtended;
    LONG attachedResult, attachedExtended;
  };
  const Step steps[] = {
      // The owner never claimed; the engine is claimed and enabled for the attached one.
      {"owner prints unclaimed", [&] { owner.PrintNormal(PTR_S_RECEIPT, L"x\n"); }, 0, 0,
       OPOS_E_NOTCLAIMED, 0, OPOS_SUCCESS, 0},
      {"attached prints on empty paper", [&] { attached.PrintNormal(PTR_S_RECEIPT, L"x\n"); },
       0, 0, OPOS_E_NOTCLAIMED, 0, OPOS_E_EXTENDED, OPOS_EPTR_REC_EMPTY},
      {"owner asks for 80 characters a line", [&] { owner.SetRecLineChars(80); }, 0, 0,
       OPOS_E_EXTENDED, 300, OPOS_E_EXTENDED, OPOS_EPTR_REC_EMPTY},
      {"attached asks for 42", [&] { attached.SetRecLineChars(42); }, 0, 0, OPOS_E_EXTENDED,
       300, OPOS_SUCCESS, 0},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    EXPECT_EQ(owner.Claimed() ? 1 : 0, step.ownerClaimed);
    EXPECT_EQ(owner.DeviceEnabled() ? 1 : 0, step.ownerEnabled);
    EXPECT_EQ(owner.ResultCode(), step.ownerResult);
    EXPECT_EQ(owner.ResultCodeExtended(), step.ownerExtended);
    EXPECT_TRUE(attached.Claimed());
    EXPECT_TRUE(attached.DeviceEnabled());
    EXPECT_EQ(attached.ResultCode(), step.attachedResult);
    EXPECT_EQ(attached.ResultCodeExtended(), step.attachedExtended);
  }
  attached.SetDeviceEnabled(false);
  EXPECT_EQ(attached.Close(), OPOS_SUCCESS);
  EXPECT_EQ(owner.Close(), OPOS_SUCCESS);
}

}  // namespace
}  // namespace zanth::test

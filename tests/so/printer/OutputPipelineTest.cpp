// The output methods end to end inside the engine: print data in, the blocks the port
// receives out, byte for byte, with the ESC/POS builder and a scripted port.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CmdHelperBase.h"
#include "OposConstants.h"
#include "PrinterBuffer.h"
#include "TestEngine.h"

namespace {

using zanth::test::FakePort;
using zanth::test::RecordingEvents;
using zanth::test::TestEngine;
using Bytes = std::vector<BYTE>;

std::string Hex(const Bytes& bytes) {
  std::string text;
  char cell[4];
  for (BYTE b : bytes) {
    std::snprintf(cell, sizeof cell, "%02X ", b);
    text += cell;
  }
  return text;
}

::testing::AssertionResult SameBytes(const Bytes& actual, const Bytes& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << "first difference at offset " << at
                                       << "\n  actual:   " << Hex(actual)
                                       << "\n  expected: " << Hex(expected);
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// FS . (double-byte mode off), ESC t table, ESC R 0: a single-byte code page.
Bytes CodePage(BYTE table) { return {0x1C, 0x2E, 0x1B, 0x74, table, 0x1B, 0x52, 0x00}; }
const Bytes kCodePage437 = CodePage(0);
const Bytes kCodePage858 = CodePage(19);
const Bytes kCodePage1252 = CodePage(16);

// The block that opens every job.
// Line spacing 36: 1.5 x the 24-dot cell of font A, as every open leaves it.
Bytes Opening(bool fontB = false, BYTE lineSpacing = 36) {
  return {
      0x1B, 0x3D, 0x01,              // ESC = 1: the printer is the selected peripheral
      0x1B, 0x61, 0x00,              // ESC a 0: left justification
      0x1D, 0x4C, 0x00, 0x00,        // GS L 0: no left margin
      0x1B, 0x7B, 0x00,              // ESC { 0: upside-down off
      0x1B, 0x21, BYTE(fontB),       // ESC ! n: print mode, font B only at 64 chars
      0x1D, 0x62, 0x00,              // GS b 0: smoothing off (RecLetterQuality 0)
      0x1B, 0x33, lineSpacing,       // ESC 3 n: line spacing in vertical dots
  };
}

const Bytes kModeOff = {0x1B, 0x21, 0x00};      // ESC ! 0
const Bytes kJustifyLeft = {0x1B, 0x61, 0x00};  // ESC a 0
const Bytes kNoMargin = {0x1D, 0x4C, 0x00, 0x00};
const Bytes kSizeNormal = {0x1D, 0x21, 0x00};   // GS ! 0

Bytes FeedDots(BYTE dots) { return {0x1B, 0x4A, dots}; }  // ESC J n
const Bytes kFullCut = {0x1D, 0x56, 0x00};                // GS V 0
const Bytes kPartialCut = {0x1D, 0x56, 0x01};             // GS V 1

class PipelineEngine : public TestEngine {
 public:
  void SetPapercut(int on) { SetCapability(PIDXPtr_CapRecPapercut, on); }
  void SetCover(int open) { lastStatus_.coverOpen = open; }
  void SetPaperEnd(int end) { lastStatus_.paperEnd = end; }
  void SetAsync(int on) { asyncMode_ = on; }
  int InTransaction() const { return transaction_; }
  LONG RecLineChars() const { return recLineChars_; }
  LONG RecLineWidth() const { return recLineWidth_; }
  int CurrentFont() const { return currentFont_; }
  Bytes TransactionBytes() const {
    return Bytes(transactionBuffer_.Data(), transactionBuffer_.Data() + transactionBuffer_.Size());
  }
};

// Answers the status reads of the claim: on-line, cover closed, paper present.
Bytes HealthyPrinter(const Bytes& request) {
  if (request.size() != 3) return {};
  if (request[0] == 0x10 && request[1] == 0x04) return {0x12};  // DLE EOT n
  if (request[0] == 0x1D && request[1] == 0x72) return {0x00};  // GS r n
  return {};
}

class Pipeline : public ::testing::Test {
 protected:
  void SetUp() override {
    engine.SetCutFeedDistance(2100);  // 21 whole mm: 168 dots before every cut
    port = std::make_shared<FakePort>();
    port->SetResponder(HealthyPrinter);
    engine.UsePort(port);
    engine.SetPapercut(1);
    LONG result = -1;
    ASSERT_EQ(engine.OpenServiceW(L"printer", &events, &result), 0);
    ASSERT_EQ(result, 0);
    engine.ClaimDevice(1000, &result);
    ASSERT_EQ(result, 0);
    engine.SetLastStatus({});  // a printer ready to print, whatever the claim read
    port->ClearWritten();
  }

  LONG Print(const std::wstring& data) {
    LONG result = -1;
    EXPECT_EQ(engine.PrintNormal(PTR_S_RECEIPT, data, &result), 0);
    EXPECT_EQ(result, engine.GetResultCode());  // the out argument mirrors ResultCode
    return result;
  }
  LONG Set(LONG index, LONG value) {
    LONG result = -1;
    engine.SetPropertyNumber(index, value, &result);
    return result;
  }
  LONG Get(LONG index) {
    LONG value = -1;
    engine.GetPropertyNumber(index, &value);
    return value;
  }
  Bytes OnlyBlock() {
    const auto blocks = port->Blocks();
    EXPECT_EQ(blocks.size(), 1u);
    return blocks.empty() ? Bytes{} : blocks.back();
  }

  RecordingEvents events;
  std::shared_ptr<FakePort> port;
  // Declared last, so it goes first: its worker may still call the members above.
  PipelineEngine engine;
};

// --- The job-opening block and pending settings -----------------------------------------

TEST_F(Pipeline, EmptyDataStillSendsTheOpeningBlockWithThePendingCodePageInFront) {
  EXPECT_EQ(Print(L""), 0);
  EXPECT_TRUE(SameBytes(OnlyBlock(), Cat({kCodePage437, Opening()})));
}

TEST_F(Pipeline, PendingSettingsGoOutOnceInFrontOfTheNextJob) {
  ASSERT_EQ(Set(PIDXPtr_RecLineChars, 64), 0);  // font B: 9 x 17, spacing 21
  EXPECT_EQ(Print(L"x"), 0);
  const Bytes pending = Cat({
      kCodePage437,                // the opening block's code page
      {0x1B, 0x4D, 0x01},          // ESC M 1: font B for 64 characters
      {0x1B, 0x33, 21},            // ESC 3 21: the new line spacing
      {0x1D, 0x57, 0x40, 0x02},    // GS W 576: print area width
  });
  EXPECT_TRUE(SameBytes(OnlyBlock(), Cat({pending, Opening(true, 21), Text("x")})));

  port->ClearWritten();
  EXPECT_EQ(Print(L"y"), 0);  // the flags were cleared: only the code page again
  EXPECT_TRUE(SameBytes(OnlyBlock(), Cat({kCodePage437, Opening(true, 21), Text("y")})));
}

// --- Text conversion ----------------------------------------------------------------------

struct ConversionCase {
  const char* name;
  LONG binaryConversion;
  LONG characterSet;
  std::wstring input;
  Bytes expected;
};

void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.name; }

const ConversionCase kConversions[] = {
    {"Nibble41", OPOS_BC_NIBBLE, 437, L"41", {0x41}},
    // The second character is taken minus 0x30: ':' is 0x3A, so the low nibble is A.
    {"NibbleColonIsA", OPOS_BC_NIBBLE, 437, L"4:", {0x4A}},
    {"NibbleOddLastDropped", OPOS_BC_NIBBLE, 437, L"41424", {0x41, 0x42}},
    {"NibbleStopsAtZero", OPOS_BC_NIBBLE, 437, std::wstring(L"41\0" L"42", 5), {0x41}},
    {"Decimal065066", OPOS_BC_DECIMAL, 437, L"065066", {0x41, 0x42}},
    {"DecimalEscReadsAsZero", OPOS_BC_DECIMAL, 437, L"\x1b" L"66", {0x42}},
    {"DecimalBackspaceReadsAsZero", OPOS_BC_DECIMAL, 437, L"\x08" L"67", {0x43}},
    {"DecimalKeepsLowEightBits", OPOS_BC_DECIMAL, 437, L"256999", {0x00, 0xE7}},
    {"DecimalShortGroupDropped", OPOS_BC_DECIMAL, 437, L"06506", {0x41}},
    {"DecimalLeadingDigitsOnly", OPOS_BC_DECIMAL, 437, L"7x9", {0x07}},
    {"NoneStopsAtZero", OPOS_BC_NONE, 437, std::wstring(L"ab\0cd", 5), {'a', 'b'}},
    // Each page converts with itself, the table the job selects: 1252 and 1256 bytes
    // under ESC t 2, 19, 32 or 37 printed other letters.
    {"Cs858ConvertsWith858", OPOS_BC_NONE, 858, L"\u20AC\u00E9", {0xD5, 0x82}},
    {"Cs850ConvertsWith850", OPOS_BC_NONE, 850, L"\u00E9", {0x82}},
    {"Cs998SevenBitWithQuestionMarks", OPOS_BC_NONE, 998, L"A\u00E9", {'A', '?'}},
    {"Cs999AnsiCodePage", OPOS_BC_NONE, 999, L"\u00E9\u20AC", {0xE9, 0x80}},  // 1252
    {"Cs437", OPOS_BC_NONE, 437, L"\u00E9", {0x82}},
};

class Conversion : public Pipeline, public ::testing::WithParamInterface<ConversionCase> {};

TEST_P(Conversion, AppendsTheExpectedBytes) {
  const ConversionCase& c = GetParam();
  ASSERT_EQ(Set(PIDX_BinaryConversion, c.binaryConversion), 0);
  ASSERT_EQ(Set(PIDXPtr_CharacterSet, c.characterSet), 0);
  PrinterBuffer target(32, 32);
  engine.DataBinaryConversion(target, c.input);
  EXPECT_TRUE(SameBytes(Bytes(target.Data(), target.Data() + target.Size()), c.expected));
}

INSTANTIATE_TEST_SUITE_P(Examples, Conversion, ::testing::ValuesIn(kConversions),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Pipeline, BStr2CharReportsTheTableCodePageOnlyWithoutBinaryConversion) {
  std::string bytes;
  UINT page = 7;
  ASSERT_EQ(Set(PIDXPtr_CharacterSet, 858), 0);
  EXPECT_EQ(engine.BStr2Char(L"ab", bytes, &page), 2);
  EXPECT_EQ(page, 858u);  // converted with 858 itself, the table the job selects
  ASSERT_EQ(Set(PIDX_BinaryConversion, OPOS_BC_NIBBLE), 0);
  page = 7;
  engine.BStr2Char(L"ab", bytes, &page);
  EXPECT_EQ(page, 7u);  // nothing reported
}

TEST_F(Pipeline, NibbleDataPrintsAsItsBytes) {
  ASSERT_EQ(Set(PIDX_BinaryConversion, OPOS_BC_NIBBLE), 0);
  EXPECT_EQ(Print(L"41420:"), 0);  // "AB" and a line feed
  EXPECT_TRUE(SameBytes(OnlyBlock(), Cat({kCodePage437, Opening(), Text("AB\n")})));
}

TEST_F(Pipeline, PrintImmediateWith858ConvertsWith858AndSelectsItsTable) {
  ASSERT_EQ(Set(PIDXPtr_CharacterSet, 858), 0);
  LONG result = -1;
  EXPECT_EQ(engine.PrintImmediate(PTR_S_RECEIPT, L"\u20AC5", &result), 0);
  EXPECT_EQ(result, 0);
  const Bytes expected = Cat({
      kCodePage858,        // opening block's CharacterSet, in the pending settings
      kCodePage858,        // the CharacterSet change itself, also pending
      Opening(),           // the job
      kCodePage858,        // the table of the code page the text was converted with
      {0xD5, '5'},         // the euro sign in 858
  });
  EXPECT_TRUE(SameBytes(OnlyBlock(), expected));
}

TEST_F(Pipeline, PrintImmediateUnderBinaryConversionSendsWithKanjiModeOff) {
  ASSERT_EQ(Set(PIDX_BinaryConversion, OPOS_BC_DECIMAL), 0);
  LONG result = -1;
  EXPECT_EQ(engine.PrintImmediate(PTR_S_RECEIPT, L"065", &result), 0);
  // Binary bytes stay single bytes: FS . and the CharacterSet's table from the opening.
  const Bytes kanjiOff = {0x1C, 0x2E};
  EXPECT_TRUE(SameBytes(OnlyBlock(), Cat({kCodePage437, Opening(), kanjiOff, Text("A")})));
}

// --- Transactions -------------------------------------------------------------------------

TEST_F(Pipeline, TransactionOpenedTwiceKeepsOneAndPrintsOnce) {
  LONG result = -1;
  EXPECT_EQ(engine.TransactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION, &result), 0);
  EXPECT_EQ(Print(L"one\n"), 0);
  engine.TransactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION, &result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Print(L"two\n"), 0);
  EXPECT_TRUE(port->Blocks().empty());  // nothing goes out inside the transaction
  engine.TransactionPrint(PTR_S_RECEIPT, PTR_TP_NORMAL, &result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(engine.InTransaction(), 0);
  const Bytes formatReset = Cat({kJustifyLeft, kNoMargin, kModeOff});
  EXPECT_TRUE(SameBytes(OnlyBlock(), Cat({kCodePage437, Opening(), formatReset, Text("one\n"),
                                          formatReset, Text("two\n")})));
}

TEST_F(Pipeline, ClosingWithoutTransactionSucceedsAndSendsNothing) {
  LONG result = -1;
  EXPECT_EQ(engine.TransactionPrint(PTR_S_RECEIPT, PTR_TP_NORMAL, &result), 0);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(engine.GetResultCode(), 0);
  EXPECT_TRUE(port->Blocks().empty());
}

TEST_F(Pipeline, OtherControlValueClosesWithoutPrintingAndTheNextOpeningStartsClean) {
  LONG result = -1;
  engine.TransactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION, &result);
  Print(L"dropped");
  engine.TransactionPrint(PTR_S_RECEIPT, 99, &result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(engine.InTransaction(), 0);
  EXPECT_TRUE(port->Blocks().empty());
  engine.TransactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION, &result);
  engine.TransactionPrint(PTR_S_RECEIPT, PTR_TP_NORMAL, &result);
  // Both openings queued their code page in the pending settings; the dropped text is gone.
  EXPECT_TRUE(SameBytes(OnlyBlock(), Cat({kCodePage437, kCodePage437, Opening()})));
}

TEST_F(Pipeline, TransactionOnAnotherStationIsExtended300) {
  LONG result = -1;
  engine.TransactionPrint(PTR_S_JOURNAL, PTR_TP_TRANSACTION, &result);
  EXPECT_EQ(result, OPOS_E_EXTENDED);
  EXPECT_EQ(engine.GetResultCodeExtended(), 300);
  EXPECT_EQ(engine.InTransaction(), 0);
}

TEST_F(Pipeline, CutInsideATransactionWaitsForTheClose) {
  LONG result = -1;
  engine.TransactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION, &result);
  engine.CutPaper(100, &result);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(port->Blocks().empty());
  engine.TransactionPrint(PTR_S_RECEIPT, PTR_TP_NORMAL, &result);
  EXPECT_TRUE(SameBytes(OnlyBlock(), Cat({kCodePage437, Opening(), FeedDots(168), kFullCut})));
}

// --- CutPaper -----------------------------------------------------------------------------

struct CutCase {
  LONG percentage;
  LONG result;
  Bytes written;  // empty: nothing reaches the port
};

class Cut : public Pipeline, public ::testing::WithParamInterface<CutCase> {};

TEST_P(Cut, PercentageChoosesTheCut) {
  const CutCase& c = GetParam();
  LONG result = -1;
  EXPECT_EQ(engine.CutPaper(c.percentage, &result), 0);
  EXPECT_EQ(result, c.result);
  const auto blocks = port->Blocks();
  if (c.written.empty()) {
    EXPECT_TRUE(blocks.empty());
  } else {
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_TRUE(SameBytes(blocks[0], c.written));
  }
}

// Every cut first feeds the cutter distance: 2100 / 100 mm x 8 dots = 168 dots.
INSTANTIATE_TEST_SUITE_P(
    Percentages, Cut,
    ::testing::Values(CutCase{0, OPOS_E_ILLEGAL, {}}, CutCase{101, OPOS_E_ILLEGAL, {}},
                      CutCase{-5, OPOS_E_ILLEGAL, {}},
                      CutCase{100, 0, Cat({FeedDots(168), kFullCut})},
                      CutCase{1, 0, Cat({FeedDots(168), kPartialCut})},
                      CutCase{50, 0, Cat({FeedDots(168), kPartialCut})},
                      CutCase{99, 0, Cat({FeedDots(168), kPartialCut})}));

TEST_F(Pipeline, CutWithoutCutterIsIllegal) {
  engine.SetPapercut(0);
  LONG result = -1;
  engine.CutPaper(100, &result);
  EXPECT_EQ(result, OPOS_E_ILLEGAL);
  EXPECT_TRUE(port->Blocks().empty());
}

// --- Status rule --------------------------------------------------------------------------

struct StatusCase {
  const char* name;
  int coverOpen, paperEnd;
  LONG extended;
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class StatusRule : public Pipeline, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusRule, RefusesSynchronousOutputWithTheReason) {
  const StatusCase& c = GetParam();
  engine.SetCover(c.coverOpen);
  engine.SetPaperEnd(c.paperEnd);
  LONG result = -1;
  engine.PrintNormal(PTR_S_RECEIPT, L"text\n", &result);
  EXPECT_EQ(result, OPOS_E_EXTENDED);
  EXPECT_EQ(engine.GetResultCodeExtended(), c.extended);
  result = -1;
  engine.PrintImmediate(PTR_S_RECEIPT, L"text\n", &result);
  EXPECT_EQ(result, OPOS_E_EXTENDED);
  EXPECT_EQ(engine.GetResultCodeExtended(), c.extended);
  result = -1;
  engine.CutPaper(100, &result);
  EXPECT_EQ(result, OPOS_E_EXTENDED);
  EXPECT_EQ(engine.GetResultCodeExtended(), c.extended);
  EXPECT_TRUE(port->Blocks().empty());
}

INSTANTIATE_TEST_SUITE_P(Conditions, StatusRule,
                         ::testing::Values(StatusCase{"CoverOpen", 1, 0, OPOS_EPTR_COVER_OPEN},
                                           StatusCase{"PaperEmpty", 0, 1, OPOS_EPTR_REC_EMPTY},
                                           StatusCase{"CoverWins", 1, 1, OPOS_EPTR_COVER_OPEN}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Pipeline, ResultsClearTheExtendedCodeAfterAFailure) {
  engine.SetCover(1);
  Print(L"x");
  engine.SetCover(0);
  EXPECT_EQ(Print(L"x"), 0);
  EXPECT_EQ(engine.GetResultCodeExtended(), 0);
}

// --- Other methods --------------------------------------------------------------------------

TEST_F(Pipeline, PrintTwoNormalIsExtended300) {
  LONG result = -1;
  engine.PrintTwoNormal(PTR_S_RECEIPT, L"a", L"b", &result);
  EXPECT_EQ(result, OPOS_E_EXTENDED);
  EXPECT_EQ(engine.GetResultCodeExtended(), 300);
}

TEST_F(Pipeline, ValidateDataReportsOnlyThroughItsOutArgument) {
  Print(L"x");  // ResultCode 0
  LONG result = -1;
  engine.ValidateData(PTR_S_RECEIPT, L"\x1b|X", &result);
  EXPECT_EQ(result, OPOS_E_FAILURE);
  engine.ValidateData(PTR_S_JOURNAL, L"x", &result);
  EXPECT_EQ(result, OPOS_E_EXTENDED);
  EXPECT_EQ(engine.GetResultCode(), 0);
  EXPECT_EQ(port->Blocks().size(), 1u);  // validation sends nothing
}

TEST_F(Pipeline, OutputIdWrapsToOneSoTheJobAfterGetsTwo) {
  Tesk::Printer::CPrinterBase::SetOutputIdCounter(2147483644);
  EXPECT_EQ(Tesk::Printer::CPrinterBase::NextOutputId(), 2147483645);
  EXPECT_EQ(Tesk::Printer::CPrinterBase::NextOutputId(), 1);
  EXPECT_EQ(Tesk::Printer::CPrinterBase::CurrentOutputId(), 1);
  EXPECT_EQ(Tesk::Printer::CPrinterBase::NextOutputId(), 2);
  Tesk::Printer::CPrinterBase::ResetOutputId();
  EXPECT_EQ(Tesk::Printer::CPrinterBase::NextOutputId(), 1);
  Tesk::Printer::CPrinterBase::ResetOutputId();
}

// --- Receipt metrics ------------------------------------------------------------------------

struct LineCharsCase {
  LONG chars;
  LONG result, extended;
  LONG lineChars, lineWidth;
  int font;
};

class LineChars : public Pipeline, public ::testing::WithParamInterface<LineCharsCase> {};

TEST_P(LineChars, ChoosesFontAndWidth) {
  const LineCharsCase& c = GetParam();
  EXPECT_EQ(Set(PIDXPtr_RecLineChars, c.chars), c.result);
  EXPECT_EQ(engine.GetResultCodeExtended(), c.extended);
  EXPECT_EQ(engine.RecLineChars(), c.lineChars);
  EXPECT_EQ(engine.RecLineWidth(), c.lineWidth);
  EXPECT_EQ(Get(PIDXPtr_RecLineWidth), c.lineWidth);  // MapMode dots
  EXPECT_EQ(engine.CurrentFont(), c.font);
}

// 576-dot line; font A 12 dots wide, font B 9.
INSTANTIATE_TEST_SUITE_P(
    Examples, LineChars,
    ::testing::Values(LineCharsCase{40, 0, 0, 40, 480, 0},   // 576/40 = 14: A fits
                      LineCharsCase{48, 0, 0, 48, 576, 0},
                      LineCharsCase{1, 0, 0, 1, 12, 0},      // one cell of the widest font
                      LineCharsCase{50, 0, 0, 50, 450, 1},   // 576/50 = 11: only B fits
                      LineCharsCase{64, 0, 0, 64, 576, 1},
                      LineCharsCase{70, OPOS_E_EXTENDED, 300, 64, 576, 1}));

TEST_F(Pipeline, LineCharsWithoutAnyCharacterIsRefused) {
  EXPECT_EQ(Set(PIDXPtr_RecLineChars, 0), OPOS_E_ILLEGAL);
  EXPECT_EQ(Set(PIDXPtr_RecLineChars, -3), OPOS_E_ILLEGAL);
  EXPECT_EQ(engine.RecLineChars(), 48);
}

// --- Alignment and the resets at the end of every call ---------------------------------------

TEST_F(Pipeline, RightAlignmentSplitsTheLineIntoTwoSegments) {
  EXPECT_EQ(Print(L"Left\x1b|rARight\n"), 0);
  // "Right" is 5 x 12 = 60 dots wide, so its segment starts at 576 - 60 = 516.
  const Bytes secondSegment = {0x1B, 0x24, 0x04, 0x02};  // ESC $ 516
  EXPECT_TRUE(SameBytes(OnlyBlock(), Cat({kCodePage437, Opening(), Text("Left"), secondSegment,
                                          Text("Right\n")})));
}

TEST_F(Pipeline, AttributesNeverCarryIntoTheNextCall) {
  EXPECT_EQ(Print(L"\x1b|cA\x1b|bC\x1b|2CTitle"), 0);
  const Bytes first = Cat({
      kCodePage437, Opening(),
      {0x1B, 0x61, 0x01},  // ESC a 1: centred
      {0x1B, 0x45, 0x01},  // ESC E 1: bold
      {0x1D, 0x21, 0x10},  // GS ! 0x10: double width
      Text("Title"),
      kModeOff,            // the resets, in order: print mode,
      kJustifyLeft,        // justification,
      kSizeNormal,         // size
  });
  EXPECT_TRUE(SameBytes(OnlyBlock(), first));
  port->ClearWritten();
  EXPECT_EQ(Print(L"plain"), 0);
  EXPECT_TRUE(SameBytes(OnlyBlock(), Cat({kCodePage437, Opening(), Text("plain")})));
}

// --- Send and DirectSend -------------------------------------------------------------------

TEST_F(Pipeline, EmptyBlockIsNotAFailure) {
  PrinterBuffer empty(32, 32);
  EXPECT_EQ(engine.DirectSend(empty, false, 7), 0);
  EXPECT_EQ(engine.Send(empty, false), 0);
  EXPECT_TRUE(port->Blocks().empty());
}

TEST_F(Pipeline, FailedWriteIsNoHardware) {
  port->SetWriteFails(true);
  EXPECT_EQ(Print(L"x"), OPOS_E_NOHARDWARE);
  PrinterBuffer block(32, 32);
  block.Append('x');
  EXPECT_EQ(engine.DirectSend(block, false, 7), OPOS_E_NOHARDWARE);
}

// --- Bad input -------------------------------------------------------------------------------

TEST_F(Pipeline, EveryCharacterValueIsPrintedWithoutHarm) {
  ASSERT_EQ(Set(PIDXPtr_CharacterSet, 1252), 0);
  std::wstring all;
  for (wchar_t c = 1; c <= 0xFF; ++c) all += c;
  all += L"\uFFFD\u4E00\U0001F600\uFFFF";
  all += wchar_t(0);  // ends the text; nothing after it is printed
  all += L"after";
  EXPECT_EQ(Print(all), 0);
  const Bytes block = OnlyBlock();
  const std::string text(block.begin(), block.end());
  EXPECT_EQ(text.find("after"), std::string::npos);
  // Plain letters arrive as themselves, and 1252's e-acute as its byte.
  EXPECT_NE(text.find("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos);
  EXPECT_NE(text.find('\xE9'), std::string::npos);
  // The same data again: the call leaves nothing behind that breaks the next one.
  port->ClearWritten();
  EXPECT_EQ(Print(L"ok"), 0);
  EXPECT_TRUE(SameBytes(OnlyBlock(), Cat({CodePage(16), Opening(), Text("ok")})));
}

struct BadCase {
  const char* name;
  std::wstring data;
  std::string tail;       // what the job starts with after the opening block
  std::string printed;    // text that must still be printed after the bad sequence
};

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }

const BadCase kBadCases[] = {
    // Unterminated sequences are text: copied unchanged.
    {"EscBarAtEnd", L"a\x1b|", "a\x1b|", ""},
    {"EscAtEnd", L"a\x1b", "a\x1b", ""},
    {"NumberWithoutCommand", L"\x1b|12", "\x1b|12", ""},
    {"LettersWithoutCommand", L"\x1b|12ab", "\x1b|12ab", ""},
    {"LengthWithoutData", L"\x1b|*5R", "\x1b|*5R", ""},
    {"LowercaseCommand", L"\x1b|5x after", "\x1b|5x after", ""},
    // Numbers beyond 32 bits: no crash, and the text behind still prints.
    {"HugeFeed", L"\x1b|99999999999999999999lFnext", "", "next"},
    {"HugeSize", L"\x1b|99999999999999999999hCnext", "", "next"},
    {"HugeDataLength", L"\x1b|*99999999999999999999E", "", ""},
    {"HugeCut", L"\x1b|99999999999999999999Pnext", "\x1b|99999999999999999999Pnext", "next"},
    {"ManyDots", L"\x1b|1.2.3.4.5.6.7.8.9.0lFnext", "", "next"},
};

class BadInput : public Pipeline, public ::testing::WithParamInterface<BadCase> {};

TEST_P(BadInput, PrintsSafely) {
  const BadCase& c = GetParam();
  EXPECT_EQ(Print(c.data), 0);
  const Bytes block = OnlyBlock();
  const Bytes head = Cat({kCodePage437, Opening()});
  ASSERT_GE(block.size(), head.size());
  EXPECT_TRUE(SameBytes(Bytes(block.begin(), block.begin() + long(head.size())), head));
  const std::string tail(block.begin() + long(head.size()), block.end());
  // Only the start is fixed; the translator may add its resets behind.
  EXPECT_EQ(tail.substr(0, c.tail.size()), c.tail) << Hex(Bytes(tail.begin(), tail.end()));
  EXPECT_NE(tail.find(c.printed), std::string::npos) << Hex(Bytes(tail.begin(), tail.end()));
}

INSTANTIATE_TEST_SUITE_P(Sequences, BadInput, ::testing::ValuesIn(kBadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Pipeline, SeveralMegabytesGoOutAsOneBlock) {
  std::wstring line(47, L'A');
  line += L'\n';
  std::wstring data;
  data.reserve(3u << 20);
  while (data.size() < (3u << 20)) data += line;
  EXPECT_EQ(Print(data), 0);
  const Bytes block = OnlyBlock();
  EXPECT_EQ(block.size(), kCodePage437.size() + Opening().size() + data.size());
}

}  // namespace

// Status decoders, status-change detection, barcode sizing, buzzer tones, the cut feed
// and the composite operations of the ESC/POS builder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CmdHelperBase.h"
#include "OposConstants.h"
#include "so/cmd/ByteMatch.h"

using Tesk::Printer::ICmdHelper;
using Tesk::Printer::tagPrinterStatus;
using zanth_test::Bytes;
using zanth_test::BytesEqual;

namespace {

// A record whose every member holds a marker, to see which members a decoder wrote.
constexpr LONG kUntouched = 0x5A5A;

tagPrinterStatus MarkedStatus() {
  tagPrinterStatus s;
  s.drawer = s.drawerOpen = s.offline = s.coverOpen = s.nearEnd = s.paperEnd = kUntouched;
  return s;
}

enum class Decoder { Auto, Printer, Offline, Paper, PaperSensor };

struct DecodeCase {
  const char* name;
  Decoder decoder;
  Bytes reply;  // one byte, or four for an automatic status block
  int valid;
  tagPrinterStatus expected;  // members the decoder must not write stay kUntouched
};

tagPrinterStatus Status(LONG drawer, LONG offline, LONG cover, LONG nearEnd, LONG paperEnd) {
  tagPrinterStatus s = MarkedStatus();
  s.drawer = drawer;
  s.offline = offline;
  s.coverOpen = cover;
  s.nearEnd = nearEnd;
  s.paperEnd = paperEnd;
  return s;
}

constexpr LONG U = kUntouched;

const DecodeCase kDecodeCases[] = {
    // ASB: b0 0xx1 0xx0 fixed; drawer 04, off-line 08, cover 20; b2 near end 03, end 0C.
    {"AsbDrawerOnline", Decoder::Auto, {0x14, 0x00, 0x00, 0x00}, 1, Status(0x04, 0, 0, 0, 0)},
    {"AsbOffline", Decoder::Auto, {0x18, 0x00, 0x00, 0x00}, 1, Status(0, 0x08, 0, 0, 0)},
    {"AsbCoverPaperOut", Decoder::Auto, {0x30, 0x00, 0x0F, 0x00}, 1, Status(0, 0, 0x20, 1, 1)},
    {"AsbHalfNearEndIsNotNearEnd",
     Decoder::Auto,
     {0x10, 0x00, 0x01, 0x00},
     1,
     Status(0, 0, 0, 0, 0)},
    {"AsbHalfPaperEndIsNotPaperEnd",
     Decoder::Auto,
     {0x10, 0x00, 0x04, 0x00},
     1,
     Status(0, 0, 0, 0, 0)},
    {"AsbFirstByte12Invalid", Decoder::Auto, {0x12, 0x00, 0x00, 0x00}, 0, MarkedStatus()},
    {"AsbFirstByteBit7Invalid", Decoder::Auto, {0x90, 0x00, 0x00, 0x00}, 0, MarkedStatus()},
    {"AsbByte1Bit4Invalid", Decoder::Auto, {0x10, 0x10, 0x00, 0x00}, 0, MarkedStatus()},
    {"AsbByte3Bit7Invalid", Decoder::Auto, {0x10, 0x00, 0x00, 0x80}, 0, MarkedStatus()},
    // DLE EOT 1: 0xx1 xx10.
    {"PrinterDrawerOnline", Decoder::Printer, {0x16}, 1, Status(0x04, 0, U, U, U)},
    {"PrinterDrawerOffline", Decoder::Printer, {0x1E}, 1, Status(0x04, 0x08, U, U, U)},
    {"PrinterInvalid", Decoder::Printer, {0x13}, 0, MarkedStatus()},
    // DLE EOT 2: 0xx1 xx10, cover 04.
    {"OfflineCoverOpen", Decoder::Offline, {0x16}, 1, Status(U, U, 0x04, U, U)},
    {"OfflineCoverClosed", Decoder::Offline, {0x12}, 1, Status(U, U, 0, U, U)},
    {"OfflineBit7Invalid", Decoder::Offline, {0x92}, 0, MarkedStatus()},
    // DLE EOT 4: near end 0C, paper end 60.
    {"PaperOutAndNearEnd", Decoder::Paper, {0x7E}, 1, Status(U, U, U, 0x0C, 0x60)},
    {"PaperOk", Decoder::Paper, {0x12}, 1, Status(U, U, U, 0, 0)},
    {"PaperInvalid", Decoder::Paper, {0x13}, 0, MarkedStatus()},
    // GS r 1: near end 03, paper end 0C; no fixed bits.
    {"PaperSensorAll", Decoder::PaperSensor, {0xFF}, 1, Status(U, U, U, 0x03, 0x0C)},
    {"PaperSensorNone", Decoder::PaperSensor, {0x00}, 1, Status(U, U, U, 0, 0)},
};

class Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, WritesOnlyItsMembers) {
  const DecodeCase& c = GetParam();
  CCmdHelperBase helper;
  tagPrinterStatus s = MarkedStatus();
  int valid = 0;
  int validWithoutRecord = 0;
  switch (c.decoder) {
    case Decoder::Auto:
      valid = helper.ParseAutoStatus(c.reply.data(), &s);
      validWithoutRecord = helper.ParseAutoStatus(c.reply.data(), nullptr);
      break;
    case Decoder::Printer:
      valid = helper.ParsePrinterStatus(c.reply[0], &s);
      validWithoutRecord = helper.ParsePrinterStatus(c.reply[0], nullptr);
      break;
    case Decoder::Offline:
      valid = helper.ParseOfflineStatus(c.reply[0], &s);
      validWithoutRecord = helper.ParseOfflineStatus(c.reply[0], nullptr);
      break;
    case Decoder::Paper:
      valid = helper.ParsePaperStatus(c.reply[0], &s);
      validWithoutRecord = helper.ParsePaperStatus(c.reply[0], nullptr);
      break;
    case Decoder::PaperSensor:
      valid = helper.ParsePaperSensorStatus(c.reply[0], &s);
      validWithoutRecord = helper.ParsePaperSensorStatus(c.reply[0], nullptr);
      break;
  }
  EXPECT_EQ(valid, c.valid);
  EXPECT_EQ(validWithoutRecord, c.valid);
  EXPECT_EQ(s.drawer, c.expected.drawer);
  EXPECT_EQ(s.drawerOpen, kUntouched);
  EXPECT_EQ(s.offline, c.expected.offline);
  EXPECT_EQ(s.coverOpen, c.expected.coverOpen);
  EXPECT_EQ(s.nearEnd, c.expected.nearEnd);
  EXPECT_EQ(s.paperEnd, c.expected.paperEnd);
}

INSTANTIATE_TEST_SUITE_P(CmdHelperBase, Decode, ::testing::ValuesIn(kDecodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CmdHelperBaseDecode, DrawerStatusTakesBit0) {
  CCmdHelperBase helper;
  LONG drawer = kUntouched;
  EXPECT_EQ(helper.ParseDrawerStatus(0xFF, &drawer), 1);
  EXPECT_EQ(drawer, 1);
  EXPECT_EQ(helper.ParseDrawerStatus(0xFE, &drawer), 1);
  EXPECT_EQ(drawer, 0);
  EXPECT_EQ(helper.ParseDrawerStatus(0x01, nullptr), 1);
}

TEST(CmdHelperBaseDecode, NullBlockIsInvalid) {
  CCmdHelperBase helper;
  tagPrinterStatus s = MarkedStatus();
  EXPECT_EQ(helper.ParseAutoStatus(nullptr, &s), 0);
  EXPECT_EQ(s.drawer, kUntouched);
}

TEST(CmdHelperBaseDecode, DrawerStatusQuery) {
  CCmdHelperBase helper;
  BYTE query[3] = {};
  helper.GetDrawerStatusQuery(query);
  EXPECT_EQ(query[0], 0x1D);  // GS r 2
  EXPECT_EQ(query[1], 0x72);
  EXPECT_EQ(query[2], 0x02);
  helper.GetDrawerStatusQuery(nullptr);  // must not crash
}

// One call per step: the new status block and the code that call must report.
struct ChangeStep {
  Bytes status;
  LONG code;
};

struct ChangeCase {
  const char* name;
  Bytes remembered;
  std::vector<ChangeStep> steps;
};

const ChangeCase kChangeCases[] = {
    {"CoverAndPaperOutOneAtATime",
     {0x10, 0x00, 0x00, 0x00},
     {{{0x30, 0x00, 0x0C, 0x00}, PTR_SUE_COVER_OPEN},
      {{0x30, 0x00, 0x0C, 0x00}, PTR_SUE_REC_EMPTY},
      {{0x30, 0x00, 0x0C, 0x00}, 0}}},
    {"CoverCloses", {0x30, 0x00, 0x00, 0x00}, {{{0x10, 0x00, 0x00, 0x00}, PTR_SUE_COVER_OK}}},
    {"Byte1Bit3Codes",
     {0x10, 0x00, 0x00, 0x00},
     {{{0x10, 0x08, 0x00, 0x00}, 21}, {{0x10, 0x00, 0x00, 0x00}, 20}}},
    {"NearEndOnceThenPaperOk",
     {0x10, 0x00, 0x00, 0x00},
     {{{0x10, 0x00, 0x03, 0x00}, PTR_SUE_REC_NEAREMPTY},
      {{0x10, 0x00, 0x03, 0x00}, 0},
      {{0x10, 0x00, 0x0F, 0x00}, PTR_SUE_REC_EMPTY},
      {{0x10, 0x00, 0x00, 0x00}, PTR_SUE_REC_PAPEROK},
      // Near-end bits are never cleared, so a second near end is not reported.
      {{0x10, 0x00, 0x03, 0x00}, 0}}},
    // Both sensor bits of a pair must be set before it counts.
    {"HalfNearEndIgnored", {0x10, 0x00, 0x00, 0x00}, {{{0x10, 0x00, 0x01, 0x00}, 0}}},
    {"HalfPaperEndIgnored", {0x10, 0x00, 0x00, 0x00}, {{{0x10, 0x00, 0x04, 0x00}, 0}}},
    {"HalfPaperEndIsNotPaperOk", {0x10, 0x00, 0x0C, 0x00}, {{{0x10, 0x00, 0x08, 0x00}, 0}}},
    {"OtherBitsChangeNothing", {0x10, 0x00, 0x00, 0x00}, {{{0x14, 0x00, 0x00, 0x40}, 0}}},
};

class StatusChange : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(StatusChange, ReportsOneChangePerCall) {
  CCmdHelperBase helper;
  Bytes remembered = GetParam().remembered;
  int step = 0;
  for (const ChangeStep& s : GetParam().steps) {
    EXPECT_EQ(helper.DetectStatusChange(s.status.data(), remembered.data()), s.code)
        << "step " << step;
    ++step;
  }
}

INSTANTIATE_TEST_SUITE_P(CmdHelperBase, StatusChange, ::testing::ValuesIn(kChangeCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct ByTypeCase {
  const char* name;
  int newByte;
  BYTE remembered;
  int type;
  LONG code;
  BYTE rememberedAfter;
};

const ByTypeCase kByTypeCases[] = {
    {"Type1Ignored", 0x16, 0x12, 1, 0, 0x12},
    {"Type3Ignored", 0x16, 0x12, 3, 0, 0x12},
    {"Type5Ignored", 0x16, 0x12, 5, 0, 0x12},
    {"SameByte", 0x16, 0x16, 2, 0, 0x16},
    {"CoverOpens", 0x16, 0x12, 2, PTR_SUE_REC_COVER_OPEN, 0x16},
    {"CoverCloses", 0x12, 0x16, 2, PTR_SUE_REC_COVER_OK, 0x12},
    {"CoverSameOtherBits", 0x1E, 0x16, 2, 0, 0x16},
    {"PaperOut", 0x72, 0x12, 4, PTR_SUE_REC_EMPTY, 0x72},
    {"NearEnd", 0x1E, 0x12, 4, PTR_SUE_REC_NEAREMPTY, 0x1E},
    {"PaperBackButLow", 0x1E, 0x7E, 4, PTR_SUE_REC_NEAREMPTY, 0x1E},
    {"PaperOk", 0x12, 0x7E, 4, PTR_SUE_REC_PAPEROK, 0x12},
};

class StatusChangeByType : public ::testing::TestWithParam<ByTypeCase> {};

TEST_P(StatusChangeByType, Reports) {
  const ByTypeCase& c = GetParam();
  CCmdHelperBase helper;
  BYTE remembered = c.remembered;
  EXPECT_EQ(helper.DetectStatusChangeByType(c.newByte, &remembered, c.type), c.code);
  EXPECT_EQ(remembered, c.rememberedAfter);
}

INSTANTIATE_TEST_SUITE_P(CmdHelperBase, StatusChangeByType, ::testing::ValuesIn(kByTypeCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct FitCase {
  const char* name;
  LONG symbology;
  LONG width;
  const char* data;
  int module;
  LONG total;
};

const FitCase kFitCases[] = {
    {"UpcAFitsThree", PTR_BCS_UPCA, 300, "01234567890", 3, 285},       // 95 m
    {"UpcANarrowKeepsTwo", PTR_BCS_UPCA, 100, "01234567890", 2, 100},  // 190 > 100
    {"SmallWidthIsModule", PTR_BCS_UPCA, 4, "01234567890", 4, 380},
    {"UpcE", PTR_BCS_UPCE, 200, "0123456", 3, 159},  // 53 m
    {"Ean8", PTR_BCS_EAN8, 200, "0123456", 2, 134},  // 67 m
    {"Ean13ExactFit", PTR_BCS_EAN13, 475, "012345678901", 5, 475},
    {"Code39NeverAboveSix", PTR_BCS_Code39, 1000, "ABC", 6, 384},  // m (13 n + 25)
    {"Code93ExactFit", PTR_BCS_Code93, 144, "A", 3, 144},          // m (9 n + 39)
    {"Code128", PTR_BCS_Code128, 500, "ABCDEFGHIJ", 3, 435},       // m (11 n + 35)
    {"Code128Parsed", PTR_BCS_Code128_Parsed, 300, "ABCDEFGHIJ", 2, 290},
    {"ItfWideBars", PTR_BCS_ITF, 100, "12", 4, 98},                 // d 10: 10 + 2*32 + 24
    {"CodabarLettersWider", PTR_BCS_Codabar, 200, "A12B", 3, 189},  // 33 + 33+30+30+33 + 30
    {"CodabarSingleByte", PTR_BCS_Codabar, 60, "A", 2, 44},         // no inter-gap term
    {"OtherSymbology", PTR_BCS_PDF417, 300, "A", 2, 300},
    {"OtherSymbologySmallWidth", PTR_BCS_PDF417, 5, "A", 5, 5},
};

class FitBarcode : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitBarcode, ChoosesModuleWidth) {
  const FitCase& c = GetParam();
  CCmdHelperBase helper;
  LONG total = -1;
  const auto* data = reinterpret_cast<const BYTE*>(c.data);
  const LONG length = static_cast<LONG>(std::char_traits<char>::length(c.data));
  EXPECT_EQ(helper.FitBarcodeWidth(c.symbology, c.width, data, length, &total), c.module);
  EXPECT_EQ(total, c.total);
}

INSTANTIATE_TEST_SUITE_P(CmdHelperBase, FitBarcode, ::testing::ValuesIn(kFitCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct BuzzerCase {
  const char* name;
  LONG modelCode;
  LONG frequency;
  LONG value;
  int count;
  LONG frequencyAfter;
  int tone;   // k
  int level;  // (value + frequency) / 100
};

const BuzzerCase kBuzzerCases[] = {
    {"Model1280At1000", 1280, 1000, 0, 1, 1000, 0x31, 10},
    {"Model1280At200", 1280, 200, 100, 2, 200, 0x33, 3},
    {"Model1280At500", 1280, 500, 0, 1, 500, 0x37, 5},
    {"Model1280Other", 1280, 700, 0, 1, 1000, 0x31, 10},
    {"Model4100At200", 4100, 200, 0, 1, 200, 0x34, 2},
    {"Model4100At500", 4100, 500, 0, 1, 500, 0x38, 5},
    {"Model4100At1000", 4100, 1000, 0, 1, 1000, 0x32, 10},
    {"Model4100Other", 4100, 300, 200, 3, 1000, 0x32, 12},
    {"OtherModel", 99, 200, 0, 1, 1000, 0x31, 10},
};

class BuzzerTone : public ::testing::TestWithParam<BuzzerCase> {};

TEST_P(BuzzerTone, PicksToneForModel) {
  const BuzzerCase& c = GetParam();
  CCmdHelperBase helper;
  PrinterBuffer out;
  LONG frequency = c.frequency;
  EXPECT_EQ(helper.SetBuzzerTone(out, &frequency, c.modelCode, c.value, c.count), 1);
  EXPECT_EQ(frequency, c.frequencyAfter);
  const Bytes expected = {0x1B,
                          0x28,
                          0x41,
                          0x04,
                          0x00,
                          0x30,  // ESC ( A 4 0 '0'
                          static_cast<std::uint8_t>(c.tone),
                          static_cast<std::uint8_t>(c.level),
                          static_cast<std::uint8_t>(c.count)};
  EXPECT_TRUE(BytesEqual(out, expected));
}

INSTANTIATE_TEST_SUITE_P(CmdHelperBase, BuzzerTone, ::testing::ValuesIn(kBuzzerCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CmdHelperBaseBuzzer, NullFrequencyRefused) {
  CCmdHelperBase helper;
  PrinterBuffer out;
  EXPECT_EQ(helper.SetBuzzerTone(out, nullptr, 1280, 0, 1), 0);
  EXPECT_TRUE(out.IsEmpty());
}

TEST(CutFeed, TruncatesToWholeMillimetres) {
  CCmdHelperBase helper;
  PrinterBuffer out;
  helper.SetCutFeedDistance(3450);  // 34 mm * 8 = 272 dots, not 276
  helper.FeedAndFullCut(out);
  EXPECT_TRUE(BytesEqual(out, {0x1B, 0x4A, 0xFF,     // ESC J 255
                               0x1B, 0x4A, 0x11,     // ESC J 17
                               0x1D, 0x56, 0x00}));  // GS V 0: full cut
}

TEST(CutFeed, PartialCutAtZeroDistance) {
  CCmdHelperBase helper;
  PrinterBuffer out;
  helper.SetCutFeedDistance(0);
  helper.FeedAndPartialCut(out);
  EXPECT_TRUE(BytesEqual(out, {0x1B, 0x4A, 0x00,     // ESC J 0
                               0x1D, 0x56, 0x01}));  // GS V 1: partial cut
}

TEST(CutFeed, NegativeDistanceFeedsNothing) {
  CCmdHelperBase helper;
  PrinterBuffer out;
  helper.SetCutFeedDistance(-500);
  helper.FeedAndFullCut(out);
  EXPECT_TRUE(BytesEqual(out, {0x1D, 0x56, 0x00}));
}

// A dialect that replaces the primitive commands, to show the composites use them.
class MarkingHelper : public CCmdHelperBase {
 public:
  int SetUnderline(PrinterBuffer& out, int) override { return Mark(out, 'U'); }
  int SetJustification(PrinterBuffer& out, int) override { return Mark(out, 'J'); }
  int SetPrintMode(PrinterBuffer& out, int, int, int, int, int) override { return Mark(out, 'P'); }
  int FeedDots(PrinterBuffer& out, int) override { return Mark(out, 'F'); }
  int TransmitPrinterId(PrinterBuffer& out, int n) override {
    Mark(out, 'I');
    return Mark(out, n);
  }
  int TransmitStatus(PrinterBuffer& out, int n) override {
    Mark(out, 'S');
    return Mark(out, n);
  }
  int SetCharacterSize(PrinterBuffer& out, int w, int h) override {
    Mark(out, 'C');
    Mark(out, w);
    return Mark(out, h);
  }
  int SetKanjiMode(PrinterBuffer& out, int flag) override {
    Mark(out, 'K');
    return Mark(out, flag);
  }
  int SelectCodeTable(PrinterBuffer& out, int n) override {
    Mark(out, 'T');
    return Mark(out, n);
  }
  int SelectInternationalSet(PrinterBuffer& out, int n) override {
    Mark(out, 'R');
    return Mark(out, n);
  }
  int BeginMacro(PrinterBuffer& out) override { return Mark(out, 'M'); }
  int PrintBarcodeData(PrinterBuffer& out, LONG, const BYTE*, LONG) override {
    return Mark(out, 'B');
  }

 private:
  static int Mark(PrinterBuffer& out, int b) {
    out.Append(static_cast<BYTE>(b));
    return 1;
  }
};

struct CompositeCase {
  const char* name;
  int (*run)(ICmdHelper&, PrinterBuffer&);
  Bytes bytes;
};

const CompositeCase kCompositeCases[] = {
    {"ResetTextFormat",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.ResetTextFormat(o); },
     {'P', 'J', 'U'}},
    {"FeedAndFullCut",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.FeedAndFullCut(o); },
     {'F', 0x1D, 0x56, 0x00}},
    {"QueryFirmwareVersion",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryFirmwareVersion(o); },
     {'I', 0x41}},
    {"QueryDrawerSensor",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryDrawerSensor(o); },
     {'S', 0x02}},
    {"SetCharacterSizeClamped",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCharacterSizeClamped(o, 12, -3); },
     {'C', 8, 1}},
    {"SelectCodePage",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodePage(o, 936); },
     {'K', 1, 'T', 2, 'R', 15}},
    {"EndMacro", [](ICmdHelper& h, PrinterBuffer& o) { return h.EndMacro(o); }, {'M'}},
    {"FormatBarcodeCommand",
     [](ICmdHelper& h, PrinterBuffer& o) {
       static const BYTE d[] = {'1'};
       return h.FormatBarcodeCommand(o, PTR_BCS_Code39, 50, 3, 0, PTR_BC_TEXT_NONE, 0, d, 1);
     },
     {0x1D, 0x77, 0x03, 0x1D, 0x68, 0x32, 0x1D, 0x48, 0x00, 0x1D, 0x66, 0x00, 'B'}},
};

class Composite : public ::testing::TestWithParam<CompositeCase> {};

TEST_P(Composite, GoesThroughTheInterface) {
  MarkingHelper helper;
  PrinterBuffer out;
  GetParam().run(helper, out);
  EXPECT_TRUE(BytesEqual(out, GetParam().bytes));
}

INSTANTIATE_TEST_SUITE_P(CmdHelperBase, Composite, ::testing::ValuesIn(kCompositeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CmdHelperBaseTabs, RebuiltEveryTimeAndCopiesIndependent) {
  CCmdHelperBase helper;
  PrinterBuffer first, second;
  helper.SetDefaultTabs(first);
  CCmdHelperBase copy(helper);
  copy.SetDefaultTabs(second);
  helper.SetDefaultTabs(second);
  ASSERT_EQ(first.Size(), 34);  // ESC D, 31 stops, NUL
  ASSERT_EQ(second.Size(), 68);
  for (int i = 0; i < 34; ++i) EXPECT_EQ(second.At(i + 34), first.At(i)) << "offset " << i;
}

// Every out-of-range argument refuses the whole command: sweep the byte range of the
// checked operations and require "returned 0" exactly when nothing was appended.
TEST(CmdHelperBaseRefusal, ResultMatchesWhatWasWritten) {
  CCmdHelperBase helper;
  using Check = int (*)(CCmdHelperBase&, PrinterBuffer&, int);
  const Check checks[] = {
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SetUnderline(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.CancelUserCharacter(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SelectCharacterFont(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SetPageDirection(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SetJustification(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.GeneratePulse(o, v, 1, 1); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SelectCodeTable(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SetCharacterSize(o, v, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.ExecuteTestPrint(o, v, 1); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SetPrintDensity(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SetHeadSpeed(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SetCustomValue97(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SetPrintSpeed(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SetHeadEnergizing(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.DeleteNvGraphics(o, v, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SetPdf417Columns(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SetPdf417Rows(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SetPdf417ModuleWidth(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) {
        return h.SetPdf417ErrorCorrection(o, 49, v);
      },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SetQrModel(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SetQrModuleSize(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SetQrErrorCorrection(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.PrintDownloadedImage(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SetHriPosition(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SetHriFont(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.ResetMaintenanceCounter(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.QueryMaintenanceCounter(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SetKanjiUnderline(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.SelectKanjiCodeSystem(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.RealTimeRequest(o, v); },
      [](CCmdHelperBase& h, PrinterBuffer& o, int v) { return h.FeedDots(o, v); },
  };
  int index = 0;
  for (Check check : checks) {
    int accepted = 0;
    for (int v = -300; v <= 300; ++v) {
      PrinterBuffer out;
      const int result = check(helper, out, v);
      EXPECT_EQ(result != 0, !out.IsEmpty()) << "check " << index << " value " << v;
      accepted += result;
    }
    // Each has both accepted and refused values in the sweep.
    EXPECT_GT(accepted, 0) << "check " << index;
    EXPECT_LT(accepted, 601) << "check " << index;
    ++index;
  }
}

}  // namespace

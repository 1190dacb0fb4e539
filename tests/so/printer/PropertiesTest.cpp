#include <gtest/gtest.h>

#include <vector>

#include "OposConstants.h"
#include "PropertiesEngine.h"

namespace {

using zanth::test::OpenedEngine;
using zanth::test::PropertiesEngine;
using zanth::test::PropertySnapshot;
using Bytes = std::vector<BYTE>;

constexpr wchar_t kAllCharacterSets[] =
    L"255,437,850,852,858,860,863,865,866,932,936,949,997,998,999,1252";

// The number properties of an opened base engine, index by index; any index missing
// here must leave the caller's value alone.
std::map<LONG, LONG> ExpectedNumbersAfterOpen() {
  std::map<LONG, LONG> expected = {
      {PIDX_OutputID, Tesk::Printer::CPrinterBase::CurrentOutputId()},
      {PIDX_BinaryConversion, 0},
      {8001, 0},    {8002, 437},  {8003, 0},  {8013, 1},    {8014, 1},  {8015, 0},
      {8016, 48},   {8017, 24},   {8018, 36}, {8019, 5},    {8020, 576}, {8021, 1},
      {8022, 138},  {8023, 17},   {8035, 1},  {8036, 1},    {8037, 0},  {8038, 0x10000000},
      {8039, 0},    {8040, 0},    {8041, 1},  {8042, 0},    {8043, 0},  {8044, 0},
      {8045, 0},    {8046, 0},    {8047, 0},  {8048, 1},    {8049, 0},  {8050, 0},
  };
  for (LONG slip = 8024; slip <= 8034; ++slip) expected[slip] = 0;
  for (LONG cap = 8504; cap <= 8565; ++cap) expected[cap] = 0;
  for (LONG cap : {8504, 8516, 8517, 8518, 8519, 8520, 8521, 8522, 8524, 8525, 8526, 8527,
                   8528, 8529, 8531, 8549, 8553, 8560})
    expected[cap] = 1;
  expected[PIDXPtr_CapCharacterSet] = PTR_CCS_ASCII;
  return expected;
}

TEST_F(OpenedEngine, EveryNumberIndexAnswersItsOpenValue) {
  EXPECT_EQ(PropertySnapshot::Take(engine).numbers, ExpectedNumbersAfterOpen());
}

TEST_F(OpenedEngine, EveryStringIndexAnswersItsOpenValue) {
  const std::map<LONG, std::wstring> expected = {
      {PIDX_CheckHealthText, L""},
      {PIDX_DeviceDescription, L"Corlin High Performance Printer"},
      {PIDX_DeviceName, L"Corlin Printer"},
      {PIDXPtr_CharacterSetList, kAllCharacterSets},
      {PIDXPtr_JrnLineCharsList, L""},
      {PIDXPtr_RecLineCharsList, L"48,64"},
      {PIDXPtr_SlpLineCharsList, L""},
      {PIDXPtr_ErrorString, L""},
      {PIDXPtr_FontTypefaceList, L"A,B"},
      {PIDXPtr_RecBarCodeRotationList, L"0,R90,L90,180"},
      {PIDXPtr_SlpBarCodeRotationList, L""},
      {PIDXPtr_RecBitmapRotationList, L"0,R90,L90,180"},
      {PIDXPtr_SlpBitmapRotationList, L""},
      {PIDXPtr_PageModeArea, L"576,1000"},
      {PIDXPtr_PageModePrintArea, L""},  // PageModeStation is not the receipt yet
  };
  EXPECT_EQ(PropertySnapshot::Take(engine).strings, expected);
}

TEST_F(OpenedEngine, JournalAndConcurrentReadsAnswerNotSupportedInTheEngineOnly) {
  for (LONG index : {8006, 8009, 8012, 8501, 8503}) {
    engine.SetRC(0);
    EXPECT_EQ(Number(index), PropertySnapshot::kUntouched) << index;
    EXPECT_EQ(engine.GetResultCode(), OPOS_E_EXTENDED) << index;
    EXPECT_EQ(engine.GetResultCodeExtended(), 300) << index;
  }
}

// One set: what it answers and which values change (all others must stay).
struct SetCase {
  const char* name;
  LONG index;
  LONG value;
  LONG result;
  LONG resultCode;  // -1: the engine's ResultCode is not part of the answer
  LONG extended;
  std::vector<std::pair<LONG, LONG>> changes;
};

const SetCase kSetCases[] = {
    {"BinaryConversion", 11, 2, 0, -1, -1, {{11, 2}}},
    {"AsyncModeNormalisedToOne", 8001, 7, 0, -1, -1, {{8001, 1}}},
    {"CharacterSetListed", 8002, 1252, 0, -1, -1, {{8002, 1252}}},
    // Listed but not convertible: refused at once instead of printing nothing later.
    {"CharacterSetListedUnicodeRefused", 8002, 997, 106, 106, 0, {}},
    {"CharacterSetListedUserTableRefused", 8002, 255, 106, 106, 0, {}},
    {"CharacterSetListedAscii", 8002, 998, 0, -1, -1, {{8002, 998}}},
    {"CharacterSetListedAnsi", 8002, 999, 0, -1, -1, {{8002, 999}}},
    {"CharacterSetNotListed", 8002, 1251, 106, 106, 0, {}},
    {"CharacterSetZero", 8002, 0, 106, 106, 0, {}},
    {"FlagWhenIdleAccepted", 8005, 1, 0, -1, -1, {}},
    {"MapModeUnchanged", 8013, 1, 0, -1, -1, {}},
    {"MapModeZero", 8013, 0, 106, 106, 0, {}},
    {"MapModeFive", 8013, 5, 106, 106, 0, {}},
    {"MapModeNegative", 8013, -1, 106, 106, 0, {}},
    {"RecLetterQuality", 8015, 1, 0, -1, -1, {{8015, 1}}},
    {"RecLineCharsZero", 8016, 0, 106, 106, 0, {}},
    {"RecLineCharsNegative", 8016, -3, 106, 106, 0, {}},
    {"RecLineHeight", 8017, 30, 0, -1, -1, {{8017, 30}}},
    {"RecLineHeightNegative", 8017, -5, 106, 106, 0, {}},
    {"RecLineSpacing", 8018, 40, 0, -1, -1, {{8018, 40}}},
    {"RecLineSpacingLargestByte", 8018, 255, 0, -1, -1, {{8018, 255}}},
    {"RecLineSpacingBeyondAByte", 8018, 256, 106, 106, 0, {}},
    {"RecLineSpacingNegative", 8018, -1, 106, 106, 0, {}},
    {"SlpLetterQualityStored", 8025, 1, 0, -1, -1, {{8025, 1}}},
    {"RecCurrentCartridgeStored", 8041, 2, 0, -1, -1, {{8041, 2}}},
    {"RotateSpecial180", 8036, PTR_RP_ROTATE180, 0, -1, -1, {{8036, PTR_RP_ROTATE180}}},
    {"RotateSpecialBarcodeRight", 8036, PTR_RP_BARCODE | PTR_RP_RIGHT90, 0, -1, -1,
     {{8036, PTR_RP_BARCODE | PTR_RP_RIGHT90}}},
    {"RotateSpecialZero", 8036, 0, 106, 106, 0, {}},
    {"RotateSpecialUnknown", 8036, 0x0104, 106, 106, 0, {}},
    {"RotateSpecialNegative", 8036, -1, 106, 106, 0, {}},
    {"PageModeHorizontalOffReceipt", 8047, 100, 0, -1, -1, {}},
    {"PageModeVerticalOffReceipt", 8050, 100, 0, -1, -1, {}},
    {"PageModePrintDirection", 8048, 4, 0, -1, -1, {{8048, 4}}},
    {"PageModePrintDirectionZero", 8048, 0, 106, 106, 0, {}},
    {"PageModePrintDirectionFive", 8048, 5, 106, 106, 0, {}},
    {"PageModeStationReceipt", 8049, 2, 0, -1, -1, {{8049, 2}, {8046, 15}}},
    {"PageModeStationJournal", 8049, 1, 114, 114, 301, {}},
    {"PageModeStationSlip", 8049, 4, 114, 114, 301, {}},
    {"PageModeStationNone", 8049, 0, 114, 114, 301, {}},
    {"JrnLetterQuality", 8007, 1, 114, 114, 300, {}},
    {"JrnLineChars", 8008, 40, 114, 114, 300, {}},
    {"JrnLineHeight", 8009, 24, 114, 114, 300, {}},
    {"JrnLineSpacing", 8010, 30, 114, 114, 300, {}},
    {"CartridgeNotify", 8037, 1, 114, 114, 300, {}},
    {"JrnCurrentCartridge", 8039, 1, 114, 114, 300, {}},
    {"ReadOnlyCoverOpen", 8003, 1, 106, -1, -1, {}},
    {"ReadOnlyErrorStation", 8004, 1, 106, -1, -1, {}},
    {"ReadOnlyJrnEmpty", 8006, 1, 106, -1, -1, {}},
    {"ReadOnlyRecEmpty", 8014, 0, 106, -1, -1, {}},
    {"ReadOnlyLinesToPaperCut", 8019, 9, 106, -1, -1, {}},
    {"ReadOnlyRecLineWidth", 8020, 400, 106, -1, -1, {}},
    {"ReadOnlyErrorLevel", 8035, 2, 106, -1, -1, {}},
    {"ReadOnlyDescriptor", 8046, 0, 106, -1, -1, {}},
    {"ReadOnlyCapability", 8504, 0, 106, -1, -1, {}},
    {"ReadOnlyCapRecPageMode", 8560, 0, 106, -1, -1, {}},
    {"UnknownLow", 12, 1, 106, -1, -1, {}},
    {"UnknownHigh", 9000, 1, 106, -1, -1, {}},
    {"UnknownNegative", -1, 1, 106, -1, -1, {}},
};

struct SetPropertyNumberTest : OpenedEngine, ::testing::WithParamInterface<SetCase> {};

TEST_P(SetPropertyNumberTest, AnswersAndChangesOnlyWhatItShould) {
  const SetCase& c = GetParam();
  auto expected = PropertySnapshot::Take(engine).numbers;
  for (const auto& [index, value] : c.changes) expected[index] = value;
  engine.SetRC(0);

  EXPECT_EQ(SetNumber(c.index, c.value), c.result);
  if (c.resultCode >= 0) {
    EXPECT_EQ(engine.GetResultCode(), c.resultCode);
    EXPECT_EQ(engine.GetResultCodeExtended(), c.extended);
  }
  EXPECT_EQ(PropertySnapshot::Take(engine).numbers, expected);
}

INSTANTIATE_TEST_SUITE_P(Table, SetPropertyNumberTest, ::testing::ValuesIn(kSetCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PropertiesClosed, SettersReportClosedAndChangeNothing) {
  PropertiesEngine engine;
  LONG result = -1;
  engine.SetPropertyNumber(PIDXPtr_CharacterSet, 1252, &result);
  EXPECT_EQ(result, OPOS_E_CLOSED);
  result = -1;
  engine.SetPropertyString(PIDXPtr_PageModePrintArea, L"0,0,100,100", &result);
  EXPECT_EQ(result, OPOS_E_CLOSED);
  LONG value = 0;
  engine.GetPropertyNumber(PIDXPtr_CharacterSet, &value);
  EXPECT_EQ(value, 437);
  EXPECT_EQ(engine.pageModePrintWidth_, 0);
}

// Font choice over fonts A (12 dots) and B (9 dots) on 576 dots of paper.
struct LineCharsCase {
  LONG chars;
  LONG result, extended;
  int font;
  LONG lineChars, lineWidth;
  int fontFlag, widthFlag;
};

const LineCharsCase kLineCharsCases[] = {
    {42, 0, 0, 0, 42, 504, 0, 1},     // 576/42 = 13: font A, 12 x 42 dots
    {48, 0, 0, 0, 48, 576, 0, 0},     // the open state itself: nothing to send
    {64, 0, 0, 1, 64, 576, 1, 1},     // 576/64 = 9: font B
    {80, 114, 300, 1, 64, 576, 1, 1},  // 576/80 = 7: nothing fits, the narrowest font
    {1, 0, 0, 0, 1, 12, 0, 1},        // every font fits: the widest
};

struct RecLineCharsTest : OpenedEngine, ::testing::WithParamInterface<LineCharsCase> {};

TEST_P(RecLineCharsTest, ChoosesTheFontAndLineWidth) {
  const LineCharsCase& c = GetParam();
  EXPECT_EQ(SetNumber(PIDXPtr_RecLineChars, c.chars), c.result);
  if (c.result != 0) {
    EXPECT_EQ(engine.GetResultCode(), OPOS_E_EXTENDED);
    EXPECT_EQ(engine.GetResultCodeExtended(), c.extended);
  }
  EXPECT_EQ(engine.currentFont_, c.font);
  EXPECT_EQ(Number(PIDXPtr_RecLineChars), c.lineChars);
  EXPECT_EQ(engine.formatLineLength_, c.lineChars);
  EXPECT_EQ(Number(PIDXPtr_RecLineWidth), c.lineWidth);
  EXPECT_EQ(engine.fontChanged_, c.fontFlag);
  EXPECT_EQ(engine.lineSpacingChanged_, c.fontFlag);
  EXPECT_EQ(engine.lineWidthChanged_, c.widthFlag);
}

INSTANTIATE_TEST_SUITE_P(FontsAandB, RecLineCharsTest, ::testing::ValuesIn(kLineCharsCases));

TEST_F(OpenedEngine, RecLineCharsBackToFontAAppliesItsMetrics) {
  ASSERT_EQ(SetNumber(PIDXPtr_RecLineChars, 64), 0);
  EXPECT_EQ(Number(PIDXPtr_RecLineHeight), 17);
  ASSERT_EQ(SetNumber(PIDXPtr_RecLineChars, 48), 0);
  EXPECT_EQ(engine.currentFont_, 0);
  EXPECT_EQ(Number(PIDXPtr_RecLineChars), 48);
  EXPECT_EQ(Number(PIDXPtr_RecLineHeight), 24);
  EXPECT_EQ(Number(PIDXPtr_RecLineSpacing), 30);  // the font's 1.25 x height
}

TEST_F(OpenedEngine, RecLineCharsIsIgnoredWhilePageModePrintsVertically) {
  // Sideways lines run along the page height; the receipt metrics stay as they are.
  ASSERT_EQ(SetNumber(PIDXPtr_PageModePrintDirection, PTR_PD_TOP_TO_BOTTOM), 0);
  const auto before = PropertySnapshot::Take(engine).numbers;
  engine.pageMode_ = 1;
  EXPECT_EQ(SetNumber(PIDXPtr_RecLineChars, 64), 0);
  EXPECT_EQ(PropertySnapshot::Take(engine).numbers, before);
}

struct CharacterSetListCase {
  const wchar_t* list;
  LONG value;
  LONG result;
};

const CharacterSetListCase kCharacterSetListCases[] = {
    {L"437,720,850,860,863,864,865,866,852,858,932,936,949,1252,1256,", 1256, 0},
    {L"437,720,850,860,863,864,865,866,852,858,932,936,949,1252,1256,", 1252, 0},
    {L"437,720,850,860,863,864,865,866,852,858,932,936,949,1252,1256,", 437, 0},
    {L"437,720,850,860,863,864,865,866,852,858,932,936,949,1252,1256,", 0, 106},
    {L"437,720,850,860,863,864,865,866,852,858,932,936,949,1252,1256,", 125, 106},
    {L"000001252,437", 1252, 0},    // nine characters are still read
    {L"0000001252,437", 1252, 106},  // ten characters are skipped ...
    {L"0000001252,437", 437, 0},     // ... and the search goes on
    {L"", 437, 106},
};

struct CharacterSetListTest : OpenedEngine,
                              ::testing::WithParamInterface<CharacterSetListCase> {};

TEST_P(CharacterSetListTest, AcceptsOnlyListedItems) {
  const CharacterSetListCase& c = GetParam();
  engine.characterSetList_ = c.list;
  engine.characterSetChanged_ = 0;
  EXPECT_EQ(SetNumber(PIDXPtr_CharacterSet, c.value), c.result);
  EXPECT_EQ(Number(PIDXPtr_CharacterSet), c.result == 0 ? c.value : 437);
  EXPECT_EQ(engine.characterSetChanged_, c.result == 0 ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Lists, CharacterSetListTest, ::testing::ValuesIn(kCharacterSetListCases));

TEST_F(OpenedEngine, CharacterSetListFollowsTheAppliedFont) {
  engine.fonts_[1].characterSetList = L"437,850,1252,";
  engine.SetFont(1);
  EXPECT_EQ(String(PIDXPtr_CharacterSetList), L"437,850,1252,");
  EXPECT_EQ(SetNumber(PIDXPtr_CharacterSet, 998), OPOS_E_ILLEGAL);
  EXPECT_EQ(SetNumber(PIDXPtr_CharacterSet, 850), 0);
}

TEST_F(OpenedEngine, LetterQualityFlagsOnlyAChange) {
  EXPECT_EQ(SetNumber(PIDXPtr_RecLetterQuality, 0), 0);
  EXPECT_EQ(engine.letterQualityChanged_, 0);
  EXPECT_EQ(SetNumber(PIDXPtr_RecLetterQuality, 1), 0);
  EXPECT_EQ(engine.letterQualityChanged_, 1);
}

TEST_F(OpenedEngine, AsyncModeStaysOffForThePacketPrinterYetSucceeds) {
  engine.packetFraming_ = 1;  // whatever its name: "K15" and "K15SMB" alike
  EXPECT_EQ(SetNumber(PIDXPtr_AsyncMode, 1), 0);
  EXPECT_EQ(Number(PIDXPtr_AsyncMode), 0);
  engine.packetFraming_ = 0;
  engine.modelName_ = L"K15";  // the name alone decides nothing
  EXPECT_EQ(SetNumber(PIDXPtr_AsyncMode, 1), 0);
  EXPECT_EQ(Number(PIDXPtr_AsyncMode), 1);
}

TEST_F(OpenedEngine, MetricMapModeRewritesTheAreasAndConvertsWithTheHorizontalPitch) {
  engine.dotSizeV_ = 0.0625f;  // heights must still use the horizontal 0.125 mm
  ASSERT_EQ(SetNumber(PIDXPtr_PageModeStation, PTR_S_RECEIPT), 0);
  ASSERT_EQ(SetString(PIDXPtr_PageModePrintArea, L"8,16,80,160"), 0);

  ASSERT_EQ(SetNumber(PIDXPtr_MapMode, PTR_MM_METRIC), 0);
  EXPECT_EQ(String(PIDXPtr_PageModeArea), L"7200,12500");
  EXPECT_EQ(String(PIDXPtr_PageModePrintArea), L"100,200,1000,2000");
  EXPECT_EQ(Number(PIDXPtr_RecLineHeight), 300);   // 24 dots x 0.125 mm
  EXPECT_EQ(Number(PIDXPtr_RecLineSpacing), 450);  // 36 dots
  EXPECT_EQ(Number(PIDXPtr_RecLineWidth), 7200);

  // Values set in metric are kept in dots.
  ASSERT_EQ(SetNumber(PIDXPtr_RecLineHeight, 250), 0);
  ASSERT_EQ(SetNumber(PIDXPtr_PageModeHorizontalPosition, 1000), 0);
  ASSERT_EQ(SetNumber(PIDXPtr_MapMode, PTR_MM_DOTS), 0);
  EXPECT_EQ(Number(PIDXPtr_RecLineHeight), 20);
  EXPECT_EQ(Number(PIDXPtr_PageModeHorizontalPosition), 80);
  EXPECT_EQ(String(PIDXPtr_PageModeArea), L"576,1000");
  EXPECT_EQ(String(PIDXPtr_PageModePrintArea), L"8,16,80,160");
}

TEST_F(OpenedEngine, ReopeningStartsInDotsAgain) {
  ASSERT_EQ(SetNumber(PIDXPtr_MapMode, PTR_MM_TWIPS), 0);
  ASSERT_NE(String(PIDXPtr_PageModeArea), L"576,1000");
  LONG result = 0;
  engine.CloseService(&result);
  engine.UsePort(port);  // closing dropped the port; opening from the registry makes a new one
  LONG openResult = -1;
  ASSERT_EQ(engine.OpenServiceW(L"printer", &events, &openResult), 0);
  ASSERT_EQ(openResult, 0);
  EXPECT_EQ(Number(PIDXPtr_MapMode), PTR_MM_DOTS);
  EXPECT_EQ(String(PIDXPtr_PageModeArea), L"576,1000");
}

struct PrintAreaCase {
  const char* name;
  LONG mapMode;
  const wchar_t* text;
  LONG result, resultCode, extended;
  LONG x = 0, y = 0, width = 0, height = 0;  // dots stored after a success
};

const PrintAreaCase kPrintAreaCases[] = {
    {"WholePage", 1, L"0,0,576,1000", 0, 0, 0, 0, 0, 576, 1000},
    {"Inside", 1, L"10,20,300,400", 0, 0, 0, 10, 20, 300, 400},
    {"MetricWholePage", 4, L"0,0,7200,12500", 0, 0, 0, 0, 0, 576, 1000},
    {"NotNumbersReadAsZero", 1, L"a,b,c,d,e", 0, 0, 0, 0, 0, 0, 0},
    {"ThreeNumbers", 1, L"100,200,300", 106, 106, 0, 0, 0, 0, 0},
    {"SevenCharacters", 1, L"1,2,3,4", 0, 0, 0, 1, 2, 3, 4},
    {"SixCharacters", 1, L"1,2,3,", 114, 114, 301, 0, 0, 0, 0},
    {"LongerThanThirty", 1, L"0000000000,0000000000,00000,0001", 114, 114, 301, 0, 0, 0, 0},
    {"WiderThanThePage", 1, L"0,0,577,1000", 106, 106, 0, 0, 0, 0, 0},
    {"TallerThanThePage", 1, L"0,1,576,1000", 106, 106, 0, 0, 0, 0, 0},
    {"NegativeX", 1, L"-1,0,10,10", 106, 106, 0, 0, 0, 0, 0},
    {"NegativeHeight", 1, L"0,0,10,-10", 106, 106, 0, 0, 0, 0, 0},
    {"SumWouldWrap", 1, L"2147483647,0,2,10", 106, 106, 0, 0, 0, 0, 0},
    {"HugeNumberSaturates", 1, L"99999999999999999,0,1,1", 106, 106, 0, 0, 0, 0, 0},
};

struct PrintAreaTest : OpenedEngine, ::testing::WithParamInterface<PrintAreaCase> {};

TEST_P(PrintAreaTest, ParsesValidatesAndStores) {
  const PrintAreaCase& c = GetParam();
  ASSERT_EQ(SetNumber(PIDXPtr_PageModeStation, PTR_S_RECEIPT), 0);
  ASSERT_EQ(SetNumber(PIDXPtr_MapMode, c.mapMode), 0);
  const std::wstring before = String(PIDXPtr_PageModePrintArea);

  EXPECT_EQ(SetString(PIDXPtr_PageModePrintArea, c.text), c.result);
  EXPECT_EQ(engine.GetResultCode(), c.resultCode);
  EXPECT_EQ(engine.GetResultCodeExtended(), c.extended);
  if (c.result == 0) {
    EXPECT_EQ(String(PIDXPtr_PageModePrintArea), c.text);
    EXPECT_EQ(engine.printAreaPending_, 1);
    EXPECT_EQ(engine.pageModePrintX_, c.x);
    EXPECT_EQ(engine.pageModePrintY_, c.y);
    EXPECT_EQ(engine.pageModePrintWidth_, c.width);
    EXPECT_EQ(engine.pageModePrintHeight_, c.height);
  } else {
    EXPECT_EQ(String(PIDXPtr_PageModePrintArea), before);
    EXPECT_EQ(engine.printAreaPending_, 0);
    EXPECT_EQ(engine.pageModePrintWidth_, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, PrintAreaTest, ::testing::ValuesIn(kPrintAreaCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OpenedEngine, OtherStringsAreReadOnlyAndLeaveTheResultAlone) {
  for (LONG index : {PIDXPtr_CharacterSetList, PIDXPtr_PageModeArea, PIDX_DeviceName, 1009999}) {
    LONG result = -5;
    engine.SetPropertyString(index, L"1,2,3,4,5,6", &result);
    EXPECT_EQ(result, -5) << index;
  }
  EXPECT_EQ(String(PIDXPtr_PageModeArea), L"576,1000");
  EXPECT_EQ(String(1009999), L"<untouched>");
}

TEST_F(OpenedEngine, PageModePrintAreaIsVisibleOnlyForTheReceiptStation) {
  ASSERT_EQ(SetNumber(PIDXPtr_PageModeStation, PTR_S_RECEIPT), 0);
  EXPECT_EQ(String(PIDXPtr_PageModePrintArea), L"0,0,0,0");
  ASSERT_EQ(SetNumber(PIDXPtr_PageModeHorizontalPosition, 40), 0);
  ASSERT_EQ(SetNumber(PIDXPtr_PageModeVerticalPosition, 50), 0);
  EXPECT_EQ(Number(PIDXPtr_PageModeHorizontalPosition), 40);
  EXPECT_EQ(Number(PIDXPtr_PageModeVerticalPosition), 50);
}

TEST_F(OpenedEngine, PrintDirectionTurnsCollectedOutput) {
  engine.transaction_ = 1;
  ASSERT_EQ(SetNumber(PIDXPtr_PageModePrintDirection, PTR_PD_RIGHT_TO_LEFT), 0);
  const Bytes expected = {
      0x1B, 0x54, 0x02,  // ESC T 2: direction 3 counts from 0
      0x1B, 0x33, 0x24,  // ESC 3 36: line spacing in vertical dots
  };
  const PrinterBuffer& buffer = engine.transactionBuffer_;
  EXPECT_EQ(Bytes(buffer.Data(), buffer.Data() + buffer.Size()), expected);
}

TEST_F(OpenedEngine, RotateSpecialKeepsTheTurnForTheNextJob) {
  ASSERT_EQ(SetNumber(PIDXPtr_RotateSpecial, PTR_RP_ROTATE180), 0);
  EXPECT_EQ(engine.rotate180_, 1);
  EXPECT_EQ(engine.rotate180Toggled_, 1);
  ASSERT_EQ(SetNumber(PIDXPtr_RotateSpecial, PTR_RP_NORMAL), 0);
  EXPECT_EQ(engine.rotate180_, 0);
  EXPECT_EQ(engine.rotate180Toggled_, 1);  // the printer must be turned back
  // A quarter turn to the left is kept as given, not as a turn to the right.
  ASSERT_EQ(SetNumber(PIDXPtr_RotateSpecial, PTR_RP_LEFT90), 0);
  EXPECT_EQ(Number(PIDXPtr_RotateSpecial), PTR_RP_LEFT90);
  EXPECT_EQ(engine.rotateRight90_, 0);
}

TEST_F(OpenedEngine, VerifyPropertyAcceptsEverything) {
  EXPECT_EQ(engine.VerifyProperty(8002, L"anything", 0), 0);
}

}  // namespace

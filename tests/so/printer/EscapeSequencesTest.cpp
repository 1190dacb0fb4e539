// Escape-sequence translation: print data in, printer bytes and result codes out.
#include <gtest/gtest.h>

#include "CmdHelperBase.h"
#include "EscapeTestSupport.h"

namespace {

using zanth::test::Bytes;
using zanth::test::Concat;
using zanth::test::SameBytes;
using zanth::test::ToBytes;
using zanth::test::TranslatorEngine;

constexpr LONG kOk = 0;
constexpr LONG kIllegal = OPOS_E_ILLEGAL;  // a value was approximated
constexpr LONG kFailure = OPOS_E_FAILURE;  // a sequence was refused

// Commands as the ESC/POS builder writes them.
const Bytes kBoldOn = {0x1B, 0x45, 0x01};        // ESC E 1
const Bytes kBoldOff = {0x1B, 0x45, 0x00};       // ESC E 0
const Bytes kModeOff = {0x1B, 0x21, 0x00};       // ESC ! 0: print mode all off
const Bytes kModeFontB = {0x1B, 0x21, 0x01};     // ESC ! 1: font B
const Bytes kJustifyLeft = {0x1B, 0x61, 0x00};   // ESC a 0
const Bytes kJustifyCenter = {0x1B, 0x61, 0x01}; // ESC a 1
const Bytes kSizeNormal = {0x1D, 0x21, 0x00};    // GS ! 0x00: 1 x 1
const Bytes kSizeWide = {0x1D, 0x21, 0x10};      // GS ! 0x10: width 2, height 1
const Bytes kReverseOn = {0x1D, 0x42, 0x01};     // GS B 1
const Bytes kReverseOff = {0x1D, 0x42, 0x00};    // GS B 0
const Bytes kUnderline1 = {0x1B, 0x2D, 0x01};    // ESC - 1

Bytes AbsolutePosition(int dots) {  // ESC $ nL nH
  return {0x1B, 0x24, static_cast<BYTE>(dots & 0xFF), static_cast<BYTE>(dots >> 8)};
}

struct Case {
  const char* name;
  std::string input;
  Bytes expected;     // printed output
  LONG printCode;     // what the translator returns when printing
  LONG validateCode;  // what ValidateData would report
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// Default receipt: font A 12 x 24 dots, 576-dot line, square dots, spacing 30.
const Case kCases[] = {
    {"PlainText", "Hello", ToBytes("Hello"), kOk, kOk},
    {"EmphasisLeftOnIsReset", "\x1b|bCBold", Concat({kBoldOn, ToBytes("Bold"), kModeOff}), kOk,
     kOk},
    // Once switched on in a call, the reset is due even when the data switched it off.
    {"EmphasisSwitchedOffStillReset", "\x1b|bCa\x1b|!bCb",
     Concat({kBoldOn, ToBytes("a"), kBoldOff, ToBytes("b"), kModeOff}), kOk, kOk},
    {"EmphasisOffAloneNeedsNoReset", "\x1b|!bCb", Concat({kBoldOff, ToBytes("b")}), kOk, kOk},
    // "x" is flushed at the split; the 2 doubled characters count 2 x 2 x 12 = 48 dots,
    // so the right-aligned segment starts at 576 - 48 = 528.
    {"DoubleWidthCountsTwice", "x\x1b|rA\x1b|2CAB",
     Concat({ToBytes("x"), AbsolutePosition(528), kSizeWide, ToBytes("AB"), kSizeNormal}), kOk,
     kOk},
    // Size 5 doubles both dimensions (GS ! 0x11) but each character counts once: 552.
    {"Size5CountsOnce", "x\x1b|rA\x1b|5CAB",
     Concat({ToBytes("x"), AbsolutePosition(552), {0x1D, 0x21, 0x11}, ToBytes("AB"),
             kSizeNormal}),
     kOk, kOk},
    {"Size2Point5ReadsAs2", "\x1b|2.5Cx", Concat({kSizeWide, ToBytes("x"), kSizeNormal}), kOk,
     kOk},
    // 9 is beyond GS !: written as 8 (0x70) and reported as approximated.
    {"HorizontalScale9IsClamped", "\x1b|9hCA",
     Concat({{0x1D, 0x21, 0x70}, ToBytes("A"), kSizeNormal}), kIllegal, kIllegal},
    {"ScaleZeroIsClamped", "\x1b|0vCA", Concat({{0x1D, 0x21, 0x00}, ToBytes("A"), kSizeNormal}),
     kIllegal, kIllegal},
    {"ScalesCombine", "\x1b|2hC\x1b|3vCx",
     Concat({kSizeWide, {0x1D, 0x21, 0x12}, ToBytes("x"), kSizeNormal}), kOk, kOk},
    {"NegatedScaleIsOne", "\x1b|!hC", Concat({kSizeNormal, kSizeNormal}), kOk, kOk},
    {"Underline3FallsBackTo1", "\x1b|3uCA", Concat({kUnderline1, ToBytes("A"), kModeOff}),
     kIllegal, kIllegal},
    {"Underline256IsNotOff", "\x1b|256uCA", Concat({kUnderline1, ToBytes("A"), kModeOff}),
     kIllegal, kIllegal},
    {"UnderlineWithoutNumberIsOneDot", "\x1b|uC", Concat({kUnderline1, kModeOff}), kOk, kOk},
    {"UnderlineOff", "\x1b|!uCx", Concat({{0x1B, 0x2D, 0x00}, ToBytes("x"), kModeOff}), kOk, kOk},
    {"ReverseIsReset", "\x1b|rvCx", Concat({kReverseOn, ToBytes("x"), kReverseOff}), kOk, kOk},
    {"ItalicAcceptedWithoutOutput", "\x1b|iCx\x1b|!iC", ToBytes("x"), kOk, kOk},
    {"UnknownCharacterLetters", "\x1b|zCx", ToBytes("\x1b|zCx"), kFailure, kFailure},
    // Resets come at the end in the order print mode, justification, size, reverse.
    {"AllResetsInOrder", "\x1b|bC\x1b|cA\x1b|2C\x1b|rvCx",
     Concat({kBoldOn, kJustifyCenter, kSizeWide, kReverseOn, ToBytes("x"), kModeOff,
             kJustifyLeft, kSizeNormal, kReverseOff}),
     kOk, kOk},
    {"NormalCancelsPrintModeReset", "\x1b|bCa\x1b|Nb",
     Concat({kBoldOn, ToBytes("a"), kModeOff, kJustifyLeft, ToBytes("b")}), kOk, kOk},
    {"NormalWithParameterDoesNothing", "\x1b|2Nx", ToBytes("x"), kOk, kOk},
    // Feeds.
    {"FeedLines", "\x1b|3lF", {0x1B, 0x64, 0x03}, kOk, kOk},
    {"FeedLinesWithoutNumberIsRefused", "\x1b|lF", ToBytes("\x1b|lF"), kFailure, kFailure},
    {"FeedLinesBeyond255IsShortened", "\x1b|300lF", {0x1B, 0x64, 0xFF}, kIllegal, kIllegal},
    {"HugeNumberSaturates", "\x1b|99999999999999999999999lF", {0x1B, 0x64, 0xFF}, kIllegal,
     kIllegal},
    // 300 dots: ESC J 255 then ESC J 45.
    {"FeedDots", "\x1b|300uF", {0x1B, 0x4A, 0xFF, 0x1B, 0x4A, 0x2D}, kOk, kOk},
    {"FeedOtherLetterIsRefused", "\x1b|3xF", ToBytes("\x1b|3xF"), kFailure, kFailure},
    // Cuts (the builder's cutter distance is 0 in these tests: ESC J 0 before GS V).
    {"FullCut", "\x1b|100P", {0x1B, 0x4A, 0x00, 0x1D, 0x56, 0x00}, kOk, kOk},
    {"PartialCut", "\x1b|50P", {0x1B, 0x4A, 0x00, 0x1D, 0x56, 0x01}, kOk, kOk},
    // fP first feeds the engine's cut distance: 2100 / (0.125 * 100) = 168 dots.
    {"FeedAndCut", "\x1b|75fP", {0x1B, 0x4A, 0xA8, 0x1B, 0x4A, 0x00, 0x1D, 0x56, 0x01}, kOk, kOk},
    {"CutAbove100IsRefused", "\x1b|101P", ToBytes("\x1b|101P"), kFailure, kFailure},
    {"CutOfZeroIsIllegalWhenValidating", "\x1b|0P", {0x1B, 0x4A, 0x00, 0x1D, 0x56, 0x01}, kOk,
     kIllegal},
    {"NegatedCutIsRefused", "\x1b|!50P", ToBytes("\x1b|!50P"), kFailure, kFailure},
    // Alignment.
    {"CenterAtLineStartJustifies", "\x1b|cAMid\n",
     Concat({kJustifyCenter, ToBytes("Mid\n"), kJustifyLeft}), kOk, kOk},
    {"SameAlignmentDoesNothing", "\x1b|lAx", ToBytes("x"), kOk, kOk},
    {"UnknownAlignmentIsRefused", "\x1b|qAx", ToBytes("\x1b|qAx"), kFailure, kFailure},
    // "Left" at the margin, "Right" (5 x 12 dots) flush right: 576 - 60 = 516.
    {"SplitLineRightSegment", "Left\x1b|rARight\n",
     Concat({ToBytes("Left"), AbsolutePosition(516), ToBytes("Right\n")}), kOk, kOk},
    // A second split positions the pending segment with its own alignment first.
    {"TwoSplits", "a\x1b|cAb\x1b|rAc\n",
     Concat({ToBytes("a"), AbsolutePosition(282), ToBytes("b"), AbsolutePosition(564),
             ToBytes("c\n")}),
     kOk, kOk},
    {"SplitAlignmentHoldsForNextLines", "a\x1b|rAb\nc\n",
     Concat({ToBytes("a"), AbsolutePosition(564), ToBytes("b\n"), AbsolutePosition(564),
             ToBytes("c\n")}),
     kOk, kOk},
    // Control bytes.
    {"TabPrintsNothing", "a\tb", ToBytes("ab"), kOk, kOk},
    {"FormFeedPrintsNothing", "a\fb", ToBytes("ab"), kFailure, kFailure},
    {"OtherControlBytesAreText", std::string("a\r\x00\x1b" "b", 5), ToBytes(std::string("a\r\x00\x1b" "b", 5)),
     kOk, kOk},
    // Typefaces (two fonts).
    {"TypefaceB", "\x1b|2fTx", Concat({kModeFontB, ToBytes("x"), kModeOff}), kOk, kOk},
    {"TypefaceDefault", "\x1b|0fTx", Concat({kModeOff, ToBytes("x")}), kOk, kOk},
    {"TypefaceBeyondFontCountIsRefused", "\x1b|3fTx", ToBytes("\x1b|3fTx"), kFailure, kFailure},
    {"TypefaceNeedsOneLetter", "\x1b|2Tx", ToBytes("\x1b|2Tx"), kFailure, kFailure},
    // ESC ! would end the emphasis, so the typeface keeps it.
    {"TypefaceKeepsEmphasis", "\x1b|bC\x1b|2fTx",
     Concat({kBoldOn, {0x1B, 0x21, 0x09}, ToBytes("x"), kModeOff}), kOk, kOk},
    {"TypefaceKeepsUnderline", "\x1b|2uC\x1b|2fTx",
     Concat({{0x1B, 0x2D, 0x02}, kModeFontB, {0x1B, 0x2D, 0x02}, ToBytes("x"), kModeOff}), kOk,
     kOk},
    // Data sequences.
    {"DirectDataIsNotPrinted", "a\x1b|3Exyzb", ToBytes("ab"), kOk, kOk},
    {"DirectDataWithLength", "a\x1b|*2Exyb", ToBytes("ab"), kOk, kOk},
    {"DirectDataNeedsLength", "\x1b|Ex", ToBytes("\x1b|Ex"), kFailure, kFailure},
    {"LogoWithoutContents", "\x1b|bLx", ToBytes("x"), kOk, kOk},
    {"LogoOtherLetterIsRefused", "\x1b|xL", ToBytes("\x1b|xL"), kFailure, kFailure},
    {"UnregisteredBitmapIsRefused", "\x1b|1B", ToBytes("\x1b|1B"), kFailure, kFailure},
    {"BitmapNumberOutOfRange", "\x1b|21B", ToBytes("\x1b|21B"), kFailure, kFailure},
    // Broken and unknown sequences print as text.
    {"UnknownCommandLetter", "a\x1b|Xb", ToBytes("a\x1b|Xb"), kFailure, kFailure},
    {"EscBarAtTheEnd", "ab\x1b|", ToBytes("ab\x1b|"), kFailure, kFailure},
    {"NoCommandLetter", "\x1b|12abc\n", ToBytes("\x1b|12abc\n"), kFailure, kFailure},
    {"BrokenSequenceThenValidOne", "\x1b|\x1b|bCx", Concat({ToBytes("\x1b|"), kBoldOn,
     ToBytes("x"), kModeOff}), kOk, kFailure},
    {"LaterAcceptedSequenceClearsVerdict", "\x1b|Xa\x1b|bC", Concat({ToBytes("\x1b|Xa"),
     kBoldOn, kModeOff}), kOk, kFailure},
    {"ApproximationThenRefusalFails", "\x1b|9hC\x1b|X", Concat({{0x1D, 0x21, 0x70},
     ToBytes("\x1b|X"), kSizeNormal}), kFailure, kFailure},
    {"EmptyData", "", {}, kOk, kOk},
};

class EscapeCases : public ::testing::TestWithParam<Case> {
 protected:
  TranslatorEngine engine;
};

TEST_P(EscapeCases, PrintsExpectedBytes) {
  const Case& c = GetParam();
  Bytes out;
  EXPECT_EQ(engine.Translate(c.input, false, &out), c.printCode);
  EXPECT_TRUE(SameBytes(out, c.expected));
}

TEST_P(EscapeCases, ValidatesWithExpectedCode) {
  const Case& c = GetParam();
  EXPECT_EQ(engine.Translate(c.input, true, nullptr), c.validateCode);
}

// Nothing of one call carries into the next.
TEST_P(EscapeCases, NextCallStartsClean) {
  const Case& c = GetParam();
  engine.Translate(c.input, false, nullptr);
  Bytes out;
  EXPECT_EQ(engine.Translate("Left\x1b|rARight", false, &out), kOk);
  EXPECT_TRUE(SameBytes(out, Concat({ToBytes("Left"), AbsolutePosition(516), ToBytes("Right")})));
}

INSTANTIATE_TEST_SUITE_P(Translator, EscapeCases, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Sequences with data for other parts ------------------------------------------------

TEST(EscapeBarcode, ParsesTheSequenceData) {
  TranslatorEngine engine;
  // s101 h200 w400 a-2 t-13 d + 12 digits + e = 33 bytes.
  const std::string data = "s101h200w400a-2t-13d012345678905e";
  ASSERT_EQ(data.size(), 33u);
  Bytes out;
  EXPECT_EQ(engine.Translate("A\x1b|33R" + data + "B", false, &out), kOk);
  ASSERT_EQ(engine.barcodes.size(), 1u);
  const auto& call = engine.barcodes[0];
  EXPECT_EQ(call.data, "012345678905");
  EXPECT_EQ(call.symbology, 101);
  EXPECT_EQ(call.height, 200);
  EXPECT_EQ(call.width, 400);
  EXPECT_EQ(call.alignment, -2);
  EXPECT_EQ(call.textPosition, -13);
  EXPECT_TRUE(SameBytes(out, ToBytes("A|B")));  // the symbol lands in the line
}

TEST(EscapeBarcode, LengthGivenWithStar) {
  TranslatorEngine engine;
  EXPECT_EQ(engine.Translate("\x1b|*20Rs104h50w2a+5t-11d12e", false, nullptr), kOk);
  ASSERT_EQ(engine.barcodes.size(), 1u);
  EXPECT_EQ(engine.barcodes[0].alignment, 5);
  EXPECT_EQ(engine.barcodes[0].textPosition, -11);
  EXPECT_EQ(engine.barcodes[0].data, "12");
}

struct BadBarcode {
  const char* name;
  std::string sequence;
};

void PrintTo(const BadBarcode& c, std::ostream* os) { *os << c.name; }

const BadBarcode kBadBarcodes[] = {
    {"LastByteNotE", "\x1b|20Rs104h50w2a+5t-11d12x"},
    {"LengthBeyondData", "\x1b|40Rs104h50w2a+5t-11d12e"},
    {"MissingHeight", "\x1b|16Rs104w2a+5t-11d1e"},
    {"FieldsOutOfOrder", "\x1b|20Rh50s104w2a+5t-11d12e"},
    {"EmptyNumber", "\x1b|19Rs104h50w2a+t-11d12e"},
    {"NoDataTag", "\x1b|19Rs104h50w2a+5t-1112e"},
    {"ZeroLength", "\x1b|0R"},
};

class EscapeBadBarcode : public ::testing::TestWithParam<BadBarcode> {};

TEST_P(EscapeBadBarcode, IsPrintedAsTextAndRefused) {
  TranslatorEngine engine;
  const std::string& sequence = GetParam().sequence;
  Bytes out;
  EXPECT_EQ(engine.Translate(sequence, false, &out), kFailure);
  EXPECT_TRUE(engine.barcodes.empty());
  EXPECT_TRUE(SameBytes(out, ToBytes(sequence)));
  EXPECT_EQ(engine.Translate(sequence, true, nullptr), kFailure);
}

INSTANTIATE_TEST_SUITE_P(Translator, EscapeBadBarcode, ::testing::ValuesIn(kBadBarcodes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EscapeBitmap, RegisteredBitmapIsFormattedIntoTheLine) {
  TranslatorEngine engine;
  engine.RegisterBitmap(3);
  Bytes out;
  EXPECT_EQ(engine.Translate("a\x1b|3Bb", false, &out), kOk);
  EXPECT_TRUE(SameBytes(out, ToBytes("a#b")));
  EXPECT_EQ(engine.bitmapsFormatted, std::vector<LONG>{3});
  // A dry run formats nothing but accepts the sequence.
  EXPECT_EQ(engine.Translate("\x1b|3B", true, nullptr), kOk);
  EXPECT_EQ(engine.bitmapsFormatted.size(), 1u);
  EXPECT_EQ(engine.Translate("\x1b|!3B", true, nullptr), kFailure);
}

TEST(EscapeLogo, TopLogoIsCopiedIntoTheLine) {
  TranslatorEngine engine;
  engine.SetTopLogo("\x1b\x61\x01LOGO\n");
  Bytes out;
  EXPECT_EQ(engine.Translate("\x1b|tLx", false, &out), kOk);
  EXPECT_TRUE(SameBytes(out, ToBytes("\x1b\x61\x01LOGO\nx")));
}

// --- Modes and models -------------------------------------------------------------------

TEST(EscapeModes, PageModeFeedsInsteadOfLineFeeds) {
  TranslatorEngine engine;
  engine.SetPageMode(1);
  Bytes out;
  // Alignment is only stored in page mode; LF becomes ESC J 30, FF ESC J 0.
  EXPECT_EQ(engine.Translate("\x1b|cAx\ny\f", false, &out), kOk);
  EXPECT_TRUE(SameBytes(out, Concat({ToBytes("x"), {0x1B, 0x4A, 0x1E}, ToBytes("y"),
                                     {0x1B, 0x4A, 0x00}})));
  // Any alignment letter is accepted there.
  EXPECT_EQ(engine.Translate("\x1b|zA", true, nullptr), kOk);
  // A form feed cannot be judged before the page is laid out.
  EXPECT_EQ(engine.Translate("x\f", true, nullptr), kIllegal);
}

TEST(EscapeModes, RotatedPrintingKeepsJustificationAtTheEnd) {
  TranslatorEngine engine;
  engine.SetRotateRight90(1);
  Bytes out;
  EXPECT_EQ(engine.Translate("\x1b|cAx", false, &out), kOk);
  EXPECT_TRUE(SameBytes(out, Concat({kJustifyCenter, ToBytes("x")})));
}

TEST(EscapeModes, ReceiptOnFontBKeepsFontBOnResets) {
  TranslatorEngine engine;
  engine.UseFont(1);
  Bytes out;
  EXPECT_EQ(engine.Translate("\x1b|bCa\x1b|Nb\x1b|uC", false, &out), kOk);
  EXPECT_TRUE(SameBytes(out, Concat({kBoldOn, ToBytes("a"), kModeFontB, kJustifyLeft,
                                     ToBytes("b"), kUnderline1, kModeFontB})));
}

TEST(EscapeModes, FeedDotsFollowVerticalPitch) {
  TranslatorEngine engine;
  engine.SetDotPitch(0.125f, 0.0625f);  // vertical dots half as tall
  Bytes out;
  EXPECT_EQ(engine.Translate("\x1b|100uF", false, &out), kOk);
  EXPECT_TRUE(SameBytes(out, {0x1B, 0x4A, 0xC8}));  // ESC J 200
}

TEST(EscapeModes, SidewaysFeedDotsFollowHorizontalPitch) {
  TranslatorEngine engine;
  engine.SetDotPitch(0.125f, 0.0625f);
  engine.SetRotateRight90(1);  // the feed now runs across the printed lines
  Bytes out;
  EXPECT_EQ(engine.Translate("\x1b|100uF", false, &out), kOk);
  EXPECT_TRUE(SameBytes(out, {0x1B, 0x4A, 0x64}));  // ESC J 100
}

TEST(EscapeModes, FontBCellOnTallDotsCountsNineDots) {
  TranslatorEngine engine;
  engine.SetDotPitch(0.125f, 0.0625f);
  Bytes out;
  // Font B is 9 dots wide: two characters end 18 dots from the right edge.
  EXPECT_EQ(engine.Translate("a\x1b|rA\x1b|2fTbc", false, &out), kOk);
  EXPECT_TRUE(SameBytes(out, Concat({ToBytes("a"), AbsolutePosition(576 - 18), kModeFontB,
                                     ToBytes("bc"), kModeOff})));
}

TEST(EscapeModes, CutNeedsACutter) {
  TranslatorEngine engine;
  engine.SetPapercut(0);
  Bytes out;
  EXPECT_EQ(engine.Translate("\x1b|100P", false, &out), kFailure);
  EXPECT_TRUE(SameBytes(out, ToBytes("\x1b|100P")));
}

TEST(EscapeModes, RefusesToWorkInItsOwnLineBuffer) {
  TranslatorEngine engine;
  PrinterBuffer same(32, 32);
  same.AppendBytes("x", 1);
  EXPECT_EQ(engine.FormatStringToOutBuffer(same, same, 0), kFailure);
}

}  // namespace

// Font choice, receipt metrics, print-mode helpers and segment positions.
#include <gtest/gtest.h>

#include "EscapeTestSupport.h"

namespace {

using zanth::test::Bytes;
using zanth::test::SameBytes;
using zanth::test::TranslatorEngine;

struct FontChoice {
  LONG lineChars;
  int font;  // 0 font A (12 dots), 1 font B (9 dots), 0xFF none
};

// 576-dot line: the wanted cell is 576 / n dots.
const FontChoice kFontChoices[] = {
    {1, 0},      // everything fits: the widest
    {48, 0},     // 12 dots: font A exactly
    {49, 1},     // 11 dots: only B fits
    {50, 1},     //
    {64, 1},     // 9 dots: font B exactly
    {65, 0xFF},  // 8 dots: nothing is narrow enough
    {0, 0xFF},   // no such line
    {-3, 0xFF},  //
};

void PrintTo(const FontChoice& f, std::ostream* os) { *os << f.lineChars << " chars"; }

class SelectFontTest : public ::testing::TestWithParam<FontChoice> {};

TEST_P(SelectFontTest, ChoosesTheWidestFittingFont) {
  TranslatorEngine engine;
  EXPECT_EQ(engine.SelectFont(GetParam().lineChars), GetParam().font);
}

INSTANTIATE_TEST_SUITE_P(Fonts, SelectFontTest, ::testing::ValuesIn(kFontChoices));

TEST(SelectFont, EmptyTableGivesFontZero) {
  TranslatorEngine engine;
  engine.ClearFonts();
  EXPECT_EQ(engine.SelectFont(48), 0);
  EXPECT_EQ(engine.SelectMinFont(), 0);
}

TEST(SelectFont, MinFontIsTheNarrowest) {
  TranslatorEngine engine;
  EXPECT_EQ(engine.SelectMinFont(), 1);
}

struct Metrics {
  int font;
  LONG lineChars, lineHeight, lineSpacing, linesToCut;
};

// Cut distance 2100, pitch 0.125: font A spacing 30 gives 210 / 3.75 = 56 -> 5 + 1 = 6;
// font B spacing 21 gives 210 / 2.625 = 80 -> 8 + 1 = 9.
const Metrics kMetrics[] = {
    {0, 48, 24, 30, 6},
    {1, 64, 17, 21, 9},
};

void PrintTo(const Metrics& m, std::ostream* os) { *os << "font " << m.font; }

class SetFontTest : public ::testing::TestWithParam<Metrics> {};

TEST_P(SetFontTest, RecomputesReceiptMetrics) {
  TranslatorEngine engine;
  const Metrics& m = GetParam();
  engine.UseFont(1 - m.font);  // start from the other font
  engine.UseFont(m.font);
  EXPECT_EQ(engine.RecLineChars(), m.lineChars);
  EXPECT_EQ(engine.RecLineHeight(), m.lineHeight);
  EXPECT_EQ(engine.RecLineSpacing(), m.lineSpacing);
  EXPECT_EQ(engine.RecLineWidth(), 576);
  EXPECT_EQ(engine.RecLinesToPaperCut(), m.linesToCut);
}

INSTANTIATE_TEST_SUITE_P(Fonts, SetFontTest, ::testing::ValuesIn(kMetrics));

TEST(SetFont, SidewaysLinesKeepTheirWidth) {
  TranslatorEngine engine;
  engine.SetPageMode(1);
  engine.SetPageDirection(2);  // bottom to top: lines run along the paper
  engine.UseFont(1);
  EXPECT_EQ(engine.RecLineChars(), 48);
  EXPECT_EQ(engine.RecLineHeight(), 17);
  engine.SetPageDirection(1);
  engine.UseFont(1);
  EXPECT_EQ(engine.RecLineChars(), 64);
}

struct ModeByte {
  BYTE mode;
  int doubleByte;
  int fontB, bold, underline, doubleHeight, doubleWidth;
};

const ModeByte kModeBytes[] = {
    {0x00, 0, 0, 0, 0, 0, 0},
    {0x01, 0, 1, 0, 0, 0, 0},  // bit 0 font B
    {0x08, 0, 0, 1, 0, 0, 0},  // bit 3 emphasized
    {0x80, 0, 0, 0, 1, 0, 0},  // bit 7 underline
    {0x10, 0, 0, 0, 0, 1, 0},  // bit 4 double height
    {0x20, 0, 0, 0, 0, 0, 1},  // bit 5 double width
    {0x08, 1, 0, 1, 0, 1, 0},  // FS !: bit 3 double height
    {0x04, 1, 0, 0, 0, 0, 1},  // FS !: bit 2 double width
    {0xB9, 0, 1, 1, 1, 1, 1},  // all of them
};

void PrintTo(const ModeByte& m, std::ostream* os) {
  *os << "mode " << int{m.mode} << (m.doubleByte ? " double-byte" : "");
}

class ModeByteTest : public ::testing::TestWithParam<ModeByte> {};

TEST_P(ModeByteTest, DecodesEachBit) {
  TranslatorEngine engine;
  const ModeByte& m = GetParam();
  EXPECT_EQ(engine.IsFontB(m.mode), m.fontB);
  EXPECT_EQ(engine.IsBold(m.mode), m.bold);
  EXPECT_EQ(engine.IsUnderline(m.mode), m.underline);
  EXPECT_EQ(engine.IsDoubleHeight(m.mode, m.doubleByte), m.doubleHeight);
  EXPECT_EQ(engine.IsDoubleWidth(m.mode, m.doubleByte), m.doubleWidth);
}

INSTANTIATE_TEST_SUITE_P(Modes, ModeByteTest, ::testing::ValuesIn(kModeBytes));

TEST(ModeByte, ItalicOnlyWithTheCapability) {
  TranslatorEngine engine;
  EXPECT_EQ(engine.IsItalic(0x04), 0);  // the receipt has no italic
}

struct Position {
  char letter;
  LONG width;
  Bytes expected;
};

const Position kPositions[] = {
    {'r', 100, {0x1B, 0x24, 0xDC, 0x01}},  // ESC $ 476
    {'c', 100, {0x1B, 0x24, 0xEE, 0x00}},  // ESC $ 238
    {'c', 101, {0x1B, 0x24, 0xED, 0x00}},  // ESC $ 237: halves round down
    {'l', 100, {0x1B, 0x24, 0x00, 0x00}},  // ESC $ 0
    {'l', 900, {0x1B, 0x24, 0x00, 0x00}},  //
    {'r', 576, {}},                        // a full line stays where it is
    {'c', 900, {}},                        //
    {'N', 10, {}},                         // other letters place nothing
};

void PrintTo(const Position& p, std::ostream* os) { *os << p.letter << ' ' << p.width; }

class SelectHPosTest : public ::testing::TestWithParam<Position> {};

TEST_P(SelectHPosTest, PlacesTheSegment) {
  TranslatorEngine engine;
  PrinterBuffer out(32, 32);
  engine.SelectHPosInStd(out, GetParam().letter, GetParam().width);
  EXPECT_TRUE(SameBytes(Bytes(out.Data(), out.Data() + out.Size()), GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Segments, SelectHPosTest, ::testing::ValuesIn(kPositions));

TEST(PrintMode, SelectPrintModeRemembersTheModeByte) {
  TranslatorEngine engine;
  PrinterBuffer out(32, 32);
  engine.SelectPrintMode(out, 1, 0, 1, 0, 1, 1);
  // ESC ! (01 font B | 08 emphasized | 20 double width | 80 underline)
  EXPECT_TRUE(SameBytes(Bytes(out.Data(), out.Data() + out.Size()), {0x1B, 0x21, 0xA9}));
  EXPECT_EQ(engine.LastPrintMode(), 0xA9);
}

TEST(PrintMode, ClearFormatKeepsTheReceiptFont) {
  TranslatorEngine engine;
  PrinterBuffer out(32, 32);
  engine.ClearFormatInStd(out);
  const Bytes fontA = {
      0x1B, 0x61, 0x00,        // ESC a 0: left
      0x1D, 0x4C, 0x00, 0x00,  // GS L 0: no left margin
      0x1B, 0x21, 0x00,        // ESC ! 0: attributes off
  };
  EXPECT_TRUE(SameBytes(Bytes(out.Data(), out.Data() + out.Size()), fontA));

  engine.UseFont(1);
  out.Resize(0);
  engine.ClearFormatInStd(out);
  Bytes fontB = fontA;
  fontB.back() = 0x01;  // ESC ! 1: attributes off on font B
  EXPECT_TRUE(SameBytes(Bytes(out.Data(), out.Data() + out.Size()), fontB));
}

}  // namespace

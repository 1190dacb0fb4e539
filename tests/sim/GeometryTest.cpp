// Geometry from the printer's side: model widths and dot pitch, motion units, line-start
// settings, the cutter's distance, HRI check digits and code tables.
#include <gtest/gtest.h>

#include <string>

#include "SimTestUtil.h"
#include "sim/VirtualPrinter.h"

namespace zanth::sim {
namespace {

using test::Cat;
using test::Str;

struct FeedCase {
  const char* name;
  const char* model;  // "" = the default configuration
  Bytes bytes;
  int height;         // of the current page
};
std::ostream& operator<<(std::ostream& os, const FeedCase& c) { return os << c.name; }

// "A" LF after ESC 3 60, then ESC J 100: whole-dot units give 60 + 100, half-dot units 30 + 50.
const Bytes kSpacingJob = {0x1B, 0x33, 60, 'A', 0x0A, 0x1B, 0x4A, 100};
const FeedCase kFeeds[] = {
    {"DefaultWholeDots", "", kSpacingJob, 160},
    {"TmT88ivHalfDots", "TM-T88IV", kSpacingJob, 80},
    {"EightyMmHalfDots", "KR-11", kSpacingJob, 80},
    {"FiftyEightMmWholeDots", "ZQ-2A", kSpacingJob, 160},
    {"GsPSetsWholeDotVerticalUnits", "TM-T88IV", Cat({{0x1D, 0x50, 0, 180}, kSpacingJob}), 160},
    {"GsPZeroRestoresTheDefault", "TM-T88IV", Cat({{0x1D, 0x50, 0, 180, 0x1D, 0x50, 0, 0}, kSpacingJob}), 80},
    {"EscAtRestoresTheUnits", "TM-T88IV", Cat({{0x1D, 0x50, 0, 180, 0x1B, 0x40}, kSpacingJob}), 80},
    // Three half dots are one dot and a half: a whole dot on paper, the half carried on.
    {"HalfDotsAddUp", "TM-T88IV", {0x1B, 0x4A, 1, 0x1B, 0x4A, 1, 0x1B, 0x4A, 1}, 1},
    {"HalfDotsAddUpToWholeOnes", "TM-T88IV", {0x1B, 0x4A, 1, 0x1B, 0x4A, 1, 0x1B, 0x4A, 1, 0x1B, 0x4A, 1}, 2},
    // ESC W y and dy are vertical units: 100 and 200 half dots put the page's end at 150 dots.
    {"PageAreaInVerticalUnits", "TM-T88IV", Cat({{0x1B, 0x4C, 0x1B, 0x57, 0, 0, 100, 0, 200, 0, 200, 0}, Str("P"), {0x0C}}), 150},
};

class Feeds : public ::testing::TestWithParam<FeedCase> {};

TEST_P(Feeds, VerticalMotionUnitsOfTheModel) {
  const FeedCase& c = GetParam();
  VirtualPrinter p(*c.model ? PrinterConfig::ForModel(c.model) : PrinterConfig{});
  p.Feed(c.bytes);
  for (auto& cmd : p.Log()) EXPECT_FALSE(cmd.malformed) << cmd.ToString();
  EXPECT_EQ(p.CurrentPage().height, c.height);
}

INSTANTIATE_TEST_SUITE_P(Units, Feeds, ::testing::ValuesIn(kFeeds), [](const auto& info) { return std::string(info.param.name); });

TEST(Geometry, PaperIsTheModelsPrintWidth) {
  const struct { const char* model; int width, dpi; } rows[] = {
      {"TM-T88IV", 512, 180}, {"KR-11", 576, 203}, {"ZQ-2A", 384, 203}, {"K15SMB", 576, 203}, {"TM-T88IIM", 576, 180}};
  for (auto& r : rows) {
    SCOPED_TRACE(r.model);
    PrinterConfig cfg = PrinterConfig::ForModel(r.model);
    EXPECT_EQ(cfg.paperWidthDots, r.width);
    EXPECT_EQ(cfg.dpi, r.dpi);
    cfg.packetFraming = false;  // bytes fed bare
    VirtualPrinter p(cfg);
    // One character more than a line holds wraps onto a second line.
    std::size_t perLine = std::size_t(r.width / cfg.fontAWidth);
    p.Feed(Cat({Str(std::string(perLine, 'X')), {0x0A}, Str(std::string(perLine + 1, 'X')), {0x0A}}));
    EXPECT_EQ(p.ReceiptImage().width, r.width);
    EXPECT_EQ(p.CurrentPage().height, 3 * cfg.defaultLineSpacing);
  }
  // 21 mm at 0.141 mm: the TM-T88IV's cutter sits 149 dots above its print line.
  EXPECT_EQ(PrinterConfig::ForModel("TM-T88IV").cutterDistanceDots, 149);
}

TEST(Geometry, HorizontalUnitsMoveThePosition) {
  // GS P 90 0 on a 180-dpi head: ESC $ 50 is 100 dots, GS L 10 is 20 dots.
  VirtualPrinter p(PrinterConfig::ForModel("TM-T88IV"));
  p.Feed(Bytes{0x1D, 0x50, 90, 0, 0x1B, 0x24, 50, 0, 'I', 0x0A, 0x1D, 0x4C, 10, 0, 'I', 0x0A});
  Image page = p.CurrentPage();
  int x0, y0, x1, y1;
  ASSERT_TRUE(page.BlackBounds(x0, y0, x1, y1));
  EXPECT_EQ(page.CountBlack(0, 0, 100, 30), 0);
  EXPECT_GT(page.CountBlack(100, 0, 112, 30), 0);
  EXPECT_EQ(page.CountBlack(0, 30, 20, 60), 0);
  EXPECT_GT(page.CountBlack(20, 30, 32, 60), 0);
}

struct LineStartCase {
  const char* name;
  Bytes bytes;
  int inkFrom, inkTo;  // x range that holds all ink of "ABCD"
};
const LineStartCase kLineStart[] = {
    {"EscAAtTheStart", {0x1B, 0x61, 2, 'A', 'B', 'C', 'D', 0x0A}, 576 - 48, 576},
    {"EscAMidLineIsIgnored", {'A', 'B', 0x1B, 0x61, 2, 'C', 'D', 0x0A}, 0, 48},
    {"EscAMidLineThenTheNextLine", {'A', 'B', 0x1B, 0x61, 2, 'C', 'D', 0x0A, 0x1B, 0x61, 1}, 0, 48},
    {"EscBraceMidLineIsIgnored", {'A', 'B', 0x1B, 0x7B, 1, 'C', 'D', 0x0A}, 0, 48},
    {"EscBraceAtTheStart", {0x1B, 0x7B, 1, 'A', 'B', 'C', 'D', 0x0A}, 576 - 48, 576},
};

TEST(Geometry, JustificationAndUpsideDownTakeEffectAtTheStartOfALine) {
  for (auto& c : kLineStart) {
    SCOPED_TRACE(c.name);
    VirtualPrinter p;
    p.Feed(c.bytes);
    Image page = p.CurrentPage();
    EXPECT_EQ(page.CountBlack(0, 0, c.inkFrom, page.height), 0);
    EXPECT_EQ(page.CountBlack(c.inkTo, 0, page.width, page.height), 0);
    EXPECT_GT(page.CountBlack(c.inkFrom, 0, c.inkTo, page.height), 40);
  }
}

TEST(Geometry, CutterSitsAboveThePrintLine) {
  PrinterConfig cfg = PrinterConfig::ForModel("TM-T88IV");
  const int cutter = cfg.cutterDistanceDots;
  const Bytes text = {'L', 'A', 'S', 'T', 0x0A};  // 30 dots of paper
  const struct { const char* name; Bytes cut; int pageInk; bool carried; } rows[] = {
      // A cut with no feed goes through the cutter's distance above the line: the last line
      // ends up at the top of the next receipt.
      {"CutWithoutFeed", {0x1D, 0x56, 0x00}, 0, true},
      {"FeedShortOfTheCutter", {0x1B, 0x4A, 100, 0x1D, 0x56, 0x00}, 0, true},  // 50 dots < 149
      {"FeedToTheCutterAndCut", {0x1D, 0x56, 0x41, 0x00}, 1, false},
      {"FeedPastTheCutter", {0x1B, 0x4A, 255, 0x1B, 0x4A, 255, 0x1D, 0x56, 0x01}, 1, false},
  };
  for (auto& r : rows) {
    SCOPED_TRACE(r.name);
    VirtualPrinter p(cfg);
    p.Feed(Cat({text, r.cut}));
    ASSERT_EQ(p.Pages().size(), 1u);
    Image page = p.Pages()[0], rest = p.CurrentPage();
    int cutRow = page.height - 1;
    EXPECT_EQ(page.CountBlack(0, 0, page.width, cutRow) > 0, r.pageInk > 0);
    EXPECT_EQ(rest.CountBlack() > 0, r.carried);
    if (r.carried) {
      EXPECT_LE(rest.height, cutter);
    }
  }
}

TEST(Geometry, HriOfEanAndUpcCarriesTheCheckDigit) {
  // The label below the bars: as many 12-dot cells as digits, check digit included.
  const struct { const char* name; std::uint8_t m; std::string data; int digits; } rows[] = {
      {"Ean13", 67, "400638133393", 13}, {"Ean13WithCheck", 67, "4006381333931", 13}, {"Ean8", 68, "9638507", 8},
      {"UpcA", 65, "03600029145", 12},
      {"Ean13FormatOne", 2, "400638133393", 13},
  };
  for (auto& r : rows) {
    SCOPED_TRACE(r.name);
    VirtualPrinter p;
    Bytes cmd = r.m <= 6 ? Cat({{0x1D, 0x6B, r.m}, Str(r.data), {0}}) : Cat({{0x1D, 0x6B, r.m, std::uint8_t(r.data.size())}, Str(r.data)});
    p.Feed(Cat({{0x1D, 0x48, 2, 0x1D, 0x68, 40, 0x1D, 0x77, 2}, cmd}));
    for (auto& c : p.Log()) ASSERT_FALSE(c.malformed) << c.ToString();
    Image page = p.CurrentPage();
    Image label(page.width, 24);
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < page.width; ++x) label.Set(x, y, page.At(x, page.height - 24 + y));
    int x0, y0, x1, y1;
    ASSERT_TRUE(label.BlackBounds(x0, y0, x1, y1));
    EXPECT_GT(x1 - x0, (r.digits - 1) * 12);
    EXPECT_LE(x1 - x0, r.digits * 12);
  }
}

TEST(Geometry, CodeTablesPrintTheirCharacters) {
  auto glyph = [](const Bytes& bytes) {
    VirtualPrinter p;
    p.Feed(Cat({bytes, {0x0A}}));
    return p.CurrentPage();
  };
  Image question = glyph({'?'});
  const struct { int table; std::uint8_t byte; bool blank; } rows[] = {
      {1, 0xB1, false},   // katakana A (a box when the font has no katakana)
      {11, 0xA4, false},  // PC851 Greek
      {32, 0xA0, false},  // PC720 Arabic
      {13, 0x80, false},  // PC857
      {46, 0xC0, false},  // WPC1251 Cyrillic
      {45, 0x8A, false},  // WPC1250
      {255, 0x90, true},  // the user-defined page with nothing downloaded
  };
  for (auto& r : rows) {
    SCOPED_TRACE(r.table);
    Image page = glyph({0x1B, 0x74, std::uint8_t(r.table), r.byte});
    EXPECT_NE(page.dots, question.dots) << "printed as \"?\"";
    EXPECT_EQ(page.CountBlack() == 0, r.blank);
  }
}

}  // namespace
}  // namespace zanth::sim

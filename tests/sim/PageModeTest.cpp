// Page mode, rotation and the second model's ruled lines and curved text, checked on paper.
#include <gtest/gtest.h>

#include <string>

#include "SimTestUtil.h"
#include "sim/VirtualPrinter.h"

namespace zanth::sim {
namespace {

using test::Cat;
using test::Str;

TEST(PageModeData, BufferedTextSurvivesWhatFollows) {
  // ESC L, area (0,0)-(200x100), "AB" with no line feed, then a command, "CD" LF, FF.
  const Bytes start = {0x1B, 0x4C, 0x1B, 0x57, 0, 0, 0, 0, 200, 0, 100, 0, 'A', 'B'};
  const struct { const char* name; Bytes next; int cdX0, cdX1; } rows[] = {
      {"AnotherArea", {0x1B, 0x57, 0x2C, 0x01, 0, 0, 200, 0, 100, 0}, 300, 330},
      {"AnotherDirection", {0x1B, 0x54, 0x02}, 170, 200},  // right to left from the lower right
      {"AVerticalPosition", {0x1D, 0x24, 80, 0}, 0, 30},
  };
  for (auto& r : rows) {
    SCOPED_TRACE(r.name);
    VirtualPrinter p;
    p.Feed(Cat({start, r.next, Str("CD"), {0x0A, 0x0C}}));
    Image page = p.CurrentPage();
    EXPECT_GT(page.CountBlack(0, 0, 24, 24), 20) << "AB was dropped";
    EXPECT_GT(page.CountBlack(r.cdX0, 0, r.cdX1, page.height), 20) << "CD is not where it belongs";
  }
}

// Black-to-white changes along a row (dx = 1) or a column (dy = 1) inside a box.
int Transitions(const Image& img, int x0, int y0, int x1, int y1, bool alongRows) {
  int n = 0;
  for (int a = alongRows ? y0 : x0; a < (alongRows ? y1 : x1); ++a)
    for (int b = (alongRows ? x0 : y0) + 1; b < (alongRows ? x1 : y1); ++b) {
      bool here = alongRows ? img.At(b, a) : img.At(a, b), before = alongRows ? img.At(b - 1, a) : img.At(a, b - 1);
      n += here != before;
    }
  return n;
}

TEST(Rotation, BarcodeInATurnedPageHasHorizontalBars) {
  const Bytes barcode = {0x1D, 0x68, 60, 0x1D, 0x77, 2, 0x1D, 0x6B, 0x49, 0x05, '{', 'B', 'A', 'B', 'C'};
  const struct { const char* name; std::uint8_t dir; bool barsHorizontal; } rows[] = {
      {"LeftToRight", 0, false}, {"TopToBottom", 3, true}, {"BottomToTop", 1, true}, {"RightToLeft", 2, false}};
  for (auto& r : rows) {
    SCOPED_TRACE(r.name);
    VirtualPrinter p;
    p.Feed(Cat({{0x1B, 0x4C, 0x1B, 0x57, 0, 0, 0, 0, 0x40, 0x02, 0x40, 0x02, 0x1B, 0x54, r.dir}, barcode, {0x0C}}));
    Image page = p.CurrentPage();
    int x0, y0, x1, y1;
    ASSERT_TRUE(page.BlackBounds(x0, y0, x1, y1));
    int alongRows = Transitions(page, x0, y0, x1, y1, true), alongColumns = Transitions(page, x0, y0, x1, y1, false);
    EXPECT_EQ(alongColumns > alongRows, r.barsHorizontal) << alongRows << " / " << alongColumns;
  }
}

// In a turned page the lines advance across the paper: ESC J and ESC 3 count horizontal
// units there, so a model with half-dot vertical units spaces them as a whole-dot one does.
TEST(Rotation, TurnedPageFeedsCountHorizontalUnits) {
  const struct { const char* name; Bytes before, separator; } rows[] = {
      {"FeedDots", {}, {0x1B, 0x4A, 30}},
      {"LineSpacing", {0x1B, 0x33, 30}, {0x0A}},
  };
  for (auto& r : rows) {
    SCOPED_TRACE(r.name);
    int widths[2] = {0, 0};
    int i = 0;
    for (const char* model : {"KR-11", ""}) {
      VirtualPrinter p(PrinterConfig::ForModel(model));
      p.Feed(Cat({r.before, {0x1B, 0x4C, 0x1B, 0x57, 0, 0, 0, 0, 0x40, 0x02, 0x90, 0x01, 0x1B, 0x54, 3},
                  Str("A"), r.separator, Str("B"), r.separator, {0x0C}}));
      int x0, y0, x1, y1;
      ASSERT_TRUE(p.CurrentPage().BlackBounds(x0, y0, x1, y1));
      widths[i++] = x1 - x0;
    }
    EXPECT_GT(widths[1], 30);
    EXPECT_EQ(widths[0], widths[1]);
  }
}

TEST(Rotation, EscVTurnsCharactersClockwise) {
  VirtualPrinter p;
  // An upright L: stroke on the left, bar at the bottom. Turned clockwise: the stroke runs
  // along the top, the bar down the left side, and the cell is 24 wide and 12 high.
  p.Feed(Bytes{0x1B, 0x56, 0x01, 'L', 0x0A});
  Image page = p.CurrentPage();
  int x0, y0, x1, y1;
  ASSERT_TRUE(page.BlackBounds(x0, y0, x1, y1));
  EXPECT_GT(x1 - x0, y1 - y0);
  EXPECT_LE(x1, 24);
  EXPECT_GT(page.CountBlack(x0, y0, x1, y0 + 3), page.CountBlack(x0, y1 - 3, x1, y1));
  EXPECT_GT(page.CountBlack(x0, y0, x0 + 3, y1), page.CountBlack(x1 - 3, y0, x1, y1));
}

TEST(SecondModel, CurvedTextArchesOrBends) {
  // Characters of 12 dots; however long the text (its arc spans a quarter circle), its
  // first character begins at x.
  const struct { const char* text; int x, right; } texts[] = {
      {"CURVEDTEXT", 100, 220}, {"A MUCH LONGER TEXT BENT OVER ITS OWN ARC", 48, 486}};
  for (const auto& t : texts) {
    for (std::uint8_t layout : {0, 1}) {
      SCOPED_TRACE(std::string(t.text) + " " + std::to_string(layout));
      VirtualPrinter p;
      p.Feed(Cat({{0x1D, 0x22, layout, std::uint8_t(t.x), 0}, Str(t.text), {0x00}}));
      ASSERT_FALSE(p.Log()[0].malformed) << p.Log()[0].ToString();
      Image page = p.CurrentPage();
      int x0, y0, x1, y1;
      ASSERT_TRUE(page.BlackBounds(x0, y0, x1, y1));
      EXPECT_NEAR(x0, t.x, 4);
      EXPECT_NEAR(x1, t.right, 12);
      // Where the ink starts in the middle against at the ends.
      auto top = [&](int from, int to) {
        for (int y = 0; y < page.height; ++y)
          if (page.CountBlack(from, y, to, y + 1) > 0) return y;
        return page.height;
      };
      const int centre = (x0 + x1) / 2;
      int middle = top(centre - 10, centre + 10), ends = std::min(top(x0, x0 + 12), top(x1 - 12, x1));
      if (layout == 0) EXPECT_LT(middle + 5, ends) << "an arch is highest in the middle";
      else EXPECT_GT(middle, ends + 5) << "a bend is lowest in the middle";
    }
  }
  // Any other layout prints nothing.
  VirtualPrinter q;
  q.Feed(Cat({{0x1D, 0x22, 2, 0, 0}, Str("X"), {0x00}}));
  EXPECT_EQ(q.CurrentPage().CountBlack(), 0);
}

TEST(SecondModel, RuledLinesDrawATable) {
  VirtualPrinter p(PrinterConfig::ForModel("TM-T88IIM"));
  auto segments = [](std::initializer_list<std::pair<int, int>> list) {
    Bytes b = {0x1D, 0x27, std::uint8_t(list.size())};
    for (auto [from, to] : list) b.insert(b.end(), {std::uint8_t(from), std::uint8_t(from >> 8), std::uint8_t(to), std::uint8_t(to >> 8)});
    return b;
  };
  Bytes job = segments({{0, 400}});
  for (int i = 0; i < 20; ++i) job = Cat({job, segments({{0, 0}, {200, 200}, {400, 400}})});
  job = Cat({job, segments({{0, 150}, {250, 400}})});
  p.Feed(job);
  Image page = p.CurrentPage();
  ASSERT_EQ(page.height, 22);
  EXPECT_EQ(page.CountBlack(0, 0, page.width, 1), 401);
  for (int y = 1; y <= 20; ++y) {
    EXPECT_EQ(page.CountBlack(0, y, page.width, y + 1), 3) << "row " << y;
    EXPECT_TRUE(page.At(200, y));
  }
  EXPECT_EQ(page.CountBlack(0, 21, page.width, 22), 151 + 151);
  EXPECT_EQ(page.CountBlack(151, 21, 250, 22), 0);
}

}  // namespace
}  // namespace zanth::sim

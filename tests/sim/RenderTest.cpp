// Rendering: images dot for dot, text cells per alignment, symbols decoded back, page mode, cuts.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "sim/VirtualPrinter.h"

namespace zanth::sim {
namespace {

constexpr int kWidth = 576;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A raster pattern of w x h dots (w a multiple of 8), rows of w / 8 bytes, bit 7 leftmost.
Bytes Pattern(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(std::size_t(w / 8 * h));
  for (auto& x : b) x = std::uint8_t(rng());
  return b;
}

bool RasterDot(const Bytes& raster, int w, int x, int y) { return raster[std::size_t(y * (w / 8) + x / 8)] & (0x80 >> (x % 8)); }

// Every dot of the page inside [x0, x0 + w) x [y0, y0 + h) equals the raster; everything
// else on the page is white.
void ExpectRasterAt(const Image& page, const Bytes& raster, int w, int h, int x0, int y0, int sx = 1, int sy = 1) {
  int mismatches = 0;
  for (int y = 0; y < page.height; ++y)
    for (int x = 0; x < page.width; ++x) {
      bool inside = x >= x0 && x < x0 + w * sx && y >= y0 && y < y0 + h * sy;
      bool expected = inside && RasterDot(raster, w, (x - x0) / sx, (y - y0) / sy);
      if (page.At(x, y) != expected && ++mismatches <= 5)
        ADD_FAILURE() << "dot (" << x << "," << y << ") is " << page.At(x, y) << ", expected " << expected;
    }
  EXPECT_EQ(mismatches, 0);
}

struct RasterCase {
  const char* name;
  Bytes prefix;    // justification etc.
  int mode;        // GS v 0 m
  int expectX;     // left edge of a 24-dot-wide image
  int sx, sy;
};

std::ostream& operator<<(std::ostream& os, const RasterCase& c) { return os << c.name; }

const RasterCase kRaster[] = {
    {"Left", {}, 0, 0, 1, 1},
    {"Centre", {0x1B, 0x61, 0x01}, 0, (kWidth - 24) / 2, 1, 1},
    {"Right", {0x1B, 0x61, 0x02}, 0, kWidth - 24, 1, 1},
    {"LeftMargin", {0x1D, 0x4C, 0x64, 0x00}, 0, 100, 1, 1},  // GS L 100
    {"DoubleWidth", {}, 1, 0, 2, 1},
    {"DoubleHeight", {}, 2, 0, 1, 2},
    {"Quadruple", {0x1B, 0x61, 0x32}, 51, kWidth - 48, 2, 2},  // '3' and right-justified '2'
};

class RasterPlacement : public ::testing::TestWithParam<RasterCase> {};

TEST_P(RasterPlacement, GsV0IsDotExact) {
  const RasterCase& c = GetParam();
  VirtualPrinter p;
  Bytes raster = Pattern(24, 10, 7);
  // GS v 0 m xL xH yL yH: 3 bytes wide, 10 rows.
  p.Feed(Cat({c.prefix, {0x1D, 0x76, 0x30, std::uint8_t(c.mode), 0x03, 0x00, 0x0A, 0x00}, raster}));
  Image page = p.CurrentPage();
  ASSERT_EQ(page.height, 10 * c.sy);
  ExpectRasterAt(page, raster, 24, 10, c.expectX, 0, c.sx, c.sy);
}

INSTANTIATE_TEST_SUITE_P(Modes, RasterPlacement, ::testing::ValuesIn(kRaster),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Images, StoredRasterGraphicsPrintDotExact) {
  VirtualPrinter p;
  Bytes raster = Pattern(40, 17, 11);
  std::uint32_t len = std::uint32_t(raster.size() + 10);
  // GS 8 L p1..p4 30 70 30 bx=1 by=1 c=31 xL xH yL yH, raster, then GS 8 L 02 00 00 00 30 02.
  p.Feed(Cat({{0x1D, 0x38, 0x4C, std::uint8_t(len), std::uint8_t(len >> 8), 0, 0, 0x30, 0x70, 0x30, 0x01, 0x01, 0x31,
               40, 0, 17, 0},
              raster,
              {0x1D, 0x38, 0x4C, 0x02, 0x00, 0x00, 0x00, 0x30, 0x02}}));
  ExpectRasterAt(p.CurrentPage(), raster, 40, 17, 0, 0);
}

TEST(Images, NvGraphicsInBothDefineLayoutsPrintDotExact) {
  Bytes raster = Pattern(16, 8, 3);
  // GS ( L pL pH 30 43 30 kc1 kc2 b=01 xL xH yL yH c=31 data: the standard layout.
  Bytes standard = Cat({{0x1D, 0x28, 0x4C, std::uint8_t(11 + raster.size()), 0x00, 0x30, 0x43, 0x30, 'A', '1', 0x01,
                         16, 0, 8, 0, 0x31},
                        raster});
  // GS 8 L p 30 43 kc1 kc2 b xL xH yL yH c data: the layout without the a byte.
  std::uint32_t len = std::uint32_t(2 + 7 + 1 + raster.size());
  Bytes compact = Cat({{0x1D, 0x38, 0x4C, std::uint8_t(len), 0, 0, 0, 0x30, 0x43, 'A', '1', 0x01, 16, 0, 8, 0, 0x31},
                       raster});
  for (const Bytes& define : {standard, compact}) {
    VirtualPrinter p;
    // GS ( L 06 00 30 45 'A' '1' 1 1: print it.
    p.Feed(Cat({define, {0x1D, 0x28, 0x4C, 0x06, 0x00, 0x30, 0x45, 'A', '1', 0x01, 0x01}}));
    for (auto& c : p.Log()) EXPECT_FALSE(c.malformed) << c.ToString();
    ExpectRasterAt(p.CurrentPage(), raster, 16, 8, 0, 0);
  }
}

TEST(Images, DownloadedAndColumnImagesPrintDotExact) {
  // GS * x=1 y=2: 8 columns of 2 bytes each; the same dots as a raster for comparison.
  Bytes columns(16);
  for (int i = 0; i < 16; ++i) columns[std::size_t(i)] = std::uint8_t(0x11 * (i + 1));
  Bytes raster(16, 0);  // 8 dots wide, 16 rows
  for (int x = 0; x < 8; ++x)
    for (int y = 0; y < 16; ++y)
      if (columns[std::size_t(x * 2 + y / 8)] & (0x80 >> (y % 8))) raster[std::size_t(y)] |= std::uint8_t(0x80 >> x);
  VirtualPrinter p;
  p.Feed(Cat({{0x1D, 0x2A, 0x01, 0x02}, columns, {0x1D, 0x2F, 0x00}}));
  ExpectRasterAt(p.CurrentPage(), raster, 8, 16, 0, 0);

  // ESC * 33 n=1: one 24-dot column, then LF with spacing 0 prints it alone.
  VirtualPrinter q;
  q.Feed(Bytes{0x1B, 0x33, 0x00, 0x1B, 0x2A, 0x21, 0x01, 0x00, 0x80, 0x01, 0xFF, 0x0A});
  Image page = q.CurrentPage();
  EXPECT_TRUE(page.At(0, 0));
  EXPECT_FALSE(page.At(0, 1));
  EXPECT_TRUE(page.At(0, 15));
  for (int y = 16; y < 24; ++y) EXPECT_TRUE(page.At(0, y));
  EXPECT_EQ(page.CountBlack(), 10);
  EXPECT_EQ(page.height, 24);
}

TEST(Images, WiderThanThePaperIsClippedAtTheEdge) {
  VirtualPrinter p;
  Bytes raster = Pattern(640, 4, 5);  // 80 bytes a row, 64 dots beyond the paper
  p.Feed(Cat({{0x1D, 0x76, 0x30, 0x00, 80, 0x00, 0x04, 0x00}, raster}));
  Image page = p.CurrentPage();
  ASSERT_EQ(page.width, kWidth);
  ASSERT_EQ(page.height, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < kWidth; ++x) ASSERT_EQ(page.At(x, y), RasterDot(raster, 640, x, y)) << x << "," << y;
}

TEST(Images, ResetLosesTheDownloadedImage) {
  VirtualPrinter p;
  p.Feed(Bytes{0x1D, 0x2A, 0x01, 0x01, 1, 2, 3, 4, 5, 6, 7, 8, 0x1B, 0x40, 0x1D, 0x2F, 0x00});
  auto prints = p.LogOf("PrintDownloadedImage");
  ASSERT_EQ(prints.size(), 1u);
  EXPECT_TRUE(prints[0].malformed) << prints[0].ToString();
  EXPECT_EQ(p.CurrentPage().CountBlack(), 0);
}

// ---- text ----

struct AlignCase {
  const char* name;
  Bytes setup;
  int firstCellX;
  int cellWidth, cellHeight;
};

std::ostream& operator<<(std::ostream& os, const AlignCase& c) { return os << c.name; }

const AlignCase kAlign[] = {
    {"Left", {0x1B, 0x61, 0x00}, 0, 12, 24},
    {"Centre", {0x1B, 0x61, 0x01}, (kWidth - 36) / 2, 12, 24},
    {"Right", {0x1B, 0x61, 0x02}, kWidth - 36, 12, 24},
    {"CentreAscii", {0x1B, 0x61, 0x31}, (kWidth - 36) / 2, 12, 24},
    {"LeftMargin", {0x1D, 0x4C, 0x28, 0x00}, 40, 12, 24},
    // Print area 300 dots from margin 40, right-justified: ends at 340.
    {"AreaRight", {0x1D, 0x4C, 0x28, 0x00, 0x1D, 0x57, 0x2C, 0x01, 0x1B, 0x61, 0x02}, 340 - 36, 12, 24},
    {"FontB", {0x1B, 0x4D, 0x01}, 0, 9, 17},
    {"DoubleSize", {0x1D, 0x21, 0x11, 0x1B, 0x61, 0x02}, kWidth - 72, 24, 48},
    {"RightSpacing", {0x1B, 0x20, 0x04}, 0, 16, 24},
    {"AbsolutePosition", {0x1B, 0x24, 0x64, 0x00}, 100, 12, 24},
};

class TextCells : public ::testing::TestWithParam<AlignCase> {};

TEST_P(TextCells, EachCharacterInItsCell) {
  const AlignCase& c = GetParam();
  VirtualPrinter p;
  p.Feed(Cat({c.setup, Str("HMW"), {0x0A}}));
  Image page = p.CurrentPage();
  ASSERT_EQ(page.height, std::max(30, c.cellHeight));
  for (int i = 0; i < 3; ++i) {
    int x0 = c.firstCellX + i * c.cellWidth;
    EXPECT_GT(page.CountBlack(x0, 0, x0 + c.cellWidth, c.cellHeight), 10) << "cell " << i;
  }
  EXPECT_EQ(page.CountBlack(0, 0, c.firstCellX, page.height), 0) << "ink left of the text";
  EXPECT_EQ(page.CountBlack(c.firstCellX + 3 * c.cellWidth, 0, kWidth, page.height), 0) << "ink right of the text";
  EXPECT_EQ(page.CountBlack(0, c.cellHeight, kWidth, page.height), 0) << "ink below the cells";
}

INSTANTIATE_TEST_SUITE_P(Alignments, TextCells, ::testing::ValuesIn(kAlign),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Text, StylesChangeTheCell) {
  auto render = [](const Bytes& setup) {
    VirtualPrinter p;
    p.Feed(Cat({setup, Str("I"), {0x0A}}));
    return p.CurrentPage();
  };
  Image plain = render({});
  Image bold = render({0x1B, 0x45, 0x01});
  Image under = render({0x1B, 0x2D, 0x02});
  Image reverse = render({0x1D, 0x42, 0x01});
  EXPECT_GT(bold.CountBlack(), plain.CountBlack());
  // Underline 2: the two bottom rows of the 12-dot cell are solid.
  EXPECT_EQ(under.CountBlack(0, 22, 12, 24), 24);
  EXPECT_EQ(plain.CountBlack(0, 22, 12, 24), 0);
  // Reverse: the cell is black where the plain glyph is white.
  EXPECT_EQ(reverse.CountBlack(0, 0, 12, 24), 12 * 24 - plain.CountBlack(0, 0, 12, 24));
}

// The printers of one process share their font's glyphs: printers started at once in
// threads, each in its own font and size, print what one printer alone prints.
TEST(Text, PrintersInThreadsDrawTheSameGlyphs) {
  const std::array<Bytes, 3> setups = {Bytes{}, Bytes{0x1B, 0x4D, 0x01}, Bytes{0x1D, 0x21, 0x11}};
  const std::string text = "Zanth 0123 {|}~ \xC4";
  auto render = [&](const Bytes& setup) {
    VirtualPrinter p;
    p.Feed(Cat({setup, Str(text), {0x0A}}));
    return p.CurrentPage().dots;
  };
  std::vector<std::vector<std::uint8_t>> drawn(12);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < drawn.size(); ++i)
    threads.emplace_back([&, i] { drawn[i] = render(setups[i % setups.size()]); });
  for (auto& t : threads) t.join();
  for (std::size_t i = 0; i < drawn.size(); ++i) {
    SCOPED_TRACE("printer " + std::to_string(i));
    EXPECT_EQ(drawn[i], render(setups[i % setups.size()]));
  }
}

TEST(Text, UpsideDownTurnsTheLineAround) {
  VirtualPrinter p;
  p.Feed(Cat({{0x1B, 0x7B, 0x01}, Str("L"), {0x0A}}));
  Image page = p.CurrentPage();
  int x0, y0, x1, y1;
  ASSERT_TRUE(page.BlackBounds(x0, y0, x1, y1));
  EXPECT_GE(x0, kWidth - 12);  // a left-justified line ends up on the right
  // An upright L has its bar at the bottom; turned around the bar is at the top.
  EXPECT_GT(page.CountBlack(x0, y0, x1, y0 + 3), page.CountBlack(x0, y1 - 3, x1, y1));
}

TEST(Text, LineFeedsAdvanceByTheLineSpacing) {
  VirtualPrinter p;
  // Line 1, LF (30), ESC 3 50, line 2, LF (50), ESC J 5 with nothing buffered, line 3.
  p.Feed(Cat({Str("A"), {0x0A, 0x1B, 0x33, 0x32}, Str("B"), {0x0A, 0x1B, 0x4A, 0x05}, Str("C"), {0x0A}}));
  Image page = p.CurrentPage();
  EXPECT_EQ(page.height, 30 + 50 + 5 + 50);
  EXPECT_GT(page.CountBlack(0, 0, 12, 24), 0);
  EXPECT_EQ(page.CountBlack(0, 24, 12, 30), 0);
  EXPECT_GT(page.CountBlack(0, 30, 12, 54), 0);
  EXPECT_GT(page.CountBlack(0, 85, 12, 109), 0);
}

TEST(Text, LongLinesWrapAtThePrintArea) {
  VirtualPrinter p;
  p.Feed(Cat({Str(std::string(50, 'X')), {0x0A}}));  // 48 cells of 12 dots fit in 576
  Image page = p.CurrentPage();
  EXPECT_EQ(page.height, 60);
  EXPECT_GT(page.CountBlack(0, 30, 24, 54), 0);
  EXPECT_EQ(page.CountBlack(24, 30, kWidth, 60), 0);
}

TEST(Text, NationalSetsAndDoubleByteCharacters) {
  auto render = [](const Bytes& bytes) {
    VirtualPrinter p;
    p.Feed(Cat({bytes, {0x0A}}));
    return p.CurrentPage();
  };
  // ESC R 8 turns the backslash into a yen sign: a different glyph in the same cell.
  Image plain = render({0x5C});
  Image yen = render({0x1B, 0x52, 0x08, 0x5C});
  EXPECT_NE(plain.dots, yen.dots);
  EXPECT_EQ(yen.CountBlack(12, 0, kWidth, 24), 0);
  // FS &: two bytes make one 24-dot-wide character, the next one follows it.
  Image kanji = render({0x1C, 0x26, 0x88, 0x9F, 'A', 0x1C, 0x2E});
  EXPECT_GT(kanji.CountBlack(0, 0, 24, 24), 0);
  EXPECT_GT(kanji.CountBlack(24, 0, 36, 24), 0);
  EXPECT_EQ(kanji.CountBlack(36, 0, kWidth, 24), 0);
}

// ---- symbols ----

std::string Zbar(const std::string& png) {
  if (::access("/usr/bin/zbarimg", X_OK) != 0) return "<no zbarimg>";
  std::string cmd = "/usr/bin/zbarimg --raw -q '" + png + "' 2>/dev/null";
  FILE* f = ::popen(cmd.c_str(), "r");
  if (!f) return "<popen failed>";
  std::string out;
  std::array<char, 256> buf;
  while (std::fgets(buf.data(), int(buf.size()), f)) out += buf.data();
  ::pclose(f);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

std::string TempPng(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string("zanth_sim_") + name + "_" + std::to_string(::getpid()) + ".png")).string();
}

TEST(Symbols, QrCodeDecodesBackToItsData) {
  if (::access("/usr/bin/zbarimg", X_OK) != 0) GTEST_SKIP() << "zbarimg (zbar-tools) not installed";
  const std::string data = "https://receipt.example/r/0042?t=19.99";
  VirtualPrinter p;
  Bytes store = {0x1D, 0x28, 0x6B, std::uint8_t(data.size() + 3), 0x00, 0x31, 0x50, 0x30};
  p.Feed(Cat({{0x1B, 0x61, 0x01},                                         // centred, quiet zone around
              {0x1D, 0x28, 0x6B, 0x04, 0x00, 0x31, 0x41, 0x32, 0x00},    // model 2
              {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, 0x05},          // module 5 dots
              {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x45, 0x31},          // level M
              store, Str(data),
              {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30},          // print
              {0x1B, 0x64, 0x03, 0x1D, 0x56, 0x41, 0x00}}));
  for (auto& c : p.Log()) EXPECT_FALSE(c.malformed) << c.ToString();
  ASSERT_EQ(p.Pages().size(), 1u);
  std::string png = TempPng("qr");
  ASSERT_TRUE(WritePng(p.Pages()[0], png));
  EXPECT_EQ(Zbar(png), data);
  std::filesystem::remove(png);
}

TEST(Symbols, Code128WithHriDecodesBack) {
  if (::access("/usr/bin/zbarimg", X_OK) != 0) GTEST_SKIP() << "zbarimg (zbar-tools) not installed";
  VirtualPrinter p;
  // GS h 80, GS w 2, GS H 2, centred, GS k 49 with "{B" "AB-" then "{C" 12 34.
  Bytes data = {'{', 'B', 'A', 'B', '-', '{', 'C', 12, 34};
  p.Feed(Cat({{0x1D, 0x68, 0x50, 0x1D, 0x77, 0x02, 0x1D, 0x48, 0x02, 0x1B, 0x61, 0x01, 0x1D, 0x6B, 0x49,
               std::uint8_t(data.size())},
              data, {0x0A}}));
  Image page = p.CurrentPage();
  EXPECT_GE(page.height, 80 + 24);  // bars and the text line below
  std::string png = TempPng("c128");
  ASSERT_TRUE(WritePng(page, png));
  EXPECT_EQ(Zbar(png), "AB-1234");
  std::filesystem::remove(png);
}

TEST(Symbols, BadSymbolDataIsLoggedNotPrinted) {
  VirtualPrinter p;
  // EAN-13 with letters, then a QR print with no stored data.
  p.Feed(Bytes{0x1D, 0x6B, 0x43, 0x03, 'a', 'b', 'c', 0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30});
  auto log = p.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(log[0].malformed);
  EXPECT_TRUE(log[1].malformed);
  EXPECT_EQ(p.CurrentPage().CountBlack(), 0);
}

TEST(Symbols, Pdf417Draws) {
  VirtualPrinter p;
  Bytes store = {0x1D, 0x28, 0x6B, 0x08, 0x00, 0x30, 0x50, 0x30, 'P', 'D', 'F', '4', '1'};
  p.Feed(Cat({{0x1D, 0x28, 0x6B, 0x03, 0x00, 0x30, 0x41, 0x03}, store, {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x30, 0x51, 0x30}}));
  for (auto& c : p.Log()) EXPECT_FALSE(c.malformed) << c.ToString();
  EXPECT_GT(p.CurrentPage().CountBlack(), 200);
}

// ---- page mode and cuts ----

TEST(PageMode, TextStaysInsideItsAreaInEveryDirection) {
  for (int dir = 0; dir < 4; ++dir) {
    VirtualPrinter p;
    // ESC L, ESC W x=100 y=40 dx=200 dy=120, ESC T dir, "AAA" LF, FF.
    p.Feed(Cat({{0x1B, 0x4C, 0x1B, 0x57, 100, 0, 40, 0, 200, 0, 120, 0, 0x1B, 0x54, std::uint8_t(dir)}, Str("AAA"),
                {0x0A, 0x0C}}));
    Image page = p.CurrentPage();
    ASSERT_EQ(page.height, 160) << "dir " << dir;  // the page runs to the area's bottom
    int x0, y0, x1, y1;
    ASSERT_TRUE(page.BlackBounds(x0, y0, x1, y1)) << "dir " << dir;
    EXPECT_GE(x0, 100);
    EXPECT_LE(x1, 300);
    EXPECT_GE(y0, 40);
    EXPECT_LE(y1, 160);
    bool turned = dir == 1 || dir == 3;
    EXPECT_EQ(turned, (y1 - y0) > (x1 - x0)) << "dir " << dir;
    // Where the text starts: upper left, lower left, lower right, upper right.
    bool nearLeft = x0 < 100 + 30, nearTop = y0 < 40 + 30;
    bool nearRight = x1 > 300 - 30, nearBottom = y1 > 160 - 30;
    switch (dir) {
      case 0: EXPECT_TRUE(nearLeft && nearTop); break;
      case 1: EXPECT_TRUE(nearLeft && nearBottom); break;
      case 2: EXPECT_TRUE(nearRight && nearBottom); break;
      case 3: EXPECT_TRUE(nearRight && nearTop); break;
    }
    EXPECT_EQ(p.LogOf("FormFeed").size(), 1u);
  }
}

TEST(PageMode, VerticalPositionIsTheBaseline) {
  VirtualPrinter p;
  // ESC L, default area; GS $ 100; ESC $ 50; "I" FF: the character sits on y = 100.
  p.Feed(Cat({{0x1B, 0x4C, 0x1D, 0x24, 100, 0, 0x1B, 0x24, 50, 0}, Str("I"), {0x0C}}));
  Image page = p.CurrentPage();
  int x0, y0, x1, y1;
  ASSERT_TRUE(page.BlackBounds(x0, y0, x1, y1));
  EXPECT_GE(y0, 76);
  EXPECT_LE(y1, 100);
  EXPECT_GE(x0, 50);
  EXPECT_LE(x1, 62);
  // CAN throws away what the area holds.
  VirtualPrinter q;
  q.Feed(Cat({{0x1B, 0x4C}, Str("gone"), {0x0A, 0x18, 0x0C}}));
  EXPECT_EQ(q.CurrentPage().CountBlack(), 0);
}

TEST(Cuts, EachCutEndsAPageWithAMark) {
  VirtualPrinter p;
  std::vector<int> seen;
  p.SetCutListener([&](int index, const Image&) { seen.push_back(index); });
  // "one" LF, GS V 41 20 (feed 32, partial? no: 65 is full), "two" LF, ESC i.
  p.Feed(Cat({Str("one"), {0x0A, 0x1D, 0x56, 0x41, 0x20}, Str("two"), {0x0A, 0x1D, 0x56, 0x01}}));
  EXPECT_EQ(p.CutCount(), 2);
  EXPECT_EQ(seen, (std::vector<int>{0, 1}));
  auto pages = p.Pages();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].height, 30 + 32 + 1);
  EXPECT_EQ(pages[1].height, 30 + 1);
  // Full cut: dashes of 4; partial cut: every fourth dot.
  EXPECT_EQ(pages[0].CountBlack(0, 62, kWidth, 63), kWidth / 2);
  EXPECT_EQ(pages[1].CountBlack(0, 30, kWidth, 31), kWidth / 4);
  EXPECT_EQ(p.ReceiptImage().height, 63 + 31);
  EXPECT_EQ(p.CurrentPage().height, 0);
}

TEST(Png, WrittenFileIsAPng) {
  VirtualPrinter p;
  p.Feed(Cat({Str("png"), {0x0A}}));
  std::string path = TempPng("file");
  std::string error;
  ASSERT_TRUE(p.WritePng(path, &error)) << error;
  std::ifstream in(path, std::ios::binary);
  char sig[8] = {};
  in.read(sig, 8);
  EXPECT_EQ(std::string(sig + 1, 3), "PNG");
  std::filesystem::remove(path);
  EXPECT_FALSE(p.WritePng("/nonexistent-dir/x.png", &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace zanth::sim

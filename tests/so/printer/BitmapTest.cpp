// Bitmaps through the engine: image files to the bytes the port receives, the bitmap
// table with its one downloaded image, logos, and every refused request.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "BitmapRaster.h"
#include "OposConstants.h"
#include "TestEngine.h"
#include "platform/TempDir.h"
#include "support/ImageFiles.h"

namespace {

using zanth::test::FakePort;
using zanth::test::Rgba;
using zanth::test::TestEngine;
using Bytes = std::vector<BYTE>;

const Rgba kBlack{0, 0, 0, 255};
const Rgba kWhite{255, 255, 255, 255};

class BitmapEngine : public TestEngine {
 public:
  void SetCover(int open) { lastStatus_.coverOpen = open; }
  using CPrinterBase::FormatSettedBitmap;
  Bytes Logo(LONG location) const {
    const PrinterBuffer& b = GetLogo(location);
    return Bytes(b.Data(), b.Data() + b.Size());
  }
  Bytes Command(int number) const {
    const PrinterBuffer& b = GetBitmapEntry(number).printCommand;
    return Bytes(b.Data(), b.Data() + b.Size());
  }
};


// Finds GS 8 L ... 30 70 (store raster) and returns its width, height and raster bytes.
struct RasterCommand {
  bool found = false;
  int width = 0, height = 0;
  Bytes raster;
  size_t at = 0;
};
RasterCommand FindRaster(const Bytes& bytes) {
  RasterCommand r;
  for (size_t i = 0; i + 17 <= bytes.size(); ++i) {
    if (bytes[i] == 0x1D && bytes[i + 1] == '8' && bytes[i + 2] == 'L' && bytes[i + 7] == '0' &&
        bytes[i + 8] == 'p') {
      const size_t p = bytes[i + 3] | (bytes[i + 4] << 8) | (bytes[i + 5] << 16);
      r.found = true;
      r.at = i;
      r.width = bytes[i + 13] | (bytes[i + 14] << 8);
      r.height = bytes[i + 15] | (bytes[i + 16] << 8);
      if (i + 7 + p <= bytes.size()) r.raster.assign(bytes.begin() + i + 17, bytes.begin() + i + 7 + p);
      return r;
    }
  }
  return r;
}

bool Contains(const Bytes& haystack, const Bytes& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

// A 16 x 8 gray progressive JPEG, left half black, right half white, as cjpeg -progressive
// writes it: its first (DC) scan names AC table 0, which the file defines only later.
const Bytes kProgressiveJpeg = {
    0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xFF, 0xDB, 0x00, 0x43, 0x00, 0x02, 0x01, 0x01, 0x01, 0x01, 0x01, 0x02,
    0x01, 0x01, 0x01, 0x02, 0x02, 0x02, 0x02, 0x02, 0x04, 0x03, 0x02, 0x02, 0x02, 0x02, 0x05, 0x04,
    0x04, 0x03, 0x04, 0x06, 0x05, 0x06, 0x06, 0x06, 0x05, 0x06, 0x06, 0x06, 0x07, 0x09, 0x08, 0x06,
    0x07, 0x09, 0x07, 0x06, 0x06, 0x08, 0x0B, 0x08, 0x09, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x06, 0x08,
    0x0B, 0x0C, 0x0B, 0x0A, 0x0C, 0x09, 0x0A, 0x0A, 0x0A, 0xFF, 0xC2, 0x00, 0x0B, 0x08, 0x00, 0x08,
    0x00, 0x10, 0x01, 0x01, 0x11, 0x00, 0xFF, 0xC4, 0x00, 0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0xFF, 0xDA, 0x00, 0x08,
    0x01, 0x01, 0x00, 0x00, 0x00, 0x01, 0x3F, 0xDF, 0xEF, 0xFF, 0xC4, 0x00, 0x14, 0x10, 0x01, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0xFF,
    0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x01, 0x05, 0x02, 0x3F, 0xFF, 0xC4, 0x00, 0x14, 0x10, 0x01,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10,
    0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x06, 0x3F, 0x02, 0x3F, 0xFF, 0xC4, 0x00, 0x14, 0x10,
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x10, 0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x01, 0x3F, 0x21, 0x3F, 0xFF, 0xDA, 0x00, 0x08,
    0x01, 0x01, 0x00, 0x00, 0x00, 0x10, 0x3F, 0xFF, 0xC4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0xFF, 0xDA, 0x00,
    0x08, 0x01, 0x01, 0x00, 0x01, 0x3F, 0x10, 0x3F, 0xFF, 0xD9,
};
constexpr size_t kFirstAcTableClass = 141;  // the class/number byte of the first AC table

class Bitmaps : public ::testing::Test {
 protected:
  void SetUp() override {
    port = zanth::test::OpenReadyEngine(engine, events);
    ASSERT_FALSE(HasFailure());
    port->ClearWritten();
  }
  std::wstring File(const std::string& name) { return platform::FromUtf8(dir.File(name)); }
  std::wstring Bmp(const std::string& name, int w, int h, const zanth::test::PixelFn& fn) {
    EXPECT_TRUE(zanth::test::WriteBmp24(dir.File(name), w, h, fn));
    return File(name);
  }
  LONG PrintBitmap(const std::wstring& file, LONG width, LONG alignment) {
    LONG result = -1;
    engine.PrintBitmap(PTR_S_RECEIPT, file, width, alignment, &result);
    EXPECT_EQ(result, engine.GetResultCode());
    return result;
  }
  LONG SetBitmap(LONG number, const std::wstring& file, LONG width = PTR_BM_ASIS,
                 LONG alignment = PTR_BM_LEFT, LONG station = PTR_S_RECEIPT) {
    LONG result = -1;
    engine.SetBitmap(number, station, file, width, alignment, &result);
    return result;
  }

  testing_support::TempDir dir;
  zanth::test::RecordingEvents events;
  std::shared_ptr<FakePort> port;
  // Declared last, so it goes first: its worker may still call the members above.
  BitmapEngine engine;
};

TEST_F(Bitmaps, AsIsWidthIsRoundedUpTo8AndHeightTo8) {
  const auto file = Bmp("w100.bmp", 100, 30, [](int, int) { return kBlack; });
  ASSERT_EQ(PrintBitmap(file, PTR_BM_ASIS, PTR_BM_LEFT), 0);
  const RasterCommand r = FindRaster(port->Written());
  ASSERT_TRUE(r.found);
  EXPECT_EQ(r.width, 104);
  EXPECT_EQ(r.height, 32);
  ASSERT_EQ(r.raster.size(), 13u * 32u);
  // Columns 100..103 and rows 30, 31 are padding and stay white.
  EXPECT_EQ(r.raster[0], 0xFF);
  EXPECT_EQ(r.raster[12], 0xF0);
  EXPECT_EQ(r.raster[29 * 13], 0xFF);
  EXPECT_EQ(r.raster[30 * 13], 0x00);
  // ESC J 0 first, then GS 8 L store and GS 8 L print (fn 2), nothing in between.
  const Bytes written = port->Written();
  EXPECT_TRUE(Contains(written, {0x1B, 0x4A, 0x00, 0x1B, 0x61, 0x00, 0x1D, 0x38, 0x4C}));
  EXPECT_TRUE(Contains(written, {0x1D, 0x38, 0x4C, 0x02, 0x00, 0x00, 0x00, 0x30, 0x02}));
}

TEST_F(Bitmaps, DoubleWidthReadsEverySourceColumnTwice) {
  // 100 x 50, columns alternate black and white; at width 200 each becomes two dots.
  const auto file = Bmp("stripes.bmp", 100, 50, [](int x, int) { return x % 2 ? kWhite : kBlack; });
  ASSERT_EQ(PrintBitmap(file, 200, PTR_BM_LEFT), 0);
  const RasterCommand r = FindRaster(port->Written());
  ASSERT_TRUE(r.found);
  EXPECT_EQ(r.width, 200);
  EXPECT_EQ(r.height, 104);  // truncate(50 x 2) = 100, rounded up to 104
  ASSERT_EQ(r.raster.size(), 25u * 104u);
  for (size_t row : {0u, 99u}) {
    SCOPED_TRACE(row);
    for (size_t b = 0; b < 25; ++b) EXPECT_EQ(r.raster[row * 25 + b], 0xCC);  // 11001100
  }
  EXPECT_EQ(r.raster[100 * 25], 0x00);
}

TEST_F(Bitmaps, ARasterByteOfDleIsSentAsSpace) {
  // One black dot in each group of eight, at the fourth position: 00010000.
  const auto file = Bmp("dle.bmp", 16, 8, [](int x, int) { return x % 8 == 3 ? kBlack : kWhite; });
  ASSERT_EQ(PrintBitmap(file, PTR_BM_ASIS, PTR_BM_LEFT), 0);
  const RasterCommand r = FindRaster(port->Written());
  ASSERT_EQ(r.raster.size(), 16u);
  for (BYTE b : r.raster) EXPECT_EQ(b, 0x20);
}

// Golden rows from an independent single-precision model of the gray formula and the
// 8-bit error line (16 x 3 pixels, colours varying along both axes).
TEST_F(Bitmaps, ErrorDiffusionMatchesTheReferenceDots) {
  auto colour = [](int x, int y) {
    return Rgba{static_cast<BYTE>(std::min(255, x * 16 + y * 7)),
                static_cast<BYTE>(std::min(255, x * 16 + y * 5)),
                static_cast<BYTE>((x * 16 + y * 40) % 256), 255};
  };
  const auto file = Bmp("gradient.bmp", 16, 3, colour);
  ASSERT_EQ(PrintBitmap(file, PTR_BM_ASIS, PTR_BM_LEFT), 0);
  const RasterCommand r = FindRaster(port->Written());
  ASSERT_EQ(r.raster.size(), 16u);
  const Bytes expected = {253, 64, 253, 64, 250, 128, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(r.raster, expected);
  struct { BYTE r, g, b; int gray; } grays[] = {
      {255, 255, 255, 255}, {128, 128, 128, 128}, {200, 100, 50, 124}, {1, 2, 3, 1}, {100, 100, 100, 100}};
  for (const auto& row : grays) {
    SCOPED_TRACE(row.gray);
    EXPECT_EQ(Tesk::Printer::GrayOf(row.r, row.g, row.b), row.gray);
  }
}

TEST_F(Bitmaps, TransparentPixelsPrintWhite) {
  const std::string path = dir.File("logo.png");
  // A black square on a fully transparent (black-coloured) background.
  ASSERT_TRUE(zanth::test::WritePngRgba(path, 32, 16, [](int x, int) {
    return x < 16 ? Rgba{0, 0, 0, 255} : Rgba{0, 0, 0, 0};
  }));
  ASSERT_EQ(PrintBitmap(platform::FromUtf8(path), PTR_BM_ASIS, PTR_BM_LEFT), 0);
  const RasterCommand r = FindRaster(port->Written());
  ASSERT_EQ(r.raster.size(), 4u * 16u);
  for (int row = 0; row < 16; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(r.raster[row * 4 + 0], 0xFF);
    EXPECT_EQ(r.raster[row * 4 + 2], 0x00);
  }
}

TEST_F(Bitmaps, RunLengthBmpIsRead) {
  // 8 x 2 RLE8: row 0 (bottom) four of colour 1 then end of line; row 1 absolute run
  // of 3 indices 1,0,1 then end of bitmap. Palette 0 white, 1 black.
  std::vector<BYTE> data = {4, 1, 0, 0, 0, 3, 1, 0, 1, 0, 0, 1};
  std::vector<BYTE> bmp = zanth::test::BmpHeaders(8, 2, 8, 1, static_cast<std::uint32_t>(data.size()), 2);
  zanth::test::PutLe(bmp, 0x00FFFFFF, 4);
  zanth::test::PutLe(bmp, 0x00000000, 4);
  bmp.insert(bmp.end(), data.begin(), data.end());
  ASSERT_TRUE(zanth::test::WriteBytes(dir.File("rle.bmp"), bmp));
  ASSERT_EQ(PrintBitmap(File("rle.bmp"), PTR_BM_ASIS, PTR_BM_LEFT), 0);
  const RasterCommand r = FindRaster(port->Written());
  ASSERT_EQ(r.raster.size(), 8u);
  EXPECT_EQ(r.raster[0], 0xA0);  // top row: 1 0 1, the rest skipped (white)
  EXPECT_EQ(r.raster[1], 0xF0);  // bottom row: four black
}

TEST_F(Bitmaps, OneBitBmpAndColumnStripesOfTheExportedReader) {
  // 16 x 2, 1 bit a pixel, palette 0 white and 1 black; rows padded to 4 bytes, bottom up.
  std::vector<BYTE> bmp = zanth::test::BmpHeaders(16, 2, 1, 0, 8, 2);
  zanth::test::PutLe(bmp, 0x00FFFFFF, 4);
  zanth::test::PutLe(bmp, 0x00000000, 4);
  bmp.insert(bmp.end(), {0x0F, 0xF0, 0, 0, 0xAA, 0x55, 0, 0});
  ASSERT_TRUE(zanth::test::WriteBytes(dir.File("mono.bmp"), bmp));
  PrinterBuffer out(8, 8);
  LONG result = -1;
  engine.ReadBitmap(File("mono.bmp"), out, &result);
  ASSERT_EQ(result, 0);
  // ESC * 33 (24-dot), 16 columns; 3 bytes a column, top row in bit 7; then LF.
  Bytes expected = {0x1B, 0x2A, 0x21, 16, 0};
  for (int x = 0; x < 16; ++x) {
    const bool top = (x < 8 ? 0xAA >> (7 - x) : 0x55 >> (15 - x)) & 1;
    const bool bottom = (x < 8 ? 0x0F >> (7 - x) : 0xF0 >> (15 - x)) & 1;
    expected.insert(expected.end(), {BYTE((top ? 0x80 : 0) | (bottom ? 0x40 : 0)), 0, 0});
  }
  expected.push_back(0x0A);
  EXPECT_EQ(Bytes(out.Data(), out.Data() + out.Size()), expected);
  engine.ReadBitmap(File("missing.bmp"), out, &result);
  EXPECT_EQ(result, OPOS_E_NOEXIST);
}

struct RefusedBitmap {
  const char* name;
  std::string file;  // "" = the 16 x 16 test image
  LONG width, alignment;
  LONG code, extended;
};

TEST_F(Bitmaps, BadFilesAndArgumentsAreRefusedAndSendNothing) {
  Bmp("ok.bmp", 16, 16, [](int, int) { return kBlack; });
  Bmp("wide.bmp", 600, 8, [](int, int) { return kBlack; });
  zanth::test::WriteBytes(dir.File("text.png"), Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
  std::filesystem::create_directory(dir.File("folder.bmp"));
  // A JPEG cut off after its first segments.
  zanth::test::WriteBytes(dir.File("cut.jpg"), Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0,
                                                     1, 1, 0, 0, 1, 0, 1, 0, 0, 0xFF, 0xC0, 0x00, 0x11});
  // A JPEG whose Huffman table claims 16 x 255 codes where 256 is the most there can be.
  Bytes huffman = {0xFF, 0xD8, 0xFF, 0xC4, 0x00, 0x13, 0x00};
  huffman.insert(huffman.end(), 16, 0xFF);
  zanth::test::WriteBytes(dir.File("huffman.jpg"), huffman);
  // A 6 x 6 PNG whose second data chunk declares 1.5 GB in a 90-byte file (found by fuzzing:
  // the decoder allocated the declared size before reading).
  Bytes chunky = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D, 'I', 'H', 'D', 'R', 0, 0, 0, 6,
                  0, 0, 0, 6, 8, 6, 0, 0, 0, 0xE0, 0xCC, 0xEF, 0x48, 0x60, 0, 0, 0, 'I', 'D', 'A', 'T', 0x78, 0x9C};
  chunky.insert(chunky.end(), 48, 0x63);
  zanth::test::WriteBytes(dir.File("chunky.png"), chunky);
  // A scan decoding with a table no segment defined: the first AC table made table 1.
  Bytes undefinedTable = kProgressiveJpeg;
  undefinedTable[kFirstAcTableClass] = 0x11;
  zanth::test::WriteBytes(dir.File("undefined.jpg"), undefinedTable);
  // Headers of a 20000 x 20000 24-bit BMP without its 1.2 GB of pixels.
  zanth::test::WriteBytes(dir.File("huge.bmp"), zanth::test::BmpHeaders(20000, 20000, 24, 0, 0, 0));
  const RefusedBitmap cases[] = {
      {"missing file", "none.bmp", PTR_BM_ASIS, PTR_BM_LEFT, OPOS_E_NOEXIST, 0},
      {"directory", "folder.bmp", PTR_BM_ASIS, PTR_BM_LEFT, OPOS_E_NOEXIST, 0},
      {"text named png", "text.png", PTR_BM_ASIS, PTR_BM_LEFT, OPOS_E_ILLEGAL, 0},
      {"truncated jpeg", "cut.jpg", PTR_BM_ASIS, PTR_BM_LEFT, OPOS_E_ILLEGAL, 0},
      {"jpeg Huffman table too long", "huffman.jpg", PTR_BM_ASIS, PTR_BM_LEFT, OPOS_E_ILLEGAL, 0},
      {"jpeg scan, undefined table", "undefined.jpg", PTR_BM_ASIS, PTR_BM_LEFT, OPOS_E_ILLEGAL, 0},
      {"png chunk longer than the file", "chunky.png", PTR_BM_ASIS, PTR_BM_LEFT, OPOS_E_ILLEGAL, 0},
      {"20000 x 20000", "huge.bmp", 200, PTR_BM_LEFT, OPOS_E_ILLEGAL, 0},
      {"width beyond the line", "", 600, PTR_BM_LEFT, OPOS_E_ILLEGAL, 0},
      {"negative width", "", -5, PTR_BM_LEFT, OPOS_E_ILLEGAL, 0},
      {"width 0", "", 0, PTR_BM_LEFT, OPOS_E_ILLEGAL, 0},
      {"alignment -4", "", PTR_BM_ASIS, -4, OPOS_E_ILLEGAL, 0},
      {"offset past the line", "", 100, 500, OPOS_E_ILLEGAL, 0},
      {"image wider than the line", "wide.bmp", PTR_BM_ASIS, PTR_BM_LEFT, OPOS_E_EXTENDED,
       OPOS_EPTR_TOOBIG},
      {"offset pushes it off", "", PTR_BM_ASIS, 570, OPOS_E_EXTENDED, OPOS_EPTR_TOOBIG},
  };
  for (const RefusedBitmap& c : cases) {
    SCOPED_TRACE(c.name);
    port->ClearWritten();
    EXPECT_EQ(PrintBitmap(File(c.file.empty() ? "ok.bmp" : c.file), c.width, c.alignment), c.code);
    EXPECT_EQ(engine.GetResultCodeExtended(), c.extended);
    EXPECT_TRUE(port->Written().empty());
  }
  // Refused before the decoder allocates what the chunk declares.
  PrintBitmap(File("chunky.png"), PTR_BM_ASIS, PTR_BM_LEFT);
  EXPECT_EQ(std::wstring(engine.ErrorInformation()), L"PNG chunk runs past the end of the file");
  PrintBitmap(File("undefined.jpg"), PTR_BM_ASIS, PTR_BM_LEFT);
  EXPECT_EQ(std::wstring(engine.ErrorInformation()),
            L"JPEG scan uses a Huffman table the file does not define");
  engine.SetCover(1);
  EXPECT_EQ(PrintBitmap(File("ok.bmp"), PTR_BM_ASIS, PTR_BM_LEFT), OPOS_E_EXTENDED);
  EXPECT_EQ(engine.GetResultCodeExtended(), OPOS_EPTR_COVER_OPEN);
}

// Tables a progressive scan does not decode with may be defined after it.
TEST_F(Bitmaps, ProgressiveJpegPrints) {
  zanth::test::WriteBytes(dir.File("progressive.jpg"), kProgressiveJpeg);
  ASSERT_EQ(PrintBitmap(File("progressive.jpg"), PTR_BM_ASIS, PTR_BM_LEFT), 0);
  const RasterCommand r = FindRaster(port->Written());
  ASSERT_TRUE(r.found);
  Bytes halves;  // each row: eight black dots, eight white
  for (int row = 0; row < 8; ++row) halves.insert(halves.end(), {0xFF, 0x00});
  EXPECT_EQ(r.raster, halves);
}

// Alignment applies to the object and is undone after it, so the text that follows
// starts at the left margin again.
TEST_F(Bitmaps, AlignmentIsAppliedAndRestored) {
  const auto file = Bmp("a.bmp", 16, 8, [](int, int) { return kBlack; });
  struct {
    LONG alignment;
    Bytes before, after;
  } cases[] = {
      {PTR_BM_CENTER, {0x1B, 0x61, 0x01}, {0x1B, 0x61, 0x00}},
      {PTR_BM_RIGHT, {0x1B, 0x61, 0x02}, {0x1B, 0x61, 0x00}},
      {100, {0x1D, 0x4C, 100, 0}, {0x1D, 0x4C, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.alignment);
    port->ClearWritten();
    ASSERT_EQ(PrintBitmap(file, PTR_BM_ASIS, c.alignment), 0);
    const Bytes written = port->Written();
    const RasterCommand r = FindRaster(written);
    ASSERT_TRUE(r.found);
    const Bytes expectedBefore(written.begin() + static_cast<long>(r.at - c.before.size()),
                               written.begin() + static_cast<long>(r.at));
    EXPECT_EQ(expectedBefore, c.before);
    const Bytes tail(written.end() - static_cast<long>(c.after.size()), written.end());
    EXPECT_EQ(tail, c.after);
  }
}

TEST_F(Bitmaps, FirstSetBitmapGoesToPrinterMemoryLaterOnesAsRaster) {
  const auto file = Bmp("s.bmp", 16, 8, [](int x, int) { return x < 8 ? kBlack : kWhite; });
  ASSERT_EQ(SetBitmap(1, file), 0);
  // GS * 2 1 then 16 columns of one byte each: 8 black columns, 8 white.
  Bytes download = {0x1D, 0x2A, 0x02, 0x01};
  for (int x = 0; x < 16; ++x) download.push_back(x < 8 ? 0xFF : 0x00);
  EXPECT_EQ(port->Written(), download);
  EXPECT_EQ(engine.Command(1), (Bytes{0x1D, 0x2F, 0x00}));  // GS / 0
  EXPECT_EQ(engine.GetDownloadedBitmap(), 0);

  port->ClearWritten();
  ASSERT_EQ(SetBitmap(2, file), 0);
  EXPECT_TRUE(port->Written().empty());
  const RasterCommand r = FindRaster(engine.Command(2));
  ASSERT_TRUE(r.found);
  EXPECT_EQ(r.raster, (Bytes{0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00,
                             0xFF, 0x00, 0xFF, 0x00}));

  // ESC | 2B prints the stored raster; ESC | 1B the downloaded image.
  port->ClearWritten();
  LONG result = -1;
  engine.PrintNormal(PTR_S_RECEIPT, L"\x1b|1B\x1b|2B", &result);
  ASSERT_EQ(result, 0);
  const Bytes written = port->Written();
  EXPECT_TRUE(Contains(written, {0x1D, 0x2F, 0x00}));
  EXPECT_TRUE(FindRaster(written).found);
}

TEST_F(Bitmaps, DownloadedBitmapIsSentAgainAfterTheClaimResetsThePrinter) {
  const auto file = Bmp("s.bmp", 16, 8, [](int, int) { return kBlack; });
  ASSERT_EQ(SetBitmap(3, file), 0);
  const Bytes download = port->Written();
  LONG result = -1;
  engine.ReleaseDevice(&result);
  port->ClearWritten();
  engine.ClaimDevice(1000, &result);
  ASSERT_EQ(result, 0);
  const Bytes written = port->Written();
  const Bytes escAt = {0x1B, 0x40};
  const auto reset = std::search(written.begin(), written.end(), escAt.begin(), escAt.end());
  ASSERT_NE(reset, written.end());
  const auto again = std::search(written.begin(), written.end(), download.begin(), download.end());
  ASSERT_NE(again, written.end());
  EXPECT_LT(reset, again);
}

// A download that never reached the printer would print nothing at ESC | nB: the bitmap
// travels as raster instead.
TEST_F(Bitmaps, BitmapWhoseDownloadFailedPrintsAsRaster) {
  const auto file = Bmp("s.bmp", 16, 8, [](int, int) { return kBlack; });
  port->SetWriteFails(true);
  ASSERT_EQ(SetBitmap(1, file), 0);
  port->SetWriteFails(false);
  EXPECT_EQ(engine.GetDownloadedBitmap(), -1);
  port->ClearWritten();
  LONG result = -1;
  engine.PrintNormal(PTR_S_RECEIPT, L"\x1b|1B", &result);
  ASSERT_EQ(result, 0);
  EXPECT_FALSE(Contains(port->Written(), {0x1D, 0x2F, 0x00}));
  EXPECT_TRUE(FindRaster(port->Written()).found);
}

TEST_F(Bitmaps, SetBitmapRefusalsAndUnsetNumbers) {
  const auto file = Bmp("s.bmp", 16, 8, [](int, int) { return kBlack; });
  struct {
    const char* name;
    LONG number, station, width, alignment, code;
  } cases[] = {
      {"bitmap 21", 21, PTR_S_RECEIPT, PTR_BM_ASIS, PTR_BM_LEFT, OPOS_E_ILLEGAL},
      {"bitmap 0", 0, PTR_S_RECEIPT, PTR_BM_ASIS, PTR_BM_LEFT, OPOS_E_ILLEGAL},
      {"journal", 1, PTR_S_JOURNAL, PTR_BM_ASIS, PTR_BM_LEFT, OPOS_E_ILLEGAL},
      {"width beyond line", 1, PTR_S_RECEIPT, 577, PTR_BM_LEFT, OPOS_E_ILLEGAL},
      {"alignment -5", 1, PTR_S_RECEIPT, PTR_BM_ASIS, -5, OPOS_E_ILLEGAL},
      {"offset beyond line", 1, PTR_S_RECEIPT, PTR_BM_ASIS, 577, OPOS_E_ILLEGAL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SetBitmap(c.number, file, c.width, c.alignment, c.station), c.code);
  }
  EXPECT_EQ(SetBitmap(4, File("missing.bmp")), OPOS_E_NOEXIST);
  PrinterBuffer out(8, 8);
  EXPECT_EQ(engine.FormatSettedBitmap(out, 4), 0);
  EXPECT_EQ(engine.FormatSettedBitmap(out, 21), 0);
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_TRUE(port->Written().empty());
}

TEST_F(Bitmaps, LogosMemoryBitmapsAndBadLocations) {
  LONG result = -1;
  engine.SetLogo(PTR_L_TOP, L"TOP\n", &result);
  ASSERT_EQ(result, 0);
  const Bytes top = engine.Logo(PTR_L_TOP);
  EXPECT_TRUE(Contains(top, {'T', 'O', 'P', 0x0A}));
  engine.SetLogo(3, L"X\n", &result);
  EXPECT_EQ(result, OPOS_E_EXTENDED);
  EXPECT_EQ(engine.GetResultCodeExtended(), 301);
  EXPECT_EQ(engine.Logo(PTR_L_TOP), top);
  EXPECT_TRUE(engine.Logo(PTR_L_BOTTOM).empty());

  engine.PrintNormal(PTR_S_RECEIPT, L"\x1b|tL", &result);
  EXPECT_TRUE(Contains(port->Written(), {'T', 'O', 'P', 0x0A}));

  engine.PrintMemoryBitmap(PTR_S_RECEIPT, L"abc", 1, PTR_BM_ASIS, PTR_BM_LEFT, &result);
  EXPECT_EQ(result, OPOS_E_EXTENDED);
  EXPECT_EQ(engine.GetResultCodeExtended(), 300);
}

}  // namespace

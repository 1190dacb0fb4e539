// The printer as the oracle for symbols and logos: every barcode it draws reads back with
// zbarimg to its data; PDF417 is checked from its stored data; FS q / FS p and GS * / GS /
// logos print dot for dot.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "SimTestUtil.h"
#include "sim/VirtualPrinter.h"

namespace zanth::sim {
namespace {

using test::Cat;
using test::Str;

bool HaveZbar() { return ::access("/usr/bin/zbarimg", X_OK) == 0; }

// "TYPE:data" lines zbarimg reads from the image (written with a quiet zone around it).
std::string ReadBack(const Image& image, const std::string& name) {
  std::string png = (std::filesystem::temp_directory_path() / ("zanth_sim_sym_" + name + "_" + std::to_string(::getpid()) + ".png")).string();
  if (!WritePng(image, png, nullptr, 24)) return "<png not written>";
  std::string out;
  if (FILE* f = ::popen(("/usr/bin/zbarimg -q '" + png + "' 2>/dev/null").c_str(), "r")) {
    std::array<char, 512> buf;
    while (std::fgets(buf.data(), int(buf.size()), f)) out += buf.data();
    ::pclose(f);
  }
  std::filesystem::remove(png);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

struct SymbolCase {
  const char* name;
  std::uint8_t m;     // GS k system
  std::string data;
  std::string read;   // zbarimg's answer; empty: zbar has no decoder for it (ink only)
};
std::ostream& operator<<(std::ostream& os, const SymbolCase& c) { return os << c.name; }

const SymbolCase kSymbols[] = {
    // zbar reports UPC-A and UPC-E as the EAN-13 they are part of.
    {"UpcA", 65, "03600029145", "EAN-13:0036000291452"},
    {"UpcE", 66, "0123456", "EAN-13:0012345000065"},
    {"Ean13", 67, "400638133393", "EAN-13:4006381333931"},
    {"Ean13WithCheckDigit", 67, "4006381333931", "EAN-13:4006381333931"},
    {"Ean8", 68, "9638507", "EAN-8:96385074"},
    {"Code39", 69, "ABC-123", "CODE-39:ABC-123"},
    {"Itf", 70, "12345678", "I2/5:12345678"},
    {"Codabar", 71, "A40156B", "Codabar:A40156B"},
    {"Code93", 72, "CODE93", "CODE-93:CODE93"},
    {"Code128SetB", 73, "{BHello-128", "CODE-128:Hello-128"},
    {"Code128SetC", 73, std::string("{C") + char(12) + char(34) + char(56), "CODE-128:123456"},
    {"Gs1_128", 74, "(01)09501101530003", "CODE-128:0109501101530003"},
    {"Gs1_128Bare", 74, "010950110153000310ABC{117261231", "CODE-128:010950110153000310ABC\x1d" "17261231"},
    {"DataBar", 75, "0950110153000", "DataBar:0109501101530003"},
    {"DataBarTruncated", 76, "0950110153000", "DataBar:0109501101530003"},
    {"DataBarLimited", 77, "0950110153000", ""},
    {"DataBarExpanded", 78, "(01)09501101530003(10)ABC", "DataBar-Exp:010950110153000310ABC"},
    // Format 1: NUL-terminated data, systems 0..6.
    {"FormatOneEan13", 2, "400638133393", "EAN-13:4006381333931"},
    {"FormatOneCode39", 4, "ZANTH", "CODE-39:ZANTH"},
};

class Symbols1D : public ::testing::TestWithParam<SymbolCase> {};

TEST_P(Symbols1D, DecodesBackToItsData) {
  const SymbolCase& c = GetParam();
  VirtualPrinter p;
  Bytes barcode = c.m <= 6 ? Cat({{0x1D, 0x6B, c.m}, Str(c.data), {0x00}})
                           : Cat({{0x1D, 0x6B, c.m, std::uint8_t(c.data.size())}, Str(c.data)});
  // Centred, 80 dots tall, modules of 2 dots, HRI below.
  p.Feed(Cat({{0x1B, 0x61, 0x01, 0x1D, 0x68, 80, 0x1D, 0x77, 0x02, 0x1D, 0x48, 0x02}, barcode}));
  for (auto& cmd : p.Log()) ASSERT_FALSE(cmd.malformed) << cmd.ToString();
  Image page = p.CurrentPage();
  ASSERT_GT(page.CountBlack(), 200);
  if (c.read.empty() || !HaveZbar()) return;
  EXPECT_EQ(ReadBack(page, c.name), c.read);
}

INSTANTIATE_TEST_SUITE_P(EverySystem, Symbols1D, ::testing::ValuesIn(kSymbols),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Symbols2D, QrAndPdf417PrintTheirStoredData) {
  const std::string qrData = "ZANTH-0042|19.99", pdfData = "PDF417 receipt 0042";
  auto store = [](std::uint8_t cn, const std::string& d) {
    return Cat({{0x1D, 0x28, 0x6B, std::uint8_t(d.size() + 3), 0x00, cn, 0x50, 0x30}, Str(d)});
  };
  const Bytes print = {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x00, 0x51, 0x30};
  Bytes qrPrint = print, pdfPrint = print;
  qrPrint[5] = 0x31;
  pdfPrint[5] = 0x30;
  VirtualPrinter p;
  p.Feed(Cat({{0x1B, 0x61, 0x01, 0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, 0x06}, store(0x31, qrData), qrPrint}));
  if (HaveZbar()) {
    EXPECT_EQ(ReadBack(p.CurrentPage(), "qr"), "QR-Code:" + qrData);
  }
  p.Feed(Cat({store(0x30, pdfData), pdfPrint}));
  for (auto& cmd : p.Log()) ASSERT_FALSE(cmd.malformed) << cmd.ToString();
  EXPECT_EQ(p.StoredPdf417Data(), Str(pdfData));
  EXPECT_EQ(p.StoredQrData(), Str(qrData));
  auto prints = p.LogOf("Pdf417.Print");
  ASSERT_EQ(prints.size(), 1u);
  EXPECT_EQ(prints[0].symbolData, Str(pdfData));
  // A second store replaces the data: the next print carries the new data.
  p.Feed(Cat({store(0x30, "other"), pdfPrint}));
  EXPECT_EQ(p.LogOf("Pdf417.Print").back().symbolData, Str("other"));
}

// Columns of `bytesPerColumn` bytes, bit 7 the top dot: every third column is solid, the rest
// has one dot on the diagonal, so misplaced columns or rows show.
Bytes ColumnImage(int columns, int bytesPerColumn) {
  Bytes d(std::size_t(columns * bytesPerColumn), 0);
  for (int x = 0; x < columns; ++x)
    for (int b = 0; b < bytesPerColumn; ++b) {
      std::uint8_t& v = d[std::size_t(x * bytesPerColumn + b)];
      if (x % 3 == 0) v = 0xFF;
      else if ((x % (bytesPerColumn * 8)) / 8 == b) v = std::uint8_t(0x80 >> (x % 8));
    }
  return d;
}
bool ColumnDot(const Bytes& d, int bytesPerColumn, int x, int y) {
  return d[std::size_t(x * bytesPerColumn + y / 8)] & (0x80 >> (y % 8));
}

TEST(Logos, StoredImagesPrintDotForDot) {
  // 16 x 16 dots either way: FS q 1 with x = 2, y = 2 (units of 8 dots) then FS p 1 0, and
  // GS * 2 2 then GS / 0; both in column form. FS p 1 3 and GS / 3 print them doubled.
  Bytes data = ColumnImage(16, 2);
  const struct { const char* name; Bytes define, print; int scale; } rows[] = {
      {"FsQ", Cat({{0x1C, 0x71, 0x01, 0x02, 0x00, 0x02, 0x00}, data}), {0x1C, 0x70, 0x01, 0x00}, 1},
      {"FsQDoubled", Cat({{0x1C, 0x71, 0x01, 0x02, 0x00, 0x02, 0x00}, data}), {0x1C, 0x70, 0x01, 0x03}, 2},
      {"GsStar", Cat({{0x1D, 0x2A, 0x02, 0x02}, data}), {0x1D, 0x2F, 0x00}, 1},
      {"GsStarDoubled", Cat({{0x1D, 0x2A, 0x02, 0x02}, data}), {0x1D, 0x2F, 0x03}, 2},
  };
  for (auto& r : rows) {
    SCOPED_TRACE(r.name);
    VirtualPrinter p;
    // Defined once, printed twice: a stored logo stays stored.
    p.Feed(Cat({r.define, r.print, r.print}));
    for (auto& cmd : p.Log()) ASSERT_FALSE(cmd.malformed) << cmd.ToString();
    Image page = p.CurrentPage();
    int side = 16 * r.scale;
    ASSERT_EQ(page.height, 2 * side);
    int mismatches = 0;
    for (int y = 0; y < page.height; ++y)
      for (int x = 0; x < page.width; ++x) {
        bool expected = x < side && ColumnDot(data, 2, x / r.scale, (y % side) / r.scale);
        mismatches += page.At(x, y) != expected;
      }
    EXPECT_EQ(mismatches, 0);
  }
  // NV images survive ESC @; the downloaded image does not.
  VirtualPrinter p;
  p.Feed(Cat({rows[0].define, rows[2].define, {0x1B, 0x40}, rows[0].print, rows[2].print}));
  EXPECT_FALSE(p.LogOf("PrintNvImage")[0].malformed);
  EXPECT_TRUE(p.LogOf("PrintDownloadedImage")[0].malformed);
}

TEST(Logos, BitImageModesScaleToTheHeadsDensity) {
  // ESC * m n=2 with every column solid, printed alone (ESC 3 0): 8-dot modes are a third of
  // the vertical density, single-density modes half the horizontal one.
  const struct { std::uint8_t m; int bytesPerColumn, width, height; } rows[] = {
      {0, 1, 4, 24}, {1, 1, 2, 24}, {32, 3, 4, 24}, {33, 3, 2, 24}};
  for (auto& r : rows) {
    SCOPED_TRACE(int(r.m));
    VirtualPrinter p;
    p.Feed(Cat({{0x1B, 0x33, 0x00, 0x1B, 0x2A, r.m, 0x02, 0x00}, Bytes(std::size_t(2 * r.bytesPerColumn), 0xFF), {0x0A}}));
    Image page = p.CurrentPage();
    EXPECT_EQ(page.CountBlack(), r.width * r.height);
    EXPECT_EQ(page.CountBlack(0, 0, r.width, r.height), r.width * r.height);
  }
}

}  // namespace
}  // namespace zanth::sim

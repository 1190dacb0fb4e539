// Hostile, random and truncated streams: the printer logs them and keeps going.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

#include "sim/VirtualPrinter.h"

namespace zanth::sim {
namespace {

struct HostileCase {
  const char* name;
  Bytes bytes;
  const char* expectOp;  // logged somewhere in the stream
};

std::ostream& operator<<(std::ostream& os, const HostileCase& c) { return os << c.name; }

const HostileCase kHostile[] = {
    // GS v 0 65535 x 65535 (4 GiB): refused instead of waited for.
    {"HugeRaster", {0x1D, 0x76, 0x30, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, "RasterImage"},
    // A raster that announces 64 KiB and stops short: reported truncated at the end.
    {"ShortRasterData", {0x1D, 0x76, 0x30, 0x00, 0x00, 0x01, 0x00, 0x01, 0x55}, "Truncated"},
    // GS 8 L with a 2 GiB length: refused at once.
    {"HugeGs8L", {0x1D, 0x38, 0x4C, 0xFF, 0xFF, 0xFF, 0x7F, 0x30, 0x70, 'x'}, "Graphics.Function"},
    // ESC W with the area far outside the paper, then page-mode text and print.
    {"AreaOutside", {0x1B, 0x4C, 0x1B, 0x57, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 0x0C}, "PageArea"},
    // A huge page area is clamped; the page stays printable.
    {"AreaHuge", {0x1B, 0x4C, 0x1B, 0x57, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x1D, 0x24, 0xFF, 0xFF, 'a', 0x0C},
     "FormFeed"},
    // Feeds far beyond any receipt length stop at the page limit.
    {"EndlessFeed", {0x1B, 0x4A, 0xFF, 0x1B, 0x64, 0xFF, 0x1B, 0x64, 0xFF, 0x1B, 0x64, 0xFF, 0x1D, 0x56, 0x00}, "Cut"},
    // Print NV graphics and the downloaded image that were never defined.
    {"Undefined", {0x1D, 0x28, 0x4C, 0x06, 0x00, 0x30, 0x45, 'Z', 'Z', 1, 1, 0x1D, 0x2F, 0x00, 0x1C, 0x70, 0x09, 0x00},
     "PrintNvImage"},
    // NV define whose sizes contradict its length.
    {"NvLies", {0x1D, 0x28, 0x4C, 0x0C, 0x00, 0x30, 0x43, 0x30, 'A', '1', 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x31, 0x00},
     "Graphics.DefineNv"},
    // Raster graphics header that claims more data than it carries.
    {"ShortRaster", {0x1D, 0x38, 0x4C, 0x0A, 0, 0, 0, 0x30, 0x70, 0x30, 1, 1, 0x31, 0xFF, 0xFF, 0xFF, 0xFF, 0x1D, 0x38,
                     0x4C, 0x02, 0, 0, 0, 0x30, 0x02},
     "Graphics.PrintBuffered"},
    // Character size 8 x 8 text wider than the paper.
    {"GiantText", {0x1D, 0x21, 0x77, 'W', 'W', 'W', 'W', 'W', 'W', 'W', 0x0A}, "LineFeed"},
    // QR with an impossible module size and a symbol too large for any version.
    {"QrTooBig", {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, 0x00, 0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30},
     "Qr.ModuleSize"},
    // Every kind of tab and position misuse.
    {"Positions", {0x1B, 0x44, 0xFF, 0xFE, 0x00, 0x09, 0x09, 0x1B, 0x24, 0xFF, 0xFF, 0x1B, 0x5C, 0x00, 0x80, 'x', 0x0A},
     "TabPositions"},
    // Packet framing markers in an unframed stream.
    {"StrayPacketBytes", {0xAA, 0x05, 0xBB, 0x10, 0x04}, "Truncated"},
};

class Hostile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(Hostile, LoggedNeverFatal) {
  const HostileCase& c = GetParam();
  for (bool framed : {false, true}) {
    PrinterConfig cfg;
    cfg.packetFraming = framed;
    VirtualPrinter p(cfg);
    auto start = std::chrono::steady_clock::now();
    p.Feed(c.bytes);
    p.EndOfStream();
    Image receipt = p.ReceiptImage();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_LE(receipt.height, 20001 * 2);
    if (!framed) {
      EXPECT_FALSE(p.LogOf(c.expectOp).empty()) << "no " << c.expectOp;
    }
    // Still a working printer afterwards.
    p.Feed(framed ? Bytes{0xAA, 0x03, 0x10, 0x04, 0x01, 0x15, 0xBB} : Bytes{0x10, 0x04, 0x01});
    Bytes r = p.TakeReplies();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(r.back() & 0x13, 0x12);
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, Hostile, ::testing::ValuesIn(kHostile),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Robustness, RandomAndTruncatedStreams) {
  std::mt19937 rng(20261208);
  const Bytes prefixes[] = {{0x1B}, {0x1D}, {0x1C}, {0x10}, {0x1D, 0x28, 0x6B}, {0x1D, 0x38, 0x4C}, {0x1B, 0x4C}, {0x0A}};
  for (int round = 0; round < 200; ++round) {
    PrinterConfig cfg;
    cfg.packetFraming = round % 5 == 0;
    VirtualPrinter p(cfg);
    Bytes stream;
    while (stream.size() < 400) {
      const Bytes& pre = prefixes[rng() % std::size(prefixes)];
      stream.insert(stream.end(), pre.begin(), pre.end());
      for (int i = int(rng() % 6); i > 0; --i) stream.push_back(std::uint8_t(rng() % 3 ? rng() % 8 : rng()));
    }
    stream.resize(rng() % stream.size());  // cut anywhere
    std::size_t pos = 0;
    while (pos < stream.size()) {
      std::size_t n = std::min<std::size_t>(1 + rng() % 17, stream.size() - pos);
      p.Feed(stream.data() + pos, n);
      pos += n;
      if (rng() % 13 == 0) p.SetPaperEnd(rng() % 2);
    }
    p.EndOfStream();
    EXPECT_EQ(p.BytesReceived(), stream.size());
    (void)p.ReceiptImage();
  }
}

}  // namespace
}  // namespace zanth::sim

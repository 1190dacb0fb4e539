// Decoder: hand-written ESC/POS bytes to commands, in one piece and byte by byte.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "sim/Decoder.h"

namespace zanth::sim {
namespace {

std::vector<Command> DecodeAll(const Bytes& bytes, std::size_t chunk = 0) {
  Decoder d;
  std::vector<Command> out;
  if (chunk == 0) {
    d.Feed(bytes.data(), bytes.size(), out);
  } else {
    for (std::size_t i = 0; i < bytes.size(); i += chunk)
      d.Feed(bytes.data() + i, std::min(chunk, bytes.size() - i), out);
  }
  d.Flush(out);
  return out;
}

struct DecodeCase {
  const char* name;
  Bytes bytes;
  const char* op;
  std::vector<int> args;
  std::size_t dataSize;
  bool malformed;
};

std::ostream& operator<<(std::ostream& os, const DecodeCase& c) { return os << c.name; }

const DecodeCase kCases[] = {
    {"Initialize", {0x1B, 0x40}, "Initialize", {}, 0, false},
    {"PrintModeAll", {0x1B, 0x21, 0xB9}, "PrintMode", {0xB9}, 0, false},  // 80|20|10|08|01
    {"CharacterSize", {0x1D, 0x21, 0x11}, "CharacterSize", {0x11}, 0, false},
    {"Emphasized", {0x1B, 0x45, 0x01}, "Emphasized", {1}, 0, false},
    {"Underline2", {0x1B, 0x2D, 0x02}, "Underline", {2}, 0, false},
    {"Reverse", {0x1D, 0x42, 0x01}, "Reverse", {1}, 0, false},
    {"JustifyCentre", {0x1B, 0x61, 0x01}, "Justification", {1}, 0, false},
    {"LeftMargin", {0x1D, 0x4C, 0x2C, 0x01}, "LeftMargin", {300}, 0, false},        // nL nH = 300
    {"PrintAreaWidth", {0x1D, 0x57, 0x00, 0x02}, "PrintAreaWidth", {512}, 0, false},
    {"LineSpacing", {0x1B, 0x33, 0x40}, "LineSpacing", {0x40}, 0, false},
    {"DefaultLineSpacing", {0x1B, 0x32}, "DefaultLineSpacing", {}, 0, false},
    {"FeedDots", {0x1B, 0x4A, 0xFF}, "FeedDots", {255}, 0, false},
    {"FeedLines", {0x1B, 0x64, 0x03}, "FeedLines", {3}, 0, false},
    {"AbsolutePosition", {0x1B, 0x24, 0x10, 0x00}, "AbsolutePosition", {16}, 0, false},
    {"RelativePosition", {0x1B, 0x5C, 0xF6, 0xFF}, "RelativePosition", {0xFFF6}, 0, false},
    {"CodeTable", {0x1B, 0x74, 0x10}, "CodeTable", {16}, 0, false},
    {"International", {0x1B, 0x52, 0x08}, "InternationalSet", {8}, 0, false},
    {"KanjiOn", {0x1C, 0x26}, "KanjiOn", {}, 0, false},
    {"KanjiOff", {0x1C, 0x2E}, "KanjiOff", {}, 0, false},
    {"UpsideDown", {0x1B, 0x7B, 0x01}, "UpsideDown", {1}, 0, false},
    {"Smoothing", {0x1D, 0x62, 0x01}, "Smoothing", {1}, 0, false},
    {"SelectPeripheral", {0x1B, 0x3D, 0x01}, "SelectPeripheral", {1}, 0, false},
    {"PaperOutSensor", {0x1B, 0x63, 0x33, 0x0F}, "PaperOutSensor", {15}, 0, false},
    {"PaperStopSensor", {0x1B, 0x63, 0x34, 0x03}, "PaperStopSensor", {3}, 0, false},
    {"CutFull", {0x1D, 0x56, 0x00}, "Cut", {0}, 0, false},
    {"CutWithFeed", {0x1D, 0x56, 0x41, 0x20}, "Cut", {65, 32}, 0, false},
    {"Pulse", {0x1B, 0x70, 0x00, 0x19, 0xFA}, "Pulse", {0, 25, 250}, 0, false},
    // ESC ( A pL pH 61 64 count t1 t2: the drawer-wait beep.
    {"Beep", {0x1B, 0x28, 0x41, 0x05, 0x00, 0x61, 0x64, 0x03, 0x01, 0x01}, "Buzzer", {'A'}, 5, false},
    {"DleEot4", {0x10, 0x04, 0x04}, "RealTimeStatus", {4}, 0, false},
    {"DleEotBad", {0x10, 0x04, 0x07}, "RealTimeStatus", {7}, 0, true},
    {"TransmitStatus", {0x1D, 0x72, 0x01}, "TransmitStatus", {1}, 0, false},
    {"PrinterId", {0x1D, 0x49, 0x43}, "TransmitPrinterId", {0x43}, 0, false},
    {"AutoStatusBack", {0x1D, 0x61, 0xFF}, "AutoStatusBack", {255}, 0, false},
    {"ClearBuffers", {0x10, 0x14, 0x08, 0x01, 0x03, 0x14, 0x01, 0x06, 0x02, 0x08}, "RealTimeClearBuffers",
     {8, 1, 3, 0x14, 1, 6, 2, 8}, 0, false},
    {"VendorFunction1", {0x10, 0x14, 0x01, 0x08}, "RealTimeFunction", {1, 8}, 0, false},
    {"PageMode", {0x1B, 0x4C}, "PageMode", {}, 0, false},
    {"PageArea", {0x1B, 0x57, 0x00, 0x00, 0x00, 0x00, 0x40, 0x02, 0xA8, 0x03}, "PageArea", {0, 0, 576, 936}, 0, false},
    {"PageDirection", {0x1B, 0x54, 0x33}, "PageDirection", {0x33}, 0, false},
    {"VerticalPosition", {0x1D, 0x24, 0x64, 0x00}, "AbsoluteVerticalPosition", {100}, 0, false},
    {"TabsDefault", {0x1B, 0x44, 0x08, 0x10, 0x00}, "TabPositions", {8, 16}, 0, false},
    // GS v 0 m xL xH yL yH: 2 bytes by 3 rows.
    {"Raster", {0x1D, 0x76, 0x30, 0x00, 0x02, 0x00, 0x03, 0x00, 1, 2, 3, 4, 5, 6}, "RasterImage", {0, 2, 3}, 6, false},
    {"BitImage24", {0x1B, 0x2A, 0x21, 0x02, 0x00, 1, 2, 3, 4, 5, 6}, "BitImage", {33, 2}, 6, false},
    {"BitImageBadMode", {0x1B, 0x2A, 0x15, 0x02, 0x00}, "BitImage", {21, 2}, 0, true},
    {"DownloadImage", {0x1D, 0x2A, 0x01, 0x01, 1, 2, 3, 4, 5, 6, 7, 8}, "DefineDownloadedImage", {1, 1}, 8, false},
    {"PrintDownloaded", {0x1D, 0x2F, 0x03}, "PrintDownloadedImage", {3}, 0, false},
    // GS 8 L p1..p4 30 02: print the buffered graphics.
    {"PrintBuffered", {0x1D, 0x38, 0x4C, 0x02, 0x00, 0x00, 0x00, 0x30, 0x02}, "Graphics.PrintBuffered", {0x30, 2}, 0, false},
    // GS ( L pL pH 30 45 kc1 kc2 x y: print NV graphics "01" at 1:1.
    {"PrintNvByNumber", {0x1D, 0x28, 0x4C, 0x06, 0x00, 0x30, 0x45, 0x30, 0x31, 0x01, 0x01}, "Graphics.PrintNv",
     {0x30, 0x45}, 4, false},
    {"FsPrintNv", {0x1C, 0x70, 0x01, 0x03}, "PrintNvImage", {1, 3}, 0, false},
    {"BarcodeFormat2", {0x1D, 0x6B, 0x49, 0x03, '{', 'B', 'A'}, "Barcode", {0x49}, 3, false},
    {"BarcodeFormat1", {0x1D, 0x6B, 0x04, 'A', 'B', 0x00}, "Barcode", {4}, 2, false},
    {"BarcodeHeight", {0x1D, 0x68, 0xA2}, "BarcodeHeight", {162}, 0, false},
    {"ModuleWidth", {0x1D, 0x77, 0x02}, "BarcodeModuleWidth", {2}, 0, false},
    {"HriBelow", {0x1D, 0x48, 0x02}, "HriPosition", {2}, 0, false},
    // GS ( k pL pH 31 50 30 "ab": store QR data.
    {"QrStore", {0x1D, 0x28, 0x6B, 0x05, 0x00, 0x31, 0x50, 0x30, 'a', 'b'}, "Qr.Store", {0x31, 0x50}, 3, false},
    {"QrPrint", {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30}, "Qr.Print", {0x31, 0x51}, 1, false},
    {"Pdf417Columns", {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x30, 0x41, 0x05}, "Pdf417.Columns", {0x30, 0x41}, 1, false},
    // GS ( E pL pH 01 49 4E: enter user setup mode.
    {"UserSetup", {0x1D, 0x28, 0x45, 0x03, 0x00, 0x01, 0x49, 0x4E}, "UserSetup", {1}, 2, false},
    {"MaintenanceReset", {0x1D, 0x67, 0x30, 0x00, 0x14, 0x00}, "ResetMaintenanceCounter", {0x30, 0, 20}, 0, false},
    {"LineSegments", {0x1D, 0x27, 0x01, 0x0A, 0x00, 0x14, 0x00}, "LineSegments", {1, 10, 20}, 0, false},
    {"CurvedText", {0x1D, 0x22, 0x01, 0x05, 0x00, 'h', 'i', 0x00}, "CurvedText", {1, 5}, 2, false},
    {"UnknownEsc", {0x1B, 0x7F}, "Unknown", {}, 0, true},
    {"UnknownGs", {0x1D, 0x01}, "Unknown", {}, 0, true},
    {"StrayControl", {0x07}, "Unknown", {}, 0, true},
    // A 16 MiB+ declared length is refused instead of waited for.
    {"HugeLength", {0x1D, 0x38, 0x4C, 0xFF, 0xFF, 0xFF, 0x7F, 0x30, 0x70}, "Graphics.Function", {}, 0, true},
};

class DecodeTable : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTable, WholeAndByteByByte) {
  const DecodeCase& c = GetParam();
  for (std::size_t chunk : {std::size_t(0), std::size_t(1), std::size_t(2)}) {
    auto out = DecodeAll(c.bytes, chunk);
    ASSERT_GE(out.size(), 1u) << "chunk " << chunk;
    const Command& cmd = out.front();
    EXPECT_EQ(cmd.op, c.op) << cmd.ToString() << " chunk " << chunk;
    EXPECT_EQ(cmd.malformed, c.malformed) << cmd.ToString();
    if (std::string(c.name) != "HugeLength") {
      EXPECT_EQ(out.size(), 1u) << "extra commands after " << cmd.ToString();
      EXPECT_EQ(cmd.args, c.args) << cmd.ToString();
      EXPECT_EQ(cmd.data.size(), c.dataSize) << cmd.ToString();
      EXPECT_EQ(cmd.length, c.bytes.size());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Commands, DecodeTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Decoder, TextRunsStopAtControlBytes) {
  Bytes b = {'A', 'b', 'c', 0x0A, 'd', 0x1B, 0x45, 0x01, 'e'};
  auto out = DecodeAll(b);
  ASSERT_EQ(out.size(), 5u);
  EXPECT_EQ(out[0].op, "Text");
  EXPECT_EQ(std::string(out[0].data.begin(), out[0].data.end()), "Abc");
  EXPECT_EQ(out[1].op, "LineFeed");
  EXPECT_EQ(out[2].op, "Text");
  EXPECT_EQ(out[3].op, "Emphasized");
  EXPECT_EQ(out[4].offset, 8u);
}

TEST(Decoder, StoreRasterHeaderAndDataAsTheBuilderSendsThem) {
  // GS 8 L p=10+2: 30 70 30 01 01 31 xL xH yL yH, then 2 raster bytes (8 x 2 dots).
  Bytes b = {0x1D, 0x38, 0x4C, 0x0C, 0x00, 0x00, 0x00, 0x30, 0x70, 0x30, 0x01, 0x01, 0x31,
             0x08, 0x00, 0x02, 0x00, 0xF0, 0x0F};
  auto out = DecodeAll(b, 3);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].op, "Graphics.StoreRaster");
  EXPECT_EQ(out[0].data, (Bytes{0x30, 0x01, 0x01, 0x31, 0x08, 0x00, 0x02, 0x00, 0xF0, 0x0F}));
}

TEST(Decoder, StatusRequestInsideStalledDataIsAnsweredOnce) {
  // GS v 0 announces 4 bytes; 10 04 01 arrives as part of them before the last byte.
  Decoder d;
  std::vector<Command> out;
  Bytes head = {0x1D, 0x76, 0x30, 0x00, 0x04, 0x00, 0x01, 0x00, 0x10, 0x04};
  d.Feed(head.data(), head.size(), out);
  EXPECT_TRUE(out.empty());
  Bytes more = {0x01};
  d.Feed(more.data(), more.size(), out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].op, "RealTimeStatus");
  EXPECT_TRUE(out[0].realtimeInData);
  d.Feed(more.data(), 0, out);  // nothing new: no second answer
  EXPECT_EQ(out.size(), 1u);
  Bytes last = {0xAA};
  d.Feed(last.data(), last.size(), out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[1].op, "RasterImage");
  EXPECT_EQ(out[1].data, (Bytes{0x10, 0x04, 0x01, 0xAA}));
}

TEST(Decoder, TruncatedCommandIsReportedAtEndOfStream) {
  Bytes b = {'x', 0x1D, 0x28, 0x6B, 0x10, 0x00, 0x31};
  auto out = DecodeAll(b);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[1].op, "Truncated");
  EXPECT_TRUE(out[1].malformed);
  EXPECT_EQ(out[1].data.size(), 6u);
}

TEST(Decoder, RandomStreamsAlwaysMakeProgressAndAccountForEveryByte) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 300; ++round) {
    Bytes b(std::size_t(rng() % 600));
    // Bias towards command prefixes so parameters and lengths get exercised.
    for (auto& x : b) {
      std::uint32_t r = rng() % 10;
      x = r < 3 ? std::uint8_t(0x10 + (rng() % 4) * 3 + (rng() % 2) * 0x0D) : std::uint8_t(rng());
    }
    Decoder d;
    std::vector<Command> out;
    std::size_t pos = 0;
    while (pos < b.size()) {
      std::size_t n = std::min<std::size_t>(1 + rng() % 40, b.size() - pos);
      d.Feed(b.data() + pos, n, out);
      pos += n;
    }
    d.Flush(out);
    std::size_t covered = 0;
    for (auto& c : out)
      if (!c.realtimeInData) {
        EXPECT_EQ(c.offset, covered) << "round " << round << " " << c.ToString();
        covered += c.length;
      }
    EXPECT_EQ(covered, b.size()) << "round " << round;
  }
}

}  // namespace
}  // namespace zanth::sim

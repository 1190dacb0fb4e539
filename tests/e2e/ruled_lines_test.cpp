// Ruled lines and curved text on the packet-framed model, from the application's side:
// control object, service object, and the virtual printer on loopback TCP. The PNG of the
// table the printer drew is the evidence: where each line lies and which way it runs.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <iterator>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "OposConstants.h"
#include "POSPrinter.h"
#include "platform/TempDir.h"
#include "platform/image.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "so/com/SoTestSupport.h"

namespace zanth::test {
namespace {

constexpr auto kWait = std::chrono::seconds(20);
constexpr int kWidth = 576;

class RuledLinesEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library().Loaded()) << dlerror();
    ASSERT_EQ(Library().registerServer(), S_OK);
    const std::wstring key = std::wstring(kPrinterRoot) + L"Lines";
    AddFilePrinter(L"Lines", registry_.Folder() + "/unused.out", L"K15SMB");
    TempRegistry::SetString(key, L"PortType", L"TCP/IP");
    TempRegistry::SetString(key, L"PortSettings", L"127.0.0.1," + std::to_wstring(server_.Port()));
    ASSERT_EQ(printer_.Open(L"Lines"), OPOS_SUCCESS);
    ASSERT_EQ(printer_.ClaimDevice(1000), OPOS_SUCCESS);
    printer_.SetDeviceEnabled(true);
    ASSERT_TRUE(printer_.DeviceEnabled());
  }
  void TearDown() override { printer_.Close(); }

  bool WaitForLogged(const char* op, size_t count) {
    return device_.WaitFor([&] { return device_.LogOf(op).size() >= count; }, kWait);
  }
  // What the printer drew so far, through a PNG file: black where the PNG is dark.
  std::vector<std::vector<bool>> DrawnPng() {
    const std::string png = files_.File("paper.png");
    EXPECT_TRUE(sim::WritePng(device_.CurrentPage(), png));
    platform::RgbImage image;
    EXPECT_EQ(platform::LoadImageFile(png, image), platform::ImageStatus::kOk);
    EXPECT_EQ(image.width, kWidth);
    std::vector<std::vector<bool>> rows(static_cast<size_t>(image.height),
                                        std::vector<bool>(static_cast<size_t>(image.width)));
    for (int y = 0; y < image.height; ++y)
      for (int x = 0; x < image.width; ++x) rows[size_t(y)][size_t(x)] = image.Pixel(x, y)[0] < 128;
    return rows;
  }

  TempRegistry registry_;
  testing_support::TempDir files_;
  sim::VirtualPrinter device_{sim::PrinterConfig::ForModel("K15SMB")};
  sim::TcpServer server_{device_, 0};
  co::POSPrinter printer_;
};

// The black runs [from, to] of one dot row.
std::vector<std::pair<int, int>> Runs(const std::vector<bool>& row) {
  std::vector<std::pair<int, int>> runs;
  for (int x = 0; x < int(row.size()); ++x) {
    if (!row[size_t(x)]) continue;
    if (!runs.empty() && runs.back().second == x - 1) runs.back().second = x;
    else runs.push_back({x, x});
  }
  return runs;
}

TEST_F(RuledLinesEndToEnd, TableOfRuledLinesLandsWhereAsked) {
  // Two rows of three cells: rules across the paper, 2-dot bars at the cell borders.
  constexpr int kRowDots = 20;
  const std::wstring rule = L"0,575";
  const std::wstring bars = L"0,1,191,192,383,384,574,575";
  ASSERT_EQ(printer_.TransactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION), OPOS_SUCCESS);
  ASSERT_EQ(printer_.PrintLine(PTR_S_RECEIPT, rule), OPOS_SUCCESS);
  for (int row = 0; row < 2; ++row) {
    for (int i = 0; i < kRowDots; ++i) ASSERT_EQ(printer_.PrintLine(PTR_S_RECEIPT, bars), OPOS_SUCCESS);
    ASSERT_EQ(printer_.PrintLine(PTR_S_RECEIPT, rule), OPOS_SUCCESS);
  }
  ASSERT_EQ(printer_.PrintLine(PTR_S_RECEIPT, L"100,199"), OPOS_SUCCESS);
  ASSERT_EQ(printer_.TransactionPrint(PTR_S_RECEIPT, PTR_TP_NORMAL), OPOS_SUCCESS);
  const size_t lines = 1 + 2 * (kRowDots + 1) + 1;
  ASSERT_TRUE(WaitForLogged("LineSegments", lines));
  for (const sim::Command& command : device_.Log()) EXPECT_FALSE(command.malformed) << command.ToString();

  const auto rows = DrawnPng();
  const int height = int(rows.size());
  int top = 0;
  while (top < height && Runs(rows[size_t(top)]).empty()) ++top;
  ASSERT_LE(top + int(lines), height);
  const std::vector<std::pair<int, int>> across = {{0, 575}};
  const std::vector<std::pair<int, int>> borders = {{0, 1}, {191, 192}, {383, 384}, {574, 575}};
  int y = top;
  EXPECT_EQ(Runs(rows[size_t(y++)]), across) << "top rule at " << top;
  for (int row = 0; row < 2; ++row) {
    // The same columns dot row after dot row: the bars run down the paper.
    for (int i = 0; i < kRowDots; ++i, ++y) EXPECT_EQ(Runs(rows[size_t(y)]), borders) << "row " << y;
    EXPECT_EQ(Runs(rows[size_t(y++)]), across) << "rule at " << y - 1;
  }
  EXPECT_EQ(Runs(rows[size_t(y++)]), (std::vector<std::pair<int, int>>{{100, 199}}));
}

// Curved text through the whole chain: the printer receives the layout, the position and
// the text, and draws it along an arc, arched (ends lower than the middle) or bent (ends
// higher), starting at the position asked for.
TEST_F(RuledLinesEndToEnd, CurvedTextIsDrawnAlongItsArcFromThePosition) {
  struct Row {
    const char* name;
    LONG layout, position;
    bool endsLow;
  } rows[] = {{"Arched", 0, 100, true}, {"Bent", 1, 240, false}};
  const std::string text = "ARCHEDTEXT";  // 10 characters of 12 dots
  int drawnRows = 0;
  for (size_t r = 0; r < std::size(rows); ++r) {
    const Row& row = rows[r];
    SCOPED_TRACE(row.name);
    ASSERT_EQ(printer_.PrintCurveText(PTR_S_RECEIPT, row.layout, row.position, platform::FromUtf8(text)),
              OPOS_SUCCESS);
    EXPECT_EQ(printer_.ErrorString(), L"");
    ASSERT_TRUE(WaitForLogged("CurvedText", r + 1));
    const sim::Command curve = device_.LogOf("CurvedText")[r];
    EXPECT_FALSE(curve.malformed) << curve.ToString();
    EXPECT_EQ(curve.Arg(0), row.layout);
    EXPECT_EQ(curve.Arg(1), row.position);
    EXPECT_EQ(std::string(curve.data.begin(), curve.data.end()), text);

    // Only what this call drew: the rows below the previous drawing.
    const auto rowsNow = DrawnPng();
    ASSERT_GT(int(rowsNow.size()), drawnRows);
    int left = kWidth, right = -1;
    std::vector<int> top(kWidth, -1);  // the first inked row of each column
    for (int y = drawnRows; y < int(rowsNow.size()); ++y)
      for (int x = 0; x < kWidth; ++x)
        if (rowsNow[size_t(y)][size_t(x)]) {
          left = std::min(left, x);
          right = std::max(right, x);
          if (top[size_t(x)] < 0) top[size_t(x)] = y;
        }
    drawnRows = int(rowsNow.size());
    ASSERT_GE(right, left);
    // The first glyph starts at the position (turned a little, it may reach a dot or two
    // further out); ten glyphs along an arc take less than their 120 dots of a line.
    EXPECT_NEAR(left, row.position, 4);
    EXPECT_LT(right - left, 120);
    EXPECT_GT(right - left, 80);
    // The highest ink of the first, middle and last 20 columns.
    auto highest = [&](int from) {
      int best = INT32_MAX;
      for (int x = from; x < from + 20; ++x)
        if (top[size_t(x)] >= 0) best = std::min(best, top[size_t(x)]);
      return best;
    };
    const int first = highest(left), middle = highest((left + right) / 2 - 10), last = highest(right - 19);
    ASSERT_NE(middle, INT32_MAX);
    if (row.endsLow) {
      EXPECT_GT(first, middle + 8);
      EXPECT_GT(last, middle + 8);
    } else {
      EXPECT_LT(first + 8, middle);
      EXPECT_LT(last + 8, middle);
    }
  }
}

// Calls the printer can take only in part: the results stay as they are, ErrorString tells
// what was not printed, and a call that printed everything leaves it empty.
TEST_F(RuledLinesEndToEnd, WhatIsNotPrintedIsToldInErrorString) {
  std::wstring eighteen;
  for (int i = 0; i < 18; ++i) eighteen += (i ? L"," : L"") + std::to_wstring(i * 30);
  struct Case {
    const char* name;
    std::function<LONG()> call;
    const wchar_t* note;  // nullptr: ErrorString empty
    size_t linesAfter, curvesAfter;
  };
  const Case cases[] = {
      {"NineSegments", [&] { return printer_.PrintLine(PTR_S_RECEIPT, eighteen); },
       L"9 segments", 0, 0},
      {"ALinePrinted", [&] { return printer_.PrintLine(PTR_S_RECEIPT, L"0,575"); },
       nullptr, 1, 0},
      {"Layout2", [&] { return printer_.PrintCurveText(PTR_S_RECEIPT, 2, 0, L"x"); },
       L"layout 2", 1, 0},
      {"CurvePrinted", [&] { return printer_.PrintCurveText(PTR_S_RECEIPT, 1, 0, L"ok"); },
       nullptr, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(), OPOS_SUCCESS);
    EXPECT_EQ(printer_.ResultCode(), OPOS_SUCCESS);
    const std::wstring text = printer_.ErrorString();
    if (c.note) {
      EXPECT_NE(text.find(c.note), std::wstring::npos) << platform::ToUtf8(text);
    } else {
      EXPECT_EQ(text, L"");
    }
    // A call that prints is counted exactly: nothing from the calls before it arrived.
    EXPECT_TRUE(WaitForLogged("LineSegments", c.linesAfter));
    EXPECT_TRUE(WaitForLogged("CurvedText", c.curvesAfter));
    EXPECT_EQ(device_.LogOf("LineSegments").size(), c.linesAfter);
    EXPECT_EQ(device_.LogOf("CurvedText").size(), c.curvesAfter);
  }
}

}  // namespace
}  // namespace zanth::test

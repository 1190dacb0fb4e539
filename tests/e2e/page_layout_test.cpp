// Page layouts from the application's side: control object, service object, and the
// virtual printer of an 80 mm model (half-dot vertical units) on loopback TCP. The drawing
// is the evidence: a coupon of boxes with a bitmap and a turned barcode, and a receipt
// printed sideways.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "OposConstants.h"
#include "POSPrinter.h"
#include "platform/TempDir.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "so/com/SoTestSupport.h"
#include "support/ImageFiles.h"
#include "support/SymbolReader.h"

namespace zanth::test {
namespace {

constexpr auto kWait = std::chrono::seconds(20);

// The ink of a page inside [x0, x1) x [y0, y1) as its own image.
sim::Image Crop(const sim::Image& page, int x0, int y0, int x1, int y1) {
  sim::Image part(x1 - x0, y1 - y0);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) part.Set(x - x0, y - y0, page.At(x, y));
  return part;
}

std::string PrintedTexts(const sim::VirtualPrinter& device) {
  std::string all;
  for (const sim::Command& command : device.LogOf("Text")) all.append(command.data.begin(), command.data.end()) += '|';
  return all;
}

class PageLayout : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library().Loaded()) << dlerror();
    ASSERT_EQ(Library().registerServer(), S_OK);
    const std::wstring key = std::wstring(kPrinterRoot) + L"Net";
    AddFilePrinter(L"Net", registry_.Folder() + "/unused.out", L"KR-11");
    TempRegistry::SetString(key, L"PortType", L"TCP/IP");
    TempRegistry::SetString(key, L"PortSettings", L"127.0.0.1," + std::to_wstring(server_.Port()));
    TempRegistry::SetString(L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter", L"Receipt", L"Net");
    ASSERT_EQ(printer_.Open(L"Receipt"), OPOS_SUCCESS);
    ASSERT_EQ(printer_.ClaimDevice(1000), OPOS_SUCCESS);
    printer_.SetDeviceEnabled(true);
    ASSERT_TRUE(printer_.DeviceEnabled());
  }
  void TearDown() override { printer_.Close(); }

  // The one page cut off, with nothing the printer could not parse.
  sim::Image CutPage() {
    EXPECT_EQ(printer_.CutPaper(100), OPOS_SUCCESS);
    EXPECT_TRUE(device_.WaitForCuts(1, kWait));
    for (const sim::Command& command : device_.Log()) EXPECT_FALSE(command.malformed) << command.ToString();
    const auto pages = device_.Pages();
    if (pages.empty()) return sim::Image();
    // Without the cut mark in its last row.
    return Crop(pages[0], 0, 0, pages[0].width, pages[0].height - 1);
  }

  TempRegistry registry_;
  testing_support::TempDir files_;
  sim::VirtualPrinter device_{sim::PrinterConfig::ForModel("KR-11")};
  sim::TcpServer server_{device_, 0};
  co::POSPrinter printer_;
};

TEST_F(PageLayout, CouponWithTwoBoxesABitmapAndATurnedBarcode) {
  const std::string logo = files_.File("logo.png");
  ASSERT_TRUE(WritePngRgba(logo, 96, 48, [](int, int) { return Rgba{0, 0, 0, 255}; }));

  printer_.SetPageModeStation(PTR_S_RECEIPT);
  ASSERT_EQ(printer_.PageModePrint(PTR_PM_PAGE_MODE), OPOS_SUCCESS);
  struct Box {
    const wchar_t* area;
    const wchar_t* text;
  } boxes[] = {{L"0,0,280,120", L"BOX ONE\nFIRST\n"}, {L"296,0,280,120", L"BOX TWO\nSECOND\n"}};
  for (const Box& box : boxes) {
    printer_.SetPageModePrintArea(box.area);
    ASSERT_EQ(printer_.ResultCode(), OPOS_SUCCESS);
    ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, box.text), OPOS_SUCCESS);
  }
  printer_.SetPageModePrintArea(L"0,140,280,160");
  ASSERT_EQ(printer_.PrintBitmap(PTR_S_RECEIPT, platform::FromUtf8(logo), PTR_BM_ASIS, PTR_BM_LEFT),
            OPOS_SUCCESS);
  // Top to bottom: the barcode runs down the paper.
  printer_.SetPageModePrintDirection(PTR_PD_TOP_TO_BOTTOM);
  printer_.SetPageModePrintArea(L"300,140,200,400");
  ASSERT_EQ(printer_.PrintBarCode(PTR_S_RECEIPT, L"ZANTH-42", PTR_BCS_Code128, 80, 2, PTR_BC_CENTER,
                                  PTR_BC_TEXT_NONE),
            OPOS_SUCCESS);
  EXPECT_EQ(device_.LogOf("PageMode").size(), 0u);  // collected until the page is printed
  ASSERT_EQ(printer_.PageModePrint(PTR_PM_NORMAL), OPOS_SUCCESS);
  const sim::Image page = CutPage();
  ASSERT_FALSE(page.Empty());

  const std::string texts = PrintedTexts(device_);
  for (const char* text : {"BOX ONE", "FIRST", "BOX TWO", "SECOND"})
    EXPECT_NE(texts.find(text), std::string::npos) << text << " in " << texts;

  // The page begins below the line feed that opens the job (30 dots).
  constexpr int kTop = 30;
  // Each box keeps to its own area; nothing falls into the gap between them.
  EXPECT_GT(page.CountBlack(0, kTop, 280, kTop + 120), 300);
  EXPECT_GT(page.CountBlack(296, kTop, 576, kTop + 120), 300);
  EXPECT_EQ(page.CountBlack(280, kTop, 296, kTop + 120), 0);
  // Two lines in each box, 30 dots apart: ink in the second line's rows too.
  EXPECT_GT(page.CountBlack(0, kTop + 36, 280, kTop + 60), 50);

  // The bitmap sits at the left of its area, on a baseline one text line below its top.
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  const sim::Image logoArea = Crop(page, 0, kTop + 140, 280, kTop + 300);
  ASSERT_TRUE(logoArea.BlackBounds(x0, y0, x1, y1));
  EXPECT_EQ(x0, 0);
  EXPECT_EQ(x1, 96);
  EXPECT_EQ(y0, 24);
  EXPECT_EQ(y1, 72);
  EXPECT_EQ(logoArea.CountBlack(), 96 * 48);

  // The barcode is turned: longer down the paper than across it, inside its area.
  const sim::Image codeArea = Crop(page, 300, kTop + 140, 500, kTop + 540);
  ASSERT_TRUE(codeArea.BlackBounds(x0, y0, x1, y1));
  EXPECT_GT(y1 - y0, x1 - x0);
  EXPECT_GE(x1 - x0, 80);
  const std::string png = files_.File("coupon.png");
  ASSERT_TRUE(sim::WritePng(page, png, nullptr, 16));
  const std::string symbols = ReadSymbols(png);
  EXPECT_NE(symbols.find("CODE-128:ZANTH-42"), std::string::npos) << symbols;
}

// A half turn on a page: the text after it is drawn from the area's lower right corner,
// each glyph upside down, so the turned text is the upright line below rotated 180 degrees.
TEST_F(PageLayout, UpsideDownTextOnAPage) {
  printer_.SetPageModeStation(PTR_S_RECEIPT);
  printer_.SetPageModePrintArea(L"0,0,576,100");
  ASSERT_EQ(printer_.ResultCode(), OPOS_SUCCESS);
  ASSERT_EQ(printer_.PageModePrint(PTR_PM_PAGE_MODE), OPOS_SUCCESS);
  ASSERT_EQ(printer_.RotatePrint(PTR_S_RECEIPT, PTR_RP_ROTATE180), OPOS_SUCCESS);
  ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, L"TURNED 180\n"), OPOS_SUCCESS);
  ASSERT_EQ(printer_.PageModePrint(PTR_PM_NORMAL), OPOS_SUCCESS);
  EXPECT_EQ(printer_.RotateSpecial(), PTR_RP_NORMAL);
  ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, L"TURNED 180\n\n\n\n\n\n"), OPOS_SUCCESS);
  const sim::Image page = CutPage();
  ASSERT_FALSE(page.Empty());

  // The page begins below the line feed that opens the job (30 dots) and is 100 dots long.
  constexpr int kTop = 30, kBottom = kTop + 100;
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  const sim::Image turned = Crop(page, 0, kTop, page.width, kBottom);
  ASSERT_TRUE(turned.BlackBounds(x0, y0, x1, y1));
  // Ten characters of 12 dots ending at the right edge, in the lower part of the area.
  EXPECT_LE(x1, 576);
  EXPECT_GE(x0, 576 - 10 * 12);
  EXPECT_GT(y0, 100 - 36);
  const sim::Image turnedText = Crop(turned, x0, y0, x1, y1);
  const sim::Image below = Crop(page, 0, kBottom, page.width, page.height);
  ASSERT_TRUE(below.BlackBounds(x0, y0, x1, y1));
  EXPECT_LT(x0, 12);  // upright: from the left edge
  const sim::Image upright = Crop(below, x0, y0, x1, y1);
  ASSERT_EQ(turnedText.width, upright.width);
  ASSERT_EQ(turnedText.height, upright.height);
  int differing = 0;
  for (int y = 0; y < upright.height; ++y)
    for (int x = 0; x < upright.width; ++x)
      differing += turnedText.At(upright.width - 1 - x, upright.height - 1 - y) != upright.At(x, y);
  EXPECT_EQ(differing, 0);
  EXPECT_GT(upright.CountBlack(), 100);
}

TEST_F(PageLayout, ReceiptPrintedSideways) {
  ASSERT_EQ(printer_.RotatePrint(PTR_S_RECEIPT, PTR_RP_RIGHT90), OPOS_SUCCESS);
  const wchar_t* lines[] = {L"SIDEWAYS RECEIPT\n", L"Total 9.99\n", L"THANK YOU\n"};
  for (const wchar_t* line : lines) ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, line), OPOS_SUCCESS);
  EXPECT_TRUE(device_.LogOf("Text").empty());  // the sideways page is printed at the turn back
  ASSERT_EQ(printer_.RotatePrint(PTR_S_RECEIPT, PTR_RP_NORMAL), OPOS_SUCCESS);
  ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, L"UPRIGHT\n\n\n\n\n\n\n\n\n\n"), OPOS_SUCCESS);
  const sim::Image page = CutPage();
  ASSERT_FALSE(page.Empty());

  const auto directions = device_.LogOf("PageDirection");
  ASSERT_FALSE(directions.empty());
  EXPECT_EQ(directions[0].Arg(0), '3');
  const std::string texts = PrintedTexts(device_);
  EXPECT_NE(texts.find("SIDEWAYS RECEIPT|Total 9.99|THANK YOU|UPRIGHT|"), std::string::npos) << texts;

  // The sideways page first: its lines are columns 30 dots apart, starting at the right
  // edge and running down the paper, each as long as its text (16, 10 and 9 characters
  // of 12 dots); the page is as long as the widest line and the 45-dot margin.
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  ASSERT_TRUE(page.BlackBounds(x0, y0, x1, y1));
  const int pageEnd = y0 + (16 * 24 + 45) / 2;
  const sim::Image turned = Crop(page, 0, 0, page.width, pageEnd);
  ASSERT_TRUE(turned.BlackBounds(x0, y0, x1, y1));
  EXPECT_GE(x0, 576 - 3 * 30);
  EXPECT_LE(x1, 576);
  EXPECT_GT(y1 - y0, 2 * (x1 - x0));
  auto columnLength = [&](int right) {
    int c0 = 0, r0 = 0, c1 = 0, r1 = 0;
    const sim::Image column = Crop(turned, right - 26, 0, right, turned.height);
    return column.BlackBounds(c0, r0, c1, r1) ? r1 - r0 : 0;
  };
  const int first = columnLength(576), second = columnLength(546), third = columnLength(516);
  EXPECT_NEAR(first, 16 * 12, 12);
  EXPECT_NEAR(second, 10 * 12, 12);
  EXPECT_NEAR(third, 9 * 12, 12);
  // The upright line below the page reads across.
  const sim::Image upright = Crop(page, 0, pageEnd, page.width, page.height);
  ASSERT_TRUE(upright.BlackBounds(x0, y0, x1, y1));
  EXPECT_GT(x1 - x0, 2 * (y1 - y0));
}

}  // namespace
}  // namespace zanth::test

// A receipt with a logo and barcodes from the application's side: control object, service
// object, and the virtual printer on loopback TCP. The printer's drawing is the evidence:
// the logo's dots where they belong, and every code read back from the PNG by zbarimg.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <iterator>
#include <chrono>
#include <cstdio>
#include <memory>
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

class GraphicsReceipt : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library().Loaded()) << dlerror();
    ASSERT_EQ(Library().registerServer(), S_OK);
    const std::wstring key = std::wstring(kPrinterRoot) + L"Net";
    AddFilePrinter(L"Net", registry_.Folder() + "/unused.out");
    TempRegistry::SetString(key, L"PortType", L"TCP/IP");
    TempRegistry::SetString(key, L"PortSettings", L"127.0.0.1," + std::to_wstring(server_.Port()));
    TempRegistry::SetString(L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter", L"Receipt", L"Net");
    ASSERT_EQ(printer_.Open(L"Receipt"), OPOS_SUCCESS);
    ASSERT_EQ(printer_.ClaimDevice(1000), OPOS_SUCCESS);
    printer_.SetDeviceEnabled(true);
    ASSERT_TRUE(printer_.DeviceEnabled());
  }
  void TearDown() override { printer_.Close(); }

  TempRegistry registry_;
  testing_support::TempDir files_;
  sim::VirtualPrinter device_;
  sim::TcpServer server_{device_, 0};
  co::POSPrinter printer_;
};

TEST_F(GraphicsReceipt, LogoAndCodesPrintAndReadBack) {
  // 96 x 48 logo: a 48 x 32 black block in the middle of a transparent background whose
  // colour (black) must not show.
  const std::string logo = files_.File("logo.png");
  ASSERT_TRUE(WritePngRgba(logo, 96, 48, [](int x, int y) {
    const bool block = x >= 24 && x < 72 && y >= 8 && y < 40;
    return block ? Rgba{0, 0, 0, 255} : Rgba{0, 0, 0, 0};
  }));
  ASSERT_EQ(printer_.PrintBitmap(PTR_S_RECEIPT, platform::FromUtf8(logo), PTR_BM_ASIS, PTR_BM_CENTER),
            OPOS_SUCCESS);
  ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, L"\n"), OPOS_SUCCESS);
  ASSERT_EQ(printer_.PrintBarCode(PTR_S_RECEIPT, L"ZANTH-0042", PTR_BCS_Code128, 80, 2, PTR_BC_CENTER,
                                  PTR_BC_TEXT_BELOW),
            OPOS_SUCCESS);
  ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, L"\n\n"), OPOS_SUCCESS);
  ASSERT_EQ(printer_.PrintBarCode(PTR_S_RECEIPT, L"490123456789", PTR_BCS_EAN13, 80, 300,
                                  PTR_BC_CENTER, PTR_BC_TEXT_BELOW),
            OPOS_SUCCESS);
  ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, L"\n\n"), OPOS_SUCCESS);
  ASSERT_EQ(printer_.PrintBarCode(PTR_S_RECEIPT, L"https://example.com/r/1234", PTR_BCS_QRCODE, 200,
                                  0, PTR_BC_CENTER, PTR_BC_TEXT_NONE),
            OPOS_SUCCESS);
  ASSERT_EQ(printer_.PrintBarCode(PTR_S_RECEIPT, L"PDF417 RECEIPT 0001", PTR_BCS_PDF417, 200, 400,
                                  PTR_BC_CENTER, PTR_BC_TEXT_NONE),
            OPOS_SUCCESS);
  ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, L"\n\n\n"), OPOS_SUCCESS);
  ASSERT_EQ(printer_.CutPaper(100), OPOS_SUCCESS);
  ASSERT_TRUE(device_.WaitForCuts(1, kWait));
  for (const sim::Command& command : device_.Log()) {
    EXPECT_FALSE(command.malformed) << command.ToString();
  }

  const auto pages = device_.Pages();
  ASSERT_EQ(pages.size(), 1u);
  const sim::Image& page = pages[0];
  // The logo is the first ink: centred, (576 - 96) / 2 = 240, so the block spans 264..312.
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  sim::Image top(page.width, 60);
  for (int y = 0; y < 60 && y < page.height; ++y)
    for (int x = 0; x < page.width; ++x) top.Set(x, y, page.At(x, y));
  ASSERT_TRUE(top.BlackBounds(x0, y0, x1, y1));
  EXPECT_EQ(x0, 264);
  EXPECT_EQ(x1 - x0, 48);  // bounds end one past the last black dot
  EXPECT_EQ(y1 - y0, 32);
  EXPECT_EQ(top.CountBlack(), 48 * 32);  // solid block, nothing from the transparent part

  const std::string png = files_.File("receipt.png");
  ASSERT_TRUE(sim::WritePng(page, png));
  const std::string symbols = ReadSymbols(png);
  EXPECT_NE(symbols.find("CODE-128:ZANTH-0042"), std::string::npos) << symbols;
  EXPECT_NE(symbols.find("EAN-13:4901234567894"), std::string::npos) << symbols;
  EXPECT_NE(symbols.find("QR-Code:https://example.com/r/1234"), std::string::npos) << symbols;

  // zbar cannot read PDF417: the printer's stored symbol data is the check.
  const auto stores = device_.LogOf("Pdf417.Store");
  ASSERT_EQ(stores.size(), 1u);
  const std::string stored(stores[0].data.begin(), stores[0].data.end());
  EXPECT_NE(stored.find("PDF417 RECEIPT 0001"), std::string::npos) << stored;
  EXPECT_EQ(device_.LogOf("Pdf417.Print").size(), 1u);
}

// The printer's vertical motion unit is half its dot (0.0705 mm against 0.141 mm): the
// bars still come out as many print-head dots tall as the application asked for.
TEST_F(GraphicsReceipt, BarsAreAsTallAsAsked) {
  struct Row {
    const char* name;
    LONG mapMode, height;
    int dots;
  } rows[] = {{"Dots", PTR_MM_DOTS, 80, 80}, {"Metric10mm", PTR_MM_METRIC, 1000, 70}};
  for (size_t r = 0; r < std::size(rows); ++r) {
    const Row& row = rows[r];
    SCOPED_TRACE(row.name);
    printer_.SetMapMode(row.mapMode);
    ASSERT_EQ(printer_.PrintBarCode(PTR_S_RECEIPT, L"ZANTH-0042", PTR_BCS_Code128, row.height, 2,
                                    PTR_BC_CENTER, PTR_BC_TEXT_NONE),
              OPOS_SUCCESS);
    ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, L"\n\n"), OPOS_SUCCESS);
    ASSERT_EQ(printer_.CutPaper(100), OPOS_SUCCESS);
    ASSERT_TRUE(device_.WaitForCuts(int(r) + 1, kWait));
    const auto pages = device_.Pages();
    ASSERT_EQ(pages.size(), r + 1);
    const sim::Image& page = pages[r];
    sim::Image bars(page.width, page.height - 1);  // without the cut mark in the last row
    for (int y = 0; y < bars.height; ++y)
      for (int x = 0; x < bars.width; ++x) bars.Set(x, y, page.At(x, y));
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    ASSERT_TRUE(bars.BlackBounds(x0, y0, x1, y1));
    EXPECT_EQ(y1 - y0, row.dots);
    EXPECT_EQ(device_.LogOf("BarcodeHeight").back().Arg(0), row.dots);
  }
}

TEST_F(GraphicsReceipt, RefusedRequestsReachTheApplicationAndPrintNothing) {
  const std::string text = files_.File("notes.png");
  ASSERT_TRUE(WriteBytes(text, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}));
  EXPECT_EQ(printer_.PrintBitmap(PTR_S_RECEIPT, platform::FromUtf8(text), PTR_BM_ASIS, PTR_BM_LEFT),
            OPOS_E_ILLEGAL);
  EXPECT_EQ(printer_.PrintBitmap(PTR_S_RECEIPT, L"/nonexistent/logo.bmp", PTR_BM_ASIS, PTR_BM_LEFT),
            OPOS_E_NOEXIST);
  EXPECT_EQ(printer_.PrintBarCode(PTR_S_RECEIPT, std::wstring(256, L'7'), PTR_BCS_QRCODE, 400, 0,
                                  PTR_BC_LEFT, PTR_BC_TEXT_NONE),
            OPOS_E_ILLEGAL);
  EXPECT_EQ(printer_.PrintBarCode(PTR_S_RECEIPT, L"123", PTR_BCS_MAXICODE, 50, 2, PTR_BC_LEFT,
                                  PTR_BC_TEXT_NONE),
            OPOS_E_ILLEGAL);
  EXPECT_EQ(printer_.SetLogo(3, L"x"), OPOS_E_EXTENDED);
  EXPECT_EQ(printer_.ResultCodeExtended(), 301);
  ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, L"END\n"), OPOS_SUCCESS);
  ASSERT_EQ(printer_.CutPaper(100), OPOS_SUCCESS);
  ASSERT_TRUE(device_.WaitForCuts(1, kWait));
  EXPECT_TRUE(device_.LogOf("Qr.Store").empty());
  EXPECT_TRUE(device_.LogOf("Graphics.StoreRaster").empty());
  EXPECT_EQ(device_.PrintedText(), "END\n");
}

}  // namespace
}  // namespace zanth::test

// A receipt from an application's point of view: the control object opened by logical
// name, the service object, and the virtual printer on loopback TCP. What the printer
// decoded and drew is the evidence.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "OposConstants.h"
#include "POSPrinter.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "so/com/SoTestSupport.h"

namespace zanth::test {
namespace {

constexpr auto kWait = std::chrono::seconds(10);

bool Logged(const sim::VirtualPrinter& device, const char* op, int arg) {
  for (const sim::Command& command : device.LogOf(op)) {
    if (command.Arg(0) == arg) return true;
  }
  return false;
}

class PrintReceipt : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library().Loaded()) << dlerror();
    ASSERT_EQ(Library().registerServer(), S_OK);
    const std::wstring key = std::wstring(kPrinterRoot) + L"Net";
    AddFilePrinter(L"Net", registry_.Folder() + "/unused.out");
    TempRegistry::SetString(key, L"PortType", L"TCP/IP");
    TempRegistry::SetString(key, L"PortSettings",
                            L"127.0.0.1," + std::to_wstring(server_.Port()));
    TempRegistry::SetString(L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter", L"Receipt",
                            L"Net");
  }
  void TearDown() override { printer_.Close(); }

  void OpenClaimEnable() {
    ASSERT_EQ(printer_.Open(L"Receipt"), OPOS_SUCCESS);
    ASSERT_EQ(printer_.ClaimDevice(1000), OPOS_SUCCESS);
    printer_.SetDeviceEnabled(true);
    ASSERT_EQ(printer_.ResultCode(), OPOS_SUCCESS);
    ASSERT_TRUE(printer_.DeviceEnabled());
  }
  // Ink in the text rows at the top of a page between x0 and x1.
  static int InkIn(const sim::Image& page, int x0, int x1) {
    return page.CountBlack(x0, 0, x1, 40);
  }

  TempRegistry registry_;
  sim::VirtualPrinter device_;
  sim::TcpServer server_{device_, 0};
  co::POSPrinter printer_;
};

TEST_F(PrintReceipt, TextStylesAndCutReachThePrinter) {
  OpenClaimEnable();
  // One call per line: attributes end with each call.
  const wchar_t* lines[] = {
      L"\x1b|cA\x1b|bC\x1b|4CSHOP\n",   // centred, bold, double width and height
      L"\x1b|uCUnderlined\n",
      L"\x1b|rvCReversed\n",
      L"\x1b|rATotal 9.99\n",         // flush right
      L"plain line\n",
  };
  for (const wchar_t* line : lines) {
    ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, line), OPOS_SUCCESS) << line;
  }
  ASSERT_EQ(printer_.CutPaper(100), OPOS_SUCCESS);
  ASSERT_TRUE(device_.WaitForCuts(1, kWait));

  EXPECT_EQ(device_.PrintedText(), "SHOP\nUnderlined\nReversed\nTotal 9.99\nplain line\n");
  EXPECT_TRUE(Logged(device_, "Emphasized", 1));
  EXPECT_TRUE(Logged(device_, "CharacterSize", 0x11));  // GS ! : 2 x 2
  EXPECT_TRUE(Logged(device_, "Underline", 1));
  EXPECT_TRUE(Logged(device_, "Reverse", 1));
  EXPECT_TRUE(Logged(device_, "Justification", 1));
  EXPECT_TRUE(Logged(device_, "Justification", 2));
  // Every style switched on is switched off again before the next line's call.
  EXPECT_TRUE(Logged(device_, "Reverse", 0));
  EXPECT_TRUE(Logged(device_, "CharacterSize", 0x00));
  EXPECT_EQ(device_.CutCount(), 1);
  for (const sim::Command& command : device_.Log()) {
    EXPECT_FALSE(command.malformed) << command.ToString();
  }
}

// Every character value through the whole stack: the service object takes the BSTR by
// its length (a NUL inside ends the printed text, nothing else breaks), and the next
// call prints normally.
TEST_F(PrintReceipt, EveryCharacterValueLeavesThePrinterUsable) {
  OpenClaimEnable();
  printer_.SetCharacterSet(1252);
  ASSERT_EQ(printer_.ResultCode(), OPOS_SUCCESS);
  std::wstring all;
  for (wchar_t c = 0x20; c <= 0xFF; ++c) all += c;  // printable range first
  all += L"\n";
  for (wchar_t c = 1; c < 0x20; ++c) {
    if (c != 0x1B && c != 0x1D && c != 0x1C && c != 0x10) all += c;  // no command starts
  }
  all += L"\u4E00\U0001F600\uFFFF\n";
  all += wchar_t(0);
  all += L"dropped";
  EXPECT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, all), OPOS_SUCCESS);
  EXPECT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, L"END\n"), OPOS_SUCCESS);
  ASSERT_EQ(printer_.CutPaper(100), OPOS_SUCCESS);
  ASSERT_TRUE(device_.WaitForCuts(1, kWait));
  const std::string text = device_.PrintedText();
  EXPECT_NE(text.find(" !\"#$%&'()*+,-./0123456789"), std::string::npos);
  EXPECT_NE(text.find("\xE9"), std::string::npos);  // e-acute in 1252
  EXPECT_EQ(text.find("dropped"), std::string::npos);
  EXPECT_NE(text.find("END\n"), std::string::npos);
}

// A job far larger than the socket's buffers arrives whole, in order. (Megabytes are
// shown against the scripted port: the TCP port gives a block 3 x 1000 ms, and the
// virtual printer's decoding speed is not something a test should bet on.)
TEST_F(PrintReceipt, LargeJobArrivesWhole) {
  OpenClaimEnable();
  std::wstring data;
  const std::wstring line = std::wstring(40, L'x') + L"\n";
  while (data.size() < (64u << 10)) data += line;
  data += L"LAST\n";
  ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, data), OPOS_SUCCESS);
  ASSERT_TRUE(device_.WaitForBytes(data.size(), kWait));
  EXPECT_TRUE(device_.WaitFor(
      [&] {
        const std::string text = device_.PrintedText();
        return text.size() == data.size() && text.compare(text.size() - 5, 5, "LAST\n") == 0;
      },
      kWait));
}

struct AlignmentCase {
  const char* name;
  const wchar_t* data;
  int inkFrom, inkTo;  // the text's columns; no ink elsewhere in its rows
};

void PrintTo(const AlignmentCase& c, std::ostream* os) { *os << c.name; }

class Alignment : public PrintReceipt, public testing::WithParamInterface<AlignmentCase> {};

TEST_P(Alignment, ShowsInTheImage) {
  const AlignmentCase& c = GetParam();
  OpenClaimEnable();
  ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, c.data), OPOS_SUCCESS);
  ASSERT_EQ(printer_.CutPaper(100), OPOS_SUCCESS);
  ASSERT_TRUE(device_.WaitForCuts(1, kWait));
  const auto pages = device_.Pages();
  ASSERT_EQ(pages.size(), 1u);
  const sim::Image& page = pages[0];
  ASSERT_EQ(page.width, 576);
  EXPECT_GT(InkIn(page, c.inkFrom, c.inkTo), 0);
  EXPECT_EQ(InkIn(page, 0, c.inkFrom), 0);
  EXPECT_EQ(InkIn(page, c.inkTo, page.width), 0);
}

// Six characters of 12 dots: 72 dots, centred at 252..324, flush right at 504..576.
INSTANTIATE_TEST_SUITE_P(
    Letters, Alignment,
    testing::Values(AlignmentCase{"Left", L"CENTER\n", 0, 80},
                    AlignmentCase{"Centre", L"\x1b|cACENTER\n", 248, 328},
                    AlignmentCase{"Right", L"\x1b|rACENTER\n", 500, 576}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusalCase {
  const char* name;
  void (sim::VirtualPrinter::*condition)(bool);
  LONG extended;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class Refusal : public PrintReceipt, public testing::WithParamInterface<RefusalCase> {};

// The condition is read at enable; synchronous output is refused with the reason, and
// the reason travels with OPOS_E_EXTENDED to the application.
TEST_P(Refusal, SynchronousOutputReportsTheReason) {
  const RefusalCase& c = GetParam();
  (device_.*c.condition)(true);
  OpenClaimEnable();
  EXPECT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, L"never printed\n"), OPOS_E_EXTENDED);
  EXPECT_EQ(printer_.ResultCode(), OPOS_E_EXTENDED);
  EXPECT_EQ(printer_.ResultCodeExtended(), c.extended);
  EXPECT_EQ(printer_.CutPaper(100), OPOS_E_EXTENDED);
  EXPECT_EQ(printer_.ResultCodeExtended(), c.extended);

  EXPECT_EQ(printer_.PrintImmediate(PTR_S_RECEIPT, L"never printed\n"), OPOS_E_EXTENDED);
  EXPECT_EQ(printer_.ResultCodeExtended(), c.extended);

  // Ready again: the state is read anew at the next enable, and printing resumes.
  (device_.*c.condition)(false);
  printer_.SetDeviceEnabled(false);
  printer_.SetDeviceEnabled(true);
  ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, L"printed\n"), OPOS_SUCCESS);
  EXPECT_TRUE(device_.WaitFor([&] { return device_.PrintedText() == "printed\n"; }, kWait))
      << device_.PrintedText();
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, Refusal,
    testing::Values(RefusalCase{"CoverOpen", &sim::VirtualPrinter::SetCoverOpen,
                                OPOS_EPTR_COVER_OPEN},
                    RefusalCase{"PaperEmpty", &sim::VirtualPrinter::SetPaperEnd,
                                OPOS_EPTR_REC_EMPTY}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Properties by name and by index ---------------------------------------------------------

struct PropertyCase {
  const char* name;
  LONG (co::POSPrinter::*get)();
  void (co::POSPrinter::*set)(LONG);  // null: read-only
  LONG index;
  LONG value;  // written by name, then by index
};

void PrintTo(const PropertyCase& c, std::ostream* os) { *os << c.name; }

const PropertyCase kProperties[] = {
    {"RecLineChars", &co::POSPrinter::RecLineChars, &co::POSPrinter::SetRecLineChars,
     PIDXPtr_RecLineChars, 56},  // 512-dot line: font B, 9 dots
    {"CharacterSet", &co::POSPrinter::CharacterSet, &co::POSPrinter::SetCharacterSet,
     PIDXPtr_CharacterSet, 1252},
    {"MapMode", &co::POSPrinter::MapMode, &co::POSPrinter::SetMapMode, PIDXPtr_MapMode,
     PTR_MM_METRIC},
    {"AsyncMode", &co::POSPrinter::AsyncMode, &co::POSPrinter::SetAsyncMode,
     PIDXPtr_AsyncMode, 1},
    {"RecLineHeight", &co::POSPrinter::RecLineHeight, &co::POSPrinter::SetRecLineHeight,
     PIDXPtr_RecLineHeight, 30},
    {"RecLineSpacing", &co::POSPrinter::RecLineSpacing, &co::POSPrinter::SetRecLineSpacing,
     PIDXPtr_RecLineSpacing, 40},
    {"BinaryConversion", &co::POSPrinter::BinaryConversion,
     &co::POSPrinter::SetBinaryConversion, PIDX_BinaryConversion, OPOS_BC_NIBBLE},
    {"RecLineWidth", &co::POSPrinter::RecLineWidth, nullptr, PIDXPtr_RecLineWidth, 0},
    {"RecLinesToPaperCut", &co::POSPrinter::RecLinesToPaperCut, nullptr,
     PIDXPtr_RecLinesToPaperCut, 0},
    {"CapRecPapercut", &co::POSPrinter::CapRecPapercut, nullptr, PIDXPtr_CapRecPapercut, 0},
    {"CoverOpen", &co::POSPrinter::CoverOpen, nullptr, PIDXPtr_CoverOpen, 0},
    {"OutputID", &co::POSPrinter::OutputID, nullptr, PIDX_OutputID, 0},
};

class Property : public PrintReceipt, public testing::WithParamInterface<PropertyCase> {};

TEST_P(Property, ByNameEqualsByIndex) {
  const PropertyCase& c = GetParam();
  OpenClaimEnable();
  co::POSPrinter& p = printer_;
  EXPECT_EQ((p.*c.get)(), p.GetNumberProperty(c.index));
  if (!c.set) return;
  (p.*c.set)(c.value);
  EXPECT_EQ(p.ResultCode(), OPOS_SUCCESS);
  EXPECT_EQ((p.*c.get)(), c.value);
  EXPECT_EQ(p.GetNumberProperty(c.index), c.value);
  const LONG before = (p.*c.get)();
  (p.*c.set)(before);  // writing the same value by index changes nothing either way
  p.SetNumberProperty(c.index, before);
  EXPECT_EQ(p.ResultCode(), OPOS_SUCCESS);
  EXPECT_EQ((p.*c.get)(), p.GetNumberProperty(c.index));
}

INSTANTIATE_TEST_SUITE_P(Table, Property, testing::ValuesIn(kProperties),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PrintReceipt, StringPropertiesByNameEqualByIndex) {
  OpenClaimEnable();
  EXPECT_EQ(printer_.PageModeArea(), printer_.GetStringProperty(PIDXPtr_PageModeArea));
  EXPECT_EQ(printer_.RecLineCharsList(), printer_.GetStringProperty(PIDXPtr_RecLineCharsList));
  printer_.SetMapMode(PTR_MM_METRIC);  // the area follows MapMode either way
  EXPECT_EQ(printer_.PageModeArea(), printer_.GetStringProperty(PIDXPtr_PageModeArea));
}

// Writes by index read back by name, for a value the engine must convert.
TEST_F(PrintReceipt, IndexWriteReadsBackByName) {
  OpenClaimEnable();
  printer_.SetNumberProperty(PIDXPtr_RecLineChars, 40);
  EXPECT_EQ(printer_.ResultCode(), OPOS_SUCCESS);
  EXPECT_EQ(printer_.RecLineChars(), 40);
  EXPECT_EQ(printer_.RecLineWidth(), 480);  // 40 cells of 12 dots
  // No font is that narrow on the 512-dot line: the narrowest (9 dots) fills it.
  printer_.SetNumberProperty(PIDXPtr_RecLineChars, 70);
  EXPECT_EQ(printer_.ResultCode(), OPOS_E_EXTENDED);
  EXPECT_EQ(printer_.ResultCodeExtended(), 300);
  EXPECT_EQ(printer_.RecLineChars(), 56);
  EXPECT_EQ(printer_.RecLineWidth(), 512);
}

}  // namespace
}  // namespace zanth::test

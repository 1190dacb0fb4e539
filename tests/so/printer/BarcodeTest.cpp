// Barcodes through the engine: Code 128 notation, module fitting, two-dimensional symbols
// sized with zint, and the bytes (or nothing) the port receives for each request.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "OposConstants.h"
#include "TestEngine.h"

namespace {

using Tesk::Printer::CPrinterBase;
using zanth::test::FakePort;
using zanth::test::TestEngine;
using Bytes = std::vector<BYTE>;

Bytes B(const std::string& text) { return Bytes(text.begin(), text.end()); }
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}
bool Contains(const Bytes& haystack, const Bytes& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

struct Conversion {
  const char* name;
  bool parsed;
  Bytes input;
  int ok;
  Bytes output;
};

TEST(Code128, DataBecomesThePrintersCodeSetNotation) {
  const Conversion cases[] = {
      {"even digits", false, B("12345678"), 1, Cat({B("{C"), {0x0C, 0x22, 0x38, 0x4E}})},
      {"short run inside", false, B("AB12"), 1, B("{BAB12")},
      {"odd digits", false, B("1234567"), 1, Cat({B("{C"), {0x0C, 0x22, 0x38}, B("{B7")})},
      {"tab first", false, B("\tab"), 1, B("{A\t{Bab")},
      {"brace is literal", false, B("a{b"), 1, B("{Ba{{b")},
      {"233 bytes", false, Bytes(233, 'A'), 0, Bytes(233, 'A')},
      {"parsed C then B", true, B("{C1234{BAB"), 1, Cat({B("{C"), {0x0C, 0x22}, B("{BAB")})},
      {"parsed without selector", true, B("ab"), 1, B("{Bab")},
      {"parsed C odd tail", true, B("{C123A"), 1, Cat({B("{C"), {0x0C}, B("{B3A")})},
      {"parsed one byte", true, B("A"), 0, B("A")},
  };
  for (const Conversion& c : cases) {
    SCOPED_TRACE(c.name);
    PrinterBuffer data(8, 8);
    data.AppendBytes(c.input.data(), static_cast<std::int32_t>(c.input.size()));
    const int ok = c.parsed ? CPrinterBase::convert_bar_code_code128_Parsed(data)
                            : CPrinterBase::convert_bar_code_code128(data);
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(Bytes(data.Data(), data.Data() + data.Size()), c.output);
  }
}

class BarcodeEngine : public TestEngine {
 public:
  using CPrinterBase::FormatBarcode;
  void SetMapMode(LONG mode) { mapMode_ = mode; }
  void SetVerticalPitch(float mm) { dotSizeV_ = mm; }
};

class Barcodes : public ::testing::Test {
 protected:
  void SetUp() override {
    port = zanth::test::OpenReadyEngine(engine, events);
    ASSERT_FALSE(HasFailure());
    port->ClearWritten();
  }
  LONG Print(const std::wstring& data, LONG symbology, LONG height, LONG width,
             LONG alignment = PTR_BC_LEFT, LONG text = PTR_BC_TEXT_NONE) {
    LONG result = -1;
    engine.PrintBarCode(PTR_S_RECEIPT, data, symbology, height, width, alignment, text, &result);
    EXPECT_EQ(result, engine.GetResultCode());
    return result;
  }
  BarcodeEngine engine;
  zanth::test::RecordingEvents events;
  std::shared_ptr<FakePort> port;
};

TEST_F(Barcodes, OneDimensionalCommandsByteForByte) {
  struct {
    const char* name;
    std::wstring data;
    LONG symbology, height, width, text;
    Bytes command;
  } cases[] = {
      // GS w 3, GS h 80, GS H 0, GS f 0, GS k 69 n data: width 3 is the module itself.
      {"Code 39 width 3", L"ABC", PTR_BCS_Code39, 80, 3, PTR_BC_TEXT_NONE,
       Cat({{0x1D, 0x77, 3, 0x1D, 0x68, 80, 0x1D, 0x48, 0, 0x1D, 0x66, 0, 0x1D, 0x6B, 0x45, 3}, B("ABC")})},
      // 95 x 4 = 380 fits 400; 95 x 5 does not.
      {"EAN13 width 400", L"490123456789", PTR_BCS_EAN13, 100, 400, PTR_BC_TEXT_BELOW,
       Cat({{0x1D, 0x77, 4, 0x1D, 0x68, 100, 0x1D, 0x48, 2, 0x1D, 0x66, 0, 0x1D, 0x6B, 0x43, 12},
            B("490123456789")})},
      {"EAN13 width 150", L"490123456789", PTR_BCS_EAN13, 100, 150, PTR_BC_TEXT_ABOVE,
       Cat({{0x1D, 0x77, 2, 0x1D, 0x68, 100, 0x1D, 0x48, 1, 0x1D, 0x66, 0, 0x1D, 0x6B, 0x43, 12},
            B("490123456789")})},
      {"width 0 takes module 2", L"ABC", PTR_BCS_Code39, 80, 0, PTR_BC_TEXT_NONE,
       Cat({{0x1D, 0x77, 2, 0x1D, 0x68, 80, 0x1D, 0x48, 0, 0x1D, 0x66, 0, 0x1D, 0x6B, 0x45, 3}, B("ABC")})},
      // A bar taller than GS h can say is drawn at 255, not at 300 mod 256.
      {"height 300", L"12345678", PTR_BCS_Code128, 300, 2, PTR_BC_TEXT_NONE,
       Cat({{0x1D, 0x77, 2, 0x1D, 0x68, 255, 0x1D, 0x48, 0, 0x1D, 0x66, 0, 0x1D, 0x6B, 0x49, 6},
            B("{C"), {12, 34, 56, 78}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    port->ClearWritten();
    ASSERT_EQ(Print(c.data, c.symbology, c.height, c.width, PTR_BC_LEFT, c.text), 0);
    const Bytes written = port->Written();
    // ESC J 0, ESC a 0 (left), then the symbol.
    EXPECT_TRUE(Contains(written, Cat({{0x1B, 0x4A, 0x00, 0x1B, 0x61, 0x00}, c.command}))) << c.name;
  }
  LONG total = 0;
  const Bytes ean = B("490123456789");
  EXPECT_EQ(engine.GetCmdHelper()->FitBarcodeWidth(PTR_BCS_EAN13, 400, ean.data(), 12, &total), 4);
  EXPECT_EQ(total, 380);
  EXPECT_EQ(engine.GetCmdHelper()->FitBarcodeWidth(PTR_BCS_EAN13, 150, ean.data(), 12, &total), 2);
  EXPECT_EQ(total, 150);
}

TEST_F(Barcodes, QrModelFollowsTheDataLength) {
  for (size_t length : {250u, 251u}) {
    SCOPED_TRACE(length);
    port->ClearWritten();
    ASSERT_EQ(Print(std::wstring(length, L'7'), PTR_BCS_QRCODE, 400, 0), 0);
    const Bytes model = {0x1D, 0x28, 0x6B, 4, 0, 0x31, 0x41, BYTE(length > 250 ? 50 : 49), 0};
    EXPECT_TRUE(Contains(port->Written(), model));
    // Store (GS ( k pL pH 31 50 30 data) precedes print (31 51 30).
    EXPECT_TRUE(Contains(port->Written(), {0x1D, 0x28, 0x6B, BYTE(length + 3), 0, 0x31, 0x50, 0x30}));
    EXPECT_TRUE(Contains(port->Written(), {0x1D, 0x28, 0x6B, 3, 0, 0x31, 0x51, 0x30}));
  }
  // A short URL: zint gives 25 modules a side, so 200 dots make 8-dot modules.
  port->ClearWritten();
  ASSERT_EQ(Print(L"https://example.com/r/1234", PTR_BCS_QRCODE, 200, 0), 0);
  EXPECT_TRUE(Contains(port->Written(), {0x1D, 0x28, 0x6B, 3, 0, 0x31, 0x43, 8}));
}

// GS h and the QR module size count print-head dots, also where the vertical motion unit
// is half a dot: the symbol is as tall on paper as asked.
TEST_F(Barcodes, HeightsCountPrintHeadDotsWhateverTheVerticalUnit) {
  struct {
    const char* name;
    float verticalPitch;
    LONG mapMode, symbology, height;
    Bytes command;
  } cases[] = {
      {"WholeDotFeed", 0.125f, PTR_MM_DOTS, PTR_BCS_Code39, 80, {0x1D, 0x68, 80}},
      {"HalfDotFeed", 0.0625f, PTR_MM_DOTS, PTR_BCS_Code39, 80, {0x1D, 0x68, 80}},
      // 10 mm of 0.125 mm dots.
      {"HalfDotFeedMetric", 0.0625f, PTR_MM_METRIC, PTR_BCS_Code39, 1000, {0x1D, 0x68, 80}},
      // 25 modules a side in 200 dots: 8-dot modules.
      {"HalfDotFeedQr", 0.0625f, PTR_MM_DOTS, PTR_BCS_QRCODE, 200, {0x1D, 0x28, 0x6B, 3, 0, 0x31, 0x43, 8}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    engine.SetVerticalPitch(c.verticalPitch);
    engine.SetMapMode(c.mapMode);
    port->ClearWritten();
    const std::wstring data = c.symbology == PTR_BCS_QRCODE ? L"https://example.com/r/1234" : L"ABC";
    ASSERT_EQ(Print(data, c.symbology, c.height, 3), 0);
    EXPECT_TRUE(Contains(port->Written(), c.command));
  }
}

TEST_F(Barcodes, Pdf417IsSizedAndItsDataStored) {
  ASSERT_EQ(Print(L"PDF417 RECEIPT 0001", PTR_BCS_PDF417, 200, 400), 0);
  const Bytes written = port->Written();
  EXPECT_TRUE(Contains(written, Cat({{0x1D, 0x28, 0x6B, 22, 0, 0x30, 0x50, 0x30}, B("PDF417 RECEIPT 0001")})));
  EXPECT_TRUE(Contains(written, {0x1D, 0x28, 0x6B, 4, 0, 0x30, 0x45, 49, 1}));
  EXPECT_TRUE(Contains(written, {0x1D, 0x28, 0x6B, 3, 0, 0x30, 0x51, 0x30}));
}

// Every refusal gives its code and sends nothing: no size settings, no 2D store or print.
TEST_F(Barcodes, RefusedRequestsSendNothing) {
  struct {
    const char* name;
    std::wstring data;
    LONG symbology, height, width, alignment, text, code;
  } cases[] = {
      {"negative height", L"123", PTR_BCS_Code39, -1, 2, PTR_BC_LEFT, PTR_BC_TEXT_NONE, OPOS_E_ILLEGAL},
      {"taller than a page", L"123", PTR_BCS_Code39, 65536, 2, PTR_BC_LEFT, PTR_BC_TEXT_NONE,
       OPOS_E_ILLEGAL},
      {"negative width", L"123", PTR_BCS_Code39, 50, -1, PTR_BC_LEFT, PTR_BC_TEXT_NONE, OPOS_E_ILLEGAL},
      {"width 600", L"123", PTR_BCS_Code39, 50, 600, PTR_BC_LEFT, PTR_BC_TEXT_NONE, OPOS_E_ILLEGAL},
      {"alignment 0", L"123", PTR_BCS_Code39, 50, 2, 0, PTR_BC_TEXT_NONE, OPOS_E_ILLEGAL},
      {"alignment -4", L"123", PTR_BCS_Code39, 50, 2, -4, PTR_BC_TEXT_NONE, OPOS_E_ILLEGAL},
      {"text position -14", L"123", PTR_BCS_Code39, 50, 2, PTR_BC_LEFT, -14, OPOS_E_ILLEGAL},
      {"empty data", L"", PTR_BCS_Code39, 50, 2, PTR_BC_LEFT, PTR_BC_TEXT_NONE, OPOS_E_ILLEGAL},
      {"unsupported symbology", L"123", PTR_BCS_MAXICODE, 50, 2, PTR_BC_LEFT, PTR_BC_TEXT_NONE,
       OPOS_E_ILLEGAL},
      {"Code 128 of 233 bytes", std::wstring(233, L'A'), PTR_BCS_Code128, 50, 2, PTR_BC_LEFT,
       PTR_BC_TEXT_NONE, OPOS_E_ILLEGAL},
      {"Code 39 of 256 bytes", std::wstring(256, L'A'), PTR_BCS_Code39, 50, 2, PTR_BC_LEFT,
       PTR_BC_TEXT_NONE, OPOS_E_ILLEGAL},
      {"QR of 256 bytes", std::wstring(256, L'7'), PTR_BCS_QRCODE, 400, 0, PTR_BC_LEFT,
       PTR_BC_TEXT_NONE, OPOS_E_ILLEGAL},
      {"QR module 0", L"HELLO", PTR_BCS_QRCODE, 10, 0, PTR_BC_LEFT, PTR_BC_TEXT_NONE, OPOS_E_ILLEGAL},
      {"QR module above 16", L"HELLO", PTR_BCS_QRCODE, 2000, 0, PTR_BC_LEFT, PTR_BC_TEXT_NONE,
       OPOS_E_ILLEGAL},
      {"PDF417 too narrow", L"DATA", PTR_BCS_PDF417, 200, 20, PTR_BC_LEFT, PTR_BC_TEXT_NONE,
       OPOS_E_ILLEGAL},
      {"PDF417 too low", L"DATA", PTR_BCS_PDF417, 10, 400, PTR_BC_LEFT, PTR_BC_TEXT_NONE,
       OPOS_E_ILLEGAL},
      {"PDF417 of 300 bytes", std::wstring(300, L'A'), PTR_BCS_PDF417, 400, 500, PTR_BC_LEFT,
       PTR_BC_TEXT_NONE, OPOS_E_ILLEGAL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    port->ClearWritten();
    EXPECT_EQ(Print(c.data, c.symbology, c.height, c.width, c.alignment, c.text), c.code);
    EXPECT_EQ(engine.GetResultCodeExtended(), 0);
    EXPECT_TRUE(port->Written().empty());
  }
}

// Found by fuzzing: a symbol two billion dots tall, turned a quarter, was fed its height a
// few bytes at a time for minutes. Nothing taller than a page can be placed.
TEST_F(Barcodes, TurnedSymbolTallerThanAPageIsRefusedAtOnce) {
  LONG result = -1;
  engine.RotatePrint(PTR_S_RECEIPT, PTR_RP_RIGHT90, &result);
  ASSERT_EQ(result, 0);
  port->ClearWritten();
  EXPECT_EQ(Print(L"0123405", PTR_BCS_UPCA, 2040020400, 0), OPOS_E_ILLEGAL);
  EXPECT_TRUE(port->Written().empty());
}

// A refused symbol in print data leaves no 2D store behind that a later print command
// (or the printer's memory of an earlier symbol) would turn into wrong paper.
TEST_F(Barcodes, RefusedSymbolInPrintDataAddsNothing) {
  PrinterBuffer out(8, 8), data(8, 8);
  const std::string big(256, '7');
  data.AppendBytes(big.data(), 256);
  // Too large for the symbol: refused with the OPOS code, not the encoder's own number.
  EXPECT_EQ(engine.FormatBarcode(out, data, PTR_BCS_QRCODE, 400, 0, PTR_BC_LEFT, PTR_BC_TEXT_NONE),
            OPOS_E_ILLEGAL);
  EXPECT_TRUE(out.IsEmpty());
  data.Clear();
  data.AppendBytes("123", 3);
  EXPECT_EQ(engine.FormatBarcode(out, data, 999, 50, 2, PTR_BC_LEFT, PTR_BC_TEXT_NONE), OPOS_E_ILLEGAL);
  EXPECT_TRUE(out.IsEmpty());
}

// ESC | #R in print data: the symbol is drawn where the sequence stands, between the text.
TEST_F(Barcodes, BarcodeInPrintDataIsFormatted) {
  LONG result = -1;
  engine.PrintNormal(PTR_S_RECEIPT, L"A\x1b|33Rs101h200w400a-2t-13d490123456789eB\n", &result);
  ASSERT_EQ(result, 0);
  const Bytes written = port->Written();
  // Centred (ESC a 1), module 4 (95 x 4 = 380 <= 400), HRI below, UPC-A, then left again.
  const Bytes symbol = Cat({{0x1B, 0x61, 0x01, 0x1D, 0x77, 4, 0x1D, 0x68, 200, 0x1D, 0x48, 2, 0x1D, 0x66, 0,
                             0x1D, 0x6B, 0x41, 12},
                            B("490123456789"), {0x1B, 0x61, 0x00}});
  const auto at = std::search(written.begin(), written.end(), symbol.begin(), symbol.end());
  ASSERT_NE(at, written.end());
  EXPECT_LT(std::find(written.begin(), written.end(), 'A'), at);
  EXPECT_GT(std::find(at, written.end(), 'B'), at);
  // A symbology the printer lacks prints nothing in print data either.
  port->ClearWritten();
  engine.PrintNormal(PTR_S_RECEIPT, L"\x1b|19Rs202h50w2a-1t-11dXe", &result);
  EXPECT_FALSE(Contains(port->Written(), {0x1D, 0x6B}));
  EXPECT_FALSE(Contains(port->Written(), {0x1D, 0x28, 0x6B}));
}

// A builder that lets another engine format a symbol in the middle of this engine's
// placement: after the positioning prefix is composed, before it is appended.
class InterleavingBuilder : public CCmdHelperBase {
 public:
  std::function<void()> between;
  int PrintWithoutFeed(PrinterBuffer& out) override {
    if (auto run = std::exchange(between, nullptr)) run();
    return CCmdHelperBase::PrintWithoutFeed(out);
  }
};

class PrefixEngine : public TestEngine {
 public:
  void UseBuilder(Tesk::Printer::ICmdHelper* builder) { cmdHelper_ = builder; }
};

// Each engine composes its barcode's positioning prefix in a buffer of its own: an engine
// formatting while the other is between composing and appending its prefix changes
// neither's placement.
TEST(PositioningPrefix, EnginesComposingInterleavedKeepTheirOwn) {
  struct Row {
    const char* name;
    LONG alignmentA, alignmentB;
    Bytes prefixA, prefixB;
  } rows[] = {
      {"CentreAndRight", PTR_BC_CENTER, PTR_BC_RIGHT, {0x1B, 0x61, 1}, {0x1B, 0x61, 2}},
      {"MarginAndCentre", 40, PTR_BC_CENTER, {0x1D, 0x4C, 40, 0}, {0x1B, 0x61, 1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    InterleavingBuilder builderA, builderB;
    zanth::test::RecordingEvents eventsA, eventsB;
    PrefixEngine engineA, engineB;
    auto portA = zanth::test::OpenReadyEngine(engineA, eventsA);
    auto portB = zanth::test::OpenReadyEngine(engineB, eventsB);
    ASSERT_FALSE(::testing::Test::HasFailure());
    engineA.UseBuilder(&builderA);
    engineB.UseBuilder(&builderB);
    LONG resultA = -1, resultB = -1;
    auto print = [](PrefixEngine& engine, LONG alignment, LONG* result) {
      engine.PrintBarCode(PTR_S_RECEIPT, L"123456", PTR_BCS_Code39, 50, 2, alignment, PTR_BC_TEXT_NONE,
                          result);
    };
    builderA.between = [&] { print(engineB, row.alignmentB, &resultB); };
    print(engineA, row.alignmentA, &resultA);
    ASSERT_EQ(resultA, 0);
    ASSERT_EQ(resultB, 0);
    const Bytes symbol = {0x1D, 0x77, 2};  // GS w: the symbol follows its prefix
    const Bytes writtenA = portA->Written(), writtenB = portB->Written();
    EXPECT_TRUE(Contains(writtenA, Cat({row.prefixA, symbol})));
    EXPECT_FALSE(Contains(writtenA, Cat({row.prefixB, symbol})));
    EXPECT_TRUE(Contains(writtenB, Cat({row.prefixB, symbol})));
    EXPECT_FALSE(Contains(writtenB, Cat({row.prefixA, symbol})));
    LONG closed = 0;
    engineA.CloseService(&closed);
    engineB.CloseService(&closed);
  }
}

TEST_F(Barcodes, CoverOpenIsReportedBeforeAnythingIsSent) {
  Tesk::Printer::tagPrinterStatus status{};
  status.coverOpen = 1;
  engine.SetLastStatus(status);
  EXPECT_EQ(Print(L"123", PTR_BCS_Code39, 50, 2), OPOS_E_EXTENDED);
  EXPECT_EQ(engine.GetResultCodeExtended(), OPOS_EPTR_COVER_OPEN);
  EXPECT_TRUE(port->Written().empty());
}

}  // namespace

// The packet-framed dialect: its framing, its replaced commands and the ones it leaves out.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "CmdHelperK15.h"
#include "OposConstants.h"
#include "so/cmd/ByteMatch.h"

using Tesk::Printer::ICmdHelper;
using Tesk::Printer::tagPrinterStatus;
using zanth_test::Bytes;
using zanth_test::BytesEqual;

namespace {

using Op = int (*)(ICmdHelper&, PrinterBuffer&);

struct CommandCase {
  const char* name;
  Op run;
  int result;
  Bytes bytes;
};

const BYTE kData[] = {1, 2, 3, 4, 5, 6, 7, 8};

const CommandCase kK15Cases[] = {
    // --- packet-framed real-time request: AA 03 10 04 n (10 ^ 04 ^ n) BB ---
    {"RealTimeStatus1", [](ICmdHelper& h, PrinterBuffer& o) { return h.RequestRealTimeStatus(o, 1); },
     1, {0xAA, 0x03, 0x10, 0x04, 0x01, 0x15, 0xBB}},
    {"RealTimeStatus2", [](ICmdHelper& h, PrinterBuffer& o) { return h.RequestRealTimeStatus(o, 2); },
     1, {0xAA, 0x03, 0x10, 0x04, 0x02, 0x16, 0xBB}},
    {"RealTimeStatus3", [](ICmdHelper& h, PrinterBuffer& o) { return h.RequestRealTimeStatus(o, 3); },
     1, {0xAA, 0x03, 0x10, 0x04, 0x03, 0x17, 0xBB}},
    {"RealTimeStatus4", [](ICmdHelper& h, PrinterBuffer& o) { return h.RequestRealTimeStatus(o, 4); },
     1, {0xAA, 0x03, 0x10, 0x04, 0x04, 0x10, 0xBB}},

    // --- left out: nothing sent, 0 returned ---
    {"FormFeed", [](ICmdHelper& h, PrinterBuffer& o) { return h.FormFeed(o); }, 0, {}},
    {"PageFormFeed", [](ICmdHelper& h, PrinterBuffer& o) { return h.PageFormFeed(o); }, 0, {}},
    {"RealTimePrefix", [](ICmdHelper& h, PrinterBuffer& o) { return h.RealTimePrefix(o, 0, 0); }, 0, {}},
    {"RealTimeFunction1", [](ICmdHelper& h, PrinterBuffer& o) { return h.RealTimeFunction1(o); }, 0, {}},
    {"RealTimeClearBuffers", [](ICmdHelper& h, PrinterBuffer& o) { return h.RealTimeClearBuffers(o); }, 0, {}},
    {"SelectStandardMode", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectStandardMode(o); }, 0, {}},
    {"EnterUserSetupMode", [](ICmdHelper& h, PrinterBuffer& o) { return h.EnterUserSetupMode(o); }, 0, {}},
    {"ExitUserSetupMode", [](ICmdHelper& h, PrinterBuffer& o) { return h.ExitUserSetupMode(o); }, 0, {}},
    {"SetCustomValues", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCustomValues(o, 1, 1, 1, 1, 1); }, 0, {}},
    {"SetCustomValue116", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCustomValue116(o, 1); }, 0, {}},
    {"SetCustomValue118", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCustomValue118(o, 1); }, 0, {}},
    {"FeedAndFullCut", [](ICmdHelper& h, PrinterBuffer& o) { return h.FeedAndFullCut(o); }, 0, {}},
    {"FeedAndPartialCut", [](ICmdHelper& h, PrinterBuffer& o) { return h.FeedAndPartialCut(o); }, 0, {}},
    {"RealTimeRequest", [](ICmdHelper& h, PrinterBuffer& o) { return h.RealTimeRequest(o, 1); }, 0, {}},
    {"SetRightSpacing", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetRightSpacing(o, 1); }, 0, {}},
    {"SelectInternationalSet", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectInternationalSet(o, 1); }, 0, {}},
    {"SetRotate90", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetRotate90(o, 1); }, 0, {}},
    {"SetPaperOutSensor", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPaperOutSensor(o, 0); }, 0, {}},
    {"SetPaperStopSensor", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPaperStopSensor(o, 0); }, 0, {}},
    {"EnablePanelButtons", [](ICmdHelper& h, PrinterBuffer& o) { return h.EnablePanelButtons(o, 1); }, 0, {}},
    {"SetAbsoluteVerticalPosition", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetAbsoluteVerticalPosition(o, 5); }, 0, {}},
    {"FeedToCutAndCut", [](ICmdHelper& h, PrinterBuffer& o) { return h.FeedToCutAndCut(o, 0); }, 0, {}},
    {"SetRelativeVerticalPosition", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetRelativeVerticalPosition(o, 5); }, 0, {}},
    {"SetAutoStatusBack", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetAutoStatusBack(o, 255); }, 0, {}},
    {"SetPageArea", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPageArea(o, 0, 0, 576, 936); }, 0, {}},
    {"SelectBitImage", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectBitImage(o, 0, 8, kData, 8); }, 0, {}},
    {"GeneratePulse", [](ICmdHelper& h, PrinterBuffer& o) { return h.GeneratePulse(o, 0, 1, 1); }, 0, {}},
    {"SelectCharacterFont", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCharacterFont(o, 0); }, 0, {}},
    {"SetPageDirection", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPageDirection(o, 0); }, 0, {}},
    {"SelectCodeTable", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodeTable(o, 0); }, 0, {}},
    {"ResetMaintenanceCounter", [](ICmdHelper& h, PrinterBuffer& o) { return h.ResetMaintenanceCounter(o, 20); }, 0, {}},
    {"QueryMaintenanceCounter", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryMaintenanceCounter(o, 20); }, 0, {}},
    {"ExecuteTestPrint", [](ICmdHelper& h, PrinterBuffer& o) { return h.ExecuteTestPrint(o, 0, 1); }, 0, {}},
    {"GetInternationalSet", [](ICmdHelper& h, PrinterBuffer&) { return h.GetInternationalSetForCodePage(932); }, 0, {}},
    {"GetPageDirection", [](ICmdHelper& h, PrinterBuffer&) { return h.GetPageDirectionForRotation(PTR_RP_RIGHT90); }, 0, {}},
    {"IsDrawerOpen", [](ICmdHelper& h, PrinterBuffer&) { return h.IsDrawerOpen(0x04, 1) + h.IsDrawerOpen(0, 0); }, 0, {}},
    {"IsDrawerStateChanged", [](ICmdHelper& h, PrinterBuffer&) { return h.IsDrawerStateChanged(0x04, 0, 0); }, 0, {}},

    // --- validated as the base would, nothing sent ---
    {"SetHeadSpeedValid", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetHeadSpeed(o, 5); }, 1, {}},
    {"SetHeadSpeedInvalid", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetHeadSpeed(o, 0); }, 0, {}},
    {"SetCustomValue97Valid", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCustomValue97(o, 2); }, 1, {}},
    {"SetCustomValue97Invalid", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCustomValue97(o, 3); }, 0, {}},
    {"SetSerialBaudRateValid", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetSerialBaudRate(o, "19200"); }, 1, {}},
    {"SetSerialBaudRateInvalid", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetSerialBaudRate(o, "1"); }, 0, {}},
    {"SetSerialParity", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetSerialParity(o, 1); }, 1, {}},
    {"SetSerialFlowControl", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetSerialFlowControl(o, 1); }, 1, {}},
    {"SetSerialDataBits", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetSerialDataBits(o, 8); }, 1, {}},
    {"QueryPrintDensity", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryPrintDensity(o); }, 1, {}},
    {"QueryHeadSpeed", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryHeadSpeed(o); }, 1, {}},
    {"QueryCustomValue97", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryCustomValue97(o); }, 1, {}},
    {"QueryCustomValue116", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryCustomValue116(o); }, 1, {}},
    {"QueryCustomValue118", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryCustomValue118(o); }, 1, {}},
    {"QueryCustomValue", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryCustomValue(o, 5); }, 1, {}},
    {"QuerySerialBaudRate", [](ICmdHelper& h, PrinterBuffer& o) { return h.QuerySerialBaudRate(o); }, 1, {}},
    {"QuerySerialParity", [](ICmdHelper& h, PrinterBuffer& o) { return h.QuerySerialParity(o); }, 1, {}},
    {"QuerySerialFlowControl", [](ICmdHelper& h, PrinterBuffer& o) { return h.QuerySerialFlowControl(o); }, 1, {}},
    {"QuerySerialDataBits", [](ICmdHelper& h, PrinterBuffer& o) { return h.QuerySerialDataBits(o); }, 1, {}},

    // --- replaced commands ---
    {"SetPrintDensity9", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPrintDensity(o, 9); }, 1,
     {0x1D, 0x45, 0x09}},  // GS E n
    {"SetPrintDensity10Refused", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPrintDensity(o, 10); },
     0, {}},
    {"SetPrintDensityNegativeRefused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPrintDensity(o, -1); }, 0, {}},
    {"PrintNvGraphicsNormal",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.PrintNvGraphics(o, 5, 0x20, 0, 0); }, 1,
     {0x1C, 0x70, 0x05, 0x00}},  // FS p n m
    {"PrintNvGraphicsWide",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.PrintNvGraphics(o, 5, 0x20, 2, 0); }, 1,
     {0x1C, 0x70, 0x05, 0x01}},
    {"PrintNvGraphicsTall",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.PrintNvGraphics(o, 5, 0x20, 0, 1); }, 1,
     {0x1C, 0x70, 0x05, 0x02}},
    {"PrintNvGraphicsBoth",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.PrintNvGraphics(o, 5, 0x20, 1, 1); }, 1,
     {0x1C, 0x70, 0x05, 0x03}},
    {"DefineNvGraphicsPads",
     [](ICmdHelper& h, PrinterBuffer& o) {
       static const BYTE d[] = {0xAA, 0xBB, 0xCC};
       return h.DefineNvGraphics(o, 0x20, 0x21, 0, 10, 2, d, 3);
     },
     1, {0x1C, 0x71, 0x01,           // FS q, one image
         0x0A, 0x00, 0x02, 0x00,     // 10 x 2 dots
         0xAA, 0xBB, 0xCC, 0x00}},   // 2 rows of 2 bytes, padded
    {"DefineNvGraphicsTwoPlanes",
     [](ICmdHelper& h, PrinterBuffer& o) {
       static const BYTE d[] = {0x11, 0x22};
       return h.DefineNvGraphics(o, 0x20, 0x21, 1, 8, 1, d, 2);
     },
     1, {0x1C, 0x71, 0x01, 0x08, 0x00, 0x01, 0x00, 0x11, 0x22}},
    {"SetHriFont48", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetHriFont(o, 48); }, 1,
     {0x1D, 0x66, 0x30}},
    {"SetHriFont2Refused", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetHriFont(o, 2); }, 0, {}},
    {"CodePage437", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodePage(o, 437); }, 1,
     {0x1C, 0x2E}},  // FS . only
    {"CodePage1252", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodePage(o, 1252); }, 1,
     {0x1C, 0x2E}},
    {"CodePage850", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodePage(o, 850); }, 1,
     {0x1C, 0x26}},  // FS &
    {"CodePage997", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodePage(o, 997); }, 1,
     {0x1C, 0x26}},
    {"CodePage1147", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodePage(o, 1147); }, 1,
     {0x1C, 0x26}},
    {"CodePage932", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodePage(o, 932); }, 1,
     {0x1C, 0x26}},
    {"DrawLineSegments",
     [](ICmdHelper& h, PrinterBuffer& o) {
       static const std::int16_t p[] = {10, 100, 200, 300};
       return h.DrawLineSegments(o, p, 2);
     },
     0, {0x1D, 0x27, 0x02,           // GS ' n
         0x0A, 0x00, 0x64, 0x00,     // 10 .. 100
         0xC8, 0x00, 0x2C, 0x01}},   // 200 .. 300
    {"DrawLineSegmentsNine",
     [](ICmdHelper& h, PrinterBuffer& o) {
       static const std::int16_t p[18] = {};
       return h.DrawLineSegments(o, p, 9);
     },
     0, {}},
    {"PrintCurvedText",
     [](ICmdHelper& h, PrinterBuffer& o) {
       static const BYTE t[] = {'A', 'B'};
       return h.PrintCurvedText(o, 1, 0x0102, t, 2);
     },
     0, {0x1D, 0x22, 0x01,    // GS " text number
         0x02, 0x01,          // position 258
         0x41, 0x42, 0x00}},  // text, NUL
    {"PrintCurvedTextNumber2",
     [](ICmdHelper& h, PrinterBuffer& o) {
       static const BYTE t[] = {'A'};
       return h.PrintCurvedText(o, 2, 0, t, 1);
     },
     0, {}},
    {"PrintCurvedTextStopsAtNul",
     [](ICmdHelper& h, PrinterBuffer& o) {
       static const BYTE t[] = {'A', 0x00, 0x1B, 0x40};
       return h.PrintCurvedText(o, 0, 0, t, 4);
     },
     0, {0x1D, 0x22, 0x00, 0x00, 0x00, 0x41, 0x00}},

    // --- as the base ---
    {"SetUnderline", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetUnderline(o, 1); }, 1,
     {0x1B, 0x2D, 0x01}},
    {"SetUnderlineRefused", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetUnderline(o, 3); }, 0, {}},
    {"ResetTextFormat", [](ICmdHelper& h, PrinterBuffer& o) { return h.ResetTextFormat(o); }, 1,
     {0x1B, 0x21, 0x00, 0x1B, 0x61, 0x00, 0x1B, 0x2D, 0x00}},
    {"TransmitStatus", [](ICmdHelper& h, PrinterBuffer& o) { return h.TransmitStatus(o, 1); }, 1,
     {0x1D, 0x72, 0x01}},
    {"InitializePrinter", [](ICmdHelper& h, PrinterBuffer& o) { return h.InitializePrinter(o); }, 1,
     {0x1B, 0x40}},
    {"SetCharacterSize", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCharacterSize(o, 2, 2); },
     1, {0x1D, 0x21, 0x11}},
};

class K15Command : public ::testing::TestWithParam<CommandCase> {};

TEST_P(K15Command, AppendsExactBytes) {
  const CommandCase& c = GetParam();
  CmdHelper_K15 helper;
  PrinterBuffer out;
  out.Append(0xEE);
  EXPECT_EQ(c.run(helper, out), c.result);
  Bytes expected = {0xEE};
  expected.insert(expected.end(), c.bytes.begin(), c.bytes.end());
  EXPECT_TRUE(BytesEqual(out, expected));
}

INSTANTIATE_TEST_SUITE_P(CmdHelperK15, K15Command, ::testing::ValuesIn(kK15Cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Packets: AA, length, the chunk, XOR of the chunk, BB.
Bytes Framed(const Bytes& data) {
  Bytes framed;
  for (size_t offset = 0; offset < data.size(); offset += 46) {
    const size_t length = std::min<size_t>(46, data.size() - offset);
    framed.push_back(0xAA);
    framed.push_back(static_cast<std::uint8_t>(length));
    std::uint8_t check = 0;
    for (size_t i = 0; i < length; ++i) {
      framed.push_back(data[offset + i]);
      check ^= data[offset + i];
    }
    framed.push_back(check);
    framed.push_back(0xBB);
  }
  return framed;
}

TEST(CmdHelperK15Framing, ThreeBytesInOnePacket) {
  CmdHelper_K15 helper;
  PrinterBuffer data, out;
  const BYTE request[] = {0x10, 0x04, 0x01};
  data.AppendBytes(request, 3);
  EXPECT_EQ(helper.WriteData(out, data), 1);
  EXPECT_TRUE(BytesEqual(out, {0xAA, 0x03,        // start, length
                               0x10, 0x04, 0x01,  // DLE EOT 1
                               0x15,              // 10 ^ 04 ^ 01
                               0xBB}));           // end
}

struct FramingCase {
  const char* name;
  int size;
  int packets;
};

const FramingCase kFramingCases[] = {
    {"Empty", 0, 0},       {"One", 1, 1},      {"FullPacket", 46, 1},
    {"FortySeven", 47, 2}, {"TwoFull", 92, 2}, {"Long", 1000, 22},
};

class K15Framing : public ::testing::TestWithParam<FramingCase> {};

TEST_P(K15Framing, CutsIntoPacketsOf46) {
  CmdHelper_K15 helper;
  PrinterBuffer data, out;
  Bytes raw;
  for (int i = 0; i < GetParam().size; ++i) raw.push_back(static_cast<std::uint8_t>(i * 7 + 3));
  data.AppendBytes(raw.data(), static_cast<std::int32_t>(raw.size()));
  helper.WriteData(out, data);
  const Bytes expected = Framed(raw);
  EXPECT_EQ(static_cast<int>(expected.size()), GetParam().size + 4 * GetParam().packets);
  EXPECT_TRUE(BytesEqual(out, expected));
  if (GetParam().size == 47) {
    EXPECT_EQ(out.At(1), 0x2E);       // first packet holds 46
    EXPECT_EQ(out.At(46 + 5), 0x01);  // second holds the last byte
  }
}

INSTANTIATE_TEST_SUITE_P(CmdHelperK15, K15Framing, ::testing::ValuesIn(kFramingCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct ChangeStep {
  Bytes status;
  LONG code;
};

struct ChangeCase {
  const char* name;
  Bytes remembered;
  std::vector<ChangeStep> steps;
};

const ChangeCase kK15ChangeCases[] = {
    {"CoverInByte1",
     {0, 0, 0, 0},
     {{{0x00, 0x04, 0x00, 0x00}, PTR_SUE_COVER_OPEN},
      {{0x00, 0x00, 0x00, 0x00}, PTR_SUE_COVER_OK}}},
    {"BaseCoverBitIgnored", {0, 0, 0, 0}, {{{0x20, 0x00, 0x00, 0x00}, 0}}},
    {"Byte1Bit3NoCode", {0, 0, 0, 0}, {{{0x00, 0x08, 0x00, 0x00}, 0}}},
    {"PaperOutThenNearThenOk",
     {0, 0, 0, 0},
     {{{0x00, 0x00, 0x00, 0x6C}, PTR_SUE_REC_EMPTY},
      {{0x00, 0x00, 0x00, 0x6C}, PTR_SUE_REC_NEAREMPTY},
      {{0x00, 0x00, 0x00, 0x6C}, 0},
      {{0x00, 0x00, 0x00, 0x00}, PTR_SUE_REC_PAPEROK}}},
    {"PartialPaperEndNoChange",
     {0, 0, 0, 0x60},
     {{{0x00, 0x00, 0x00, 0x20}, 0}}},  // not all of 60 set, not all clear
    {"HalfNearEndIgnored", {0, 0, 0, 0}, {{{0x00, 0x00, 0x00, 0x04}, 0}}},
    {"HalfPaperEndIgnored", {0, 0, 0, 0}, {{{0x00, 0x00, 0x00, 0x40}, 0}}},
    {"CoverFirst",
     {0, 0, 0, 0},
     {{{0x00, 0x04, 0x00, 0x60}, PTR_SUE_COVER_OPEN},
      {{0x00, 0x04, 0x00, 0x60}, PTR_SUE_REC_EMPTY}}},
};

class K15StatusChange : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(K15StatusChange, UsesItsOwnLayout) {
  CmdHelper_K15 helper;
  Bytes remembered = GetParam().remembered;
  int step = 0;
  for (const ChangeStep& s : GetParam().steps) {
    EXPECT_EQ(helper.DetectStatusChange(s.status.data(), remembered.data()), s.code)
        << "step " << step;
    ++step;
  }
}

INSTANTIATE_TEST_SUITE_P(CmdHelperK15, K15StatusChange, ::testing::ValuesIn(kK15ChangeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CmdHelperK15, DrawerQueryLeftAlone) {
  CmdHelper_K15 helper;
  BYTE query[3] = {};
  helper.GetDrawerStatusQuery(query);
  EXPECT_EQ(query[0], 0);
  EXPECT_EQ(query[1], 0);
  EXPECT_EQ(query[2], 0);
}

TEST(CmdHelperK15, CutsIgnoreCutFeedDistance) {
  CmdHelper_K15 helper;
  helper.SetCutFeedDistance(3600);
  PrinterBuffer out;
  helper.FeedAndFullCut(out);
  helper.FeedAndPartialCut(out);
  EXPECT_TRUE(out.IsEmpty());
}

TEST(CmdHelperK15, DefaultTabsKeptAcrossCallsAndCopies) {
  CmdHelper_K15 helper("K15SMB");
  PrinterBuffer first, again;
  helper.SetDefaultTabs(first);
  ASSERT_EQ(first.Size(), 34);
  EXPECT_EQ(first.At(0), 0x1B);
  EXPECT_EQ(first.At(1), 0x44);
  EXPECT_EQ(first.At(32), 0xF8);
  EXPECT_EQ(first.At(33), 0x00);
  CmdHelper_K15 copy(helper);
  copy.SetDefaultTabs(again);
  helper.SetDefaultTabs(again);
  ASSERT_EQ(again.Size(), 68);
  EXPECT_EQ(std::memcmp(again.Data(), first.Data(), 34), 0);
  EXPECT_EQ(std::memcmp(again.Data(34), first.Data(), 34), 0);
  EXPECT_STREQ(copy.ModelName(), "K15SMB");
}

TEST(CmdHelperK15, LongModelNameIsCut) {
  const std::string longName(400, 'x');
  CmdHelper_K15 helper(longName.c_str());
  EXPECT_EQ(std::strlen(helper.ModelName()), 254u);
}

}  // namespace

// The ESC/POS builder: operation and arguments in, command bytes out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CmdHelperBase.h"
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
  Bytes bytes;  // empty: the operation must append nothing
};

// ESC D, stops 8, 16, ... 248 (0xF8), NUL.
Bytes DefaultTabs() {
  Bytes b = {0x1B, 0x44};
  for (int column = 8; column <= 248; column += 8) b.push_back(static_cast<std::uint8_t>(column));
  b.push_back(0x00);
  return b;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

const BYTE kSixBytes[] = {1, 2, 3, 4, 5, 6};
const BYTE kEightBytes[] = {1, 2, 3, 4, 5, 6, 7, 8};
const BYTE kEan13[] = "4901234567894";

const CommandCase kBaseCases[] = {
    // --- status and control ---
    {"HorizontalTab", [](ICmdHelper& h, PrinterBuffer& o) { return h.HorizontalTab(o); }, 1,
     {0x09}},
    {"LineFeed", [](ICmdHelper& h, PrinterBuffer& o) { return h.LineFeed(o); }, 1, {0x0A}},
    {"FormFeed", [](ICmdHelper& h, PrinterBuffer& o) { return h.FormFeed(o); }, 1, {0x0C}},
    {"PageFormFeed", [](ICmdHelper& h, PrinterBuffer& o) { return h.PageFormFeed(o); }, 1,
     {0x0C}},
    {"PrintLineBuffer", [](ICmdHelper& h, PrinterBuffer& o) { return h.PrintLineBuffer(o); }, 1,
     {0x1B, 0x64, 0x00}},  // ESC d 0: print, no feed
    {"CancelPageData", [](ICmdHelper& h, PrinterBuffer& o) { return h.CancelPageData(o); }, 1,
     {0x18}},  // CAN
    {"RequestRealTimeStatus4",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.RequestRealTimeStatus(o, 4); }, 1,
     {0x10, 0x04, 0x04}},  // DLE EOT 4: paper sensor
    {"TransmitStatus1", [](ICmdHelper& h, PrinterBuffer& o) { return h.TransmitStatus(o, 1); },
     1, {0x1D, 0x72, 0x01}},  // GS r 1
    {"RealTimeRequest2", [](ICmdHelper& h, PrinterBuffer& o) { return h.RealTimeRequest(o, 2); },
     1, {0x10, 0x05, 0x02}},  // DLE ENQ 2
    {"RealTimeRequest3Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.RealTimeRequest(o, 3); }, 0, {}},
    {"RealTimePrefix", [](ICmdHelper& h, PrinterBuffer& o) { return h.RealTimePrefix(o, 7, 9); },
     1, {0x10, 0x14}},
    {"RealTimeFunction1", [](ICmdHelper& h, PrinterBuffer& o) { return h.RealTimeFunction1(o); },
     1, {0x10, 0x14, 0x01, 0x08}},
    {"RealTimeClearBuffers",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.RealTimeClearBuffers(o); }, 1,
     {0x10, 0x14, 0x08, 0x01, 0x03, 0x14, 0x01, 0x06, 0x02, 0x08}},
    {"ResetTextFormat", [](ICmdHelper& h, PrinterBuffer& o) { return h.ResetTextFormat(o); }, 1,
     {0x1B, 0x21, 0x00,    // ESC ! 0: print mode off
      0x1B, 0x61, 0x00,    // ESC a 0: left
      0x1B, 0x2D, 0x00}},  // ESC - 0: underline off

    // --- characters and lines ---
    {"SetRightSpacing", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetRightSpacing(o, 5); },
     1, {0x1B, 0x20, 0x05}},
    {"SetPrintModeAll",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPrintMode(o, 1, 2, 3, 4, 5); }, 0xB9,
     {0x1B, 0x21, 0xB9}},  // 01 font B | 08 bold | 10 dbl height | 20 dbl width | 80 underline
    {"SetPrintModeBoldTall",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPrintMode(o, 0, 1, 0, 1, 0); }, 0x18,
     {0x1B, 0x21, 0x18}},
    {"SetAbsolutePosition",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetAbsolutePosition(o, 0x0123); }, 1,
     {0x1B, 0x24, 0x23, 0x01}},  // ESC $ nL nH
    {"SetUserCharacterSet",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetUserCharacterSet(o, 7); }, 1,
     {0x1B, 0x25, 0x01}},
    {"SelectBitImage24Dot",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectBitImage(o, 0x21, 2, kSixBytes, 6); },
     1, {0x1B, 0x2A, 0x21, 0x02, 0x00,  // ESC * 33, 2 columns
         1, 2, 3, 4, 5, 6}},            // 3 bytes per column
    {"SelectBitImage8Dot",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectBitImage(o, 1, 6, kSixBytes, 6); }, 1,
     {0x1B, 0x2A, 0x01, 0x06, 0x00, 1, 2, 3, 4, 5, 6}},
    {"SelectBitImageShortData",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectBitImage(o, 0x21, 2, kSixBytes, 5); },
     0, {}},
    {"SelectBitImageBadMode",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectBitImage(o, 2, 6, kSixBytes, 6); }, 0,
     {}},
    {"SelectBitImageWidthZero",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectBitImage(o, 0, 0, kSixBytes, 0); }, 0,
     {}},
    {"SelectBitImageWidth2048",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectBitImage(o, 0, 2048, kSixBytes, 6); },
     0, {}},
    {"SetUnderline2", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetUnderline(o, 2); }, 1,
     {0x1B, 0x2D, 0x02}},
    {"SetUnderline3Refused", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetUnderline(o, 3); },
     0, {}},
    {"SetDefaultLineSpacing",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetDefaultLineSpacing(o); }, 1, {0x1B, 0x32}},
    {"SetLineSpacing", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetLineSpacing(o, 30); }, 1,
     {0x1B, 0x33, 0x1E}},
    {"SelectPeripheralOn",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectPeripheral(o, 1); }, 1,
     {0x1B, 0x3D, 0x01}},
    {"SelectPeripheralOff",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectPeripheral(o, 0); }, 1,
     {0x1B, 0x3D, 0x02}},
    {"CancelUserCharacter32",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.CancelUserCharacter(o, 32); }, 1,
     {0x1B, 0x3F, 0x20}},
    {"CancelUserCharacter126",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.CancelUserCharacter(o, 126); }, 1,
     {0x1B, 0x3F, 0x7E}},
    {"CancelUserCharacter31Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.CancelUserCharacter(o, 31); }, 0, {}},
    {"CancelUserCharacter127Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.CancelUserCharacter(o, 127); }, 0, {}},
    {"InitializePrinter", [](ICmdHelper& h, PrinterBuffer& o) { return h.InitializePrinter(o); },
     1, {0x1B, 0x40}},
    {"SetDefaultTabs", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetDefaultTabs(o); }, 1,
     DefaultTabs()},
    {"SetTabPositionsAddsNul",
     [](ICmdHelper& h, PrinterBuffer& o) {
       PrinterBuffer p;
       p.Append(0x08);
       p.Append(0x10);
       return h.SetTabPositions(o, p);
     },
     1, {0x1B, 0x44, 0x08, 0x10, 0x00}},
    {"SetTabPositionsKeepsNul",
     [](ICmdHelper& h, PrinterBuffer& o) {
       PrinterBuffer p;
       p.Append(0x08);
       p.Append(0x10);
       p.Append(0x00);
       return h.SetTabPositions(o, p);
     },
     1, {0x1B, 0x44, 0x08, 0x10, 0x00}},
    {"SetTabPositionsEmptyIsDefault",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetTabPositions(o, PrinterBuffer()); }, 1,
     DefaultTabs()},
    {"SetEmphasized", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetEmphasized(o, 2); }, 1,
     {0x1B, 0x45, 0x01}},
    {"SetDoubleStrike", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetDoubleStrike(o, 0); },
     1, {0x1B, 0x47, 0x00}},
    {"PrintWithoutFeed", [](ICmdHelper& h, PrinterBuffer& o) { return h.PrintWithoutFeed(o); }, 1,
     {0x1B, 0x4A, 0x00}},
    {"FeedDots0", [](ICmdHelper& h, PrinterBuffer& o) { return h.FeedDots(o, 0); }, 1,
     {0x1B, 0x4A, 0x00}},
    {"FeedDots255", [](ICmdHelper& h, PrinterBuffer& o) { return h.FeedDots(o, 255); }, 1,
     {0x1B, 0x4A, 0xFF}},
    {"FeedDots256", [](ICmdHelper& h, PrinterBuffer& o) { return h.FeedDots(o, 256); }, 1,
     {0x1B, 0x4A, 0xFF, 0x1B, 0x4A, 0x01}},  // 255 + 1
    {"FeedDots300", [](ICmdHelper& h, PrinterBuffer& o) { return h.FeedDots(o, 300); }, 1,
     {0x1B, 0x4A, 0xFF, 0x1B, 0x4A, 0x2D}},  // 255 + 45
    {"FeedDots510", [](ICmdHelper& h, PrinterBuffer& o) { return h.FeedDots(o, 510); }, 1,
     {0x1B, 0x4A, 0xFF, 0x1B, 0x4A, 0xFF}},  // 255 + 255
    {"FeedDots511", [](ICmdHelper& h, PrinterBuffer& o) { return h.FeedDots(o, 511); }, 1,
     {0x1B, 0x4A, 0xFF, 0x1B, 0x4A, 0xFF, 0x1B, 0x4A, 0x01}},  // 255 + 255 + 1
    {"FeedDotsNegativeRefused", [](ICmdHelper& h, PrinterBuffer& o) { return h.FeedDots(o, -1); },
     0, {}},
    {"PrintAndFeedDots", [](ICmdHelper& h, PrinterBuffer& o) { return h.PrintAndFeedDots(o, 5); },
     1, {0x1B, 0x4A, 0x05}},
    {"SelectPageMode", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectPageMode(o); }, 1,
     {0x1B, 0x4C}},
    {"SelectCharacterFont49",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCharacterFont(o, 49); }, 1,
     {0x1B, 0x4D, 0x31}},
    {"SelectCharacterFont2Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCharacterFont(o, 2); }, 0, {}},
    {"SelectInternationalSet",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectInternationalSet(o, 15); }, 1,
     {0x1B, 0x52, 0x0F}},
    {"SelectStandardMode", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectStandardMode(o); },
     1, {0x1B, 0x53}},
    {"SetPageDirection3", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPageDirection(o, 3); },
     1, {0x1B, 0x54, 0x03}},
    {"SetPageDirection51",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPageDirection(o, 51); }, 1,
     {0x1B, 0x54, 0x33}},
    {"SetPageDirection4Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPageDirection(o, 4); }, 0, {}},
    {"SetPageDirection52Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPageDirection(o, 52); }, 0, {}},
    {"SetRotate90", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetRotate90(o, 1); }, 1,
     {0x1B, 0x56, 0x01}},
    {"SetPageArea", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPageArea(o, 1, 2, 576, 936); },
     1, {0x1B, 0x57,     // ESC W
         0x01, 0x00,     // x
         0x02, 0x00,     // y
         0x40, 0x02,     // dx 576
         0xA8, 0x03}},   // dy 936
    {"SetRelativePositionBack",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetRelativePosition(o, -1); }, 1,
     {0x1B, 0x5C, 0xFF, 0xFF}},  // ESC \ -1 as two's complement
    {"SetJustification2", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetJustification(o, 2); },
     1, {0x1B, 0x61, 0x02}},
    {"SetJustification50",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetJustification(o, 50); }, 1,
     {0x1B, 0x61, 0x32}},
    {"SetJustification3Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetJustification(o, 3); }, 0, {}},
    {"SetJustification51Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetJustification(o, 51); }, 0, {}},
    {"SetPaperOutSensor",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPaperOutSensor(o, 0); }, 1,
     {0x1B, 0x63, 0x33, 0x00}},
    {"SetPaperStopSensor",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPaperStopSensor(o, 252); }, 1,
     {0x1B, 0x63, 0x34, 0xFC}},
    {"EnablePanelButtons",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.EnablePanelButtons(o, 1); }, 1,
     {0x1B, 0x63, 0x35, 0x00}},  // 0 enables
    {"DisablePanelButtons",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.EnablePanelButtons(o, 0); }, 1,
     {0x1B, 0x63, 0x35, 0x01}},
    {"PrintAndFeedLines", [](ICmdHelper& h, PrinterBuffer& o) { return h.PrintAndFeedLines(o, 3); },
     1, {0x1B, 0x64, 0x03}},
    {"GeneratePulsePin2",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.GeneratePulse(o, 0, 25, 255); }, 1,
     {0x1B, 0x70, 0x00, 0x19, 0xFF}},  // ESC p m t1 t2
    {"GeneratePulsePin5Ascii",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.GeneratePulse(o, 49, 10, 10); }, 1,
     {0x1B, 0x70, 0x31, 0x0A, 0x0A}},
    {"GeneratePulseBadPin",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.GeneratePulse(o, 2, 10, 10); }, 0, {}},
    {"SelectCodeTable21", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodeTable(o, 21); },
     1, {0x1B, 0x74, 0x15}},
    {"SelectCodeTable22Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodeTable(o, 22); }, 0, {}},
    {"SelectCodeTable26", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodeTable(o, 26); },
     1, {0x1B, 0x74, 0x1A}},
    {"SelectCodeTable29Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodeTable(o, 29); }, 0, {}},
    {"SelectCodeTable53", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodeTable(o, 53); },
     1, {0x1B, 0x74, 0x35}},
    {"SelectCodeTable54Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodeTable(o, 54); }, 0, {}},
    {"SelectCodeTable255",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodeTable(o, 255); }, 1,
     {0x1B, 0x74, 0xFF}},
    {"SetUpsideDown", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetUpsideDown(o, 1); }, 1,
     {0x1B, 0x7B, 0x01}},
    {"SetCharacterSize2x3",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCharacterSize(o, 2, 3); }, 1,
     {0x1D, 0x21, 0x12}},  // GS ! (w-1)<<4 | (h-1)
    {"SetCharacterSize8x8",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCharacterSize(o, 8, 8); }, 1,
     {0x1D, 0x21, 0x77}},
    {"SetCharacterSizeWidth9Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCharacterSize(o, 9, 1); }, 0, {}},
    {"SetCharacterSizeHeight0Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCharacterSize(o, 1, 0); }, 0, {}},
    {"SetCharacterSizeClamped",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCharacterSizeClamped(o, 0, 9); }, 1,
     {0x1D, 0x21, 0x07}},  // 0 -> 1, 9 -> 8
    {"SetAbsoluteVerticalPosition",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetAbsoluteVerticalPosition(o, 300); }, 1,
     {0x1D, 0x24, 0x2C, 0x01}},
    {"ExecuteTestPrint", [](ICmdHelper& h, PrinterBuffer& o) { return h.ExecuteTestPrint(o, 2, 3); },
     1, {0x1D, 0x28, 0x41, 0x02, 0x00, 0x02, 0x03}},  // GS ( A pL pH paper pattern
    {"ExecuteTestPrintAscii",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.ExecuteTestPrint(o, 48, 51); }, 1,
     {0x1D, 0x28, 0x41, 0x02, 0x00, 0x30, 0x33}},
    {"ExecuteTestPrintBadPaper",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.ExecuteTestPrint(o, 3, 1); }, 0, {}},
    {"ExecuteTestPrintBadPattern",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.ExecuteTestPrint(o, 0, 4); }, 0, {}},
    {"SetCharacterColor", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCharacterColor(o, 0x31); },
     1, {0x1D, 0x28, 0x4E, 0x02, 0x00, 0x30, 0x31}},

    // --- user setup (GS ( E) ---
    {"EnterUserSetupMode", [](ICmdHelper& h, PrinterBuffer& o) { return h.EnterUserSetupMode(o); },
     1, {0x1D, 0x28, 0x45, 0x03, 0x00, 0x01, 0x49, 0x4E}},  // fn 1 "IN"
    {"ExitUserSetupMode", [](ICmdHelper& h, PrinterBuffer& o) { return h.ExitUserSetupMode(o); },
     1, {0x1D, 0x28, 0x45, 0x04, 0x00, 0x02, 0x4F, 0x55, 0x54}},  // fn 2 "OUT"
    {"SetCustomValuesAll",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCustomValues(o, 100, 5, 4, 1, 0); }, 1,
     {0x1D, 0x28, 0x45, 0x10, 0x00, 0x05,  // fn 5, 16 bytes
      0x05, 0x64, 0x00,                    // density 100
      0x06, 0x05, 0x00,                    // head speed 5
      0x61, 0x04, 0x00,                    // item 97: 4
      0x74, 0x01, 0x01,                    // item 116 set
      0x76, 0x46, 0x00}},                  // item 118 clear
    {"SetCustomValuesOnlyFlags",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCustomValues(o, -7, 0, 3, 0, 1); }, 1,
     {0x1D, 0x28, 0x45, 0x07, 0x00, 0x05,  // out-of-range items left out
      0x74, 0x01, 0x00,                    // item 116 clear
      0x76, 0x55, 0x00}},                  // item 118 set
    {"SetPrintDensity100",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPrintDensity(o, 100); }, 1,
     {0x1D, 0x28, 0x45, 0x04, 0x00, 0x05, 0x05, 0x64, 0x00}},
    {"SetPrintDensityMinus6",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPrintDensity(o, -6); }, 1,
     {0x1D, 0x28, 0x45, 0x04, 0x00, 0x05, 0x05, 0xFA, 0xFF}},
    {"SetPrintDensityMinus7Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPrintDensity(o, -7); }, 0, {}},
    {"SetPrintDensity7Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPrintDensity(o, 7); }, 0, {}},
    {"SetHeadSpeed9", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetHeadSpeed(o, 9); }, 1,
     {0x1D, 0x28, 0x45, 0x04, 0x00, 0x05, 0x06, 0x09, 0x00}},
    {"SetHeadSpeed0Refused", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetHeadSpeed(o, 0); },
     0, {}},
    {"SetHeadSpeed10Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetHeadSpeed(o, 10); }, 0, {}},
    {"SetCustomValue97", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCustomValue97(o, 128); },
     1, {0x1D, 0x28, 0x45, 0x04, 0x00, 0x05, 0x61, 0x80, 0x00}},
    {"SetCustomValue97Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCustomValue97(o, 3); }, 0, {}},
    {"SetCustomValue116", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCustomValue116(o, 1); },
     1, {0x1D, 0x28, 0x45, 0x04, 0x00, 0x05, 0x74, 0x01, 0x01}},
    {"SetCustomValue118", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetCustomValue118(o, 0); },
     1, {0x1D, 0x28, 0x45, 0x04, 0x00, 0x05, 0x76, 0x46, 0x00}},
    {"QueryPrintDensity", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryPrintDensity(o); },
     1, {0x1D, 0x28, 0x45, 0x02, 0x00, 0x06, 0x05}},
    {"QueryHeadSpeed", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryHeadSpeed(o); }, 1,
     {0x1D, 0x28, 0x45, 0x02, 0x00, 0x06, 0x06}},
    {"QueryCustomValue97", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryCustomValue97(o); },
     1, {0x1D, 0x28, 0x45, 0x02, 0x00, 0x06, 0x61}},
    {"QueryCustomValue116",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryCustomValue116(o); }, 1,
     {0x1D, 0x28, 0x45, 0x02, 0x00, 0x06, 0x74}},
    {"QueryCustomValue118",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryCustomValue118(o); }, 1,
     {0x1D, 0x28, 0x45, 0x02, 0x00, 0x06, 0x76}},
    {"QueryCustomValue", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryCustomValue(o, 0x33); },
     1, {0x1D, 0x28, 0x45, 0x02, 0x00, 0x06, 0x33}},
    {"SetSerialBaudRate",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetSerialBaudRate(o, "9600"); }, 1,
     {0x1D, 0x28, 0x45, 0x06, 0x00, 0x0B, 0x01, '9', '6', '0', '0'}},
    {"SetSerialBaudRateShortRefused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetSerialBaudRate(o, "96"); }, 0, {}},
    {"SetSerialBaudRateNullRefused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetSerialBaudRate(o, nullptr); }, 0, {}},
    {"QuerySerialBaudRate",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.QuerySerialBaudRate(o); }, 1,
     {0x1D, 0x28, 0x45, 0x02, 0x00, 0x0C, 0x01}},
    {"SetSerialParity", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetSerialParity(o, 0x45); },
     1, {0x1D, 0x28, 0x45, 0x03, 0x00, 0x0B, 0x02, 0x45}},
    {"QuerySerialParity", [](ICmdHelper& h, PrinterBuffer& o) { return h.QuerySerialParity(o); },
     1, {0x1D, 0x28, 0x45, 0x02, 0x00, 0x0C, 0x02}},
    {"SetSerialFlowControl",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetSerialFlowControl(o, 0x52); }, 1,
     {0x1D, 0x28, 0x45, 0x03, 0x00, 0x0B, 0x03, 0x52}},
    {"QuerySerialFlowControl",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.QuerySerialFlowControl(o); }, 1,
     {0x1D, 0x28, 0x45, 0x02, 0x00, 0x0C, 0x03}},
    {"SetSerialDataBits", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetSerialDataBits(o, 8); },
     1, {0x1D, 0x28, 0x45, 0x03, 0x00, 0x0B, 0x04, 0x08}},
    {"QuerySerialDataBits",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.QuerySerialDataBits(o); }, 1,
     {0x1D, 0x28, 0x45, 0x02, 0x00, 0x0C, 0x04}},
    {"NoOperationWithValue",
     [](ICmdHelper& h, PrinterBuffer& o) {
       h.NoOperationWithValue(o, 0x46464646);
       return 0;
     },
     0, {}},
    {"SetPrintSpeed9", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPrintSpeed(o, 9); }, 1,
     {0x1D, 0x28, 0x4B, 0x02, 0x00, 0x32, 0x09}},
    {"SetPrintSpeed57", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPrintSpeed(o, 57); }, 1,
     {0x1D, 0x28, 0x4B, 0x02, 0x00, 0x32, 0x39}},
    {"SetPrintSpeed10Refused", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPrintSpeed(o, 10); },
     0, {}},
    {"SetPrintSpeed58Refused", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPrintSpeed(o, 58); },
     0, {}},
    {"SetHeadEnergizing128",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetHeadEnergizing(o, 128); }, 1,
     {0x1D, 0x28, 0x4B, 0x02, 0x00, 0x61, 0x80}},
    {"SetHeadEnergizing3Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetHeadEnergizing(o, 3); }, 0, {}},
    {"SetHeadEnergizing51Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetHeadEnergizing(o, 51); }, 0, {}},

    // --- graphics ---
    {"DefineNvGraphicsHeader",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.DefineNvGraphicsHeader(o, 0, 16, 8, 0x20, 0x21); },
     1, {0x1D, 0x28, 0x4C, 0x1B, 0x00,  // GS ( L, 16 * 8 / 8 + 11 = 27
         0x30, 0x43, 0x30,              // m fn a
         0x20, 0x21, 0x01,              // keys, one image
         0x10, 0x00, 0x08, 0x00,        // width, height
         0x31}},                        // colour 1
    {"DefineNvGraphicsHeaderTwoColour",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.DefineNvGraphicsHeader(o, 1, 8, 8, 0x20, 0x20); },
     1, {0x1D, 0x28, 0x4C, 0x13, 0x00, 0x30, 0x43, 0x30, 0x20, 0x20, 0x01, 0x08, 0x00, 0x08, 0x00,
         0x32}},
    {"DefineNvGraphicsHeaderTooLarge",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.DefineNvGraphicsHeader(o, 0, 2048, 512, 0x20, 0x20); },
     0, {}},  // 2048 * 512 / 8 does not fit the 16-bit count
    {"StoreRasterGraphicsHeader",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.StoreRasterGraphicsHeader(o, 72, 24, 24); }, 1,
     {0x1D, 0x38, 0x4C, 0x52, 0x00, 0x00, 0x00,  // GS 8 L, 72 + 10
      0x30, 0x70, 0x30,                          // m fn a (monochrome)
      0x01, 0x01, 0x31,                          // scale x, y; colour 1
      0x18, 0x00, 0x18, 0x00}},                  // width, height
    {"PrintBufferedGraphics",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.PrintBufferedGraphics(o); }, 1,
     {0x1D, 0x38, 0x4C, 0x02, 0x00, 0x00, 0x00, 0x30, 0x02}},
    {"QueryNvGraphicsCapacityTotal",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryNvGraphicsCapacity(o, 1); }, 1,
     {0x1D, 0x38, 0x4C, 0x02, 0x00, 0x00, 0x00, 0x30, 0x00}},
    {"QueryNvGraphicsCapacityRemaining",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryNvGraphicsCapacity(o, 0); }, 1,
     {0x1D, 0x38, 0x4C, 0x02, 0x00, 0x00, 0x00, 0x30, 0x03}},
    {"PrintNvGraphicsByNumber",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.PrintNvGraphicsByNumber(o, 42); }, 1,
     {0x1D, 0x28, 0x4C, 0x06, 0x00, 0x30, 0x45,  // GS ( L print
      0x34, 0x32,                                // keys "4" "2"
      0x01, 0x01}},                              // scale
    {"PrintNvGraphics",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.PrintNvGraphics(o, 0x20, 0x21, 1, 2); }, 1,
     {0x1D, 0x38, 0x4C, 0x06, 0x00, 0x00, 0x00, 0x30, 0x45, 0x20, 0x21, 0x01, 0x02}},
    {"QueryNvGraphicsKeys", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryNvGraphicsKeys(o); },
     1, {0x1D, 0x38, 0x4C, 0x04, 0x00, 0x00, 0x00, 0x30, 0x40, 0x4B, 0x43}},
    {"DeleteAllNvGraphics", [](ICmdHelper& h, PrinterBuffer& o) { return h.DeleteAllNvGraphics(o); },
     1, {0x1D, 0x38, 0x4C, 0x05, 0x00, 0x00, 0x00, 0x30, 0x41, 0x43, 0x4C, 0x52}},
    {"DeleteNvGraphics",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.DeleteNvGraphics(o, 0x20, 0x7E); }, 1,
     {0x1D, 0x38, 0x4C, 0x04, 0x00, 0x00, 0x00, 0x30, 0x42, 0x20, 0x7E}},
    {"DeleteNvGraphicsKey1Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.DeleteNvGraphics(o, 0x1F, 0x20); }, 0, {}},
    {"DeleteNvGraphicsKey2Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.DeleteNvGraphics(o, 0x20, 0x7F); }, 0, {}},
    {"DefineNvGraphicsPadsShortData",
     [](ICmdHelper& h, PrinterBuffer& o) {
       static const BYTE d[] = {0xAA, 0xBB, 0xCC};
       return h.DefineNvGraphics(o, 0x20, 0x21, 0, 10, 2, d, 3);
     },
     1, {0x1D, 0x38, 0x4C, 0x0E, 0x00, 0x00, 0x00,  // GS 8 L, 14
         0x30, 0x43,                                // m fn
         0x20, 0x21, 0x01,                          // keys, one plane
         0x0A, 0x00, 0x02, 0x00,                    // 10 x 2 dots
         0x31, 0xAA, 0xBB, 0xCC, 0x00}},            // colour 1, 2 rows of 2 bytes
    {"DefineNvGraphicsTwoColour",
     [](ICmdHelper& h, PrinterBuffer& o) {
       static const BYTE d[] = {0x11, 0x22};
       return h.DefineNvGraphics(o, 0x20, 0x21, 1, 8, 1, d, 2);
     },
     1, {0x1D, 0x38, 0x4C, 0x0D, 0x00, 0x00, 0x00, 0x30, 0x43, 0x20, 0x21, 0x02, 0x08, 0x00, 0x01,
         0x00,
         0x32, 0x11,    // first plane
         0x32, 0x22}},  // second plane
    {"DefineNvGraphicsWrapped",
     [](ICmdHelper& h, PrinterBuffer& o) {
       static const BYTE d[] = {0x81};
       return h.DefineNvGraphicsWrapped(o, 8, 2, d, 1);
     },
     1, {0x1D, 0x38, 0x4C, 0x14, 0x00, 0x00, 0x00, 0x30, 0x70,  // GS 8 L fn 70, 20 bytes
         0x1D, 0x28, 0x4C, 0x0D, 0x00, 0x30, 0x43, 0x30,        // GS ( L define, 13 bytes
         0x30, 0x31, 0x01, 0x08, 0x00, 0x02, 0x00, 0x31,        // keys "01", 8 x 2, colour 1
         0x81, 0x00}},                                          // data padded to 2 rows

    // --- two-dimensional symbols ---
    {"SetPdf417Columns30", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417Columns(o, 30); },
     1, {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x30, 0x41, 0x1E}},  // GS ( k 3 0 cn fn n
    {"SetPdf417Columns31Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417Columns(o, 31); }, 0, {}},
    {"SetPdf417Rows0", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417Rows(o, 0); }, 1,
     {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x30, 0x42, 0x00}},
    {"SetPdf417Rows2Refused", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417Rows(o, 2); },
     0, {}},
    {"SetPdf417Rows90", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417Rows(o, 90); }, 1,
     {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x30, 0x42, 0x5A}},
    {"SetPdf417Rows91Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417Rows(o, 91); }, 0, {}},
    {"SetPdf417ModuleWidth8",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417ModuleWidth(o, 8); }, 1,
     {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x30, 0x43, 0x08}},
    {"SetPdf417ModuleWidth1Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417ModuleWidth(o, 1); }, 0, {}},
    {"SetPdf417ModuleWidth9Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417ModuleWidth(o, 9); }, 0, {}},
    {"SetPdf417RowHeight0", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417RowHeight(o, 0); },
     1, {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x30, 0x44, 0x02}},  // clamped up to 2
    {"SetPdf417RowHeight9", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417RowHeight(o, 9); },
     1, {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x30, 0x44, 0x08}},  // clamped down to 8
    {"SetPdf417ErrorLevel",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417ErrorCorrection(o, 48, 56); }, 1,
     {0x1D, 0x28, 0x6B, 0x04, 0x00, 0x30, 0x45, 0x30, 0x38}},
    {"SetPdf417ErrorRatio",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417ErrorCorrection(o, 49, 40); }, 1,
     {0x1D, 0x28, 0x6B, 0x04, 0x00, 0x30, 0x45, 0x31, 0x28}},
    {"SetPdf417ErrorLevel57Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417ErrorCorrection(o, 48, 57); }, 0, {}},
    {"SetPdf417ErrorRatio41Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417ErrorCorrection(o, 49, 41); }, 0, {}},
    {"SetPdf417ErrorRatio0Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417ErrorCorrection(o, 49, 0); }, 0, {}},
    {"SetPdf417ErrorModeRefused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417ErrorCorrection(o, 50, 1); }, 0, {}},
    {"SetPdf417OptionsStandard",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417Options(o, 1); }, 1,
     {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x30, 0x46, 0x00}},
    {"SetPdf417OptionsTruncated",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPdf417Options(o, 0); }, 1,
     {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x30, 0x46, 0x01}},
    {"StorePdf417Data",
     [](ICmdHelper& h, PrinterBuffer& o) {
       static const BYTE d[] = {'A', 'B'};
       return h.StorePdf417Data(o, d, 2);
     },
     1, {0x1D, 0x28, 0x6B, 0x05, 0x00, 0x30, 0x50, 0x30, 0x41, 0x42}},  // 3 + 2 data bytes
    {"StorePdf417Data256Refused",
     [](ICmdHelper& h, PrinterBuffer& o) {
       static const BYTE d[256] = {};
       return h.StorePdf417Data(o, d, 256);
     },
     0, {}},
    {"PrintPdf417", [](ICmdHelper& h, PrinterBuffer& o) { return h.PrintPdf417(o); }, 1,
     {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x30, 0x51, 0x30}},
    {"QueryPdf417Size", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryPdf417Size(o); }, 1,
     {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x30, 0x52, 0x30}},
    {"SetQrModel2", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetQrModel(o, 50); }, 1,
     {0x1D, 0x28, 0x6B, 0x04, 0x00, 0x31, 0x41, 0x32, 0x00}},
    {"SetQrModel48Refused", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetQrModel(o, 48); }, 0,
     {}},
    {"SetQrModel51Refused", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetQrModel(o, 51); }, 0,
     {}},
    {"SetQrModuleSize16", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetQrModuleSize(o, 16); },
     1, {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, 0x10}},
    {"SetQrModuleSize0Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetQrModuleSize(o, 0); }, 0, {}},
    {"SetQrModuleSize17Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetQrModuleSize(o, 17); }, 0, {}},
    {"SetQrErrorCorrection51",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetQrErrorCorrection(o, 51); }, 1,
     {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x45, 0x33}},
    {"SetQrErrorCorrection47Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetQrErrorCorrection(o, 47); }, 0, {}},
    {"SetQrErrorCorrection52Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetQrErrorCorrection(o, 52); }, 0, {}},
    {"StoreQrData",
     [](ICmdHelper& h, PrinterBuffer& o) {
       static const BYTE d[] = {'1'};
       return h.StoreQrData(o, d, 1);
     },
     1, {0x1D, 0x28, 0x6B, 0x04, 0x00, 0x31, 0x50, 0x30, 0x31}},
    {"StoreQrData256Refused",
     [](ICmdHelper& h, PrinterBuffer& o) {
       static const BYTE d[256] = {};
       return h.StoreQrData(o, d, 256);
     },
     0, {}},
    {"PrintQr", [](ICmdHelper& h, PrinterBuffer& o) { return h.PrintQr(o); }, 1,
     {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30}},
    {"QueryQrSize", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryQrSize(o); }, 1,
     {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x52, 0x30}},

    // --- downloaded images, macros, misc ---
    {"DefineDownloadedImage",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.DefineDownloadedImage(o, 1, 1, kEightBytes, 8); },
     1, {0x1D, 0x2A, 0x01, 0x01, 1, 2, 3, 4, 5, 6, 7, 8}},
    {"DefineDownloadedImageShortRefused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.DefineDownloadedImage(o, 1, 1, kEightBytes, 7); },
     0, {}},
    {"DefineDownloadedImageZeroRefused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.DefineDownloadedImage(o, 0, 1, kEightBytes, 0); },
     0, {}},
    {"PrintDownloadedImage51",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.PrintDownloadedImage(o, 51); }, 1,
     {0x1D, 0x2F, 0x33}},
    {"PrintDownloadedImage4Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.PrintDownloadedImage(o, 4); }, 0, {}},
    {"BeginMacro", [](ICmdHelper& h, PrinterBuffer& o) { return h.BeginMacro(o); }, 1,
     {0x1D, 0x3A}},
    {"EndMacro", [](ICmdHelper& h, PrinterBuffer& o) { return h.EndMacro(o); }, 1, {0x1D, 0x3A}},
    {"ExecuteMacro", [](ICmdHelper& h, PrinterBuffer& o) { return h.ExecuteMacro(o, 2, 10, 1); }, 1,
     {0x1D, 0x5E, 0x02, 0x0A, 0x00}},  // GS ^ r t !flag
    {"SetReverse", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetReverse(o, 1); }, 1,
     {0x1D, 0x42, 0x01}},
    {"SetHriPosition3", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetHriPosition(o, 3); }, 1,
     {0x1D, 0x48, 0x03}},
    {"SetHriPosition4Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetHriPosition(o, 4); }, 0, {}},
    {"SetHriPosition52Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetHriPosition(o, 52); }, 0, {}},
    {"TransmitPrinterId", [](ICmdHelper& h, PrinterBuffer& o) { return h.TransmitPrinterId(o, 0x43); },
     1, {0x1D, 0x49, 0x43}},
    {"QueryModelId", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryModelId(o); }, 1,
     {0x1D, 0x49, 0x01}},
    {"QueryTypeId", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryTypeId(o); }, 1,
     {0x1D, 0x49, 0x02}},
    {"QueryFirmwareVersion",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryFirmwareVersion(o); }, 1,
     {0x1D, 0x49, 0x41}},
    {"QueryMakerName", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryMakerName(o); }, 1,
     {0x1D, 0x49, 0x42}},
    {"QueryModelName", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryModelName(o); }, 1,
     {0x1D, 0x49, 0x43}},
    {"QuerySerialNumber", [](ICmdHelper& h, PrinterBuffer& o) { return h.QuerySerialNumber(o); },
     1, {0x1D, 0x49, 0x44}},
    {"QueryFontInfo", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryFontInfo(o); }, 1,
     {0x1D, 0x49, 0x45}},
    {"SetLeftMargin", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetLeftMargin(o, 0x0150); }, 1,
     {0x1D, 0x4C, 0x50, 0x01}},
    {"SetMotionUnits", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetMotionUnits(o, 180, 360); },
     1, {0x1D, 0x50, 0xB4, 0x68}},  // 360 goes out as its low byte
    {"FeedToCutAndCut", [](ICmdHelper& h, PrinterBuffer& o) { return h.FeedToCutAndCut(o, 5); }, 1,
     {0x1D, 0x56, 0x41, 0x05}},
    {"SetPrintAreaWidth", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetPrintAreaWidth(o, 576); },
     1, {0x1D, 0x57, 0x40, 0x02}},
    {"SetRelativeVerticalPosition",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetRelativeVerticalPosition(o, 24); }, 1,
     {0x1D, 0x5C, 0x18, 0x00}},
    {"SetAutoStatusBack", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetAutoStatusBack(o, 255); },
     1, {0x1D, 0x61, 0xFF}},
    {"SetAllAutoStatusOn", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetAllAutoStatus(o, 1); },
     1, {0x1D, 0x61, 0xFF}},
    {"SetAllAutoStatusOff", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetAllAutoStatus(o, 0); },
     1, {0x1D, 0x61, 0x00}},
    {"SetSmoothing", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetSmoothing(o, 1); }, 1,
     {0x1D, 0x62, 0x01}},
    {"SetHriFont1", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetHriFont(o, 1); }, 1,
     {0x1D, 0x66, 0x01}},
    {"SetHriFont48Refused", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetHriFont(o, 48); }, 0,
     {}},
    {"ResetMaintenanceCounter70",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.ResetMaintenanceCounter(o, 70); }, 1,
     {0x1D, 0x67, 0x30, 0x00, 0x46, 0x00}},  // GS g 0 m nL nH
    {"ResetMaintenanceCounter148Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.ResetMaintenanceCounter(o, 148); }, 0, {}},
    {"QueryMaintenanceCounter198",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryMaintenanceCounter(o, 198); }, 1,
     {0x1D, 0x67, 0x32, 0x00, 0xC6, 0x00}},
    {"QueryMaintenanceCounter22Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryMaintenanceCounter(o, 22); }, 0, {}},
    {"QueryPaperSensor", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryPaperSensor(o); }, 1,
     {0x1D, 0x72, 0x01}},
    {"QueryDrawerSensor", [](ICmdHelper& h, PrinterBuffer& o) { return h.QueryDrawerSensor(o); }, 1,
     {0x1D, 0x72, 0x02}},

    // --- one-dimensional barcodes ---
    {"SetBarcodeModuleWidth3",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetBarcodeModuleWidth(o, 3); }, 1,
     {0x1D, 0x77, 0x03}},
    {"SetBarcodeModuleWidth8",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetBarcodeModuleWidth(o, 8); }, 1,
     {0x1D, 0x77, 0x02}},
    {"SetBarcodeModuleWidth9",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetBarcodeModuleWidth(o, 9); }, 1,
     {0x1D, 0x77, 0x02}},
    {"SetBarcodeHeight0", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetBarcodeHeight(o, 0); },
     1, {0x1D, 0x68, 0xA2}},  // 0 means the default 162 dots
    {"SetBarcodeHeight50", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetBarcodeHeight(o, 50); },
     1, {0x1D, 0x68, 0x32}},
    {"PrintBarcodeData",
     [](ICmdHelper& h, PrinterBuffer& o) {
       static const BYTE d[] = {'A', 'B'};
       return h.PrintBarcodeData(o, PTR_BCS_Code39, d, 2);
     },
     1, {0x1D, 0x6B, 0x45, 0x02, 0x41, 0x42}},  // GS k 69 n data
    {"PrintBarcodeData256Refused",
     [](ICmdHelper& h, PrinterBuffer& o) {
       static const BYTE d[256] = {};
       return h.PrintBarcodeData(o, PTR_BCS_Code39, d, 256);
     },
     0, {}},
    {"PrintBarcodeDataEmptyRefused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.PrintBarcodeData(o, PTR_BCS_Code39, kSixBytes, 0); },
     0, {}},
    {"FormatBarcodeCommand",
     [](ICmdHelper& h, PrinterBuffer& o) {
       return h.FormatBarcodeCommand(o, PTR_BCS_EAN13, 0, 9, PTR_BC_CENTER, PTR_BC_TEXT_BELOW, 1,
                                     kEan13, 13);
     },
     1, Concat({{0x1D, 0x77, 0x02,         // module width 9 -> 2
                 0x1D, 0x68, 0xA2,         // height 0 -> 162
                 0x1D, 0x48, 0x02,         // HRI below
                 0x1D, 0x66, 0x01,         // HRI font B
                 0x1D, 0x6B, 0x43, 0x0D},  // GS k 67, 13 digits
                Bytes(kEan13, kEan13 + 13)})},
    {"FormatBarcodeCommandEmptyDataWritesNothing",
     [](ICmdHelper& h, PrinterBuffer& o) {
       return h.FormatBarcodeCommand(o, PTR_BCS_EAN13, 50, 3, PTR_BC_CENTER, PTR_BC_TEXT_NONE, 0,
                                     kEan13, 0);
     },
     0, {}},

    // --- double-byte characters and the rest ---
    {"SetKanjiPrintMode",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetKanjiPrintMode(o, 1, 1, 1); }, 0x8C,
     {0x1C, 0x21, 0x8C}},  // 04 dbl width | 08 dbl height | 80 underline
    {"SetKanjiModeOn", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetKanjiMode(o, 1); }, 1,
     {0x1C, 0x26}},
    {"SetKanjiModeOff", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetKanjiMode(o, 0); }, 1,
     {0x1C, 0x2E}},
    {"SelectCodePage437", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodePage(o, 437); },
     1, {0x1C, 0x2E, 0x1B, 0x74, 0x00, 0x1B, 0x52, 0x00}},  // FS . / ESC t 0 / ESC R 0
    {"SelectCodePage720", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodePage(o, 720); },
     1, {0x1C, 0x2E, 0x1B, 0x74, 0x20, 0x1B, 0x52, 0x00}},
    {"SelectCodePage932", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodePage(o, 932); },
     1, {0x1C, 0x26, 0x1B, 0x74, 0x01, 0x1B, 0x52, 0x08}},
    {"SelectCodePage949", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodePage(o, 949); },
     1, {0x1C, 0x26, 0x1B, 0x74, 0x02, 0x1B, 0x52, 0x0D}},
    {"SelectCodePage1147",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodePage(o, 1147); }, 1,
     {0x1C, 0x2E, 0x1B, 0x74, 0x04, 0x1B, 0x52, 0x01}},
    {"SelectCodePage1256",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodePage(o, 1256); }, 1,
     {0x1C, 0x2E, 0x1B, 0x74, 0x32, 0x1B, 0x52, 0x00}},
    {"SelectCodePage255", [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodePage(o, 255); },
     1, {0x1C, 0x2E, 0x1B, 0x74, 0xFF, 0x1B, 0x52, 0x00}},
    {"SelectCodePageUnlisted",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectCodePage(o, 12345); }, 1,
     {0x1C, 0x26, 0x1B, 0x74, 0x02, 0x1B, 0x52, 0x00}},
    {"SetKanjiUnderline2", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetKanjiUnderline(o, 2); },
     1, {0x1C, 0x2D, 0x02}},
    {"SetKanjiUnderline3Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SetKanjiUnderline(o, 3); }, 0, {}},
    {"SelectKanjiCodeSystem48",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectKanjiCodeSystem(o, 48); }, 1,
     {0x1C, 0x43, 0x30}},
    {"SelectKanjiCodeSystem2Refused",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SelectKanjiCodeSystem(o, 2); }, 0, {}},
    {"SetKanjiSpacing", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetKanjiSpacing(o, 1, 2); },
     1, {0x1C, 0x53, 0x01, 0x02}},
    {"SetKanjiQuadruple", [](ICmdHelper& h, PrinterBuffer& o) { return h.SetKanjiQuadruple(o, 1); },
     1, {0x1C, 0x57, 0x01}},
    {"SendFixedConfiguration",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.SendFixedConfiguration(o); }, 1,
     {0x1B, 0x28, 0x73, 0x04, 0x00, 0x31, 0x41, 0x45, 0x05}},
    {"Beep", [](ICmdHelper& h, PrinterBuffer& o) { return h.Beep(o, 50, 300, 2); }, 1,
     {0x1B, 0x28, 0x41, 0x05, 0x00, 0x61, 0x64,  // ESC ( A 5 0 a d
      0x02,                                      // count
      0x01,                                      // on 50 ms -> 1 unit
      0x03}},                                    // off 300 ms -> 3 units
    {"BeepLongTimesClampToAByte",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.Beep(o, 100000, 25600, 1); }, 1,
     {0x1B, 0x28, 0x41, 0x05, 0x00, 0x61, 0x64, 0x01, 0xFF, 0xFF}},
    {"DrawLineSegmentsNotInBase",
     [](ICmdHelper& h, PrinterBuffer& o) {
       static const std::int16_t p[] = {1, 2};
       return h.DrawLineSegments(o, p, 1);
     },
     0, {}},
    {"PrintCurvedTextNotInBase",
     [](ICmdHelper& h, PrinterBuffer& o) { return h.PrintCurvedText(o, 0, 0, kSixBytes, 6); }, 0,
     {}},
    {"NoOperation",
     [](ICmdHelper& h, PrinterBuffer&) {
       h.NoOperation();
       return h.NoOperationZero();
     },
     0, {}},
};

class BaseCommand : public ::testing::TestWithParam<CommandCase> {};

TEST_P(BaseCommand, AppendsExactBytes) {
  const CommandCase& c = GetParam();
  CCmdHelperBase helper;
  // The command goes after what the buffer already holds.
  PrinterBuffer out;
  out.Append(0xEE);
  EXPECT_EQ(c.run(helper, out), c.result);
  Bytes expected = {0xEE};
  expected.insert(expected.end(), c.bytes.begin(), c.bytes.end());
  EXPECT_TRUE(BytesEqual(out, expected));
}

INSTANTIATE_TEST_SUITE_P(CmdHelperBase, BaseCommand, ::testing::ValuesIn(kBaseCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Operations that map an OPOS value or a code page to a printer value.
struct ValueCase {
  const char* name;
  int (*run)(ICmdHelper&);
  int expected;
};

const ValueCase kValueCases[] = {
    {"IntlSet932", [](ICmdHelper& h) { return h.GetInternationalSetForCodePage(932); }, 8},
    {"IntlSet850", [](ICmdHelper& h) { return h.GetInternationalSetForCodePage(850); }, 15},
    {"IntlSet936", [](ICmdHelper& h) { return h.GetInternationalSetForCodePage(936); }, 15},
    {"IntlSet950", [](ICmdHelper& h) { return h.GetInternationalSetForCodePage(950); }, 15},
    {"IntlSet437", [](ICmdHelper& h) { return h.GetInternationalSetForCodePage(437); }, 0},
    {"DirectionRight90",
     [](ICmdHelper& h) { return h.GetPageDirectionForRotation(PTR_RP_RIGHT90); }, '3'},
    {"DirectionLeft90", [](ICmdHelper& h) { return h.GetPageDirectionForRotation(PTR_RP_LEFT90); },
     '1'},
    {"Direction180", [](ICmdHelper& h) { return h.GetPageDirectionForRotation(PTR_RP_ROTATE180); },
     '2'},
    {"DirectionNormal", [](ICmdHelper& h) { return h.GetPageDirectionForRotation(PTR_RP_NORMAL); },
     '0'},
    {"BitmapCenter", [](ICmdHelper& h) { return h.GetBitmapJustification(PTR_BM_CENTER); }, 1},
    {"BitmapRight", [](ICmdHelper& h) { return h.GetBitmapJustification(PTR_BM_RIGHT); }, 2},
    {"BitmapLeft", [](ICmdHelper& h) { return h.GetBitmapJustification(PTR_BM_LEFT); }, 0},
    {"BitmapColumn", [](ICmdHelper& h) { return h.GetBitmapJustification(40); }, 0},
    {"BarcodeCenter", [](ICmdHelper& h) { return h.GetJustification(PTR_BC_CENTER); }, 1},
    {"BarcodeRight", [](ICmdHelper& h) { return h.GetJustification(PTR_BC_RIGHT); }, 2},
    {"HriBelow", [](ICmdHelper& h) { return h.GetHriPosition(PTR_BC_TEXT_BELOW); }, 2},
    {"HriAbove", [](ICmdHelper& h) { return h.GetHriPosition(PTR_BC_TEXT_ABOVE); }, 1},
    {"HriNone", [](ICmdHelper& h) { return h.GetHriPosition(PTR_BC_TEXT_NONE); }, 0},
    {"PlacementBelow", [](ICmdHelper& h) { return h.GetHriPlacement(-13); }, 2},
    {"PlacementAbove", [](ICmdHelper& h) { return h.GetHriPlacement(-12); }, 1},
    {"PlacementNone", [](ICmdHelper& h) { return h.GetHriPlacement(-11); }, 0},
    {"PlacementOther", [](ICmdHelper& h) { return h.GetHriPlacement(0); }, 3},
    {"SystemUpcA", [](ICmdHelper& h) { return h.GetBarcodeSystem(PTR_BCS_UPCA); }, 0x41},
    {"SystemUpcE", [](ICmdHelper& h) { return h.GetBarcodeSystem(PTR_BCS_UPCE); }, 0x42},
    {"SystemEan8", [](ICmdHelper& h) { return h.GetBarcodeSystem(PTR_BCS_EAN8); }, 0x44},
    {"SystemEan13", [](ICmdHelper& h) { return h.GetBarcodeSystem(PTR_BCS_EAN13); }, 0x43},
    {"SystemItf", [](ICmdHelper& h) { return h.GetBarcodeSystem(PTR_BCS_ITF); }, 0x46},
    {"SystemCodabar", [](ICmdHelper& h) { return h.GetBarcodeSystem(PTR_BCS_Codabar); }, 0x47},
    {"SystemCode39", [](ICmdHelper& h) { return h.GetBarcodeSystem(PTR_BCS_Code39); }, 0x45},
    {"SystemCode93", [](ICmdHelper& h) { return h.GetBarcodeSystem(PTR_BCS_Code93); }, 0x48},
    {"SystemCode128", [](ICmdHelper& h) { return h.GetBarcodeSystem(PTR_BCS_Code128); }, 0x49},
    {"SystemCode128Parsed",
     [](ICmdHelper& h) { return h.GetBarcodeSystem(PTR_BCS_Code128_Parsed); }, 0x49},
    {"SystemEan128", [](ICmdHelper& h) { return h.GetBarcodeSystem(PTR_BCS_EAN128); }, 0x4A},
    {"SystemRss14", [](ICmdHelper& h) { return h.GetBarcodeSystem(PTR_BCS_RSS14); }, 0x4B},
    {"SystemRssExpanded", [](ICmdHelper& h) { return h.GetBarcodeSystem(PTR_BCS_RSS_EXPANDED); },
     0x4E},
    {"SystemTf", [](ICmdHelper& h) { return h.GetBarcodeSystem(PTR_BCS_TF); }, 0x00},
    {"DrawerChangedOpened", [](ICmdHelper& h) { return h.IsDrawerStateChanged(0x04, 0x00, 0); }, 1},
    {"DrawerChangedClosed", [](ICmdHelper& h) { return h.IsDrawerStateChanged(0x00, 0x04, 0); }, 1},
    {"DrawerChangedClosedFlag", [](ICmdHelper& h) { return h.IsDrawerStateChanged(0x00, 0x04, 1); },
     0},
    {"DrawerChangedOpenedFlag", [](ICmdHelper& h) { return h.IsDrawerStateChanged(0x04, 0x00, 1); },
     1},
    {"DrawerUnchanged", [](ICmdHelper& h) { return h.IsDrawerStateChanged(0xFB, 0x00, 0); }, 0},
    {"DrawerOpenHighSet", [](ICmdHelper& h) { return h.IsDrawerOpen(0x04, 1); }, 1},
    {"DrawerOpenHighClear", [](ICmdHelper& h) { return h.IsDrawerOpen(0xFB, 1); }, 0},
    {"DrawerOpenLowSet", [](ICmdHelper& h) { return h.IsDrawerOpen(0x04, 0); }, 0},
    {"DrawerOpenLowClear", [](ICmdHelper& h) { return h.IsDrawerOpen(0x00, 0); }, 1},
};

class BaseValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(BaseValue, Maps) {
  CCmdHelperBase helper;
  EXPECT_EQ(GetParam().run(helper), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(CmdHelperBase, BaseValue, ::testing::ValuesIn(kValueCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

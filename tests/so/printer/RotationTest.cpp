// Rotated printing and page-mode text through the engine: the sideways page a quarter
// turn collects, upside-down jobs, refused turns, text wrapped and clipped to the print
// area, transactions ending every layout mode, and map-mode values read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "OposConstants.h"
#include "TestEngine.h"

namespace {

using zanth::test::FakePort;
using zanth::test::RecordingEvents;
using zanth::test::TestEngine;
using Bytes = std::vector<BYTE>;

class LayoutEngine : public TestEngine {
 public:
  void SetVerticalPitch(float mm) { dotSizeV_ = mm; }
  void SetCapabilityValue(LONG index, LONG value) { SetCapability(index, value); }
  Bytes Page() const { return Bytes(pageModeBuffer_.Data(), pageModeBuffer_.Data() + pageModeBuffer_.Size()); }
  int QuarterTurned() const { return rotateRight90_ || rotateLeft90_; }
  int PageModeOn() const { return pageMode_; }
};

size_t Count(const Bytes& hay, const Bytes& needle) {
  size_t n = 0;
  for (auto it = hay.begin(); (it = std::search(it, hay.end(), needle.begin(), needle.end())) != hay.end(); ++it) ++n;
  return n;
}

// The arguments of every ESC { in a block, in order.
std::vector<int> UpsideDownStates(const Bytes& block) {
  std::vector<int> states;
  for (size_t i = 0; i + 2 < block.size(); ++i)
    if (block[i] == 0x1B && block[i + 1] == '{') states.push_back(block[i + 2]);
  return states;
}

// Page text as a readable layout: [x,y,w,h] ESC W, ^n GS $, @n ESC $, / ESC J, Tn ESC T
// (n 0..3 whether sent as a digit or a number), {n ESC {, | FF, the characters themselves;
// other commands are left out.
std::string Layout(const Bytes& b) {
  std::string out;
  auto word = [&](size_t i) { return b[i] | (b[i + 1] << 8); };
  for (size_t i = 0; i < b.size();) {
    const BYTE c = b[i];
    const BYTE next = i + 1 < b.size() ? b[i + 1] : 0;
    char text[64];
    if (c == 0x1B && next == 'W' && i + 9 < b.size()) {
      std::snprintf(text, sizeof text, "[%d,%d,%d,%d]", word(i + 2), word(i + 4), word(i + 6), word(i + 8));
      out += text;
      i += 10;
    } else if ((c == 0x1D || c == 0x1B) && next == '$' && i + 3 < b.size()) {
      std::snprintf(text, sizeof text, "%c%d", c == 0x1D ? '^' : '@', word(i + 2));
      out += text;
      i += 4;
    } else if (c == 0x1B && next == 'J') {
      out += '/';
      i += 3;
    } else if (c == 0x1B && next == 'T') {
      out += 'T' + std::to_string(b[i + 2] >= '0' ? b[i + 2] - '0' : b[i + 2]);
      i += 3;
    } else if (c == 0x1D && next == 'k' && i + 3 < b.size()) {
      out += "<bars>";  // GS k m n and its n data bytes
      i += 4 + b[i + 3];
    } else if (c == 0x1B && next == '{') {
      out += '{' + std::to_string(b[i + 2]);
      i += 3;
    } else if (c == 0x0C) {
      out += '|';
      ++i;
    } else if (c == 0x1B || c == 0x1D) {
      i += 3;  // ESC 3 n, GS ! n, ESC ! n
    } else {
      out += static_cast<char>(c);
      ++i;
    }
  }
  return out;
}

// What a sent block prints in page mode: everything after its last ESC L.
Bytes AfterPageModeSelected(const Bytes& block) {
  const Bytes select = {0x1B, 'L'};
  const auto at = std::find_end(block.begin(), block.end(), select.begin(), select.end());
  return at == block.end() ? Bytes() : Bytes(at + 2, block.end());
}

class Rotation : public ::testing::Test {
 protected:
  void SetUp() override {
    port = zanth::test::OpenReadyEngine(engine, events);
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(SetNumber(PIDXPtr_PageModeStation, PTR_S_RECEIPT), 0);
    port->ClearWritten();
  }
  // Every call here reports its result through an out argument.
  template <class Call>
  static LONG Result(Call call) {
    LONG result = -1;
    call(&result);
    return result;
  }
  LONG Rotate(LONG rotation, LONG station = PTR_S_RECEIPT) {
    return Result([&](LONG* rc) { engine.RotatePrint(station, rotation, rc); });
  }
  LONG Print(const std::wstring& data) {
    return Result([&](LONG* rc) { engine.PrintNormal(PTR_S_RECEIPT, data, rc); });
  }
  LONG SetNumber(LONG index, LONG value) {
    return Result([&](LONG* rc) { engine.SetPropertyNumber(index, value, rc); });
  }
  LONG Number(LONG index) { return Result([&](LONG* value) { engine.GetPropertyNumber(index, value); }); }
  LONG SetArea(const std::wstring& area) {
    return Result([&](LONG* rc) { engine.SetPropertyString(PIDXPtr_PageModePrintArea, area, rc); });
  }
  LONG Page(LONG control) { return Result([&](LONG* rc) { engine.PageModePrint(control, rc); }); }
  LONG Barcode() {
    return Result([&](LONG* rc) {
      engine.PrintBarCode(PTR_S_RECEIPT, L"123456", PTR_BCS_Code39, 50, 2, PTR_BC_LEFT, PTR_BC_TEXT_NONE, rc);
    });
  }
  LONG Transaction(LONG control) {
    return Result([&](LONG* rc) { engine.TransactionPrint(PTR_S_RECEIPT, control, rc); });
  }

  RecordingEvents events;
  std::shared_ptr<FakePort> port;
  // Declared last, so it goes first: its worker may still call the members above.
  LayoutEngine engine;
};

TEST_F(Rotation, QuarterTurnCollectsTwoCallsIntoOnePageInDirection3) {
  ASSERT_EQ(Rotate(PTR_RP_RIGHT90), 0);
  ASSERT_EQ(Print(L"ABC"), 0);
  ASSERT_EQ(Print(L"DE\n"), 0);
  EXPECT_TRUE(port->Blocks().empty());  // collected, not printed
  ASSERT_EQ(Rotate(PTR_RP_NORMAL), 0);
  const auto blocks = port->Blocks();
  ASSERT_EQ(blocks.size(), 1u);
  // The line goes on across the calls; the page is its 60 dots plus the 60-dot margin.
  const Bytes page = {0x1B, 'L', 0x1B, 'W', 0, 0, 0, 0, 0x40, 0x02, 120, 0, 0x1B, 'T', '3',
                      'A', 'B', 'C', 'D', 'E', 0x1B, 'J', 36, 0x1B, 'T', '0', 0x0C};
  ASSERT_GE(blocks[0].size(), page.size());
  EXPECT_EQ(Bytes(blocks[0].end() - static_cast<long>(page.size()), blocks[0].end()), page);
  EXPECT_EQ(Count(blocks[0], {0x1B, 'L'}), 1u);
  EXPECT_EQ(Number(PIDXPtr_RotateSpecial), PTR_RP_NORMAL);
  EXPECT_EQ(engine.QuarterTurned(), 0);
}

TEST_F(Rotation, AFailedWriteOfTheSidewaysPageIsReported) {
  ASSERT_EQ(Rotate(PTR_RP_LEFT90), 0);
  ASSERT_EQ(Print(L"LOST\n"), 0);
  port->SetWriteFails(true);
  EXPECT_EQ(Rotate(PTR_RP_NORMAL), OPOS_E_NOHARDWARE);
  EXPECT_EQ(engine.QuarterTurned(), 0);  // the turn ends all the same
}

// A barcode turned with the text is drawn in the sideways page; one kept upright is a
// page of its own, printed ahead of the sideways one.
TEST_F(Rotation, BarcodesUnderAQuarterTurn) {
  struct Row {
    const char* name;
    LONG rotation;
    size_t pages;
    bool insideTurnedPage;
  } rows[] = {
      {"TurnedWithText", PTR_RP_BARCODE | PTR_RP_RIGHT90, 1, true},
      {"KeptUpright", PTR_RP_RIGHT90, 2, false},
  };
  const Bytes turned = {0x1B, 'T', '3'}, barcode = {0x1D, 'k'};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(Rotate(row.rotation), 0);
    ASSERT_EQ(Print(L"ITEM\n"), 0);
    ASSERT_EQ(Barcode(), 0);
    EXPECT_TRUE(port->Blocks().empty());
    ASSERT_EQ(Rotate(PTR_RP_NORMAL), 0);
    ASSERT_EQ(port->Blocks().size(), 1u);
    const Bytes block = port->Blocks()[0];
    EXPECT_EQ(Count(block, {0x1B, 'L'}), row.pages);
    const auto page = std::search(block.begin(), block.end(), turned.begin(), turned.end());
    const auto code = std::search(block.begin(), block.end(), barcode.begin(), barcode.end());
    ASSERT_NE(page, block.end());
    ASSERT_NE(code, block.end());
    EXPECT_EQ(code > page, row.insideTurnedPage);
    port->ClearWritten();
  }
}

TEST_F(Rotation, UnknownOrUnsupportedTurnsAreRefusedAndChangeNothing) {
  struct Row {
    const char* name;
    LONG station, rotation, missingCapability, resultCode, extended;
  } rows[] = {
      {"Zero", 2, 0, 0, OPOS_E_ILLEGAL, 0},
      {"UnknownTurn", 2, 0x0104, 0, OPOS_E_ILLEGAL, 0},
      {"Negative", 2, -1, 0, OPOS_E_ILLEGAL, 0},
      {"UnknownObjectBit", 2, 0x4000 | PTR_RP_RIGHT90, 0, OPOS_E_ILLEGAL, 0},
      {"RightWithoutCapability", 2, PTR_RP_RIGHT90, PIDXPtr_CapRecRight90, OPOS_E_ILLEGAL, 0},
      {"LeftWithoutCapability", 2, PTR_RP_BITMAP | PTR_RP_LEFT90, PIDXPtr_CapRecLeft90, OPOS_E_ILLEGAL, 0},
      {"UpsideDownWithoutCapability", 2, PTR_RP_ROTATE180, PIDXPtr_CapRecRotate180, OPOS_E_ILLEGAL, 0},
      {"JournalStation", 1, PTR_RP_RIGHT90, 0, OPOS_E_EXTENDED, 300},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.missingCapability) engine.SetCapabilityValue(row.missingCapability, 0);
    EXPECT_EQ(Rotate(row.rotation, row.station), row.resultCode);
    EXPECT_EQ(engine.GetResultCodeExtended(), row.extended);
    EXPECT_EQ(Number(PIDXPtr_RotateSpecial), PTR_RP_NORMAL);
    if (row.station == PTR_S_RECEIPT) {
      EXPECT_EQ(SetNumber(PIDXPtr_RotateSpecial, row.rotation), row.resultCode);
    }
    EXPECT_EQ(Number(PIDXPtr_RotateSpecial), PTR_RP_NORMAL);
    EXPECT_EQ(engine.QuarterTurned(), 0);
    ASSERT_EQ(Print(L"x\n"), 0);  // printed at once: nothing is being collected
    EXPECT_EQ(port->Blocks().size(), 1u);
    EXPECT_EQ(UpsideDownStates(port->Blocks()[0]).back(), 0);
    port->ClearWritten();
    if (row.missingCapability) engine.SetCapabilityValue(row.missingCapability, 1);
  }
}

// Every ESC { of the job, in order: the pending setting in front, the job-opening block,
// and what an object around the text switches.
TEST_F(Rotation, UpsideDownReachesTextAndObjectsRestoreIt) {
  struct Row {
    const char* name;
    LONG rotation;
    bool barcode;
    std::vector<int> states;
  } rows[] = {
      {"TextTurned", PTR_RP_ROTATE180, false, {1, 1}},
      {"TextBackToNormal", PTR_RP_NORMAL, false, {0, 0}},
      {"BarcodeTurnedWithText", PTR_RP_BARCODE | PTR_RP_ROTATE180, true, {1, 1, 1, 1}},
      {"BarcodeKeptUpright", PTR_RP_ROTATE180, true, {1, 1, 0, 1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(Rotate(row.rotation), 0);
    ASSERT_EQ(row.barcode ? Barcode() : Print(L"TURN\n"), 0);
    ASSERT_EQ(port->Blocks().size(), 1u);
    EXPECT_EQ(UpsideDownStates(port->Blocks()[0]), row.states);
    port->ClearWritten();
  }
}

// ESC { does not reach page-mode printing: a half turn on a page starts what follows from
// the opposite corner of the area (ESC T turned by two), and the page's own direction
// comes back when the turn ends, before the page is printed.
TEST_F(Rotation, UpsideDownOnAPageTurnsWhatFollowsHalfRound) {
  struct Row {
    const char* name;
    LONG direction, rotation;
    bool barcode;
    const char* layout;
  } rows[] = {
      {"LeftToRight", PTR_PD_LEFT_TO_RIGHT, PTR_RP_ROTATE180, false, "[0,0,300,100]^36@0AB/T2^36@0CD/T0|"},
      {"RightToLeft", PTR_PD_RIGHT_TO_LEFT, PTR_RP_ROTATE180, false, "T2[0,0,300,100]^36@0AB/T0^36@0CD/T2|"},
      {"TopToBottom", PTR_PD_TOP_TO_BOTTOM, PTR_RP_ROTATE180, false, "T3[0,0,300,100]^36@0AB/T1^36@0CD/T3|"},
      {"BarcodeTurnedWithThePage", PTR_PD_LEFT_TO_RIGHT, PTR_RP_BARCODE | PTR_RP_ROTATE180, true,
       "[0,0,300,100]^36@0AB/T2^0^0/@0<bars>^36@0CD/T0|"},
      // Placed in the page's own direction, the turn resumed after it.
      {"BarcodeKeptUpright", PTR_PD_LEFT_TO_RIGHT, PTR_RP_ROTATE180, true,
       "[0,0,300,100]^36@0AB/T2^0T0^0/@0<bars>T2^36@0CD/T0|"},
  };
  ASSERT_EQ(SetArea(L"0,0,300,100"), 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(SetNumber(PIDXPtr_PageModePrintDirection, row.direction), 0);
    ASSERT_EQ(Page(PTR_PM_PAGE_MODE), 0);
    ASSERT_EQ(Print(L"AB\n"), 0);
    ASSERT_EQ(Rotate(row.rotation), 0);
    EXPECT_EQ(Number(PIDXPtr_RotateSpecial), row.rotation);
    if (row.barcode) {
      ASSERT_EQ(Barcode(), 0);
    }
    ASSERT_EQ(Print(L"CD\n"), 0);
    EXPECT_TRUE(port->Blocks().empty());
    ASSERT_EQ(Page(PTR_PM_NORMAL), 0);
    const auto blocks = port->Blocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(Layout(AfterPageModeSelected(blocks[0])), row.layout);
    // Nothing is left upside down for standard-mode printing after the page.
    for (int state : UpsideDownStates(blocks[0])) EXPECT_EQ(state, 0);
    EXPECT_EQ(Number(PIDXPtr_RotateSpecial), PTR_RP_NORMAL);
    port->ClearWritten();
  }
}

// A quarter turn begun on a page collects a sideways page of its own, printed when the
// turn ends while the page stays collected for PageModePrint.
TEST_F(Rotation, QuarterTurnOnAPagePrintsItsOwnSidewaysPage) {
  // ESC W 0,0,576,84: the paper's width, the 24-dot line and the 60-dot margin.
  auto sidewaysPage = [](BYTE direction) {
    return Bytes{0x1B, 'W', 0, 0, 0, 0, 0x40, 0x02, 84, 0, 0x1B, 'T', direction, 0x1D, '$', 36, 0,
                 0x1B, '$', 0, 0, 'C', 'D', 0x1B, 'J', 36, 0x1B, 'T', '0', 0x0C};
  };
  struct Row {
    const char* name;
    LONG rotation;
    const wchar_t* pageText;  // before the turn
    Bytes sideways;           // the sideways page, ESC L on
    const char* page;
  } rows[] = {
      {"Right", PTR_RP_RIGHT90, L"AB\n", sidewaysPage('3'), "[0,0,300,100]^36@0AB/T0|"},
      {"Left", PTR_RP_LEFT90, L"AB\n", sidewaysPage('1'), "[0,0,300,100]^36@0AB/T0|"},
      // The print area is still the page's, not the sideways page's.
      {"RightBeforeAnyPageText", PTR_RP_RIGHT90, nullptr, sidewaysPage('3'), "[0,0,300,100]T0|"},
  };
  ASSERT_EQ(SetArea(L"0,0,300,100"), 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(Page(PTR_PM_PAGE_MODE), 0);
    if (row.pageText) {
      ASSERT_EQ(Print(row.pageText), 0);
    }
    ASSERT_EQ(Rotate(row.rotation), 0);
    ASSERT_EQ(Print(L"CD\n"), 0);
    EXPECT_TRUE(port->Blocks().empty());
    ASSERT_EQ(Rotate(PTR_RP_NORMAL), 0);
    auto blocks = port->Blocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(AfterPageModeSelected(blocks[0]), row.sideways);
    EXPECT_EQ(engine.PageModeOn(), 1);
    ASSERT_EQ(Page(PTR_PM_NORMAL), 0);
    blocks = port->Blocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(Layout(AfterPageModeSelected(blocks[1])), row.page);
    port->ClearWritten();
  }
}

TEST_F(Rotation, PageTextWrapsAtTheAreaEdgeAndIsClippedAtItsBottom) {
  struct Row {
    const char* name;
    const wchar_t* area;
    LONG horizontal, direction;
    const wchar_t* text;
    const char* layout;
  } rows[] = {
      // 25 characters of 12 dots fill 300 dots; the 26th opens the next line.
      {"WrapAfter25", L"0,0,300,200", 0, 1, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn",
       "[0,0,300,200]^36@0ABCDEFGHIJKLMNOPQRSTUVWXY/@0Zabcdefghijklmn"},
      {"FirstLineFromThePosition", L"0,0,300,200", 100, 1, L"ABCDEFGHIJKLMNOPQRST",
       "[0,0,300,200]^36@100ABCDEFGHIJKLMNOP/@0QRST"},
      {"LinesPastTheBottomDropped", L"0,0,300,72", 0, 1, L"L1\nL2\nL3\nL4",
       "[0,0,300,72]^36@0L1/@0L2/"},
      {"RightAligned", L"0,0,300,200", 0, 1, L"\x1b|rAABC\n", "[0,0,300,200]^36@264ABC/"},
      {"Centred", L"0,0,300,200", 0, 1, L"\x1b|cAABCD\n", "[0,0,300,200]^36@126ABCD/"},
      {"EmptyAreaPrintsNothing", L"0,0,0,0", 0, 1, L"ABC\n", ""},
      // Top to bottom: lines run along the 300-dot height.
      {"VerticalWrapsAlongTheHeight", L"0,0,100,300", 0, 4, L"ABCDEFGHIJKLMNOPQRSTUVWXYZab",
       "T3[0,0,100,300]^36@0ABCDEFGHIJKLMNOPQRSTUVWXY/@0Zab"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(SetNumber(PIDXPtr_PageModePrintDirection, row.direction), 0);
    ASSERT_EQ(SetArea(row.area), 0);
    ASSERT_EQ(SetNumber(PIDXPtr_PageModeHorizontalPosition, row.horizontal), 0);
    ASSERT_EQ(Page(PTR_PM_PAGE_MODE), 0);
    ASSERT_EQ(Print(row.text), 0);
    EXPECT_EQ(Layout(engine.Page()), row.layout);
    ASSERT_EQ(Page(PTR_PM_CANCEL), 0);
  }
  EXPECT_TRUE(port->Blocks().empty());
}

TEST_F(Rotation, LineSpacingCountsHorizontalDotsWhenLinesRunAlongThePaper) {
  engine.SetVerticalPitch(0.0625f);
  struct Row {
    const char* name;
    LONG rotation, direction;
    bool pageMode;
    BYTE spacing;
  } rows[] = {
      {"Standard", PTR_RP_NORMAL, 1, false, 72},
      {"UpsideDown", PTR_RP_ROTATE180, 1, false, 72},
      {"QuarterTurn", PTR_RP_LEFT90, 1, false, 36},
      {"PageAcross", PTR_RP_NORMAL, PTR_PD_RIGHT_TO_LEFT, true, 72},
      {"PageBottomToTop", PTR_RP_NORMAL, PTR_PD_BOTTOM_TO_TOP, true, 36},
      {"PageTopToBottom", PTR_RP_NORMAL, PTR_PD_TOP_TO_BOTTOM, true, 36},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(SetNumber(PIDXPtr_PageModePrintDirection, row.direction), 0);
    if (row.pageMode) {
      ASSERT_EQ(Page(PTR_PM_PAGE_MODE), 0);
    }
    ASSERT_EQ(Rotate(row.rotation), 0);
    EXPECT_EQ(engine.GetRecLineSpacing(), row.spacing);
    ASSERT_EQ(Rotate(PTR_RP_NORMAL), 0);
    if (row.pageMode) {
      ASSERT_EQ(Page(PTR_PM_CANCEL), 0);
    }
  }
}

TEST_F(Rotation, TransactionEndsPageModeAndEveryTurn) {
  struct Row {
    const char* name;
    bool page;
    LONG rotation;
    Bytes collected;
    std::vector<int> states;
  } rows[] = {
      {"QuarterTurn", false, PTR_RP_LEFT90, {0x1B, 'T', '1', 'A', 'B', 0x1B, 'J', 36, 0x1B, 'T', '0', 0x0C}, {0}},
      {"UpsideDown", false, PTR_RP_ROTATE180, {'A', 'B', 0x0A, 0x1B, '{', 0}, {0, 0, 1, 0}},
      {"PageMode", true, PTR_RP_NORMAL, {0x1B, 'L', 0x1B, 'W', 0, 0, 0, 0, 0x2C, 0x01, 100, 0}, {0, 0}},
      // The page ends in its own direction: the printer keeps ESC T for the next page.
      {"UpsideDownPage", true, PTR_RP_ROTATE180, {'A', 'B', 0x1B, 'J', 36, 0x1B, 'T', '0', 0x0C},
       {0, 0, 0}},
  };
  ASSERT_EQ(SetArea(L"0,0,300,100"), 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(Transaction(PTR_TP_TRANSACTION), 0);
    if (row.page) {
      ASSERT_EQ(Page(PTR_PM_PAGE_MODE), 0);
    }
    if (row.rotation != PTR_RP_NORMAL) {
      ASSERT_EQ(Rotate(row.rotation), 0);
    }
    ASSERT_EQ(Print(L"AB\n"), 0);
    EXPECT_TRUE(port->Blocks().empty());
    ASSERT_EQ(Transaction(PTR_TP_NORMAL), 0);
    const auto blocks = port->Blocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(Count(blocks[0], row.collected), 1u);
    EXPECT_EQ(UpsideDownStates(blocks[0]), row.states);
    EXPECT_EQ(Number(PIDXPtr_RotateSpecial), PTR_RP_NORMAL);
    EXPECT_EQ(engine.PageModeOn(), 0);
    EXPECT_EQ(engine.QuarterTurned(), 0);
    port->ClearWritten();
  }
}

// A value read back in the map mode it was set in, and set again, lands on the same dots.
TEST_F(Rotation, MapModeValuesReadBackToTheSameDots) {
  struct Row {
    const char* name;
    LONG mapMode;
    const wchar_t* area;
    LONG horizontal, vertical;
    const char* layout;  // ESC W in dots, GS $ at vertical + 36, ESC $ at the horizontal position
  } rows[] = {
      {"Dots", PTR_MM_DOTS, L"10,20,300,200", 40, 8, "[10,20,300,200]^44@40A"},
      {"Twips", PTR_MM_TWIPS, L"720,0,2880,1440", 1440, 720, "[101,0,406,202]^137@202A"},
      {"English", PTR_MM_ENGLISH, L"500,0,2000,1000", 500, 250, "[101,0,406,202]^86@101A"},
      {"Metric", PTR_MM_METRIC, L"1000,0,2000,1000", 500, 250, "[80,0,160,80]^56@40A"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(SetNumber(PIDXPtr_MapMode, row.mapMode), 0);
    std::string first;
    for (int pass = 0; pass < 2; ++pass) {
      LONG horizontal = row.horizontal, vertical = row.vertical;
      if (pass == 1) {
        // What the first pass reads back is what the second one sets.
        horizontal = Number(PIDXPtr_PageModeHorizontalPosition);
        vertical = Number(PIDXPtr_PageModeVerticalPosition);
        ASSERT_EQ(SetNumber(PIDXPtr_MapMode, PTR_MM_DOTS), 0);  // rewrites the area text
        ASSERT_EQ(SetNumber(PIDXPtr_MapMode, row.mapMode), 0);
        BSTR text = nullptr;
        engine.GetPropertyString(PIDXPtr_PageModePrintArea, &text);
        ASSERT_NE(text, nullptr);
        ASSERT_EQ(SetArea(text), 0);
        SysFreeString(text);
      } else {
        ASSERT_EQ(SetArea(row.area), 0);
      }
      ASSERT_EQ(SetNumber(PIDXPtr_PageModeHorizontalPosition, horizontal), 0);
      ASSERT_EQ(SetNumber(PIDXPtr_PageModeVerticalPosition, vertical), 0);
      ASSERT_EQ(Page(PTR_PM_PAGE_MODE), 0);
      ASSERT_EQ(Print(L"A"), 0);
      if (pass == 0) first = Layout(engine.Page());
      else EXPECT_EQ(Layout(engine.Page()), first);
      ASSERT_EQ(Page(PTR_PM_CANCEL), 0);
    }
    EXPECT_EQ(first, row.layout);
    ASSERT_EQ(SetNumber(PIDXPtr_MapMode, PTR_MM_DOTS), 0);
  }
}

}  // namespace

// Page mode through the engine: the controls of PageModePrint, ClearPrintArea and the
// blocks the port receives, with the ESC/POS builder and a scripted port.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "OposConstants.h"
#include "TestEngine.h"

namespace {

using zanth::test::FakePort;
using zanth::test::RecordingEvents;
using zanth::test::TestEngine;
using Bytes = std::vector<BYTE>;

class PageEngine : public TestEngine {
 public:
  void SetVerticalPitch(float mm) { dotSizeV_ = mm; }
  bool PageEmpty() const { return pageModeBuffer_.IsEmpty(); }
  int InPageMode() const { return pageMode_; }
};


bool Contains(const Bytes& hay, const Bytes& needle) {
  return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

class PageMode : public ::testing::Test {
 protected:
  void SetUp() override {
    port = zanth::test::OpenReadyEngine(engine, events);
    ASSERT_FALSE(HasFailure());
    LONG result = -1;
    engine.SetPropertyNumber(PIDXPtr_PageModeStation, PTR_S_RECEIPT, &result);
    ASSERT_EQ(result, 0);
    port->ClearWritten();
  }
  LONG Control(LONG control) {
    LONG result = -1;
    engine.PageModePrint(control, &result);
    EXPECT_EQ(result, engine.GetResultCode());
    return result;
  }
  LONG Clear() {
    LONG result = -1;
    engine.ClearPrintArea(&result);
    return result;
  }

  RecordingEvents events;
  std::shared_ptr<FakePort> port;
  // Declared last, so it goes first: its worker may still call the members above.
  PageEngine engine;
};

// ESC W 10,40,300,200 then CAN: y and height in vertical dots (pitch 0.0625 mm).
const Bytes kClearedArea = {0x1B, 'W', 10, 0, 40, 0, 0x2C, 1, 200, 0, 0x18};

TEST_F(PageMode, ControlsOutsidePageModeAndUnknownControlsAreRefused) {
  const LONG controls[] = {PTR_PM_PRINT_SAVE, PTR_PM_NORMAL, PTR_PM_CANCEL, 0, 5};
  for (LONG control : controls) {
    SCOPED_TRACE(control);
    EXPECT_EQ(Control(control), OPOS_E_ILLEGAL);
  }
  EXPECT_EQ(Clear(), OPOS_E_ILLEGAL);
  EXPECT_TRUE(port->Blocks().empty());
}

TEST_F(PageMode, PrintSaveTwicePrintsTheSamePageTwiceInPageMode) {
  engine.SetVerticalPitch(0.0625f);
  LONG result = -1;
  engine.SetPropertyString(PIDXPtr_PageModePrintArea, L"10,20,300,100", &result);
  ASSERT_EQ(result, 0);
  ASSERT_EQ(Control(PTR_PM_PAGE_MODE), 0);
  ASSERT_EQ(Clear(), 0);
  EXPECT_EQ(Control(PTR_PM_PRINT_SAVE), 0);
  EXPECT_EQ(Control(PTR_PM_PRINT_SAVE), 0);
  const auto blocks = port->Blocks();
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[0], blocks[1]);
  Bytes page = {0x1B, 'L'};  // page mode is selected before the page data
  page.insert(page.end(), kClearedArea.begin(), kClearedArea.end());
  page.push_back(0x0C);
  EXPECT_TRUE(Contains(blocks[0], page));
  EXPECT_EQ(blocks[0].back(), 0x0C);
  EXPECT_EQ(engine.InPageMode(), 1);
  EXPECT_FALSE(engine.PageEmpty());
}

TEST_F(PageMode, NormalPrintsOnceAndCancelDiscards) {
  struct Row {
    LONG control;
    size_t blocks;
  } rows[] = {{PTR_PM_NORMAL, 1}, {PTR_PM_CANCEL, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.control);
    port->ClearWritten();
    ASSERT_EQ(Control(PTR_PM_PAGE_MODE), 0);
    ASSERT_EQ(Clear(), 0);
    EXPECT_EQ(Control(row.control), 0);
    EXPECT_EQ(port->Blocks().size(), row.blocks);
    EXPECT_EQ(engine.InPageMode(), 0);
    EXPECT_TRUE(engine.PageEmpty());
    EXPECT_EQ(Control(PTR_PM_PRINT_SAVE), OPOS_E_ILLEGAL);  // page mode has ended
  }
}

}  // namespace

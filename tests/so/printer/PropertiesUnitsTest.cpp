#include <gtest/gtest.h>

#include <cstdint>

#include "OposConstants.h"
#include "PropertiesEngine.h"

namespace {

using zanth::test::PropertiesEngine;

enum class Conversion {
  DotToMapH, DotToMapV, MapToDotH, MapToDotV, MetricToMap, MapToMetric, HToV
};

struct UnitCase {
  const char* name;
  LONG mapMode;
  float horizontal, vertical;  // millimetres per dot
  Conversion conversion;
  LONG input, expected;
};

// An inch is 25.375 mm here; every step truncates toward zero.
const UnitCase kUnitCases[] = {
    {"MetricToDots1000", 4, 0.125f, 0.125f, Conversion::MapToDotH, 1000, 80},
    {"TwipsToDotsTruncatedTwice", 2, 0.125f, 0.125f, Conversion::MapToDotH, 1440, 202},
    {"EnglishToDots", 3, 0.125f, 0.125f, Conversion::MapToDotH, 1000, 202},  // 2537 / 12.5
    {"DotsToDots", 1, 0.125f, 0.0625f, Conversion::MapToDotH, 123, 123},
    {"DotsToMetricFullWidth", 4, 0.125f, 0.125f, Conversion::DotToMapH, 576, 7200},
    {"DotsToTwips", 2, 0.125f, 0.125f, Conversion::DotToMapH, 576, 4085},    // 7200 x 1440 / 2537.5
    {"DotsToEnglish", 3, 0.125f, 0.125f, Conversion::DotToMapH, 576, 2837},  // 7200 / 2.5375
    {"DotsToDotsH", 1, 0.125f, 0.0625f, Conversion::DotToMapH, 99, 99},
    {"NarrowPitchToMetric", 4, 0.141f, 0.0705f, Conversion::DotToMapH, 512, 7219},
    {"VerticalDotsInHorizontalDots", 1, 0.125f, 0.0625f, Conversion::DotToMapV, 100, 50},
    {"VerticalDotsToMetric", 4, 0.125f, 0.0625f, Conversion::DotToMapV, 100, 625},
    {"VerticalDotsToTwips", 2, 0.125f, 0.0625f, Conversion::DotToMapV, 100, 354},
    {"VerticalDotsToEnglish", 3, 0.125f, 0.0625f, Conversion::DotToMapV, 100, 246},
    {"HorizontalDotsToVertical", 1, 0.125f, 0.0625f, Conversion::MapToDotV, 50, 100},
    {"MetricToVerticalDots", 4, 0.125f, 0.0625f, Conversion::MapToDotV, 625, 100},
    {"TwipsToVerticalDots", 2, 0.125f, 0.0625f, Conversion::MapToDotV, 1440, 405},
    {"EnglishToVerticalDots", 3, 0.125f, 0.0625f, Conversion::MapToDotV, 1000, 405},
    {"MetricAsTwips", 2, 0.125f, 0.125f, Conversion::MetricToMap, 2537, 1439},
    {"MetricAsEnglish", 3, 0.125f, 0.125f, Conversion::MetricToMap, 2537, 999},
    {"MetricAsMetric", 4, 0.125f, 0.125f, Conversion::MetricToMap, 2537, 2537},
    {"MetricHasNoDots", 1, 0.125f, 0.125f, Conversion::MetricToMap, 2537, 0},
    {"TwipsAsMetric", 2, 0.125f, 0.125f, Conversion::MapToMetric, 1440, 2537},
    {"EnglishAsMetric", 3, 0.125f, 0.125f, Conversion::MapToMetric, 1000, 2537},
    {"MetricAsMetricBack", 4, 0.125f, 0.125f, Conversion::MapToMetric, 1000, 1000},
    {"DotsHaveNoMetric", 1, 0.125f, 0.125f, Conversion::MapToMetric, 1000, 0},
    {"HToVDoublesOnHalfPitch", 1, 0.125f, 0.0625f, Conversion::HToV, 30, 60},
    {"HToVNarrowPitch", 1, 0.141f, 0.0705f, Conversion::HToV, 30, 60},
    {"UnknownMapModeH", 7, 0.125f, 0.125f, Conversion::DotToMapH, 576, 0},
    {"UnknownMapModeToDots", 0, 0.125f, 0.125f, Conversion::MapToDotH, 576, 0},
    {"UnknownMapModeV", 5, 0.125f, 0.0625f, Conversion::MapToDotV, 576, 0},
    {"HugeDotsSaturate", 4, 0.125f, 0.125f, Conversion::DotToMapH, INT32_MAX, INT32_MAX},
    {"HugeNegativeTwipsAsMetric", 2, 0.125f, 0.125f, Conversion::MapToMetric, INT32_MIN, INT32_MIN},
    {"HugeTwipsAsMetric", 2, 0.125f, 0.125f, Conversion::MapToMetric, INT32_MAX, INT32_MAX},
};

struct UnitTest : ::testing::TestWithParam<UnitCase> {};

TEST_P(UnitTest, Converts) {
  const UnitCase& c = GetParam();
  PropertiesEngine engine;
  engine.mapMode_ = c.mapMode;
  engine.dotSizeH_ = c.horizontal;
  engine.dotSizeV_ = c.vertical;
  LONG got = 0;
  switch (c.conversion) {
    case Conversion::DotToMapH: got = engine.DOT2MapNumber_H(c.input); break;
    case Conversion::DotToMapV: got = engine.DOT2MapNumber_V(c.input); break;
    case Conversion::MapToDotH: got = engine.MapNumber2DOT_H(c.input); break;
    case Conversion::MapToDotV: got = engine.MapNumber2DOT_V(c.input); break;
    case Conversion::MetricToMap: got = engine.metric2MapNumber(c.input); break;
    case Conversion::MapToMetric: got = engine.MapNumber2metric(c.input); break;
    case Conversion::HToV: got = engine.H2V(c.input); break;
  }
  EXPECT_EQ(got, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, UnitTest, ::testing::ValuesIn(kUnitCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct AreaCase {
  LONG x, y, width, height, expected;
};

// The page is 576 by 1000 dots.
const AreaCase kAreaCases[] = {
    {0, 0, 576, 1000, 0},  {0, 0, 0, 0, 0},        {575, 999, 1, 1, 0},
    {1, 0, 576, 10, 106},  {0, 1, 10, 1000, 106},  {-1, 0, 10, 10, 106},
    {0, -1, 10, 10, 106},  {0, 0, -1, 10, 106},    {0, 0, 10, -1, 106},
    {INT32_MAX, 0, INT32_MAX, 1, 106}, {0, INT32_MAX, 1, INT32_MAX, 106},
};

struct AreaTest : ::testing::TestWithParam<AreaCase> {};

TEST_P(AreaTest, MustLieOnThePage) {
  const AreaCase& c = GetParam();
  PropertiesEngine engine;
  EXPECT_EQ(engine.ValidatePageModePrintArea(c.x, c.y, c.width, c.height), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Page576x1000, AreaTest, ::testing::ValuesIn(kAreaCases));

TEST(PageModePrintDirection, OnlyTheFourDirections) {
  PropertiesEngine engine;
  for (LONG direction : {0, 5, -1, INT32_MAX}) {
    EXPECT_EQ(engine.SetPageModePrintDirection(direction), OPOS_E_ILLEGAL) << direction;
    EXPECT_EQ(engine.GetPropertyNumber(PIDXPtr_PageModePrintDirection, &direction), 0);
    EXPECT_EQ(direction, 1);
  }
  for (LONG direction = 1; direction <= 4; ++direction)
    EXPECT_EQ(engine.SetPageModePrintDirection(direction), 0) << direction;
}

}  // namespace

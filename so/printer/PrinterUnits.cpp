// Conversion between printer dots and the OPOS map modes, and the page geometry the
// property setters check. An inch counts as 25.375 mm (203 dots of 0.125 mm), so one
// twip is 2537.5 / 1440 hundredths of a millimetre and one English unit 2.5375.
//
// Products with a dot pitch are evaluated in single precision, the pitches being 32-bit
// floats; every result is truncated toward zero.
#include <cmath>
#include <cstdint>

#include "ICmdHelper.h"
#include "OposConstants.h"
#include "PrinterBase.h"

namespace Tesk::Printer {
namespace {

constexpr double kTwipsPerMetric = 1440.0 / 2537.5;
constexpr double kMetricPerTwip = 2537.5 / 1440.0;
constexpr double kMetricPerEnglish = 2.5375;

// Truncates toward zero; values beyond 32 bits saturate instead of wrapping.
LONG Trunc(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<LONG>(value);
}

}  // namespace

LONG CPrinterBase::DOT2MapNumber_H(LONG dots) const {
  const LONG metric = Trunc(dotSizeH_ * static_cast<float>(dots) * 100);
  switch (mapMode_) {
    case PTR_MM_DOTS: return dots;
    case PTR_MM_TWIPS: return Trunc(metric * kTwipsPerMetric);
    case PTR_MM_ENGLISH: return Trunc(metric / kMetricPerEnglish);
    case PTR_MM_METRIC: return metric;
    default: return 0;
  }
}

LONG CPrinterBase::DOT2MapNumber_V(LONG dots) const {
  const LONG metric = Trunc(dotSizeV_ * static_cast<float>(dots) * 100);
  switch (mapMode_) {
    case PTR_MM_DOTS: return Trunc(dotSizeV_ * static_cast<float>(dots) / dotSizeH_);
    case PTR_MM_TWIPS: return Trunc(metric * kTwipsPerMetric);
    case PTR_MM_ENGLISH: return Trunc(metric / kMetricPerEnglish);
    case PTR_MM_METRIC: return metric;
    default: return 0;
  }
}

LONG CPrinterBase::MapNumber2DOT_H(LONG value) const {
  const float perDot = dotSizeH_ * 100;  // hundredths of a millimetre per dot
  switch (mapMode_) {
    case PTR_MM_DOTS: return value;
    case PTR_MM_TWIPS: return Trunc(Trunc(value * kMetricPerTwip) / perDot);
    case PTR_MM_ENGLISH: return Trunc(Trunc(value * kMetricPerEnglish) / perDot);
    case PTR_MM_METRIC: return Trunc(static_cast<float>(value) / perDot);
    default: return 0;
  }
}

LONG CPrinterBase::MapNumber2DOT_V(LONG value) const {
  const float perDot = dotSizeV_ * 100;
  switch (mapMode_) {
    case PTR_MM_DOTS: return Trunc(dotSizeH_ * static_cast<float>(value) / dotSizeV_);
    case PTR_MM_TWIPS: return Trunc(Trunc(value * kMetricPerTwip) / perDot);
    case PTR_MM_ENGLISH: return Trunc(Trunc(value * kMetricPerEnglish) / perDot);
    case PTR_MM_METRIC: return Trunc(static_cast<float>(value) / perDot);
    default: return 0;
  }
}

LONG CPrinterBase::metric2MapNumber(LONG hundredthsMm) const {
  switch (mapMode_) {
    case PTR_MM_TWIPS: return Trunc(hundredthsMm * kTwipsPerMetric);
    case PTR_MM_ENGLISH: return Trunc(hundredthsMm / kMetricPerEnglish);
    case PTR_MM_METRIC: return hundredthsMm;
    default: return 0;  // dots have no fixed metric size here
  }
}

LONG CPrinterBase::MapNumber2metric(LONG value) const {
  switch (mapMode_) {
    case PTR_MM_TWIPS: return Trunc(value * kMetricPerTwip);
    case PTR_MM_ENGLISH: return Trunc(value * kMetricPerEnglish);
    case PTR_MM_METRIC: return value;
    default: return 0;
  }
}

// DOT2MapNumber_H truncates twice, so its value can convert back a dot short; the
// smallest value that converts back to the same dots is at most a few units above it.
LONG CPrinterBase::MapNumberOfDots_H(LONG dots) const {
  LONG value = DOT2MapNumber_H(dots);
  for (int step = 0; step < 8 && value < INT32_MAX && MapNumber2DOT_H(value) < dots; ++step) ++value;
  return value;
}

LONG CPrinterBase::H2V(LONG dots) const {
  return Trunc(dotSizeH_ * static_cast<float>(dots) / dotSizeV_);
}

LONG CPrinterBase::ValidatePageModePrintArea(LONG x, LONG y, LONG width, LONG height) const {
  // 64-bit sums: x + width must not wrap past the page edge.
  if (x < 0 || width < 0 || std::int64_t{x} + width > pageAreaWidth_) return OPOS_E_ILLEGAL;
  if (y < 0 || height < 0 || std::int64_t{y} + height > pageAreaHeight_) return OPOS_E_ILLEGAL;
  return 0;
}

LONG CPrinterBase::SetPageModePrintDirection(LONG direction) {
  if (direction < PTR_PD_LEFT_TO_RIGHT || direction > PTR_PD_TOP_TO_BOTTOM) return OPOS_E_ILLEGAL;
  pageModePrintDirection_ = direction;
  // Output being collected (rotation, page or transaction) turns with it from here on.
  PrinterBuffer* collecting = (rotateRight90_ || rotateLeft90_) ? &rotationBuffers_[0]
                              : pageMode_                       ? &pageModeBuffer_
                              : transaction_                    ? &transactionBuffer_
                                                                : nullptr;
  if (collecting && cmdHelper_) {
    // On the page the upside-down turn stays in force under the new direction.
    const int pageDirection = collecting == &pageModeBuffer_ ? PageDirectionInForce()
                                                             : static_cast<int>(direction - 1);
    cmdHelper_->SetPageDirection(*collecting, pageDirection);
    cmdHelper_->SetLineSpacing(*collecting, GetRecLineSpacing());
  }
  return 0;
}

}  // namespace Tesk::Printer

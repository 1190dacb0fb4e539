// OPOS escape-sequence translation, font choice and the print-mode helpers.
#include <algorithm>

#include "ICmdHelper.h"
#include "OposConstants.h"
#include "PrinterBase.h"

namespace Tesk::Printer {

namespace {

// The font table ends at the first entry without a typeface letter.
int FontTableLength(const std::array<PrinterFont, CPrinterBase::kMaxFonts>& fonts) {
  int count = 0;
  while (count < CPrinterBase::kMaxFonts && fonts[static_cast<size_t>(count)].typeface != 0)
    ++count;
  return count;
}

}  // namespace

int CPrinterBase::SelectFont(LONG lineChars) const {
  const int count = FontTableLength(fonts_);
  if (count == 0) return 0;
  // No line of zero or fewer characters exists: no font is right for it.
  if (lineChars <= 0) return 0xFF;
  const LONG wanted = printWidth_ / lineChars;
  // The widest font that still fits; the first wins a tie. When every font fits this
  // is the widest of all.
  int best = -1;
  for (int i = 0; i < count; ++i) {
    const LONG width = fonts_[static_cast<size_t>(i)].width;
    if (width > wanted) continue;
    if (best < 0 || width > fonts_[static_cast<size_t>(best)].width) best = i;
  }
  return best < 0 ? 0xFF : best;
}

int CPrinterBase::SelectMinFont() const {
  const int count = FontTableLength(fonts_);
  int best = 0;
  for (int i = 1; i < count; ++i) {
    if (fonts_[static_cast<size_t>(i)].width < fonts_[static_cast<size_t>(best)].width) best = i;
  }
  return best;
}

int CPrinterBase::IsItalic(BYTE mode) const {
  return Capability(PIDXPtr_CapRecItalic) ? (mode >> 2) & 1 : 0;
}

}  // namespace Tesk::Printer

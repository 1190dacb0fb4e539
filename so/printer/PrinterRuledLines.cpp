// Ruled lines (horizontal dot-line segments from a position list) and curved text, which
// only a builder with line and curved-text commands turns into printer bytes.
//
// ErrorString after these calls: empty when everything asked for went to the printer; a
// call that succeeds without printing (too many segments, a layout the printer lacks, a
// sideways receipt) says what was left out, so the application can tell.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "ICmdHelper.h"
#include "OposConstants.h"
#include "PrinterBase.h"

namespace Tesk::Printer {

namespace {

constexpr size_t kMaxPositions = 254;

struct PositionList {
  // Room for every value the list may hold; unused ones stay 0 (a missing last value).
  std::array<std::int16_t, kMaxPositions> values{};
  std::int64_t commas = 0;
};

// "start,end,start,end,...": each field read as a decimal number the way atoi reads it
// (blanks and a sign, then digits; 0 when there are none), kept as 16 bits. At most 254
// values are read; commas are counted over the whole text, as they decide the number of
// segments.
PositionList ParsePositions(const PrinterBuffer& text) {
  PositionList list;
  size_t count = 0;
  std::int64_t value = 0;
  enum class Field { Leading, Digits, Ended } field = Field::Leading;
  bool negative = false;
  auto store = [&] {
    if (count < kMaxPositions) {
      const std::int64_t v = negative ? -value : value;
      list.values[count] = static_cast<std::int16_t>(static_cast<std::uint16_t>(v & 0xFFFF));
    }
    ++count;
    value = 0;
    negative = false;
    field = Field::Leading;
  };
  for (std::int32_t i = 0; i < text.Size(); ++i) {
    const BYTE c = *text.Data(i);
    if (c == ',') {
      ++list.commas;
      store();
    } else if (field == Field::Ended) {
      // the rest of the field is ignored
    } else if (c >= '0' && c <= '9') {
      field = Field::Digits;
      // Only the low 16 bits are kept; reducing as it goes keeps the sum from overflowing.
      value = (value * 10 + (c - '0')) % 0x10000;
    } else if (field == Field::Leading && c == ' ') {
      // blanks before the number
    } else if (field == Field::Leading && (c == '-' || c == '+')) {
      negative = c == '-';
      field = Field::Digits;
    } else {
      field = Field::Ended;
    }
  }
  if (count < kMaxPositions) store();  // the last field; an empty one counts as 0
  return list;
}

}  // namespace

// What both methods check once the argument is converted: true when the call ends here
// (its result is then stored). tooLittle: why the data cannot be printed, or nullptr.
bool CPrinterBase::LineOutputEnds(const wchar_t* tooLittle, LONG* result) {
  if (IsBusy()) {
    ReportResult(OPOS_E_BUSY, result);
    return true;
  }
  if (pageMode_ || tooLittle || !Capability(PIDXPtr_CapRecLineAndCurveText)) {
    if (!Capability(PIDXPtr_CapRecLineAndCurveText))
      errorText_ = L"This printer cannot print ruled lines or curved text.";
    else if (pageMode_)
      errorText_ = L"Ruled lines and curved text cannot be printed in page mode.";
    else
      errorText_ = tooLittle;
    ReportResult(OPOS_E_ILLEGAL, result);
    return true;
  }
  if (rotateRight90_ || rotateLeft90_) {
    errorText_ = L"Nothing was printed: ruled lines and curved text are not printed sideways.";
    ReportResult(0, result);
    return true;
  }
  if (!asyncMode_) {
    if (GetLastStatus().coverOpen) {
      ReportResult(OPOS_EPTR_COVER_OPEN, result);
      return true;
    }
    if (GetLastStatus().paperEnd) {
      ReportResult(OPOS_EPTR_REC_EMPTY, result);
      return true;
    }
  }
  return false;
}

PrinterBuffer& CPrinterBase::LineOutputBuffer() {
  if (PrinterBuffer* current = CurrentPrinterBuffer()) return *current;
  sendBuffer_.Clear();
  return sendBuffer_;
}

LONG CPrinterBase::FinishLineOutput(PrinterBuffer& out, LONG* result) {
  return ReportResult(IsDirectSend() ? Send(out, false) : 0, result);
}

LONG CPrinterBase::PrintLine(LONG /*station*/, const std::wstring& positionList, LONG* result) {
  errorText_.clear();
  std::string bytes;
  BStr2Char(positionList, bytes, nullptr);
  lineDataBuffer_.Clear();
  DataBinaryConversion2(lineDataBuffer_, bytes);
  const bool tooShort = lineDataBuffer_.Size() < 3;
  if (LineOutputEnds(tooShort ? L"A position list needs at least 3 characters." : nullptr,
                     result))
    return 0;

  const PositionList list = ParsePositions(lineDataBuffer_);
  const std::int64_t segments = (list.commas + 1) / 2;
  // Any count past what the values hold is as unprintable as one just past the printer's
  // limit; the builder is never asked to read beyond the values.
  const int asked = static_cast<int>(std::min<std::int64_t>(segments, kMaxPositions / 2));
  PrinterBuffer& out = LineOutputBuffer();
  const std::int32_t before = out.Size();
  cmdHelper_->DrawLineSegments(out, list.values.data(), asked);
  if (out.Size() == before) {
    errorText_ = L"Nothing was printed: the printer cannot draw " + std::to_wstring(segments) +
                 L" segments in one line.";
  }
  return FinishLineOutput(out, result);
}

LONG CPrinterBase::PrintCurveText(LONG /*station*/, LONG textNumber, LONG horizontalPosition,
                                  const std::wstring& text, LONG* result) {
  errorText_.clear();
  std::string bytes;
  BStr2Char(text, bytes, nullptr);
  curvedTextBuffer_.Clear();
  DataBinaryConversion2(curvedTextBuffer_, bytes);
  const std::int32_t length = curvedTextBuffer_.Size();
  if (LineOutputEnds(length == 0 ? L"Curved text needs at least one character." : nullptr,
                     result))
    return 0;
  // The printer ends the text at a 00 byte and would take what follows as commands; a
  // text that holds one is refused whole rather than printed in part.
  if (std::memchr(curvedTextBuffer_.Data(), 0, static_cast<size_t>(length))) {
    errorText_ = L"Curved text cannot hold a 00 byte; nothing was printed.";
    return ReportResult(OPOS_E_ILLEGAL, result);
  }

  PrinterBuffer& out = LineOutputBuffer();
  const std::int32_t before = out.Size();
  cmdHelper_->PrintCurvedText(out, static_cast<int>(textNumber),
                              static_cast<int>(horizontalPosition & 0xFFFF),
                              curvedTextBuffer_.Data(), length);
  if (out.Size() == before) {
    errorText_ = L"Nothing was printed: the printer has no curved-text layout " +
                 std::to_wstring(textNumber) + L".";
  }
  return FinishLineOutput(out, result);
}

LONG CPrinterBase::DrawRuledLine(LONG, const std::wstring&, LONG, LONG, LONG, LONG,
                                 LONG* result) {
  return ReportResult(300, result);
}

}  // namespace Tesk::Printer

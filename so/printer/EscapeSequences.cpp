// OPOS escape-sequence translation, font choice and the print-mode helpers.
//
// Print data is text with sequences of the form ESC | [*] [!] [number] [letters] Letter.
// One pass turns it into printer commands: text goes to a line buffer that is flushed
// into the output at each line end, so that a line whose alignment changes half-way
// can be given an absolute position before its second segment.
#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "ICmdHelper.h"
#include "OposConstants.h"
#include "PrinterBase.h"
#include "platform/codepage.h"

namespace Tesk::Printer {

namespace {

constexpr BYTE kEsc = 0x1B;
constexpr BYTE kTab = 0x09;
constexpr BYTE kLineFeed = 0x0A;
constexpr BYTE kFormFeed = 0x0C;

// Numbers in sequences saturate here instead of overflowing.
constexpr LONG kNumberLimit = std::numeric_limits<LONG>::max();
// ESC d feeds at most 255 lines.
constexpr LONG kMaxFeedLines = 255;
// Longer feeds are shortened: 65535 dots are over 4 m of paper, and an unbounded
// feed would let a short sequence expand into megabytes of ESC J commands.
constexpr LONG kMaxFeedDots = 65535;
// Map-mode values beyond this are cut before conversion so the conversion cannot
// overflow; it is still far more than any feed above.
constexpr LONG kMaxFeedUnits = 10'000'000;
constexpr int kMaxBitmapNumber = 20;

// The resets an attribute switched on in a call makes due at its end.
enum ResetFlag : unsigned {
  kResetPrintMode = 1,
  kResetJustification = 2,
  kResetSize = 4,
  kResetReverse = 8,
};

// Bytes that end a run of plain text: the start of a sequence and the control bytes
// the translator gives a meaning.
constexpr std::array<bool, 256> kEndsTextRun = [] {
  std::array<bool, 256> table{};
  table[kEsc] = table[kTab] = table[kLineFeed] = table[kFormFeed] = true;
  return table;
}();

bool IsDigit(BYTE b) { return b >= '0' && b <= '9'; }
bool IsLower(BYTE b) { return b >= 'a' && b <= 'z'; }
bool IsUpper(BYTE b) { return b >= 'A' && b <= 'Z'; }

// PrinterBuffer grows by a fixed step, which makes a long line quadratic; growing
// ahead by doubling keeps appends linear.
void AppendRun(PrinterBuffer& buffer, const BYTE* data, std::int64_t count) {
  if (count <= 0) return;
  const std::int64_t needed = std::int64_t{buffer.Size()} + count + 2;
  if (needed >= buffer.Capacity()) {
    const std::int64_t doubled = std::int64_t{buffer.Capacity()} * 2;
    const std::int64_t target = std::min<std::int64_t>(std::max(needed, doubled),
                                                       std::numeric_limits<std::int32_t>::max());
    buffer.Reserve(static_cast<std::int32_t>(target));
  }
  buffer.AppendBytes(data, static_cast<std::int32_t>(count));
}

void AppendBuffer(PrinterBuffer& target, const PrinterBuffer& source) {
  AppendRun(target, source.Data(), source.Size());
}

// Empties a scratch buffer in time proportional to its contents (Clear zeroes the
// whole capacity, which a long line once made large).
void Empty(PrinterBuffer& buffer) { buffer.Resize(0); }

// The font table ends at the first entry without a typeface letter.
int FontTableLength(const std::array<PrinterFont, CPrinterBase::kMaxFonts>& fonts) {
  int count = 0;
  while (count < CPrinterBase::kMaxFonts && fonts[static_cast<size_t>(count)].typeface != 0)
    ++count;
  return count;
}

// One parsed ESC | sequence; positions index the input.
struct Sequence {
  size_t start = 0;  // the ESC
  size_t end = 0;    // one past the command letter
  bool star = false;
  bool negate = false;
  LONG parameter = 0;   // the number without "*"
  LONG dataLength = 0;  // the number with "*"
  std::string_view letters;
  BYTE command = 0;

  // The number of data bytes for the commands that carry data ("E" and "R").
  LONG DataCount() const { return star ? dataLength : parameter; }
};

}  // namespace

// The state of one FormatStringToOutBuffer call. Nothing survives the call.
class EscapeTranslator {
 public:
  EscapeTranslator(CPrinterBase& engine, PrinterBuffer& out, const PrinterBuffer& input,
                   bool validate)
      : e_(engine),
        cmd_(*engine.cmdHelper_),
        out_(out),
        input_(input),
        validate_(validate),
        line_(engine.lineBuffer_) {}

  LONG Run();

 private:
  enum class Step { kContinue, kStop };

  // Re-read after anything that may call back into the engine.
  void RefreshInput() {
    data_ = input_.Data();
    size_ = static_cast<size_t>(std::max(input_.Size(), 0));
  }
  BYTE At(size_t index) const { return index < size_ ? data_[index] : 0; }

  bool Rotated90() const { return e_.rotateRight90_ || e_.rotateLeft90_; }
  bool PageModeOrRotated90() const { return e_.pageMode_ || Rotated90(); }
  // Lines run along the paper: rotated 90°, or a page printed bottom to top or top to
  // bottom.
  bool Sideways() const {
    const LONG direction = e_.pageModePrintDirection_;
    return Rotated90() || (e_.pageMode_ && (direction == 2 || direction == 4));
  }
  // The printer's own font B when the receipt is set to it; attribute resets keep it.
  int ReceiptFontB() const { return e_.currentFont_ == 1 ? 1 : 0; }

  void StartCell(int fontIndex);
  LONG LineSpacing() const { return e_.GetRecLineSpacing(); }

  void HandleText(size_t& pos);
  void EndLine();
  // Page layout: lines wrapped at the edge of the page area (or sideways page) and
  // dropped past its bottom.
  void SetUpLayout();
  void LayOutText(const BYTE* text, size_t count);
  void OpenLine();
  void PositionLine();
  bool CloseLine(bool wrapped);
  void FinishLayout();
  Step HandleSequence(size_t& pos);
  bool ParseSequence(size_t pos, Sequence& seq);
  Step Reject(const Sequence& seq, size_t copyEnd);
  void Accept() { rejected_ = false; }

  bool Alignment(const Sequence& seq);
  void Align(char letter);
  bool Bitmap(const Sequence& seq);
  bool Character(const Sequence& seq);
  bool Scale(const Sequence& seq, bool horizontal);
  bool Underline(const Sequence& seq);
  bool DirectData(const Sequence& seq, size_t& dataEnd);
  bool Feed(const Sequence& seq);
  bool Logo(const Sequence& seq);
  void Normal(const Sequence& seq);
  bool Cut(const Sequence& seq);
  bool Barcode(const Sequence& seq, size_t& dataEnd);
  bool Typeface(const Sequence& seq);
  void Finish();

  CPrinterBase& e_;
  ICmdHelper& cmd_;
  PrinterBuffer& out_;
  const PrinterBuffer& input_;
  const bool validate_;
  PrinterBuffer& line_;
  const BYTE* data_ = nullptr;
  size_t size_ = 0;

  LONG charHeight_ = 0;
  LONG charWidth_ = 0;
  LONG lineHeight_ = 0;
  LONG widthMultiplier_ = 1, heightMultiplier_ = 1;
  LONG horizontalScale_ = 1, verticalScale_ = 1;
  char alignmentLetter_ = 'l';
  char currentAlignment_ = 'l';
  std::int64_t usedWidth_ = 0;  // 64 bits: megabytes of wide text overflow 32
  bool segmentPending_ = false;
  bool emphasized_ = false;  // switched on by ESC | bC in this call
  LONG underline_ = 0;       // thickness set by ESC | uC in this call
  unsigned resetsDue_ = 0;
  bool rejected_ = false;
  bool unsupported_ = false;
  bool failedValidation_ = false;

  // Page layout state (PrintNormal in page mode or under a quarter turn). Lengths along
  // the line and across it are in the dots of those directions.
  bool layout_ = false;
  LONG areaLength_ = 0;         // along the line: the whole area
  LONG areaDepth_ = 0;          // across the lines: the whole area
  LONG leftPosition_ = 0;       // along the line: where a first line starts from the left
  bool leftInside_ = false;     // PageModeHorizontalPosition lies inside the area
  LONG lineStart_ = 0;          // where the current physical line starts
  LONG lineLimit_ = 0;          // how far it may reach from there
  bool lineOpened_ = false;     // the current physical line has its start and limit
  bool continuation_ = false;   // it continues a wrapped logical line
  bool carriedLine_ = false;    // it was begun by the previous call
  bool areaFull_ = false;       // the rest of the data is dropped
};

// The character cell of a font in dots along each axis: heights are counted in
// vertical dots, which differ from horizontal ones on some models, and a 90° rotation
// swaps the axes.
void EscapeTranslator::StartCell(int fontIndex) {
  const PrinterFont& font = e_.fonts_[static_cast<size_t>(fontIndex)];
  const float ratio = e_.dotSizeV_ > 0 ? e_.dotSizeH_ / e_.dotSizeV_ : 1.0f;
  if (Sideways()) {
    charHeight_ = font.height;
    charWidth_ = static_cast<LONG>(font.width * ratio);
  } else {
    charHeight_ = static_cast<LONG>(font.height * ratio);
    charWidth_ = font.width;
  }
}

LONG EscapeTranslator::Run() {
  RefreshInput();
  Empty(line_);
  Empty(e_.escapeDataBuffer_);
  const int fontCount = FontTableLength(e_.fonts_);
  StartCell(e_.currentFont_ < fontCount ? e_.currentFont_ : 0);
  lineHeight_ = LineSpacing();
  if (e_.pageTextLayout_ && PageModeOrRotated90() && !validate_) SetUpLayout();

  size_t pos = 0;
  while (pos < size_ && !areaFull_) {
    if (data_[pos] == kEsc && pos + 1 < size_ && data_[pos + 1] == '|') {
      if (HandleSequence(pos) == Step::kStop) return OPOS_E_FAILURE;
    } else {
      HandleText(pos);
      if (failedValidation_) return OPOS_E_FAILURE;
    }
  }
  Finish();
  if (rejected_) return OPOS_E_FAILURE;
  return unsupported_ ? OPOS_E_ILLEGAL : 0;
}

// One text byte, or a run of plain ones at once.
void EscapeTranslator::HandleText(size_t& pos) {
  const BYTE b = data_[pos];
  if (b == kFormFeed) {
    ++pos;
    if (PageModeOrRotated90()) {
      cmd_.PrintAndFeedDots(line_, 0);
      // A page feed cannot be checked here: it depends on the page layout.
      if (validate_) unsupported_ = true;
    } else {
      // A form feed has no meaning on a receipt.
      rejected_ = true;
      if (validate_) failedValidation_ = true;
    }
    return;
  }
  if (b == kTab) {
    ++pos;
    return;
  }
  if (b == kLineFeed) {
    ++pos;
    if (PageModeOrRotated90()) {
      cmd_.PrintAndFeedDots(line_, LineSpacing());
    } else {
      line_.Append(kLineFeed);
    }
    EndLine();
    usedWidth_ = 0;
    return;
  }

  // Plain text up to the next byte with a meaning; an ESC without its bar is text.
  size_t end = pos + 1;
  while (end < size_ && !kEndsTextRun[data_[end]]) ++end;
  const std::int64_t count = static_cast<std::int64_t>(end - pos);
  if (layout_) {
    LayOutText(data_ + pos, end - pos);
    pos = end;
    return;
  }
  const LONG cellHeight = heightMultiplier_ * charHeight_;
  if (lineHeight_ < cellHeight) lineHeight_ = cellHeight;
  AppendRun(line_, data_ + pos, count);
  usedWidth_ += count * widthMultiplier_ * charWidth_;
  pos = end;
}

void EscapeTranslator::SetUpLayout() {
  layout_ = true;
  if (e_.pageMode_) {
    const bool sideways = Sideways();
    const LONG width = e_.pageModePrintWidth_, height = e_.H2V(e_.pageModePrintHeight_);
    areaLength_ = sideways ? height : width;
    areaDepth_ = sideways ? width : height;
    const LONG left = sideways ? e_.H2V(e_.pageModeHorizontalPosition_) : e_.pageModeHorizontalPosition_;
    const LONG top = sideways ? e_.pageModeVerticalPosition_ : e_.H2V(e_.pageModeVerticalPosition_);
    leftInside_ = left >= 0 && left < areaLength_;
    leftPosition_ = leftInside_ ? left : 0;
    e_.pageCurrentY_ = (top >= 0 && top < areaDepth_) ? top : 0;
    // Each call starts at the page position it is given.
    e_.partialLine_ = 0;
  } else {
    // The sideways page: as long as the printer's page less the margin, as deep as the
    // paper is wide; its lines add up over the calls.
    areaLength_ = std::max<LONG>(e_.H2V(e_.pageAreaHeight_) - e_.rotationOffset_, 0);
    areaDepth_ = e_.printWidth_;
    e_.pageCurrentY_ = e_.rotatedTextLength_;
  }
  carriedLine_ = e_.partialLine_ != 0;
  if (carriedLine_) {
    lineOpened_ = true;
    lineStart_ = 0;
    lineLimit_ = areaLength_;
    usedWidth_ = e_.carriedX_;
  }
}

// The start and limit of a physical line are fixed by its first character, so that an
// alignment given before it counts.
void EscapeTranslator::OpenLine() {
  const bool fromLeft = !continuation_ && alignmentLetter_ == 'l';
  lineStart_ = fromLeft ? leftPosition_ : 0;
  lineLimit_ = areaLength_ - lineStart_;
  lineOpened_ = true;
}

void EscapeTranslator::LayOutText(const BYTE* text, size_t count) {
  size_t i = 0;
  while (i < count && !areaFull_) {
    if (!lineOpened_) OpenLine();
    const LONG cell = widthMultiplier_ * charWidth_;
    // The characters that still fit; one wider than a whole line goes on a line alone.
    const std::int64_t room = std::max<std::int64_t>(lineLimit_ - usedWidth_, 0);
    size_t fit = cell > 0 ? static_cast<size_t>(std::min<std::int64_t>(room / cell, count)) : count;
    if (fit == 0 && usedWidth_ == 0) fit = 1;
    const size_t take = std::min(fit, count - i);
    if (take > 0) {
      const LONG cellHeight = heightMultiplier_ * charHeight_;
      if (lineHeight_ < cellHeight) lineHeight_ = cellHeight;
      AppendRun(line_, text + i, static_cast<std::int64_t>(take));
      usedWidth_ += static_cast<std::int64_t>(take) * cell;
      i += take;
    }
    if (i < count) {
      // The next character would pass the edge: it opens the continuation line.
      if (!CloseLine(true)) return;
      continuation_ = true;
    }
  }
}

// Room above a tall line, then its position along the line. A line begun by the
// previous call was placed there.
void EscapeTranslator::PositionLine() {
  if (carriedLine_) return;
  const LONG spacing = LineSpacing();
  if (lineHeight_ > spacing) cmd_.FeedDots(out_, static_cast<int>(lineHeight_ - spacing));
  if (usedWidth_ <= 0) return;
  const LONG width = static_cast<LONG>(std::min<std::int64_t>(usedWidth_, kNumberLimit));
  const LONG left = (!continuation_ && leftInside_) ? e_.pageModeHorizontalPosition_ : 0;
  e_.SelectHPos(out_, alignmentLetter_, width, left);
}

bool EscapeTranslator::CloseLine(bool wrapped) {
  if (std::int64_t{e_.pageCurrentY_} + lineHeight_ > areaDepth_) {
    // Past the bottom of the area: this line and everything after it are dropped.
    areaFull_ = true;
    Empty(line_);
    return false;
  }
  e_.pageCurrentY_ += lineHeight_;
  PositionLine();
  const std::int64_t reached = lineStart_ + usedWidth_;
  e_.widestLine_ = static_cast<LONG>(std::max<std::int64_t>(e_.widestLine_, std::min<std::int64_t>(reached, kNumberLimit)));
  AppendBuffer(out_, line_);
  Empty(line_);
  if (wrapped) cmd_.PrintAndFeedDots(out_, static_cast<int>(LineSpacing()));
  if (!e_.pageMode_) e_.rotatedTextLength_ = e_.pageCurrentY_;
  lineHeight_ = LineSpacing();
  usedWidth_ = 0;
  lineOpened_ = false;
  carriedLine_ = false;
  return true;
}

// The data ended inside a line: it is printed when it still fits, and a sideways line
// goes on in the next call.
void EscapeTranslator::FinishLayout() {
  e_.partialLine_ = 0;
  if (areaFull_ || line_.IsEmpty()) {
    Empty(line_);
    return;
  }
  if (std::int64_t{e_.pageCurrentY_} + lineHeight_ > areaDepth_) {
    Empty(line_);
    return;
  }
  PositionLine();
  const std::int64_t reached = lineStart_ + usedWidth_;
  e_.widestLine_ = static_cast<LONG>(std::max<std::int64_t>(e_.widestLine_, std::min<std::int64_t>(reached, kNumberLimit)));
  AppendBuffer(out_, line_);
  Empty(line_);
  if (!e_.pageMode_ && usedWidth_ > 0) {
    e_.partialLine_ = 1;
    e_.carriedX_ = static_cast<LONG>(std::min<std::int64_t>(reached, kNumberLimit));
  }
}

void EscapeTranslator::EndLine() {
  if (layout_) {
    // A line feed ends the logical line; the next one starts from the left position.
    if (CloseLine(false)) continuation_ = false;
    return;
  }
  if (!PageModeOrRotated90() && segmentPending_ && usedWidth_ > 0) {
    e_.SelectHPosInStd(out_, alignmentLetter_,
                       static_cast<LONG>(std::min<std::int64_t>(usedWidth_, kNumberLimit)));
  }
  AppendBuffer(out_, line_);
  Empty(line_);
}

void EscapeTranslator::Finish() {
  if (layout_) FinishLayout();
  else if (!line_.IsEmpty()) EndLine();
  if (resetsDue_ & kResetPrintMode) e_.SelectPrintMode(out_, 0, 0, 0, 0, 0, ReceiptFontB());
  if ((resetsDue_ & kResetJustification) && !PageModeOrRotated90())
    cmd_.SetJustification(out_, 0);
  if (resetsDue_ & kResetSize) cmd_.SetCharacterSize(out_, 1, 1);
  if (resetsDue_ & kResetReverse) cmd_.SetReverse(out_, 0);
}

bool EscapeTranslator::ParseSequence(size_t pos, Sequence& seq) {
  seq = Sequence{};
  seq.start = pos;
  size_t p = pos + 2;
  if (At(p) == '*') {
    seq.star = true;
    ++p;
  }
  if (At(p) == '!') {
    seq.negate = true;
    ++p;
  }
  // Digits and dots; the value is the leading integer, so 2.5 reads as 2.
  LONG value = 0;
  bool integerPart = true;
  while (IsDigit(At(p)) || At(p) == '.') {
    const BYTE b = At(p++);
    if (b == '.') {
      integerPart = false;
    } else if (integerPart) {
      const LONG digit = b - '0';
      value = value > (kNumberLimit - digit) / 10 ? kNumberLimit : value * 10 + digit;
    }
  }
  (seq.star ? seq.dataLength : seq.parameter) = value;
  const size_t lettersStart = p;
  while (IsLower(At(p))) ++p;
  seq.letters = std::string_view(reinterpret_cast<const char*>(data_) + lettersStart,
                                 p - lettersStart);
  seq.command = At(p);
  seq.end = p + 1;
  return IsUpper(seq.command);
}

EscapeTranslator::Step EscapeTranslator::Reject(const Sequence& seq, size_t copyEnd) {
  rejected_ = true;
  if (validate_) return Step::kStop;
  copyEnd = std::min(copyEnd, size_);
  AppendRun(line_, data_ + seq.start, static_cast<std::int64_t>(copyEnd - seq.start));
  return Step::kContinue;
}

EscapeTranslator::Step EscapeTranslator::HandleSequence(size_t& pos) {
  Sequence seq;
  if (!ParseSequence(pos, seq)) {
    // No command letter: the bytes read so far print as they are and scanning goes
    // on at the byte that broke the sequence.
    const size_t resume = seq.end - 1;
    const Step step = Reject(seq, resume);
    pos = std::min(resume, size_);
    return step;
  }

  size_t next = seq.end;
  bool accepted = false;
  switch (seq.command) {
    case 'A': accepted = Alignment(seq); break;
    case 'B': accepted = Bitmap(seq); break;
    case 'C': accepted = Character(seq); break;
    case 'E': accepted = DirectData(seq, next); break;
    case 'F': accepted = Feed(seq); break;
    case 'L': accepted = Logo(seq); break;
    case 'N':
      Normal(seq);
      accepted = true;
      break;
    case 'P': accepted = Cut(seq); break;
    case 'R': accepted = Barcode(seq, next); break;
    case 'T': accepted = Typeface(seq); break;
    default: break;
  }
  if (!accepted) {
    const Step step = Reject(seq, next);
    pos = std::min(next, size_);
    return step;
  }
  Accept();
  pos = std::min(next, size_);
  return Step::kContinue;
}

bool EscapeTranslator::Alignment(const Sequence& seq) {
  if (seq.letters.size() != 1) return false;
  const char letter = seq.letters[0];
  if (e_.pageMode_) {
    // Page-mode lines are positioned when they are laid out.
    alignmentLetter_ = letter;
    return true;
  }
  if (letter != 'c' && letter != 'l' && letter != 'r') return false;
  if (layout_) {
    alignmentLetter_ = letter;  // sideways lines too
    return true;
  }
  Align(letter);
  return true;
}

void EscapeTranslator::Align(char letter) {
  if (letter == currentAlignment_) return;
  if (usedWidth_ == 0) {
    // Nothing printed on this segment yet: the printer can justify the line itself.
    cmd_.SetJustification(line_, letter == 'c' ? 1 : letter == 'r' ? 2 : 0);
    resetsDue_ |= kResetJustification;
  } else {
    // The line splits: the first segment goes out as it is, the next one is placed
    // by an absolute position when its width is known.
    if (segmentPending_) {
      e_.SelectHPosInStd(out_, currentAlignment_,
                         static_cast<LONG>(std::min<std::int64_t>(usedWidth_, kNumberLimit)));
    }
    AppendBuffer(out_, line_);
    Empty(line_);
    segmentPending_ = true;
    usedWidth_ = 0;
  }
  currentAlignment_ = alignmentLetter_ = letter;
}

bool EscapeTranslator::Bitmap(const Sequence& seq) {
  const LONG number = seq.parameter;
  if (seq.negate || seq.star || number < 1 || number > kMaxBitmapNumber) return false;
  if (!e_.IsBitmapSet(number)) return false;
  if (!validate_) {
    e_.FormatSettedBitmap(line_, number);
    RefreshInput();
  }
  return true;
}

bool EscapeTranslator::Character(const Sequence& seq) {
  const std::string_view letters = seq.letters;
  if (letters.empty()) {
    // Sizes 1..8 of the OPOS standard: 2 double width, 3 double height, 4 both.
    const LONG n = seq.parameter;
    const int width = (n == 2 || n >= 4) ? 2 : 1;
    const int height = n >= 3 ? 2 : 1;
    cmd_.SetCharacterSize(line_, width, height);
    widthMultiplier_ = (n == 2 || n == 4) ? 2 : 1;
    heightMultiplier_ = height;
    resetsDue_ |= kResetSize;
    return true;
  }
  if (letters == "rv") {
    cmd_.SetReverse(line_, seq.negate ? 0 : 1);
    if (!seq.negate) resetsDue_ |= kResetReverse;
    return true;
  }
  if (letters == "b") {
    cmd_.SetEmphasized(line_, seq.negate ? 0 : 1);
    emphasized_ = !seq.negate;
    if (!seq.negate) resetsDue_ |= kResetPrintMode;
    return true;
  }
  if (letters == "h") return Scale(seq, true);
  if (letters == "v") return Scale(seq, false);
  if (letters == "u") return Underline(seq);
  if (letters == "i") return true;  // no italic on these printers; accepted as OPOS asks
  return false;
}

bool EscapeTranslator::Scale(const Sequence& seq, bool horizontal) {
  const LONG scale = seq.negate ? 1 : seq.parameter;
  LONG& changed = horizontal ? horizontalScale_ : verticalScale_;
  changed = scale;
  if (!cmd_.SetCharacterSize(line_, horizontalScale_, verticalScale_)) {
    // The printer scales 1..8 times: 0 and larger values are printed at the nearest.
    cmd_.SetCharacterSizeClamped(line_, horizontalScale_, verticalScale_);
    unsupported_ = true;
    changed = std::clamp<LONG>(changed, 1, 8);
  }
  // The multipliers follow the size actually printed, so positions stay right.
  widthMultiplier_ = horizontalScale_;
  heightMultiplier_ = verticalScale_;
  resetsDue_ |= kResetSize;
  return true;
}

bool EscapeTranslator::Underline(const Sequence& seq) {
  const LONG thickness = seq.negate ? 0 : (seq.parameter == 0 ? 1 : seq.parameter);
  // The builder tests only the low byte, so 256 would pass as 0: check here.
  underline_ = thickness;
  if (thickness > 2 || !cmd_.SetUnderline(line_, thickness)) {
    constexpr int kDefaultUnderlineThickness = 1;
    cmd_.SetUnderline(line_, kDefaultUnderlineThickness);
    underline_ = kDefaultUnderlineThickness;
    unsupported_ = true;
  }
  resetsDue_ |= kResetPrintMode;
  return true;
}

// ESC | #E: the data goes to the printer as DirectIO 100 would send it, not printed.
bool EscapeTranslator::DirectData(const Sequence& seq, size_t& dataEnd) {
  const LONG count = seq.DataCount();
  if (count < 1) return false;
  const size_t available = size_ - std::min(seq.end, size_);
  const size_t taken = std::min(static_cast<size_t>(count), available);
  dataEnd = seq.end + taken;
  // A dry run sends nothing, so it does not pass the data on either.
  if (validate_) return true;
  const BYTE* first = data_ + std::min(seq.end, size_);
  size_t length = 0;
  while (length < taken && first[length] != 0) ++length;
  std::wstring text = platform::CodePageToWide(
      std::string_view(reinterpret_cast<const char*>(first), length), CP_ACP);
  LONG value = seq.star ? 0 : seq.parameter;
  LONG ignored = 0;
  e_.DirectIO(100, &value, text, &ignored);
  RefreshInput();
  dataEnd = std::min(dataEnd, size_);
  return true;
}

bool EscapeTranslator::Feed(const Sequence& seq) {
  const LONG n = seq.parameter;
  if (n < 1) return false;
  if (seq.letters == "l") {
    if (n > kMaxFeedLines) unsupported_ = true;
    cmd_.PrintAndFeedLines(line_, std::min(n, kMaxFeedLines));
    return true;
  }
  if (seq.letters == "u") {
    const LONG units = std::min(n, kMaxFeedUnits);
    LONG dots = Sideways() ? e_.MapNumber2DOT_H(units) : e_.MapNumber2DOT_V(units);
    if (n > kMaxFeedUnits || dots > kMaxFeedDots) {
      unsupported_ = true;
      dots = std::min(dots, kMaxFeedDots);
    }
    cmd_.FeedDots(line_, std::max<LONG>(dots, 0));
    return true;
  }
  return false;
}

bool EscapeTranslator::Logo(const Sequence& seq) {
  if (seq.letters == "t") {
    AppendBuffer(line_, e_.topLogoBuffer_);
    return true;
  }
  if (seq.letters == "b") {
    AppendBuffer(line_, e_.bottomLogoBuffer_);
    return true;
  }
  return false;
}

// ESC | N: back to normal characters. Anything between the bar and the N makes it a
// sequence that is accepted and does nothing.
void EscapeTranslator::Normal(const Sequence& seq) {
  if (seq.end != seq.start + 3) return;
  const int fontCount = FontTableLength(e_.fonts_);
  StartCell(e_.currentFont_ < fontCount ? e_.currentFont_ : 0);
  cmd_.SetPrintMode(line_, ReceiptFontB(), 0, 0, 0, 0);
  cmd_.SetJustification(line_, 0);
  currentAlignment_ = 'N';
  widthMultiplier_ = heightMultiplier_ = 1;
  resetsDue_ &= ~kResetPrintMode;
  emphasized_ = false;
  underline_ = 0;
}

bool EscapeTranslator::Cut(const Sequence& seq) {
  const LONG percentage = seq.parameter;
  if (seq.negate || seq.star || percentage > 100) return false;
  if (!e_.Capability(PIDXPtr_CapRecPapercut)) return false;
  if (seq.letters.size() > 1) return false;
  // A cut of 0 % is no cut; the printer can only cut partially or fully.
  if (percentage == 0 && validate_) unsupported_ = true;
  if (seq.letters.size() == 1) {
    // ESC | fP feeds the paper to the cutter first (distance in 1/100 mm).
    const float dotsPerHundredth = e_.dotSizeV_ * 100.0f;
    if (dotsPerHundredth > 0) {
      cmd_.FeedDots(line_, static_cast<int>(e_.cutDistance_ / dotsPerHundredth));
    }
  }
  if (percentage < 100) {
    cmd_.FeedAndPartialCut(line_);
  } else {
    cmd_.FeedAndFullCut(line_);
  }
  return true;
}

// ESC | #R data: "s" symbology "h" height "w" width "a" alignment "t" text position
// "d" barcode data, with "e" as the last of the # bytes.
bool EscapeTranslator::Barcode(const Sequence& seq, size_t& dataEnd) {
  const LONG count = seq.DataCount();
  if (count < 1) return false;
  const size_t begin = std::min(seq.end, size_);
  const size_t available = size_ - begin;
  dataEnd = begin + std::min(static_cast<size_t>(count), available);
  if (static_cast<size_t>(count) > available) return false;
  const BYTE* field = data_ + begin;
  const size_t length = static_cast<size_t>(count);
  if (field[length - 1] != 'e') return false;

  size_t p = 0;
  // A tag letter, an optional sign and at least one digit. The sign is one character;
  // a digit in its place starts the number, so "a12" reads as 12.
  auto readNumber = [&](char tag, bool signedValue, LONG& result) {
    if (p >= length - 1 || field[p] != tag) return false;
    ++p;
    bool negative = false;
    if (signedValue && p < length - 1 && !IsDigit(field[p])) {
      negative = field[p] == '-';
      ++p;
    }
    LONG value = 0;
    const size_t digitsStart = p;
    while (p < length - 1 && IsDigit(field[p])) {
      const LONG digit = field[p++] - '0';
      value = value > (kNumberLimit - digit) / 10 ? kNumberLimit : value * 10 + digit;
    }
    if (p == digitsStart) return false;
    result = negative ? -value : value;
    return true;
  };
  LONG symbology = 0, height = 0, width = 0, alignment = 0, textPosition = 0;
  if (!readNumber('s', false, symbology) || !readNumber('h', false, height) ||
      !readNumber('w', false, width) || !readNumber('a', true, alignment) ||
      !readNumber('t', true, textPosition)) {
    return false;
  }
  if (p >= length - 1 || field[p] != 'd') return false;
  ++p;

  PrinterBuffer& barcodeData = e_.escapeDataBuffer_;
  Empty(barcodeData);
  AppendRun(barcodeData, field + p, static_cast<std::int64_t>(length - 1 - p));
  e_.FormatBarcode(line_, barcodeData, symbology, height, width, alignment, textPosition);
  RefreshInput();
  dataEnd = std::min(dataEnd, size_);
  return true;
}

// ESC | #fT: typeface # (0 the default font) for the text that follows.
bool EscapeTranslator::Typeface(const Sequence& seq) {
  if (seq.letters.size() != 1) return false;
  const LONG number = seq.parameter;
  const int fontCount = std::min(e_.fontCount_, FontTableLength(e_.fonts_));
  if (number < 0 || number > fontCount) return false;
  int index = number == 0 ? e_.defaultFont_ : static_cast<int>(number - 1);
  if (index < 0 || index >= fontCount) index = 0;
  StartCell(index);
  // The font is selected here rather than before the next text, so that the font
  // printed always matches the cell the line is measured with, whatever sequences
  // come between. ESC ! also sets emphasis and underline: keep those of this call.
  const int fontB = index == 1 ? 1 : 0;
  cmd_.SetPrintMode(line_, fontB, emphasized_ ? 1 : 0, 0, 0, 0);
  if (underline_ > 0) cmd_.SetUnderline(line_, underline_);
  if (fontB != ReceiptFontB()) resetsDue_ |= kResetPrintMode;
  return true;
}

LONG CPrinterBase::FormatStringToOutBuffer(PrinterBuffer& out, const PrinterBuffer& input,
                                           int validate) {
  // The translator works in the line buffer; it cannot also be the input or output.
  if (!cmdHelper_ || &out == &lineBuffer_ || &input == &lineBuffer_ || &input == &out)
    return OPOS_E_FAILURE;
  EscapeTranslator translator(*this, out, input, validate != 0);
  return translator.Run();
}

void CPrinterBase::SelectPrintMode(PrinterBuffer& out, int emphasized, int /*unused*/,
                                   int doubleWidth, int doubleHeight, int underline,
                                   int fontB) {
  if (!cmdHelper_) return;
  printMode_ = static_cast<BYTE>(
      cmdHelper_->SetPrintMode(out, fontB, emphasized, doubleWidth, doubleHeight, underline));
}

void CPrinterBase::ClearFormatInStd(PrinterBuffer& out) {
  if (!cmdHelper_) return;
  cmdHelper_->SetJustification(out, 0);
  cmdHelper_->SetLeftMargin(out, 0);
  // All attributes off, but on the receipt's own font.
  cmdHelper_->SetPrintMode(out, currentFont_ == 1 ? 1 : 0, 0, 0, 0, 0);
}

void CPrinterBase::SelectHPosInStd(PrinterBuffer& out, char letter, LONG width) {
  if (!cmdHelper_) return;
  // ESC $ counts from the left of the print area, which GS W may have narrowed to
  // RecLineWidth (set_printerSettings sends it clamped the same way).
  const LONG area = std::min(recLineWidth_, printWidth_);
  switch (letter) {
    case 'r':
      if (width < area) cmdHelper_->SetAbsolutePosition(out, area - width);
      break;
    case 'c':
      if (width < area) cmdHelper_->SetAbsolutePosition(out, (area - width) / 2);
      break;
    case 'l':
      cmdHelper_->SetAbsolutePosition(out, 0);
      break;
    default:
      break;
  }
}

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

// The OPOS property table: what each index answers, what a set accepts and what it
// changes besides. Values are kept in printer dots and converted at the boundary.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "OposConstants.h"
#include "PrinterBase.h"
#include "platform/codepage.h"

namespace Tesk::Printer {
namespace {

// A leading-integer parse like atoi, without its undefined behaviour on overflow.
LONG LeadingInteger(const char* text) {
  const long long parsed = std::strtoll(text, nullptr, 10);
  return static_cast<LONG>(std::clamp<long long>(parsed, INT32_MIN, INT32_MAX));
}

std::wstring FormatPair(LONG a, LONG b) {
  wchar_t text[32];
  std::swprintf(text, 32, L"%d,%d", a, b);
  return text;
}

std::wstring FormatQuad(LONG a, LONG b, LONG c, LONG d) {
  wchar_t text[64];
  std::swprintf(text, 64, L"%d,%d,%d,%d", a, b, c, d);
  return text;
}

bool IsJournalIndex(LONG index) {
  return (index >= PIDXPtr_JrnEmpty && index <= PIDXPtr_JrnNearEnd) ||
         (index >= PIDXPtr_CapConcurrentJrnRec && index <= PIDXPtr_CapConcurrentRecSlp);
}

// Longer texts are refused before parsing; the stored text keeps at most 50 characters.
constexpr size_t kPrintAreaMinLength = 7, kPrintAreaMaxLength = 30, kPrintAreaStored = 50;

}  // namespace

LONG CPrinterBase::GetPropertyNumber(LONG index, LONG* value) {
  if (!value) return 0;
  const bool receiptPage = pageModeStation_ == PTR_S_RECEIPT;
  if (IsJournalIndex(index)) {
    // No journal: the caller's value stands and only the engine's result says so.
    SetRC(300);
    return 0;
  }
  if (index >= kFirstCapabilityIndex && index <= kLastCapabilityIndex) {
    *value = Capability(index);
    return 0;
  }
  if (index >= PIDXPtr_SlpEmpty && index <= PIDXPtr_SlpSidewaysMaxLines) {
    *value = slipValues_[static_cast<size_t>(index - PIDXPtr_SlpEmpty)];
    return 0;
  }
  switch (index) {
    case PIDX_OutputID: *value = lastOutputId_; break;
    case PIDX_BinaryConversion: *value = binaryConversion_; break;
    case PIDXPtr_AsyncMode: *value = asyncMode_; break;
    case PIDXPtr_CharacterSet: *value = characterSet_; break;
    // The status fields hold the printer's masked bits; the properties are booleans.
    case PIDXPtr_CoverOpen: *value = GetLastStatus().coverOpen ? 1 : 0; break;
    case PIDXPtr_MapMode: *value = mapMode_; break;
    case PIDXPtr_RecEmpty: *value = GetLastStatus().paperEnd ? 1 : 0; break;
    case PIDXPtr_RecLetterQuality: *value = recLetterQuality_; break;
    case PIDXPtr_RecLineChars: *value = recLineChars_; break;
    // Heights and spacings convert with the horizontal pitch, as widths do. Lengths read
    // back are values that set again give the same dots.
    case PIDXPtr_RecLineHeight: *value = MapNumberOfDots_H(recLineHeight_); break;
    case PIDXPtr_RecLineSpacing: *value = MapNumberOfDots_H(recLineSpacing_); break;
    case PIDXPtr_RecLinesToPaperCut: *value = recLinesToPaperCut_; break;
    case PIDXPtr_RecLineWidth: *value = MapNumberOfDots_H(recLineWidth_); break;
    case PIDXPtr_RecNearEnd: *value = GetLastStatus().nearEnd ? 1 : 0; break;
    case PIDXPtr_RecSidewaysMaxChars: *value = recSidewaysMaxChars_; break;
    case PIDXPtr_RecSidewaysMaxLines: *value = recSidewaysMaxLines_; break;
    case PIDXPtr_ErrorLevel: *value = errorLevel_; break;
    case PIDXPtr_RotateSpecial: *value = rotateSpecial_; break;
    case PIDXPtr_CartridgeNotify: *value = cartridgeNotify_; break;
    case PIDXPtr_JrnCartridgeState: *value = jrnCartridgeState_; break;
    case PIDXPtr_JrnCurrentCartridge: *value = jrnCurrentCartridge_; break;
    case PIDXPtr_RecCartridgeState: *value = recCartridgeState_; break;
    case PIDXPtr_RecCurrentCartridge: *value = recCurrentCartridge_; break;
    case PIDXPtr_SlpPrintSide: *value = slpPrintSide_; break;
    case PIDXPtr_SlpCartridgeState: *value = slpCartridgeState_; break;
    case PIDXPtr_SlpCurrentCartridge: *value = slpCurrentCartridge_; break;
    case PIDXPtr_MapCharacterSet: *value = mapCharacterSet_; break;
    case PIDXPtr_PageModeDescriptor: *value = receiptPage ? pageModeDescriptor_ : 0; break;
    case PIDXPtr_PageModeHorizontalPosition:
      *value = receiptPage ? MapNumberOfDots_H(pageModeHorizontalPosition_) : 0;
      break;
    case PIDXPtr_PageModeVerticalPosition:
      *value = receiptPage ? MapNumberOfDots_H(pageModeVerticalPosition_) : 0;
      break;
    case PIDXPtr_PageModePrintDirection: *value = pageModePrintDirection_; break;
    case PIDXPtr_PageModeStation: *value = pageModeStation_; break;
    default: break;  // not answered here: the caller's value stands
  }
  return 0;
}

LONG CPrinterBase::SetPropertyNumber(LONG index, LONG value, LONG* result) {
  LONG ignored = 0;
  if (!result) result = &ignored;
  if (!opened_) {
    *result = OPOS_E_CLOSED;
    return 0;
  }
  *result = OPOS_SUCCESS;
  auto refuse = [&](LONG code) { *result = SetRC(code); };

  switch (index) {
    case PIDX_DeviceEnabled: DeviceEnable(value); break;
    case PIDX_BinaryConversion: binaryConversion_ = value; break;
    case PIDXPtr_AsyncMode:
      // The packet-framed printer always prints synchronously.
      if (!packetFraming_) asyncMode_ = value ? 1 : 0;
      break;
    case PIDXPtr_CharacterSet:
      // A page text cannot be converted to (Unicode 997, the user table 255) would
      // print nothing at all: refused here instead.
      if (!IsInCharacterSetList(value) || !IsValidCodePage(PrintCodePages(value).conversion)) {
        refuse(OPOS_E_ILLEGAL);
        break;
      }
      characterSet_ = value;
      characterSetChanged_ = 1;
      break;
    case PIDXPtr_FlagWhenIdle:
      // The COM layer keeps FlagWhenIdle; it only asks whether the engine objects.
      break;
    case PIDXPtr_MapMode:
      if (value < PTR_MM_DOTS || value > PTR_MM_METRIC) {
        refuse(OPOS_E_ILLEGAL);
        break;
      }
      if (value != mapMode_) {
        mapMode_ = value;
        RewritePageAreaTexts();
      }
      break;
    case PIDXPtr_RecLetterQuality:
      if (value != recLetterQuality_) letterQualityChanged_ = 1;
      recLetterQuality_ = value;
      break;
    case PIDXPtr_RecLineChars: {
      const int fontBefore = currentFont_;
      const LONG widthBefore = recLineWidth_;
      const LONG code = SetRecLineChars(value);
      if (currentFont_ != fontBefore) {
        fontChanged_ = lineSpacingChanged_ = lineWidthChanged_ = 1;
      } else if (recLineWidth_ != widthBefore) {
        lineWidthChanged_ = 1;
      }
      if (code != 0) refuse(code);
      break;
    }
    case PIDXPtr_RecLineHeight: {
      const LONG dots = MapNumber2DOT_H(value);
      if (dots < 0) {
        refuse(OPOS_E_ILLEGAL);
        break;
      }
      recLineHeight_ = dots;
      break;
    }
    case PIDXPtr_RecLineSpacing: {
      // The printer's line spacing is one byte of vertical dots.
      const LONG dots = MapNumber2DOT_H(value);
      if (dots < 0 || H2V(dots) > 255) {
        refuse(OPOS_E_ILLEGAL);
        break;
      }
      recLineSpacing_ = dots;
      lineSpacingChanged_ = 1;
      break;
    }
    case PIDXPtr_SlpLetterQuality:
      slipValues_[PIDXPtr_SlpLetterQuality - PIDXPtr_SlpEmpty] = value;
      break;
    case PIDXPtr_RecCurrentCartridge: recCurrentCartridge_ = value; break;
    case PIDXPtr_RotateSpecial: {
      const LONG code = CheckRotation(value);
      if (code != 0) {
        refuse(code);
        break;
      }
      rotateSpecial_ = SetRotation(value);
      break;
    }
    case PIDXPtr_PageModeHorizontalPosition:
      if (pageModeStation_ == PTR_S_RECEIPT) pageModeHorizontalPosition_ = MapNumber2DOT_H(value);
      break;
    case PIDXPtr_PageModeVerticalPosition:
      if (pageModeStation_ == PTR_S_RECEIPT) pageModeVerticalPosition_ = MapNumber2DOT_H(value);
      break;
    case PIDXPtr_PageModePrintDirection: {
      const LONG code = SetPageModePrintDirection(value);
      if (code != 0) refuse(code);
      break;
    }
    case PIDXPtr_PageModeStation:
      if (value != PTR_S_RECEIPT) {
        refuse(301);
        break;
      }
      pageModeStation_ = value;
      break;
    case PIDXPtr_JrnLetterQuality:
    case PIDXPtr_JrnLineChars:
    case PIDXPtr_JrnLineHeight:
    case PIDXPtr_JrnLineSpacing:
    case PIDXPtr_CartridgeNotify:
    case PIDXPtr_JrnCurrentCartridge:
      refuse(300);
      break;
    default:
      *result = OPOS_E_ILLEGAL;
      break;
  }
  return 0;
}

LONG CPrinterBase::GetPropertyString(LONG index, BSTR* value) {
  if (!value) return 0;
  const wchar_t* text = nullptr;
  switch (index) {
    case PIDX_CheckHealthText: text = checkHealthText_.c_str(); break;
    case PIDX_DeviceDescription: text = deviceDescription_.c_str(); break;
    case PIDX_DeviceName: text = modelName_.c_str(); break;
    case PIDXPtr_CharacterSetList: text = characterSetList_.c_str(); break;
    case PIDXPtr_RecLineCharsList: text = recLineCharsList_.c_str(); break;
    case PIDXPtr_ErrorString: text = errorText_.c_str(); break;
    case PIDXPtr_FontTypefaceList: text = fontTypefaceList_.c_str(); break;
    case PIDXPtr_RecBarCodeRotationList: text = recBarCodeRotationList_.c_str(); break;
    case PIDXPtr_RecBitmapRotationList: text = recBitmapRotationList_.c_str(); break;
    case PIDXPtr_PageModeArea: text = pageModeArea_.c_str(); break;
    case PIDXPtr_PageModePrintArea:
      text = pageModeStation_ == PTR_S_RECEIPT ? pageModePrintArea_.c_str() : L"";
      break;
    case PIDXPtr_JrnLineCharsList:
    case PIDXPtr_SlpLineCharsList:
    case PIDXPtr_SlpBarCodeRotationList:
    case PIDXPtr_SlpBitmapRotationList:
      text = L"";
      break;
    default: return 0;  // not answered here: the caller's value stands
  }
  *value = SysAllocString(text);
  return 0;
}

LONG CPrinterBase::SetPropertyString(LONG index, const std::wstring& value, LONG* result) {
  if (index != PIDXPtr_PageModePrintArea) return 0;  // every other string is read-only
  LONG ignored = 0;
  if (!result) result = &ignored;
  if (!opened_) {
    *result = OPOS_E_CLOSED;
    return 0;
  }
  *result = SetRC(301);
  if (value.size() < kPrintAreaMinLength || value.size() > kPrintAreaMaxLength) return 0;

  LONG x = 0, y = 0, width = 0, height = 0;
  if (!GetValueInPageModeAreaString(value, x, y, width, height)) {
    *result = SetRC(OPOS_E_ILLEGAL);
    return 0;
  }
  x = MapNumber2DOT_H(x);
  y = MapNumber2DOT_H(y);
  width = MapNumber2DOT_H(width);
  height = MapNumber2DOT_H(height);
  *result = SetRC(ValidatePageModePrintArea(x, y, width, height));
  if (*result != 0) return 0;

  pageModePrintArea_ = value.substr(0, kPrintAreaStored);
  pageModePrintX_ = x;
  pageModePrintY_ = y;
  pageModePrintWidth_ = width;
  pageModePrintHeight_ = height;
  printAreaPending_ = 1;
  *result = SetRC(OPOS_SUCCESS);
  return 0;
}

LONG CPrinterBase::VerifyProperty(LONG /*index*/, const std::wstring& /*value*/, LONG /*flags*/) {
  return 0;
}

bool CPrinterBase::GetValueInPageModeAreaString(const std::wstring& text, LONG& x, LONG& y,
                                                LONG& width, LONG& height) const {
  const std::string narrow = platform::WideToCodePage(text, CP_ACP);
  size_t starts[4] = {0, 0, 0, 0};
  for (int part = 1; part < 4; ++part) {
    const size_t comma = narrow.find(',', starts[part - 1]);
    if (comma == std::string::npos) return false;
    starts[part] = comma + 1;
  }
  // Each part ends at its comma, which the integer parse stops at anyway.
  x = LeadingInteger(narrow.c_str() + starts[0]);
  y = LeadingInteger(narrow.c_str() + starts[1]);
  width = LeadingInteger(narrow.c_str() + starts[2]);
  height = LeadingInteger(narrow.c_str() + starts[3]);
  return true;
}

// The OPOS pseudo code pages and the ANSI code page, resolved to what the text is
// converted with and the table the printer is switched to; both are always the same
// page, so every character prints as the byte that was sent.
CPrinterBase::CodePagePair CPrinterBase::PrintCodePages(LONG characterSet) const {
  switch (characterSet) {
    case PTR_CS_ASCII: return {20127, PTR_CS_ASCII};  // 7-bit, "?" for the rest
    case PTR_CS_ANSI: {
      const UINT page = PrintableAnsiCodePage();
      return {page, static_cast<LONG>(page)};
    }
    default: return {static_cast<UINT>(characterSet), characterSet};
  }
}

// The ANSI code page when the printer has its table, else the character-set list's
// first single-byte page that text can be converted to.
UINT CPrinterBase::PrintableAnsiCodePage() const {
  const UINT ansi = GetACP();
  if (IsInCharacterSetList(static_cast<LONG>(ansi)) && IsValidCodePage(ansi)) return ansi;
  const std::wstring& list = characterSetList_;
  for (size_t start = 0; start < list.size();) {
    size_t comma = list.find(L',', start);
    if (comma == std::wstring::npos) comma = list.size();
    const long page = std::wcstol(list.substr(start, comma - start).c_str(), nullptr, 10);
    const bool doubleByte = page == 932 || page == 936 || page == 949 || page == 950;
    if (page > 0 && !doubleByte && IsValidCodePage(static_cast<UINT>(page)))
      return static_cast<UINT>(page);
    start = comma + 1;
  }
  return 437;
}

// Items of ten or more characters cannot be code pages and are skipped; an empty
// remainder (a list ending in a comma) ends the search.
bool CPrinterBase::IsInCharacterSetList(LONG characterSet) const {
  const std::wstring& list = characterSetList_;
  size_t start = 0;
  while (start < list.size()) {
    size_t comma = list.find(L',', start);
    if (comma == std::wstring::npos) comma = list.size();
    const size_t length = comma - start;
    if (length > 0 && length <= 9) {
      const std::wstring item = list.substr(start, length);
      const long parsed = std::wcstol(item.c_str(), nullptr, 10);
      if (parsed == characterSet) return true;
    }
    start = comma + 1;
  }
  return false;
}

// PageModeArea and PageModePrintArea are texts in the current map units.
void CPrinterBase::RewritePageAreaTexts() {
  pageModeArea_ = FormatPair(MapNumberOfDots_H(pageAreaWidth_), MapNumberOfDots_H(pageAreaHeight_));
  pageModePrintArea_ =
      FormatQuad(MapNumberOfDots_H(pageModePrintX_), MapNumberOfDots_H(pageModePrintY_),
                 MapNumberOfDots_H(pageModePrintWidth_), MapNumberOfDots_H(pageModePrintHeight_));
}

// Picks the font that gives the wanted characters per line; the narrowest font when none
// is narrow enough, which is reported as not supported.
LONG CPrinterBase::SetRecLineChars(LONG chars) {
  const bool sideways = rotateRight90_ || rotateLeft90_;
  const bool verticalPage =
      pageMode_ && (pageModePrintDirection_ == PTR_PD_BOTTOM_TO_TOP ||
                    pageModePrintDirection_ == PTR_PD_TOP_TO_BOTTOM);
  if (sideways || verticalPage) return 0;
  // Zero or fewer characters per line has no font; refusing keeps the division sound.
  if (chars <= 0) return OPOS_E_ILLEGAL;

  LONG code = 0;
  int font = SelectFont(chars);
  if ((font & 0xFF) == 0xFF) {
    code = 300;
    font = SelectMinFont();
  }
  if (font < 0 || font >= kMaxFonts || fonts_[static_cast<size_t>(font)].width == 0)
    return OPOS_E_ILLEGAL;
  if (font != currentFont_) SetFont(font);

  const LONG cellWidth = fonts_[static_cast<size_t>(font)].width;
  if (code != 0) {
    recLineWidth_ = printWidth_;
    recLineChars_ = printWidth_ / cellWidth;
  } else {
    recLineChars_ = chars;
    recLineWidth_ = static_cast<LONG>(std::min<long long>(printWidth_, 1LL * cellWidth * chars));
  }
  formatLineLength_ = static_cast<BYTE>(std::min<LONG>(recLineChars_, 255));
  return code;
}

}  // namespace Tesk::Printer

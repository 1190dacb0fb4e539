// Barcodes: request checks, Code 128 data in the printer's code-set notation, module
// sizes that fit the requested area, and the symbol placed like a bitmap. The printer
// draws every symbol itself; zint only counts the rows and modules of PDF417 and QR Code.
#include <zint.h>

#include <algorithm>
#include <memory>

#include "ICmdHelper.h"
#include "OposConstants.h"
#include "PrinterBase.h"

namespace Tesk::Printer {
namespace {

// Above this the printer's GS k length byte, with the code-set selectors, no longer holds
// the data; the symbol would encode something else.
constexpr std::int32_t kMaxCode128Data = 232;
constexpr int kMaxBarHeight = 255;  // GS h takes one byte
// A page's area and position count dots in two bytes: a taller symbol cannot be placed on a
// page or turned, and its feed would run to metres of paper.
constexpr LONG kMaxSymbolHeight = 0xFFFF;
constexpr LONG kQrVendorModel2a = 504, kQrVendorModel2b = 505;
constexpr std::int32_t kQrModel1Limit = 250;

bool IsDigit(BYTE b) { return b >= '0' && b <= '9'; }
bool IsCodeSetA(BYTE b) { return b < 0x20 || b >= 0x80; }

// Which code set suits the data from `from` on: a control byte asks for A, a lower-case
// byte for B, and so do a long digit run and the end of the data.
char LookAhead(const BYTE* data, std::int32_t size, std::int32_t from) {
  int digits = 0;
  for (std::int32_t i = from; i < size; ++i) {
    const BYTE b = data[i];
    if (IsCodeSetA(b)) return 'A';
    if (b >= 0x60) return 'B';
    digits = IsDigit(b) ? digits + 1 : 0;
    if (digits > 5) return 'B';
  }
  return 'B';
}

void Select(PrinterBuffer& out, char set) {
  out.Append('{');
  out.Append(static_cast<BYTE>(set));
}

bool Is2D(LONG symbology) {
  return symbology == PTR_BCS_PDF417 || symbology == PTR_BCS_QRCODE ||
         symbology == kQrVendorModel2a || symbology == kQrVendorModel2b;
}

bool IsSupportedSymbology(LONG symbology) {
  return (symbology >= PTR_BCS_UPCA && symbology <= PTR_BCS_EAN13) ||
         (symbology >= PTR_BCS_ITF && symbology <= PTR_BCS_Code128) ||
         symbology == PTR_BCS_EAN128 || symbology == PTR_BCS_Code128_Parsed || Is2D(symbology);
}

struct ZintSymbol {
  ZintSymbol() : s(ZBarcode_Create()) {}
  ~ZintSymbol() {
    if (s) ZBarcode_Delete(s);
  }
  ZintSymbol(const ZintSymbol&) = delete;
  ZintSymbol& operator=(const ZintSymbol&) = delete;
  // The printer encodes the bytes as they are, so they are counted as bytes.
  int Encode(const PrinterBuffer& data) {
    s->input_mode = DATA_MODE;
    return ZBarcode_Encode(s, data.Data(), data.Size());
  }
  zint_symbol* s;
};

LONG CeilDiv(LONG a, LONG b) { return (a + b - 1) / b; }

}  // namespace

int CPrinterBase::convert_bar_code_code128(PrinterBuffer& data) {
  const std::int32_t size = data.Size();
  if (size > kMaxCode128Data) return 0;
  const BYTE* in = data.Data();
  PrinterBuffer out(size * 2 + 8, 32);
  char set = 0;  // none chosen yet; a digit run then starts in C
  for (std::int32_t i = 0; i < size;) {
    const BYTE b = in[i];
    if (IsDigit(b)) {
      std::int32_t run = 0;
      while (i + run < size && IsDigit(in[i + run])) ++run;
      const bool atStart = i == 0, reachesEnd = i + run == size;
      if (run <= 5 && ((!atStart && !reachesEnd) || run < 4)) {
        if (atStart) {
          set = LookAhead(in, size, i + run);
          Select(out, set);
        }
        out.AppendBytes(in + i, run);
      } else {
        Select(out, 'C');
        set = 'C';
        for (std::int32_t k = 0; k + 1 < run; k += 2)
          out.Append(static_cast<BYTE>((in[i + k] - '0') * 10 + (in[i + k + 1] - '0')));
        if (run % 2) {
          Select(out, 'B');
          set = 'B';
          out.Append(in[i + run - 1]);
        }
      }
      i += run;
      continue;
    }
    if (b >= 0x20 && b <= 0x5F) {
      if (set == 0 || set == 'C') {
        set = LookAhead(in, size, i);
        Select(out, set);
      }
    } else if (b >= 0x60 && b <= 0x7F) {
      if (set != 'B') Select(out, set = 'B');
    } else if (set != 'A') {
      Select(out, set = 'A');
    }
    out.Append(b);
    if (b == '{') out.Append('{');  // a brace of the data, not a selector
    ++i;
  }
  data = out;
  return 1;
}

int CPrinterBase::convert_bar_code_code128_Parsed(PrinterBuffer& data) {
  const std::int32_t size = data.Size();
  if (size < 2 || size > kMaxCode128Data) return 0;
  const BYTE* in = data.Data();
  PrinterBuffer out(size + 8, 32);
  auto isSelector = [&](std::int32_t i) {
    return i + 1 < size && in[i] == '{' && (in[i + 1] == 'A' || in[i + 1] == 'B' || in[i + 1] == 'C');
  };
  if (!isSelector(0)) Select(out, LookAhead(in, size, 0));
  for (std::int32_t i = 0; i < size;) {
    if (!(i + 1 < size && in[i] == '{' && in[i + 1] == 'C')) {
      out.Append(in[i++]);
      continue;
    }
    out.Append('{');
    out.Append('C');
    i += 2;
    while (i + 1 < size && IsDigit(in[i]) && IsDigit(in[i + 1])) {
      out.Append(static_cast<BYTE>((in[i] - '0') * 10 + (in[i + 1] - '0')));
      i += 2;
    }
    if (i < size && in[i] != '{') Select(out, LookAhead(in, size, i));
  }
  data = out;
  return 1;
}

LONG CPrinterBase::Pdf417Sizing(const PrinterBuffer& data, LONG height, LONG width, int* columns,
                                int* moduleWidth, int* rowHeight, LONG* totalWidth) {
  constexpr LONG kFail = -1;
  ZintSymbol symbol;
  if (!symbol.s) return kFail;
  LONG n = std::min<LONG>((width / 2 - 83) / 17, 3);
  symbol.s->symbology = BARCODE_PDF417;
  symbol.s->option_1 = 1;
  symbol.s->option_2 = static_cast<int>(std::max<LONG>(n, 0));
  const int error = symbol.Encode(data);
  if (error >= ZINT_ERROR) return error;
  // A PDF417 row is 17 modules a data column plus 69 for the start, stop and row indicators.
  const LONG usedColumns = std::max((symbol.s->width - 69) / 17, 1);
  const LONG cells = static_cast<LONG>(symbol.s->rows) * usedColumns;
  const LONG W = width - 14, H = height - 14;
  LONG g = 0, k = 0;
  // False when a module or row would be empty (the division that follows would fault).
  auto recompute = [&]() {
    if (n <= 0) return false;
    g = W / (17 * n + 69);
    if (g <= 0) return false;
    const LONG rows = CeilDiv(cells, n);
    if (rows <= 0) return false;
    k = H / rows / g;
    return true;
  };
  // n >= -4 here (w >= 0), so 17n + 69 >= 1.
  g = std::max<LONG>(W / (17 * n + 69), 1);
  n = std::max<LONG>(n, 1);
  const LONG rows = CeilDiv(cells, n);
  if (rows <= 0) return kFail;
  k = H / rows / g;
  auto reencode = [&]() -> bool {
    if (!(g > 1 && n > 2)) return false;
    symbol.s->option_2 = static_cast<int>(n);
    ZBarcode_Clear(symbol.s);
    symbol.s->symbology = BARCODE_PDF417;
    symbol.s->option_1 = 1;
    return symbol.Encode(data) < ZINT_ERROR;
  };
  if (g < 2) {
    if (k <= 0) return kFail;
    while (g < 2 && k >= 2 && n > 0) {
      --n;
      if (!recompute() || k <= 0) return kFail;
    }
    if (!reencode()) return kFail;
  } else if (k <= 0) {
    while (k <= 0 && g >= 3 && 17 * n + 69 < 596) {
      ++n;
      if (!recompute()) return kFail;
    }
    if (g <= 1 || n > 30 || !reencode()) return kFail;
  }
  if (!recompute() || g < 2 || k <= 0) return kFail;
  *columns = static_cast<int>(n);
  *moduleWidth = static_cast<int>(g);
  *rowHeight = static_cast<int>(k);
  *totalWidth = static_cast<LONG>(symbol.s->width) * g;
  return 0;
}

LONG CPrinterBase::QrSizing(const PrinterBuffer& data, LONG height, int* moduleSize,
                            LONG* totalWidth) {
  ZintSymbol symbol;
  if (!symbol.s) return -1;
  symbol.s->symbology = BARCODE_QRCODE;
  symbol.s->option_1 = 1;  // error correction level L
  // A fixed mask: the mask never changes the module count, and choosing the best of eight
  // is most of the encoder's time.
  symbol.s->option_3 = (0 + 1) << 8;
  const int error = symbol.Encode(data);
  if (error >= ZINT_ERROR) return error;
  const LONG modules = symbol.s->width;
  if (modules <= 0) return -1;
  *moduleSize = static_cast<int>(height / modules);
  *totalWidth = modules * (height / modules);
  return 0;
}

LONG CPrinterBase::FormatBarcode(PrinterBuffer& out, PrinterBuffer& data, LONG symbology,
                                 LONG height, LONG width, LONG alignment, LONG textPosition) {
  if (!cmdHelper_ || !IsSupportedSymbology(symbology)) return OPOS_E_ILLEGAL;
  if (symbology == PTR_BCS_Code128 && !convert_bar_code_code128(data)) return OPOS_E_ILLEGAL;
  if (symbology == PTR_BCS_Code128_Parsed && !convert_bar_code_code128_Parsed(data))
    return OPOS_E_ILLEGAL;
  ICmdHelper& cmd = *cmdHelper_;
  // GS h, the 2D module sizes and the placement all count print-head dots: on a model
  // whose vertical motion unit is half a dot, a height in vertical units would double.
  const LONG h = MapNumber2DOT_H(height);
  if (h > kMaxSymbolHeight) return OPOS_E_ILLEGAL;
  int module = 2;
  LONG total = 0;
  int columns = 0, rowHeight = 0;
  PrinterBuffer& symbol = objectScratch_;
  symbol.Clear();
  bool built = true;
  if (symbology == PTR_BCS_PDF417) {
    // Sizing fails with the encoder's own numbers; callers get a result code.
    if (Pdf417Sizing(data, h, MapNumber2DOT_H(width), &columns, &module, &rowHeight, &total) != 0)
      return OPOS_E_ILLEGAL;
    built = cmd.SetPdf417ModuleWidth(symbol, module) && cmd.SetPdf417Columns(symbol, columns) &&
            cmd.SetPdf417RowHeight(symbol, rowHeight) && cmd.SetPdf417ErrorCorrection(symbol, 49, 1) &&
            cmd.StorePdf417Data(symbol, data.Data(), data.Size()) && cmd.PrintPdf417(symbol);
  } else if (Is2D(symbology)) {
    if (QrSizing(data, h, &module, &total) != 0) return OPOS_E_ILLEGAL;
    const bool model2 = data.Size() > kQrModel1Limit || symbology != PTR_BCS_QRCODE;
    built = cmd.SetQrModel(symbol, model2 ? 50 : 49) && cmd.SetQrModuleSize(symbol, module) &&
            cmd.SetQrErrorCorrection(symbol, 48) && cmd.StoreQrData(symbol, data.Data(), data.Size()) &&
            cmd.PrintQr(symbol);
  } else {
    if (width > 6) {
      module = cmd.FitBarcodeWidth(symbology, MapNumber2DOT_H(width), data.Data(), data.Size(), &total);
    } else {
      // Width 0 names no module width; GS w 0 would be ignored and leave the last one.
      module = width < 1 ? 2 : static_cast<int>(width);
      cmd.FitBarcodeWidth(symbology, module, data.Data(), data.Size(), &total);
    }
    // Along a line that runs down the paper the length counts vertical dots.
    if (IsInRotate90Mode()) total = H2V(total);
    // GS h takes one byte: a taller bar is drawn at the tallest, not at height mod 256.
    const int barHeight = static_cast<int>(std::clamp<LONG>(h, 1, kMaxBarHeight));
    built = cmd.FormatBarcodeCommand(symbol, symbology, barHeight, module, alignment, textPosition,
                                     hriFont_, data.Data(), data.Size()) != 0;
  }
  // A refused step leaves nothing behind: a store without its print, or a print without
  // its store, would put another symbol's data on the paper.
  if (!built) {
    symbol.Clear();
    return OPOS_E_ILLEGAL;
  }
  LONG xOffset = 0;
  int justification = 0;
  if (alignment == PTR_BC_LEFT || alignment == PTR_BC_CENTER || alignment == PTR_BC_RIGHT ||
      alignment < 1) {
    justification = cmd.GetBitmapJustification(alignment);
  } else {
    justification = 0xFF;
    xOffset = MapNumber2DOT_H(alignment);
  }
  FormatObject(out, symbol, total, h, justification, xOffset, rotateBarcodes_);
  return 0;
}

LONG CPrinterBase::PrintBarCode(LONG /*station*/, const std::wstring& data, LONG symbology,
                                LONG height, LONG width, LONG alignment, LONG textPosition,
                                LONG* result) {
  if (IsObjectBusy()) return StoreObjectResult(OPOS_E_BUSY, result);
  const bool alignmentValid = alignment == PTR_BC_LEFT || alignment == PTR_BC_CENTER ||
                              alignment == PTR_BC_RIGHT || alignment > 0;
  const bool textValid = textPosition == PTR_BC_TEXT_NONE || textPosition == PTR_BC_TEXT_ABOVE ||
                         textPosition == PTR_BC_TEXT_BELOW;
  bool valid = Capability(PIDXPtr_CapRecBarCode) && height >= 0 && width >= 0 && alignmentValid &&
               textValid;
  // A symbol wider than the paper, or placed beyond its edge, cannot be printed whole.
  if (valid && width > 6 && MapNumber2DOT_H(width) > recLineWidth_) valid = false;
  if (valid && alignment > 0 && MapNumber2DOT_H(alignment) > recLineWidth_) valid = false;
  if (!valid) return StoreObjectResult(OPOS_E_ILLEGAL, result);
  if (!asyncMode_) {
    if (GetLastStatus().coverOpen) return StoreObjectResult(OPOS_EPTR_COVER_OPEN, result);
    if (GetLastStatus().paperEnd) return StoreObjectResult(OPOS_EPTR_REC_EMPTY, result);
  }
  if (pageMode_) {
    if (pageModePrintWidth_ <= 0 || pageModePrintHeight_ <= 0) return StoreObjectResult(0, result);
    WritePendingPrintArea(pageModeBuffer_);
  }
  barcodeData_.Clear();
  DataBinaryConversion(barcodeData_, data);
  if (barcodeData_.IsEmpty()) return StoreObjectResult(OPOS_E_ILLEGAL, result);
  // An unsupported symbology, or one whose data or size the printer cannot take, is
  // refused rather than reported as printed.
  commandScratch_.Clear();
  if (FormatBarcode(commandScratch_, barcodeData_, symbology, height, width, alignment,
                    textPosition) != 0)
    return StoreObjectResult(OPOS_E_ILLEGAL, result);

  const bool direct = IsDirectSend() != 0;
  PrinterBuffer* out = ObjectOutputBuffer(rotateBarcodes_);
  if (!out) return StoreObjectResult(OPOS_E_FAILURE, result);
  if (!direct && !pageMode_ && !(rotateRight90_ || rotateLeft90_)) set_printerSettings(*out);
  if (!direct && pageMode_) {
    cmdHelper_->SetAbsoluteVerticalPosition(
        *out, static_cast<int>((rotateRight90_ || rotateLeft90_ || IsVerticalPage())
                                   ? pageModeVerticalPosition_
                                   : H2V(pageModeVerticalPosition_)));
  }
  out->AppendBytes(commandScratch_.Data(), commandScratch_.Size());
  return StoreObjectResult(direct ? Send(*out, false) : 0, result);
}

}  // namespace Tesk::Printer

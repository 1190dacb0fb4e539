// Bitmaps and logos: image files to raster commands, the bitmap table with its one
// downloaded image, and the placement every printed object (bitmap or barcode) shares.
#include <algorithm>
#include <vector>

#include "BitmapRaster.h"
#include "ICmdHelper.h"
#include "OposConstants.h"
#include "PrinterBase.h"
#include "PrinterWorker.h"
#include "platform/image.h"
#include "platform/sync.h"
#include "platform/wtext.h"

namespace Tesk::Printer {
namespace {

constexpr LONG kStandardObjectLength = 2048;  // how far an object may reach along the paper
// A raster beyond this many dots is no receipt image (and GS 8 L counts sides in 16 bits).
constexpr std::int64_t kMaxRasterDots = std::int64_t{1} << 27;

LONG RoundUp(LONG value, LONG unit) { return unit > 0 ? (value + unit - 1) / unit * unit : value; }

LONG CodeOf(platform::ImageStatus status) {
  return status == platform::ImageStatus::kNoFile ? OPOS_E_NOEXIST : OPOS_E_ILLEGAL;
}

// How an image of imageWidth x imageHeight maps onto a requested width.
struct ImageSizing {
  float scale = 1.0f;
  LONG targetWidth = 0;   // dots rendered per row
  LONG scaledHeight = 0;  // rows rendered
  LONG widthOut = 0;      // targetWidth rounded up to 8
  LONG heightOut = 0;     // scaledHeight rounded up to the height unit
};

bool SizeImage(int imageWidth, int imageHeight, LONG requestedWidth, LONG heightUnit, ImageSizing& s) {
  const bool asIs = requestedWidth == PTR_BM_ASIS;
  s.scale = asIs ? 1.0f : static_cast<float>(requestedWidth) / static_cast<float>(imageWidth);
  s.targetWidth = asIs ? imageWidth : requestedWidth;
  const float scaled = static_cast<float>(imageHeight) * s.scale;
  if (!(scaled < 65536.0f)) return false;
  s.scaledHeight = static_cast<LONG>(scaled);
  s.heightOut = RoundUp(s.scaledHeight, heightUnit);
  s.widthOut = RoundUp(s.targetWidth, 8);
  return s.widthOut <= 65535 && s.heightOut <= 65535 &&
         std::int64_t{s.widthOut} * s.heightOut <= kMaxRasterDots;
}

bool IsBitmapAlignment(LONG alignment) {
  return alignment == PTR_BM_LEFT || alignment == PTR_BM_CENTER || alignment == PTR_BM_RIGHT;
}

}  // namespace

// --- Images ---------------------------------------------------------------------------

LONG CPrinterBase::GetBitmapInfo(const std::wstring& fileName, LONG* width, LONG* height,
                                 LONG requestedWidth, LONG heightUnit) {
  int imageWidth = 0, imageHeight = 0;
  std::string reason;
  const auto status =
      platform::ReadImageFileSize(platform::ToUtf8(fileName), &imageWidth, &imageHeight, &reason);
  if (status != platform::ImageStatus::kOk) {
    errorText_ = platform::FromUtf8(reason);
    return CodeOf(status);
  }
  if (requestedWidth != PTR_BM_ASIS && requestedWidth <= 0) return OPOS_E_ILLEGAL;
  ImageSizing sizing;
  if (!SizeImage(imageWidth, imageHeight, requestedWidth, heightUnit, sizing)) {
    errorText_ = L"image too large";
    return OPOS_E_ILLEGAL;
  }
  if (width) *width = sizing.widthOut;
  if (height) *height = sizing.heightOut;
  return 0;
}

LONG CPrinterBase::GetBitmapData(const std::wstring& fileName, PrinterBuffer& raster, LONG* width,
                                 LONG* height, LONG heightUnit, LONG requestedWidth) {
  if (requestedWidth != PTR_BM_ASIS && requestedWidth <= 0) return OPOS_E_ILLEGAL;
  platform::RgbImage image;
  std::string reason;
  const auto status = platform::LoadImageFile(platform::ToUtf8(fileName), image, &reason);
  if (status != platform::ImageStatus::kOk) {
    errorText_ = platform::FromUtf8(reason);
    return CodeOf(status);
  }
  ImageSizing s;
  if (!SizeImage(image.width, image.height, requestedWidth, heightUnit, s)) {
    errorText_ = L"image too large";
    return OPOS_E_ILLEGAL;
  }
  std::vector<int> columns(static_cast<size_t>(s.widthOut));
  for (LONG i = 0; i < s.widthOut; ++i) {
    columns[static_cast<size_t>(i)] =
        std::min(static_cast<int>(static_cast<float>(i) / s.scale), image.width - 1);
  }
  raster.Clear();
  raster.Resize(static_cast<std::int32_t>(s.widthOut / 8 * s.heightOut), 0);
  RasterizeImage(image, columns.data(), static_cast<int>(s.targetWidth),
                 static_cast<int>(s.scaledHeight), s.scale, static_cast<int>(s.widthOut / 8),
                 raster.Data());
  if (width) *width = s.widthOut;
  if (height) *height = s.heightOut;
  return 0;
}

void CPrinterBase::ToColumnFormat(PrinterBuffer& out, const PrinterBuffer& raster, LONG width,
                                  LONG height) {
  const LONG bytesPerRow = width / 8;
  const LONG groups = height / 8;
  if (bytesPerRow <= 0 || groups <= 0 || raster.Size() < bytesPerRow * height) return;
  out.Reserve(out.Size() + static_cast<std::int32_t>(width * groups));
  for (LONG x = 0; x < width; ++x) {
    const BYTE mask = static_cast<BYTE>(0x80 >> (x % 8));
    for (LONG g = 0; g < groups; ++g) {
      BYTE column = 0;
      for (LONG k = 0; k < 8; ++k) {
        if (raster.At(static_cast<std::int32_t>((g * 8 + k) * bytesPerRow + x / 8)) & mask)
          column |= static_cast<BYTE>(0x80 >> k);
      }
      out.Append(column);
    }
  }
}

LONG CPrinterBase::ReadBitmap(const std::wstring& fileName, PrinterBuffer& out, LONG* result) {
  constexpr LONG kBand = 24;
  LONG width = 0, height = 0;
  PrinterBuffer raster(32, 32);
  if (GetBitmapData(fileName, raster, &width, &height, kBand, PTR_BM_ASIS) != 0 || !cmdHelper_) {
    if (result) *result = OPOS_E_NOEXIST;
    return 0;
  }
  const LONG bytesPerRow = width / 8;
  std::vector<BYTE> band(static_cast<size_t>(width) * 3);
  for (LONG top = 0; top < height; top += kBand) {
    for (LONG x = 0; x < width; ++x) {
      const BYTE mask = static_cast<BYTE>(0x80 >> (x % 8));
      for (LONG part = 0; part < 3; ++part) {
        BYTE column = 0;
        for (LONG k = 0; k < 8; ++k) {
          const LONG row = top + part * 8 + k;
          if (raster.At(static_cast<std::int32_t>(row * bytesPerRow + x / 8)) & mask)
            column |= static_cast<BYTE>(0x80 >> k);
        }
        band[static_cast<size_t>(x * 3 + part)] = column;
      }
    }
    cmdHelper_->SelectBitImage(out, 0x21, static_cast<int>(width), band.data(),
                               static_cast<LONG>(band.size()));
    out.Append(0x0A);
    Sleep(10);  // the printer's input buffer drains a band while the next one is made
  }
  if (result) *result = 0;
  return 0;
}

// --- Placement ------------------------------------------------------------------------

int CPrinterBase::VerifyObjectSize(LONG width, LONG height, LONG xOffset, int rotateWith) {
  const bool rotated90 = rotateRight90_ || rotateLeft90_;
  std::int64_t availableWidth = 0, availableHeight = 0;
  if (pageMode_) {
    const bool sideways = rotated90 || pageModePrintDirection_ == PTR_PD_BOTTOM_TO_TOP ||
                          pageModePrintDirection_ == PTR_PD_TOP_TO_BOTTOM;
    availableWidth = (sideways ? pageModePrintHeight_ : pageModePrintWidth_) - std::int64_t{xOffset};
    availableHeight =
        (sideways ? pageModePrintWidth_ : pageModePrintHeight_) - std::int64_t{pageModeVerticalPosition_};
  } else if (rotated90) {
    availableWidth = kStandardObjectLength - std::int64_t{xOffset};
    availableHeight = recLineWidth_;
  } else {
    availableWidth = recLineWidth_ - std::int64_t{xOffset};
    availableHeight = kStandardObjectLength;
  }
  if (width > availableWidth || height > availableHeight) return 0;
  if (rotated90 && rotateWith && recLineWidth_ < std::int64_t{height} + rotatedTextLength_) return 0;
  return 1;
}

LONG CPrinterBase::FormatObject(PrinterBuffer& out, const PrinterBuffer& object, LONG width,
                                LONG height, int justification, LONG xOffset, int rotateWith) {
  ICmdHelper& cmd = *cmdHelper_;
  const bool rotated90 = rotateRight90_ || rotateLeft90_;
  const bool sidewaysPage = IsVerticalPage();
  const bool byMargin = (justification & 0xFF) >= 0x80;
  const float unitRatio = dotSizeV_ > 0 ? dotSizeH_ / dotSizeV_ : 1.0f;
  auto scaled = [&](LONG dots) { return static_cast<int>(static_cast<float>(dots) * unitRatio); };

  PrinterBuffer& prefix = positionPrefix_;
  prefix.Clear();
  const bool plainStandard = !pageMode_ && !rotated90;
  if (plainStandard) {
    if (byMargin) cmd.SetLeftMargin(prefix, static_cast<int>(xOffset));
    else cmd.SetJustification(prefix, justification);
  } else if (byMargin) {
    const LONG x = xOffset + pageModePrintX_;
    cmd.SetAbsolutePosition(prefix, (rotated90 || sidewaysPage) ? scaled(x) : static_cast<int>(x));
  } else {
    const char letter = justification == 0 ? 'l' : justification == 1 ? 'c' : 'r';
    // An object that keeps its orientation under a quarter turn is a page of the paper's
    // width; everything else is placed on the page or sideways page.
    if (rotated90 && !rotateWith) SelectHPosInStd(prefix, letter, width);
    else SelectHPos(prefix, letter, width);
  }
  auto appendBody = [&] {
    out.AppendBytes(prefix.Data(), prefix.Size());
    out.AppendBytes(object.Data(), object.Size());
  };
  // A rotated object is drawn in a page of its own, fed past the text line above it.
  auto appendInPage = [&] {
    cmd.FeedDots(out, scaled(charHeight_) + scaled(height));
    appendBody();
    cmd.FormFeed(out);
  };

  if (IsDirectSend()) cmd.PrintWithoutFeed(out);
  if (rotate180_ && !rotateWith && !pageMode_) {
    cmd.SetUpsideDown(out, 0);
    appendBody();
    cmd.SetUpsideDown(out, 1);
    return 0;
  }
  if (rotated90 && !rotateWith) {
    cmd.SelectPageMode(out);
    cmd.SetPageArea(out, 0, 0, static_cast<int>(recLineWidth_),
                    scaled(charHeight_ + rotationOffset_ + height + 5));
    cmd.SetPageDirection(out, 0x30);
    appendInPage();
    return 0;
  }
  if (pageMode_) {
    // Across the line the page counts horizontal dots when lines run along the paper,
    // vertical ones otherwise; the feed leaves room for the object above its baseline.
    const bool across = rotated90 || sidewaysPage;
    const LONG room = height + charHeight_;
    // An object that keeps its orientation on a page turned half round is placed in the
    // page's own direction, and the turn goes on after it.
    const bool keptUpright = rotate180_ && !rotateWith;
    if (keptUpright) cmd.SetPageDirection(out, '0' + static_cast<int>(pageModePrintDirection_ - 1));
    cmd.SetAbsoluteVerticalPosition(out, across ? static_cast<int>(pageModeVerticalPosition_)
                                                : scaled(pageModeVerticalPosition_));
    cmd.FeedDots(out, across ? static_cast<int>(room) : scaled(room));
    appendBody();
    if (keptUpright) cmd.SetPageDirection(out, '0' + PageDirectionInForce());
    return 0;
  }
  if (rotated90) {  // and the object turns with the text
    widestRotatedObject_ = std::max(widestRotatedObject_, width);
    cmd.FeedDots(out, static_cast<int>(height + charHeight_));
    appendBody();
    return 0;
  }
  if (rotate180_ && rotateWith) {
    // Turned like the text around it, which stays turned after the object.
    cmd.SetUpsideDown(out, 1);
    appendBody();
    cmd.SetUpsideDown(out, rotate180_);
    return 0;
  }
  // Plain standard mode: the alignment applies to this object only, so the text that
  // follows starts at the left again.
  appendBody();
  if (byMargin) cmd.SetLeftMargin(out, 0);
  else if (justification != 0) cmd.SetJustification(out, 0);
  return 0;
}

// --- The OPOS methods -------------------------------------------------------------------

LONG CPrinterBase::StoreObjectResult(LONG code, LONG* result) {
  const LONG stored = SetRC(code);
  if (result) *result = stored;
  return 0;
}

int CPrinterBase::IsObjectBusy() const {
  return IsDirectSend() && !asyncMode_ && !IsIdle();
}

PrinterBuffer* CPrinterBase::ObjectOutputBuffer(int rotateWith) {
  if (IsDirectSend()) {
    objectOutput_.Clear();
    InitOutBufferWithPMControl(objectOutput_, 3);
    return &objectOutput_;
  }
  if ((rotateRight90_ || rotateLeft90_) && !rotateWith) return &rotationBuffers_[1];
  return CurrentPrinterBuffer();
}

LONG CPrinterBase::PrintBitmap(LONG /*station*/, const std::wstring& fileName, LONG width,
                               LONG alignment, LONG* result) {
  if (IsObjectBusy()) return StoreObjectResult(OPOS_E_BUSY, result);
  const bool sideways = rotateRight90_ || rotateLeft90_ ||
                        (pageMode_ && (pageModePrintDirection_ == PTR_PD_BOTTOM_TO_TOP ||
                                       pageModePrintDirection_ == PTR_PD_TOP_TO_BOTTOM));
  const LONG areaWidth = pageMode_ ? (sideways ? pageModePrintHeight_ : pageModePrintWidth_)
                         : sideways ? kStandardObjectLength
                                    : recLineWidth_;
  const LONG widthDots = width == PTR_BM_ASIS ? PTR_BM_ASIS : MapNumber2DOT_H(width);
  if (width != PTR_BM_ASIS && (width < 0 || widthDots < 0 || widthDots > areaWidth))
    return StoreObjectResult(OPOS_E_ILLEGAL, result);
  LONG xOffset = 0;
  if (alignment < 0 && !IsBitmapAlignment(alignment)) return StoreObjectResult(OPOS_E_ILLEGAL, result);
  if (alignment > 0) {
    xOffset = MapNumber2DOT_H(alignment);
    if (xOffset < 0 || std::int64_t{std::max<LONG>(widthDots, 0)} + xOffset > areaWidth)
      return StoreObjectResult(OPOS_E_ILLEGAL, result);
  }
  if (!asyncMode_) {
    if (GetLastStatus().coverOpen) return StoreObjectResult(OPOS_EPTR_COVER_OPEN, result);
    if (GetLastStatus().paperEnd) return StoreObjectResult(OPOS_EPTR_REC_EMPTY, result);
  }
  if (pageMode_) {
    // An empty print area has no room; a changed one is set before the bitmap.
    if (!PageModePrintAreaIsEffective()) return StoreObjectResult(0, result);
    WritePendingPrintArea(pageModeBuffer_);
  }
  const int justification = alignment > 0 ? 0xFF : cmdHelper_->GetBitmapJustification(alignment);

  LONG w = 0, h = 0;
  LONG code = GetBitmapInfo(fileName, &w, &h, widthDots, 8);
  if (code != 0) return StoreObjectResult(code, result);
  if (!VerifyObjectSize(w, h, xOffset, rotateBitmaps_))
    return StoreObjectResult(OPOS_EPTR_TOOBIG, result);
  code = GetBitmapData(fileName, rasterScratch_, &w, &h, 8, widthDots);
  if (code != 0) return StoreObjectResult(code, result);

  // The command is complete before anything reaches an output buffer, so a failure
  // leaves no partial bitmap behind.
  objectScratch_.Clear();
  cmdHelper_->StoreRasterGraphicsHeader(objectScratch_, rasterScratch_.Size(), static_cast<int>(w),
                                        static_cast<int>(h));
  objectScratch_.AppendBytes(rasterScratch_.Data(), rasterScratch_.Size());
  cmdHelper_->PrintBufferedGraphics(objectScratch_);
  const bool direct = IsDirectSend() != 0;
  PrinterBuffer* out = ObjectOutputBuffer(rotateBitmaps_);
  if (!out) return StoreObjectResult(OPOS_E_FAILURE, result);
  FormatObject(*out, objectScratch_, w, h, justification, xOffset, rotateBitmaps_);
  return StoreObjectResult(direct ? Send(*out, false) : 0, result);
}

LONG CPrinterBase::PrintMemoryBitmap(LONG, const std::wstring&, LONG, LONG, LONG, LONG* result) {
  return StoreObjectResult(300, result);  // no memory bitmaps on these printers
}

LONG CPrinterBase::SetBitmap(LONG bitmapNumber, LONG station, const std::wstring& fileName,
                             LONG width, LONG alignment, LONG* result) {
  const LONG widthDots = width == PTR_BM_ASIS ? PTR_BM_ASIS : MapNumber2DOT_H(width);
  bool valid = (width == PTR_BM_ASIS || (width >= 0 && widthDots >= 0 && widthDots <= recLineWidth_)) &&
               bitmapNumber >= 1 && bitmapNumber <= kBitmapSlots && station == PTR_S_RECEIPT &&
               (alignment >= 0 || IsBitmapAlignment(alignment));
  if (valid && alignment > 0) {
    const LONG x = MapNumber2DOT_H(alignment);
    valid = x >= 0 && x <= recLineWidth_;
  }
  if (!valid) return StoreObjectResult(OPOS_E_ILLEGAL, result);

  BitmapEntry& entry = bitmaps_[static_cast<size_t>(bitmapNumber - 1)];
  entry.storedInPrinter = 0;
  entry.sizeFlag = 0;
  LONG w = 0, h = 0;
  LONG code = GetBitmapInfo(fileName, &w, &h, widthDots, 8);
  if (code != 0) return StoreObjectResult(code, result);
  code = GetBitmapData(fileName, rasterScratch_, &w, &h, 8, widthDots);
  if (code != 0) return StoreObjectResult(code, result);

  PrinterBuffer rasterCommand(32, 32);
  cmdHelper_->StoreRasterGraphicsHeader(rasterCommand, rasterScratch_.Size(), static_cast<int>(w),
                                        static_cast<int>(h));
  rasterCommand.AppendBytes(rasterScratch_.Data(), rasterScratch_.Size());
  cmdHelper_->PrintBufferedGraphics(rasterCommand);

  const bool downloadable = downloadedBitmap_ < 0 && (!asyncMode_ || IsIdle()) &&
                            w < recLineWidth_ && h < kDownloadMaxHeight &&
                            w * h / 64 < kDownloadMaxArea;
  bool downloaded = false;
  if (downloadable) {
    PrinterBuffer columns(32, 32);
    ToColumnFormat(columns, rasterScratch_, w, h);
    commandScratch_.Clear();
    if (cmdHelper_->DefineDownloadedImage(commandScratch_, static_cast<int>(w / 8),
                                          static_cast<int>(h / 8), columns.Data(), columns.Size()) &&
        DirectSend(commandScratch_, false, 7) == 0) {
      // A download that did not reach the printer would print nothing: such a bitmap
      // travels as raster instead.
      downloaded = true;
      downloadedBitmap_ = static_cast<signed char>(bitmapNumber - 1);
      downloadCommand_ = commandScratch_;
      downloadFallback_ = rasterCommand;
    }
  }
  entry.printCommand.Clear();
  if (downloaded) {
    entry.storedInPrinter = 1;
    cmdHelper_->PrintDownloadedImage(entry.printCommand, 0);
  } else {
    entry.printCommand = rasterCommand;
  }
  entry.alignment = alignment;
  entry.number = static_cast<signed char>(bitmapNumber - 1);
  if (downloaded) UpdateRestoreBytes();
  entry.fileName = fileName;
  entry.width = w;
  entry.height = h;
  entry.station = station;
  return StoreObjectResult(0, result);
}

void CPrinterBase::RestoreDownloadedBitmap() {
  if (downloadedBitmap_ < 0 || downloadCommand_.IsEmpty()) return;
  BitmapEntry& entry = bitmaps_[static_cast<size_t>(downloadedBitmap_)];
  if (!entry.storedInPrinter || entry.number != downloadedBitmap_) return;
  if (DirectSend(downloadCommand_, false, 7) == 0) return;
  entry.storedInPrinter = 0;
  entry.printCommand = downloadFallback_;
  UpdateRestoreBytes();
}

void CPrinterBase::ClearBitmapTable() {
  for (BitmapEntry& entry : bitmaps_) entry = BitmapEntry{};
}

int CPrinterBase::IsBitmapSet(LONG number) const {
  if (number < 1 || number > kBitmapSlots) return 0;
  return bitmaps_[static_cast<size_t>(number - 1)].number + 1 == number;
}

int CPrinterBase::FormatSettedBitmap(PrinterBuffer& out, LONG number) {
  if (!IsBitmapSet(number) || !cmdHelper_) return 0;
  const BitmapEntry& entry = bitmaps_[static_cast<size_t>(number - 1)];
  LONG xOffset = 0;
  int justification = 0;
  if (IsBitmapAlignment(entry.alignment) || entry.alignment <= 0) {
    justification = cmdHelper_->GetBitmapJustification(entry.alignment);
  } else {
    justification = 0xFF;
    xOffset = MapNumber2DOT_H(entry.alignment);
  }
  if (!VerifyObjectSize(entry.width, entry.height, xOffset, rotateBitmaps_)) return 0;
  FormatObject(out, entry.printCommand, entry.width, entry.height, justification, xOffset,
               rotateBitmaps_);
  return 1;
}

void CPrinterBase::PrintBitmap_in_memory(PrinterBuffer& out, const PrinterBuffer& columnImage) {
  cmdHelper_->SetLineSpacing(out, 0);
  out.AppendBytes(columnImage.Data(), columnImage.Size());
  cmdHelper_->SetLineSpacing(out, GetRecLineSpacing());
}

LONG CPrinterBase::PrintBitmap_in_memory(const PrinterBuffer& columnImage) {
  commandScratch_.Clear();
  PrintBitmap_in_memory(commandScratch_, columnImage);
  return Send(commandScratch_, false);
}

LONG CPrinterBase::SetLogo(LONG location, const std::wstring& data, LONG* result) {
  if (location != PTR_L_TOP && location != PTR_L_BOTTOM) return StoreObjectResult(301, result);
  std::string bytes;
  BStr2Char(data, bytes, nullptr);
  PrinterBuffer converted(32, 32);
  DataBinaryConversion2(converted, bytes);
  PrinterBuffer& logo = location == PTR_L_TOP ? topLogoBuffer_ : bottomLogoBuffer_;
  PrinterBuffer translated(32, 32);
  FormatStringToOutBuffer(translated, converted, 0);
  logo = translated;
  return StoreObjectResult(0, result);
}

}  // namespace Tesk::Printer

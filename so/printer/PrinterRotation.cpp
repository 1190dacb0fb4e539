// Rotated printing: the sideways page collected under a quarter turn, the upside-down
// turn, and the placement of lines on a page or a sideways page.
#include <algorithm>
#include <cstdint>

#include "ICmdHelper.h"
#include "OposConstants.h"
#include "PrinterBase.h"

namespace Tesk::Printer {
namespace {

constexpr LONG kTurnMask = 0x0FFF;
constexpr LONG kObjectMask = PTR_RP_BARCODE | PTR_RP_BITMAP;
constexpr int kDirectionNormal = '0';

}  // namespace

// A value outside the four turns (with the two object bits), or a turn the model has no
// capability for, would leave the printer collecting a page it cannot print.
LONG CPrinterBase::CheckRotation(LONG rotation) const {
  if (rotation < 0 || (rotation & ~(kTurnMask | kObjectMask)) != 0) return OPOS_E_ILLEGAL;
  LONG capability = 0;
  switch (rotation & kTurnMask) {
    case PTR_RP_NORMAL: return 0;
    case PTR_RP_RIGHT90: capability = PIDXPtr_CapRecRight90; break;
    case PTR_RP_LEFT90: capability = PIDXPtr_CapRecLeft90; break;
    case PTR_RP_ROTATE180: capability = PIDXPtr_CapRecRotate180; break;
    default: return OPOS_E_ILLEGAL;
  }
  return Capability(capability) ? 0 : OPOS_E_ILLEGAL;
}

LONG CPrinterBase::RotatePrint(LONG station, LONG rotation, LONG* result) {
  if (station != PTR_S_RECEIPT) return ReportResult(300, result);
  if (CheckRotation(rotation) != 0) return ReportResult(OPOS_E_ILLEGAL, result);
  if (rotation == PTR_RP_NORMAL && rotateSpecial_ == PTR_RP_NORMAL && !IsInRotateMode())
    return ReportResult(0, result);
  // A change of turn prints the sideways page; a synchronous write behind queued jobs
  // would lose it, so the request is refused with nothing changed.
  const bool printsPage = (rotateRight90_ || rotateLeft90_) && !transaction_ &&
                          !(rotationBuffers_[0].IsEmpty() && rotationBuffers_[1].IsEmpty());
  if (printsPage && IsBusy()) return ReportResult(OPOS_E_BUSY, result);
  rotatedPageResult_ = 0;
  rotateSpecial_ = SetRotation(rotation);
  return ReportResult(rotatedPageResult_, result);
}

LONG CPrinterBase::SetRotation(LONG rotation) {
  const LONG turn = rotation & kTurnMask;
  // The object bits mean nothing without a turn.
  if (turn == PTR_RP_NORMAL) rotation = PTR_RP_NORMAL;
  rotatedPageResult_ = PrintRotatedPage();
  partialLine_ = 0;
  carriedX_ = 0;
  widestLine_ = 0;
  rotatedTextLength_ = 0;
  widestRotatedObject_ = 0;

  // Upside-down printing is switched in the job itself where one is being collected; a
  // job sent later opens with the state in force then.
  auto turnUpsideDown = [&](int on) {
    if (rotate180_ != on) rotate180Toggled_ = 1;
    if (rotate180_ != on && transaction_ && !pageMode_ && cmdHelper_)
      cmdHelper_->SetUpsideDown(transactionBuffer_, on);
    rotate180_ = on;
  };

  if (rotation == PTR_RP_NORMAL) {
    turnUpsideDown(0);
    rotateRight90_ = rotateLeft90_ = 0;
    rotateBarcodes_ = rotateBitmaps_ = 0;
    // The page goes on in its own direction.
    if (pageMode_ && cmdHelper_)
      cmdHelper_->SetPageDirection(pageModeBuffer_, kDirectionNormal + PageDirectionInForce());
    return PTR_RP_NORMAL;
  }

  const LONG objects = rotation & kObjectMask;
  rotateBarcodes_ = (objects & PTR_RP_BARCODE) ? 1 : 0;
  rotateBitmaps_ = (objects & PTR_RP_BITMAP) ? 1 : 0;
  switch (turn) {
    case PTR_RP_ROTATE180: {
      rotateRight90_ = rotateLeft90_ = 0;
      const int wasTurned = rotate180_;
      turnUpsideDown(1);
      // A page-mode printer ignores ESC {: what follows on the page is laid out from the
      // opposite corner instead, which turns it half round.
      if (pageMode_ && !wasTurned && cmdHelper_)
        cmdHelper_->SetPageDirection(pageModeBuffer_, kDirectionNormal + PageDirectionInForce());
      break;
    }
    case PTR_RP_RIGHT90:
    case PTR_RP_LEFT90:
      turnUpsideDown(0);
      rotateRight90_ = turn == PTR_RP_RIGHT90;
      rotateLeft90_ = turn == PTR_RP_LEFT90;
      rotationDirection_ = cmdHelper_ ? cmdHelper_->GetPageDirectionForRotation(turn) : 0;
      break;
    default:
      break;
  }
  return rotation;
}

LONG CPrinterBase::PrintRotatedPage() {
  PrinterBuffer& text = rotationBuffers_[0];
  PrinterBuffer& objects = rotationBuffers_[1];
  if (!(rotateRight90_ || rotateLeft90_) || !cmdHelper_ || (text.IsEmpty() && objects.IsEmpty()))
    return 0;
  PrinterBuffer& target = transaction_ ? transactionBuffer_ : sendBuffer_;
  if (!transaction_) {
    // A job of its own, opened like every other.
    sendBuffer_.Clear();
    InitOutBufferInStandardMode(sendBuffer_);
  }
  // Objects that keep their orientation are pages (or lines) of their own.
  target.AppendBytes(objects.Data(), objects.Size());
  if (!text.IsEmpty()) {
    // The page is as long as its widest line and the margin, and no longer than the
    // printer's page.
    const std::int64_t widest = std::max(widestLine_, widestRotatedObject_);
    const LONG length =
        static_cast<LONG>(std::min<std::int64_t>(widest + rotationOffset_, H2V(pageAreaHeight_)));
    cmdHelper_->SelectPageMode(target);
    cmdHelper_->SetPageArea(target, 0, 0, static_cast<int>(printWidth_), static_cast<int>(length));
    cmdHelper_->SetPageDirection(target, rotationDirection_);
    target.AppendBytes(text.Data(), text.Size());
    cmdHelper_->SetPageDirection(target, kDirectionNormal);
    cmdHelper_->FormFeed(target);
  }
  text.Clear();
  objects.Clear();
  if (transaction_) return 0;
  const LONG code = Send(sendBuffer_, false);
  sendBuffer_.Clear();
  return code;
}

void CPrinterBase::SelectHPos(PrinterBuffer& out, char letter, LONG width) {
  SelectHPos(out, letter, width, pageModeHorizontalPosition_);
}

// ESC $ counts along the line: vertical dots when lines run along the paper.
void CPrinterBase::SelectHPos(PrinterBuffer& out, char letter, LONG width, LONG leftPosition) {
  if (!cmdHelper_) return;
  const bool quarterTurn = rotateRight90_ || rotateLeft90_;
  const LONG reference = quarterTurn       ? std::max(widestLine_, widestRotatedObject_)
                         : IsVerticalPage() ? H2V(pageModePrintHeight_)
                                            : pageModePrintWidth_;
  switch (letter) {
    case 'c':
      if (width < reference) cmdHelper_->SetAbsolutePosition(out, static_cast<int>((reference - width) / 2));
      break;
    case 'r':
      if (width < reference) cmdHelper_->SetAbsolutePosition(out, static_cast<int>(reference - width));
      break;
    case 'l':
      if (pageMode_) {
        const LONG x = quarterTurn ? 0 : IsVerticalPage() ? H2V(leftPosition) : leftPosition;
        cmdHelper_->SetAbsolutePosition(out, static_cast<int>(x));
      }
      break;
    default:
      break;
  }
}

void CPrinterBase::WritePendingPrintArea(PrinterBuffer& out) {
  if (!printAreaPending_ || !cmdHelper_) return;
  cmdHelper_->SetPageArea(out, static_cast<int>(pageModePrintX_), static_cast<int>(H2V(pageModePrintY_)),
                          static_cast<int>(pageModePrintWidth_),
                          static_cast<int>(H2V(pageModePrintHeight_)));
  printAreaPending_ = 0;
}

// A transaction's boundaries end page mode and every turn: what they collected is
// printed first (into the transaction when one is open).
void CPrinterBase::LeaveLayoutModes() {
  if (pageMode_) {
    // The printer keeps ESC T after the page: a page turned half round ends in its own
    // direction, as the next page expects.
    if (rotate180_ && cmdHelper_)
      cmdHelper_->SetPageDirection(pageModeBuffer_,
                                   kDirectionNormal + static_cast<int>(pageModePrintDirection_ - 1));
    pageMode_ = 0;
    PrintCollectedPage();
    pageModeBuffer_.Clear();
  }
  if (IsInRotateMode()) rotateSpecial_ = SetRotation(PTR_RP_NORMAL);
}

}  // namespace Tesk::Printer

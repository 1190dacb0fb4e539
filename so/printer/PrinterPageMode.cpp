// OPOS page mode: entering it, printing, keeping and discarding the collected page.
#include "ICmdHelper.h"
#include "OposConstants.h"
#include "PrinterBase.h"

namespace Tesk::Printer {

namespace {

LONG Finish(CPrinterBase& engine, LONG code, LONG* result) {
  const LONG stored = engine.SetRC(code);
  if (result) *result = stored;
  return 0;
}

}  // namespace

// Prints the collected page as a whole page-mode job. The page stays collected; the
// caller decides whether page mode ends.
LONG CPrinterBase::PrintCollectedPage() {
  if (pageModeBuffer_.IsEmpty()) return 0;
  if (transaction_) {
    cmdHelper_->SelectPageMode(transactionBuffer_);
    transactionBuffer_.AppendBytes(pageModeBuffer_.Data(), pageModeBuffer_.Size());
    cmdHelper_->FormFeed(transactionBuffer_);
    return 0;
  }
  sendBuffer_.Clear();
  InitOutBufferInPageMode(sendBuffer_);
  sendBuffer_.AppendBytes(pageModeBuffer_.Data(), pageModeBuffer_.Size());
  cmdHelper_->FormFeed(sendBuffer_);
  const LONG code = Send(sendBuffer_, false);
  sendBuffer_.Clear();
  return code;
}

LONG CPrinterBase::PageModePrint(LONG control, LONG* result) {
  if (pageModeStation_ != PTR_S_RECEIPT || !Capability(PIDXPtr_CapRecPageMode))
    return Finish(*this, OPOS_E_ILLEGAL, result);
  if (control < PTR_PM_PAGE_MODE || control > PTR_PM_CANCEL)
    return Finish(*this, OPOS_E_ILLEGAL, result);
  if (!pageMode_ && control != PTR_PM_PAGE_MODE) return Finish(*this, OPOS_E_ILLEGAL, result);
  if ((control == PTR_PM_PRINT_SAVE || control == PTR_PM_NORMAL) && IsBusy())
    return Finish(*this, OPOS_E_BUSY, result);
  if (rotateRight90_ || rotateLeft90_ || rotate180_) rotateSpecial_ = SetRotation(PTR_RP_NORMAL);

  LONG code = 0;
  switch (control) {
    case PTR_PM_PAGE_MODE:
      if (!pageMode_) {
        pageModeBuffer_.Clear();
        rotatedTextLength_ = 0;
        widestRotatedObject_ = 0;
        partialLine_ = 0;
        carriedX_ = 0;
        widestLine_ = 0;
        printAreaPending_ = 1;
        pageMode_ = 1;
        // A direction chosen before page mode began turns the page from its start.
        if (pageModePrintDirection_ != PTR_PD_LEFT_TO_RIGHT)
          SetPageModePrintDirection(pageModePrintDirection_);
      }
      break;
    case PTR_PM_PRINT_SAVE:
      // The saved page is printed like a finished one (page mode selected, then the page
      // and a form feed), so that printing it twice gives the same page twice.
      code = PrintCollectedPage();
      break;
    case PTR_PM_NORMAL:
      pageMode_ = 0;
      code = PrintCollectedPage();
      pageModeBuffer_.Clear();
      break;
    case PTR_PM_CANCEL:
      pageMode_ = 0;
      pageModeBuffer_.Clear();
      break;
  }
  return Finish(*this, code, result);
}

// Blanks the print area on the collected page; the area is written in the same dots and
// with the same vertical scaling as when page-mode text sets it.
LONG CPrinterBase::ClearPrintArea(LONG* result) {
  if (!pageMode_ || pageModeStation_ != PTR_S_RECEIPT) return Finish(*this, OPOS_E_ILLEGAL, result);
  cmdHelper_->SetPageArea(pageModeBuffer_, pageModePrintX_, H2V(pageModePrintY_),
                          pageModePrintWidth_, H2V(pageModePrintHeight_));
  cmdHelper_->CancelPageData(pageModeBuffer_);
  return Finish(*this, 0, result);
}

}  // namespace Tesk::Printer

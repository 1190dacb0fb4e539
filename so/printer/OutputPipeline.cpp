// The output methods: text conversion, the job-opening block, pending settings,
// transactions and cuts, on the way to Send.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "ICmdHelper.h"
#include "OposConstants.h"
#include "PrinterBase.h"
#include "PrinterPort.h"
#include "PrinterWorker.h"
#include "platform/codepage.h"

namespace Tesk::Printer {
namespace {

// One counter for the whole process, as OutputIDs are unique per process.
std::atomic<LONG> outputIdCounter{0};
constexpr LONG kOutputIdWrap = 2147483646;  // 0x7FFFFFFE

// Codes above 200 travel as OPOS_E_EXTENDED with the code as the extended reason.
LONG StoreResult(CPrinterBase& engine, LONG code, LONG* result) {
  const LONG stored = engine.SetRC(code);
  if (result) *result = stored;
  return 0;
}

// Room for `bytes` in one allocation; the translator's output is about as long as its
// input, and a multi-megabyte job must not be regrown a step at a time.
void ReserveFor(PrinterBuffer& buffer, size_t bytes) {
  constexpr size_t kLimit = 0x7FFFFFFF - 4096;
  buffer.Reserve(static_cast<std::int32_t>(std::min(bytes + 256, kLimit)));
}

}  // namespace

LONG CPrinterBase::CurrentOutputId() { return outputIdCounter.load(); }

LONG CPrinterBase::NextOutputId() {
  LONG expected = outputIdCounter.load();
  LONG next;
  do {
    next = expected + 1;
    if (next >= kOutputIdWrap) next = 1;
  } while (!outputIdCounter.compare_exchange_weak(expected, next));
  return next;
}

void CPrinterBase::ResetOutputId() { outputIdCounter.store(0); }

void CPrinterBase::SetOutputIdCounter(LONG value) { outputIdCounter.store(value); }

int CPrinterBase::IsDirectSend() const {
  return !transaction_ && !pageMode_ && !rotateRight90_ && !rotateLeft90_;
}

PrinterBuffer* CPrinterBase::CurrentPrinterBuffer() {
  if (rotateRight90_ || rotateLeft90_) return &rotationBuffers_[0];
  if (pageMode_) return &pageModeBuffer_;
  if (transaction_) return &transactionBuffer_;
  return nullptr;
}

LONG CPrinterBase::BStr2Char(const std::wstring& text, std::string& bytes, UINT* codePage) {
  UINT page = 0;  // the system ANSI code page under BinaryConversion
  if (binaryConversion_ == 0) {
    // Converted with the page whose table the job selects (850 stays 850, not 1252).
    const CodePagePair pages = PrintCodePages(characterSet_);
    page = pages.conversion;
    if (codePage) *codePage = static_cast<UINT>(pages.table);
  }
  // One pass: sizing first and converting again would convert every job twice.
  bytes = platform::WideToCodePage(text, page);
  return static_cast<LONG>(bytes.size());
}

void CPrinterBase::DataBinaryConversion(PrinterBuffer& target, const std::wstring& text) {
  std::string bytes;
  BStr2Char(text, bytes, nullptr);
  DataBinaryConversion2(target, bytes);
}

void CPrinterBase::DataBinaryConversion2(PrinterBuffer& target, const std::string& bytes) {
  const auto* data = reinterpret_cast<const BYTE*>(bytes.data());
  const size_t size = bytes.size();
  // Sized once: growing a step at a time would copy a large job over and over.
  ReserveFor(target, static_cast<size_t>(target.Size()) + size);
  switch (binaryConversion_) {
    case OPOS_BC_NIBBLE:
      for (size_t i = 0; i + 1 < size; i += 2) {
        if (data[i] == 0 || data[i + 1] == 0) break;
        target.Append(static_cast<BYTE>((data[i] << 4) | static_cast<BYTE>(data[i + 1] - 0x30)));
      }
      break;
    case OPOS_BC_DECIMAL:
      for (size_t i = 0; i + 2 < size; i += 3) {
        char group[4] = {};
        bool ended = false;
        for (int k = 0; k < 3; ++k) {
          const BYTE c = data[i + static_cast<size_t>(k)];
          if (c == 0) ended = true;
          group[k] = (c == 0x08 || c == 0x1B) ? '0' : static_cast<char>(c);
        }
        if (ended) break;
        target.Append(static_cast<BYTE>(std::atoi(group)));
      }
      break;
    default: {
      const void* zero = std::memchr(data, 0, size);
      const size_t length = zero ? static_cast<size_t>(static_cast<const BYTE*>(zero) - data) : size;
      target.AppendBytes(data, static_cast<std::int32_t>(length));
      break;
    }
  }
}

void CPrinterBase::InitOutBufferWithPMControl(PrinterBuffer& buffer, int mode) {
  cmdHelper_->SelectPeripheral(buffer, 1);
  cmdHelper_->SetJustification(buffer, 0);
  cmdHelper_->SetLeftMargin(buffer, 0);
  // The turn in force: a fixed "off" here would cancel the upside-down printing that the
  // pending settings put in front of the job.
  cmdHelper_->SetUpsideDown(buffer, rotate180_);
  // The code page goes with the pending settings, in front of the whole job.
  cmdHelper_->SelectCodePage(pendingSettingsBuffer_, PrintCodePages(characterSet_).table);
  // The font SelectFont chose for RecLineChars, as the translator's resets use it.
  cmdHelper_->SetPrintMode(buffer, currentFont_ == 1 ? 1 : 0, 0, 0, 0, 0);
  cmdHelper_->SetSmoothing(buffer, recLetterQuality_);
  cmdHelper_->SetLineSpacing(buffer, GetRecLineSpacing());
  if (mode == 1) {
    buffer.Append(0x0A);
    cmdHelper_->SelectPageMode(buffer);
  }
}

void CPrinterBase::set_printerSettings(PrinterBuffer& buffer) {
  if (!cmdHelper_) return;
  if (rotate180Toggled_) cmdHelper_->SetUpsideDown(pendingSettingsBuffer_, rotate180_);
  if (characterSetChanged_) {
    cmdHelper_->SelectCodePage(pendingSettingsBuffer_, PrintCodePages(characterSet_).table);
    characterSetChanged_ = 0;
  }
  if (fontChanged_) {
    cmdHelper_->SelectCharacterFont(pendingSettingsBuffer_, currentFont_);
    fontChanged_ = 0;
  }
  if (lineSpacingChanged_) {
    cmdHelper_->SetLineSpacing(pendingSettingsBuffer_, GetRecLineSpacing());
    lineSpacingChanged_ = 0;
  }
  if (lineWidthChanged_) {
    if (recLineWidth_ > printWidth_) recLineWidth_ = printWidth_;
    cmdHelper_->SetPrintAreaWidth(pendingSettingsBuffer_, recLineWidth_ & 0xFFFF);
    lineWidthChanged_ = 0;
  }
  if (letterQualityChanged_) {
    cmdHelper_->SetSmoothing(pendingSettingsBuffer_, recLetterQuality_);
    letterQualityChanged_ = 0;
  }
  if (!pendingSettingsBuffer_.IsEmpty()) {
    buffer.InsertBytes(buffer.Data(), pendingSettingsBuffer_.Data(),
                       pendingSettingsBuffer_.Data() + pendingSettingsBuffer_.Size());
    pendingSettingsBuffer_.Clear();
  }
}

LONG CPrinterBase::PrintNormal(LONG /*station*/, const std::wstring& data, LONG* result) {
  if (IsDirectSend() && IsBusy())
    return StoreResult(*this, OPOS_E_BUSY, result);
  if (!asyncMode_) {
    if (GetLastStatus().coverOpen) return StoreResult(*this, OPOS_EPTR_COVER_OPEN, result);
    if (GetLastStatus().paperEnd) return StoreResult(*this, OPOS_EPTR_REC_EMPTY, result);
  }
  SetRC(0);
  const bool quarterTurn = rotateRight90_ || rotateLeft90_;
  if (pageMode_) {
    // Text outside an empty print area has nowhere to go.
    if (!PageModePrintAreaIsEffective()) return StoreResult(*this, 0, result);
    // The area belongs to the page, also when a quarter turn collects the text.
    WritePendingPrintArea(pageModeBuffer_);
  }
  conversionBuffer_.Clear();
  DataBinaryConversion(conversionBuffer_, data);
  formatOutputBuffer_.Clear();
  ReserveFor(formatOutputBuffer_, static_cast<size_t>(conversionBuffer_.Size()));
  {
    // Only PrintNormal's text is laid out in the page; the flag ends with the call, also
    // when a buffer cannot grow.
    struct LayoutScope {
      int& flag;
      explicit LayoutScope(int& f) : flag(f) { flag = 1; }
      ~LayoutScope() { flag = 0; }
    } layout{pageTextLayout_};
    FormatStringToOutBuffer(formatOutputBuffer_, conversionBuffer_, 0);
  }

  if (PrinterBuffer* deferred = CurrentPrinterBuffer()) {
    if (pageMode_) {
      // The first line's baseline; across-the-line positions count in horizontal dots
      // when lines run along the paper.
      const LONG baseline = pageModeVerticalPosition_ + recLineSpacing_;
      cmdHelper_->SetAbsoluteVerticalPosition(
          *deferred, static_cast<int>((quarterTurn || IsVerticalPage()) ? baseline : H2V(baseline)));
    } else if (transaction_ && !quarterTurn) {
      ClearFormatInStd(*deferred);
    }
    deferred->AppendBytes(formatOutputBuffer_.Data(), formatOutputBuffer_.Size());
    return StoreResult(*this, 0, result);
  }
  sendBuffer_.Clear();
  InitOutBufferInStandardMode(sendBuffer_);
  // A job past the buffer's 32-bit limit is refused, not sent cut short.
  if (!sendBuffer_.AppendBytes(formatOutputBuffer_.Data(), formatOutputBuffer_.Size()))
    return StoreResult(*this, OPOS_E_FAILURE, result);
  return StoreResult(*this, Send(sendBuffer_, false), result);
}

LONG CPrinterBase::PrintImmediate(LONG /*station*/, const std::wstring& data, LONG* result) {
  if (!asyncMode_) {
    if (GetLastStatus().coverOpen) return StoreResult(*this, OPOS_EPTR_COVER_OPEN, result);
    if (GetLastStatus().paperEnd) return StoreResult(*this, OPOS_EPTR_REC_EMPTY, result);
  }
  UINT codePage = 0;
  std::string bytes;
  BStr2Char(data, bytes, &codePage);
  conversionBuffer_.Clear();
  DataBinaryConversion2(conversionBuffer_, bytes);
  formatOutputBuffer_.Clear();
  ReserveFor(formatOutputBuffer_, static_cast<size_t>(conversionBuffer_.Size()));
  InitOutBufferInStandardMode(formatOutputBuffer_);
  if (binaryConversion_) {
    // Binary bytes of 0x80 and above must not be read as double-byte lead bytes.
    cmdHelper_->SetKanjiMode(formatOutputBuffer_, 0);
  } else {
    cmdHelper_->SelectCodePage(formatOutputBuffer_, static_cast<LONG>(codePage));
  }
  FormatStringToOutBuffer(formatOutputBuffer_, conversionBuffer_, 0);
  return StoreResult(*this, Send(formatOutputBuffer_, false), result);
}

LONG CPrinterBase::printImmediate(const std::string& text) {
  conversionBuffer_.Clear();
  conversionBuffer_.AppendBytes(text.data(), static_cast<std::int32_t>(text.size()));
  formatOutputBuffer_.Clear();
  InitOutBufferInStandardMode(formatOutputBuffer_);
  FormatStringToOutBuffer(formatOutputBuffer_, conversionBuffer_, 0);
  // The engine's own printout (the health check) goes out at once, also in AsyncMode.
  return SendNow(formatOutputBuffer_);
}

LONG CPrinterBase::PrintTwoNormal(LONG, const std::wstring&, const std::wstring&, LONG* result) {
  return StoreResult(*this, 300, result);  // only the receipt station exists
}

LONG CPrinterBase::TransactionPrint(LONG station, LONG control, LONG* result) {
  if (station != PTR_S_RECEIPT) return StoreResult(*this, 300, result);
  LONG code = 0;
  if (control == PTR_TP_NORMAL && transaction_) {
    LeaveLayoutModes();
    if (!asyncMode_ && worker_ && !worker_->IsIdle())
      return StoreResult(*this, OPOS_E_BUSY, result);
    code = Send(transactionBuffer_, false);
    transactionBuffer_.Clear();
    transaction_ = 0;
  } else if (control == PTR_TP_TRANSACTION && !transaction_) {
    LeaveLayoutModes();
    transactionBuffer_.Clear();
    transaction_ = 1;
    InitOutBufferInStandardMode(transactionBuffer_);
  } else {
    transaction_ = control == PTR_TP_TRANSACTION ? 1 : 0;
  }
  return StoreResult(*this, code, result);
}

LONG CPrinterBase::ValidateData(LONG station, const std::wstring& data, LONG* result) {
  if (station != PTR_S_RECEIPT) {
    // ResultCode is left alone; only the out result carries the verdict.
    if (result) *result = OPOS_E_EXTENDED;
    return 0;
  }
  conversionBuffer_.Clear();
  DataBinaryConversion(conversionBuffer_, data);
  sendBuffer_.Clear();
  const LONG code = FormatStringToOutBuffer(sendBuffer_, conversionBuffer_, 1);
  sendBuffer_.Clear();
  if (result) *result = code;
  return 0;
}

LONG CPrinterBase::CutPaper(LONG percentage, LONG* result) {
  if (IsBusy())
    return StoreResult(*this, OPOS_E_BUSY, result);
  if (pageMode_ || percentage < 1 || percentage > 100 || !Capability(PIDXPtr_CapRecPapercut))
    return StoreResult(*this, OPOS_E_ILLEGAL, result);
  if (rotateRight90_ || rotateLeft90_) return StoreResult(*this, 0, result);
  if (!asyncMode_) {
    if (GetLastStatus().coverOpen) return StoreResult(*this, OPOS_EPTR_COVER_OPEN, result);
    if (GetLastStatus().paperEnd) return StoreResult(*this, OPOS_EPTR_REC_EMPTY, result);
  }
  PrinterBuffer* target = CurrentPrinterBuffer();
  if (!target) {
    sendBuffer_.Clear();
    target = &sendBuffer_;
  }
  if (percentage == 100) {
    cmdHelper_->FeedAndFullCut(*target);
  } else {
    cmdHelper_->FeedAndPartialCut(*target);
  }
  return StoreResult(*this, IsDirectSend() ? Send(*target, false) : 0, result);
}

void CPrinterBase::Retry() {
  if (opened_ && claimed_ && enabled_ && worker_) worker_->Retry();
}

}  // namespace Tesk::Printer

// Engine construction, lifecycle (open, claim, enable, release, close) and results.
#include "PrinterBase.h"

#include <algorithm>
#include <cstring>

#include "ICmdHelper.h"
#include "IPort.h"
#include "PortFactory.h"
#include "PortSettings.h"
#include "OposConstants.h"
#include "PrinterPort.h"
#include "PrinterWorker.h"
#include "platform/sync.h"

namespace Tesk::Printer {

CPrinterBase::CPrinterBase() { InitProperty(); }

CPrinterBase::CPrinterBase(const CPrinterBase& other) = default;
CPrinterBase& CPrinterBase::operator=(const CPrinterBase& other) = default;
CPrinterBase::~CPrinterBase() = default;

// The construction stage of the property values; the model's set-up and the open
// stage override parts of it.
void CPrinterBase::InitProperty() {
  printWidth_ = 576;
  dotSizeH_ = dotSizeV_ = 0.125f;
  cutDistance_ = 2100;
  pageAreaWidth_ = printWidth_;
  pageAreaHeight_ = 1000;

  // Models without their own font lists keep the full construction list, so that
  // CharacterSetList never turns empty when a font is applied.
  const std::wstring allCharacterSets =
      L"255,437,850,852,858,860,863,865,866,932,936,949,997,998,999,1252";
  fonts_ = {};
  fonts_[0] = PrinterFont{L'A', 12, 24, allCharacterSets};
  fonts_[1] = PrinterFont{L'B', 9, 17, allCharacterSets};
  fontCount_ = 2;
  currentFont_ = 0;
  charWidth_ = fonts_[0].width;
  charHeight_ = fonts_[0].height;
  characterSetList_ = allCharacterSets;

  drawerOpenLevel_ = 0;
  drawerPin_ = 1;
  drawerStatusCapability_ = 0;
  drawerOnTime_ = 25;
  drawerOffTime_ = 255;
  characterSetChanged_ = fontChanged_ = lineSpacingChanged_ = lineWidthChanged_ = 0;
  letterQualityChanged_ = printAreaPending_ = 0;

  asyncMode_ = 0;
  bitmapMode_ = 0;
  binaryConversion_ = 0;
  recLineWidth_ = 576;
  recSidewaysMaxChars_ = 138;
  recSidewaysMaxLines_ = 17;
  slipValues_.fill(0);
  cartridgeNotify_ = 0;
  jrnCartridgeState_ = PTR_CART_UNKNOWN;
  jrnCurrentCartridge_ = 0;
  recCartridgeState_ = 0;
  recCurrentCartridge_ = 1;
  slpPrintSide_ = slpCartridgeState_ = slpCurrentCartridge_ = 0;
  mapCharacterSet_ = 0;
  pageModeDescriptor_ = 15;

  recLineCharsList_ = L"48,64";
  fontTypefaceList_ = L"A,B";
  recBarCodeRotationList_ = L"0,R90,L90,180";
  recBitmapRotationList_ = L"0,R90,L90,180";
  pageModeArea_ = std::to_wstring(printWidth_) + L"," + std::to_wstring(pageAreaHeight_);

  deviceDescription_ = L"Corlin High Performance Printer";
  modelName_ = L"Corlin Printer";
  makerName_ = "Corlin";
  firmwareVersion_ = "1.00";
  checkHealthText_.clear();

  opened_ = claimed_ = enabled_ = 0;
  queryInfoAtClaim_ = asbCapable_ = asbInUse_ = 0;
  statusMethod_ = 2;

  capabilities_.fill(0);
  SetCapability(PIDXPtr_CapCoverSensor, 1);
  for (LONG index = PIDXPtr_CapRecBarCode; index <= PIDXPtr_CapRecEmptySensor; ++index)
    SetCapability(index, 1);
  for (LONG index = PIDXPtr_CapRecLeft90; index <= PIDXPtr_CapRecRotate180; ++index)
    SetCapability(index, 1);
  SetCapability(PIDXPtr_CapRecUnderline, 1);
  SetCapability(PIDXPtr_CapCharacterSet, PTR_CCS_ASCII);
  SetCapability(PIDXPtr_CapTransaction, 1);
  SetCapability(PIDXPtr_CapRecColor, 1);
  SetCapability(PIDXPtr_CapRecPageMode, 1);
}

LONG CPrinterBase::Capability(LONG index) const {
  if (index < kFirstCapabilityIndex || index > kLastCapabilityIndex) return 0;
  return capabilities_[static_cast<size_t>(index - kFirstCapabilityIndex)];
}

void CPrinterBase::SetCapability(LONG index, LONG value) {
  if (index < kFirstCapabilityIndex || index > kLastCapabilityIndex) return;
  capabilities_[static_cast<size_t>(index - kFirstCapabilityIndex)] = value;
}

// The open stage of the property values; the models add theirs after it.
void CPrinterBase::SetProperty_Open() {
  resultCode_ = 0;
  resultCodeExtended_ = 0;
  errorNumber_ = 0;
  errorText_.clear();

  {
    std::lock_guard<std::mutex> lock(statusMutex_.mutex);
    lastStatus_ = tagPrinterStatus{};
    lastStatus_.paperEnd = 1;
    lastStatus_.nearEnd = 1;
    paperStateRead_ = 0;
  }

  binaryConversion_ = 0;
  mapMode_ = PTR_MM_DOTS;
  errorStation_ = PTR_S_RECEIPT;
  errorLevel_ = PTR_EL_NONE;
  rotateSpecial_ = PTR_RP_NORMAL;
  characterSet_ = 437;
  recLetterQuality_ = 0;

  pageModeHorizontalPosition_ = 0;
  pageModeVerticalPosition_ = 0;
  pageModePrintDirection_ = 1;
  pageModeStation_ = 0;
  pageModePrintX_ = pageModePrintY_ = pageModePrintWidth_ = pageModePrintHeight_ = 0;
  pageModePrintArea_ = L"0,0,0,0";
  transaction_ = 0;
  pageMode_ = 0;
  rotateRight90_ = rotateLeft90_ = rotate180_ = 0;
  characterSetChanged_ = fontChanged_ = lineSpacingChanged_ = lineWidthChanged_ = 0;
  letterQualityChanged_ = rotate180Toggled_ = printAreaPending_ = 0;
  rotateBarcodes_ = rotateBitmaps_ = 0;
  // A MapMode of the previous session may have rewritten it; MapMode is dots again.
  pageModeArea_ = std::to_wstring(pageAreaWidth_) + L"," + std::to_wstring(pageAreaHeight_);

  recLineChars_ = 48;
  formatLineLength_ = 48;
  currentFont_ = 0;
  recLineWidth_ = 576;
  recSidewaysMaxChars_ = 138;
  recSidewaysMaxLines_ = 17;
  charWidth_ = fonts_[0].width;
  charHeight_ = fonts_[0].height;
  recLineHeight_ = charHeight_;
  recLineSpacing_ = static_cast<LONG>(1.5 * charHeight_);
  recLinesToPaperCut_ = 5;
  ClearBitmapTable();
}

// Applies a font of the table and recomputes the receipt metrics from it.
void CPrinterBase::SetFont(int fontIndex) {
  if (fontIndex < 0 || fontIndex >= kMaxFonts) return;
  const PrinterFont& font = fonts_[static_cast<size_t>(fontIndex)];
  // Lines run along the paper when rotated 90° or when page mode prints vertically.
  const bool verticalPage =
      pageMode_ && (pageModePrintDirection_ == 2 || pageModePrintDirection_ == 4);
  const bool sideways = rotateRight90_ || rotateLeft90_ || verticalPage;
  if (!sideways && font.width > 0) {
    recLineWidth_ = printWidth_;
    recLineChars_ = printWidth_ / font.width;
  }
  recLineHeight_ = font.height;
  recLineSpacing_ = static_cast<LONG>(font.height * 1.25);
  const double spacingMm = recLineSpacing_ * static_cast<double>(dotSizeH_);
  if (spacingMm > 0) {
    recLinesToPaperCut_ = static_cast<LONG>((cutDistance_ / 10) / spacingMm) / 10 + 1;
  }
  currentFont_ = fontIndex;
  charWidth_ = font.width;
  charHeight_ = font.height;
  characterSetList_ = font.characterSetList;
  const LONG sidewaysCell =
      dotSizeV_ > 0 ? static_cast<LONG>(font.width * dotSizeH_ / dotSizeV_) : 0;
  if (sidewaysCell > 0) recSidewaysMaxChars_ = pageAreaHeight_ / sidewaysCell;
  if (font.height > 0) recSidewaysMaxLines_ = pageAreaWidth_ / font.height;
}

LONG CPrinterBase::SetRC(LONG code) {
  if (code <= 200) {
    resultCode_ = code;
    resultCodeExtended_ = 0;
  } else {
    resultCode_ = OPOS_E_EXTENDED;
    resultCodeExtended_ = code;
  }
  return resultCode_;
}

LONG CPrinterBase::ReportResult(LONG code, LONG* result) {
  const LONG stored = SetRC(code);
  if (result) *result = stored;
  return 0;
}

LONG CPrinterBase::SetPortSettings(Tesk::IO::IPortSettings* settings, LONG* /*result*/) {
  if (!settings) return 0;
  if (settings->GetPortType() == L"USB") {
    if (auto* usb = dynamic_cast<Tesk::IO::USBPortSettings*>(settings))
      usb->SetModelName(modelName_);
  }
  std::shared_ptr<Tesk::IO::IPort> port = Tesk::IO::CreatePort(*settings);
  printerPort_ = std::make_shared<CPrinterPort>(std::move(port));
  return 0;
}

LONG CPrinterBase::OpenServiceW(const std::wstring& deviceName, IPrinterEventHandle* events,
                                LONG* openResult) {
  if (!opened_) {
    if (!printerPort_ || !printerPort_->TryLock()) {
      if (openResult) *openResult = OPOS_ORS_NOPORT;
      return 0;
    }
    const bool probed = printerPort_->GetPort()->TestOpen();
    printerPort_->Unlock();
    if (!probed) {
      if (openResult) *openResult = OPOS_ORS_NOPORT;
      return 0;
    }
    if (openResult) *openResult = 0;
    eventObject_ = std::make_shared<CPrinterEventObject>(events);
    worker_ = std::make_shared<CPrinterTaskThreadContext>(printerPort_, eventObject_);

    const std::wstring type = printerPort_->GetPortType();
    isUsb_ = type == L"USB";
    isCom_ = type == L"COM";
    isLpt_ = type == L"LPT";
    isTcpIp_ = type == L"TCP/IP";
    alternateDevice_ = printerPort_->GetPort()->IsAlternateDevice();
    bidirectional_ = 1;
    asbInUse_ = 0;
  }
  deviceName_ = deviceName;
  SetProperty_Open();
  claimed_ = 0;
  enabled_ = 0;
  opened_ = 1;
  return 0;
}

LONG CPrinterBase::ClaimDevice(LONG timeout, LONG* result) {
  if (!opened_) {
    resultCode_ = OPOS_E_CLOSED;
    resultCodeExtended_ = 0;
    if (result) *result = OPOS_E_CLOSED;
    return 0;
  }
  if ((result && *result != 0) || claimed_) return 0;
  claimTimeout_ = timeout;  // kept: the claim never waits
  resultCode_ = OPOS_E_ILLEGAL;
  resultCodeExtended_ = 0;
  if (result) *result = OPOS_E_ILLEGAL;

  if (!printerPort_ || !printerPort_->TryLock()) {
    if (result) *result = OPOS_E_BUSY;
    return 0;
  }
  LONG openCode = 0;
  const bool portOpened = printerPort_->Open(&openCode);
  printerPort_->Unlock();
  if (!portOpened) return 0;

  claimed_ = 1;
  ExecuteClaimDevice();  // a failed set-up still leaves the device claimed
  resultCode_ = 0;
  resultCodeExtended_ = 0;
  if (result) *result = 0;
  return 0;
}

// The printer set-up sent at every claim.
LONG CPrinterBase::ExecuteClaimDevice() {
  if (!cmdHelper_) return OPOS_E_NOHARDWARE;
  commandBuffer_.Clear();
  cmdHelper_->InitializePrinter(commandBuffer_);
  LONG code = DirectSend(commandBuffer_, false, 7);
  if (code != 0) return code;
  Sleep(100);

  commandBuffer_.Clear();
  AppendClaimSetup(commandBuffer_);
  code = DirectSend(commandBuffer_, false, 7);
  if (code != 0) return code;
  RestoreDownloadedBitmap();  // ESC @ emptied the printer's downloaded-image area
  UpdateRestoreBytes();

  bidirectional_ = IsSupportBidi();
  if (!bidirectional_ && (isLpt_ || alternateDevice_)) {
    // The printer proves it can answer by replying to GS r 1.
    commandBuffer_.Clear();
    cmdHelper_->QueryPaperSensor(commandBuffer_);
    LONG count = 0;
    SendAndReadData(commandBuffer_, nullptr, 0, 1, &count);
    bidirectional_ = count > 0 ? 1 : 0;
  }
  asbInUse_ = (asbCapable_ && bidirectional_ && (isCom_ || isTcpIp_ || isLpt_)) ? 1 : 0;

  if (!bidirectional_) return 0;
  if (queryInfoAtClaim_) return RefreshPrinterInfo();
  return 0;
}

// Asks the printer for its firmware, maker, model and type; each answer replaces the
// model's default.
LONG CPrinterBase::RefreshPrinterInfo() {
  constexpr LONG kReplySize = 64;
  constexpr DWORD kTimeout = 2000;
  // Sends the query in the command buffer and reads its text answer.
  auto askText = [&](std::string& answer) -> LONG {
    BYTE reply[kReplySize + 1] = {};
    LONG code = DirectSend(commandBuffer_, false, 7);
    if (code != 0) return code;
    Sleep(50);
    LONG count = 0;
    // Replies are framed as "_" text NUL.
    code = ReadData(reply, 0, kReplySize, 0x5F, 0x00, &count, kTimeout);
    if (code != 0) return code;
    answer.assign(reinterpret_cast<const char*>(reply),
                  static_cast<size_t>(std::clamp<LONG>(count, 0, kReplySize)));
    return 0;
  };

  std::string firmware, maker, model;
  commandBuffer_.Clear();
  cmdHelper_->QueryFirmwareVersion(commandBuffer_);
  LONG code = askText(firmware);
  if (code != 0) return code;
  firmwareVersion_ = firmware.substr(0, 255);
  commandBuffer_.Clear();
  cmdHelper_->QueryMakerName(commandBuffer_);
  code = askText(maker);
  if (code != 0) return code;
  makerName_ = maker.substr(0, 255);
  commandBuffer_.Clear();
  cmdHelper_->SelectPeripheral(commandBuffer_, 1);
  cmdHelper_->QueryModelName(commandBuffer_);
  code = askText(model);
  if (code != 0) return code;
  // The printer answers in ASCII; longer names are cut to the field's 29 characters.
  std::wstring wideModel(model.begin(), model.end());
  modelName_ = wideModel.substr(0, 29);

  commandBuffer_.Clear();
  cmdHelper_->SelectPeripheral(commandBuffer_, 1);
  cmdHelper_->QueryTypeId(commandBuffer_);
  BYTE typeId = 0;
  LONG count = 0;
  code = SendAndReadData(commandBuffer_, &typeId, 0, 1, &count);
  if (code != 0) return code;
  SetCapability(PIDXPtr_CapRecPapercut, (typeId & 0x02) ? 1 : 0);
  return 0;
}

int CPrinterBase::DeviceEnable(int enable) {
  enable = enable ? 1 : 0;
  if (!opened_ || !claimed_ || enable == enabled_) return 0;
  if (enable && !printerPort_) return 0;
  enabled_ = enable;
  if (!enable) {
    DisableDevice();
    return 1;
  }

  if (cmdHelper_) {
    commandBuffer_.Clear();
    cmdHelper_->SelectPeripheral(commandBuffer_, 1);
    cmdHelper_->SetLineSpacing(commandBuffer_, GetRecLineSpacing());
    cmdHelper_->SetPrintMode(commandBuffer_, 0, 0, 0, 0, 0);
    cmdHelper_->SetJustification(commandBuffer_, 0);
    cmdHelper_->SetUnderline(commandBuffer_, 0);
    DirectSend(commandBuffer_, false, 7);
  }

  if (eventObject_) eventObject_->Enable(true);
  if (worker_) {
    worker_->SetPollInterval(isUsb_ ? CPrinterTaskThreadContext::kUsbPollIntervalMs
                                    : CPrinterTaskThreadContext::kPollIntervalMs);
  }

  if (asbInUse_) {
    // Off COM ports the initial report is read by query with ASB off; on COM it
    // arrives as the first ASB block after switching it on.
    if (!isCom_) {
      asbInUse_ = 0;
      GetPrinterState(true);
      asbInUse_ = 1;
    }
    if (cmdHelper_) {
      commandBuffer_.Clear();
      cmdHelper_->SetAutoStatusBack(commandBuffer_, 0xFF);
      DirectSend(commandBuffer_, false, 7);
    }
    if (isCom_) GetPrinterState(true);
  } else {
    GetPrinterState(true);
  }

  UpdateRestoreBytes();
  if (worker_) worker_->StartForEnable();
  return 1;
}

void CPrinterBase::DisableDevice() {
  UpdateRestoreBytes();
  if (worker_) worker_->Suspend();
  if (eventObject_) eventObject_->Enable(false);
  LONG ignored = 0;
  ClearOutput(&ignored);
}

LONG CPrinterBase::ReleaseDevice(LONG* result) {
  if (result) *result = 0;
  if (enabled_ && opened_) {
    enabled_ = 0;
    DisableDevice();
  }
  if (!claimed_) return 0;
  claimed_ = 0;
  if (!printerPort_) return 0;
  UpdateRestoreBytes();
  if (cmdHelper_) {
    commandBuffer_.Clear();
    cmdHelper_->SetAutoStatusBack(commandBuffer_, 0);
    WriteBlock(commandBuffer_);
  }
  bool locked = printerPort_->TryLock();
  for (int attempt = 0; !locked && attempt < 50; ++attempt) {
    Sleep(100);
    locked = printerPort_->TryLock();
  }
  if (!locked) {
    if (result) *result = OPOS_E_BUSY;
    errorText_ = L"Cann't close port!";
    return 0;
  }
  printerPort_->GetPort()->Close();
  printerPort_->Unlock();
  return 0;
}

LONG CPrinterBase::CloseService(LONG* /*result*/) {
  if (!opened_) return 0;
  if (enabled_) {
    enabled_ = 0;
    DisableDevice();
  }
  if (claimed_) {
    LONG ignored = 0;
    ReleaseDevice(&ignored);
  }
  if (worker_) worker_->Stop();
  worker_.reset();
  eventObject_.reset();
  printerPort_.reset();
  opened_ = 0;
  return 0;
}

void CPrinterBase::SetupCashDrawer(LONG pin, int openLevel, int statusCapability, LONG onTime,
                                   LONG offTime, LONG waitTimeout) {
  drawerPin_ = pin;
  drawerOpenLevel_ = openLevel;
  drawerStatusCapability_ = statusCapability;
  drawerOnTime_ = onTime;
  drawerOffTime_ = offTime;
  drawerWaitTimeout_ = waitTimeout;
  clientMode_ |= 2;
}

void CPrinterBase::SetCashDrawerMode(int on) {
  clientMode_ = on ? (clientMode_ | 2) : (clientMode_ & ~2);
}

void CPrinterBase::SetPrinterMode(int on) {
  clientMode_ = on ? (clientMode_ | 1) : (clientMode_ & ~1);
}

void CPrinterBase::BitMapMode(int mode) { bitmapMode_ = mode; }

int CPrinterBase::IsIdle() const { return !worker_ || worker_->IsIdle(); }

int CPrinterBase::IsBusy() const { return !transaction_ && !asyncMode_ && !IsIdle(); }

int CPrinterBase::IsInErrorState() const {
  // An engine only a cash drawer uses never reads paper or cover: they cannot make it
  // an error, or its drawer would read OPOS_S_ERROR for good.
  if (IsDrawerOnly()) return 0;
  const tagPrinterStatus status = GetLastStatus();
  return (status.coverOpen || status.paperEnd) ? 1 : 0;
}

tagPrinterStatus CPrinterBase::GetLastStatus() const {
  std::lock_guard<std::mutex> lock(statusMutex_.mutex);
  return lastStatus_;
}

BYTE CPrinterBase::GetRecLineSpacing() const {
  // Lines running along the paper are spaced across it, in horizontal dots.
  const bool vertical = rotateRight90_ || rotateLeft90_ || IsVerticalPage();
  if (vertical || dotSizeV_ <= 0) return static_cast<BYTE>(recLineSpacing_);
  return static_cast<BYTE>(static_cast<LONG>(recLineSpacing_ * dotSizeH_ / dotSizeV_));
}

}  // namespace Tesk::Printer

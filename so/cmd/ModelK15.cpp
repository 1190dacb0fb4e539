// The second printer model.
#include "ModelK15.h"

#include <string>

#include "OposConstants.h"

namespace Tesk::Printer {

namespace {

constexpr size_t kModelNameChars = 29;

// The builder keeps the model name as narrow text; model names are ASCII.
std::string NarrowName(const std::wstring& name) {
  std::string narrow;
  for (wchar_t c : name) narrow += (c > 0 && c < 0x80) ? static_cast<char>(c) : '?';
  return narrow;
}

}  // namespace

CModelK15::CModelK15() : CModelK15(L"K15SMB") {}

CModelK15::CModelK15(const std::wstring& modelName)
    : cmdHelperMember_(NarrowName(modelName).c_str()) {
  Initialize(modelName);
}

CModelK15::CModelK15(const CModelK15& other)
    : CPrinterBase(other), cmdHelperMember_(other.cmdHelperMember_) {
  InitCmdHelper();
}

CModelK15& CModelK15::operator=(const CModelK15& other) {
  if (this != &other) {
    CPrinterBase::operator=(other);
    cmdHelperMember_ = other.cmdHelperMember_;
    InitCmdHelper();
  }
  return *this;
}

CModelK15::~CModelK15() = default;

void CModelK15::InitCmdHelper() { cmdHelper_ = &cmdHelperMember_; }

void CModelK15::InitProperty() { InitCmdHelper(); }

void CModelK15::Initialize(const std::wstring& modelName) {
  InitCmdHelper();
  deviceDescription_ = L"Corlin High Performance Printer";
  makerName_ = "Corlin";
  firmwareVersion_ = "1.52";
  modelName_ = modelName.substr(0, kModelNameChars);
  SetDeviceParameter(modelName_);
}

void CModelK15::SetDeviceParameter(const std::wstring&) {
  printWidth_ = 576;
  dotSizeH_ = 0.125f;
  dotSizeV_ = 0.0625f;
  fonts_ = {};
  fonts_[0] = PrinterFont{L'A', 12, 24, L"437,720,850,860,863,865,866,852,858,932,936,1252"};
  fonts_[1] = PrinterFont{L'B', 9, 17, L"437,850,860,863,865,866,852,858,932,936,1252"};
  fontCount_ = 2;
  fontTypefaceList_ = L"A,B";
  currentFont_ = 0;
  charWidth_ = fonts_[0].width;
  charHeight_ = fonts_[0].height;
  pageAreaWidth_ = 576;
  pageAreaHeight_ = 936;
  pageModeArea_ = L"576,936";
  rotationOffset_ = 45;
  cutDistance_ = 2600;
  packetFraming_ = 1;
  // No near-end sensor (so the paper is not polled while on-line), no cutter, no
  // sideways printing and no page mode.
  SetCapability(PIDXPtr_CapRecNearEndSensor, 0);
  SetCapability(PIDXPtr_CapRecPapercut, 0);
  SetCapability(PIDXPtr_CapRecLeft90, 0);
  SetCapability(PIDXPtr_CapRecRight90, 0);
  SetCapability(PIDXPtr_CapRecPageMode, 0);
  recBarCodeRotationList_ = L"0,180";
  recBitmapRotationList_ = L"0,180";
  drawerStatusCapability_ = 0;
  queryInfoAtClaim_ = 0;
  asbCapable_ = 0;
  asbInUse_ = 0;
  buzzer_ = 0;
  statusMethod_ = 3;
  // Line and curved-text printing (PrintLine, PrintCurveText) and its companion.
  SetCapability(8564, 1);
  SetCapability(8565, 1);
}

int CModelK15::IsSupportBidi() { return 1; }

void CModelK15::SetProperty_Open() {
  CPrinterBase::SetProperty_Open();
  characterSet_ = 437;
  recLetterQuality_ = 0;
  SetFont(0);
  bidirectional_ = 1;
}

}  // namespace Tesk::Printer

// The TM-T88IV-compatible model class and its parameter groups.
#include "ModelTMT88IV.h"

#include <algorithm>
#include <array>
#include <cwchar>

#include "OposConstants.h"
#include "platform/codepage.h"

namespace Tesk::Printer {

namespace {

enum class PaperGroup { k80mm, k58mm, kTMT88IV, kUnlisted };

constexpr const wchar_t* k80mmNames[] = {L"KR-11",  L"KR-12", L"LM301", L"LM303", L"LM305",
                                         L"LM306",  L"ZQ-1A", L"ZQ-1B", L"ZQ-1C", L"RHO-1",
                                         L"RHO-1e", L"NV-21", L"NV-20", L"KW-8",  L"GX-50",
                                         L"GX-60",  L"IS-2",  L"QS-1",  L"QS-2"};
constexpr const wchar_t* k58mmNames[] = {L"LMX-A", L"ZQ-2A", L"ZQ-2B", L"ZQ-2D", L"OR-1", L"IS-1"};

// On a parallel port (or a USB printer found by its alternate id) these printers may
// be unable to answer, so the claim probes them with GS r 1.
constexpr const wchar_t* kProbedNames[] = {
    L"KR-11", L"KR-12", L"LM301", L"LM303",  L"LM305", L"LM306", L"ZQ-1A",
    L"ZQ-1B", L"ZQ-1C", L"RHO-1", L"RHO-1e", L"NV-21", L"NV-20", L"KW-8",
    L"GX-50", L"GX-60", L"IS-2",  L"IS-1",   L"OR-1",  L"QS-1",  L"QS-2"};

template <size_t N>
bool Listed(const wchar_t* const (&names)[N], const std::wstring& name) {
  return std::any_of(std::begin(names), std::end(names),
                     [&](const wchar_t* listed) { return name == listed; });
}

PaperGroup GroupOf(const std::wstring& name) {
  if (Listed(k80mmNames, name)) return PaperGroup::k80mm;
  if (Listed(k58mmNames, name)) return PaperGroup::k58mm;
  if (name == L"TM-T88IV") return PaperGroup::kTMT88IV;
  return PaperGroup::kUnlisted;
}

// Where the cutter sits differs between the 80 mm mechanisms.
struct CutDistances {
  LONG cutDistance;     // 1/100 mm, the model's own
  int cutFeedDistance;  // 1/100 mm, the feed before a cut
};

CutDistances CutDistancesOf80mm(const std::wstring& name) {
  static constexpr const wchar_t* kShort[] = {L"LM301", L"ZQ-1A", L"RHO-1e", L"NV-21", L"GX-60"};
  static constexpr const wchar_t* kShorter[] = {L"LM305", L"ZQ-1B", L"GX-50", L"IS-2", L"QS-1"};
  if (Listed(kShort, name)) return {2300, 3450};
  if (Listed(kShorter, name)) return {2200, 3300};
  return {2400, 3600};
}

struct GroupParameters {
  LONG printWidth;
  BYTE fontBHeight;
  float dotSizeH, dotSizeV;  // mm per dot
  bool setsPageArea;         // else the construction page area stays
  LONG pageAreaWidth, pageAreaHeight;
  bool setsRotationOffset;
  LONG capRecPapercut;
  LONG capRecPageMode;
  int asbCapable;
  BYTE statusMethod;  // bit 0 real-time, bit 1 by command
  int buzzer;
  int printCompletionRequest;
};

constexpr GroupParameters kParameters80mm = {576,  17, 0.125f, 0.0625f, true, 576, 936,
                                             true, 1,  1,      1,       3,    1,   0};
constexpr GroupParameters kParameters58mm = {384,   16, 0.125f, 0.125f, false, 0, 0,
                                             false, 0,  0,      0,      2,     0, 0};
// 0.141 and 0.0705 mm are the 32-bit floats 0x3E10624E and 0x3D90624E.
constexpr GroupParameters kParametersTMT88IV = {512,  17, 0.141f, 0.0705f, true, 512, 1000,
                                                true, 1,  1,      1,       3,    0,   1};

constexpr wchar_t kFontCharacterSets[] =
    L"437,720,850,860,863,864,865,866,852,858,932,936,949,1252,1256,";
// The construction list; unlisted names keep the construction fonts, which carry none.
constexpr wchar_t kConstructionCharacterSets[] =
    L"255,437,850,852,858,860,863,865,866,932,936,949,997,998,999,1252";

constexpr size_t kModelNameChars = 29;

}  // namespace

CTM_T88IV::CTM_T88IV() : CTM_T88IV(L"KW-5") {}

CTM_T88IV::CTM_T88IV(const std::wstring& modelName) { Initialize(modelName); }

CTM_T88IV::CTM_T88IV(const CTM_T88IV& other)
    : CPrinterBase(other), cmdHelperMember_(other.cmdHelperMember_) {
  InitCmdHelper();
}

CTM_T88IV& CTM_T88IV::operator=(const CTM_T88IV& other) {
  if (this != &other) {
    CPrinterBase::operator=(other);
    cmdHelperMember_ = other.cmdHelperMember_;
    InitCmdHelper();
  }
  return *this;
}

CTM_T88IV::~CTM_T88IV() = default;

void CTM_T88IV::InitCmdHelper() { cmdHelper_ = &cmdHelperMember_; }

void CTM_T88IV::InitProperty() { InitCmdHelper(); }

void CTM_T88IV::Initialize(const std::wstring& modelName) {
  InitCmdHelper();
  modelName_ = modelName.substr(0, kModelNameChars);
  deviceDescription_ = L"High Performance Printer";
  makerName_ = "Orvane";
  firmwareVersion_ = "1.00";
  SetDeviceParameter(modelName_);
}

void CTM_T88IV::SetDeviceParameter(const std::wstring& modelName) {
  const PaperGroup group = GroupOf(modelName);
  if (group == PaperGroup::kUnlisted) {
    // The construction defaults stay; only the fonts get the construction list, so
    // that CharacterSetList (copied from the font at open) is not left empty.
    for (int i = 0; i < fontCount_; ++i)
      fonts_[static_cast<size_t>(i)].characterSetList = kConstructionCharacterSets;
    cmdHelperMember_.SetCutFeedDistance(static_cast<int>(cutDistance_));
    return;
  }
  const GroupParameters& p = group == PaperGroup::k80mm   ? kParameters80mm
                             : group == PaperGroup::k58mm ? kParameters58mm
                                                          : kParametersTMT88IV;
  fonts_ = {};
  fonts_[0] = PrinterFont{L'A', 12, 24, kFontCharacterSets};
  fonts_[1] = PrinterFont{L'B', 9, p.fontBHeight, kFontCharacterSets};
  fontCount_ = 2;
  fontTypefaceList_ = L"A,B";
  currentFont_ = 0;
  charWidth_ = fonts_[0].width;
  charHeight_ = fonts_[0].height;

  printWidth_ = p.printWidth;
  dotSizeH_ = p.dotSizeH;
  dotSizeV_ = p.dotSizeV;
  if (p.setsPageArea) {
    pageAreaWidth_ = p.pageAreaWidth;
    pageAreaHeight_ = p.pageAreaHeight;
    pageModeArea_ = std::to_wstring(pageAreaWidth_) + L"," + std::to_wstring(pageAreaHeight_);
  }
  if (p.setsRotationOffset) rotationOffset_ = 45;
  if (group == PaperGroup::k80mm) {
    const CutDistances cut = CutDistancesOf80mm(modelName);
    cutDistance_ = cut.cutDistance;
    cmdHelperMember_.SetCutFeedDistance(cut.cutFeedDistance);
  } else {
    if (group == PaperGroup::k58mm) cutDistance_ = 800;
    // No feed of its own: the model's cut distance is where its cutter sits.
    cmdHelperMember_.SetCutFeedDistance(static_cast<int>(cutDistance_));
  }
  // The KW-8 mechanism has no cutter.
  SetCapability(PIDXPtr_CapRecPapercut, modelName == L"KW-8" ? 0 : p.capRecPapercut);
  SetCapability(PIDXPtr_CapRecPageMode, p.capRecPageMode);
  queryInfoAtClaim_ = 1;
  asbCapable_ = p.asbCapable;
  statusMethod_ = p.statusMethod;
  buzzer_ = p.buzzer;
  printCompletionRequest_ = p.printCompletionRequest;
}

int CTM_T88IV::IsSupportBidi() {
  const bool mayBeMute = isLpt_ || (isUsb_ && alternateDevice_);
  if (!mayBeMute) return 1;
  return Listed(kProbedNames, modelName_) ? 0 : 1;
}

void CTM_T88IV::SetProperty_Open() {
  CPrinterBase::SetProperty_Open();
  recLetterQuality_ = 0;
  SetFont(0);
  // An ANSI code page the printer has no table for (1251, say) must not select a
  // double-byte table: the list's first single-byte page stands in for it.
  characterSet_ = static_cast<LONG>(PrintableAnsiCodePage());
  if (GroupOf(modelName_) == PaperGroup::k58mm) {
    SetCapability(PIDXPtr_CapRecRight90, 0);
    cutDistance_ = 800;
    SetCapability(PIDXPtr_CapRecPapercut, 0);
    SetCapability(PIDXPtr_CapRecPageMode, 0);
    queryInfoAtClaim_ = 1;
    asbCapable_ = 0;
    asbInUse_ = 0;
    buzzer_ = 0;
    statusMethod_ = 2;
  }
}

}  // namespace Tesk::Printer

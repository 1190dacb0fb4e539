// The printer models: parameter groups by model name, open-time additions, the
// bidirectional probe list, the shared cut feed distance and copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ModelK15.h"
#include "ModelTMT88IV.h"
#include "OposConstants.h"
#include "platform/codepage.h"
#include "so/cmd/ByteMatch.h"

using Tesk::Printer::CModelK15;
using Tesk::Printer::CTM_T88IV;
using Tesk::Printer::ICmdHelper;
using zanth_test::BytesEqual;

namespace {

// Reads and pokes the engine fields the models set.
template <class Model>
class Probe : public Model {
 public:
  using Model::Model;
  Probe(const Probe&) = default;
  Probe& operator=(const Probe&) = default;

  LONG PrintWidth() const { return this->printWidth_; }
  int FontBHeight() const { return this->fonts_[1].height; }
  const std::wstring& FontList(int i) const {
    return this->fonts_[static_cast<size_t>(i)].characterSetList;
  }
  int FontCount() const { return this->fontCount_; }
  std::uint32_t DotBitsH() const { return std::bit_cast<std::uint32_t>(this->dotSizeH_); }
  std::uint32_t DotBitsV() const { return std::bit_cast<std::uint32_t>(this->dotSizeV_); }
  LONG PageWidth() const { return this->pageAreaWidth_; }
  LONG PageHeight() const { return this->pageAreaHeight_; }
  const std::wstring& PageModeArea() const { return this->pageModeArea_; }
  LONG RotationOffset() const { return this->rotationOffset_; }
  LONG CutDistance() const { return this->cutDistance_; }
  LONG Cap(LONG index) const { return this->Capability(index); }
  int QueryInfo() const { return this->queryInfoAtClaim_; }
  int AsbCapable() const { return this->asbCapable_; }
  int AsbInUse() const { return this->asbInUse_; }
  int Buzzer() const { return this->buzzer_; }
  int PrintCompletion() const { return this->printCompletionRequest_; }
  LONG CharacterSet() const { return this->characterSet_; }
  LONG RecLineChars() const { return this->recLineChars_; }
  const std::wstring& CharacterSetList() const { return this->characterSetList_; }
  const std::wstring& BarCodeRotations() const { return this->recBarCodeRotationList_; }
  const std::wstring& BitmapRotations() const { return this->recBitmapRotationList_; }
  int DrawerStatusCapability() const { return this->drawerStatusCapability_; }

  void Open() { this->SetProperty_Open(); }
  int Bidi() { return this->IsSupportBidi(); }
  void SetPort(int lpt, int usb, int alternate) {
    this->isLpt_ = lpt;
    this->isUsb_ = usb;
    this->alternateDevice_ = alternate;
  }
  void SpoilAsbInUse() { this->asbInUse_ = 1; }
};

using TMProbe = Probe<CTM_T88IV>;
using K15Probe = Probe<CModelK15>;

constexpr std::uint32_t kBits0125 = 0x3E000000;   // 0.125f
constexpr std::uint32_t kBits00625 = 0x3D800000;  // 0.0625f
constexpr std::uint32_t kBits0141 = 0x3E10624E;   // 0.141f
constexpr std::uint32_t kBits00705 = 0x3D90624E;  // 0.0705f

const wchar_t kGroupList[] = L"437,720,850,860,863,864,865,866,852,858,932,936,949,1252,1256,";
const wchar_t kConstructionList[] =
    L"255,437,850,852,858,860,863,865,866,932,936,949,997,998,999,1252";

struct ModelCase {
  const char* testName;
  const wchar_t* model;
  LONG printWidth;
  int fontBHeight;
  std::uint32_t dotH, dotV;
  LONG pageWidth, pageHeight;
  const wchar_t* pageModeArea;
  LONG rotationOffset;
  LONG cutDistance;
  LONG papercut, pageMode;
  int queryInfo, asb;
  BYTE statusMethod;
  int buzzer, completion;
  const wchar_t* fontList;
  LONG lineCharsAfterOpen;  // print width / 12 (font A)
};

const ModelCase kModelCases[] = {
    {"LM303_80mm", L"LM303", 576, 17, kBits0125, kBits00625, 576, 936, L"576,936", 45,
     2400,         1,        1,   1,  1,         3,          1,   0,   kGroupList, 48},
    {"KW8_NoCutter", L"KW-8", 576, 17, kBits0125, kBits00625, 576, 936, L"576,936", 45,
     2400,           0,       1,   1,  1,         3,          1,   0,   kGroupList, 48},
    {"ZQ1A_Cut2300", L"ZQ-1A", 576, 17, kBits0125, kBits00625, 576, 936, L"576,936", 45,
     2300,           1,        1,   1,  1,         3,          1,   0,   kGroupList, 48},
    {"GX50_Cut2200", L"GX-50", 576, 17, kBits0125, kBits00625, 576, 936, L"576,936", 45,
     2200,           1,        1,   1,  1,         3,          1,   0,   kGroupList, 48},
    {"ZQ2A_58mm", L"ZQ-2A", 384, 16, kBits0125, kBits0125, 576, 1000, L"576,1000", 60,
     800,         0,        0,   1,  0,         2,         0,   0,    kGroupList,  32},
    {"OR1_58mm", L"OR-1", 384, 16, kBits0125, kBits0125, 576, 1000, L"576,1000", 60,
     800,        0,       0,   1,  0,         2,         0,   0,    kGroupList,  32},
    {"TMT88IV", L"TM-T88IV", 512, 17, kBits0141, kBits00705, 512, 1000, L"512,1000", 45,
     2100,      1,           1,   1,  1,         3,          0,   1,    kGroupList,  42},
    // Unlisted names keep the construction values.
    {"TMT88IIM_Defaults",
     L"TM-T88IIM",
     576,
     17,
     kBits0125,
     kBits0125,
     576,
     1000,
     L"576,1000",
     60,
     2100,
     1,
     1,
     0,
     0,
     2,
     0,
     0,
     kConstructionList,
     48},
    {"KW10_Defaults",
     L"KW-10",
     576,
     17,
     kBits0125,
     kBits0125,
     576,
     1000,
     L"576,1000",
     60,
     2100,
     1,
     1,
     0,
     0,
     2,
     0,
     0,
     kConstructionList,
     48},
    {"CaseDiffers_Defaults",
     L"tm-t88iv",
     576,
     17,
     kBits0125,
     kBits0125,
     576,
     1000,
     L"576,1000",
     60,
     2100,
     1,
     1,
     0,
     0,
     2,
     0,
     0,
     kConstructionList,
     48},
};

class ModelParameters : public ::testing::TestWithParam<ModelCase> {};

TEST_P(ModelParameters, SetAtConstruction) {
  const ModelCase& c = GetParam();
  TMProbe m(c.model);
  EXPECT_EQ(m.GetModelName(), c.model);
  EXPECT_EQ(m.PrintWidth(), c.printWidth);
  EXPECT_EQ(m.FontCount(), 2);
  EXPECT_EQ(m.FontBHeight(), c.fontBHeight);
  EXPECT_EQ(m.FontList(0), c.fontList);
  EXPECT_EQ(m.FontList(1), c.fontList);
  EXPECT_EQ(m.DotBitsH(), c.dotH);
  EXPECT_EQ(m.DotBitsV(), c.dotV);
  EXPECT_EQ(m.PageWidth(), c.pageWidth);
  EXPECT_EQ(m.PageHeight(), c.pageHeight);
  EXPECT_EQ(m.PageModeArea(), c.pageModeArea);
  EXPECT_EQ(m.RotationOffset(), c.rotationOffset);
  EXPECT_EQ(m.CutDistance(), c.cutDistance);
  EXPECT_EQ(m.GetCapRecPapercut(), c.papercut);
  EXPECT_EQ(m.Cap(PIDXPtr_CapRecPageMode), c.pageMode);
  EXPECT_EQ(m.QueryInfo(), c.queryInfo);
  EXPECT_EQ(m.AsbCapable(), c.asb);
  EXPECT_EQ(m.GetStatusMethod(), c.statusMethod);
  EXPECT_EQ(m.Buzzer(), c.buzzer);
  EXPECT_EQ(m.PrintCompletion(), c.completion);
  EXPECT_EQ(m.GetDeviceDescription(), L"High Performance Printer");
  EXPECT_EQ(m.GetMakerName(), "Orvane");
  EXPECT_EQ(m.GetFirmwareVersion(), "1.00");
  EXPECT_EQ(m.GetCmdHelper(), dynamic_cast<CCmdHelperBase*>(m.GetCmdHelper()));
  EXPECT_EQ(dynamic_cast<CmdHelper_K15*>(m.GetCmdHelper()), nullptr);
}

TEST_P(ModelParameters, OpenAppliesFontAndAnsiCodePage) {
  const ModelCase& c = GetParam();
  TMProbe m(c.model);
  m.SpoilAsbInUse();
  m.Open();
  EXPECT_EQ(m.CharacterSet(), static_cast<LONG>(GetACP()));
  EXPECT_EQ(m.RecLineChars(), c.lineCharsAfterOpen);
  EXPECT_EQ(m.CharacterSetList(), c.fontList);
  // Open keeps the model's set-up (the 58 mm group restates its own).
  EXPECT_EQ(m.CutDistance(), c.cutDistance);
  EXPECT_EQ(m.GetCapRecPapercut(), c.papercut);
  EXPECT_EQ(m.Cap(PIDXPtr_CapRecPageMode), c.pageMode);
  EXPECT_EQ(m.GetStatusMethod(), c.statusMethod);
  EXPECT_EQ(m.QueryInfo(), c.queryInfo);
}

INSTANTIATE_TEST_SUITE_P(CTM_T88IV, ModelParameters, ::testing::ValuesIn(kModelCases),
                         [](const auto& info) { return std::string(info.param.testName); });

TEST(CTM_T88IVOpen, FiftyEightMillimetreGroupRestatesItsLimits) {
  TMProbe m(L"ZQ-2B");
  m.SpoilAsbInUse();
  m.Open();
  EXPECT_EQ(m.Cap(PIDXPtr_CapRecRight90), 0);
  EXPECT_EQ(m.Cap(PIDXPtr_CapRecLeft90), 1);
  EXPECT_EQ(m.AsbInUse(), 0);
  EXPECT_EQ(m.Buzzer(), 0);
}

TEST(CTM_T88IVOpen, OtherGroupsKeepRight90) {
  TMProbe m(L"LM306");
  m.Open();
  EXPECT_EQ(m.Cap(PIDXPtr_CapRecRight90), 1);
}

TEST(CTM_T88IV, DefaultConstructionIsAnUnlistedModel) {
  TMProbe m;
  EXPECT_EQ(m.GetModelName(), L"KW-5");
  EXPECT_EQ(m.PrintWidth(), 576);
  EXPECT_EQ(m.GetStatusMethod(), 2);
  EXPECT_EQ(m.QueryInfo(), 0);
}

TEST(CTM_T88IV, LongModelNameIsCutTo29Characters) {
  const std::wstring longName(40, L'x');
  TMProbe m(longName);
  EXPECT_EQ(m.GetModelName(), longName.substr(0, 29));
}

struct BidiCase {
  const char* testName;
  const wchar_t* model;
  bool k15;
  int lpt, usb, alternate;
  int expected;
};

const BidiCase kBidiCases[] = {
    {"SerialNeverProbed", L"LM301", false, 0, 0, 0, 1},
    {"ParallelListedProbed", L"LM301", false, 1, 0, 0, 0},
    {"ParallelIS1Probed", L"IS-1", false, 1, 0, 0, 0},
    {"ParallelOR1Probed", L"OR-1", false, 1, 0, 0, 0},
    {"ParallelQS2Probed", L"QS-2", false, 1, 0, 0, 0},
    {"ParallelZQ2ANotListed", L"ZQ-2A", false, 1, 0, 0, 1},
    {"ParallelTMT88IVNotListed", L"TM-T88IV", false, 1, 0, 0, 1},
    {"AlternateUsbListedProbed", L"RHO-1e", false, 0, 1, 1, 0},
    {"PlainUsbNotProbed", L"RHO-1e", false, 0, 1, 0, 1},
    {"K15OnParallel", L"K15", true, 1, 0, 0, 1},
    {"K15OnAlternateUsb", L"K15SMB", true, 0, 1, 1, 1},
};

class Bidirectional : public ::testing::TestWithParam<BidiCase> {};

TEST_P(Bidirectional, ProbesOnlyListedModelsOnMutePorts) {
  const BidiCase& c = GetParam();
  if (c.k15) {
    K15Probe m(c.model);
    m.SetPort(c.lpt, c.usb, c.alternate);
    EXPECT_EQ(m.Bidi(), c.expected);
  } else {
    TMProbe m(c.model);
    m.SetPort(c.lpt, c.usb, c.alternate);
    EXPECT_EQ(m.Bidi(), c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Models, Bidirectional, ::testing::ValuesIn(kBidiCases),
                         [](const auto& info) { return std::string(info.param.testName); });

// The feed before a cut belongs to each engine: a fresh TM-T88IV cut through its last
// lines with ESC J 0 when the distance was module-wide and no 80 mm model had been
// opened, and fed whatever the last 80 mm model opened in the process had set.
struct CutFeedCase {
  const char* name;
  const wchar_t* model;
  int dots;  // (distance / 100) * 8
};

constexpr CutFeedCase kCutFeedCases[] = {
    {"TmT88ivOwnDistance", L"TM-T88IV", 168},  // its cut distance 2100
    {"Zq1bShorter80mm", L"ZQ-1B", 264},        // 3300
    {"Nv21Short80mm", L"NV-21", 272},          // 3450: whole millimetres, not 276
    {"Qs2Other80mm", L"QS-2", 288},            // 3600
    {"Zq2a58mm", L"ZQ-2A", 64},                // its cut distance 800
    {"UnlistedTmT88iim", L"TM-T88IIM", 168},   // construction cut distance 2100
};

TEST(CutFeedPerEngine, EachModelFeedsItsOwnDistanceWhateverWasOpenedBefore) {
  // Every earlier model opened first, in both orders, must not change the feed.
  for (const CutFeedCase& before : kCutFeedCases) {
    for (const CutFeedCase& c : kCutFeedCases) {
      SCOPED_TRACE(std::string(c.name) + " after " + before.name);
      CTM_T88IV earlier(before.model);
      CTM_T88IV m(c.model);
      CModelK15 packetModel(L"K15");
      PrinterBuffer out;
      m.GetCmdHelper()->FeedAndFullCut(out);
      std::vector<BYTE> expected;
      for (int left = c.dots; left > 0; left -= std::min(left, 255))
        expected.insert(expected.end(), {0x1B, 0x4A, static_cast<BYTE>(std::min(left, 255))});
      expected.insert(expected.end(), {0x1D, 0x56, 0x00});  // GS V 0: full cut
      EXPECT_EQ(std::vector<BYTE>(out.Data(), out.Data() + out.Size()), expected);
    }
  }
}

TEST(CModelK15, Parameters) {
  K15Probe m(L"K15");
  EXPECT_EQ(m.GetModelName(), L"K15");
  EXPECT_EQ(m.GetDeviceDescription(), L"Corlin High Performance Printer");
  EXPECT_EQ(m.GetMakerName(), "Corlin");
  EXPECT_EQ(m.GetFirmwareVersion(), "1.52");
  EXPECT_EQ(m.PrintWidth(), 576);
  EXPECT_EQ(m.DotBitsH(), kBits0125);
  EXPECT_EQ(m.DotBitsV(), kBits00625);
  EXPECT_EQ(m.FontList(0), L"437,720,850,860,863,865,866,852,858,932,936,1252");
  EXPECT_EQ(m.FontList(1), L"437,850,860,863,865,866,852,858,932,936,1252");
  EXPECT_EQ(m.FontBHeight(), 17);
  EXPECT_EQ(m.PageWidth(), 576);
  EXPECT_EQ(m.PageHeight(), 936);
  EXPECT_EQ(m.PageModeArea(), L"576,936");
  EXPECT_EQ(m.RotationOffset(), 45);
  EXPECT_EQ(m.CutDistance(), 2600);
  EXPECT_EQ(m.Cap(PIDXPtr_CapRecNearEndSensor), 0);
  EXPECT_EQ(m.Cap(PIDXPtr_CapRecPapercut), 0);
  EXPECT_EQ(m.Cap(PIDXPtr_CapRecLeft90), 0);
  EXPECT_EQ(m.Cap(PIDXPtr_CapRecRight90), 0);
  EXPECT_EQ(m.Cap(PIDXPtr_CapRecRotate180), 1);
  EXPECT_EQ(m.Cap(PIDXPtr_CapRecPageMode), 0);
  EXPECT_EQ(m.Cap(8564), 1);
  EXPECT_EQ(m.Cap(8565), 1);
  EXPECT_EQ(m.BarCodeRotations(), L"0,180");
  EXPECT_EQ(m.BitmapRotations(), L"0,180");
  EXPECT_EQ(m.DrawerStatusCapability(), 0);
  EXPECT_EQ(m.QueryInfo(), 0);
  EXPECT_EQ(m.AsbCapable(), 0);
  EXPECT_EQ(m.AsbInUse(), 0);
  EXPECT_EQ(m.Buzzer(), 0);
  EXPECT_EQ(m.GetStatusMethod(), 3);
  auto* builder = dynamic_cast<CmdHelper_K15*>(m.GetCmdHelper());
  ASSERT_NE(builder, nullptr);
  EXPECT_STREQ(builder->ModelName(), "K15");
}

TEST(CModelK15, DefaultName) {
  CModelK15 m;
  EXPECT_EQ(m.GetModelName(), L"K15SMB");
}

TEST(CModelK15, OpenSelects437AndStaysBidirectional) {
  K15Probe m(L"K15SMB");
  m.SetPort(1, 0, 0);
  m.Open();
  EXPECT_EQ(m.CharacterSet(), 437);
  EXPECT_EQ(m.RecLineChars(), 48);
  EXPECT_EQ(m.CharacterSetList(), L"437,720,850,860,863,865,866,852,858,932,936,1252");
  EXPECT_EQ(m.IsBidirectional(), 1);
}

TEST(CModelK15, CutsFeedNothing) {
  // The packet dialect has no cut commands, whatever distance its engine keeps.
  CModelK15 m(L"K15");
  PrinterBuffer out;
  m.GetCmdHelper()->FeedAndFullCut(out);
  EXPECT_TRUE(out.IsEmpty());
}

// Copies must use their own builder: the source's may be gone.
template <class Model>
void ExpectCopiesOwnTheirBuilder(const std::wstring& name) {
  auto source = std::make_unique<Model>(name);
  Model copied(*source);
  Model assigned(L"QS-1");
  assigned = *source;
  for (const Model* m : {&copied, &assigned}) {
    const auto* self = reinterpret_cast<const char*>(m);
    const auto* builder = reinterpret_cast<const char*>(m->GetCmdHelper());
    EXPECT_NE(m->GetCmdHelper(), source->GetCmdHelper());
    EXPECT_TRUE(builder >= self && builder < self + sizeof(Model)) << "builder outside the object";
    EXPECT_EQ(m->GetModelName(), name);
  }
  source.reset();
  PrinterBuffer out;
  copied.GetCmdHelper()->LineFeed(out);
  assigned.GetCmdHelper()->LineFeed(out);
  EXPECT_TRUE(BytesEqual(out, {0x0A, 0x0A}));
}

TEST(ModelCopies, TMT88IVOwnsItsBuilder) { ExpectCopiesOwnTheirBuilder<CTM_T88IV>(L"ZQ-2A"); }

TEST(ModelCopies, K15OwnsItsBuilder) { ExpectCopiesOwnTheirBuilder<CModelK15>(L"K15"); }

TEST(ModelCopies, SelfAssignmentKeepsBuilder) {
  CTM_T88IV m(L"LM301");
  ICmdHelper* before = m.GetCmdHelper();
  CTM_T88IV& alias = m;
  m = alias;
  EXPECT_EQ(m.GetCmdHelper(), before);
}

TEST(ModelInit, InitPropertyReinstallsBuilder) {
  CModelK15 m(L"K15");
  ICmdHelper* own = m.GetCmdHelper();
  m.InitProperty();
  EXPECT_EQ(m.GetCmdHelper(), own);
}

}  // namespace

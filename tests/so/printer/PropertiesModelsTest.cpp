// The values an opened printer answers for each model group: the construction, model
// and open stages together.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "FakePort.h"
#include "ModelK15.h"
#include "ModelTMT88IV.h"
#include "OposConstants.h"
#include "PrinterPort.h"
#include "TestEngine.h"
#include "platform/codepage.h"

namespace {

using zanth::test::FakePort;
using zanth::test::RecordingEvents;

template <class Model>
class OpenableModel : public Model {
 public:
  explicit OpenableModel(const std::wstring& name) : Model(name) {}
  void UsePort(std::shared_ptr<Tesk::IO::IPort> port) {
    this->printerPort_ = std::make_shared<Tesk::Printer::CPrinterPort>(std::move(port));
  }
};

constexpr LONG kAnsi = -1;  // CharacterSet: the system's ANSI code page

constexpr wchar_t kT88Sets[] = L"437,720,850,860,863,864,865,866,852,858,932,936,949,1252,1256,";
constexpr wchar_t kK15Sets[] = L"437,720,850,860,863,865,866,852,858,932,936,1252";
constexpr wchar_t kAllSets[] = L"255,437,850,852,858,860,863,865,866,932,936,949,997,998,999,1252";

struct ModelCase {
  const char* name;
  const wchar_t* model;
  bool k15;
  LONG characterSet;
  LONG lineChars, lineWidth, lineHeight, lineSpacing, linesToCut, sidewaysChars, sidewaysLines;
  LONG capLeft90, capNearEnd, capPapercut, capRight90, capPageMode, cap8564, cap8565;
  const wchar_t* characterSets;
  const wchar_t* rotations;
  const wchar_t* pageArea;
};

// Lines to the cutter: ((cut distance / 10) / (spacing x pitch)) / 10 + 1. Sideways
// characters: page height / (character width in vertical dots); sideways lines: page
// width / character height.
const ModelCase kModelCases[] = {
    // 80 mm, cut 2300: 230 / 3.75 = 61 -> 7; 936 / 24 = 39; 576 / 24 = 24.
    {"Group80mm", L"LM301", false, kAnsi, 48, 576, 24, 30, 7, 39, 24, 1, 1, 1, 1, 1, 0, 0,
     kT88Sets, L"0,R90,L90,180", L"576,936"},
    // 80 mm, cut 2200: 220 / 3.75 = 58 -> 6.
    {"Group80mmShorterCut", L"ZQ-1B", false, kAnsi, 48, 576, 24, 30, 6, 39, 24, 1, 1, 1, 1, 1, 0,
     0, kT88Sets, L"0,R90,L90,180", L"576,936"},
    // 80 mm without a cutter; cut 2400: 240 / 3.75 = 64 -> 7.
    {"Group80mmKW8", L"KW-8", false, kAnsi, 48, 576, 24, 30, 7, 39, 24, 1, 1, 0, 1, 1, 0, 0,
     kT88Sets, L"0,R90,L90,180", L"576,936"},
    // 58 mm: 384 / 12 = 32 characters; cut 800: 80 / 3.75 = 21 -> 3; page stays 576 x 1000.
    {"Group58mm", L"ZQ-2A", false, kAnsi, 32, 384, 24, 30, 3, 83, 24, 1, 1, 0, 0, 0, 0, 0,
     kT88Sets, L"0,R90,L90,180", L"576,1000"},
    // 512 / 12 = 42; cut 2100: 210 / 4.23 = 49 -> 5; 512 / 24 = 21.
    {"GroupTMT88IV", L"TM-T88IV", false, kAnsi, 42, 512, 24, 30, 5, 41, 21, 1, 1, 1, 1, 1, 0, 0,
     kT88Sets, L"0,R90,L90,180", L"512,1000"},
    // Construction values: cut 2100: 210 / 3.75 = 56 -> 6; 1000 / 12 = 83.
    {"Unlisted", L"TM-T88IIM", false, kAnsi, 48, 576, 24, 30, 6, 83, 24, 1, 1, 1, 1, 1, 0, 0,
     kAllSets, L"0,R90,L90,180", L"576,1000"},
    // Packet-framed model: cut 2600: 260 / 3.75 = 69 -> 7.
    {"K15", L"K15SMB", true, 437, 48, 576, 24, 30, 7, 39, 24, 0, 0, 0, 0, 0, 1, 1, kK15Sets,
     L"0,180", L"576,936"},
};

struct ModelGroupTest : ::testing::TestWithParam<ModelCase> {
  std::unique_ptr<Tesk::Printer::CPrinterBase> Open(const ModelCase& c) {
    std::unique_ptr<Tesk::Printer::CPrinterBase> engine;
    auto port = std::make_shared<FakePort>(L"COM");
    if (c.k15) {
      auto model = std::make_unique<OpenableModel<Tesk::Printer::CModelK15>>(c.model);
      model->UsePort(port);
      engine = std::move(model);
    } else {
      auto model = std::make_unique<OpenableModel<Tesk::Printer::CTM_T88IV>>(c.model);
      model->UsePort(port);
      engine = std::move(model);
    }
    LONG openResult = -1;
    engine->OpenServiceW(L"printer", &events, &openResult);
    EXPECT_EQ(openResult, 0);
    return engine;
  }
  LONG Number(Tesk::Printer::CPrinterBase& engine, LONG index) {
    LONG value = -777;
    engine.GetPropertyNumber(index, &value);
    return value;
  }
  std::wstring String(Tesk::Printer::CPrinterBase& engine, LONG index) {
    BSTR value = nullptr;
    engine.GetPropertyString(index, &value);
    std::wstring text = platform::FromBstr(value);
    SysFreeString(value);
    return text;
  }
  RecordingEvents events;
};

TEST_P(ModelGroupTest, AnswersTheGroupValuesAfterOpen) {
  const ModelCase& c = GetParam();
  auto engine = Open(c);
  const std::map<LONG, LONG> expected = {
      {PIDXPtr_CharacterSet,
       c.characterSet == kAnsi ? static_cast<LONG>(GetACP()) : c.characterSet},
      {PIDXPtr_MapMode, PTR_MM_DOTS},
      {PIDXPtr_RecLineChars, c.lineChars},
      {PIDXPtr_RecLineWidth, c.lineWidth},
      {PIDXPtr_RecLineHeight, c.lineHeight},
      {PIDXPtr_RecLineSpacing, c.lineSpacing},
      {PIDXPtr_RecLinesToPaperCut, c.linesToCut},
      {PIDXPtr_RecSidewaysMaxChars, c.sidewaysChars},
      {PIDXPtr_RecSidewaysMaxLines, c.sidewaysLines},
      {PIDXPtr_CapRecLeft90, c.capLeft90},
      {PIDXPtr_CapRecNearEndSensor, c.capNearEnd},
      {PIDXPtr_CapRecPapercut, c.capPapercut},
      {PIDXPtr_CapRecRight90, c.capRight90},
      {PIDXPtr_CapRecPageMode, c.capPageMode},
      {Tesk::Printer::PIDXPtr_CapRecLineAndCurveText, c.cap8564},
      {Tesk::Printer::PIDXPtr_CapModelExtension, c.cap8565},
      {PIDXPtr_CapCharacterSet, PTR_CCS_ASCII},
      {PIDXPtr_CapTransaction, 1},
  };
  std::map<LONG, LONG> actual;
  for (const auto& entry : expected) actual[entry.first] = Number(*engine, entry.first);
  EXPECT_EQ(actual, expected);

  EXPECT_EQ(String(*engine, PIDX_DeviceName), c.model);
  EXPECT_EQ(String(*engine, PIDXPtr_CharacterSetList), c.characterSets);
  EXPECT_EQ(String(*engine, PIDXPtr_RecBarCodeRotationList), c.rotations);
  EXPECT_EQ(String(*engine, PIDXPtr_RecBitmapRotationList), c.rotations);
  EXPECT_EQ(String(*engine, PIDXPtr_PageModeArea), c.pageArea);
  EXPECT_EQ(String(*engine, PIDXPtr_FontTypefaceList), L"A,B");
  EXPECT_EQ(String(*engine, PIDXPtr_RecLineCharsList), L"48,64");
}

TEST_P(ModelGroupTest, AcceptsTheLastCharacterSetOfItsList) {
  const ModelCase& c = GetParam();
  auto engine = Open(c);
  // 1256 ends the ESC/POS list (before its trailing comma); the other lists lack it.
  const bool listed = std::wstring(c.characterSets).find(L"1256") != std::wstring::npos;
  LONG result = -1;
  engine->SetPropertyNumber(PIDXPtr_CharacterSet, 1256, &result);
  EXPECT_EQ(result, listed ? OPOS_SUCCESS : OPOS_E_ILLEGAL);
  result = -1;
  engine->SetPropertyNumber(PIDXPtr_CharacterSet, 0, &result);
  EXPECT_EQ(result, OPOS_E_ILLEGAL);
}

INSTANTIATE_TEST_SUITE_P(Groups, ModelGroupTest, ::testing::ValuesIn(kModelCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

#include "DeviceOpen.h"

#include <algorithm>
#include <array>

#include "IPortSettings.h"
#include "ModelK15.h"
#include "ModelTMT88IV.h"
#include "OposConstants.h"
#include "PortFactory.h"
#include "platform/codepage.h"

namespace Tesk::Printer {
namespace {

constexpr std::array<const char*, 33> kTMT88IVNames = {
    "TM-T88IIM", "TM-T88IIMT", "TM-T88IIMS", "TM-T88IIML", "TM-T88IIMU", "TM-T88IV",
    "KW-10",     "LMX",        "KR-11",      "KR-12",      "LM306",      "LM301",
    "LM305",     "ZQ-2A",      "ZQ-2B",      "ZQ-2D",      "ZQ-1A",      "ZQ-1B",
    "ZQ-1C",     "RHO-1",      "RHO-1e",     "NV-21",      "NV-20",      "LMX-A",
    "KW-8",      "GX-50",      "GX-60",      "OR-2",       "OR-1",       "IS-2",
    "IS-1",      "QS-1",       "QS-2"};
constexpr std::array<const char*, 2> kK15Names = {"K15SMB", "K15"};

template <size_t N>
bool Contains(const std::array<const char*, N>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

}  // namespace

bool IsTMT88IVModelName(const std::string& name) { return Contains(kTMT88IVNames, name); }
bool IsK15ModelName(const std::string& name) { return Contains(kK15Names, name); }

std::unique_ptr<CPrinterBase> CreatePrinterModel(const std::wstring& driverModel, LONG* code) {
  std::string name = platform::WideToCodePage(driverModel, CP_ACP);
  const auto underscore = name.rfind('_');
  if (underscore != std::string::npos) name.erase(underscore);
  const std::wstring wideName = platform::CodePageToWide(name, CP_ACP);
  if (IsTMT88IVModelName(name)) return std::make_unique<CTM_T88IV>(wideName);
  if (IsK15ModelName(name)) return std::make_unique<CModelK15>(wideName);
  if (code) *code = ERROR_INVALID_PARAMETER;  // 87
  return nullptr;
}

OpenOutcome OpenPrinterEngine(const std::wstring& deviceName, IPrinterEventHandle* events,
                              const PrinterEntry& entry,
                              std::unique_ptr<CPrinterBase>& engine) {
  // Port settings: an unknown type (2401) or a rejected settings string.
  std::unique_ptr<Tesk::IO::IPortSettings> settings;
  try {
    settings = Tesk::IO::CreatePortSettings(entry.portType);
    settings->SetSettingsString(entry.portSettings);
  } catch (...) {
    return {OPOS_E_ILLEGAL, OPOS_ORS_CONFIG};
  }

  if (engine) {
    LONG ignored = 0;
    engine->CloseService(&ignored);
    engine.reset();
  }
  LONG modelCode = 0;
  std::unique_ptr<CPrinterBase> model = CreatePrinterModel(entry.driverModel, &modelCode);
  if (!model) return {OPOS_E_NOEXIST, OPOS_ORS_NOTSUPPORTED};

  LONG stageResult = 0;
  try {
    LONG portResult = 0;
    const LONG setResult = model->SetPortSettings(settings.get(), &portResult);
    if (setResult != 0 || portResult != 0) stageResult = setResult ? setResult : portResult;
    if (stageResult == 0) {
      LONG openResult = 0;
      const LONG openCall = model->OpenServiceW(deviceName, events, &openResult);
      if (openCall != 0 || openResult != 0) stageResult = openCall ? openCall : openResult;
    }
  } catch (...) {
    return {OPOS_E_EXTENDED, OPOS_OR_FAILEDOPEN};
  }
  if (stageResult != 0) return {OPOS_E_NOHARDWARE, stageResult};

  model->KeepPortSettings(std::move(settings));
  model->BitMapMode(1);
  engine = std::move(model);
  return {0, 0};
}

}  // namespace Tesk::Printer

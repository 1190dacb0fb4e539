#include "ModelFactory.h"

#include <algorithm>
#include <array>

#include "ModelK15.h"
#include "ModelTMT88IV.h"
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
                              const PrinterEntry& entry, std::unique_ptr<CPrinterBase>& engine) {
  return OpenEngineWithModel(deviceName, events, entry, engine, &CreatePrinterModel);
}

}  // namespace Tesk::Printer

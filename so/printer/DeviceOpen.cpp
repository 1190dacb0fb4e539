#include "DeviceOpen.h"

#include "IPortSettings.h"
#include "OposConstants.h"
#include "PortFactory.h"

namespace Tesk::Printer {

OpenOutcome OpenEngineWithModel(const std::wstring& deviceName, IPrinterEventHandle* events,
                                const PrinterEntry& entry, std::unique_ptr<CPrinterBase>& engine,
                                ModelFactory createModel) {
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
  std::unique_ptr<CPrinterBase> model = createModel(entry.driverModel, &modelCode);
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

// The model classes by name, and opening an engine of the right model from its device
// entry. The engine layer knows no model; the COM layer opens through here.
#pragma once

#include <memory>
#include <string>

#include "DeviceOpen.h"
#include "PrinterBase.h"

namespace Tesk::Printer {

// The names "DriverModel" may carry (after cutting at the last "_"), per model class.
bool IsTMT88IVModelName(const std::string& name);
bool IsK15ModelName(const std::string& name);

// Constructs the model class for a "DriverModel" value: cut at its last "_", compared
// exactly. Unknown names construct nothing and set *code to 87.
std::unique_ptr<CPrinterBase> CreatePrinterModel(const std::wstring& driverModel, LONG* code);

// OpenEngineWithModel with the models above.
OpenOutcome OpenPrinterEngine(const std::wstring& deviceName, IPrinterEventHandle* events,
                              const PrinterEntry& entry, std::unique_ptr<CPrinterBase>& engine);

}  // namespace Tesk::Printer

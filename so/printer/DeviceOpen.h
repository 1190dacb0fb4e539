// Opening a printer engine from its registry device entry.
#pragma once

#include <memory>
#include <string>

#include "DeviceEntry.h"
#include "PrinterBase.h"

namespace Tesk::Printer {

// Constructs the model object a "DriverModel" value names, or nothing (with *code set).
// The models live beside their command builders, which build on this engine layer.
using ModelFactory = std::unique_ptr<CPrinterBase> (*)(const std::wstring& driverModel,
                                                       LONG* code);

// The result of an open: an OPOS result code and the OpenResult that stands with it.
struct OpenOutcome {
  LONG result = 0;
  LONG openResult = 0;
};

// Creates the port settings from "PortType" and "PortSettings", replaces (closing it
// first) any earlier engine with the model object createModel builds, gives it its port
// and opens it.
// On success the engine is open with bitmap mode 1 and the outcome is 0/0; a failed
// stage leaves its result and OpenResult (106/403 bad port entry, 109/402 unknown
// model, 107/401 port that cannot be probed) and no engine.
OpenOutcome OpenEngineWithModel(const std::wstring& deviceName, IPrinterEventHandle* events,
                                const PrinterEntry& entry, std::unique_ptr<CPrinterBase>& engine,
                                ModelFactory createModel);

}  // namespace Tesk::Printer

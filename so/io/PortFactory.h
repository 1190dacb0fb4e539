// Port objects from a "PortType" name.
#pragma once

#include <memory>
#include <string>

#include "IPort.h"
#include "IPortSettings.h"

namespace Tesk::IO {

// The error both factories throw (as an int) for a type that is not one of "COM",
// "USB", "LPT", "TCP/IP", "FILE" (exact, case-sensitive).
constexpr int kUnknownPortType = 2401;

// A new default settings object of the type.
std::unique_ptr<IPortSettings> CreatePortSettings(const std::wstring& portType);

// A new, closed port of the settings' type, holding a copy of the settings. Also throws
// 2401 when the settings object is not the settings class of its own type.
std::unique_ptr<IPort> CreatePort(const IPortSettings& settings);

}  // namespace Tesk::IO

// The settings of one port: built from the device's "PortType" and "PortSettings".
#pragma once

#include <string>

#include "platform/wintypes.h"

namespace Tesk::IO {

// Slot order is fixed: ports and the engine call through these slots only.
// Not thread-safe; the engine configures a settings object before any port uses it.
class IPortSettings {
 public:
  // The settings rendered as a "PortSettings"-like string (per port type).
  virtual std::wstring GetSettingsString() const = 0;
  // Parses a "PortSettings" value. Throws SettingsError (a std::runtime_error) for an
  // empty, field-less or out-of-range value; the service object's open fails then.
  virtual void SetSettingsString(const std::wstring& settings) = 0;
  virtual std::wstring GetPortName() const = 0;
  virtual std::wstring GetPortType() const = 0;
  virtual LONG GetInputBufferSize() const = 0;
  virtual LONG GetOutputBufferSize() const = 0;
  virtual LONG GetWriteTimeout() const = 0;  // milliseconds
  virtual LONG GetReadTimeout() const = 0;   // milliseconds
  virtual ~IPortSettings() = default;
};

}  // namespace Tesk::IO

// The OPOS registry device entries of printers and cash drawers.
#pragma once

#include <functional>
#include <string>

#include "platform/wintypes.h"

namespace Tesk::Printer {

// Every value is REG_SZ text of at most 255 characters.
struct PrinterEntry {
  std::wstring portType;
  std::wstring driverModel;
  std::wstring driverName;
  std::wstring portSettings;
  std::wstring outputBufSize;
  std::wstring bitMapMode;
  std::wstring writeTimeout;
  std::wstring readTimeout;
  std::wstring deviceDescription;
  std::wstring notes;
};

struct DrawerEntry {
  std::wstring openVoltage;
  std::wstring capDrawStatus;
  std::wstring drawerPin;
  std::wstring printerName;
  std::wstring signalOffTime;
  std::wstring signalOnTime;
  std::wstring waitForDrawerCloseTimeOut;
};

// HKEY_LOCAL_MACHINE paths of the entries.
std::wstring PrinterEntryPath(const std::wstring& deviceName);
std::wstring DrawerEntryPath(const std::wstring& deviceName);

// Reads an entry value by value. A value that fails (missing, unreadable, not REG_SZ,
// longer than 255 characters) is tried again after pauses of 0, 20, 40, 60 and 80 ms
// (printer) or 0, 50, 100, 150 and 200 ms (drawer): six tries at most. After each value
// read the reader pauses 10 ms. Returns 0, OPOS_E_ILLEGAL (106) when the key does not
// open, or OPOS_E_NOSERVICE (104) when a value stays unreadable.
LONG ReadPrinterEntry(const std::wstring& deviceName, PrinterEntry& entry);
LONG ReadDrawerEntry(const std::wstring& deviceName, DrawerEntry& entry);

// Decimal text to a number the way the entry values are read: leading digits only,
// none gives 0.
LONG EntryNumber(const std::wstring& text);

// Where the readers sleep; tests replace it to observe the pause schedule.
void SetEntryReaderSleep(std::function<void(DWORD)> sleeper);

}  // namespace Tesk::Printer

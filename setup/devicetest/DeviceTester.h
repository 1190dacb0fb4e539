// The device test of the setup tool: opens a printer or drawer entry through the control
// objects, runs the interactive health check, shows its text and closes the device again.
//
// Every message goes through MessageBoxW with the given caption and the information icon, so
// the process's message-box handler shows it. Call from one thread (the GUI thread); the
// interactive health check asks its own questions through MessageBoxW on this thread.
//
// While a device is open its events (StatusUpdate, ErrorEvent) are described to the event
// report, which runs on the service object's event thread: it must hand the text on (a queued
// signal) and return at once, never wait for the GUI thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "CashDrawer.h"
#include "POSPrinter.h"

namespace zanth::setup {

class DeviceTester {
 public:
  // Called on the service object's event thread with a description such as
  // "POSPrinter StatusUpdate: PTR_SUE_COVER_OPEN (11)".
  using EventReport = std::function<void(const std::wstring& description)>;

  explicit DeviceTester(std::wstring caption, EventReport eventReport = {});

  // Tests the printer entry (the device key's name). Returns the messages shown, in order.
  std::vector<std::wstring> TestPrinter(const std::wstring& deviceName);
  std::vector<std::wstring> TestDrawer(const std::wstring& deviceName);

  bool PrinterOpen() const { return printerOpen_; }
  bool DrawerOpen() const { return drawerOpen_; }

  // The text of an OpenResult code.
  static std::wstring OpenResultText(LONG openResult);
  // "NAME (value)" for a StatusUpdate value of the device class, "value" when unknown.
  static std::wstring StatusText(bool drawer, LONG status);

 private:
  void Show(const std::wstring& text);
  bool OpenPrinter(const std::wstring& deviceName);
  void ClosePrinter();
  bool OpenDrawer(const std::wstring& deviceName);
  void CloseDrawer();
  // Open, claim, enable and afterEnable (when given, 0 for success); on any failure shows its
  // text and leaves the device closed.
  bool OpenDevice(co::ControlObject& device, const std::wstring& deviceName, const wchar_t* openFailed,
                  const wchar_t* claimFailed, const std::function<LONG()>& afterEnable);
  // Leaves a control object closed whatever state a failed open left it in.
  static void Shut(co::ControlObject& device);

  std::wstring caption_;
  EventReport eventReport_;
  std::vector<std::wstring> shown_;
  co::POSPrinter printer_;
  co::CashDrawer drawer_;
  bool printerOpen_ = false;
  bool drawerOpen_ = false;
};

}  // namespace zanth::setup

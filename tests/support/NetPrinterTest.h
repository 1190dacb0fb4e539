// A fixture for end-to-end tests of one control object and the virtual printer on loopback
// TCP: the device entry "Net", the printer's server, and every callback recorded.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "OposConstants.h"
#include "POSPrinter.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "so/com/SoTestSupport.h"
#include "support/EventRecorder.h"

namespace zanth::test {

class NetPrinterTest : public ::testing::Test {
 protected:
  explicit NetPrinterTest(sim::PrinterConfig config = {}) : device_(config) {}
  void SetUp() override {
    ASSERT_TRUE(Library().Loaded());
    ASSERT_EQ(Library().registerServer(), S_OK);
    server_ = std::make_unique<sim::TcpServer>(device_, 0);
    port_ = server_->Port();
    AddFilePrinter(L"Net", registry_.Folder() + "/unused.out");
    const std::wstring key = std::wstring(kPrinterRoot) + L"Net";
    TempRegistry::SetString(key, L"PortType", L"TCP/IP");
    TempRegistry::SetString(key, L"PortSettings", L"127.0.0.1," + std::to_wstring(port_));
    Record(printer_, events_);
  }
  void TearDown() override {
    if (printer_.IsOpen()) printer_.Close();
  }
  void OpenEnabled(bool async = true) {
    ASSERT_EQ(printer_.Open(L"Net"), OPOS_SUCCESS);
    ASSERT_EQ(printer_.ClaimDevice(1000), OPOS_SUCCESS);
    printer_.SetDeviceEnabled(true);
    ASSERT_TRUE(printer_.DeviceEnabled());
    printer_.SetAsyncMode(async ? 1 : 0);
    // The report of enable (paper ok, cover ok) arrives before anything the test does.
    ASSERT_TRUE(events_.WaitForValue('S', PTR_SUE_COVER_OK));
  }

  TempRegistry registry_;
  // What a test's callbacks count lives here, not in the test body: a callback may still
  // be running when the body has returned, until TearDown closes the control object.
  std::atomic<int> answered_{0};
  std::atomic<bool> disabledInside_{false};
  sim::VirtualPrinter device_;
  std::unique_ptr<sim::TcpServer> server_;
  std::uint16_t port_ = 0;
  Recorder events_;
  co::POSPrinter printer_;
};

}  // namespace zanth::test

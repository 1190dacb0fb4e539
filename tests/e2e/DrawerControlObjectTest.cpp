// A cash drawer that owns its printer's engine, driven through the CashDrawer control
// object over loopback TCP and a pseudo-terminal: the pulse opens the virtual drawer,
// the wait beeps until it closes, and a printer client on its own thread shares the
// engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <variant>
#include <vector>

#include "CashDrawer.h"
#include "OposConstants.h"
#include "POSPrinter.h"
#include "platform/msgbox.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "so/com/SoTestSupport.h"

namespace zanth::test {
namespace {

using namespace std::chrono_literals;

enum class Link { Tcp, Pty };

// What the printer client's thread saw.
struct PrinterClientReport {
  LONG healthResult = -1;
  std::wstring healthText;
  std::atomic<int> printed{0}, refused{0};  // read by the cashier's thread
};

class DrawerThroughControlObject : public ::testing::TestWithParam<Link> {};

TEST_P(DrawerThroughControlObject, OpensBeepsUntilClosedAndThePrinterStillPrints) {
  TempRegistry registry;
  ASSERT_TRUE(Library().Loaded());
  ASSERT_EQ(Library().registerServer(), S_OK);
  sim::VirtualPrinter printer;
  std::variant<std::monostate, std::unique_ptr<sim::TcpServer>, std::unique_ptr<sim::PtyTransport>>
      link;
  const std::wstring key = std::wstring(kPrinterRoot) + L"Till";
  AddFilePrinter(L"Till", registry.Folder() + "/unused", L"LM301");  // 80 mm: has a buzzer
  if (GetParam() == Link::Tcp) {
    auto& server = link.emplace<1>(std::make_unique<sim::TcpServer>(printer, 0));
    TempRegistry::SetString(key, L"PortType", L"TCP/IP");
    TempRegistry::SetString(key, L"PortSettings", L"127.0.0.1," + std::to_wstring(server->Port()));
  } else {
    auto& pty = link.emplace<2>(std::make_unique<sim::PtyTransport>(printer));
    TempRegistry::SetString(key, L"PortType", L"COM");
    TempRegistry::SetString(key, L"PortSettings",
                            platform::FromUtf8(pty->SlavePath()) + L",BaudRate_115200");
  }
  AddDrawer(L"Drawer", L"Till");
  const std::wstring drawerKey = std::wstring(kDrawerRoot) + L"Drawer";
  TempRegistry::SetString(drawerKey, L"DrawerPin", L"1");
  TempRegistry::SetString(drawerKey, L"WaitForDrawerCloseTimeOut", L"60000");

  // Declared before the control object: its callback may run until it is closed.
  std::mutex statusMutex;
  std::condition_variable statusChanged;
  std::vector<LONG> statuses;
  co::CashDrawer drawer;
  drawer.Callbacks().statusUpdate = [&](LONG status) {
    std::lock_guard<std::mutex> lock(statusMutex);
    statuses.push_back(status);
    statusChanged.notify_all();
  };
  const auto waitForStatus = [&](LONG status) {
    std::unique_lock<std::mutex> lock(statusMutex);
    return statusChanged.wait_for(lock, 20s, [&] {
      return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
    });
  };
  ASSERT_EQ(drawer.Open(L"Drawer"), OPOS_SUCCESS);  // owns the engine: opens the printer's port
  ASSERT_EQ(drawer.ClaimDevice(1000), OPOS_SUCCESS);
  drawer.SetDeviceEnabled(true);
  ASSERT_TRUE(drawer.DeviceEnabled());
  EXPECT_EQ(drawer.State(), OPOS_S_IDLE);  // paper is not the drawer's concern

  // The printer client lives on its own thread, as a second application would.
  std::promise<void> attached, drawerOpened;
  std::atomic<bool> stopPrinting{false};
  PrinterClientReport report;
  std::thread printerClient([&] {
    co::POSPrinter pos;
    if (pos.Open(L"Till") != OPOS_SUCCESS || pos.ClaimDevice(1000) != OPOS_SUCCESS) {
      attached.set_value();
      return;
    }
    pos.SetDeviceEnabled(true);
    // The calling instance's role decides: the printer's check, not the drawer's.
    report.healthResult = pos.CheckHealth(OPOS_CH_EXTERNAL);
    report.healthText = pos.CheckHealthText();
    attached.set_value();
    drawerOpened.get_future().wait();
    // Prints while the cashier's wait for the drawer runs.
    for (int line = 0; line < 3; ++line) {
      const LONG rc = pos.PrintNormal(PTR_S_RECEIPT, L"sale " + std::to_wstring(line) + L"\n");
      (rc == OPOS_SUCCESS ? report.printed : report.refused)++;
    }
    while (!stopPrinting) std::this_thread::sleep_for(50ms);
    pos.SetDeviceEnabled(false);
    pos.ReleaseDevice();
    pos.Close();
  });
  attached.get_future().wait();
  EXPECT_EQ(report.healthResult, OPOS_SUCCESS);
  EXPECT_EQ(report.healthText, L"External HealthCheck: Complete.\r\n\r\nSuccessful");
  EXPECT_TRUE(printer.WaitFor(
      [&] { return printer.PrintedText().find("OPOS Printer CheckHealth EXTERNAL:") != std::string::npos; },
      10s));
  EXPECT_EQ(drawer.CheckHealth(OPOS_CH_EXTERNAL), OPOS_SUCCESS);
  EXPECT_EQ(drawer.CheckHealthText(), L"External HealthCheck: Success!");
  int boxes = 0;
  SetMessageBoxHandler([&](const std::wstring&, const std::wstring&, UINT) { return ++boxes, IDOK; });
  EXPECT_EQ(drawer.CheckHealth(OPOS_CH_INTERACTIVE), OPOS_SUCCESS);
  SetMessageBoxHandler(nullptr);
  EXPECT_EQ(boxes, 1);
  EXPECT_EQ(drawer.CheckHealthText(), L"INTERACTIVE HealthCheck: Success!");

  ASSERT_EQ(drawer.OpenDrawer(), OPOS_SUCCESS);
  EXPECT_EQ(printer.PulseCount(), 1);
  EXPECT_TRUE(printer.State().drawerOpen);
  EXPECT_EQ(drawer.DrawerOpened(), 1);
  // The pulse's own check and the read above took the printer's report of the opening:
  // the application hears of it all the same.
  EXPECT_TRUE(waitForStatus(CASH_SUE_DRAWEROPEN));
  drawerOpened.set_value();

  // The cashier closes the drawer once it has beeped twice and the sale has printed:
  // the wait must not hold the printer client up.
  std::thread cashier([&] {
    printer.WaitFor([&] {
      return printer.BeepCount() >= 4 && printer.PrintedText().find("sale 2") != std::string::npos;
    }, 30s);
    printer.SetDrawerOpen(false);
  });
  EXPECT_EQ(drawer.WaitForDrawerClose(0, 1000, 100, 100), OPOS_SUCCESS);
  cashier.join();
  EXPECT_GE(printer.BeepCount(), 4);  // two beeps a command, repeated
  EXPECT_EQ(report.printed.load(), 3) << "the sale printed while the wait ran";
  EXPECT_EQ(drawer.DrawerOpened(), 0);
  EXPECT_TRUE(waitForStatus(CASH_SUE_DRAWERCLOSED));
  stopPrinting = true;
  printerClient.join();
  EXPECT_EQ(report.printed, 3);
  EXPECT_EQ(report.refused, 0);

  drawer.SetDeviceEnabled(false);
  EXPECT_EQ(drawer.ReleaseDevice(), OPOS_SUCCESS);
  EXPECT_EQ(drawer.Close(), OPOS_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Links, DrawerThroughControlObject, ::testing::Values(Link::Tcp, Link::Pty),
                         [](const auto& info) { return info.param == Link::Tcp ? "Tcp" : "Pty"; });

}  // namespace
}  // namespace zanth::test

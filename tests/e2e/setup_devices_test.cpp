// What the setup tool saves is what the service object opens: a TCP/IP printer and its drawer
// saved by the editor rules, used through the control objects against the virtual printer, and
// the device test over them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "CashDrawer.h"
#include "DeviceTester.h"
#include "OposConstants.h"
#include "POSPrinter.h"
#include "platform/msgbox.h"
#include "setup/SetupCore.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "so/com/SoTestSupport.h"
#include "support/EventRecorder.h"
#include "support/LoopbackPrinter.h"

namespace zanth::test {
namespace {

constexpr auto kWait = std::chrono::seconds(10);

class SetupDevices : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library().Loaded()) << dlerror();
    ASSERT_EQ(Library().registerServer(), S_OK);
    // The editor always writes port 9100: listen there on a loopback address of our own.
    server_ = ListenOnOwnLoopback(device_, address_);
    ASSERT_TRUE(server_) << "no loopback address free for port 9100";
    printer_ = setup::NewPrinterEntry(L"ZQ-1A");
    printer_.portType = L"TCP/IP";
    printer_.ipAddress = platform::FromUtf8(address_);
    ASSERT_TRUE(setup::SavePrinter(printer_, setup::EditMode::Add, L"", setup::kBuildBrand).ok());
    drawer_ = setup::NewDrawerEntry(printer_.printerName);
    ASSERT_TRUE(setup::SaveDrawer(drawer_, setup::EditMode::Add, L"", setup::kBuildBrand).ok());
    previous_ = SetMessageBoxHandler([this](const std::wstring& text, const std::wstring&, UINT type) {
      boxes_.push_back(text);
      return DefaultMessageBoxAnswer(type);
    });
  }
  void TearDown() override { SetMessageBoxHandler(previous_); }
  // The device test's event report; runs on the service object's event thread.
  setup::DeviceTester::EventReport ReportEvents() {
    return [this](const std::wstring& description) {
      std::lock_guard<std::mutex> lock(eventsMutex_);
      events_.push_back(description);
    };
  }
  bool EventReported(const std::wstring& description) {
    std::lock_guard<std::mutex> lock(eventsMutex_);
    return std::find(events_.begin(), events_.end(), description) != events_.end();
  }

  TempRegistry registry_;
  sim::VirtualPrinter device_;
  std::string address_;
  std::unique_ptr<sim::TcpServer> server_;
  setup::PrinterEntry printer_;
  setup::DrawerEntry drawer_;
  std::vector<std::wstring> boxes_;
  MessageBoxHandler previous_;
  std::mutex eventsMutex_;
  std::vector<std::wstring> events_;
};

TEST_F(SetupDevices, SavedPrinterPrintsAndItsDrawerOpens) {
  co::POSPrinter printer;
  ASSERT_EQ(printer.Open(printer_.logicalName), OPOS_SUCCESS) << printer.OpenResult();
  ASSERT_EQ(printer.ClaimDevice(1000), OPOS_SUCCESS);
  printer.SetDeviceEnabled(true);
  ASSERT_EQ(printer.ResultCode(), OPOS_SUCCESS);
  ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"Saved by the setup tool\n"), OPOS_SUCCESS);
  ASSERT_EQ(printer.CutPaper(100), OPOS_SUCCESS);
  ASSERT_TRUE(device_.WaitForCuts(1, kWait));
  EXPECT_EQ(device_.PrintedText(), "Saved by the setup tool\n");

  // The drawer saved for it opens in the drawer role beside the open printer.
  co::CashDrawer drawer;
  ASSERT_EQ(drawer.Open(drawer_.logicalName), OPOS_SUCCESS) << drawer.OpenResult();
  ASSERT_EQ(drawer.ClaimDevice(1000), OPOS_SUCCESS);
  drawer.SetDeviceEnabled(true);
  EXPECT_EQ(drawer.ResultCode(), OPOS_SUCCESS);
  EXPECT_TRUE(drawer.DeviceEnabled());
  drawer.Close();
  printer.Close();
}

TEST_F(SetupDevices, PrinterTestRunsTwiceAndClosesEachTime) {
  setup::DeviceTester tester(L"Setup");
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    const std::vector<std::wstring> shown = tester.TestPrinter(printer_.printerName);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0], L"Cann't print anything due to printer fail!");
    EXPECT_FALSE(tester.PrinterOpen());
  }
  EXPECT_GE(server_->ConnectionsAccepted(), 2);
}

TEST_F(SetupDevices, DrawerTestRunsTwiceWithTheSuccessText) {
  setup::DeviceTester tester(L"Setup");
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    EXPECT_EQ(tester.TestDrawer(drawer_.drawerName),
              std::vector<std::wstring>{L"INTERACTIVE HealthCheck: Success!"});
    EXPECT_FALSE(tester.DrawerOpen());
  }
  EXPECT_EQ(device_.PulseCount(), 2);  // one kick per test
}

// Events reach the tester's report while the device is under test: each interactive box stays
// up until its event arrived, which needs the box to leave the device to the event thread.
TEST_F(SetupDevices, EventsArriveWhileTheInteractiveBoxIsUp) {
  // The virtual printer's sensor reads high for an open drawer.
  ASSERT_TRUE(TempRegistry::SetString(L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\" + drawer_.drawerName,
                                      L"OpenVoltage", L"1"));
  const struct {
    bool drawer;
    const wchar_t* box;
    const wchar_t* event;
  } cases[] = {
      {false, L"OPOS Check Health:INTERACTIVE", L"POSPrinter StatusUpdate: PTR_SUE_COVER_OK (12)"},
      {true, L"CashDrawer Check Health:INTERACTIVE", L"CashDrawer StatusUpdate: CASH_SUE_DRAWEROPEN (1)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.event));
    bool arrivedDuringTest = false;
    SetMessageBoxHandler([&](const std::wstring& text, const std::wstring&, UINT type) {
      if (text.find(c.box) != std::wstring::npos)
        arrivedDuringTest = WaitUntil([&] { return EventReported(c.event); });
      return DefaultMessageBoxAnswer(type);
    });
    setup::DeviceTester tester(L"Setup", ReportEvents());
    const std::vector<std::wstring> shown =
        c.drawer ? tester.TestDrawer(drawer_.drawerName) : tester.TestPrinter(printer_.printerName);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find(L"HealthCheck: "), std::wstring::npos) << platform::ToUtf8(shown[0]);
    EXPECT_TRUE(arrivedDuringTest);
  }
}

TEST(DeviceTesterStatusText, NamesByDeviceClass) {
  const struct {
    bool drawer;
    LONG status;
    const wchar_t* text;
  } cases[] = {
      {false, 11, L"PTR_SUE_COVER_OPEN (11)"},       {false, 24, L"PTR_SUE_REC_EMPTY (24)"},
      {false, 2004, L"OPOS_SUE_POWER_OFF_OFFLINE (2004)"}, {false, 1, L"1"},
      {true, 1, L"CASH_SUE_DRAWEROPEN (1)"},         {true, 0, L"CASH_SUE_DRAWERCLOSED (0)"},
      {true, 2001, L"OPOS_SUE_POWER_ONLINE (2001)"}, {true, 11, L"11"},
  };
  for (const auto& c : cases) EXPECT_EQ(setup::DeviceTester::StatusText(c.drawer, c.status), c.text) << c.status;
}

// A drawer that opens but cannot be kicked (its entry selects no connector pin, which the
// service object refuses) must not stay open: the next test would fail at Open with
// "Control Object already open".
TEST_F(SetupDevices, FailureAfterOpenClosesForTheNextTest) {
  setup::DeviceTester tester(L"Setup");
  const std::wstring key = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\" + drawer_.drawerName;
  const std::wstring pin = setup::ReadString(key, L"DrawerPin");
  ASSERT_TRUE(TempRegistry::SetString(key, L"DrawerPin", L"0"));
  EXPECT_EQ(tester.TestDrawer(drawer_.drawerName),
            (std::vector<std::wstring>{L"Cashdrawer failed to get the exclusive right for the device.",
                                       L"Cann't print anything due to printer fail!"}));
  EXPECT_FALSE(tester.DrawerOpen());
  ASSERT_TRUE(TempRegistry::SetString(key, L"DrawerPin", pin));
  const std::vector<std::wstring> shown = tester.TestDrawer(drawer_.drawerName);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown[0].find(L"failed to open"), std::wstring::npos) << platform::ToUtf8(shown[0]);
  // The printer test after it opens too.
  ASSERT_EQ(tester.TestPrinter(printer_.printerName).size(), 1u);
}

TEST_F(SetupDevices, OpenFailuresNameTheirReason) {
  setup::DeviceTester tester(L"Setup");
  EXPECT_EQ(tester.TestPrinter(L"NoSuchPrinter"),
            (std::vector<std::wstring>{
                L"PosPrinter Failed Open: The registry does not contain a key for the specified device name!",
                L"Cann't print anything due to printer fail!"}));
  EXPECT_EQ(tester.TestDrawer(L"NoSuchDrawer"),
            (std::vector<std::wstring>{
                L"Cashdrawer failed to open: The registry does not contain a key for the specified device name!",
                L"Cann't print anything due to printer fail!"}));
}

}  // namespace
}  // namespace zanth::test

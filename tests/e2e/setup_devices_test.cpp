// What the setup tool saves is what the service object opens: a TCP/IP printer and its drawer
// saved by the editor rules, used through the control objects against the virtual printer, and
// the device test over them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <system_error>

#include "CashDrawer.h"
#include "DeviceTester.h"
#include "OposConstants.h"
#include "POSPrinter.h"
#include "platform/msgbox.h"
#include "setup/SetupCore.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "so/com/SoTestSupport.h"
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

  TempRegistry registry_;
  sim::VirtualPrinter device_;
  std::string address_;
  std::unique_ptr<sim::TcpServer> server_;
  setup::PrinterEntry printer_;
  setup::DrawerEntry drawer_;
  std::vector<std::wstring> boxes_;
  MessageBoxHandler previous_;
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

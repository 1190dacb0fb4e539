// The control objects against the real service object: activation by ProgID after
// registration only, the standard open-to-close sequence with its codes, logical names,
// a drawer that owns the printer's engine, and FreezeEvents with VARIANT_TRUE.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "CashDrawer.h"
#include "OposConstants.h"
#include "POSPrinter.h"
#include "so/com/SoTestSupport.h"
#include "support/SimFifoPrinter.h"

namespace zanth::test {
namespace {

class ComCoClient : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library().Loaded()) << dlerror();
    output_ = registry_.Folder() + "/receipt.out";
    AddFilePrinter(L"P1", output_);
    TempRegistry::SetString(L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter", L"Receipt", L"P1");
    AddDrawer(L"D1", L"P1");
  }
  TempRegistry registry_;
  std::string output_;
};

TEST_F(ComCoClient, CreatesTheServiceObjectByProgIdOnlyAfterRegistration) {
  co::POSPrinter printer;
  EXPECT_EQ(printer.Open(L"Receipt"), OPOS_E_NOSERVICE);
  EXPECT_EQ(printer.OpenResult(), OPOS_OR_REGPROGID);
  ASSERT_EQ(Library().registerServer(), S_OK);
  EXPECT_EQ(printer.Open(L"Receipt"), OPOS_SUCCESS);
  EXPECT_EQ(printer.OpenResult(), 0);
  EXPECT_EQ(printer.Close(), OPOS_SUCCESS);
  ASSERT_EQ(Library().unregisterServer(), S_OK);
  EXPECT_EQ(printer.Open(L"Receipt"), OPOS_E_NOSERVICE);
  EXPECT_EQ(printer.OpenResult(), OPOS_OR_REGPROGID);
}

TEST_F(ComCoClient, OpenToCloseWithTheStandardCodes) {
  ASSERT_EQ(Library().registerServer(), S_OK);
  // A printer that answers the status reads at enable, so the receipt has paper.
  SimFifoPrinter sim(registry_.Folder());
  ASSERT_TRUE(TempRegistry::SetString(L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\P1",
                                      L"PortSettings", sim.PortSettings()));
  co::POSPrinter printer;
  ASSERT_EQ(printer.Open(L"Receipt"), OPOS_SUCCESS);
  EXPECT_EQ(printer.ResultCode(), OPOS_SUCCESS);  // right after the open
  EXPECT_EQ(printer.ServiceObjectVersion(), 1013001);
  EXPECT_EQ(printer.ServiceObjectDescription(), L"POS Printer OPOS Service Object");
  EXPECT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"x"), OPOS_E_NOTCLAIMED);
  EXPECT_EQ(printer.ResultCode(), OPOS_E_NOTCLAIMED);
  ASSERT_EQ(printer.ClaimDevice(1000), OPOS_SUCCESS);
  EXPECT_TRUE(printer.Claimed());
  EXPECT_EQ(printer.PrintNormal(PTR_S_JOURNAL, L"x"), OPOS_E_DISABLED);
  EXPECT_EQ(printer.PrintBarCode(PTR_S_JOURNAL, L"x", PTR_BCS_Code128, 50, 2, PTR_BC_CENTER,
                                 PTR_BC_TEXT_NONE),
            OPOS_E_ILLEGAL);
  EXPECT_EQ(printer.ResultCodeExtended(), 301);
  printer.SetDeviceEnabled(true);
  EXPECT_EQ(printer.ResultCode(), OPOS_SUCCESS);
  EXPECT_TRUE(printer.DeviceEnabled());
  EXPECT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"Hello control object\n"), OPOS_SUCCESS);
  EXPECT_EQ(printer.ValidateData(PTR_S_RECEIPT, L"x"), OPOS_E_ILLEGAL);  // refused
  printer.SetDeviceEnabled(false);
  EXPECT_FALSE(printer.DeviceEnabled());
  EXPECT_EQ(printer.ReleaseDevice(), OPOS_SUCCESS);
  EXPECT_EQ(printer.Close(), OPOS_SUCCESS);
  EXPECT_EQ(printer.ResultCode(), OPOS_E_CLOSED);
  EXPECT_EQ(printer.State(), OPOS_S_CLOSED);
  EXPECT_TRUE(sim.WaitForText("Hello control object"));
}

TEST_F(ComCoClient, FreezeEventsReadsTrueWhileFrozen) {
  ASSERT_EQ(Library().registerServer(), S_OK);
  co::POSPrinter printer;
  printer.ContainerFreezeEvents(true);  // before the open: sent as VARIANT_TRUE after it
  ASSERT_EQ(printer.Open(L"P1"), OPOS_SUCCESS);
  EXPECT_TRUE(printer.FreezeEvents());
  printer.ContainerFreezeEvents(false);
  EXPECT_FALSE(printer.FreezeEvents());
  printer.SetFreezeEvents(true);
  EXPECT_TRUE(printer.FreezeEvents());
  printer.SetFreezeEvents(false);
  EXPECT_FALSE(printer.FreezeEvents());
}

TEST_F(ComCoClient, DrawerOwnsTheEngineAndThePrinterAttaches) {
  ASSERT_EQ(Library().registerServer(), S_OK);
  co::CashDrawer drawer;
  ASSERT_EQ(drawer.Open(L"D1"), OPOS_SUCCESS);
  EXPECT_EQ(drawer.CapStatus(), 1);
  ASSERT_EQ(std::remove(output_.c_str()), 0);  // a second engine could not open now
  co::POSPrinter printer;
  EXPECT_EQ(printer.Open(L"Receipt"), OPOS_SUCCESS);
  std::ofstream(output_).close();
  EXPECT_EQ(printer.ClaimDevice(0), OPOS_SUCCESS);  // claims the drawer's engine
  printer.SetDeviceEnabled(true);
  EXPECT_TRUE(printer.DeviceEnabled());
  EXPECT_EQ(printer.Close(), OPOS_SUCCESS);
  EXPECT_EQ(drawer.Close(), OPOS_SUCCESS);
}

TEST_F(ComCoClient, ServiceObjectOpenFailureComesWithItsReason) {
  ASSERT_EQ(Library().registerServer(), S_OK);
  TempRegistry::SetString(std::wstring(kPrinterRoot) + L"P1", L"DriverModel", L"NoSuchModel");
  co::POSPrinter printer;
  EXPECT_EQ(printer.Open(L"P1"), OPOS_E_ILLEGAL);
  EXPECT_EQ(printer.OpenResult(), OPOS_ORS_NOTSUPPORTED);
  EXPECT_EQ(printer.ResultCode(), OPOS_E_CLOSED);
  co::CashDrawer drawer;
  EXPECT_EQ(drawer.Open(L"NoDrawer"), OPOS_E_NOEXIST);  // no device key
  EXPECT_EQ(drawer.OpenResult(), OPOS_OR_REGBADNAME);
}

}  // namespace
}  // namespace zanth::test

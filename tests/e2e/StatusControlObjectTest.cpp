// Enabling a network printer reads its state: the State property through the control
// object follows what the virtual printer reports.
#include <gtest/gtest.h>

#include <chrono>

#include "OposConstants.h"
#include "POSPrinter.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "so/com/SoTestSupport.h"

namespace zanth::test {
namespace {

using namespace std::chrono_literals;

struct StateCase {
  const char* name;
  sim::PrinterState printer;
  LONG state;
  LONG printResult, extended;
};

class EnableReadsState : public ::testing::TestWithParam<StateCase> {};

TEST_P(EnableReadsState, StateAndSynchronousOutputFollowThePrinter) {
  const auto& c = GetParam();
  TempRegistry registry;
  ASSERT_TRUE(Library().Loaded());
  ASSERT_EQ(Library().registerServer(), S_OK);
  sim::VirtualPrinter printer;
  sim::TcpServer server(printer, 0);
  printer.SetState(c.printer);
  const std::wstring key = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\Net";
  AddFilePrinter(L"Net", registry.Folder() + "/unused");  // then moved to TCP/IP
  ASSERT_TRUE(TempRegistry::SetString(key, L"PortType", L"TCP/IP"));
  ASSERT_TRUE(TempRegistry::SetString(key, L"DriverModel", L"TM-T88IV"));
  ASSERT_TRUE(TempRegistry::SetString(key, L"PortSettings",
                                      L"127.0.0.1," + std::to_wstring(server.Port())));

  co::POSPrinter pos;
  ASSERT_EQ(pos.Open(L"Net"), OPOS_SUCCESS);
  EXPECT_EQ(pos.State(), OPOS_S_ERROR);  // paper counts as out until the first read
  ASSERT_EQ(pos.ClaimDevice(1000), OPOS_SUCCESS);
  pos.SetDeviceEnabled(true);
  ASSERT_TRUE(pos.DeviceEnabled());
  EXPECT_EQ(pos.State(), c.state);
  EXPECT_EQ(pos.PrintNormal(PTR_S_RECEIPT, L"status check\n"), c.printResult);
  EXPECT_EQ(pos.ResultCodeExtended(), c.extended);
  EXPECT_EQ(pos.CoverOpen(), c.printer.coverOpen);
  EXPECT_EQ(pos.RecEmpty(), c.printer.paperEnd);
  pos.SetDeviceEnabled(false);
  EXPECT_EQ(pos.ReleaseDevice(), OPOS_SUCCESS);
  EXPECT_EQ(pos.Close(), OPOS_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Printer, EnableReadsState,
    ::testing::Values(
        StateCase{"Ready", {}, OPOS_S_IDLE, OPOS_SUCCESS, 0},
        StateCase{"NearEnd", {.paperNearEnd = true}, OPOS_S_IDLE, OPOS_SUCCESS, 0},
        StateCase{"CoverOpen", {.coverOpen = true}, OPOS_S_ERROR, OPOS_E_EXTENDED,
                  OPOS_EPTR_COVER_OPEN},
        StateCase{"PaperOut", {.paperEnd = true}, OPOS_S_ERROR, OPOS_E_EXTENDED,
                  OPOS_EPTR_REC_EMPTY}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zanth::test

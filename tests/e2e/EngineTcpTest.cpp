// The engine on a TCP/IP port talking to the virtual printer.
#include <gtest/gtest.h>

#include <csignal>
#include <chrono>

#include "ModelFactory.h"
#include "OposConstants.h"
#include "PrinterPort.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "so/printer/TestEngine.h"

namespace {

using namespace std::chrono_literals;
using Tesk::Printer::CPrinterBase;
using Tesk::Printer::OpenPrinterEngine;
using Tesk::Printer::PrinterEntry;
using zanth::sim::TcpServer;
using zanth::sim::VirtualPrinter;
using zanth::test::RecordingEvents;

struct TcpPrinter : ::testing::Test {
  void SetUp() override {
    zanth::sim::PrinterIds ids;
    ids.firmware = "3.10 SIM";
    ids.maker = "Simulated Maker";
    ids.model = "SIM-80";
    ids.typeId = 0x02;
    printer.SetIds(ids);
  }
  void Open(const std::wstring& model = L"TM-T88IV") {
    PrinterEntry entry;
    entry.portType = L"TCP/IP";
    entry.driverModel = model;
    entry.portSettings = L"127.0.0.1," + std::to_wstring(server.Port());
    const auto outcome = OpenPrinterEngine(L"Receipt", &events, entry, engine);
    ASSERT_EQ(outcome.result, 0);
    ASSERT_EQ(outcome.openResult, 0);
  }
  LONG Claim() {
    LONG result = 0;
    engine->ClaimDevice(0, &result);
    return result;
  }
  bool Sent(std::string_view op) {
    for (const auto& command : printer.Log())
      if (command.op == op) return true;
    return false;
  }

  VirtualPrinter printer;
  TcpServer server{printer, 0};
  RecordingEvents events;
  std::unique_ptr<CPrinterBase> engine;
};

TEST_F(TcpPrinter, ClaimSendsTheSetUpAndStoresThePrinterInformation) {
  Open();
  ASSERT_EQ(Claim(), 0);
  EXPECT_EQ(engine->GetFirmwareVersion(), "3.10 SIM");
  EXPECT_EQ(engine->GetMakerName(), "Simulated Maker");
  EXPECT_EQ(engine->GetModelName(), L"SIM-80");
  EXPECT_EQ(engine->GetCapRecPapercut(), 1);
  EXPECT_EQ(engine->IsAsbInUse(), 1);

  const auto log = printer.Log();
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[0].mnemonic, "ESC @");
  EXPECT_EQ(log[1].mnemonic, "ESC =");
  EXPECT_EQ(log[1].Arg(0), 1);
}

TEST_F(TcpPrinter, PrinterWithoutCutterClearsTheCapability) {
  zanth::sim::PrinterIds ids;
  ids.typeId = 0x00;
  printer.SetIds(ids);
  Open();
  ASSERT_EQ(Claim(), 0);
  EXPECT_EQ(engine->GetCapRecPapercut(), 0);
}

TEST_F(TcpPrinter, EnableReadsTheStateAndAsbReportsChanges) {
  printer.SetPaperNearEnd(true);
  Open();
  ASSERT_EQ(Claim(), 0);
  ASSERT_EQ(engine->DeviceEnable(1), 1);
  EXPECT_EQ(events.statuses, (std::vector<LONG>{PTR_SUE_REC_NEAREMPTY, PTR_SUE_COVER_OK}));
  EXPECT_EQ(engine->IsInErrorState(), 0);
  ASSERT_TRUE(printer.WaitFor([&] { return printer.AsbMask() == 0xFF; }, 5s));

  events.statuses.clear();
  printer.SetCoverOpen(true);  // the printer sends an ASB block on the change
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (events.statuses.empty() && std::chrono::steady_clock::now() < deadline)
    engine->GetPrinterState(false);
  ASSERT_FALSE(events.statuses.empty());
  EXPECT_EQ(events.statuses.front(), PTR_SUE_COVER_OPEN);
  EXPECT_EQ(engine->IsInErrorState(), 1);
}

TEST_F(TcpPrinter, CoverOpenAtEnableIsAnErrorState) {
  printer.SetCoverOpen(true);
  Open();
  ASSERT_EQ(Claim(), 0);
  ASSERT_EQ(engine->DeviceEnable(1), 1);
  EXPECT_EQ(engine->IsInErrorState(), 1);
  ASSERT_FALSE(events.statuses.empty());
  EXPECT_EQ(events.statuses.back(), PTR_SUE_COVER_OPEN);
}

TEST_F(TcpPrinter, SilentPrinterDoesNotHangTheEnable) {
  Open();
  ASSERT_EQ(Claim(), 0);
  printer.SetSilent(true);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(engine->DeviceEnable(1), 1);
  EXPECT_TRUE(events.statuses.empty());
  EXPECT_EQ(engine->GetLastStatus().paperEnd, 0);  // unknown: the open's paper out ended
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
}

TEST_F(TcpPrinter, DroppedConnectionBetweenJobsReconnectsOnce) {
  Open();
  ASSERT_EQ(Claim(), 0);
  ASSERT_EQ(engine->DeviceEnable(1), 1);
  const int before = server.ConnectionsAccepted();
  server.DropConnection();
  ASSERT_TRUE(printer.WaitFor([&] { return !server.Connected(); }, 5s));

  PrinterBuffer job;
  job.AppendBytes("second job\n", 11);
  EXPECT_EQ(engine->DirectSend(job, false, 7), 0);
  ASSERT_TRUE(printer.WaitFor(
      [&] {
        for (const auto& c : printer.Log())
          if (c.op == "Text" && std::string(c.data.begin(), c.data.end()) == "second job") return true;
        return false;
      },
      10s));
  EXPECT_EQ(server.ConnectionsAccepted(), before + 1);
}

TEST_F(TcpPrinter, StatusKeepsFlowingAfterAReconnect) {
  Open();
  ASSERT_EQ(Claim(), 0);
  ASSERT_EQ(engine->DeviceEnable(1), 1);
  server.DropConnection();
  ASSERT_TRUE(printer.WaitFor([&] { return !server.Connected(); }, 5s));
  PrinterBuffer job;
  job.AppendBytes("after reconnect\n", 16);
  ASSERT_EQ(engine->DirectSend(job, false, 7), 0);
  ASSERT_TRUE(printer.WaitFor([&] { return printer.AsbMask() == 0xFF; }, 10s))
      << "automatic status back was not restored on the new connection";

  events.statuses.clear();
  printer.SetPaperEnd(true);
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (events.statuses.empty() && std::chrono::steady_clock::now() < deadline)
    engine->GetPrinterState(false);
  ASSERT_FALSE(events.statuses.empty());
  EXPECT_EQ(events.statuses.front(), PTR_SUE_REC_EMPTY);
}

TEST(TcpPrinterUnreachable, OpenFailsWith401) {
  // A port nobody listens on: take an ephemeral one and close it again.
  std::uint16_t port;
  {
    VirtualPrinter printer;
    TcpServer server(printer, 0);
    port = server.Port();
  }
  PrinterEntry entry;
  entry.portType = L"TCP/IP";
  entry.driverModel = L"TM-T88IV";
  entry.portSettings = L"127.0.0.1," + std::to_wstring(port);
  std::unique_ptr<CPrinterBase> engine;
  const auto outcome = OpenPrinterEngine(L"Receipt", nullptr, entry, engine);
  EXPECT_EQ(outcome.result, OPOS_E_NOHARDWARE);
  EXPECT_EQ(outcome.openResult, OPOS_ORS_NOPORT);
}

}  // namespace

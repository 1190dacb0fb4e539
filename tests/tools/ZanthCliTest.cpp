// zanth run as a program against the virtual printer on loopback, on a registry of the
// test's own: every sub-command, and bad input that must fail clearly and change nothing.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "support/TempRegistry.h"

namespace zanth::test {
namespace {

constexpr auto kWait = std::chrono::seconds(20);

struct ProgramRun {
  int status = -1;
  std::string out, err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// A port on loopback that nobody listens on.
int ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

// Where the service object does not do a thing yet it answers with its own code; zanth
// must pass that on. The rest of such a test waits for the service object.
class ZanthCli : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Zanth("register").status, 0);
    const ProgramRun added = Zanth("add-printer ZQ-1A_01 --model ZQ-1A --logical Receipt --tcp 127.0.0.1:" +
                            std::to_string(server_.Port()));
    ASSERT_EQ(added.status, 0) << added.err;
    ASSERT_EQ(Zanth("add-drawer Receipt --logical Till --open-high").status, 0);
    ASSERT_EQ(Zanth("add-printer Dead --model ZQ-1A --tcp 127.0.0.1:" + std::to_string(ClosedPort())).status, 0);
    WriteFile("receipt.txt", "\\x1b|bCBold line\n\x1b|cAcentred\n");
  }

  ProgramRun Zanth(const std::string& arguments) {
    const std::string err = registry_.Folder() + "/stderr";
    const std::string command = std::string(ZANTH_PATH) + " " + arguments + " 2>'" + err + "' </dev/null";
    ProgramRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = ReadAll(err);
    return run;
  }
  std::string WriteFile(const std::string& name, const std::string& text) {
    const std::string path = registry_.Folder() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::string File(const std::string& name) { return "'" + registry_.Folder() + "/" + name + "'"; }

  TempRegistry registry_;
  sim::VirtualPrinter device_;
  sim::TcpServer server_{device_, 0};
};

TEST_F(ZanthCli, DevicesListsEntriesWithLogicalNamesPortAndModel) {
  const ProgramRun run = Zanth("devices");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("ZQ-1A_01  model ZQ-1A  port TCP/IP 127.0.0.1," + std::to_string(server_.Port()) +
                         "  logical names: Receipt"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("ZQ-1A_01_01  on printer ZQ-1A_01  pin 1  logical names: Till"), std::string::npos)
      << run.out;
  const ProgramRun json = Zanth("devices --json");
  EXPECT_NE(json.out.find("\"logicalNames\": [\"Receipt\"]"), std::string::npos) << json.out;
}

TEST_F(ZanthCli, PrintSendsTextWithWrittenOutAndRawEscapesThenCuts) {
  const ProgramRun run = Zanth("print Receipt " + File("receipt.txt") + " --cut");
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_TRUE(device_.WaitForCuts(1, kWait));
  EXPECT_EQ(device_.PrintedText(), "Bold line\ncentred\n");
  bool bold = false, centred = false;
  for (const sim::Command& c : device_.LogOf("Emphasized")) bold = bold || c.Arg(0) == 1;
  for (const sim::Command& c : device_.LogOf("Justification")) centred = centred || c.Arg(0) == 1;
  EXPECT_TRUE(bold);
  EXPECT_TRUE(centred);
}

TEST_F(ZanthCli, StatusReportsWhatThePrinterReports) {
  struct Row {
    const char* label;
    bool cover, paperEnd, nearEnd;
    const char* text;
  } rows[] = {
      {"all well", false, false, false, "\"coverOpen\": false, \"paperEmpty\": false, \"paperNearEnd\": false"},
      {"cover open", true, false, false, "\"coverOpen\": true, \"paperEmpty\": false"},
      {"paper out", false, true, true, "\"paperEmpty\": true, \"paperNearEnd\": true"},
      {"near end", false, false, true, "\"paperEmpty\": false, \"paperNearEnd\": true"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    device_.SetCoverOpen(row.cover);
    device_.SetPaperEnd(row.paperEnd);
    device_.SetPaperNearEnd(row.nearEnd);
    const ProgramRun run = Zanth("status Receipt --json");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(row.text), std::string::npos) << run.out;
  }
  const ProgramRun text = Zanth("status Receipt");
  EXPECT_NE(text.out.find("paper:       present"), std::string::npos) << text.out;
  // The firmware is what the printer answered at the claim.
  sim::PrinterIds ids;
  ids.firmware = "ZQ 2.17";
  device_.SetIds(ids);
  EXPECT_NE(Zanth("status Receipt").out.find("firmware:    ZQ 2.17\n"), std::string::npos);
  EXPECT_NE(Zanth("status Receipt --json").out.find("\"firmware\": \"ZQ 2.17\""), std::string::npos);
}

TEST_F(ZanthCli, DrawerOpensAndWaitsForItToClose) {
  ProgramRun run = Zanth("drawer Till");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(device_.WaitForOp("Pulse", kWait));
  EXPECT_TRUE(device_.State().drawerOpen);
  // Left open: the wait runs out and says so.
  run = Zanth("drawer Till --wait 0.5");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("OPOS_E_TIMEOUT (112)"), std::string::npos) << run.err;
  // Closed while waiting.
  std::thread closer([this] {
    device_.WaitFor([] { return false; }, std::chrono::milliseconds(1500));
    device_.SetDrawerOpen(false);
  });
  run = Zanth("drawer Till --wait 60");
  closer.join();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("drawer closed after"), std::string::npos) << run.out;
}

TEST_F(ZanthCli, StatusShowsTheDrawerOpenAndClosed) {
  ASSERT_EQ(Zanth("drawer Till").status, 0);
  ASSERT_TRUE(device_.WaitForOp("Pulse", kWait));
  const ProgramRun opened = Zanth("status Receipt --json");
  EXPECT_NE(opened.out.find("\"drawer\": \"open\""), std::string::npos) << opened.out;
  device_.SetDrawerOpen(false);
  const ProgramRun closed = Zanth("status Receipt --json");
  EXPECT_NE(closed.out.find("\"drawer\": \"closed\""), std::string::npos) << closed.out;
}

TEST_F(ZanthCli, CheckHealthInternalLevel) {
  const ProgramRun run = Zanth("check-health Receipt --level 1");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Internal HealthCheck: Successful."), std::string::npos) << run.out;
}

TEST_F(ZanthCli, AsyncPrintReportsItsOutputId) {
  const ProgramRun run = Zanth("print Receipt " + File("receipt.txt") + " --async --cut");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("OutputComplete: OutputID "), std::string::npos) << run.out;
  ASSERT_TRUE(device_.WaitForCuts(1, kWait));
  EXPECT_EQ(device_.PrintedText(), "Bold line\ncentred\n");
}

TEST_F(ZanthCli, RemoveTakesTheEntryAndItsLogicalNames) {
  ASSERT_EQ(Zanth("remove Till").status, 0);
  const ProgramRun run = Zanth("devices");
  EXPECT_EQ(run.out.find("Till"), std::string::npos) << run.out;
  const ProgramRun open = Zanth("drawer Till");
  EXPECT_EQ(open.status, 1);
  EXPECT_NE(open.err.find("OPOS_OR_REGBADNAME (302)"), std::string::npos) << open.err;
}

TEST_F(ZanthCli, SimRunsTheVirtualPrinter) {
  const ProgramRun run = Zanth("sim --help");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("usage: zanth-sim"), std::string::npos) << run.err;
}

// Bad input: a clear message naming the OPOS code, a non-zero exit, the registry untouched.
TEST_F(ZanthCli, BadInputFailsClearlyAndWritesNothing) {
  struct Row {
    const char* label;
    std::string arguments;
    int status;
    const char* message;
  } rows[] = {
      {"unknown device", "print NoSuch " + File("receipt.txt"), 1, "OPOS_OR_REGBADNAME (302)"},
      {"missing file", "print Receipt " + File("missing.txt"), 1, "missing.txt: No such file"},
      {"refused connection", "print Dead " + File("receipt.txt"), 1, "OPOS_ORS_NOPORT (401)"},
      {"status of unknown", "status NoSuch", 1, "OPOS_E_NOEXIST (109)"},
      {"unknown model", "add-printer P --model XY-9 --usb", 1, "unknown model XY-9"},
      {"taken logical name", "add-printer P --model ZQ-1A --usb --logical Receipt", 1, "OPOS_E_EXISTS (110)"},
      {"existing device", "add-printer ZQ-1A_01 --model ZQ-1B --usb --logical Other", 1, "OPOS_E_EXISTS (110)"},
      {"two-dot address", "add-printer P --model ZQ-1A --tcp 1.2.3", 1, "dotted IPv4"},
      {"bad tcp port", "add-printer P --model ZQ-1A --tcp 10.0.0.1:99999", 1, "TCP port"},
      {"bad baud rate", "add-printer P --model ZQ-1A --serial COM1,1234", 1, "baud rate"},
      {"two ports", "add-printer P --model ZQ-1A --usb --tcp 10.0.0.1", 2, ""},
      {"drawer on no printer", "add-drawer NoSuch", 1, "OPOS_E_NOEXIST (109)"},
      {"remove unknown", "remove NoSuch", 1, "OPOS_E_NOEXIST (109)"},
      {"bad level", "check-health Receipt --level 4", 2, ""},
      {"no sub-command", "", 2, ""},
  };
  const std::string before = ReadAll(registry_.Path());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const ProgramRun run = Zanth(row.arguments);
    EXPECT_EQ(run.status, row.status) << run.out << run.err;
    EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
    EXPECT_EQ(ReadAll(registry_.Path()), before);
  }
}

TEST_F(ZanthCli, DamagedRegistryNamesTheLineAndIsNotRewritten) {
  std::string text = ReadAll(registry_.Path());
  ASSERT_FALSE(text.empty());
  const std::string damaged = WriteFile("registry.reg", "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\nbroken\n");
  const std::string before = ReadAll(damaged);
  for (const char* arguments : {"devices", "print Receipt -", "status Receipt", "add-printer P --model ZQ-1A --usb",
                                "remove Receipt", "register"}) {
    SCOPED_TRACE(arguments);
    const ProgramRun run = Zanth(arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("line 3"), std::string::npos) << run.err;
    EXPECT_EQ(ReadAll(damaged), before);
  }
}

}  // namespace
}  // namespace zanth::test

// Ports through the whole stack: an application's control object, the service object, the
// port and the virtual printer behind a pseudo-terminal, a FIFO pair or loopback TCP. What
// the printer decoded is the evidence.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "OposConstants.h"
#include "POSPrinter.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "so/com/SoTestSupport.h"

namespace zanth::test {
namespace {

using namespace std::chrono_literals;

// A printer entry with the given port and model.
void AddPrinter(const TempRegistry& registry, const std::wstring& model, const std::wstring& type,
                const std::wstring& settings) {
  AddFilePrinter(L"P", registry.Folder() + "/unused.out", model);
  const std::wstring key = std::wstring(kPrinterRoot) + L"P";
  ASSERT_TRUE(TempRegistry::SetString(key, L"PortType", type));
  ASSERT_TRUE(TempRegistry::SetString(key, L"PortSettings", settings));
}

void OpenClaimEnable(co::POSPrinter& pos) {
  ASSERT_TRUE(Library().Loaded());
  ASSERT_EQ(Library().registerServer(), S_OK);
  ASSERT_EQ(pos.Open(L"P"), OPOS_SUCCESS);
  ASSERT_EQ(pos.ClaimDevice(1000), OPOS_SUCCESS);
  pos.SetDeviceEnabled(true);
  ASSERT_TRUE(pos.DeviceEnabled());
}

bool NothingMalformed(const sim::VirtualPrinter& printer) {
  for (const sim::Command& command : printer.Log())
    if (command.malformed) return false;
  return true;
}

// --- Serial: raw 8N1 whatever the speed field says ------------------------------------

// A line left cooked by whoever used it before: echo, LF sent as CR LF, XON/XOFF.
void MakeCooked(const std::string& tty) {
  const int fd = ::open(tty.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  termios line{};
  ASSERT_EQ(tcgetattr(fd, &line), 0);
  line.c_oflag |= OPOST | ONLCR;
  line.c_lflag |= ECHO | ICANON | ISIG;
  line.c_iflag |= IXON | IXOFF | ICRNL;
  ASSERT_EQ(tcsetattr(fd, TCSANOW, &line), 0);
  ::close(fd);
}

struct SerialCase {
  const char* name;
  const wchar_t* speedField;
};

class SerialLine : public ::testing::TestWithParam<SerialCase> {};

// Fault pinned: a speed that reads 0 skipped the whole line set-up, so 0A left as 0D 0A
// and the echo fed the printer's own answers back to it.
TEST_P(SerialLine, LineFeedsArriveUnchangedForEverySpeedField) {
  TempRegistry registry;
  sim::VirtualPrinter printer;
  sim::PtyTransport pty(printer);
  MakeCooked(pty.SlavePath());
  std::filesystem::create_directories(registry.Folder() + "/dosdevices");
  std::filesystem::create_symlink(pty.SlavePath(), registry.Folder() + "/dosdevices/com7");
  AddPrinter(registry, L"TM-T88IV", L"COM", std::wstring(L"COM7,") + GetParam().speedField);

  co::POSPrinter pos;
  OpenClaimEnable(pos);
  EXPECT_EQ(pos.PrintNormal(PTR_S_RECEIPT, L"first line\nsecond line\n"), OPOS_SUCCESS);
  ASSERT_TRUE(printer.WaitFor([&] { return printer.PrintedText().find("second line\n") !=
                                           std::string::npos; },
                              10s));
  EXPECT_TRUE(printer.LogOf("CarriageReturn").empty());
  EXPECT_EQ(printer.PrintedText().find("first line\nsecond line\n"), 0u)
      << ::testing::PrintToString(printer.PrintedText());
  EXPECT_TRUE(NothingMalformed(printer));
  pos.Close();
}

INSTANTIATE_TEST_SUITE_P(Speeds, SerialLine,
                         ::testing::Values(SerialCase{"NoDigits", L"Baud_x"},
                                           SerialCase{"Negative", L"BaudRate_-9600"},
                                           SerialCase{"TooLarge", L"BaudRate_99999999999"},
                                           SerialCase{"Given", L"BaudRate_19200"}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Packet framing: a property of the model, on every path ----------------------------

struct FramingCase {
  const char* name;
  const wchar_t* model;
  bool printerFrames;  // the virtual printer takes packets only
};

class Framing : public ::testing::TestWithParam<FramingCase> {};

// Fault pinned: framing followed the model name "K15", so "K15SMB" sent its print data
// unframed, and a plain printer got stray AA/BB bytes.
TEST_P(Framing, PrintDataAndStatusRequestsFollowTheModel) {
  const auto& c = GetParam();
  TempRegistry registry;
  sim::PrinterConfig config;
  config.packetFraming = c.printerFrames;
  sim::VirtualPrinter printer(config);
  sim::FilePairTransport files(printer, registry.Folder() + "/to-printer",
                               registry.Folder() + "/from-printer",
                               sim::FilePairTransport::Kind::Fifo);
  AddPrinter(registry, c.model, L"FILE",
             platform::FromUtf8(files.OutputPath() + "," + files.InputPath()));

  co::POSPrinter pos;
  OpenClaimEnable(pos);
  EXPECT_FALSE(pos.RecEmpty());  // the status reads were understood
  EXPECT_EQ(pos.PrintNormal(PTR_S_RECEIPT, L"framing check\n"), OPOS_SUCCESS);
  ASSERT_TRUE(printer.WaitFor([&] { return printer.PrintedText().find("framing check\n") !=
                                           std::string::npos; },
                              10s));
  pos.SetDeviceEnabled(false);
  pos.Close();
  EXPECT_EQ(printer.PrintedText(), "framing check\n");
  EXPECT_TRUE(NothingMalformed(printer));
  EXPECT_EQ(printer.LogOf("Packet").empty(), !c.printerFrames);
}

INSTANTIATE_TEST_SUITE_P(Models, Framing,
                         ::testing::Values(FramingCase{"K15SMB", L"K15SMB", true},
                                           FramingCase{"K15", L"K15", true},
                                           FramingCase{"K15WithSuffix", L"K15SMB_2", true},
                                           FramingCase{"TMT88IV", L"TM-T88IV", false},
                                           FramingCase{"KR11", L"KR-11", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- FILE: a FIFO whose printer stays silent -----------------------------------------

// Fault pinned: every status read of the enable waited 2 s five times over (10 s, with
// the port lock held) because the file port read as if asked to wait for all bytes.
TEST(SilentFifoPrinter, EnableKeepsTheShortReadLimits) {
  TempRegistry registry;
  sim::VirtualPrinter printer;
  printer.SetSilent(true);
  sim::FilePairTransport files(printer, registry.Folder() + "/to-printer",
                               registry.Folder() + "/from-printer",
                               sim::FilePairTransport::Kind::Fifo);
  AddPrinter(registry, L"TM-T88IV", L"FILE",
             platform::FromUtf8(files.OutputPath() + "," + files.InputPath()));
  co::POSPrinter pos;
  ASSERT_TRUE(Library().Loaded());
  ASSERT_EQ(Library().registerServer(), S_OK);
  ASSERT_EQ(pos.Open(L"P"), OPOS_SUCCESS);
  ASSERT_EQ(pos.ClaimDevice(1000), OPOS_SUCCESS);
  const auto start = std::chrono::steady_clock::now();
  pos.SetDeviceEnabled(true);
  EXPECT_TRUE(pos.DeviceEnabled());
  // Six tries of three short reads take a few seconds; the long rounds took minutes.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
  pos.Close();
}

// --- TCP/IP: success means every byte of the block was taken ---------------------------

struct DropCase {
  const char* name;
  bool dropMidBlock;  // else the connection drops while idle, before the job
  int lines;
  LONG result;
};

class TcpDrop : public ::testing::TestWithParam<DropCase> {};

// Fault pinned: a connection lost during a large PrintNormal reconnected and sent the
// block again from its start (printing part of it twice) or went on after the lost
// bytes, and reported success either way.
TEST_P(TcpDrop, ReconnectsOnlyWhenNothingOfTheBlockWasTaken) {
  const auto& c = GetParam();
  TempRegistry registry;
  sim::VirtualPrinter printer;
  sim::TcpServer server(printer, 0);
  AddPrinter(registry, L"TM-T88IV", L"TCP/IP", L"127.0.0.1," + std::to_wstring(server.Port()));
  co::POSPrinter pos;
  OpenClaimEnable(pos);

  std::wstring job;
  for (int i = 0; i < c.lines; ++i) {
    wchar_t line[32];
    std::swprintf(line, 32, L"line %07d\n", i);
    job += line;
  }
  const std::size_t before = printer.BytesReceived();
  const int connections = server.ConnectionsAccepted();
  std::thread dropper;
  if (c.dropMidBlock) {
    dropper = std::thread([&] {
      if (printer.WaitForBytes(before + 256 * 1024, 60s)) server.DropConnection();
    });
  } else {
    server.DropConnection();
    ASSERT_TRUE(printer.WaitFor([&] { return !server.Connected(); }, 5s));
  }
  const LONG result = pos.PrintNormal(PTR_S_RECEIPT, job);
  if (dropper.joinable()) dropper.join();
  EXPECT_EQ(result, c.result);

  if (c.result == OPOS_SUCCESS) {
    ASSERT_TRUE(printer.WaitFor([&] { return printer.PrintedText().find("line 0000000\n") !=
                                             std::string::npos; },
                                10s));
    EXPECT_EQ(server.ConnectionsAccepted(), connections + 1);
  } else {
    EXPECT_NE(pos.ErrorString().find(L"WriteData Fail!"), std::wstring::npos)
        << ::testing::PrintToString(pos.ErrorString());
  }
  // Whatever arrived arrived once.
  std::set<std::string> seen;
  const std::string text = printer.PrintedText();
  for (std::size_t at = 0; (at = text.find("line ", at)) != std::string::npos; at += 5) {
    const std::string number = text.substr(at + 5, 7);
    if (number.size() == 7 && text.compare(at + 12, 1, "\n") == 0) {
      EXPECT_TRUE(seen.insert(number).second) << "printed twice: line " << number;
    }
  }
  pos.Close();
}

INSTANTIATE_TEST_SUITE_P(Drops, TcpDrop,
                         ::testing::Values(DropCase{"WhileIdle", false, 10, OPOS_SUCCESS},
                                           DropCase{"MidBlock", true, 400000, OPOS_E_NOHARDWARE}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zanth::test

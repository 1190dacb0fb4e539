// Printer faults through the whole stack: control object, service object, port and the
// virtual printer on loopback TCP, a pseudo-terminal serial line or a fake USB node:
// connections dropped and printers restarted mid-job, stalls, cover open and paper end,
// a slow printer, power cycles, cables pulled and plugged back.
// For every job the application either learns that all of it reached the printer (0 or
// OutputComplete) or gets a failure for it (a result code or an ErrorEvent); a job retried
// after the error prints again from its start, a cleared one never prints whole; and the
// next job prints without reopening the device.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "OposConstants.h"
#include "POSPrinter.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "so/com/SoTestSupport.h"
#include "support/EventRecorder.h"
#include "support/ImageFiles.h"
#include "support/NetPrinterTest.h"

namespace zanth::test {
namespace {

using namespace std::chrono_literals;

constexpr int kJobLines = 3000;             // about 50 kB: a fault lands inside the job
constexpr std::size_t kDrainRate = 60000;   // bytes a second, so the job takes a while
constexpr std::size_t kFaultAfter = 8192;   // bytes of the job the printer takes first

std::string JobText(int job) {
  const std::string tag = "J" + std::to_string(job);
  std::string text = tag + " begin\n";
  for (int line = 0; line < kJobLines; ++line) text += tag + " line " + std::to_string(line) + "\n";
  return text + tag + " end\n";
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The job's last start is followed by the whole job, unbroken.
bool PrintedWhole(const sim::VirtualPrinter& printer, const std::string& job) {
  const std::string text = printer.PrintedText();
  const std::size_t at = text.rfind(job.substr(0, job.find('\n') + 1));
  return at != std::string::npos && text.compare(at, job.size(), job) == 0;
}

bool WaitWhole(sim::VirtualPrinter& printer, const std::string& job) {
  return printer.WaitFor([&] { return PrintedWhole(printer, job); }, 60s);
}

// The printer takes connections again (a probe connection is served and closed).
bool Listening(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

enum class Fault { kDrop, kRestart, kStall, kCoverOpen, kPaperEnd };

struct FaultCase {
  const char* name;
  Fault fault;
  bool async;
  LONG response;  // the answer to the ErrorEvent (async only)
  LONG code, extended;
};

class PrinterFaults : public NetPrinterTest, public ::testing::WithParamInterface<FaultCase> {
 protected:
  static sim::PrinterConfig Config() {
    sim::PrinterConfig config;
    config.stopsWhenOffline = true;  // cover open and paper end hold the data back
    config.receiveBufferBytes = 4096;
    return config;
  }
  PrinterFaults() : NetPrinterTest(Config()) {}
  void Inject(Fault fault) {
    switch (fault) {
      case Fault::kDrop: server_->DropConnection(); break;
      case Fault::kRestart: server_.reset(); break;  // the printer's listener goes and comes back
      case Fault::kStall: device_.SetStalled(true); break;
      case Fault::kCoverOpen: device_.SetCoverOpen(true); break;
      case Fault::kPaperEnd: device_.SetPaperEnd(true); break;
    }
  }
  void Heal(Fault fault) {
    switch (fault) {
      case Fault::kDrop: break;
      case Fault::kRestart:
        if (!server_) server_ = std::make_unique<sim::TcpServer>(device_, port_);
        break;
      case Fault::kStall: device_.SetStalled(false); break;
      case Fault::kCoverOpen: device_.SetCoverOpen(false); break;
      case Fault::kPaperEnd: device_.SetPaperEnd(false); break;
    }
  }
  // Injects the fault once the printer took kFaultAfter more bytes.
  std::thread InjectMidJob(Fault fault) {
    const std::size_t at = device_.BytesReceived() + kFaultAfter;
    return std::thread([this, fault, at] {
      if (device_.WaitForBytes(at, 60s)) Inject(fault);
    });
  }
};

TEST_P(PrinterFaults, TheJobIsReportedAndTheNextOnePrintsWithoutReopening) {
  const FaultCase& c = GetParam();
  OpenEnabled(c.async);
  device_.SetDrainRate(kDrainRate);
  printer_.Callbacks().error = [this, &c](LONG rc, LONG rcx, LONG locus, LONG& response) {
    EXPECT_EQ(locus, OPOS_EL_OUTPUT);
    if (answered_++ == 0) Heal(c.fault);  // the operator mends the printer, then answers
    response = c.response;
    events_.Add('E', rc, rcx);
  };
  const std::string first = JobText(1);
  std::thread injector = InjectMidJob(c.fault);
  const auto start = std::chrono::steady_clock::now();
  const LONG rc = printer_.PrintNormal(PTR_S_RECEIPT, Wide(first));
  const auto blocked = std::chrono::steady_clock::now() - start;
  injector.join();

  if (!c.async) {
    EXPECT_EQ(rc, c.code);
    EXPECT_EQ(printer_.ResultCodeExtended(), c.extended);
    EXPECT_NE(printer_.ErrorString().find(L"WriteData Fail!"), std::wstring::npos)
        << ::testing::PrintToString(printer_.ErrorString());
    // Three write attempts of the entry's one-second limit, then the failure.
    EXPECT_LT(blocked, 30s);
    Heal(c.fault);
    // The cover shut or the paper back is known once a poll has read it.
    ASSERT_TRUE(WaitUntil([&] { return printer_.State() == OPOS_S_IDLE; }));
  } else {
    ASSERT_EQ(rc, OPOS_SUCCESS);
    EXPECT_LT(blocked, 5s);  // queued, not written on the caller's thread
    const LONG id = printer_.OutputID();
    ASSERT_TRUE(events_.WaitFor('E', 1, 60s));
    {
      std::lock_guard<std::mutex> lock(events_.mutex);
      const auto error = std::find_if(events_.entries.begin(), events_.entries.end(),
                                      [](const auto& e) { return e.kind == 'E'; });
      EXPECT_EQ(error->value, c.code);
      EXPECT_EQ(error->extended, c.extended);
    }
    if (c.response == OPOS_ER_RETRY) {
      ASSERT_TRUE(events_.WaitForValue('O', id));
      EXPECT_TRUE(WaitWhole(device_, first)) << "the retried job did not print from its start";
    } else {
      ASSERT_TRUE(WaitUntil([&] { return printer_.State() == OPOS_S_IDLE; }));
      EXPECT_EQ(events_.Count('O', id), 0u);
    }
  }

  const std::string next = JobText(2);
  ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, Wide(next)), OPOS_SUCCESS);
  if (c.async) {
    EXPECT_TRUE(events_.WaitForValue('O', printer_.OutputID()));
  }
  ASSERT_TRUE(WaitWhole(device_, next));
  EXPECT_EQ(printer_.State(), OPOS_S_IDLE);
  EXPECT_EQ(answered_.load(), c.async ? 1 : 0);
  const bool firstWhole = PrintedWhole(device_, first);
  EXPECT_EQ(firstWhole, c.async && c.response == OPOS_ER_RETRY) << "told failed, yet printed whole";
}

constexpr LONG kRetry = OPOS_ER_RETRY, kClear = OPOS_ER_CLEAR;

INSTANTIATE_TEST_SUITE_P(
    Tcp, PrinterFaults,
    ::testing::Values(
        FaultCase{"SyncDrop", Fault::kDrop, false, kRetry, OPOS_E_NOHARDWARE, 0},
        FaultCase{"SyncRestart", Fault::kRestart, false, kRetry, OPOS_E_NOHARDWARE, 0},
        FaultCase{"SyncStall", Fault::kStall, false, kRetry, OPOS_E_NOHARDWARE, 0},
        FaultCase{"SyncCoverOpen", Fault::kCoverOpen, false, kRetry, OPOS_E_EXTENDED, OPOS_EPTR_COVER_OPEN},
        FaultCase{"SyncPaperEnd", Fault::kPaperEnd, false, kRetry, OPOS_E_EXTENDED, OPOS_EPTR_REC_EMPTY},
        FaultCase{"AsyncDropRetry", Fault::kDrop, true, kRetry, OPOS_E_NOHARDWARE, 0},
        FaultCase{"AsyncDropClear", Fault::kDrop, true, kClear, OPOS_E_NOHARDWARE, 0},
        FaultCase{"AsyncRestartRetry", Fault::kRestart, true, kRetry, OPOS_E_NOHARDWARE, 0},
        FaultCase{"AsyncRestartClear", Fault::kRestart, true, kClear, OPOS_E_NOHARDWARE, 0},
        FaultCase{"AsyncStallRetry", Fault::kStall, true, kRetry, OPOS_E_NOHARDWARE, 0},
        FaultCase{"AsyncStallClear", Fault::kStall, true, kClear, OPOS_E_NOHARDWARE, 0},
        FaultCase{"AsyncCoverOpenRetry", Fault::kCoverOpen, true, kRetry, OPOS_E_EXTENDED, OPOS_EPTR_COVER_OPEN},
        FaultCase{"AsyncCoverOpenClear", Fault::kCoverOpen, true, kClear, OPOS_E_EXTENDED, OPOS_EPTR_COVER_OPEN},
        FaultCase{"AsyncPaperEndRetry", Fault::kPaperEnd, true, kRetry, OPOS_E_EXTENDED, OPOS_EPTR_REC_EMPTY},
        FaultCase{"AsyncPaperEndClear", Fault::kPaperEnd, true, kClear, OPOS_E_EXTENDED, OPOS_EPTR_REC_EMPTY}),
    [](const auto& info) { return std::string(info.param.name); });

// --- A slow printer: a large job arrives whole, however long it drains -----------------

class SlowPrinter : public PrinterFaults {};

TEST_P(SlowPrinter, DrainsATwoMegabyteJobCompletely) {
  const bool async = GetParam().async;
  OpenEnabled(async);
  device_.SetDrainRate(200000);  // bytes a second: about ten seconds for the job
  std::string job;
  for (int line = 0; line < 160000; ++line) job += "slow " + std::to_string(1000000 + line) + "\n";
  ASSERT_GE(job.size(), 2000000u);
  const std::size_t before = device_.BytesReceived();
  ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, Wide(job)), OPOS_SUCCESS);
  if (async) {
    ASSERT_TRUE(events_.WaitForValue('O', printer_.OutputID(), 1, 120s));
  } else {
    EXPECT_GE(device_.BytesReceived() + 64 * 1024, before + job.size()) << "returned before the printer took it";
  }
  EXPECT_TRUE(device_.WaitFor([&] { return PrintedWhole(device_, job); }, 120s));
  EXPECT_TRUE(events_.Of('E').empty());
}

INSTANTIATE_TEST_SUITE_P(Modes, SlowPrinter,
                         ::testing::Values(FaultCase{"Sync", Fault::kDrop, false, kRetry, 0, 0},
                                           FaultCase{"Async", Fault::kDrop, true, kRetry, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Power cycle: what the printer forgot comes back before the next job ----------------

class PowerCycle : public PrinterFaults {};

TEST_P(PowerCycle, RestoresStatusBackAndTheDownloadedBitmap) {
  const bool async = GetParam().async;
  OpenEnabled(false);
  const std::string logo = registry_.Folder() + "/logo.bmp";
  ASSERT_TRUE(WriteBmp24(logo, 64, 32, [](int x, int y) {
    return (x / 8 + y / 8) % 2 ? Rgba{0, 0, 0, 255} : Rgba{};
  }));
  ASSERT_EQ(printer_.SetBitmap(1, PTR_S_RECEIPT, Wide(logo), PTR_BM_ASIS, PTR_BM_CENTER), OPOS_SUCCESS);
  ASSERT_TRUE(device_.WaitFor([&] { return device_.LogOf("DefineDownloadedImage").size() == 1; }, 20s));
  printer_.SetAsyncMode(async ? 1 : 0);
  printer_.Callbacks().error = [&](LONG rc, LONG rcx, LONG, LONG& response) {
    events_.Add('E', rc, rcx);
    device_.SetPower(true);
    response = OPOS_ER_RETRY;
  };

  device_.SetPower(false);
  ASSERT_TRUE(device_.WaitFor([&] { return !server_->Connected(); }, 10s));
  // Switched off, it takes no connection (the virtual printer stops listening soon after).
  ASSERT_TRUE(WaitUntil([&] { return !Listening(port_); }));
  const std::wstring job = L"\x1b|1Bafter the power cycle\n";
  const LONG rc = printer_.PrintNormal(PTR_S_RECEIPT, job);
  if (async) {
    EXPECT_EQ(rc, OPOS_SUCCESS);
    ASSERT_TRUE(events_.WaitFor('E', 1, 60s));
    EXPECT_EQ(events_.Of('E')[0], OPOS_E_NOHARDWARE);
    ASSERT_TRUE(events_.WaitForValue('O', printer_.OutputID()));
  } else {
    EXPECT_EQ(rc, OPOS_E_NOHARDWARE);  // switched off: told, not printed
    device_.SetPower(true);
    ASSERT_TRUE(WaitUntil([&] { return Listening(port_); })) << "the printer did not come back";
    EXPECT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, job), OPOS_SUCCESS);
  }
  ASSERT_TRUE(device_.WaitFor(
      [&] { return device_.PrintedText().find("after the power cycle") != std::string::npos; }, 30s));
  EXPECT_EQ(device_.AsbMask(), 0xFF);
  EXPECT_EQ(device_.LogOf("DefineDownloadedImage").size(), 2u);
  for (const sim::Command& command : device_.LogOf("PrintDownloadedImage"))
    EXPECT_FALSE(command.malformed) << "the bitmap printed from an empty image area";
  EXPECT_EQ(printer_.State(), OPOS_S_IDLE);

  // Status changes arrive again.
  device_.SetCoverOpen(true);
  ASSERT_TRUE(events_.WaitForValue('S', PTR_SUE_COVER_OPEN));
  EXPECT_EQ(printer_.State(), OPOS_S_ERROR);
  device_.SetCoverOpen(false);
  ASSERT_TRUE(events_.WaitForValue('S', PTR_SUE_COVER_OK, 2));
  EXPECT_EQ(printer_.State(), OPOS_S_IDLE);
}

INSTANTIATE_TEST_SUITE_P(Modes, PowerCycle,
                         ::testing::Values(FaultCase{"Sync", Fault::kDrop, false, kRetry, 0, 0},
                                           FaultCase{"Async", Fault::kDrop, true, kRetry, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Cables: a serial line and a USB node unplugged and plugged back -------------------

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) { setenv(name, value.c_str(), 1); }
  ~ScopedEnv() { unsetenv(name_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
};

// A printer on a cable that can be pulled: COM7 as a symlink to a pseudo-terminal, or the
// USB node lp0 of a fake device tree.
class Cable {
 public:
  Cable(bool usb, sim::VirtualPrinter& device, const std::string& folder)
      : usb_(usb), device_(device), folder_(folder) {
    if (usb_) {
      tree_ = std::make_unique<sim::FakeUsbTree>(folder + "/usb");
      sysfs_ = std::make_unique<ScopedEnv>("OPOS_SYSFS_ROOT", tree_->SysfsRoot());
      dev_ = std::make_unique<ScopedEnv>("OPOS_DEV_ROOT", tree_->DevRoot());
    } else {
      std::filesystem::create_directories(folder + "/dosdevices");
    }
    Plug();
  }
  void Plug() {
    if (usb_) {
      tree_->AddPrinter(device_, 0, 0x5A4E, 0x0101);
      return;
    }
    pty_ = std::make_unique<sim::PtyTransport>(device_);
    std::filesystem::create_symlink(pty_->SlavePath(), folder_ + "/dosdevices/com7");
  }
  void Unplug() {
    if (usb_) {
      tree_->RemovePrinter(0);
      return;
    }
    std::filesystem::remove(folder_ + "/dosdevices/com7");
    pty_.reset();
  }
  const wchar_t* PortType() const { return usb_ ? L"USB" : L"COM"; }
  const wchar_t* PortSettings() const { return usb_ ? L"" : L"COM7,BaudRate_115200"; }

 private:
  bool usb_;
  sim::VirtualPrinter& device_;
  std::string folder_;
  std::unique_ptr<sim::FakeUsbTree> tree_;
  std::unique_ptr<ScopedEnv> sysfs_, dev_;
  std::unique_ptr<sim::PtyTransport> pty_;
};

struct CableCase {
  const char* name;
  bool usb, async;
};

class Unplugged : public ::testing::TestWithParam<CableCase> {};

TEST_P(Unplugged, TheJobIsReportedAndPrintsOncePluggedBack) {
  const CableCase& c = GetParam();
  TempRegistry registry;
  ASSERT_TRUE(Library().Loaded());
  ASSERT_EQ(Library().registerServer(), S_OK);
  sim::VirtualPrinter device;
  Cable cable(c.usb, device, registry.Folder());
  AddFilePrinter(L"P", registry.Folder() + "/unused.out");
  const std::wstring key = std::wstring(kPrinterRoot) + L"P";
  TempRegistry::SetString(key, L"PortType", cable.PortType());
  TempRegistry::SetString(key, L"PortSettings", cable.PortSettings());
  Recorder events;  // before the control object: its callbacks run until it is closed
  co::POSPrinter printer;
  Record(printer, events);
  printer.Callbacks().error = [&](LONG rc, LONG rcx, LONG, LONG& response) {
    events.Add('E', rc, rcx);
    cable.Plug();
    response = OPOS_ER_RETRY;
  };
  ASSERT_EQ(printer.Open(L"P"), OPOS_SUCCESS);
  ASSERT_EQ(printer.ClaimDevice(1000), OPOS_SUCCESS);
  printer.SetDeviceEnabled(true);
  ASSERT_TRUE(printer.DeviceEnabled());
  printer.SetAsyncMode(c.async ? 1 : 0);
  const std::string before = "before the cable was pulled\n";
  ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, Wide(before)), OPOS_SUCCESS);
  ASSERT_TRUE(WaitWhole(device, before));

  cable.Unplug();
  const std::string job = "while unplugged\n";
  const LONG rc = printer.PrintNormal(PTR_S_RECEIPT, Wide(job));
  if (c.async) {
    EXPECT_EQ(rc, OPOS_SUCCESS);
    const LONG id = printer.OutputID();
    ASSERT_TRUE(events.WaitFor('E', 1, 60s));
    EXPECT_EQ(events.Of('E')[0], OPOS_E_NOHARDWARE);
    ASSERT_TRUE(events.WaitForValue('O', id));
    EXPECT_TRUE(WaitWhole(device, job));
  } else {
    EXPECT_EQ(rc, OPOS_E_NOHARDWARE);
    EXPECT_NE(printer.ErrorString().find(L"disconnected"), std::wstring::npos)
        << ::testing::PrintToString(printer.ErrorString());
    cable.Plug();
  }
  const std::string after = "after it was plugged back\n";
  ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, Wide(after)), OPOS_SUCCESS);
  EXPECT_TRUE(WaitWhole(device, after));
  EXPECT_EQ(PrintedWhole(device, job), c.async);
  printer.Close();
}

INSTANTIATE_TEST_SUITE_P(Cables, Unplugged,
                         ::testing::Values(CableCase{"SerialSync", false, false},
                                           CableCase{"SerialAsync", false, true},
                                           CableCase{"UsbSync", true, false},
                                           CableCase{"UsbAsync", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- The packet-framed model: a packet damaged on the line is refused with NAK ---------

class DamagedPacket : public NetPrinterTest {
 protected:
  DamagedPacket() : NetPrinterTest(sim::PrinterConfig::ForModel("K15")) {}
};

TEST_F(DamagedPacket, FailsTheCallAndTheJobPrintsWholeWhenSentAgain) {
  TempRegistry::SetString(std::wstring(kPrinterRoot) + L"Net", L"DriverModel", L"K15");
  OpenEnabled(false);  // the model prints synchronously only
  std::string job = "damaged begin\n";
  for (int line = 0; line < 20; ++line) job += "packet line " + std::to_string(line) + "\n";
  job += "damaged end\n";
  device_.DamagePackets(1, 8);  // a job's packet, not a status poll's
  EXPECT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, Wide(job)), OPOS_E_FAILURE);
  EXPECT_NE(printer_.ErrorString().find(L"The printer refused 1 of"), std::wstring::npos)
      << ::testing::PrintToString(printer_.ErrorString());
  EXPECT_FALSE(device_.LogOf("BadPacket").empty());
  EXPECT_FALSE(PrintedWhole(device_, job)) << "told failed, yet printed whole";
  // The application sends the job again: it prints from its start.
  ASSERT_EQ(printer_.PrintNormal(PTR_S_RECEIPT, Wide(job)), OPOS_SUCCESS);
  EXPECT_TRUE(WaitWhole(device_, job));
  EXPECT_EQ(printer_.State(), OPOS_S_IDLE);
}

}  // namespace
}  // namespace zanth::test

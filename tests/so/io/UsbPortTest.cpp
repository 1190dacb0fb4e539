// USB discovery on a fake sysfs tree whose device nodes are FIFOs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "PortFactory.h"
#include "USBPort.h"
#include "UsbModelTable.h"
#include "platform/TempDir.h"

namespace Tesk::IO {
namespace {

namespace fs = std::filesystem;

struct FakePrinter {
  int lp;
  const char* vendor;   // idVendor file content; nullptr leaves the file out
  const char* product;
};

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      had_ = true;
      old_ = old;
    }
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_) ::setenv(name_, old_.c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

class FakeUsbTree {
 public:
  FakeUsbTree() : sysfs_(dir_.File("sys")), dev_(dir_.File("dev")) {
    fs::create_directories(fs::path(sysfs_) / "class" / "usbmisc");
    fs::create_directories(fs::path(dev_) / "usb");
  }
  void Add(const FakePrinter& p) {
    std::string n = std::to_string(p.lp);
    fs::path device = fs::path(sysfs_) / "devices" / "usb1" / ("1-" + n);
    fs::path interface = device / ("1-" + n + ":1.0");
    fs::create_directories(interface);
    if (p.vendor) std::ofstream(device / "idVendor") << p.vendor << "\n";
    if (p.product) std::ofstream(device / "idProduct") << p.product << "\n";
    fs::path entry = fs::path(sysfs_) / "class" / "usbmisc" / ("lp" + n);
    fs::create_directories(entry);
    fs::create_directory_symlink(interface, entry / "device");
    mkfifo(Node(p.lp).c_str(), 0600);
  }
  void Remove(int lp) { fs::remove_all(fs::path(sysfs_) / "class" / "usbmisc" / ("lp" + std::to_string(lp))); }
  std::string Node(int lp) const { return dev_ + "/usb/lp" + std::to_string(lp); }

 private:
  testing_support::TempDir dir_;
  std::string sysfs_, dev_;

 public:
  ScopedEnv sysfsEnv{"OPOS_SYSFS_ROOT", sysfs_};
  ScopedEnv devEnv{"OPOS_DEV_ROOT", dev_};
};

USBPortSettings ForModel(const wchar_t* model) {
  USBPortSettings settings;
  settings.SetModelName(model);
  return settings;
}

struct DiscoveryCase {
  const char* what;
  std::vector<FakePrinter> printers;
  const wchar_t* model;
  int expectedLp;  // -1: none found
  LONG alternate;
};

class UsbDiscovery : public ::testing::TestWithParam<DiscoveryCase> {};

TEST_P(UsbDiscovery, PicksTheFirstMatchingPrinter) {
  const auto& c = GetParam();
  FakeUsbTree tree;
  for (const auto& printer : c.printers) tree.Add(printer);
  USBPort port(ForModel(c.model));
  if (c.expectedLp < 0) {
    EXPECT_EQ(port.DevicePath(), L"") << c.what;
    EXPECT_FALSE(port.Open()) << c.what;
    return;
  }
  std::string node = tree.Node(c.expectedLp);
  EXPECT_EQ(port.DevicePath(), std::wstring(node.begin(), node.end())) << c.what;
  EXPECT_EQ(port.IsAlternateDevice(), c.alternate) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsbDiscovery,
    ::testing::Values(
        DiscoveryCase{"model's own product", {{0, "5a4e", "0101"}}, L"TM-T88IV", 0, 0},
        DiscoveryCase{"two matching: first in order", {{1, "5A4E", "0101"}, {0, "5A4E", "0101"}}, L"TM-T88IV", 0, 0},
        DiscoveryCase{"order is numeric", {{10, "5A4E", "0301"}, {2, "5A4E", "0301"}}, L"ZQ-2B", 2, 0},
        DiscoveryCase{"alternate product", {{0, "5A4E", "0E01"}}, L"LM301", 0, 1},
        DiscoveryCase{"vendor only", {{0, "5A4E", "7777"}}, L"KR-11", 0, 0},
        DiscoveryCase{"foreign printer skipped", {{0, "1234", "5678"}, {1, "5A4E", "0401"}}, L"K15", 1, 0},
        DiscoveryCase{"only foreign printers", {{0, "1234", "5678"}}, L"K15", -1, 0},
        DiscoveryCase{"unreadable entry skipped", {{0, nullptr, "0101"}, {3, "5A4E", "0101"}}, L"TM-T88IV", 3, 0},
        DiscoveryCase{"garbage id skipped", {{0, "zz!x", "0101"}}, L"TM-T88IV", -1, 0},
        DiscoveryCase{"no printers at all", {}, L"TM-T88IV", -1, 0}));

TEST(UsbModelTable, GroupsDefaultAndExactComparison) {
  EXPECT_EQ(HardwareIdForModel(L"TM-T88IIMU"), L"VID_5A4E&PID_0101");
  EXPECT_EQ(HardwareIdForModel(L"LMX-A"), L"VID_5A4E&PID_0201");
  EXPECT_EQ(HardwareIdForModel(L"ZQ-1C"), L"VID_5A4E&PID_0301");
  EXPECT_EQ(HardwareIdForModel(L"K15SMB"), L"VID_5A4E&PID_0401");
  EXPECT_EQ(HardwareIdForModel(L"RHO-1e"), L"VID_5A4E&PID_0501");
  EXPECT_EQ(HardwareIdForModel(L"GX-60"), kDefaultHardwareId);
  EXPECT_EQ(HardwareIdForModel(L"tm-t88iv"), kDefaultHardwareId);  // letter case differs
  EXPECT_EQ(HardwareIdForModel(L"RHO-1E"), kDefaultHardwareId);
  EXPECT_EQ(ForModel(L"tm-t88iv").HardwareIdMatch(), kDefaultHardwareId);
  EXPECT_EQ(ForModel(L"NV-21").HardwareIdMatch(), L"VID_5A4E&PID_0501");
}

TEST(UsbPort, OpensWritesAndReadsTheFoundNode) {
  FakeUsbTree tree;
  tree.Add({0, "5A4E", "0101"});
  auto settings = ForModel(L"TM-T88IV");
  auto port = CreatePort(settings);
  ASSERT_TRUE(port->Open()) << port->GetSystemError();
  int printer = ::open(tree.Node(0).c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(printer, 0);
  const BYTE init[] = {0x1B, 0x40};  // ESC @
  EXPECT_TRUE(port->Write(init, 0, 2));
  BYTE got[2] = {};
  EXPECT_EQ(::read(printer, got, 2), 2);
  EXPECT_EQ(got[1], 0x40);
  // Overlapped mode: ReadOnce with nothing there fails after its limit.
  BYTE buffer[4];
  LONG count = 3;
  EXPECT_FALSE(port->ReadOnce(buffer, 0, 4, &count, FALSE));
  EXPECT_EQ(count, 0);
  ::close(printer);
}

TEST(UsbPort, RefreshFindsAPrinterPluggedInLaterAndForgetsAnUnpluggedOne) {
  FakeUsbTree tree;
  USBPort port(ForModel(L"ZQ-1A"));
  EXPECT_FALSE(port.TestOpen());
  tree.Add({4, "5A4E", "0301"});
  port.RefreshDevice();
  EXPECT_TRUE(port.TestOpen());
  tree.Remove(4);
  port.RefreshDevice();
  EXPECT_EQ(port.DevicePath(), L"");
  EXPECT_FALSE(port.Open());
}

}  // namespace
}  // namespace Tesk::IO

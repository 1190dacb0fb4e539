// EnumPortsW: the two-call protocol and names that map back to the device listed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/devname.h"
#include "platform/ports.h"
#include "support/TempRegistry.h"

namespace {

using zanth::test::TempRegistry;

TEST(Ports, LinksAndDevicesMapBack) {
  TempRegistry registry;
  const std::string dos = registry.Folder() + "/dosdevices";
  std::filesystem::create_directories(dos);
  const std::string device = registry.Folder() + "/printer-tty";
  std::ofstream(device).put('\n');
  ASSERT_EQ(::symlink(device.c_str(), (dos + "/com17").c_str()), 0);
  ASSERT_EQ(::symlink(device.c_str(), (dos + "/lpt2").c_str()), 0);
  ASSERT_EQ(::symlink((registry.Folder() + "/nowhere").c_str(), (dos + "/com18").c_str()), 0);
  ASSERT_EQ(::symlink(device.c_str(), (dos + "/comx").c_str()), 0);

  DWORD needed = 0, count = 0;
  ASSERT_FALSE(EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count));
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_GT(needed, 0u);
  std::vector<BYTE> small(needed - 1);
  EXPECT_FALSE(EnumPortsW(nullptr, 2, small.data(), needed - 1, &needed, &count));
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &count));
  const auto* ports = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
  std::vector<std::wstring> names;
  for (DWORD i = 0; i < count; ++i) {
    names.push_back(ports[i].pPortName);
    std::wstring bare = names.back();
    ASSERT_EQ(bare.back(), L':');
    bare.pop_back();
    // Every name the tool may store opens the very device it was listed for.
    EXPECT_TRUE(std::filesystem::exists(platform::MapDeviceName(bare))) << platform::MapDeviceName(bare);
  }
  EXPECT_NE(std::find(names.begin(), names.end(), L"COM17:"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), L"LPT2:"), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), L"COM18:"), names.end());  // dangling link
  EXPECT_EQ(names, platform::ListPortNames());
  EXPECT_FALSE(EnumPortsW(nullptr, 3, buffer.data(), needed, &needed, &count));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
}

}  // namespace

// Windows device names to Linux paths.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "TempDir.h"
#include "platform/devname.h"
#include "platform/wtext.h"

namespace {

struct DevNameCase {
  const wchar_t* name;
  const char* expected;  // "{dir}" stands for the registry file's folder
};

void PrintTo(const DevNameCase& c, std::ostream* os) {
  *os << '"' << platform::ToUtf8(c.name) << '"';
}

const DevNameCase kCases[] = {
    {L"COM1", "/dev/ttyS0"},
    {L"com4", "/dev/ttyS3"},
    {L"COM10", "/dev/ttyS9"},
    {L"COM1:", "/dev/ttyS0"},
    {L"\\\\.\\COM1", "/dev/ttyS0"},
    {L"\\\\.\\COM12", "/dev/ttyS11"},
    {L"COM2", "{dir}/dosdevices/com2"},  // link present
    {L"\\\\.\\cOm2", "{dir}/dosdevices/com2"},
    {L"LPT1", "/dev/lp0"},
    {L"lpt2", "{dir}/dosdevices/lpt2"},  // dangling link is still the mapping
    {L"/dev/usb/lp0", "/dev/usb/lp0"},
    {L"\\\\.\\/dev/ttyUSB0", "/dev/ttyUSB0"},
    {L"/tmp/caf\u00e9.bin", "/tmp/caf\xc3\xa9.bin"},
    // Not DOS device names: returned as they are.
    {L"COM0", "COM0"},
    {L"COM", "COM"},
    {L"COM01", "COM01"},
    {L"COMX", "COMX"},
    {L"COM1X", "COM1X"},
    {L"LPT", "LPT"},
    {L"printer.bin", "printer.bin"},
    {L"", ""},
};

class MapDeviceNameTest : public testing::TestWithParam<DevNameCase> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.Path().empty());
    std::filesystem::create_directory(dir_.File("dosdevices"));
    ASSERT_EQ(::symlink("/dev/null", dir_.File("dosdevices/com2").c_str()), 0);
    ASSERT_EQ(::symlink("/nonexistent/lp", dir_.File("dosdevices/lpt2").c_str()), 0);
  }
  testing_support::TempDir dir_;
  testing_support::ScopedRegistryFile reg_{dir_.File("registry.reg")};
};

TEST_P(MapDeviceNameTest, Maps) {
  std::string expected = GetParam().expected;
  if (auto at = expected.find("{dir}"); at != std::string::npos)
    expected.replace(at, 5, dir_.Path());
  EXPECT_EQ(platform::MapDeviceName(GetParam().name), expected);
}

INSTANTIATE_TEST_SUITE_P(All, MapDeviceNameTest, testing::ValuesIn(kCases));

}  // namespace

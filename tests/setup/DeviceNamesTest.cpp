// Generated device names, name checks, address checks and the brand tables.
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "SetupRegistryFixture.h"

namespace zanth::test {
namespace {

using setup::DeviceKind;

struct NameCase {
  const char* name;
  std::vector<std::wstring> existing;  // printer entries present
  std::wstring base;
  std::wstring expected;
};

const NameCase kNameCases[] = {
    {"FirstOfModel", {}, L"ZQ-1A", L"ZQ-1A_01"},
    {"AfterSevenSkipsGaps", {L"ZQ-1A_01", L"ZQ-1A_07"}, L"ZQ-1A", L"ZQ-1A_08"},
    {"AfterNinetyNineThreeDigits", {L"ZQ-1A_99"}, L"ZQ-1A", L"ZQ-1A_100"},
    {"NonNumericSuffixIgnored", {L"ZQ-1A_01", L"ZQ-1A_backup"}, L"ZQ-1A", L"ZQ-1A_02"},
    {"OtherModelsIgnored", {L"ZQ-1B_05", L"ZQ-1A"}, L"ZQ-1A", L"ZQ-1A_01"},
    {"LetterCaseIgnored", {L"zq-1a_03"}, L"ZQ-1A", L"ZQ-1A_04"},
    {"HugeSuffixCannotOverflow", {L"ZQ-1A_99999999999999999999"}, L"ZQ-1A", L"ZQ-1A_01"},
};

class NextName : public SetupRegistry, public testing::WithParamInterface<NameCase> {};

TEST_P(NextName, Generated) {
  for (const std::wstring& name : GetParam().existing) AddPrinter(name);
  EXPECT_EQ(setup::NextDeviceName(DeviceKind::Printer, GetParam().base), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Setup, NextName, testing::ValuesIn(kNameCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SetupRegistry, DrawerNamesFollowTheirPrinterAndIgnorePrinterKeys) {
  AddPrinter(L"ZQ-1A_01_05");  // a printer key does not count for drawers
  AddEntry(DeviceKind::CashDrawer, L"ZQ-1A_01_02", L"ZanthOposPrinterU1.13");
  EXPECT_EQ(setup::NextDeviceName(DeviceKind::CashDrawer, L"ZQ-1A_01"), L"ZQ-1A_01_03");
}

TEST_F(SetupRegistry, NewDeviceNameChecks) {
  AddPrinter(L"ZQ-1A_01");
  const struct {
    std::wstring name;
    setup::SetupError expected;
  } cases[] = {
      {L"", setup::SetupError::EmptyDeviceName},
      {L"   ", setup::SetupError::EmptyDeviceName},
      {L"A\\B", setup::SetupError::DeviceNameHasBackslash},
      {L"ZQ-1A_01", setup::SetupError::DeviceExists},
      {L"zq-1a_01", setup::SetupError::DeviceExists},
      {L"ZQ-1A_02", setup::SetupError::None},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.name));
    EXPECT_EQ(setup::CheckNewDeviceName(DeviceKind::Printer, c.name), c.expected);
  }
  // A drawer may carry the name of a printer: the classes are separate keys.
  EXPECT_EQ(setup::CheckNewDeviceName(DeviceKind::CashDrawer, L"ZQ-1A_01"), setup::SetupError::None);
}

TEST(SetupAddress, DottedIpv4Only) {
  const struct {
    std::wstring address;
    bool valid;
  } cases[] = {
      {L"10.0.0.1", true},   {L" 192.168.1.20 ", true}, {L"1.2.3", false},
      {L"1.2.3.4.5", false}, {L".1.2.3.4", false},      {L"256.1.1.1", false},
      {L"a.b.c.d", false},   {L"1..2.3", false},        {L"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.address));
    EXPECT_EQ(setup::IsValidIpAddress(c.address), c.valid);
  }
}

TEST(SetupText, CountingStartsAtTheSecondCharacter) {
  EXPECT_EQ(setup::CountOf(L".1.2.3", L'.'), 2);
  EXPECT_EQ(setup::CountOf(L"1.2.3.4", L'.'), 3);
  EXPECT_EQ(setup::PositionOfNth(L"_a_b_c", L'_', 1), 2);
  EXPECT_EQ(setup::PositionOfNth(L"_a_b_c", L'_', 3), -1);
}

TEST(SetupBrand, TablesOfThisBuildAndOthers) {
  EXPECT_EQ(setup::OwnProgIdOf(setup::kBuildBrand), L"ZanthOposPrinterU1.13");
  EXPECT_EQ(setup::OwnProgIdOf(L"Nobody"), L"");
  EXPECT_EQ(setup::ModelsOf(L"Zanth"),
            (std::vector<std::wstring>{L"ZQ-1A", L"ZQ-1B", L"ZQ-1C", L"ZQ-2A", L"ZQ-2B", L"ZQ-2D"}));
  EXPECT_EQ(setup::ModelsOf(L"DEBUG").size(), 18u);
  EXPECT_TRUE(setup::IsOwnedProgId(L"ZanthOposPrinterU1.13", setup::OwnProgIdOf(L"DEBUG")));
  EXPECT_FALSE(setup::IsOwnedProgId(L"", setup::OwnProgIdOf(L"Zanth")));
  EXPECT_FALSE(setup::IsOwnedProgId(L"BrekkOposPrinterU1.13", setup::OwnProgIdOf(L"Zanth")));
}

TEST_F(SetupRegistry, PortListsByKindWithoutColon) {
  const std::string dos = registry_.Folder() + "/dosdevices";
  std::filesystem::create_directories(dos);
  const std::string device = registry_.Folder() + "/tty";
  std::ofstream(device).put('\n');
  ASSERT_EQ(::symlink(device.c_str(), (dos + "/com9").c_str()), 0);
  ASSERT_EQ(::symlink(device.c_str(), (dos + "/lpt4").c_str()), 0);
  const setup::PortList com = setup::ListPorts(L"com");
  EXPECT_NE(std::find(com.ports.begin(), com.ports.end(), L"COM9"), com.ports.end());
  const setup::PortList lpt = setup::ListPorts(L"LPT");
  EXPECT_NE(std::find(lpt.ports.begin(), lpt.ports.end(), L"LPT4"), lpt.ports.end());
  for (const std::wstring& port : com.ports) EXPECT_EQ(port.substr(0, 3), L"COM");
  for (const std::wstring& port : lpt.ports) EXPECT_EQ(port.substr(0, 3), L"LPT");
}

}  // namespace
}  // namespace zanth::test

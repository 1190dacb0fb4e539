// The editors' rules on registry files: exact value sets of each save, Modify keeping its
// key, and every refusal leaving the registry as it was.
#include <fstream>
#include <iterator>

#include "SetupRegistryFixture.h"

namespace zanth::test {
namespace {

using setup::DeviceKind;
using setup::EditMode;
using setup::SetupError;
using Map = std::map<std::wstring, std::wstring>;

std::wstring PrinterKey(const std::wstring& name) { return setup::DeviceKeyPath(DeviceKind::Printer, name); }
std::wstring DrawerKey(const std::wstring& name) { return setup::DeviceKeyPath(DeviceKind::CashDrawer, name); }

struct PrinterCase {
  const char* name;
  std::wstring brand, model, portType, port;  // port: COM/LPT port or the address
  const wchar_t* progId;                       // null: no default value written
  std::wstring description, settings;
};

const PrinterCase kPrinterCases[] = {
    {"Usb", L"Zanth", L"ZQ-1A", L"USB", L"", L"ZanthOposPrinterU1.13", L"Zanth POS Printer", L"ZQ-1A"},
    {"Com", L"Zanth", L"ZQ-2B", L"COM", L"COM3", L"ZanthOposPrinterU1.13", L"Zanth POS Printer", L"COM3,BaudRate_9600"},
    {"LptColonDropped", L"Zanth", L"ZQ-1C", L"LPT", L"LPT2:", L"ZanthOposPrinterU1.13", L"Zanth POS Printer", L"LPT2"},
    {"TcpTrimmedWithPort", L"Zanth", L"ZQ-1B", L"TCP/IP", L" 10.0.0.1 ", L"ZanthOposPrinterU1.13", L"Zanth POS Printer", L"10.0.0.1,9100"},
    {"SharedGroupOtherBrandNoProgId", L"DEBUG", L"LM301", L"USB", L"", nullptr, L"Corlin POS Printer", L"LM301"},
    {"SharedGroupQn", L"QN", L"LM306", L"USB", L"", L"AlvoraOposPrinterU1.13", L"Alvora POS Printer", L"LM306"},
    {"SharedGroupCorlin", L"Corlin", L"LMX-A", L"USB", L"", L"CorlinOposPrinterU1.13", L"Corlin POS Printer", L"LMX-A"},
    {"OtherGroup", L"DEBUG", L"NV-20", L"USB", L"", L"DravelOposPrinterU1.13", L"Dravel POS Printer", L"NV-20"},
};

class PrinterSave : public SetupRegistry, public testing::WithParamInterface<PrinterCase> {};

TEST_P(PrinterSave, WritesExactlyTheValueSet) {
  const PrinterCase& c = GetParam();
  setup::PrinterEntry entry = setup::NewPrinterEntry(c.model);
  ASSERT_EQ(entry.printerName, c.model + L"_01");
  entry.portType = c.portType;
  entry.comPort = entry.lptPort = entry.ipAddress = c.port;
  entry.baudRate = L"9600";
  entry.notes = L"by the door";
  const setup::Outcome outcome = setup::SavePrinter(entry, EditMode::Add, L"", c.brand);
  ASSERT_TRUE(outcome.ok()) << static_cast<int>(outcome.error);
  Map expected = {{L"DriverModel", c.model},       {L"DriverName", entry.printerName},
                  {L"BitMapMode", L"RasterBitImage"}, {L"PortType", c.portType},
                  {L"ReadTimeout", L"2000"},        {L"WriteTimeout", L"2000"},
                  {L"InputBufSize", L"2048"},       {L"OutputBufSize", L"2048"},
                  {L"Notes", L"by the door"},       {L"PortSettings", c.settings},
                  {L"DeviceDescription", c.description}};
  if (c.progId) expected[L""] = c.progId;
  EXPECT_EQ(Values(PrinterKey(entry.printerName)), expected);
  EXPECT_EQ(Values(Class(DeviceKind::Printer)), (Map{{entry.printerName, entry.printerName}}));
  // What the editor shows again in Modify mode.
  const setup::PrinterEntry loaded = setup::LoadPrinterEntry(entry.printerName);
  EXPECT_EQ(setup::PrinterPortSettings(loaded), c.settings);
  EXPECT_EQ(loaded.logicalName, entry.printerName);
}

INSTANTIATE_TEST_SUITE_P(Setup, PrinterSave, testing::ValuesIn(kPrinterCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SetupRegistry, ModifyKeepsTheKeyAndItsLogicalName) {
  setup::PrinterEntry entry = setup::NewPrinterEntry(L"ZQ-1A");
  ASSERT_TRUE(setup::SavePrinter(entry, EditMode::Add, L"", L"Zanth").ok());
  entry = setup::LoadPrinterEntry(L"ZQ-1A_01");
  entry.printerName = L"Counter printer";
  entry.portType = L"TCP/IP";
  entry.ipAddress = L"192.168.0.7";
  ASSERT_TRUE(setup::SavePrinter(entry, EditMode::Modify, L"ZQ-1A_01", L"Zanth").ok());
  EXPECT_EQ(setup::ListSubkeys(Class(DeviceKind::Printer)), std::vector<std::wstring>{L"ZQ-1A_01"});
  EXPECT_EQ(setup::ReadString(PrinterKey(L"ZQ-1A_01"), L"DriverName"), L"Counter printer");
  EXPECT_EQ(setup::ReadString(PrinterKey(L"ZQ-1A_01"), L"PortSettings"), L"192.168.0.7,9100");
  // The logical name still opens the entry it was made for.
  EXPECT_EQ(Values(Class(DeviceKind::Printer)), (Map{{L"ZQ-1A_01", L"ZQ-1A_01"}}));
  EXPECT_EQ(setup::SavePrinter(entry, EditMode::Modify, L"Gone", L"Zanth").error, SetupError::NoSuchDevice);
}

TEST_F(SetupRegistry, PrinterRefusalsWriteNothing) {
  AddPrinter(L"ZQ-1A_01", {L"Front"});
  const std::string before = [&] {
    std::ifstream in(registry_.Path(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  const struct {
    const char* name;
    void (*change)(setup::PrinterEntry&);
    SetupError expected;
  } cases[] = {
      {"EmptyName", [](setup::PrinterEntry& e) { e.printerName = L""; }, SetupError::EmptyDeviceName},
      {"BlankName", [](setup::PrinterEntry& e) { e.printerName = L"  "; }, SetupError::EmptyDeviceName},
      {"Backslash", [](setup::PrinterEntry& e) { e.printerName = L"A\\B"; }, SetupError::DeviceNameHasBackslash},
      {"ExistingName", [](setup::PrinterEntry& e) { e.printerName = L"zq-1a_01"; }, SetupError::DeviceExists},
      {"EmptyLogicalName", [](setup::PrinterEntry& e) { e.logicalName = L" "; }, SetupError::EmptyLogicalName},
      {"LogicalNameOtherCase", [](setup::PrinterEntry& e) { e.logicalName = L"FRONT"; }, SetupError::LogicalNameTaken},
      {"LogicalNameSpaces", [](setup::PrinterEntry& e) { e.logicalName = L" Front "; }, SetupError::LogicalNameTaken},
      {"TwoDots", [](setup::PrinterEntry& e) { e.portType = L"TCP/IP", e.ipAddress = L"1.2.3"; }, SetupError::BadIpAddress},
      {"ComWithoutPort", [](setup::PrinterEntry& e) { e.portType = L"COM"; }, SetupError::NoPortChosen},
      {"FilePort", [](setup::PrinterEntry& e) { e.portType = L"FILE"; }, SetupError::UnknownPortType},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    setup::PrinterEntry entry = setup::NewPrinterEntry(L"ZQ-1A");
    ASSERT_EQ(entry.printerName, L"ZQ-1A_02");
    c.change(entry);
    EXPECT_EQ(setup::SavePrinter(entry, EditMode::Add, L"", L"Zanth").error, c.expected);
    std::ifstream in(registry_.Path(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before);
  }
}

TEST_F(SetupRegistry, FailedWriteIsReportedAndLeavesNoEntry) {
  ASSERT_TRUE(setup::EnsureClassKeys().ok());
  BlockWrites();
  const setup::Outcome outcome = setup::SavePrinter(setup::NewPrinterEntry(L"ZQ-1A"), EditMode::Add, L"", L"Zanth");
  EXPECT_EQ(outcome.error, SetupError::RegistryFailure);
  EXPECT_NE(outcome.code, ERROR_SUCCESS);
  EXPECT_NE(outcome.reason.find(L"lock"), std::wstring::npos) << platform::ToUtf8(outcome.reason);
  EXPECT_TRUE(setup::ListSubkeys(Class(DeviceKind::Printer)).empty());
}

class DrawerEditor : public SetupRegistry {
 protected:
  void SetUp() override {
    ASSERT_TRUE(setup::SavePrinter(setup::NewPrinterEntry(L"ZQ-2A"), EditMode::Add, L"", L"Zanth").ok());
    AddPrinter(L"KR-11_01", {}, L"BrekkOposPrinterU1.13");
  }
};

TEST_F(DrawerEditor, ChoicesDefaultsAndValueSet) {
  const std::wstring own = setup::OwnProgIdOf(L"Zanth");
  EXPECT_EQ(setup::DrawerPrinterChoices(L"Zanth", own), std::vector<std::wstring>{L"ZQ-2A_01"});
  EXPECT_EQ(setup::DrawerPrinterChoices(L"DEBUG", setup::OwnProgIdOf(L"DEBUG")).size(), 2u);
  setup::DrawerEntry entry = setup::NewDrawerEntry(L"ZQ-2A_01");
  EXPECT_EQ(entry.drawerName, L"ZQ-2A_01_01");
  entry.logicalName = L"Till";
  ASSERT_TRUE(setup::SaveDrawer(entry, EditMode::Add, L"", L"Zanth").ok());
  EXPECT_EQ(Values(DrawerKey(L"ZQ-2A_01_01")),
            (Map{{L"", L"ZanthOposPrinterU1.13"}, {L"PrinterName", L"ZQ-2A_01"}, {L"CapDrawStatus", L"1"},
                 {L"CashDrawerName", L"ZQ-2A_01_01"}, {L"DrawerPin", L"1"}, {L"OpenVoltage", L"0"},
                 {L"SignalOnTime", L"10"}, {L"SignalOffTime", L"10"}, {L"WaitForDrawerCloseTimeOut", L"5000"}}));
  EXPECT_EQ(Values(Class(DeviceKind::CashDrawer)), (Map{{L"Till", L"ZQ-2A_01_01"}}));
  EXPECT_EQ(setup::NewDrawerEntry(L"ZQ-2A_01").drawerName, L"ZQ-2A_01_02");
}

TEST_F(DrawerEditor, FieldsRoundTripAndRefusals) {
  const struct {
    const char* name;
    bool drawer1, drawer2;
    std::wstring high, low, timeout;
    SetupError expected;
    std::wstring pin;
  } cases[] = {
      {"Both", true, true, L"0", L"255", L"0", SetupError::None, L"3"},
      {"SecondOnly", false, true, L"50", L"200", L"60000", SetupError::None, L"2"},
      {"None", false, false, L"10", L"10", L"5000", SetupError::NoDrawerChecked, L""},
      {"HighTooLong", true, false, L"256", L"10", L"5000", SetupError::PulseOutOfRange, L""},
      {"LowEmpty", true, false, L"10", L"", L"5000", SetupError::PulseOutOfRange, L""},
      {"LowNegative", true, false, L"10", L"-1", L"5000", SetupError::PulseOutOfRange, L""},
      {"TimeoutEmpty", true, false, L"10", L"10", L"", SetupError::BadWaitTimeout, L""},
      {"TimeoutTooBig", true, false, L"10", L"10", L"2147483648", SetupError::BadWaitTimeout, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    setup::DrawerEntry entry = setup::NewDrawerEntry(L"ZQ-2A_01");
    entry.drawer1 = c.drawer1, entry.drawer2 = c.drawer2;
    entry.pulseHigh = c.high, entry.pulseLow = c.low, entry.waitTimeout = c.timeout;
    entry.queryStatus = false, entry.openVoltageHigh = true;
    EXPECT_EQ(setup::SaveDrawer(entry, EditMode::Add, L"", L"Zanth").error, c.expected);
    if (c.expected != SetupError::None) {
      EXPECT_FALSE(setup::KeyExists(DrawerKey(entry.drawerName)));
      continue;
    }
    EXPECT_EQ(setup::ReadString(DrawerKey(entry.drawerName), L"DrawerPin"), c.pin);
    const setup::DrawerEntry loaded = setup::LoadDrawerEntry(entry.drawerName);
    EXPECT_EQ(loaded.drawer1, c.drawer1);
    EXPECT_EQ(loaded.drawer2, c.drawer2);
    EXPECT_EQ(loaded.pulseHigh, c.high);
    EXPECT_EQ(loaded.pulseLow, c.low);
    EXPECT_FALSE(loaded.queryStatus);
    EXPECT_TRUE(loaded.openVoltageHigh);
    EXPECT_EQ(loaded.logicalName, entry.drawerName);
  }
}

TEST_F(DrawerEditor, ModifyKeepsKeyAndRefusesAMissingPrinter) {
  ASSERT_TRUE(setup::SaveDrawer(setup::NewDrawerEntry(L"ZQ-2A_01"), EditMode::Add, L"", L"Zanth").ok());
  setup::DrawerEntry entry = setup::LoadDrawerEntry(L"ZQ-2A_01_01");
  entry.waitTimeout = L"1000";
  ASSERT_TRUE(setup::SaveDrawer(entry, EditMode::Modify, L"ZQ-2A_01_01", L"Zanth").ok());
  EXPECT_EQ(setup::ReadString(DrawerKey(L"ZQ-2A_01_01"), L"WaitForDrawerCloseTimeOut"), L"1000");
  EXPECT_EQ(setup::ListSubkeys(Class(DeviceKind::CashDrawer)).size(), 1u);
  entry.printerName = L"";
  EXPECT_EQ(setup::SaveDrawer(entry, EditMode::Modify, L"ZQ-2A_01_01", L"Zanth").error, SetupError::NoPrinterChosen);
}

TEST_F(DrawerEditor, LogicalNameEditor) {
  AddPrinter(L"P", {L"Alpha"});
  const std::wstring dev = L"P";
  const auto save = [&](const std::wstring& name, EditMode mode, const std::wstring& old) {
    return setup::SaveLogicalName(DeviceKind::Printer, dev, name, mode, old).error;
  };
  EXPECT_EQ(save(L"  ", EditMode::Add, L""), SetupError::EmptyLogicalName);
  EXPECT_EQ(save(L" alpha ", EditMode::Add, L""), SetupError::LogicalNameTaken);
  EXPECT_EQ(save(L" Beta ", EditMode::Add, L""), SetupError::None);
  EXPECT_EQ(save(L"Gamma", EditMode::Modify, L"Beta"), SetupError::None);
  EXPECT_EQ(save(L"ALPHA", EditMode::Modify, L"Alpha"), SetupError::None);
  EXPECT_EQ(save(L"Gamma", EditMode::Modify, L"ALPHA"), SetupError::LogicalNameTaken);
  EXPECT_EQ(Values(Class(DeviceKind::Printer)),
            (Map{{L"ZQ-2A_01", L"ZQ-2A_01"}, {L"ALPHA", L"P"}, {L"Gamma", L"P"}}));
  EXPECT_EQ(setup::SaveLogicalName(DeviceKind::Printer, L"Nope", L"X", EditMode::Add, L"").error,
            SetupError::NoSuchDevice);
}

}  // namespace
}  // namespace zanth::test

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "DeviceEntry.h"
#include "ModelFactory.h"
#include "ModelK15.h"
#include "ModelTMT88IV.h"
#include "OposConstants.h"
#include "TestEngine.h"
#include "support/TempRegistry.h"

namespace {

using namespace Tesk::Printer;
using zanth::test::TempRegistry;

const std::wstring kPrinterKey = PrinterEntryPath(L"Receipt");
const std::wstring kDrawerKey = DrawerEntryPath(L"Drawer");

void WritePrinterEntry(const std::wstring& portType, const std::wstring& model,
                       const std::wstring& settings) {
  const std::pair<const wchar_t*, std::wstring> values[] = {
      {L"PortType", portType},        {L"DriverModel", model},
      {L"DriverName", L"driver"},     {L"PortSettings", settings},
      {L"OutputBufSize", L"2048"},    {L"BitMapMode", L"0"},
      {L"WriteTimeout", L"1000"},     {L"ReadTimeout", L"1000"},
      {L"DeviceDescription", L"d"},   {L"Notes", L""},
  };
  for (const auto& [name, value] : values) ASSERT_TRUE(TempRegistry::SetString(kPrinterKey, name, value));
}

// Records the pauses and runs an action at a chosen one.
struct PauseRecorder {
  PauseRecorder() {
    SetEntryReaderSleep([this](DWORD ms) {
      pauses.push_back(ms);
      if (action && pauses.size() == actionAt) action();
    });
  }
  ~PauseRecorder() { SetEntryReaderSleep(nullptr); }
  std::vector<DWORD> pauses;
  size_t actionAt = 0;
  std::function<void()> action;
};

TEST(DeviceEntry, ReadsAllTenPrinterValues) {
  TempRegistry registry;
  WritePrinterEntry(L"FILE", L"TM-T88IV", L"/tmp/out,/tmp/in");
  PauseRecorder recorder;
  PrinterEntry entry;
  EXPECT_EQ(ReadPrinterEntry(L"Receipt", entry), 0);
  EXPECT_EQ(entry.portType, L"FILE");
  EXPECT_EQ(entry.driverModel, L"TM-T88IV");
  EXPECT_EQ(entry.portSettings, L"/tmp/out,/tmp/in");
  EXPECT_EQ(entry.outputBufSize, L"2048");
  EXPECT_EQ(recorder.pauses, std::vector<DWORD>(10, 10));  // 10 ms after each value
}

TEST(DeviceEntry, MissingKeyIs106) {
  TempRegistry registry;
  PrinterEntry entry;
  EXPECT_EQ(ReadPrinterEntry(L"Nothing", entry), OPOS_E_ILLEGAL);
  DrawerEntry drawer;
  EXPECT_EQ(ReadDrawerEntry(L"Nothing", drawer), OPOS_E_ILLEGAL);
}

TEST(DeviceEntry, ValueThatNeverAppearsFailsAfterSixTriesOnSchedule) {
  TempRegistry registry;
  WritePrinterEntry(L"FILE", L"TM-T88IV", L"a,b");
  TempRegistry::DeleteValue(kPrinterKey, L"DriverModel");
  PauseRecorder recorder;
  PrinterEntry entry;
  EXPECT_EQ(ReadPrinterEntry(L"Receipt", entry), OPOS_E_NOSERVICE);
  // PortType read (10 ms), then five pauses before tries 2 to 6 of DriverModel.
  EXPECT_EQ(recorder.pauses, (std::vector<DWORD>{10, 0, 20, 40, 60, 80}));
}

TEST(DeviceEntry, ValueThatAppearsAfterAFewTriesIsRead) {
  TempRegistry registry;
  WritePrinterEntry(L"FILE", L"TM-T88IV", L"a,b");
  TempRegistry::DeleteValue(kPrinterKey, L"Notes");
  PauseRecorder recorder;
  // Nine values read (nine 10 ms pauses), then Notes fails; it appears at the third pause.
  recorder.actionAt = 9 + 3;
  recorder.action = [] { TempRegistry::SetString(kPrinterKey, L"Notes", L"late"); };
  PrinterEntry entry;
  EXPECT_EQ(ReadPrinterEntry(L"Receipt", entry), 0);
  EXPECT_EQ(entry.notes, L"late");
}

TEST(DeviceEntry, ValueOfAnotherTypeIsUnreadable) {
  TempRegistry registry;
  WritePrinterEntry(L"FILE", L"TM-T88IV", L"a,b");
  TempRegistry::DeleteValue(kPrinterKey, L"OutputBufSize");
  ASSERT_TRUE(TempRegistry::SetDword(kPrinterKey, L"OutputBufSize", 2048));
  PauseRecorder recorder;
  PrinterEntry entry;
  EXPECT_EQ(ReadPrinterEntry(L"Receipt", entry), OPOS_E_NOSERVICE);
}

TEST(DeviceEntry, OverlongValueIsRefused) {
  TempRegistry registry;
  WritePrinterEntry(L"FILE", L"TM-T88IV", std::wstring(300, L'x'));
  PauseRecorder recorder;
  PrinterEntry entry;
  EXPECT_EQ(ReadPrinterEntry(L"Receipt", entry), OPOS_E_NOSERVICE);
}

TEST(DeviceEntry, DrawerUsesItsOwnPauseSchedule) {
  TempRegistry registry;
  ASSERT_TRUE(TempRegistry::SetString(kDrawerKey, L"OpenVoltage", L"1"));
  PauseRecorder recorder;
  DrawerEntry entry;
  EXPECT_EQ(ReadDrawerEntry(L"Drawer", entry), OPOS_E_NOSERVICE);
  EXPECT_EQ(recorder.pauses, (std::vector<DWORD>{10, 0, 50, 100, 150, 200}));
}

// Another process rewrites the whole entry again and again (as the setup tool saves it);
// every read gets all its values from one version of the file, never a mixture.
TEST(DeviceEntry, ReadWhileAnotherProcessRewritesTheFileGetsOneVersion) {
  TempRegistry registry;
  const std::string versions[2] = {registry.Folder() + "/a.reg", registry.Folder() + "/b.reg"};
  for (int v = 0; v < 2; ++v) {
    const std::string tag = v == 0 ? "A" : "B";
    std::ofstream out(versions[v], std::ios::binary);
    out << "Windows Registry Editor Version 5.00\r\n\r\n"
        << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\Receipt]\r\n";
    for (const char* name : {"PortType", "DriverModel", "DriverName", "PortSettings", "OutputBufSize",
                             "BitMapMode", "WriteTimeout", "ReadTimeout", "DeviceDescription", "Notes"})
      out << "\"" << name << "\"=\"" << tag << "\"\r\n";
  }
  ASSERT_EQ(platform::ImportRegFile(versions[0]), ERROR_SUCCESS);
  int stop[2];
  ASSERT_EQ(::pipe(stop), 0);
  const pid_t writer = ::fork();
  if (writer == 0) {
    ::close(stop[1]);
    char byte;
    for (int i = 0; i < 20000; ++i) {
      if (platform::ImportRegFile(versions[i % 2]) != ERROR_SUCCESS) ::_exit(2);
      pollfd done{stop[0], POLLIN, 0};
      if (::poll(&done, 1, 0) > 0 && ::read(stop[0], &byte, 1) >= 0) break;
    }
    ::_exit(0);
  }
  ::close(stop[0]);
  // A short real pause between values gives the writer time to replace the file mid-entry.
  SetEntryReaderSleep([](DWORD) { ::usleep(300); });
  int mixed = 0;
  for (int read = 0; read < 200; ++read) {
    PrinterEntry entry;
    ASSERT_EQ(ReadPrinterEntry(L"Receipt", entry), 0);
    for (const std::wstring* value : {&entry.driverModel, &entry.driverName, &entry.portSettings,
                                      &entry.outputBufSize, &entry.bitMapMode, &entry.writeTimeout,
                                      &entry.readTimeout, &entry.deviceDescription, &entry.notes})
      if (*value != entry.portType) ++mixed;
  }
  SetEntryReaderSleep(nullptr);
  ASSERT_EQ(::write(stop[1], "x", 1), 1);
  ::close(stop[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(writer, &status, 0), writer);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(mixed, 0);
}

TEST(DeviceEntry, NumbersTakeLeadingDigits) {
  EXPECT_EQ(EntryNumber(L"60000"), 60000);
  EXPECT_EQ(EntryNumber(L"12ab"), 12);
  EXPECT_EQ(EntryNumber(L"x1"), 0);
  EXPECT_EQ(EntryNumber(L""), 0);
  EXPECT_EQ(EntryNumber(L"99999999999999"), 0x7FFFFFFF);
}

// Model choice from "DriverModel".
struct ModelCase {
  const wchar_t* driverModel;
  enum { TMT88IV, K15, None } expected;
  const wchar_t* modelName;
};

class ModelChoice : public ::testing::TestWithParam<ModelCase> {};

TEST_P(ModelChoice, CutsAtTheLastUnderscoreAndComparesExactly) {
  const auto& c = GetParam();
  LONG code = 0;
  auto model = CreatePrinterModel(c.driverModel, &code);
  switch (c.expected) {
    case ModelCase::TMT88IV:
      ASSERT_NE(dynamic_cast<CTM_T88IV*>(model.get()), nullptr);
      EXPECT_EQ(model->GetModelName(), c.modelName);
      break;
    case ModelCase::K15:
      ASSERT_NE(dynamic_cast<CModelK15*>(model.get()), nullptr);
      EXPECT_EQ(model->GetModelName(), c.modelName);
      break;
    case ModelCase::None:
      EXPECT_EQ(model, nullptr);
      EXPECT_EQ(code, 87);
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, ModelChoice,
    ::testing::Values(ModelCase{L"TM-T88IV", ModelCase::TMT88IV, L"TM-T88IV"},
                      ModelCase{L"LM301_B", ModelCase::TMT88IV, L"LM301"},
                      ModelCase{L"QS-2", ModelCase::TMT88IV, L"QS-2"},
                      ModelCase{L"K15", ModelCase::K15, L"K15"},
                      ModelCase{L"K15SMB_x", ModelCase::K15, L"K15SMB"},
                      ModelCase{L"LM301_B_C", ModelCase::None, nullptr},
                      ModelCase{L"lm301", ModelCase::None, nullptr},
                      ModelCase{L"tm-t88iv", ModelCase::None, nullptr},
                      ModelCase{L"LM303", ModelCase::None, nullptr},
                      ModelCase{L"", ModelCase::None, nullptr},
                      ModelCase{L"_", ModelCase::None, nullptr}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

// Opening from an entry: the staged results.
struct OpenCase {
  const wchar_t* portType;
  const wchar_t* model;
  const wchar_t* settings;
  LONG result, openResult;
};

class OpenStages : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenStages, ReportTheStageThatFailed) {
  const auto& c = GetParam();
  PrinterEntry entry;
  entry.portType = c.portType;
  entry.driverModel = c.model;
  entry.portSettings = c.settings;
  std::unique_ptr<CPrinterBase> engine;
  const auto outcome = OpenPrinterEngine(L"Receipt", nullptr, entry, engine);
  EXPECT_EQ(outcome.result, c.result);
  EXPECT_EQ(outcome.openResult, c.openResult);
  EXPECT_EQ(engine, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, OpenStages,
    ::testing::Values(OpenCase{L"SERIAL", L"TM-T88IV", L"COM1", OPOS_E_ILLEGAL, OPOS_ORS_CONFIG},
                      OpenCase{L"tcp/ip", L"TM-T88IV", L"127.0.0.1", OPOS_E_ILLEGAL, OPOS_ORS_CONFIG},
                      OpenCase{L"FILE", L"TM-T88IV", L"", OPOS_E_ILLEGAL, OPOS_ORS_CONFIG},
                      OpenCase{L"COM", L"TM-T88IV", L",,,", OPOS_E_ILLEGAL, OPOS_ORS_CONFIG},
                      OpenCase{L"FILE", L"tm-t88iv", L"/nonexistent/out", OPOS_E_NOEXIST,
                               OPOS_ORS_NOTSUPPORTED},
                      OpenCase{L"FILE", L"Unknown", L"/nonexistent/out", OPOS_E_NOEXIST,
                               OPOS_ORS_NOTSUPPORTED},
                      OpenCase{L"FILE", L"TM-T88IV", L"/nonexistent/out,/nonexistent/in",
                               OPOS_E_NOHARDWARE, OPOS_ORS_NOPORT}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

std::vector<BYTE> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(OpenFromEntry, FilePortPrinterRunsTheWholeLifecycle) {
  TempRegistry registry;
  const std::string out = registry.Folder() + "/out.bin";
  const std::string in = registry.Folder() + "/in.bin";
  std::ofstream(out).close();
  std::ofstream(in).close();
  PrinterEntry entry;
  entry.portType = L"FILE";
  entry.driverModel = L"TM-T88IIM_A";
  entry.portSettings = platform::FromUtf8(out + "," + in);

  std::unique_ptr<CPrinterBase> engine;
  zanth::test::RecordingEvents events;
  const auto outcome = OpenPrinterEngine(L"Receipt", &events, entry, engine);
  ASSERT_EQ(outcome.result, 0);
  ASSERT_EQ(outcome.openResult, 0);
  ASSERT_NE(engine, nullptr);

  LONG result = 0;  // the claim only runs on a clear result variable
  engine->ClaimDevice(0, &result);
  EXPECT_EQ(result, 0);
  const std::vector<BYTE> claim = {
      0x1B, 0x40,              // ESC @
      0x1B, 0x3D, 0x01,        // ESC = 1
      0x1B, 0x63, 0x34, 0xFC,  // ESC c 4 252
      0x1B, 0x63, 0x33, 0x00,  // ESC c 3 0
      0x1C, 0x26,              // FS &
  };
  EXPECT_EQ(ReadFile(out), claim);

  EXPECT_EQ(engine->DeviceEnable(1), 1);
  EXPECT_EQ(engine->DeviceEnable(0), 1);
  result = -1;
  engine->ReleaseDevice(&result);
  EXPECT_EQ(result, 0);
  result = -1;
  engine->CloseService(&result);
  EXPECT_EQ(engine->IsOpened(), 0);
}

}  // namespace

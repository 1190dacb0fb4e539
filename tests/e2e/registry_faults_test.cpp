// The registry file under attack, seen through the control object's Open: damaged files,
// a file another process rewrites while opens run, and two processes importing and
// exporting at once. An open either finds the right device or fails with a clear code,
// and no file is ever left damaged or empty.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "OposConstants.h"
#include "POSPrinter.h"
#include "platform/registry.h"
#include "platform/wtext.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "so/com/SoTestSupport.h"
#include "support/EventRecorder.h"

extern char** environ;

namespace zanth::test {
namespace {

using namespace std::chrono_literals;

const std::wstring kServiceKey = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS";

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A printer entry "name" on the TCP port, as one .reg section (UTF-8).
// A padding value (not read) makes the file grow and shrink between versions.
std::string EntrySection(const std::string& name, const std::string& model, std::uint16_t port,
                         const std::string& notes = "", std::size_t padding = 0) {
  return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\" + name + "]\r\n"
         "@=\"ZanthOposPrinterU1.13\"\r\n\"PortType\"=\"TCP/IP\"\r\n\"DriverModel\"=\"" + model + "\"\r\n"
         "\"DriverName\"=\"Zanth\"\r\n\"PortSettings\"=\"127.0.0.1," + std::to_string(port) + "\"\r\n"
         "\"OutputBufSize\"=\"4096\"\r\n\"BitMapMode\"=\"1\"\r\n\"WriteTimeout\"=\"1000\"\r\n"
         "\"ReadTimeout\"=\"1000\"\r\n\"DeviceDescription\"=\"" + model + "\"\r\n\"Notes\"=\"" + notes + "\"\r\n" +
         (padding ? "\"Padding\"=\"" + std::string(padding, 'p') + "\"\r\n" : "") + "\r\n";
}

// The entry replaced whole by one import: its old key goes first.
std::string Replacing(const std::string& name, const std::string& section) {
  return "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\" + name + "]\r\n\r\n" +
         section;
}

std::string RegText(const std::string& sections) {
  return "Windows Registry Editor Version 5.00\r\n\r\n" + sections;
}

// Runs a shell command as another process; returns its pid.
pid_t Spawn(const std::string& command) {
  pid_t pid = -1;
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return -1;
  return pid;
}

int WaitExit(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string Quote(const std::string& text) { return "'" + text + "'"; }

// Codes an application can act on when no device could be opened.
bool ClearOpenFailure(LONG rc) {
  return rc == OPOS_E_NOSERVICE || rc == OPOS_E_NOEXIST || rc == OPOS_E_ILLEGAL;
}

class RegistryFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library().Loaded());
    ASSERT_EQ(Library().registerServer(), S_OK);
  }
  // Imports .reg text with the registry's own writer.
  static void Import(const std::string& path, const std::string& text) {
    WriteFile(path, text);
    ASSERT_EQ(platform::ImportRegFile(path), ERROR_SUCCESS) << platform::RegistryLastErrorText();
  }
  TempRegistry registry_;
};

// --- Damaged files ---------------------------------------------------------------------

struct DamageCase {
  const char* name;
  std::function<std::string(const std::string&)> damage;  // the good file's bytes in, bad out
};

std::string Utf8Of(const std::string& file) {
  // The store writes UTF-16LE with a BOM; narrow it for byte surgery.
  if (file.size() >= 2 && static_cast<unsigned char>(file[0]) == 0xFF) {
    std::string narrow;
    for (std::size_t i = 2; i + 1 < file.size(); i += 2) narrow += file[i];
    return narrow;
  }
  return file;
}

std::string Utf16WithoutBom(const std::string& utf8) {
  std::string wide;
  for (char c : utf8) wide += std::string{c, '\0'};
  return wide;
}

// Cut in the middle of the device's PortSettings value, so its text ends early.
std::string CutInsidePortSettings(const std::string& file) {
  const std::string text = Utf8Of(file);
  const std::size_t at = text.find("\"PortSettings\"=\"127.0.0.1,");
  return at == std::string::npos ? text : text.substr(0, at + 24);
}

class DamagedFile : public RegistryFaults, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedFile, OpenFindsTheRightDeviceOrFailsClearlyAndLeavesTheFileAlone) {
  sim::VirtualPrinter device;
  sim::TcpServer server(device, 0);
  Import(registry_.Folder() + "/entry.reg", RegText(EntrySection("Net", "TM-T88IV", server.Port())));
  const std::string good = ReadFile(registry_.Path());
  const std::string bad = GetParam().damage(good);
  ASSERT_NE(bad, good);
  WriteFile(registry_.Path(), bad);

  co::POSPrinter printer;
  const LONG rc = printer.Open(L"Net");
  std::printf("%s: open gave %ld\n", GetParam().name, static_cast<long>(rc));
  if (rc == OPOS_SUCCESS) {
    // Read whole or not at all: the device of the entry, printing to its own printer.
    EXPECT_EQ(printer.GetNumberProperty(PIDXPtr_RecLineWidth), 512);
    ASSERT_EQ(printer.ClaimDevice(1000), OPOS_SUCCESS);
    printer.SetDeviceEnabled(true);
    EXPECT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"right device\n"), OPOS_SUCCESS);
    EXPECT_TRUE(device.WaitFor([&] { return device.PrintedText() == "right device\n"; }, 20s));
    printer.Close();
  } else {
    EXPECT_TRUE(ClearOpenFailure(rc)) << rc;
    EXPECT_FALSE(printer.IsOpen());
  }
  EXPECT_EQ(ReadFile(registry_.Path()), bad) << "an open rewrote the file";

  // Mended, the same control object opens the device.
  WriteFile(registry_.Path(), good);
  ASSERT_EQ(printer.Open(L"Net"), OPOS_SUCCESS);
  EXPECT_EQ(printer.GetNumberProperty(PIDXPtr_RecLineWidth), 512);
  printer.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedFile,
    ::testing::Values(
        DamageCase{"CutInsideAValue", CutInsidePortSettings},
        DamageCase{"CutInsideAValueAsUtf16", [](const std::string& f) {
                     return "\xFF\xFE" + Utf16WithoutBom(CutInsidePortSettings(f));
                   }},
        DamageCase{"BinaryGarbage", [](const std::string&) {
                     std::mt19937 random(17);
                     std::string bytes(8192, '\0');
                     for (char& b : bytes) b = static_cast<char>(random());
                     return bytes;
                   }},
        DamageCase{"GarbageAfterTheHeader", [](const std::string& f) {
                     return Utf8Of(f).substr(0, 40) + std::string("\x01\xFE\x00[[[\"=\"\xC3", 10);
                   }},
        DamageCase{"Utf16WithoutBom", [](const std::string& f) { return Utf16WithoutBom(Utf8Of(f)); }},
        DamageCase{"Empty", [](const std::string&) { return std::string(); }}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Rewritten by another process while opens run --------------------------------------

// Two versions of one entry: 80 mm paper on printer A, or 58 mm paper on printer B (with
// padding, so the file grows and shrinks). An open must read one version whole.
TEST_F(RegistryFaults, OpensWhileAnotherProcessRewritesTheEntryEachReadOneVersion) {
  constexpr int kOpens = 200;
  sim::VirtualPrinter printerA, printerB;
  sim::TcpServer serverA(printerA, 0), serverB(printerB, 0);
  const std::string versionA = registry_.Folder() + "/a.reg", versionB = registry_.Folder() + "/b.reg";
  WriteFile(versionA, RegText(Replacing("Net", EntrySection("Net", "TM-T88IV", serverA.Port()))));
  WriteFile(versionB, RegText(Replacing("Net", EntrySection("Net", "ZQ-2A", serverB.Port(), "", 3000))));
  ASSERT_EQ(platform::ImportRegFile(versionA), ERROR_SUCCESS);
  const std::string stop = registry_.Folder() + "/stop";
  const pid_t writer = Spawn("while [ ! -e " + Quote(stop) + " ]; do " ZANTH_REG_PATH " import " +
                             Quote(versionA) + " && " ZANTH_REG_PATH " import " + Quote(versionB) +
                             " || exit 1; done");
  ASSERT_GT(writer, 0);

  int opened = 0, refused = 0, onA = 0, onB = 0;
  for (int i = 0; i < kOpens; ++i) {
    SCOPED_TRACE("open " + std::to_string(i));
    const int a = serverA.ConnectionsAccepted(), b = serverB.ConnectionsAccepted();
    co::POSPrinter printer;
    const LONG rc = printer.Open(L"Net");
    if (rc != OPOS_SUCCESS) {
      EXPECT_TRUE(ClearOpenFailure(rc)) << rc;
      ++refused;
      continue;
    }
    ++opened;
    // The open probed the entry's port: the printer it reached must match the paper width.
    ASSERT_TRUE(WaitUntil([&] {
      return serverA.ConnectionsAccepted() != a || serverB.ConnectionsAccepted() != b;
    }));
    const bool reachedA = serverA.ConnectionsAccepted() != a;
    EXPECT_EQ(printer.GetNumberProperty(PIDXPtr_RecLineWidth), reachedA ? 512 : 384)
        << "the entry mixed two versions";
    ++(reachedA ? onA : onB);
    printer.Close();
  }
  WriteFile(stop, "");
  EXPECT_EQ(WaitExit(writer), 0);
  EXPECT_EQ(opened + refused, kOpens);
  EXPECT_GT(opened, 0);
  std::printf("%d opens: %d on version A, %d on version B, %d refused\n", kOpens, onA, onB, refused);

  // The file the rewrites left is whole: it parses and holds one of the two versions.
  std::vector<platform::RegistryKey> keys;
  std::string error;
  EXPECT_TRUE(platform::ParseRegFile(ReadFile(registry_.Path()), keys, error)) << error;
  co::POSPrinter last;
  EXPECT_EQ(last.Open(L"Net"), OPOS_SUCCESS);
  last.Close();
}

// --- Two processes importing and exporting at once -------------------------------------

TEST_F(RegistryFaults, TwoProcessesImportingAndExportingLoseNoEntry) {
  constexpr int kRounds = 100;
  sim::VirtualPrinter device;
  sim::TcpServer server(device, 0);
  std::vector<pid_t> workers;
  for (int process = 0; process < 2; ++process) {
    std::string script;
    for (int round = 0; round < kRounds; ++round) {
      const std::string name = "P" + std::to_string(process) + "_" + std::to_string(round);
      const std::string source = registry_.Folder() + "/" + name + ".reg";
      WriteFile(source, RegText(EntrySection(name, "TM-T88IV", server.Port(), name)));
      const std::string exported = registry_.Folder() + "/out" + std::to_string(process) + ".reg";
      script += ZANTH_REG_PATH " import " + Quote(source) + " && " ZANTH_REG_PATH " export " +
                Quote(exported) + " " + Quote(platform::ToUtf8(kServiceKey)) + " || exit 1\n";
    }
    workers.push_back(Spawn(script));
    ASSERT_GT(workers.back(), 0);
  }
  for (pid_t worker : workers) EXPECT_EQ(WaitExit(worker), 0);

  // Every entry of both, complete, in the file and in each process's last export.
  std::vector<platform::RegistryKey> keys;
  std::string error;
  ASSERT_TRUE(platform::ParseRegFile(ReadFile(registry_.Path()), keys, error)) << error;
  std::set<std::wstring> complete;
  for (const platform::RegistryKey& key : keys)
    if (key.values.size() == 11) complete.insert(key.path);
  for (int process = 0; process < 2; ++process) {
    std::vector<platform::RegistryKey> exported;
    ASSERT_TRUE(platform::ParseRegFile(
        ReadFile(registry_.Folder() + "/out" + std::to_string(process) + ".reg"), exported, error))
        << error;
    std::set<std::wstring> seen;
    for (const platform::RegistryKey& key : exported) seen.insert(key.path);
    for (int round = 0; round < kRounds; ++round) {
      const std::wstring path = kServiceKey + L"\\POSPrinter\\P" + std::to_wstring(process) + L"_" +
                                std::to_wstring(round);
      EXPECT_TRUE(complete.count(path)) << platform::ToUtf8(path) << " lost or incomplete";
      EXPECT_TRUE(seen.count(path)) << platform::ToUtf8(path) << " missing from its own export";
    }
  }
  // And each opens through the control object (first and last of each process).
  for (const wchar_t* name : {L"P0_0", L"P0_99", L"P1_0", L"P1_99"}) {
    co::POSPrinter printer;
    EXPECT_EQ(printer.Open(name), OPOS_SUCCESS) << platform::ToUtf8(name);
    printer.Close();
  }
}

}  // namespace
}  // namespace zanth::test

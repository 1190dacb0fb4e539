// zanth-reg run as a program on a temporary registry.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/registry.h"
#include "platform/wtext.h"
#include "support/TempRegistry.h"

namespace {

struct ProgramRun {
  int status;
  std::string output;  // stdout and stderr together
};

ProgramRun ZanthReg(const std::string& arguments) {
  const std::string command = std::string(ZANTH_REG_PATH) + " " + arguments + " 2>&1";
  ProgramRun run{-1, {}};
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) run.output.append(buffer, n);
  const int raw = ::pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

std::string Quote(const std::string& path) { return "'" + path + "'"; }

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::wstring ReadString(HKEY root, const wchar_t* path, const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return L"<no key>";
  wchar_t data[256] = {};
  DWORD size = sizeof(data) - sizeof(wchar_t);
  const LONG rc = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? std::wstring(data) : L"<no value>";
}

const char kOposSetup[] =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter]\r\n"
    "\"Receipt\"=\"Printer_T88\"\r\n"
    "\"Kitchen\"=\"Printer_T88\"\r\n"
    "\"NotALogicalName\"=dword:00000001\r\n"
    "\"Stray\"=\"NoSuchDevice\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\Printer_T88]\r\n"
    "@=\"ZanthOposPrinterU1.13\"\r\n"
    "\"PortType\"=\"COM\"\r\n"
    "\"PortSettings\"=\"COM1,BaudRate_115200\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\CashDrawer_Printer_T88]\r\n"
    "@=\"ZanthOposPrinterU1.13\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer]\r\n"
    "\"Drawer\"=\"CashDrawer_Printer_T88\"\r\n";

TEST(ZanthReg, ImportListExport) {
  zanth::test::TempRegistry registry;
  const std::string source = registry.Folder() + "/setup.reg";
  WriteText(source, kOposSetup);
  ProgramRun run = ZanthReg("import " + Quote(source));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\Printer_T88",
                       L"PortType"),
            L"COM");

  run = ZanthReg("list");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output,
            "POSPrinter\n"
            "  device \"Printer_T88\"  service \"ZanthOposPrinterU1.13\"  port \"COM\" \"COM1,BaudRate_115200\"\n"
            "    logical name \"Receipt\"\n"
            "    logical name \"Kitchen\"\n"
            "CashDrawer\n"
            "  device \"CashDrawer_Printer_T88\"  service \"ZanthOposPrinterU1.13\"\n"
            "    logical name \"Drawer\"\n");

  const std::string out = registry.Folder() + "/out.reg";
  run = ZanthReg("export " + Quote(out) + " 'HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail'");
  ASSERT_EQ(run.status, 0) << run.output;
  std::ifstream in(out, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<platform::RegistryKey> keys;
  std::string error;
  ASSERT_TRUE(platform::ParseRegFile(bytes, keys, error)) << error;
  ASSERT_FALSE(keys.empty());
  EXPECT_EQ(keys.front().path, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail");
  EXPECT_EQ(keys.size(), 6u);  // OLEforRetail, ServiceOPOS, two classes, two devices
}

TEST(ZanthReg, EmptyRegistryListsNothing) {
  zanth::test::TempRegistry registry;
  const ProgramRun run = ZanthReg("list");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("No OPOS devices"), std::string::npos) << run.output;
}

// Commands that must fail with a message and leave the registry as it was.
struct FailureCase {
  const char* name;
  std::string arguments;  // {dir} stands for the registry's folder
  int status;
  const char* message;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

const FailureCase kFailures[] = {
    {"NoCommand", "", 2, "usage:"},
    {"UnknownCommand", "frobnicate", 2, "usage:"},
    {"ImportWithoutFile", "import", 2, "usage:"},
    {"ImportMissingFile", "import {dir}/none.reg", 1, "none.reg"},
    {"ImportBadFile", "import {dir}/bad.reg", 1, "line 1"},
    {"ExportMissingRoot", "export {dir}/x.reg 'HKEY_LOCAL_MACHINE\\Nothing'", 1, "no key"},
    {"RegisterMissingLibrary", "register {dir}/nolib.so", 1, "cannot load"},
    {"RegisterWithoutEntry", "register " ZANTH_NO_ENTRY_LIB, 1, "has no DllRegisterServer"},
};

class ZanthRegFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(ZanthRegFailure, ReportsAndChangesNothing) {
  zanth::test::TempRegistry registry;
  WriteText(registry.Folder() + "/bad.reg", "this is not a registry file\n");
  std::string arguments = GetParam().arguments;
  for (size_t at; (at = arguments.find("{dir}")) != std::string::npos;) arguments.replace(at, 5, registry.Folder());
  const ProgramRun run = ZanthReg(arguments);
  EXPECT_EQ(run.status, GetParam().status) << run.output;
  EXPECT_NE(run.output.find(GetParam().message), std::string::npos) << run.output;
  EXPECT_FALSE(std::filesystem::exists(registry.Path())) << "nothing written";
}

INSTANTIATE_TEST_SUITE_P(All, ZanthRegFailure, testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ZanthReg, RegisterAndUnregisterCallTheServer) {
  zanth::test::TempRegistry registry;
  const wchar_t* key = L"CLSID\\{00000000-0000-0000-0000-0000000000FA}\\InprocServer32";
  ProgramRun run = ZanthReg(std::string("register ") + ZANTH_FAKE_SERVER_LIB);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, key, L"ThreadingModel"), L"Apartment");
  run = ZanthReg(std::string("unregister ") + ZANTH_FAKE_SERVER_LIB);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, key, L"ThreadingModel"), L"<no key>");

  ::setenv("ZANTH_FAKE_SERVER_FAIL", "1", 1);
  run = ZanthReg(std::string("register ") + ZANTH_FAKE_SERVER_LIB);
  ::unsetenv("ZANTH_FAKE_SERVER_FAIL");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("HRESULT 0x80004005"), std::string::npos) << run.output;
}

TEST(ZanthReg, BareLibraryNameMeansTheFileHere) {
  zanth::test::TempRegistry registry;
  const std::filesystem::path lib(ZANTH_FAKE_SERVER_LIB);
  const std::string command = "cd " + Quote(lib.parent_path().string()) + " && " + ZANTH_REG_PATH + " register " +
                              lib.filename().string() + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[1024];
  std::string output;
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) output.append(buffer, n);
  const int raw = ::pclose(pipe);
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << output;
}

}  // namespace

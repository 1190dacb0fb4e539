// The project as a user installs it: 'cmake --install' into a temporary prefix with the
// example application built against it by pkg-config alone and run against the virtual
// printer; and the Debian package unpacked into a scratch root with its maintainer scripts
// run there. Nothing is installed into the real system.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "platform/registry.h"
#include "platform/wtext.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "support/TempRegistry.h"

namespace zanth::test {
namespace {

namespace fs = std::filesystem;

const std::string kBuild = ZANTH_TEST_BUILD_DIR;
const std::string kSource = ZANTH_TEST_SOURCE_DIR;
constexpr char kClassKey[] = "SOFTWARE\\Classes\\CLSID\\{36D4C79D-819F-40E4-A1A2-A7BB9B9D78A2}\\InprocServer32";

struct ProgramRun {
  int status = -1;
  std::string output;
};

ProgramRun Shell(const std::string& command) {
  ProgramRun run;
  FILE* pipe = ::popen(("(" + command + ") 2>&1").c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  const int raw = ::pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

std::string Quote(const std::string& text) { return "'" + text + "'"; }

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The default value of a key under HKEY_LOCAL_MACHINE of the registry OPOS_REGISTRY names.
std::string DefaultValue(const std::string& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, platform::FromUtf8(key).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return "<no key>";
  wchar_t data[1024] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  const LONG rc = RegQueryValueExW(handle, L"", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(handle);
  return rc == ERROR_SUCCESS ? platform::ToUtf8(data) : "<no value>";
}

// A 24-bit BMP: a black frame with a diagonal, 64 x 32 pixels.
void WriteLogo(const std::string& path) {
  const int width = 64, height = 32, row = width * 3;
  std::string pixels;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool ink = x < 2 || y < 2 || x >= width - 2 || y >= height - 2 || x / 2 == y;
      pixels.append(3, ink ? '\0' : '\xff');
    }
  auto le = [](std::uint32_t v, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
  };
  std::ofstream(path, std::ios::binary) << "BM" << le(54 + row * height, 4) << le(0, 4) << le(54, 4) << le(40, 4)
                                        << le(width, 4) << le(height, 4) << le(1, 2) << le(24, 2) << le(0, 4)
                                        << le(row * height, 4) << le(2835, 4) << le(2835, 4) << le(0, 4)
                                        << le(0, 4) << pixels;
}

// udev rule syntax: comma-separated KEY[{attr}]OP"value" terms; matches compare, the
// rest assign, and every line with an assignment has a match.
std::string UdevSyntaxError(const std::string& text) {
  static const std::set<std::string> kMatch = {"SUBSYSTEM", "SUBSYSTEMS", "KERNEL", "KERNELS", "ATTR",
                                               "ATTRS",     "ENV",        "DRIVER", "DRIVERS", "ACTION"};
  static const std::set<std::string> kAssign = {"GROUP", "MODE", "OWNER", "TAG", "SYMLINK", "ENV", "RUN"};
  static const std::regex term(R"(^([A-Z]+)(\{[A-Za-z0-9_]+\})?(==|!=|\+=|:=|=)\"([^\"]*)\"$)");
  std::istringstream lines(text);
  std::string line;
  int number = 0, rules = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    bool matches = false, assigns = false;
    std::size_t start = 0;
    while (start <= line.size()) {
      std::size_t end = line.find(", ", start);
      const std::string part = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
      std::smatch m;
      if (!std::regex_match(part, m, term)) return "line " + std::to_string(number) + ": bad term " + part;
      const bool compare = m[3] == "==" || m[3] == "!=";
      if (!(compare ? kMatch : kAssign).count(m[1])) return "line " + std::to_string(number) + ": bad key " + part;
      if (m[1] == "MODE" && !std::regex_match(m[4].str(), std::regex("0[0-7]{3}")))
        return "line " + std::to_string(number) + ": bad mode";
      (compare ? matches : assigns) = true;
      if (end == std::string::npos) break;
      start = end + 2;
    }
    if (!matches || !assigns) return "line " + std::to_string(number) + ": a rule needs a match and an assignment";
    ++rules;
  }
  return rules == 0 ? "no rules" : "";
}

TEST(Install, PrefixHoldsEverythingAndTheExampleBuildsWithPkgConfigAndPrints) {
  TempRegistry registry;
  const std::string prefix = registry.Folder() + "/prefix";
  ProgramRun run = Shell("OPOS_REGISTRY=" + Quote(registry.Path()) + " cmake --install " + Quote(kBuild) +
                  " --prefix " + Quote(prefix));
  ASSERT_EQ(run.status, 0) << run.output;
  for (const char* file : {"lib/libZanthSO.so.1", "lib/libZanthCO.so", "lib/pkgconfig/zanth.pc",
                           "include/zanth/POSPrinter.h", "include/zanth/platform/com.h", "bin/zanth",
                           "bin/zanth-sim", "lib/udev/rules.d/60-zanth-receipt-printers.rules"}) {
    EXPECT_TRUE(fs::exists(prefix + "/" + file)) << file;
  }
  // Registered: the class points at the installed library.
  EXPECT_EQ(DefaultValue(kClassKey), fs::canonical(prefix + "/lib/libZanthSO.so.1").string());
  // A second install keeps the registry as it is.
  ASSERT_EQ(TempRegistry::SetString(L"SOFTWARE\\Kept", L"", L"yes"), true);
  ASSERT_EQ(Shell("OPOS_REGISTRY=" + Quote(registry.Path()) + " cmake --install " + Quote(kBuild) +
                  " --prefix " + Quote(prefix)).status, 0);
  EXPECT_EQ(DefaultValue("SOFTWARE\\Kept"), "yes");

  const std::string example = registry.Folder() + "/receipt";
  run = Shell("PKG_CONFIG_PATH=" + Quote(prefix + "/lib/pkgconfig") + " && export PKG_CONFIG_PATH && c++ -std=c++20 " +
              Quote(kSource + "/examples/receipt.cpp") + " $(pkg-config --cflags --libs zanth) -o " + Quote(example));
  ASSERT_EQ(run.status, 0) << run.output;

  sim::VirtualPrinter device;
  sim::TcpServer server(device, 0);
  const std::string zanth = Quote(prefix + "/bin/zanth");
  run = Shell(zanth + " add-printer Front --model ZQ-1A --logical Receipt --tcp 127.0.0.1:" +
              std::to_string(server.Port()));
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string logo = registry.Folder() + "/logo.bmp";
  WriteLogo(logo);
  const std::string runExample = "LD_LIBRARY_PATH=" + Quote(prefix + "/lib") + " " + Quote(example) + " Receipt " + Quote(logo);
  // Synchronously: logo, text, barcode and cut through the installed libraries.
  run = Shell(runExample + " --sync");
  ASSERT_EQ(run.status, 0) << run.output;
  ASSERT_TRUE(device.WaitForCuts(1, std::chrono::seconds(20))) << run.output;
  EXPECT_NE(device.PrintedText().find("TOTAL             4.30"), std::string::npos);
  EXPECT_FALSE(device.LogOf("Barcode").empty());
  EXPECT_TRUE(!device.LogOf("RasterImage").empty() || !device.LogOf("Graphics.StoreRaster").empty() ||
              !device.LogOf("BitImage").empty());
  device.ClearLog();
  // In AsyncMode, waiting for OutputComplete.
  run = Shell(runExample);
  // Opened by logical name through the installed libraries in any case.
  EXPECT_EQ(run.output.find("Open failed"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("ClaimDevice failed"), std::string::npos) << run.output;
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("receipt printed, OutputID"), std::string::npos) << run.output;
  ASSERT_TRUE(device.WaitForCuts(2, std::chrono::seconds(20))) << run.output;
  EXPECT_FALSE(device.LogOf("Barcode").empty());
}

TEST(Install, DebianPackageInstallsIntoAScratchRootAndRemovesCleanly) {
  TempRegistry scratch;
  const std::string work = scratch.Folder();
  ProgramRun run = Shell("cpack -G DEB -B " + Quote(work) + " --config " + Quote(kBuild + "/CPackConfig.cmake"));
  ASSERT_EQ(run.status, 0) << run.output;
  std::string deb;
  for (const auto& entry : fs::directory_iterator(work))
    if (entry.path().extension() == ".deb") deb = entry.path().string();
  ASSERT_FALSE(deb.empty()) << run.output;
  const std::string root = work + "/root", control = work + "/control";
  ASSERT_EQ(Shell("dpkg-deb -x " + Quote(deb) + " " + Quote(root) + " && dpkg-deb -e " + Quote(deb) + " " +
                  Quote(control)).status, 0);
  const std::string rules = root + "/usr/lib/udev/rules.d/60-zanth-receipt-printers.rules";
  for (const std::string file : {"/usr/lib/libZanthSO.so.1", "/usr/lib/libZanthCO.so", "/usr/bin/zanth",
                                 "/usr/bin/zanth-sim", "/usr/include/zanth/POSPrinter.h",
                                 "/usr/lib/pkgconfig/zanth.pc", "/usr/lib/udev/rules.d/60-zanth-receipt-printers.rules"}) {
    EXPECT_TRUE(fs::exists(root + file)) << file;
  }
  EXPECT_FALSE(fs::exists(root + "/etc/opos/registry.reg")) << "the registry belongs to the system, not the package";
  EXPECT_EQ(UdevSyntaxError(ReadAll(rules)), "");
  if (Shell("command -v udevadm").status == 0) {
    const ProgramRun verify = Shell("udevadm verify " + Quote(rules));
    EXPECT_EQ(verify.status, 0) << verify.output;
  }

  // postinst creates the registry and registers with the paths the installed system has.
  const std::string registry = root + "/etc/opos/registry.reg";
  setenv("OPOS_REGISTRY", registry.c_str(), 1);
  const std::string env = "DPKG_ROOT=" + Quote(root) + " ";
  run = Shell(env + Quote(control + "/postinst") + " configure");
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string library = DefaultValue(kClassKey);
  EXPECT_TRUE(library.starts_with("/usr/lib/libZanthSO.so.1")) << library;
  EXPECT_TRUE(fs::exists(root + library)) << library;
  // Configured again (an upgrade): the registry and its entries stay.
  ASSERT_EQ(TempRegistry::SetString(L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter", L"Receipt", L"P"), true);
  ASSERT_EQ(Shell(env + Quote(control + "/postinst") + " configure").status, 0);
  EXPECT_EQ(DefaultValue(kClassKey), library);
  // Removal unregisters and leaves the registry file with its entries.
  run = Shell(env + Quote(control + "/prerm") + " remove");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(DefaultValue(kClassKey), "<no key>");
  EXPECT_EQ(DefaultValue("SOFTWARE\\Classes\\ZanthOposPrinterU1.13"), "<no key>");
  ASSERT_TRUE(fs::exists(registry));
  HKEY classKey = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter", 0, KEY_READ,
                          &classKey),
            ERROR_SUCCESS);
  wchar_t data[64] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  EXPECT_EQ(RegQueryValueExW(classKey, L"Receipt", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
            ERROR_SUCCESS);
  RegCloseKey(classKey);
  EXPECT_EQ(std::wstring(data), L"P");
}

}  // namespace
}  // namespace zanth::test

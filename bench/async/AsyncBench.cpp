// Through the control object, the COM layer and TCP/IP to the virtual printer:
// - BM_AsyncPrintNormal: time a PrintNormal in AsyncMode takes to return to its caller
//   (the job is only queued; the worker writes it later).
// - BM_IdleEnabledPrinter: processor time of the whole process (service object and the
//   in-process virtual printer together, so an upper bound) per second of wall time while
//   an enabled printer sits idle and its worker polls the status; counter cpu_pct is the
//   share of one core in percent.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <time.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "OposConstants.h"
#include "POSPrinter.h"
#include "platform/registry.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"

namespace {

// A registered service object and a TCP printer entry named "BenchPrinter".
bool SetUpPrinter(std::uint16_t tcpPort, const char* folderName) {
  const std::string folder = std::filesystem::temp_directory_path() / folderName;
  std::filesystem::create_directories(folder);
  const std::string registry = folder + "/registry.reg";
  std::filesystem::remove(registry);
  setenv("OPOS_REGISTRY", registry.c_str(), 1);
  void* library = dlopen(ZANTH_SO_PATH, RTLD_NOW | RTLD_LOCAL);
  auto registerServer =
      library ? reinterpret_cast<HRESULT (*)()>(dlsym(library, "DllRegisterServer")) : nullptr;
  if (!registerServer || registerServer() != 0) return false;
  const std::wstring key = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\BenchPrinter";
  const std::pair<const wchar_t*, std::wstring> values[] = {
      {L"", L"ZanthOposPrinterU1.13"},
      {L"PortType", L"TCP/IP"},
      {L"DriverModel", L"TM-T88IV"},
      {L"DriverName", L"bench"},
      {L"PortSettings", L"127.0.0.1," + std::to_wstring(tcpPort)},
      {L"OutputBufSize", L"4096"},
      {L"BitMapMode", L"1"},
      {L"WriteTimeout", L"1000"},
      {L"ReadTimeout", L"1000"},
      {L"DeviceDescription", L"bench"},
      {L"Notes", L""},
  };
  for (const auto& [name, value] : values)
    platform::SetRegistryString(HKEY_LOCAL_MACHINE, key, name, value);
  return true;
}

bool OpenEnabled(zanth::co::POSPrinter& printer) {
  if (printer.Open(L"BenchPrinter") != 0 || printer.ClaimDevice(1000) != 0) return false;
  printer.SetDeviceEnabled(true);
  return printer.DeviceEnabled();
}

void BM_AsyncPrintNormal(benchmark::State& state) {
  zanth::sim::VirtualPrinter sim;
  zanth::sim::TcpServer server(sim, 0);
  zanth::co::POSPrinter printer;
  if (!SetUpPrinter(server.Port(), "zanth-bench-async") || !OpenEnabled(printer)) {
    state.SkipWithError("cannot open, claim and enable the printer");
    return;
  }
  printer.SetAsyncMode(1);
  const std::wstring line = L"Item 0001   Coffee, large          2.50\n";
  for (auto _ : state) {
    if (printer.PrintNormal(PTR_S_RECEIPT, line) != 0) {
      state.SkipWithError("PrintNormal failed");
      break;
    }
  }
  state.counters["queued"] = static_cast<double>(state.iterations());
  printer.ClearOutput();
  printer.SetDeviceEnabled(false);
  printer.ReleaseDevice();
  printer.Close();
}
BENCHMARK(BM_AsyncPrintNormal)->Unit(benchmark::kMicrosecond);

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void BM_IdleEnabledPrinter(benchmark::State& state) {
  zanth::sim::VirtualPrinter sim;
  zanth::sim::TcpServer server(sim, 0);
  zanth::co::POSPrinter printer;
  if (!SetUpPrinter(server.Port(), "zanth-bench-idle") || !OpenEnabled(printer)) {
    state.SkipWithError("cannot open, claim and enable the printer");
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // past the enable's report
  double cpu = 0, wall = 0;
  for (auto _ : state) {
    const double cpuBefore = ProcessCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    cpu += ProcessCpuSeconds() - cpuBefore;
    wall += seconds;
    state.SetIterationTime(seconds);
  }
  state.counters["cpu_pct"] = wall > 0 ? 100.0 * cpu / wall : 0;
  printer.SetDeviceEnabled(false);
  printer.ReleaseDevice();
  printer.Close();
}
BENCHMARK(BM_IdleEnabledPrinter)->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();

// Through the control object, the COM layer and TCP/IP to the virtual printer:
// - BM_AsyncPrintNormal: time a PrintNormal in AsyncMode takes to return to its caller
//   (the job is only queued; the worker writes it later).
// - BM_IdleEnabledPrinter: processor time of the whole process (service object and the
//   in-process virtual printer together, so an upper bound) per second of wall time while
//   an enabled printer sits idle and its worker polls the status; counter cpu_pct is the
//   share of one core in percent.
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <string>
#include <thread>

#include "BenchPrinter.h"
#include "OposConstants.h"
#include "POSPrinter.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"

namespace {

bool OpenEnabled(zanth::co::POSPrinter& printer) {
  if (printer.Open(L"BenchPrinter") != 0 || printer.ClaimDevice(1000) != 0) return false;
  printer.SetDeviceEnabled(true);
  return printer.DeviceEnabled();
}

void BM_AsyncPrintNormal(benchmark::State& state) {
  zanth::sim::VirtualPrinter sim;
  zanth::sim::TcpServer server(sim, 0);
  zanth::co::POSPrinter printer;
  if (!zanth::bench::RegisterTcpBenchPrinter(server.Port(), "zanth-bench-async") || !OpenEnabled(printer)) {
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
  if (!zanth::bench::RegisterTcpBenchPrinter(server.Port(), "zanth-bench-idle") || !OpenEnabled(printer)) {
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

// PrintNormal of the standard 60-line receipts (UTF-8, where 0x1B is ESC).
// The workload comes from ZANTH_BENCH_WORKLOAD, else ../shared/bench/receipt-60.txt next
// to the source tree; receipt-js60.txt (the receipt the JavaScript encoders are measured
// on, twice the text) has a benchmark of its own. Counters: bytes of print data per
// second and time per receipt.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "BenchPrinter.h"
#include "ModelTMT88IV.h"
#include "OposConstants.h"
#include "POSPrinter.h"
#include "PortFactory.h"
#include "PortSettings.h"
#include "platform/wtext.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"

namespace {

std::wstring ReadWorkload(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return platform::FromUtf8(text);
}

std::string SharedWorkload(const char* name) {
  return std::string(ZANTH_SOURCE_DIR) + "/../shared/bench/" + name;
}

std::wstring Workload() {
  if (const char* env = std::getenv("ZANTH_BENCH_WORKLOAD"); env && *env) return ReadWorkload(env);
  return ReadWorkload(SharedWorkload("receipt-60.txt"));
}

// Bytes of print data per second and microseconds per receipt.
void ReportReceipts(benchmark::State& state, size_t receiptBytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(receiptBytes));
  state.counters["us_per_receipt"] = benchmark::Counter(
      static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}

// A printer whose paper is known to be present, as after a status read at enable; the
// file port has no printer to answer that read.
class FilePrinter : public Tesk::Printer::CTM_T88IV {
 public:
  FilePrinter() : CTM_T88IV(L"TM-T88IV") {}
  void AssumePaperPresent() { lastStatus_ = Tesk::Printer::tagPrinterStatus{}; }
};

void PrintToFilePort(benchmark::State& state, const std::wstring& receipt) {
  if (receipt.empty()) {
    state.SkipWithError("workload file not found");
    return;
  }
  Tesk::IO::FilePortSettings settings;
  settings.SetSettingsString(L"/dev/null,/nonexistent-input");
  FilePrinter printer;
  LONG result = 0;
  printer.SetPortSettings(&settings, &result);
  printer.OpenServiceW(L"bench", nullptr, &result);
  printer.ClaimDevice(0, &result);
  printer.AssumePaperPresent();
  const std::string utf8 = platform::ToUtf8(receipt);
  for (auto _ : state) {
    printer.PrintNormal(PTR_S_RECEIPT, receipt, &result);
    if (result != 0) {
      state.SkipWithError("PrintNormal failed");
      break;
    }
  }
  ReportReceipts(state, utf8.size());
  printer.ReleaseDevice(&result);
  printer.CloseService(&result);
}

void BM_PrintNormalToFilePort(benchmark::State& state) { PrintToFilePort(state, Workload()); }
BENCHMARK(BM_PrintNormalToFilePort)->Unit(benchmark::kMicrosecond);

void BM_PrintNormalJs60ToFilePort(benchmark::State& state) {
  PrintToFilePort(state, ReadWorkload(SharedWorkload("receipt-js60.txt")));
}
BENCHMARK(BM_PrintNormalJs60ToFilePort)->Unit(benchmark::kMicrosecond);

void BM_PrintNormalThroughControlObject(benchmark::State& state) {
  const std::wstring receipt = Workload();
  zanth::sim::VirtualPrinter sim;
  zanth::sim::TcpServer server(sim, 0);
  if (!zanth::bench::RegisterTcpBenchPrinter(server.Port(), "zanth-bench-print")) {
    state.SkipWithError("cannot register the service object");
    return;
  }

  zanth::co::POSPrinter printer;
  if (printer.Open(L"BenchPrinter") != 0 || printer.ClaimDevice(1000) != 0) {
    state.SkipWithError("cannot open and claim the printer");
    return;
  }
  printer.SetDeviceEnabled(true);
  const std::string utf8 = platform::ToUtf8(receipt);
  for (auto _ : state) {
    if (printer.PrintNormal(PTR_S_RECEIPT, receipt) != 0) {
      state.SkipWithError("PrintNormal failed");
      break;
    }
  }
  ReportReceipts(state, utf8.size());
  printer.SetDeviceEnabled(false);
  printer.ReleaseDevice();
  printer.Close();
}
BENCHMARK(BM_PrintNormalThroughControlObject)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

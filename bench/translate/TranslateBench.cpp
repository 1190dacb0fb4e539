// Throughput of FormatStringToOutBuffer on the standard receipt workload: UTF-8 text
// with ESC | sequences, converted once to code page 1252 as PrintNormal would.
// The file comes from ZANTH_BENCH_WORKLOAD, else ../shared/bench/receipt-60.txt next to
// the source tree.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "CmdHelperBase.h"
#include "PrinterBase.h"
#include "platform/codepage.h"
#include "platform/wtext.h"

namespace {

class BenchEngine : public Tesk::Printer::CPrinterBase {
 public:
  BenchEngine() { InitCmdHelper(); }

 protected:
  void InitCmdHelper() override { cmdHelper_ = &builder_; }
  int IsSupportBidi() override { return 0; }

 private:
  CCmdHelperBase builder_;
};

std::string WorkloadPath() {
  if (const char* path = std::getenv("ZANTH_BENCH_WORKLOAD"); path && *path) return path;
  return std::string(ZANTH_SOURCE_DIR) + "/../shared/bench/receipt-60.txt";
}

bool LoadWorkload(std::string& bytes) {
  std::ifstream file(WorkloadPath(), std::ios::binary);
  if (!file) return false;
  const std::string utf8((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  bytes = platform::WideToCodePage(platform::FromUtf8(utf8), 1252);
  return !bytes.empty();
}

void BM_TranslateReceipt(benchmark::State& state) {
  std::string workload;
  if (!LoadWorkload(workload)) {
    state.SkipWithError(("cannot read " + WorkloadPath()).c_str());
    return;
  }
  BenchEngine engine;
  PrinterBuffer input(32, 32);
  input.AppendBytes(workload.data(), static_cast<std::int32_t>(workload.size()));
  PrinterBuffer out(512, 32);
  for (auto _ : state) {
    out.Resize(0);
    benchmark::DoNotOptimize(engine.FormatStringToOutBuffer(out, input, 0));
    benchmark::DoNotOptimize(out.Data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(workload.size()));
}
BENCHMARK(BM_TranslateReceipt);

// The same data concatenated to about 1 MB: long jobs must stay linear.
void BM_TranslateLargeJob(benchmark::State& state) {
  std::string receipt;
  if (!LoadWorkload(receipt)) {
    state.SkipWithError(("cannot read " + WorkloadPath()).c_str());
    return;
  }
  std::string workload;
  while (workload.size() < (1u << 20)) workload += receipt;
  BenchEngine engine;
  PrinterBuffer input(32, 32);
  input.AppendBytes(workload.data(), static_cast<std::int32_t>(workload.size()));
  PrinterBuffer out(512, 32);
  for (auto _ : state) {
    out.Resize(0);
    benchmark::DoNotOptimize(engine.FormatStringToOutBuffer(out, input, 0));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(workload.size()));
}
BENCHMARK(BM_TranslateLargeJob);

}  // namespace

BENCHMARK_MAIN();

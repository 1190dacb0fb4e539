// 'zanth print' of the standard 60-line receipt to the virtual printer, against the same
// calls made inside one process: the difference is what the program itself costs (start,
// parsing, reading and decoding the file). Both wait until the printer has the cut, so the
// printer's own rendering and the service object's own pauses count on both sides.
// Wall time; the workload comes from ZANTH_BENCH_WORKLOAD, else ../shared/bench/receipt-60.txt.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "OposConstants.h"
#include "POSPrinter.h"
#include "platform/registry.h"
#include "platform/wtext.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"

extern char** environ;

namespace {

std::string WorkloadPath() {
  if (const char* env = std::getenv("ZANTH_BENCH_WORKLOAD"); env && *env) return env;
  return std::string(ZANTH_SOURCE_DIR) + "/../shared/bench/receipt-60.txt";
}

// A registry of the benchmark's own with the service object registered and one printer on
// the virtual printer's port.
class Bench {
 public:
  Bench() {
    char pattern[] = "/tmp/zanth-bench-XXXXXX";
    folder_ = ::mkdtemp(pattern);
    ::setenv("OPOS_REGISTRY", (folder_ + "/registry.reg").c_str(), 1);
    void* library = ::dlopen(ZANTH_SO_PATH, RTLD_NOW | RTLD_LOCAL);
    auto* registerServer = library ? reinterpret_cast<HRESULT (*)()>(::dlsym(library, "DllRegisterServer")) : nullptr;
    ok_ = registerServer && registerServer() == S_OK &&
          Run({"add-printer", "Bench", "--model", "ZQ-1A", "--logical", "Receipt", "--tcp",
               "127.0.0.1:" + std::to_string(server_.Port())}) == 0;
  }
  ~Bench() { std::system(("rm -rf '" + folder_ + "'").c_str()); }

  int Run(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    std::string program = ZANTH_PATH;
    argv.push_back(program.data());
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  bool Ok() const { return ok_; }
  zanth::sim::VirtualPrinter& Device() { return device_; }

 private:
  std::string folder_;
  zanth::sim::VirtualPrinter device_;
  zanth::sim::TcpServer server_{device_, 0};
  bool ok_ = false;
};

void BM_ZanthPrintProgram(benchmark::State& state) {
  Bench bench;
  if (!bench.Ok()) return state.SkipWithError("no registry entry");
  int cuts = 0;
  for (auto _ : state) {
    if (bench.Run({"print", "Receipt", WorkloadPath(), "--cut", "--character-set", "1252"}) != 0)
      return state.SkipWithError("zanth print failed");
    if (!bench.Device().WaitForCuts(++cuts, std::chrono::seconds(30))) return state.SkipWithError("no cut");
  }
}
BENCHMARK(BM_ZanthPrintProgram)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_SameCallsInProcess(benchmark::State& state) {
  Bench bench;
  if (!bench.Ok()) return state.SkipWithError("no registry entry");
  std::ifstream in(WorkloadPath(), std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const std::wstring receipt = platform::FromUtf8(bytes);
  int cuts = 0;
  for (auto _ : state) {
    zanth::co::POSPrinter printer;
    if (printer.Open(L"Receipt") != OPOS_SUCCESS || printer.ClaimDevice(1000) != OPOS_SUCCESS)
      return state.SkipWithError("open failed");
    printer.SetDeviceEnabled(true);
    printer.SetCharacterSet(1252);
    if (printer.PrintNormal(PTR_S_RECEIPT, receipt) != OPOS_SUCCESS || printer.CutPaper(100) != OPOS_SUCCESS)
      return state.SkipWithError("print failed");
    printer.SetDeviceEnabled(false);
    printer.ReleaseDevice();
    printer.Close();
    if (!bench.Device().WaitForCuts(++cuts, std::chrono::seconds(30))) return state.SkipWithError("no cut");
  }
}
BENCHMARK(BM_SameCallsInProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();

// print, status, drawer and check-health: an application's calls through the control
// objects, with every failure reported as the OPOS code, its name and a sentence.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "CashDrawer.h"
#include "Commands.h"
#include "DeviceLookup.h"
#include "Json.h"
#include "OposConstants.h"
#include "POSPrinter.h"
#include "PrintData.h"
#include "ResultText.h"
#include "platform/registry.h"
#include "platform/wtext.h"

namespace zanth::cli {

namespace {

constexpr LONG kClaimTimeoutMs = 1000;
// Generous: a long job on a slow serial printer takes its time.
constexpr auto kOutputCompleteLimit = std::chrono::seconds(120);

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

int FailCall(co::ControlObject& device, const std::string& what, LONG rc) {
  return Fail(what + " failed: " + DescribeResult(rc, device.ResultCodeExtended()));
}

// Opens, claims and enables; reports the first step that fails.
bool OpenClaimEnable(co::ControlObject& device, const std::string& name) {
  const LONG opened = device.Open(platform::FromUtf8(name));
  if (opened != OPOS_SUCCESS) {
    std::string text = "cannot open " + Quoted(name) + ": " + DescribeResult(opened, 0) + "; " +
                       OpenResultSentence(device.OpenResult());
    const std::string registry = platform::RegistryLastErrorText();
    if (!registry.empty()) text += " (" + registry + ")";
    Fail(text);
    return false;
  }
  const LONG claimed = device.ClaimDevice(kClaimTimeoutMs);
  if (claimed != OPOS_SUCCESS) {
    FailCall(device, "ClaimDevice", claimed);
    return false;
  }
  device.SetDeviceEnabled(true);
  const LONG enabled = device.ResultCode();
  if (enabled != OPOS_SUCCESS) {
    FailCall(device, "DeviceEnabled", enabled);
    return false;
  }
  return true;
}

void Shutdown(co::ControlObject& device) {
  if (!device.IsOpen()) return;
  device.SetDeviceEnabled(false);
  device.ReleaseDevice();
  device.Close();
}

// What the event thread reports while the application thread waits.
class OutputWatch {
 public:
  void Completed(LONG id) {
    std::lock_guard<std::mutex> lock(mutex_);
    lastComplete_ = id;
    changed_.notify_all();
  }
  void Failed(LONG rc, LONG extended) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!error_) error_ = std::make_pair(rc, extended);
    changed_.notify_all();
  }
  // Waits until output `id` completed (ids grow) or an error came; false on time-out.
  bool WaitFor(LONG id, std::optional<std::pair<LONG, LONG>>& error) {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool done = changed_.wait_for(lock, kOutputCompleteLimit,
                                        [&] { return error_ || (lastComplete_ && *lastComplete_ >= id); });
    error = error_;
    return done;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<LONG> lastComplete_;
  std::optional<std::pair<LONG, LONG>> error_;
};

const char* StateName(LONG state) {
  switch (state) {
    case OPOS_S_CLOSED: return "closed";
    case OPOS_S_IDLE: return "idle";
    case OPOS_S_BUSY: return "busy";
    case OPOS_S_ERROR: return "error";
    default: return "unknown";
  }
}

// The state of the drawer hanging on a printer, through its own control object.
struct DrawerReading {
  std::string state = "none";  // open, closed, unknown, none (no drawer entry)
  std::string note;
};

DrawerReading ReadDrawerOf(const std::wstring& printerDevice) {
  DrawerReading reading;
  const std::vector<std::wstring> drawers = DrawersOfPrinter(printerDevice);
  if (drawers.empty()) return reading;
  co::CashDrawer drawer;
  reading.state = "unknown";
  if (drawer.Open(drawers.front()) != OPOS_SUCCESS) {
    reading.note = "the drawer does not open: " + OpenResultSentence(drawer.OpenResult());
    return reading;
  }
  const LONG claimed = drawer.ClaimDevice(kClaimTimeoutMs);
  if (claimed == OPOS_SUCCESS) drawer.SetDeviceEnabled(true);
  if (!drawer.CapStatus()) {
    reading.note = "the drawer entry says it cannot report its state";
  } else if (!drawer.DeviceEnabled()) {
    // A property read sets no result code: the state is known only on an enabled drawer.
    reading.note = DescribeResult(drawer.ResultCode(), drawer.ResultCodeExtended());
  } else {
    reading.state = drawer.DrawerOpened() ? "open" : "closed";
  }
  Shutdown(drawer);
  return reading;
}

}  // namespace

int Print(const PrintOptions& options) {
  if (!RegistryUsable()) return 1;
  std::string bytes, error;
  if (!ReadPrintFile(options.file, bytes, error)) return Fail(error);
  const std::wstring data = DecodePrintData(bytes);

  OutputWatch watch;  // outlives the printer, whose event thread reports into it
  co::POSPrinter printer;
  printer.Callbacks().outputComplete = [&watch](LONG id) { watch.Completed(id); };
  printer.Callbacks().error = [&watch](LONG rc, LONG extended, LONG, LONG& response) {
    watch.Failed(rc, extended);
    response = OPOS_ER_CLEAR;  // nobody is there to retry; report and give up the job
  };
  if (!OpenClaimEnable(printer, options.device)) {
    Shutdown(printer);
    return 1;
  }
  int status = 0;
  const auto step = [&](LONG rc, const char* what) {
    if (status == 0 && rc != OPOS_SUCCESS) status = FailCall(printer, what, rc);
    return status == 0;
  };
  if (options.characterSet != 0) {
    printer.SetCharacterSet(options.characterSet);
    step(printer.ResultCode(), "CharacterSet");
  }
  if (status == 0 && options.async) {
    printer.SetAsyncMode(1);
    step(printer.ResultCode(), "AsyncMode");
  }
  LONG lastOutput = 0;
  if (status == 0 && !data.empty() && step(printer.PrintNormal(PTR_S_RECEIPT, data), "PrintNormal"))
    lastOutput = printer.OutputID();
  if (status == 0 && options.cut && step(printer.CutPaper(100), "CutPaper")) lastOutput = printer.OutputID();

  if (status == 0 && options.async && lastOutput != 0) {
    std::optional<std::pair<LONG, LONG>> failure;
    if (!watch.WaitFor(lastOutput, failure)) {
      status = Fail("no OutputComplete for OutputID " + std::to_string(lastOutput) + ": " +
                    DescribeResult(OPOS_E_TIMEOUT, 0));
    } else if (failure) {
      status = Fail("asynchronous output failed: " + DescribeResult(failure->first, failure->second));
    } else {
      std::printf("OutputComplete: OutputID %d\n", static_cast<int>(lastOutput));
    }
  }
  if (status == 0 && !options.async)
    std::printf("printed %zu characters%s\n", data.size(), options.cut ? " and cut" : "");
  Shutdown(printer);
  return status;
}

int Status(const StatusOptions& options) {
  if (!RegistryUsable()) return 1;
  co::POSPrinter printer;
  if (!OpenClaimEnable(printer, options.device)) {
    Shutdown(printer);
    return 1;
  }
  const LONG state = printer.State();
  const bool cover = printer.CoverOpen() != 0;
  const bool empty = printer.RecEmpty() != 0;
  const bool nearEnd = printer.RecNearEnd() != 0;
  const std::string model = platform::ToUtf8(printer.DeviceName());
  const std::string description = platform::ToUtf8(printer.DeviceDescription());
  // Only a version the printer reported counts; the model's default is not its firmware.
  LONG reported = 0;
  std::wstring firmwareText;
  const bool firmwareKnown = printer.DirectIO(co::kDirectIOReadFirmwareVersion, reported, firmwareText) == OPOS_SUCCESS &&
                             reported == 1;
  const std::string firmware = platform::ToUtf8(firmwareText);
  Shutdown(printer);
  const DrawerReading drawer = ReadDrawerOf(PhysicalDeviceName(DeviceKind::Printer, options.device));

  if (options.json) {
    std::printf("{\"device\": %s, \"state\": \"%s\", \"coverOpen\": %s, \"paperEmpty\": %s, "
                "\"paperNearEnd\": %s, \"drawer\": \"%s\", \"firmware\": %s, \"model\": %s, "
                "\"description\": %s}\n",
                JsonString(options.device).c_str(), StateName(state), cover ? "true" : "false",
                empty ? "true" : "false", nearEnd ? "true" : "false", drawer.state.c_str(),
                firmwareKnown ? JsonString(firmware).c_str() : "null", JsonString(model).c_str(),
                JsonString(description).c_str());
    return 0;
  }
  std::printf("device:      %s\n", options.device.c_str());
  std::printf("state:       %s\n", StateName(state));
  std::printf("cover:       %s\n", cover ? "open" : "closed");
  std::printf("paper:       %s\n", empty ? "empty" : "present");
  std::printf("near end:    %s\n", nearEnd ? "yes" : "no");
  std::printf("drawer:      %s%s%s\n", drawer.state.c_str(), drawer.note.empty() ? "" : " - ",
              drawer.note.c_str());
  std::printf("firmware:    %s\n", firmwareKnown ? firmware.c_str() : "not reported by the printer");
  std::printf("model:       %s\n", model.c_str());
  std::printf("description: %s\n", description.c_str());
  return 0;
}

int Drawer(const DrawerOptions& options) {
  if (!RegistryUsable()) return 1;
  co::CashDrawer drawer;
  if (!OpenClaimEnable(drawer, options.device)) {
    Shutdown(drawer);
    return 1;
  }
  int status = 0;
  const LONG opened = drawer.OpenDrawer();
  if (opened != OPOS_SUCCESS) status = FailCall(drawer, "OpenDrawer", opened);
  else std::printf("drawer opened\n");
  if (status == 0 && options.waitSeconds >= 0) {
    if (!drawer.CapStatus()) {
      status = Fail("cannot wait: the drawer entry says this drawer cannot report its state");
    } else {
      const auto start = std::chrono::steady_clock::now();
      const auto limit = start + std::chrono::milliseconds(static_cast<long long>(options.waitSeconds * 1000));
      while (drawer.DrawerOpened() && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (drawer.DrawerOpened()) {
        status = Fail("the drawer is still open after " + std::to_string(options.waitSeconds) +
                      " s: " + DescribeResult(OPOS_E_TIMEOUT, 0));
      } else {
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("drawer closed after %.1f s\n", took.count());
      }
    }
  }
  Shutdown(drawer);
  return status;
}

int CheckHealth(const HealthOptions& options) {
  if (!RegistryUsable()) return 1;
  const DeviceKind kind = KindOfName(options.device);
  if (kind == DeviceKind::None)
    return Fail("no printer or drawer named " + Quoted(options.device) + ": " +
                OpenResultSentence(OPOS_OR_REGBADNAME));
  std::unique_ptr<co::ControlObject> device;
  if (kind == DeviceKind::Printer) device = std::make_unique<co::POSPrinter>();
  else device = std::make_unique<co::CashDrawer>();
  if (!OpenClaimEnable(*device, options.device)) {
    Shutdown(*device);
    return 1;
  }
  const LONG rc = device->CheckHealth(options.level);
  const std::string text = platform::ToUtf8(device->CheckHealthText());
  int status = 0;
  if (rc != OPOS_SUCCESS) status = FailCall(*device, "CheckHealth", rc);
  std::printf("%s\n", text.c_str());
  Shutdown(*device);
  return status;
}

}  // namespace zanth::cli

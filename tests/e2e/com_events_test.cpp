// Events from the real service object to the control object's callbacks, with the
// virtual printer on TCP: a status the engine reads at enable becomes SOStatusUpdate on
// the event thread, and frozen events wait until the thaw.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "OposConstants.h"
#include "POSPrinter.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "so/com/SoTestSupport.h"

namespace zanth::test {
namespace {

// Status updates as the callback saw them; waits on a condition with a generous limit.
struct Statuses {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<LONG> values;

  void Add(LONG value) {
    std::lock_guard<std::mutex> lock(mutex);
    values.push_back(value);
    changed.notify_all();
  }
  bool WaitFor(LONG value) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] {
      return std::find(values.begin(), values.end(), value) != values.end();
    });
  }
  bool WaitForAny() {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] { return !values.empty(); });
  }
  std::vector<LONG> Copy() {
    std::lock_guard<std::mutex> lock(mutex);
    return values;
  }
};

class ComEvents : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library().Loaded()) << dlerror();
    ASSERT_EQ(Library().registerServer(), S_OK);
    const std::wstring key = std::wstring(kPrinterRoot) + L"Net";
    AddFilePrinter(L"Net", registry_.Folder() + "/unused.out");
    TempRegistry::SetString(key, L"PortType", L"TCP/IP");
    TempRegistry::SetString(key, L"PortSettings",
                            L"127.0.0.1," + std::to_wstring(server_.Port()));
    printer_.Callbacks().statusUpdate = [this](LONG data) { statuses_.Add(data); };
  }
  void TearDown() override { printer_.Close(); }

  TempRegistry registry_;
  sim::VirtualPrinter device_;
  sim::TcpServer server_{device_, 0};
  Statuses statuses_;
  co::POSPrinter printer_;
};

TEST_F(ComEvents, StatusReadAtEnableReachesTheCallback) {
  device_.SetCoverOpen(true);
  ASSERT_EQ(printer_.Open(L"Net"), OPOS_SUCCESS);
  ASSERT_EQ(printer_.ClaimDevice(1000), OPOS_SUCCESS);
  printer_.SetDeviceEnabled(true);
  ASSERT_EQ(printer_.ResultCode(), OPOS_SUCCESS);
  EXPECT_TRUE(statuses_.WaitFor(PTR_SUE_COVER_OPEN));
  printer_.SetDeviceEnabled(false);
}

TEST_F(ComEvents, FrozenEventsWaitForTheThaw) {
  device_.SetCoverOpen(true);
  ASSERT_EQ(printer_.Open(L"Net"), OPOS_SUCCESS);
  ASSERT_EQ(printer_.ClaimDevice(1000), OPOS_SUCCESS);
  printer_.SetFreezeEvents(true);
  EXPECT_TRUE(printer_.FreezeEvents());
  printer_.SetDeviceEnabled(true);
  ASSERT_EQ(printer_.ResultCode(), OPOS_SUCCESS);
  // The report is queued but held: the event thread is suspended while every client froze.
  // Its delivery would take at most ~100 ms; give it ample time to show it does not come.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(statuses_.Copy().empty());
  printer_.SetFreezeEvents(false);
  EXPECT_TRUE(statuses_.WaitFor(PTR_SUE_COVER_OPEN));
}

TEST_F(ComEvents, ControlObjectMayCloseFromInsideItsCallback) {
  device_.SetCoverOpen(true);
  printer_.Callbacks().statusUpdate = [this](LONG data) {
    if (printer_.IsOpen()) printer_.Close();  // releases the service object on its event thread
    statuses_.Add(data);
  };
  ASSERT_EQ(printer_.Open(L"Net"), OPOS_SUCCESS);
  ASSERT_EQ(printer_.ClaimDevice(1000), OPOS_SUCCESS);
  printer_.SetDeviceEnabled(true);
  ASSERT_TRUE(statuses_.WaitForAny());
  EXPECT_FALSE(printer_.IsOpen());
  // The device is free again for a new open.
  co::POSPrinter again;
  EXPECT_EQ(again.Open(L"Net"), OPOS_SUCCESS);
  EXPECT_EQ(again.ClaimDevice(1000), OPOS_SUCCESS);
}

}  // namespace
}  // namespace zanth::test

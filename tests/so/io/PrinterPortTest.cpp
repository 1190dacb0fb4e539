// The engine's port holder: one try of the port lock per operation.
#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <thread>

#include "FilePort.h"
#include "OposConstants.h"
#include "PrinterPort.h"
#include "platform/TempDir.h"

namespace Tesk::Printer {
namespace {

using testing_support::TempDir;

class PrinterPortLock : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.Path().empty());
    std::ofstream(dir_.File("out.bin")).flush();
    std::ofstream(dir_.File("in.bin")) << "\x12";
    IO::FilePortSettings settings;
    std::string text = dir_.File("out.bin") + "," + dir_.File("in.bin");
    settings.SetSettingsString(std::wstring(text.begin(), text.end()));
    holder_ = std::make_unique<CPrinterPort>(std::make_shared<IO::FilePort>(settings));
  }

  // Runs body on another thread while that thread holds the port lock.
  template <class Body>
  void WhileAnotherThreadHoldsTheLock(Body body) {
    std::promise<void> locked, done;
    std::thread owner([&] {
      holder_->Lock();
      locked.set_value();
      done.get_future().wait();
      holder_->Unlock();
    });
    locked.get_future().wait();
    body();
    done.set_value();
    owner.join();
  }

  TempDir dir_;
  std::unique_ptr<CPrinterPort> holder_;
};

TEST_F(PrinterPortLock, BusyLockMakesOpenReportBusyAndEveryOperationFail) {
  const BYTE data[] = {0x1B, 0x40};  // ESC @: initialise
  BYTE buffer[1];
  LONG count = 0;
  WhileAnotherThreadHoldsTheLock([&] {
    LONG result = 0;
    EXPECT_FALSE(holder_->Open(&result));
    EXPECT_EQ(result, OPOS_E_BUSY);
    EXPECT_EQ(holder_->GetPort()->IsOpen(), 0);
  });
  LONG result = 0;
  ASSERT_TRUE(holder_->Open(&result));
  EXPECT_EQ(result, 0);
  WhileAnotherThreadHoldsTheLock([&] {
    EXPECT_FALSE(holder_->Write(data, 0, 2));
    EXPECT_FALSE(holder_->Read(buffer, 0, 1, &count, TRUE));
    EXPECT_FALSE(holder_->ReadOnce(buffer, 0, 1, &count, FALSE));
  });
  // Free again: the same calls pass, so the failures above were the lock's doing.
  EXPECT_TRUE(holder_->Write(data, 0, 2));
  EXPECT_TRUE(holder_->Read(buffer, 0, 1, &count, TRUE));
  EXPECT_EQ(buffer[0], 0x12);
}

TEST_F(PrinterPortLock, TheThreadHoldingTheLockPasses) {
  LONG result = 0;
  holder_->Lock();
  ASSERT_TRUE(holder_->TryLock());  // recursive
  EXPECT_TRUE(holder_->Open(&result));
  const BYTE data[] = {0x0A};
  EXPECT_TRUE(holder_->Write(data, 0, 1));
  holder_->Unlock();
  holder_->Unlock();
  // Fully released: another thread can take it now.
  auto other = std::async(std::launch::async, [this] {
    bool taken = holder_->TryLock();
    if (taken) holder_->Unlock();
    return taken;
  });
  EXPECT_TRUE(other.get());
}

TEST_F(PrinterPortLock, OperationsOnAClosedPortFail) {
  const BYTE data[] = {0x0A};
  BYTE buffer[1];
  LONG count = 0;
  EXPECT_FALSE(holder_->Write(data, 0, 1));
  EXPECT_FALSE(holder_->Read(buffer, 0, 1, &count, TRUE));
  EXPECT_FALSE(holder_->ReadOnce(buffer, 0, 1, &count, FALSE));
}

TEST_F(PrinterPortLock, PortTypeComesFromTheSettings) {
  EXPECT_EQ(holder_->GetPortType(), L"FILE");
  CPrinterPort empty(nullptr);
  EXPECT_EQ(empty.GetPortType(), L"");
  LONG result = 0;
  EXPECT_FALSE(empty.Open(&result));
  EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace Tesk::Printer

// Transport faults under synchronous printing: a job either reaches the printer whole and
// once with result 0, or the call reports the failure; the next job prints on the same open
// port either way.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "OposConstants.h"
#include "TestEngine.h"
#include "support/FaultyPort.h"

namespace {

using zanth::test::FakePort;
using zanth::test::FaultyPort;
using zanth::test::RecordingEvents;
using zanth::test::TestEngine;
using Bytes = std::vector<BYTE>;

struct FaultCase {
  const char* name;
  FaultyPort::WriteFault fault;
  LONG bytes;
  DWORD delayMs;
};

const FaultCase kFaults[] = {
    {"ShortWrite", FaultyPort::WriteFault::kShort, 5, 0},
    {"IoError", FaultyPort::WriteFault::kIoError, 0, 0},
    {"WouldBlock", FaultyPort::WriteFault::kAgain, 0, 0},
    {"TimedOut", FaultyPort::WriteFault::kTimeout, 0, 300},
};

bool EndsWith(const Bytes& all, const std::string& text) {
  return all.size() >= text.size() && std::equal(text.rbegin(), text.rend(), all.rbegin());
}

size_t Count(const Bytes& all, const std::string& text) {
  size_t n = 0;
  for (auto it = all.begin(); (it = std::search(it, all.end(), text.begin(), text.end())) != all.end(); ++it) ++n;
  return n;
}

class WriteFault : public testing::TestWithParam<FaultCase> {};

TEST_P(WriteFault, IsReportedOrHarmlessAndTheNextJobPrints) {
  const FaultCase& c = GetParam();
  auto fake = std::make_unique<FakePort>();
  FakePort* printer = fake.get();
  auto faulty = std::make_shared<FaultyPort>(std::move(fake));
  TestEngine engine;
  RecordingEvents events;
  engine.SetBidiAnswer(0);  // a printer that never answers: no status reads in the way
  engine.UsePort(faulty);
  LONG result = -1;
  ASSERT_EQ(engine.OpenServiceW(L"printer", &events, &result), 0);
  engine.ClaimDevice(1000, &result);
  ASSERT_EQ(result, 0);
  engine.SetLastStatus({});
  printer->ClearWritten();

  faulty->FailNextWrite(c.fault, c.bytes, c.delayMs);
  engine.PrintNormal(PTR_S_RECEIPT, L"first job line\n", &result);
  const Bytes afterFirst = printer->Written();
  if (result == 0) {
    // Success means the job arrived whole, and once.
    EXPECT_TRUE(EndsWith(afterFirst, "first job line\n"));
    EXPECT_EQ(Count(afterFirst, "first job"), 1u);
  } else {
    EXPECT_EQ(result, OPOS_E_NOHARDWARE);
  }
  engine.PrintNormal(PTR_S_RECEIPT, L"second job line\n", &result);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(EndsWith(printer->Written(), "second job line\n"));
}

INSTANTIATE_TEST_SUITE_P(Faults, WriteFault, testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// The parallel port's back-channel probe at open, with the printer on a pseudo-terminal.
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "LPTPort.h"
#include "PseudoTerminal.h"

namespace Tesk::IO {
namespace {

using testing_support::PseudoTerminal;

// Status lines as a test sets them, and short reads so a silent printer fails fast.
class ScriptedLptPort : public LPTPort {
 public:
  ScriptedLptPort(const LPTPortSettings& settings, bool statusKnown, bool paperEmpty)
      : LPTPort(settings), statusKnown_(statusKnown), paperEmpty_(paperEmpty) {}

 protected:
  bool QueryStatus(bool* paperEmpty) override {
    *paperEmpty = paperEmpty_;
    return statusKnown_;
  }
  DWORD ReadWaitLimit(bool) override { return 20; }

 private:
  bool statusKnown_, paperEmpty_;
};

LPTPortSettings SettingsFor(const std::string& device) {
  LPTPortSettings settings;
  settings.SetSettingsString(std::wstring(device.begin(), device.end()));
  return settings;
}

struct ProbeCase {
  const char* what;
  bool statusKnown, paperEmpty;
  const char* reply;       // what the printer has sent before the probe; "" for nothing
  bool probed;             // GS r 1 went out
  bool readable;
};

class ParallelProbe : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ParallelProbe, DecidesWhetherThePortCanRead) {
  const auto& c = GetParam();
  PseudoTerminal pty;
  ASSERT_FALSE(pty.Slave().empty());
  pty.MakeRaw();
  std::string reply(c.reply);
  if (!reply.empty()) {
    ASSERT_EQ(::write(pty.Master(), reply.data(), reply.size()), static_cast<ssize_t>(reply.size()));
  }
  ScriptedLptPort port(SettingsFor(pty.Slave()), c.statusKnown, c.paperEmpty);
  ASSERT_TRUE(port.Open()) << c.what;
  EXPECT_TRUE(port.IsByteWise()) << c.what;
  EXPECT_EQ(pty.ReadMaster(3, c.probed ? 5000 : 100), c.probed ? "\x1D\x72\x01" : "") << c.what;
  EXPECT_EQ(port.IsReadable(), c.readable) << c.what;
  BYTE buffer[1];
  LONG count = 0;
  if (!c.readable) {
    EXPECT_FALSE(port.ReadOnce(buffer, 0, 1, &count, FALSE)) << c.what;  // write-only now
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParallelProbe,
    ::testing::Values(ProbeCase{"printer answers", true, false, "\x12", true, true},  // paper present
                      ProbeCase{"printer is silent", true, false, "", true, false},
                      ProbeCase{"paper out: not probed", true, true, "", false, true},
                      ProbeCase{"no status lines: not probed", false, false, "", false, true}));

TEST(ParallelPort, TimeOutsOfTheParallelLine) {
  PseudoTerminal pty;
  LPTPort port(SettingsFor(pty.Slave()));
  EXPECT_EQ(port.WriteTimeLimit(500), 2500u);
  EXPECT_EQ(port.DevicePath(), std::wstring(pty.Slave().begin(), pty.Slave().end()));
}

}  // namespace
}  // namespace Tesk::IO

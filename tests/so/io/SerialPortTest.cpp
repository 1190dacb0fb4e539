// The serial port's line settings and time-outs, driven through a pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "CustomBaud.h"
#include "SerialPort.h"
#include "PseudoTerminal.h"
#include "platform/TempDir.h"

namespace Tesk::IO {
namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

SerialPortSettings SettingsFor(const std::string& device, const std::string& baudField) {
  SerialPortSettings settings;
  std::string text = device + (baudField.empty() ? "" : "," + baudField);
  settings.SetSettingsString(std::wstring(text.begin(), text.end()));
  return settings;
}

using testing_support::PseudoTerminal;

class SerialPty : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(pty_.Slave().empty()); }
  PseudoTerminal pty_;
};

struct SpeedCase {
  const char* field;
  std::uint32_t speed;
  DWORD multiplier;
};

class SerialSpeeds : public SerialPty, public ::testing::WithParamInterface<SpeedCase> {};

TEST_P(SerialSpeeds, OpenSetsTheLineAndTheWriteTime) {
  const auto& c = GetParam();
  SerialPort port(SettingsFor(pty_.Slave(), c.field));
  ASSERT_TRUE(port.Open()) << port.GetSystemError();
  std::uint32_t speed = 0;
  ASSERT_TRUE(GetLineSpeed(pty_.SlaveFd(), &speed));
  EXPECT_EQ(speed, c.speed);
  termios line = pty_.SlaveSettings();
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB), 0u);        // no parity, one stop bit
  EXPECT_NE(line.c_cflag & CRTSCTS, 0u);                   // hardware handshake
  EXPECT_EQ(line.c_iflag & (IXON | IXOFF), 0u);            // no software handshake
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG), 0u);    // raw binary
  EXPECT_EQ(port.WriteMultiplier(), c.multiplier);
  EXPECT_EQ(port.WriteTimeLimit(100), 1000 + 100 * c.multiplier);
  EXPECT_EQ(port.GetErrorText(), L"");
}

INSTANTIATE_TEST_SUITE_P(Cases, SerialSpeeds,
                         ::testing::Values(SpeedCase{"BaudRate_9600", 9600, 2},
                                           SpeedCase{"", 115200, 1},  // default speed
                                           SpeedCase{"BaudRate_19200", 19200, 1},
                                           SpeedCase{"BaudRate_4800", 4800, 3},
                                           SpeedCase{"BaudRate_2400", 2400, 5},
                                           SpeedCase{"BaudRate_7200", 7200, 2}));  // no B-constant

TEST_F(SerialPty, SpeedZeroLeavesTheLineAsItWas) {
  ASSERT_TRUE(SetLineSpeed(pty_.SlaveFd(), 38400));
  SerialPort port(SettingsFor(pty_.Slave(), "BaudRate_abc"));
  ASSERT_EQ(port.Settings().BaudRate(), 0u);
  ASSERT_TRUE(port.Open());
  std::uint32_t speed = 0;
  ASSERT_TRUE(GetLineSpeed(pty_.SlaveFd(), &speed));
  EXPECT_EQ(speed, 38400u);  // not hung up
  EXPECT_EQ(port.WriteMultiplier(), 0u);
}

TEST_F(SerialPty, WritesAndReadsThroughTheLine) {
  SerialPort port(SettingsFor(pty_.Slave(), "BaudRate_115200"));
  ASSERT_TRUE(port.Open());
  const BYTE request[] = {0x10, 0x04, 0x04};  // DLE EOT 4: paper sensor status
  EXPECT_TRUE(port.Write(request, 0, 3));
  BYTE got[3] = {};
  auto deadline = Clock::now() + std::chrono::seconds(5);
  ssize_t have = 0;
  while (have < 3 && Clock::now() < deadline) {
    ssize_t n = ::read(pty_.Master(), got + have, static_cast<std::size_t>(3 - have));
    if (n > 0) have += n;
  }
  ASSERT_EQ(have, 3);
  EXPECT_EQ(got[2], 0x04);

  const BYTE reply[] = {0x12, 0x00};
  ASSERT_EQ(::write(pty_.Master(), reply, 2), 2);
  BYTE buffer[2] = {};
  LONG count = 0;
  EXPECT_TRUE(port.Read(buffer, 0, 2, &count, TRUE));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(buffer[0], 0x12);
}

TEST_F(SerialPty, SilentPrinterReadsEndWithinTheLineTimeOuts) {
  SerialPort port(SettingsFor(pty_.Slave(), "BaudRate_9600"));
  ASSERT_TRUE(port.Open());
  BYTE buffer[4];
  LONG count = 0;
  auto start = Clock::now();
  EXPECT_FALSE(port.Read(buffer, 0, 1, &count, FALSE));
  EXPECT_LT(ElapsedMs(start), 1000);
  start = Clock::now();
  // Five rounds of 100 ms, not five of the 2000 ms overlapped limit.
  EXPECT_FALSE(port.Read(buffer, 0, 4, &count, TRUE));
  EXPECT_EQ(count, 0);
  EXPECT_LT(ElapsedMs(start), 2500);
}

TEST_F(SerialPty, SecondOpenOfTheLineIsRefused) {
  SerialPort first(SettingsFor(pty_.Slave(), ""));
  SerialPort second(SettingsFor(pty_.Slave(), ""));
  ASSERT_TRUE(first.Open());
  EXPECT_FALSE(second.Open());
  EXPECT_EQ(second.GetSystemError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

TEST(SerialNotATerminal, OpensButRecordsTheMissingTimeOuts) {
  testing_support::TempDir dir;
  testing_support::ScopedRegistryFile registry(dir.File("registry.reg"));
  std::filesystem::create_directory(dir.File("dosdevices"));
  ASSERT_EQ(mkfifo(dir.File("line").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir.File("line"), dir.File("dosdevices/com5"));
  SerialPort port(SettingsFor("COM5", "BaudRate_9600"));
  ASSERT_TRUE(port.Open());  // configuration failures do not fail the open
  EXPECT_EQ(port.GetErrorCode(), ERROR_INVALID_FUNCTION);
  EXPECT_EQ(port.GetErrorText(),
            L"SerialPort::SetupTimeouts - Unable to obtain timeout information. ErrorCode:1( 1)");
  EXPECT_TRUE(port.Write(reinterpret_cast<const BYTE*>("x"), 0, 1));
}

struct MultiplierCase {
  DWORD baud, current, expected;
};

class WriteMultiplier : public ::testing::TestWithParam<MultiplierCase> {};

TEST_P(WriteMultiplier, BySpeedBand) {
  const auto& c = GetParam();
  EXPECT_EQ(SerialPort::WriteMultiplierFor(c.baud, c.current), c.expected) << c.baud;
}

INSTANTIATE_TEST_SUITE_P(Bands, WriteMultiplier,
                         ::testing::Values(MultiplierCase{115200, 0, 1}, MultiplierCase{19200, 0, 1},
                                           MultiplierCase{19199, 0, 2}, MultiplierCase{4801, 0, 2},
                                           MultiplierCase{4800, 0, 3}, MultiplierCase{2401, 0, 3},
                                           MultiplierCase{2400, 0, 5}, MultiplierCase{1, 0, 5},
                                           MultiplierCase{0, 7, 7}));  // 0 keeps what was there

}  // namespace
}  // namespace Tesk::IO

// The descriptor-based system port and the file port on temporary files and FIFOs.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <pthread.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "FdIo.h"
#include "FilePort.h"
#include "LPTPort.h"
#include "PortFactory.h"
#include "SerialPort.h"
#include "platform/TempDir.h"

namespace Tesk::IO {
namespace {

using Clock = std::chrono::steady_clock;
using testing_support::TempDir;

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

const BYTE* Bytes(const std::string& s) { return reinterpret_cast<const BYTE*>(s.data()); }

std::unique_ptr<FilePort> MakeFilePort(const std::string& output, const std::string& input) {
  FilePortSettings settings;
  settings.SetSettingsString(Wide(output + "," + input));
  return std::make_unique<FilePort>(settings);
}

// A port whose overlapped mode a test can switch on, as USB sets it.
class TestSystemPort : public CSystemPort {
 public:
  using CSystemPort::SetOverlapped;
};

class PortFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.Path().empty());
    registry_ = std::make_unique<testing_support::ScopedRegistryFile>(dir_.File("registry.reg"));
    output_ = dir_.File("out.bin");
    input_ = dir_.File("in.bin");
  }
  std::string MakeFifo(const char* name) {
    std::string path = dir_.File(name);
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    return path;
  }
  // An open port whose input is a FIFO, and the printer's end of that FIFO.
  void OpenWithFifoInput(std::unique_ptr<FilePort>& port, int& replySide) {
    std::string in = MakeFifo("in.fifo");
    WriteFileBytes(output_, "");
    port = MakeFilePort(output_, in);
    ASSERT_TRUE(port->Open());
    replySide = ::open(in.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(replySide, 0);
  }

  TempDir dir_;
  std::unique_ptr<testing_support::ScopedRegistryFile> registry_;
  std::string output_, input_;
};

TEST_F(PortFiles, WritesFromTheStartAndEmptiesAnOlderLongerCapture) {
  WriteFileBytes(output_, "an older and much longer capture");
  WriteFileBytes(input_, "");
  auto port = MakeFilePort(output_, input_);
  ASSERT_TRUE(port->Open()) << port->GetSystemError();
  std::string data = "xx\x1B@hello";
  EXPECT_TRUE(port->Write(Bytes(data), 2, static_cast<LONG>(data.size() - 2)));  // offset skips "xx"
  port->Close();
  EXPECT_EQ(ReadFileBytes(output_), "\x1B@hello");
}

TEST_F(PortFiles, MissingOutputFileFailsOpenWithFileNotFound) {
  auto port = MakeFilePort(output_, input_);
  EXPECT_FALSE(port->Open());
  EXPECT_EQ(port->GetSystemError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(port->IsOpen(), 0);
  struct stat info {};
  EXPECT_NE(stat(output_.c_str(), &info), 0);  // never created
}

TEST_F(PortFiles, MissingInputFileStillOpensWritesWorkReadsFail) {
  WriteFileBytes(output_, "");
  auto port = MakeFilePort(output_, input_);
  ASSERT_TRUE(port->Open());
  EXPECT_EQ(port->GetSystemError(), 0u);
  EXPECT_TRUE(port->Write(Bytes("abc"), 0, 3));
  BYTE buffer[8] = {};
  LONG count = -1;
  EXPECT_FALSE(port->Read(buffer, 0, 3, &count, FALSE));
  EXPECT_EQ(count, 0);
  EXPECT_FALSE(port->ReadOnce(buffer, 0, 3, &count, FALSE));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(ReadFileBytes(output_), "abc");
}

TEST_F(PortFiles, ReadAlwaysWaitsForAllAndStopsAtTheEndOfTheInput) {
  WriteFileBytes(output_, "");
  WriteFileBytes(input_, "\x12\x34\x56");
  auto port = MakeFilePort(output_, input_);
  ASSERT_TRUE(port->Open());
  BYTE buffer[16] = {};
  LONG count = 0;
  EXPECT_TRUE(port->Read(buffer, 1, 2, &count, FALSE));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(buffer[1], 0x12);
  EXPECT_EQ(buffer[2], 0x34);
  // One byte is left: wait-all is forced, so asking for 4 fails, keeping what came.
  auto start = Clock::now();
  EXPECT_FALSE(port->Read(buffer, 0, 4, &count, FALSE));
  EXPECT_EQ(count, 1);
  EXPECT_EQ(buffer[0], 0x56);
  EXPECT_LT(ElapsedMs(start), 1500);  // the end of a file does not wait out the limits
}

TEST_F(PortFiles, FifosCarryBothDirections) {
  std::string out = MakeFifo("out.fifo");
  std::string in = MakeFifo("in.fifo");
  auto port = MakeFilePort(out, in);
  ASSERT_TRUE(port->Open()) << port->GetSystemError();
  int printerSide = ::open(out.c_str(), O_RDONLY | O_NONBLOCK);
  int replySide = ::open(in.c_str(), O_WRONLY | O_NONBLOCK);
  ASSERT_GE(printerSide, 0);
  ASSERT_GE(replySide, 0);

  const BYTE request[] = {0x10, 0x04, 0x01};  // DLE EOT 1: printer status
  EXPECT_TRUE(port->Write(request, 0, 3));
  BYTE got[3] = {};
  ASSERT_EQ(::read(printerSide, got, 3), 3);
  EXPECT_EQ(std::memcmp(got, request, 3), 0);

  const BYTE reply = 0x16;
  ASSERT_EQ(::write(replySide, &reply, 1), 1);
  BYTE buffer[4] = {};
  LONG count = 0;
  EXPECT_TRUE(port->ReadOnce(buffer, 0, 4, &count, FALSE));
  EXPECT_EQ(count, 1);
  EXPECT_EQ(buffer[0], 0x16);
  ::close(printerSide);
  ::close(replySide);
}

TEST_F(PortFiles, ReadWaitsForBytesThatArriveInPieces) {
  std::unique_ptr<FilePort> port;
  int replySide = -1;
  ASSERT_NO_FATAL_FAILURE(OpenWithFifoInput(port, replySide));
  std::thread printer([replySide] {
    const char first[] = "ab";
    ASSERT_EQ(::write(replySide, first, 2), 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(::write(replySide, "cd", 2), 2);
  });
  BYTE buffer[4] = {};
  LONG count = 0;
  EXPECT_TRUE(port->Read(buffer, 0, 4, &count, TRUE));
  printer.join();
  EXPECT_EQ(count, 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "abcd");
  ::close(replySide);
}

// A FIFO whose printer stays silent: a request without wait-all keeps its short limit
// (one 200 ms wait), and the port lock is not held through five 2 s rounds. Bytes that do
// come are still gathered up to the length asked for.
struct FifoReadCase {
  const char* name;
  const char* reply;  // what the printer writes before the read; "" for silence
  LONG length;
  bool ok;
  LONG count;
};

class FifoRead : public PortFiles, public ::testing::WithParamInterface<FifoReadCase> {};

TEST_P(FifoRead, WithoutWaitAllASilentPrinterEndsTheReadAfterOneShortWait) {
  const auto& c = GetParam();
  std::unique_ptr<FilePort> port;
  int replySide = -1;
  ASSERT_NO_FATAL_FAILURE(OpenWithFifoInput(port, replySide));
  const auto replyLength = static_cast<ssize_t>(std::strlen(c.reply));
  ASSERT_EQ(::write(replySide, c.reply, static_cast<size_t>(replyLength)), replyLength);
  BYTE buffer[8] = {};
  LONG count = -1;
  const auto start = Clock::now();
  EXPECT_EQ(port->Read(buffer, 0, c.length, &count, FALSE), c.ok);
  // The old wait-all rounds took 10 s here; one short wait is 200 ms.
  EXPECT_LT(ElapsedMs(start), 5000);
  EXPECT_EQ(count, c.count);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), static_cast<size_t>(count > 0 ? count : 0)),
            std::string(c.reply).substr(0, static_cast<size_t>(c.count)));
  ::close(replySide);
}

INSTANTIATE_TEST_SUITE_P(Cases, FifoRead,
                         ::testing::Values(FifoReadCase{"Silent", "", 1, false, 0},
                                           FifoReadCase{"AllThere", "\x16\x12", 2, true, 2},
                                           FifoReadCase{"Short", "\x16", 4, false, 1},
                                           FifoReadCase{"MoreThanAsked", "abcdef", 4, true, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PortFiles, SecondOpenOfTheSameDeviceIsRefusedUntilTheFirstCloses) {
  WriteFileBytes(output_, "");
  auto first = MakeFilePort(output_, input_);
  auto second = MakeFilePort(output_, input_);
  ASSERT_TRUE(first->Open());
  EXPECT_FALSE(second->Open());
  EXPECT_EQ(second->GetSystemError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  first->Close();
  EXPECT_TRUE(second->Open());
}

TEST_F(PortFiles, TestOpenLeavesThePortClosedAndFree) {
  WriteFileBytes(output_, "");
  auto port = MakeFilePort(output_, input_);
  EXPECT_TRUE(port->TestOpen());
  EXPECT_EQ(port->IsOpen(), 0);
  auto other = MakeFilePort(output_, input_);
  EXPECT_TRUE(other->Open());
}

TEST_F(PortFiles, ZeroLengthWriteReturnsFalseWithoutTouchingTheDevice) {
  std::string out = MakeFifo("out.fifo");
  auto port = MakeFilePort(out, input_);
  ASSERT_TRUE(port->Open());
  int printerSide = ::open(out.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(printerSide, 0);
  EXPECT_FALSE(port->Write(Bytes("abc"), 0, 0));
  EXPECT_EQ(port->GetSystemError(), 0u);
  BYTE probe;
  EXPECT_EQ(::read(printerSide, &probe, 1), -1);  // nothing arrived
  EXPECT_EQ(errno, EAGAIN);
  ::close(printerSide);
}

struct BadArgumentCase {
  const char* what;
  bool nullData;
  LONG offset, length;
};

class BadWriteArguments : public PortFiles, public ::testing::WithParamInterface<BadArgumentCase> {};

TEST_P(BadWriteArguments, FailWithoutWriting) {
  const auto& c = GetParam();
  WriteFileBytes(output_, "");
  auto port = MakeFilePort(output_, input_);
  ASSERT_TRUE(port->Open());
  EXPECT_FALSE(port->Write(c.nullData ? nullptr : Bytes("abcd"), c.offset, c.length)) << c.what;
  BYTE buffer[4];
  LONG count = 7;
  EXPECT_FALSE(port->Read(c.nullData ? nullptr : buffer, c.offset, c.length, &count, TRUE)) << c.what;
  EXPECT_EQ(count, 0) << c.what;
  port->Close();
  EXPECT_EQ(ReadFileBytes(output_), "") << c.what;
}

INSTANTIATE_TEST_SUITE_P(Cases, BadWriteArguments,
                         ::testing::Values(BadArgumentCase{"null data", true, 0, 4},
                                           BadArgumentCase{"negative length", false, 0, -1},
                                           BadArgumentCase{"negative offset", false, -1, 2}));

TEST_F(PortFiles, CancelStopsWritesAndReadsBeforeTheDevice) {
  WriteFileBytes(output_, "");
  WriteFileBytes(input_, "data");
  auto port = MakeFilePort(output_, input_);
  ASSERT_TRUE(port->Open());
  EXPECT_EQ(port->SetCancel(1), 0);
  LONG cancel = 0;
  EXPECT_EQ(port->GetCancel(&cancel), 0);
  EXPECT_EQ(cancel, 1);
  EXPECT_FALSE(port->Write(Bytes("abc"), 0, 3));
  BYTE buffer[4] = {};
  LONG count = 0;
  EXPECT_FALSE(port->Read(buffer, 0, 4, &count, TRUE));
  EXPECT_EQ(count, 0);
  port->SetCancel(0);
  EXPECT_TRUE(port->Read(buffer, 0, 4, &count, TRUE));
  port->Close();
  EXPECT_EQ(ReadFileBytes(output_), "");
}

TEST_F(PortFiles, ClosedPortReadsFailAtOnce) {
  WriteFileBytes(output_, "");
  WriteFileBytes(input_, "data");
  auto port = MakeFilePort(output_, input_);
  ASSERT_TRUE(port->Open());
  port->Close();
  BYTE buffer[4];
  LONG count = 0;
  auto start = Clock::now();
  EXPECT_FALSE(port->Read(buffer, 0, 4, &count, TRUE));
  EXPECT_FALSE(port->Write(Bytes("a"), 0, 1));
  EXPECT_LT(ElapsedMs(start), 500);
}

// System port on a FIFO: the read loop's limits and modes.
class SystemPortFifo : public PortFiles {
 protected:
  void SetUp() override {
    PortFiles::SetUp();
    fifo_ = MakeFifo("device.fifo");
    port_.SetDevicePath(Wide(fifo_));
  }
  void Feed(const std::string& bytes) {
    int side = ::open(fifo_.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(side, 0);
    ASSERT_EQ(::write(side, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(side);
  }
  std::string fifo_;
  TestSystemPort port_;
};

TEST_F(SystemPortFifo, ReadWithoutWaitAllReturnsAfterTheFirstAttempt) {
  ASSERT_TRUE(port_.Open());
  Feed("abc");
  BYTE buffer[10] = {};
  LONG count = 0;
  auto start = Clock::now();
  EXPECT_TRUE(port_.Read(buffer, 0, 10, &count, FALSE));
  EXPECT_EQ(count, 3);
  EXPECT_LT(ElapsedMs(start), 150);  // one attempt, not the five of wait-all
}

TEST_F(SystemPortFifo, ReadWithoutWaitAllAndNoDataFailsAfterOneLimit) {
  ASSERT_TRUE(port_.Open());
  BYTE buffer[4];
  LONG count = 9;
  auto start = Clock::now();
  EXPECT_FALSE(port_.Read(buffer, 0, 4, &count, FALSE));
  EXPECT_EQ(count, 0);
  long elapsed = ElapsedMs(start);
  EXPECT_GE(elapsed, 190);
  EXPECT_LT(elapsed, 1500);
}

TEST_F(SystemPortFifo, ReadsInChunksOf128Bytes) {
  ASSERT_TRUE(port_.Open());
  std::string data(300, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i);
  Feed(data);
  BYTE buffer[300] = {};
  LONG count = 0;
  // Without wait-all one attempt takes at most one chunk.
  EXPECT_TRUE(port_.Read(buffer, 0, 300, &count, FALSE));
  EXPECT_EQ(count, 128);
  EXPECT_TRUE(port_.Read(buffer, 128, 172, &count, TRUE));
  EXPECT_EQ(count, 172);
  EXPECT_EQ(std::memcmp(buffer, data.data(), 300), 0);
}

TEST_F(SystemPortFifo, ReadOnceWithNothingPendingSucceedsEmptyAfterItsLimit) {
  ASSERT_TRUE(port_.Open());
  BYTE buffer[4];
  LONG count = 5;
  auto start = Clock::now();
  EXPECT_TRUE(port_.ReadOnce(buffer, 0, 4, &count, FALSE));  // a timed-out read succeeds empty
  EXPECT_EQ(count, 0);
  EXPECT_LT(ElapsedMs(start), 1000);
}

TEST_F(SystemPortFifo, OverlappedReadOnceWithNothingPendingFails) {
  port_.SetOverlapped(true);
  ASSERT_TRUE(port_.Open());
  BYTE buffer[4];
  LONG count = 5;
  EXPECT_FALSE(port_.ReadOnce(buffer, 0, 4, &count, FALSE));
  EXPECT_EQ(count, 0);
  Feed("z");
  EXPECT_TRUE(port_.ReadOnce(buffer, 0, 4, &count, FALSE));
  EXPECT_EQ(count, 1);
}

TEST_F(SystemPortFifo, BeginReadExDeliversToTheCallbackWhenNotifyIsOn) {
  static BYTE* seenBuffer;
  static DWORD seenBytes;
  seenBuffer = nullptr;
  seenBytes = 0;
  ASSERT_TRUE(port_.Open());
  port_.SetReadCallback([](IPort*, BYTE* buffer, DWORD bytes) {
    seenBuffer = buffer;
    seenBytes = bytes;
  });
  BYTE buffer[8] = {};
  Feed("q");
  EXPECT_TRUE(port_.BeginReadEx(buffer, 2, 4));
  EXPECT_EQ(seenBuffer, nullptr);  // notify is off
  port_.SetNotifyEnabled(1);
  Feed("rs");
  EXPECT_TRUE(port_.BeginReadEx(buffer, 2, 4));
  EXPECT_EQ(seenBuffer, buffer + 2);
  EXPECT_EQ(seenBytes, 2u);
  EXPECT_EQ(buffer[2], 'r');
}

TEST_F(SystemPortFifo, CommStateIsNotAvailableOnAFifo) {
  EXPECT_FALSE(port_.LoadCommState());  // not open
  ASSERT_TRUE(port_.Open());
  EXPECT_FALSE(port_.LoadCommState());  // not a terminal
  port_.ApplyCommState();               // must not disturb anything
  Feed("k");
  BYTE b;
  LONG count = 0;
  EXPECT_TRUE(port_.Read(&b, 0, 1, &count, TRUE));
}

TEST_F(SystemPortFifo, EmptyDevicePathFailsOpen) {
  port_.SetDevicePath(L"");
  EXPECT_FALSE(port_.Open());
  EXPECT_EQ(port_.IsOpen(), 0);
}

TEST_F(SystemPortFifo, ParallelPortReadsBytewise) {
  LPTPortSettings settings;
  settings.SetSettingsString(Wide(fifo_));
  LPTPort port(settings);
  ASSERT_TRUE(port.Open());
  EXPECT_TRUE(port.IsByteWise());
  Feed("xyz");
  BYTE buffer[3] = {};
  LONG count = 0;
  EXPECT_TRUE(port.Read(buffer, 0, 3, &count, TRUE));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "xyz");
  // A printer that does not answer: the rounds run out and the read fails.
  EXPECT_FALSE(port.Read(buffer, 0, 1, &count, FALSE));
  EXPECT_EQ(count, 0);
}

TEST_F(PortFiles, SerialDeviceNameGoesThroughTheDosDevicesLink) {
  std::filesystem::create_directory(dir_.File("dosdevices"));
  std::string target = MakeFifo("serial.fifo");
  std::filesystem::create_symlink(target, dir_.File("dosdevices/com7"));
  std::filesystem::create_symlink(dir_.File("absent"), dir_.File("dosdevices/com8"));
  SerialPortSettings settings;
  settings.SetSettingsString(L"COM7,BaudRate_9600");
  SerialPort present(settings);
  EXPECT_EQ(present.DevicePath(), L"\\\\.\\COM7");
  EXPECT_TRUE(present.Open()) << present.GetSystemError();
  settings.SetSettingsString(L"COM8");
  SerialPort absent(settings);
  EXPECT_FALSE(absent.Open());
  EXPECT_EQ(absent.GetSystemError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(WriteNoSignal, BrokenPipeReturnsEpipeWithoutASignal) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ::close(fds[0]);
  sigset_t before;
  pthread_sigmask(SIG_SETMASK, nullptr, &before);
  const char byte = 'x';
  errno = 0;
  EXPECT_EQ(WriteNoSignal(fds[1], &byte, 1), -1);  // the default SIGPIPE action would end the test
  EXPECT_EQ(errno, EPIPE);
  sigset_t after, pending;
  pthread_sigmask(SIG_SETMASK, nullptr, &after);
  EXPECT_EQ(sigismember(&after, SIGPIPE), sigismember(&before, SIGPIPE));  // mask restored
  sigpending(&pending);
  EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);  // consumed, not left pending
  ::close(fds[1]);
}

}  // namespace
}  // namespace Tesk::IO

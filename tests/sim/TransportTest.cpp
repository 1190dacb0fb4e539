// Transports: TCP on loopback, pseudo-terminal, FIFO and file pairs, the fake usblp tree.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "SimTestUtil.h"
#include "sim/Transports.h"

namespace zanth::sim {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Reads until `count` bytes arrived or 5 s passed; returns what arrived.
Bytes ReadSome(int fd, std::size_t count) {
  Bytes out;
  auto deadline = std::chrono::steady_clock::now() + 5s;
  while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    std::uint8_t buf[256];
    ssize_t n = ::read(fd, buf, std::min(sizeof buf, count - out.size()));
    if (n <= 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

void WriteBytes(int fd, const Bytes& b) { ASSERT_EQ(::write(fd, b.data(), b.size()), ssize_t(b.size())); }

using test::Connect;

struct TempDir {
  fs::path path;
  TempDir() {
    char tmpl[] = "/tmp/zanth_sim_XXXXXX";
    path = ::mkdtemp(tmpl);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

TEST(Tcp, AnswersStatusOnAnEphemeralPort) {
  VirtualPrinter printer;
  TcpServer server(printer, 0);
  ASSERT_NE(server.Port(), 0);
  int fd = Connect(server.Port());
  ASSERT_GE(fd, 0);
  WriteBytes(fd, {0x1B, 0x40, 'h', 'i', 0x0A, 0x10, 0x04, 0x01});
  EXPECT_EQ(ReadSome(fd, 1), Bytes{0x12});
  EXPECT_TRUE(printer.WaitForBytes(8, 5s));
  EXPECT_TRUE(printer.WaitForOp("LineFeed", 5s));
  ::close(fd);
  EXPECT_TRUE(printer.WaitFor([&] { return !server.Connected(); }, 5s));
}

TEST(Tcp, AutomaticStatusBackIsPushedOnStateChange) {
  VirtualPrinter printer;
  TcpServer server(printer, 0);
  int fd = Connect(server.Port());
  ASSERT_GE(fd, 0);
  WriteBytes(fd, {0x1D, 0x61, 0xFF});
  EXPECT_EQ(ReadSome(fd, 4), (Bytes{0x10, 0x00, 0x00, 0x00}));
  printer.SetCoverOpen(true);  // from this thread, not the connection's
  EXPECT_EQ(ReadSome(fd, 4), (Bytes{0x38, 0x00, 0x00, 0x00}));
  ::close(fd);
}

TEST(Tcp, ConnectionsOneAfterAnotherAndDropOnCommand) {
  VirtualPrinter printer;
  TcpServer server(printer, 0);
  int first = Connect(server.Port());
  ASSERT_GE(first, 0);
  // A second host waits in the backlog until the first one leaves.
  int second = Connect(server.Port());
  ASSERT_GE(second, 0);
  WriteBytes(second, {0x10, 0x04, 0x02});
  WriteBytes(first, {0x10, 0x04, 0x04});
  EXPECT_EQ(ReadSome(first, 1), Bytes{0x12});
  ::close(first);
  EXPECT_EQ(ReadSome(second, 1), Bytes{0x12});
  EXPECT_EQ(server.ConnectionsAccepted(), 2);

  server.DropConnection();
  std::uint8_t b;
  pollfd p{second, POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 5000), 1);
  EXPECT_LE(::recv(second, &b, 1, 0), 0) << "the host sees the connection end";
  ::close(second);

  int third = Connect(server.Port());
  ASSERT_GE(third, 0);
  WriteBytes(third, {0x1D, 0x72, 0x02});
  EXPECT_EQ(ReadSome(third, 1), Bytes{0x00});
  EXPECT_EQ(server.ConnectionsAccepted(), 3);
  ::close(third);
}

TEST(Tcp, HostClosingMidCommandIsLoggedAsTruncated) {
  VirtualPrinter printer;
  TcpServer server(printer, 0);
  int fd = Connect(server.Port());
  ASSERT_GE(fd, 0);
  WriteBytes(fd, {0x1D, 0x76, 0x30, 0x00, 0x10, 0x00, 0x10, 0x00, 0xFF});
  ASSERT_TRUE(printer.WaitForBytes(9, 5s));
  ::close(fd);
  EXPECT_TRUE(printer.WaitForOp("Truncated", 5s));
}

TEST(Tcp, StoppedServerRefusesConnections) {
  VirtualPrinter printer;
  TcpServer server(printer, 0);
  std::uint16_t port = server.Port();
  server.Stop();
  EXPECT_LT(Connect(port), 0);
}

TEST(Tcp, BusyPortIsReported) {
  VirtualPrinter printer;
  TcpServer server(printer, 0);
  VirtualPrinter other;
  EXPECT_THROW(TcpServer(other, server.Port()), std::system_error);
}

int OpenSerial(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) return fd;
  termios tio{};
  ::tcgetattr(fd, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

TEST(Pty, SlaveWorksAsASerialPortAndCanBeReopened) {
  VirtualPrinter printer;
  PtyTransport pty(printer);
  ASSERT_FALSE(pty.SlavePath().empty());
  for (int round = 0; round < 2; ++round) {
    int fd = OpenSerial(pty.SlavePath());
    ASSERT_GE(fd, 0) << pty.SlavePath();
    printer.SetCoverOpen(round == 1);
    WriteBytes(fd, {0x10, 0x04, 0x02});
    EXPECT_EQ(ReadSome(fd, 1), Bytes{std::uint8_t(round == 1 ? 0x16 : 0x12)});
    ::close(fd);
  }
  // Replies are not echoed back to the printer as commands.
  EXPECT_EQ(printer.LogOf("RealTimeStatus").size(), 2u);
  EXPECT_TRUE(printer.LogOf("Unknown").empty());
}

TEST(FilePair, FifosCarryCommandsAndReplies) {
  TempDir dir;
  VirtualPrinter printer;
  FilePairTransport pair(printer, (dir.path / "out").string(), (dir.path / "in").string(),
                         FilePairTransport::Kind::Fifo);
  int in = ::open(pair.InputPath().c_str(), O_RDONLY | O_NONBLOCK);
  int out = ::open(pair.OutputPath().c_str(), O_WRONLY);
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  WriteBytes(out, {'a', 0x0A, 0x1D, 0x49, 0x42});
  EXPECT_EQ(ReadSome(in, 8), (Bytes{'_', 'O', 'r', 'v', 'a', 'n', 'e', 0}));
  ::close(out);
  ::close(in);
  EXPECT_TRUE(printer.WaitForOp("LineFeed", 5s));
}

TEST(FilePair, RegularFilesAreFollowedAsTheyGrow) {
  TempDir dir;
  VirtualPrinter printer;
  FilePairTransport pair(printer, (dir.path / "out.bin").string(), (dir.path / "in.bin").string(),
                         FilePairTransport::Kind::RegularFile);
  {
    std::ofstream out(pair.OutputPath(), std::ios::binary | std::ios::app);
    out << "abc\n" << char(0x10) << char(0x04) << char(0x01);
  }
  ASSERT_TRUE(printer.WaitForBytes(7, 5s));
  ASSERT_TRUE(printer.WaitFor([&] { return fs::file_size(pair.InputPath()) == 1; }, 5s));
  std::ifstream in(pair.InputPath(), std::ios::binary);
  EXPECT_EQ(in.get(), 0x12);
  // A host that reopens the file with truncation starts again from the top.
  {
    std::ofstream out(pair.OutputPath(), std::ios::binary | std::ios::trunc);
    out << char(0x1D) << char(0x56) << char(0x00);
  }
  EXPECT_TRUE(printer.WaitForCuts(1, 5s));
}

TEST(FakeUsb, TreeLooksLikeSysfsAndTheNodeAnswers) {
  TempDir dir;
  VirtualPrinter printer, mute;  // printers outlive the tree that serves them
  FakeUsbTree tree(dir.path.string());
  std::string node = tree.AddPrinter(printer, 0, 0x0dd4, 0x0195);
  EXPECT_EQ(node, tree.DevRoot() + "/usb/lp0");
  fs::path cls = fs::path(tree.SysfsRoot()) / "class/usbmisc/lp0";
  ASSERT_TRUE(fs::is_symlink(cls));
  fs::path iface = fs::canonical(cls / "device");
  EXPECT_EQ(iface.filename(), "1-1:1.0");
  auto read = [](const fs::path& p) {
    std::ifstream in(p);
    std::string s;
    std::getline(in, s);
    return s;
  };
  EXPECT_EQ(read(iface.parent_path() / "idVendor"), "0dd4");
  EXPECT_EQ(read(iface.parent_path() / "idProduct"), "0195");
  EXPECT_EQ(read(cls / "dev"), "180:0");
  int fd = OpenSerial(node);
  ASSERT_GE(fd, 0);
  WriteBytes(fd, {0x1D, 0x72, 0x01});
  EXPECT_EQ(ReadSome(fd, 1), Bytes{0x00});
  ::close(fd);

  // A FIFO node takes data but cannot answer.
  std::string fifo = tree.AddPrinter(mute, 1, 0x0dd4, 0x0200, FakeUsbTree::Node::Fifo);
  EXPECT_TRUE(fs::is_fifo(fifo));
  int w = ::open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(w, 0);
  WriteBytes(w, {0x1D, 0x56, 0x01});
  ::close(w);
  EXPECT_TRUE(mute.WaitForCuts(1, 5s));
  EXPECT_EQ(fs::canonical(fs::path(tree.SysfsRoot()) / "class/usbmisc/lp1/device").filename(), "1-2:1.0");
}

}  // namespace
}  // namespace zanth::sim

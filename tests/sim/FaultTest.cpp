// Printer behaviours faults come from: stall, slow drain, paper end and cover open that stop
// printing, power off and on; through the printer alone and through TCP.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "SimTestUtil.h"
#include "sim/Transports.h"

namespace zanth::sim {
namespace {

using namespace std::chrono_literals;

using test::Connect;

// Writes without blocking until the socket takes no more for half a second; returns the count.
std::size_t FillUntilRefused(int fd, std::size_t limit) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  Bytes chunk(4096, 'x');
  std::size_t sent = 0;
  while (sent < limit) {
    ssize_t n = ::send(fd, chunk.data(), std::min(chunk.size(), limit - sent), MSG_NOSIGNAL);
    if (n > 0) {
      sent += std::size_t(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN) break;
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, 500) <= 0) break;
  }
  return sent;
}

TEST(Faults, StalledPrinterStopsReadingUntilReleased) {
  PrinterConfig cfg;
  cfg.receiveBufferBytes = 4096;
  VirtualPrinter printer(cfg);
  printer.SetStalled(true);
  TcpServer server(printer, 0);
  int fd = Connect(server.Port(), 16384);  // small buffers on both sides fill fast
  ASSERT_GE(fd, 0);
  const std::size_t limit = 64u << 20;
  std::size_t sent = FillUntilRefused(fd, limit);
  EXPECT_LT(sent, limit) << "the sender's buffer never filled";
  EXPECT_EQ(printer.BytesReceived(), 0u);
  printer.SetStalled(false);
  EXPECT_TRUE(printer.WaitForBytes(sent, 30s)) << printer.BytesReceived() << " of " << sent;
  ::close(fd);
}

TEST(Faults, SlowPrinterDrainsAtItsRate) {
  VirtualPrinter printer;
  printer.SetDrainRate(20000);
  TcpServer server(printer, 0);
  int fd = Connect(server.Port());
  ASSERT_GE(fd, 0);
  const Bytes job(10000, 'y');
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(::send(fd, job.data(), job.size(), MSG_NOSIGNAL), ssize_t(job.size()));
  ASSERT_TRUE(printer.WaitForBytes(job.size(), 30s));
  // 10 kB at 20 kB/s take at least about half a second (a burst of 1 kB aside); only the
  // lower bound is certain on a loaded machine.
  EXPECT_GE(std::chrono::steady_clock::now() - start, 400ms);
  EXPECT_EQ(printer.BytesReceived(), job.size());
  ::close(fd);
}

TEST(Faults, PaperEndAndCoverOpenHoldThePrintUntilCleared) {
  const struct { const char* name; void (VirtualPrinter::*set)(bool); std::uint8_t status4; } rows[] = {
      {"PaperEnd", &VirtualPrinter::SetPaperEnd, 0x72}, {"CoverOpen", &VirtualPrinter::SetCoverOpen, 0x12}};
  for (auto& r : rows) {
    SCOPED_TRACE(r.name);
    PrinterConfig cfg;
    cfg.stopsWhenOffline = true;
    cfg.inputBufferBytes = 64;
    VirtualPrinter p(cfg);
    p.Feed(std::string("first\n"));
    (p.*r.set)(true);
    EXPECT_TRUE(p.Stopped());
    // Mid-job: the rest waits, a real-time status request in it is answered at once.
    p.Feed(Bytes{'s', 'e', 'c', 'o', 'n', 'd', 0x0A, 0x10, 0x04, 0x04, 0x1D, 0x56, 0x00});
    EXPECT_EQ(p.TakeReplies(), Bytes{r.status4});
    EXPECT_EQ(p.PrintedText(), "first\n");
    EXPECT_EQ(p.CutCount(), 0);
    EXPECT_EQ(p.BytesWaiting(), 13u);
    std::chrono::milliseconds retry{};
    EXPECT_EQ(p.InputAllowance(&retry), 64u - 13u);  // the input buffer's room is all it takes
    p.Feed(Bytes(51, 'z'));
    EXPECT_EQ(p.InputAllowance(&retry), 0u);
    EXPECT_GT(retry.count(), 0);
    (p.*r.set)(false);
    EXPECT_FALSE(p.Stopped());
    EXPECT_EQ(p.PrintedText().substr(0, 13), "first\nsecond\n");
    EXPECT_EQ(p.CutCount(), 1);
    EXPECT_EQ(p.BytesWaiting(), 0u);
    EXPECT_TRUE(p.TakeReplies().empty()) << "the held request was answered twice";
  }
  // Without stopsWhenOffline the printer prints on, as before.
  VirtualPrinter plain;
  plain.SetPaperEnd(true);
  plain.Feed(std::string("on\n"));
  EXPECT_EQ(plain.PrintedText(), "on\n");
}

TEST(Faults, PowerCycleDropsTheConnectionAndResetsThePrinter) {
  VirtualPrinter printer;
  TcpServer server(printer, 0);
  int fd = Connect(server.Port());
  ASSERT_GE(fd, 0);
  // ASB on, a downloaded image, an NV image, right justification.
  Bytes setup = {0x1D, 0x61, 0xFF, 0x1D, 0x2A, 0x01, 0x01, 1, 2, 3, 4, 5, 6, 7, 8,
                 0x1C, 0x71, 0x01, 0x01, 0x00, 0x01, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0x1B, 0x61, 0x02};
  ASSERT_EQ(::send(fd, setup.data(), setup.size(), MSG_NOSIGNAL), ssize_t(setup.size()));
  ASSERT_TRUE(printer.WaitForBytes(setup.size(), 10s));
  ASSERT_TRUE(printer.WaitFor([&] { return printer.AsbMask() == 0xFF; }, 10s));

  printer.SetPower(false);
  ASSERT_TRUE(printer.WaitFor([&] { return !server.Connected(); }, 10s));
  // Past the automatic status blocks already sent, the host reads the end of the connection.
  std::uint8_t buf[64];
  ssize_t n = 1;
  for (int reads = 0; n > 0 && reads < 16; ++reads) {
    pollfd pf{fd, POLLIN, 0};
    if (::poll(&pf, 1, 10000) <= 0) break;
    n = ::recv(fd, buf, sizeof buf, 0);
  }
  EXPECT_LE(n, 0) << "the connection outlived the power";
  ::close(fd);
  auto refused = [&] {
    int probe = Connect(server.Port());
    if (probe >= 0) ::close(probe);
    return probe < 0;
  };
  EXPECT_TRUE(printer.WaitFor(refused, 10s)) << "a switched-off printer accepted";

  printer.SetPower(true);
  EXPECT_EQ(printer.PowerCycles(), 1);
  EXPECT_EQ(printer.AsbMask(), 0);
  int again = -1;
  ASSERT_TRUE(printer.WaitFor([&] { return (again = Connect(server.Port())) >= 0; }, 10s));
  printer.ClearLog();
  Bytes job = {0x1D, 0x2F, 0x00, 0x1C, 0x70, 0x01, 0x00, 'I', 0x0A};
  ASSERT_EQ(::send(again, job.data(), job.size(), MSG_NOSIGNAL), ssize_t(job.size()));
  ASSERT_TRUE(printer.WaitForOp("LineFeed", 10s));
  EXPECT_TRUE(printer.LogOf("PrintDownloadedImage")[0].malformed) << "the downloaded image survived";
  EXPECT_FALSE(printer.LogOf("PrintNvImage")[0].malformed) << "the NV image was lost";
  // Left justified again: the "I" sits at the left edge.
  Image page = printer.CurrentPage();
  EXPECT_GT(page.CountBlack(0, page.height - 30, 12, page.height), 0);
  ::close(again);
}

}  // namespace
}  // namespace zanth::sim

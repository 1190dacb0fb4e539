#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "FdIo.h"

namespace {

// A connected pair with small buffers: the reader decides how fast the writer gets on.
struct SlowPeer {
  SlowPeer() {
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    int size = 4096;
    setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
  }
  ~SlowPeer() {
    close(fds[0]);
    close(fds[1]);
  }
  int fds[2] = {-1, -1};
};

TEST(WriteWithin, PrinterDrainingSlowerThanTheLimitStillGetsTheWholeJob) {
  SlowPeer peer;
  const std::vector<BYTE> job(256 * 1024, 0x41);
  std::atomic<size_t> received{0};
  // Takes 8 KB every 50 ms: the job needs far longer than the 300 ms limit, but the
  // printer never stops taking bytes for that long.
  std::thread reader([&] {
    std::vector<char> chunk(8192);
    while (received < job.size()) {
      const ssize_t n = read(peer.fds[1], chunk.data(), chunk.size());
      if (n <= 0) break;
      received += static_cast<size_t>(n);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  int error = -1;
  const size_t written = Tesk::IO::WriteWithin(peer.fds[0], job.data(), job.size(), 300, nullptr, &error);
  reader.join();
  EXPECT_EQ(error, 0);
  EXPECT_EQ(written, job.size());
  EXPECT_EQ(received.load(), job.size());
}

TEST(WriteWithin, PrinterThatStopsTakingBytesTimesOut) {
  SlowPeer peer;
  const std::vector<BYTE> job(1024 * 1024, 0x41);
  int error = 0;
  const auto start = std::chrono::steady_clock::now();
  const size_t written = Tesk::IO::WriteWithin(peer.fds[0], job.data(), job.size(), 200, nullptr, &error);
  EXPECT_EQ(error, ETIMEDOUT);
  EXPECT_LT(written, job.size());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace

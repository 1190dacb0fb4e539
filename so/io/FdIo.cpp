#include "FdIo.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tesk::IO {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

WaitResult WaitUntil(int fd, short events, Clock::time_point deadline) {
  if (fd < 0) return WaitResult::kError;
  for (;;) {
    pollfd entry{fd, events, 0};
    int rc = poll(&entry, 1, MillisecondsLeft(deadline));
    if (rc > 0) return (entry.revents & POLLNVAL) ? WaitResult::kError : WaitResult::kReady;
    if (rc == 0) return WaitResult::kTimeout;
    if (errno != EINTR) return WaitResult::kError;
  }
}

ssize_t WriteToPipe(int fd, const void* data, std::size_t length) {
  sigset_t pipeOnly, previous, pending;
  sigemptyset(&pipeOnly);
  sigaddset(&pipeOnly, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
  sigpending(&pending);
  bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
  ssize_t n = write(fd, data, length);
  int err = errno;
  if (n < 0 && err == EPIPE && !alreadyPending) {
    // Take the SIGPIPE this write raised so it is not delivered once unblocked.
    timespec noWait{0, 0};
    while (sigtimedwait(&pipeOnly, nullptr, &noWait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = err;
  return n;
}

}  // namespace

WaitResult WaitFd(int fd, short events, DWORD limitMs) {
  return WaitUntil(fd, events, Clock::now() + std::chrono::milliseconds(limitMs));
}

ssize_t WriteNoSignal(int fd, const void* data, std::size_t length) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return -1;
  if (S_ISSOCK(info.st_mode)) return send(fd, data, length, MSG_NOSIGNAL);
  if (S_ISFIFO(info.st_mode)) return WriteToPipe(fd, data, length);
  return write(fd, data, length);
}

std::size_t WriteWithin(int fd, const BYTE* data, std::size_t length, DWORD limitMs,
                        const std::atomic<LONG>* cancel, int* error) {
  // The limit is for a device that stops taking bytes: a printer that drains a large
  // job at its own speed keeps the write alive.
  auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  std::size_t done = 0;
  *error = 0;
  while (done < length) {
    if (cancel && cancel->load() != 0) {
      *error = ECANCELED;
      break;
    }
    ssize_t n = WriteNoSignal(fd, data + done, length - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      deadline = Clock::now() + std::chrono::milliseconds(limitMs);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 && Clock::now() >= deadline) {  // a device that takes nothing: no spinning
      *error = ETIMEDOUT;
      break;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      *error = errno;
      break;
    }
    WaitResult waited = WaitUntil(fd, POLLOUT, deadline);
    if (waited == WaitResult::kTimeout) {
      *error = ETIMEDOUT;
      break;
    }
    if (waited == WaitResult::kError) {
      *error = EBADF;
      break;
    }
  }
  return done;
}

}  // namespace Tesk::IO

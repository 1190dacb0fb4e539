// Descriptor I/O with one deadline across EINTR, partial writes and repeated polls.
#pragma once

#include <atomic>
#include <cstddef>
#include <sys/types.h>

#include "platform/wintypes.h"

namespace Tesk::IO {

enum class WaitResult { kReady, kTimeout, kError };

// Waits up to limitMs for events (POLLIN/POLLOUT) on fd; EINTR does not restart
// the limit. kReady also when the descriptor reports hang-up or an error, so the
// following read or write sees the failure.
WaitResult WaitFd(int fd, short events, DWORD limitMs);

// One write system call that never raises SIGPIPE: sockets use MSG_NOSIGNAL; pipes
// and FIFOs block SIGPIPE for the calling thread only and consume a signal the write
// caused. Process-wide handlers are never touched. Returns write()'s result and errno.
ssize_t WriteNoSignal(int fd, const void* data, std::size_t length);

// Writes until all bytes are out, limitMs passes without progress, an error occurs or cancel
// becomes non-zero (checked before each system call). Returns the bytes written and
// sets *error to 0 when all went out, else to the errno that stopped it (ETIMEDOUT
// for the limit, ECANCELED for cancel).
std::size_t WriteWithin(int fd, const BYTE* data, std::size_t length, DWORD limitMs,
                        const std::atomic<LONG>* cancel, int* error);

}  // namespace Tesk::IO

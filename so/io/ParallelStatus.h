// The status lines of a parallel port, read with the lp driver's ioctl.
#pragma once

namespace Tesk::IO {

// True when fd answered LPGETSTATUS; *paperEmpty then holds the paper-out line.
// Devices without the ioctl (files, FIFOs) answer false with errno set.
bool QueryParallelStatus(int fd, bool* paperEmpty);

}  // namespace Tesk::IO

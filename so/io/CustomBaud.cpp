#include "CustomBaud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace Tesk::IO {

bool SetLineSpeed(int fd, std::uint32_t bitsPerSecond) {
  struct termios2 line {};
  if (ioctl(fd, TCGETS2, &line) != 0) return false;
  line.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  line.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  line.c_ispeed = bitsPerSecond;
  line.c_ospeed = bitsPerSecond;
  return ioctl(fd, TCSETS2, &line) == 0;
}

bool GetLineSpeed(int fd, std::uint32_t* bitsPerSecond) {
  struct termios2 line {};
  if (ioctl(fd, TCGETS2, &line) != 0) return false;
  *bitsPerSecond = line.c_ospeed;
  return true;
}

}  // namespace Tesk::IO

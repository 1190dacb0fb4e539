#include "ParallelStatus.h"

#include <linux/lp.h>
#include <sys/ioctl.h>

namespace Tesk::IO {

bool QueryParallelStatus(int fd, bool* paperEmpty) {
  int status = 0;
  if (ioctl(fd, LPGETSTATUS, &status) != 0) return false;
  *paperEmpty = (status & LP_POUTPA) != 0;
  return true;
}

}  // namespace Tesk::IO

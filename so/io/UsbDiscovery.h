// USB printers bound to the kernel's usblp driver, as sysfs lists them.
#pragma once

#include <string>
#include <vector>

namespace Tesk::IO {

struct UsbPrinterNode {
  std::wstring hardwareId;  // USB\VID_vvvv&PID_pppp, upper-case hex as Windows writes it
  std::wstring devicePath;  // the device node, /dev/usb/lpN
};

// Every <sysfs>/class/usbmisc/lpN whose USB device names its vendor and product, in
// the order of N. The roots are /sys and /dev unless OPOS_SYSFS_ROOT and OPOS_DEV_ROOT
// name others (tests build a fake tree). Entries that cannot be read are skipped.
std::vector<UsbPrinterNode> ListUsbPrinters();

}  // namespace Tesk::IO

// Windows device names to Linux paths.
#pragma once

#include <string>

namespace platform {

// A leading \\.\ is dropped. COMn and LPTn (any letter case) are looked up as the
// symbolic links dosdevices/comn and dosdevices/lptn in the folder of the registry
// file; without a link COMn is /dev/ttyS<n-1> and LPTn is /dev/lp<n-1>. A name that
// starts with '/' is a path and is used as it is; any other name is returned unchanged
// (a relative path). The result is UTF-8.
std::string MapDeviceName(const std::wstring& name);

}  // namespace platform

// Port lists through EnumPortsW level 2: size first, then the records.
#include "setup/PortList.h"

#include "platform/ports.h"
#include "platform/wtext.h"
#include "setup/SetupRegistry.h"

namespace zanth::setup {

PortList ListPorts(const std::wstring& kind) {
  PortList list;
  DWORD needed = 0;
  DWORD count = 0;
  if (EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count)) {
    list.message = L"no ports present !";
    return list;
  }
  std::vector<BYTE> buffer;
  DWORD error = GetLastError();
  // The ports may change between the two calls; ask again while the buffer is too small.
  for (int attempt = 0; attempt < 4 && error == static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER); ++attempt) {
    buffer.assign(needed, 0);
    if (EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &count)) {
      error = ERROR_SUCCESS;
      break;
    }
    error = GetLastError();
  }
  if (error != ERROR_SUCCESS) {
    list.message = SystemErrorText(static_cast<LONG>(error));
    return list;
  }
  const auto* ports = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
  const std::wstring wanted = platform::ToUpper(kind);
  for (DWORD i = 0; i < count; ++i) {
    std::wstring name = ports[i].pPortName ? ports[i].pPortName : L"";
    if (name.empty() || platform::ToUpper(name).find(wanted) == std::wstring::npos) continue;
    name.pop_back();  // the trailing colon
    list.ports.push_back(std::move(name));
  }
  if (list.ports.empty() && count == 0) list.message = L"no ports present !";
  return list;
}

}  // namespace zanth::setup

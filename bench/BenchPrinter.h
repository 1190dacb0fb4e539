// The set-up the end-to-end benchmarks share: a fresh registry file, the service object
// registered from the built library, and the printer entry "BenchPrinter" on TCP/IP.
#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "platform/registry.h"

namespace zanth::bench {

inline bool RegisterTcpBenchPrinter(std::uint16_t tcpPort, const char* folderName) {
  const std::string folder = std::filesystem::temp_directory_path() / folderName;
  std::filesystem::create_directories(folder);
  const std::string registry = folder + "/registry.reg";
  std::filesystem::remove(registry);
  setenv("OPOS_REGISTRY", registry.c_str(), 1);
  void* library = dlopen(ZANTH_SO_PATH, RTLD_NOW | RTLD_LOCAL);
  auto registerServer =
      library ? reinterpret_cast<HRESULT (*)()>(dlsym(library, "DllRegisterServer")) : nullptr;
  if (!registerServer || registerServer() != 0) return false;
  const std::wstring key = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\BenchPrinter";
  const std::pair<const wchar_t*, std::wstring> values[] = {
      {L"", L"ZanthOposPrinterU1.13"},
      {L"PortType", L"TCP/IP"},
      {L"DriverModel", L"TM-T88IV"},
      {L"DriverName", L"bench"},
      {L"PortSettings", L"127.0.0.1," + std::to_wstring(tcpPort)},
      {L"OutputBufSize", L"4096"},
      {L"BitMapMode", L"1"},
      {L"WriteTimeout", L"1000"},
      {L"ReadTimeout", L"1000"},
      {L"DeviceDescription", L"bench"},
      {L"Notes", L""},
  };
  for (const auto& [name, value] : values)
    platform::SetRegistryString(HKEY_LOCAL_MACHINE, key, name, value);
  return true;
}

}  // namespace zanth::bench

// A registry file of the test's own, named by OPOS_REGISTRY for the test's lifetime.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "platform/registry.h"

namespace zanth::test {

class TempRegistry {
 public:
  TempRegistry() {
    char pattern[] = "/tmp/zanth-test-XXXXXX";
    const char* dir = mkdtemp(pattern);
    folder_ = dir ? dir : "/tmp";
    path_ = folder_ + "/registry.reg";
    const char* previous = std::getenv("OPOS_REGISTRY");
    if (previous) previous_ = previous, hadPrevious_ = true;
    setenv("OPOS_REGISTRY", path_.c_str(), 1);
  }
  ~TempRegistry() {
    if (hadPrevious_) {
      setenv("OPOS_REGISTRY", previous_.c_str(), 1);
    } else {
      unsetenv("OPOS_REGISTRY");
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  TempRegistry(const TempRegistry&) = delete;
  TempRegistry& operator=(const TempRegistry&) = delete;

  const std::string& Path() const { return path_; }
  const std::string& Folder() const { return folder_; }

  // Writes a REG_SZ value under HKEY_LOCAL_MACHINE.
  static bool SetString(const std::wstring& key, const std::wstring& name,
                        const std::wstring& value) {
    return platform::SetRegistryString(HKEY_LOCAL_MACHINE, key, name, value) == ERROR_SUCCESS;
  }
  static bool SetDword(const std::wstring& key, const std::wstring& name, DWORD value) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS)
      return false;
    const LONG rc = RegSetValueExW(handle, name.c_str(), 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(handle);
    return rc == ERROR_SUCCESS;
  }
  static void DeleteValue(const std::wstring& key, const std::wstring& name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, &handle) ==
        ERROR_SUCCESS) {
      RegDeleteValueW(handle, name.c_str());
      RegCloseKey(handle);
    }
  }

 private:
  std::string folder_;
  std::string path_;
  std::string previous_;
  bool hadPrevious_ = false;
};

}  // namespace zanth::test

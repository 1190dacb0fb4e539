// register, unregister and sim, and the checks every command shares.
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Commands.h"
#include "platform/com.h"
#include "platform/registry.h"
#include "platform/wtext.h"
#include "setup/SetupRegistry.h"

namespace zanth::cli {

namespace {

namespace fs = std::filesystem;

// Programs and the library are found beside the running program when installed, and in
// the build tree otherwise.
fs::path ProgramFolder() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : self.parent_path();
}

std::string Installed(const char* relative, const char* buildPath) {
  std::error_code error;
  const fs::path candidate = ProgramFolder() / relative;
  if (fs::exists(candidate, error)) return fs::weakly_canonical(candidate, error).string();
  return buildPath;
}

const wchar_t kClassesRoot[] = L"SOFTWARE\\Classes";

// Every string value under the key whose text starts with prefix loses the prefix.
LONG StripPrefix(const std::wstring& path, const std::wstring& prefix) {
  for (const setup::StringValue& value : setup::ListStringValues(path)) {
    if (!value.data.starts_with(prefix)) continue;
    const setup::Outcome written = setup::WriteString(path, value.name, value.data.substr(prefix.size()));
    if (!written.ok()) return written.code;
  }
  for (const std::wstring& subkey : setup::ListSubkeys(path))
    if (const LONG rc = StripPrefix(path + L"\\" + subkey, prefix); rc != ERROR_SUCCESS) return rc;
  return ERROR_SUCCESS;
}

}  // namespace

int Fail(const std::string& text) {
  std::fprintf(stderr, "zanth: %s\n", text.c_str());
  return 1;
}

bool RegistryUsable() {
  HKEY key = nullptr;
  const LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_READ, &key);
  if (rc == ERROR_SUCCESS) {
    RegCloseKey(key);
    return true;
  }
  if (rc == ERROR_FILE_NOT_FOUND) return true;  // an empty registry
  const std::string why = platform::RegistryLastErrorText();
  Fail("cannot read the registry " + platform::RegistryFilePath() + ": " +
       (why.empty() ? "error " + std::to_string(rc) : why));
  return false;
}

std::string DefaultServerLibrary() { return Installed(ZANTH_SO_RELATIVE, ZANTH_SO_BUILD_PATH); }

int RegisterServer(const std::string& library, const std::string& root, bool unregister) {
  if (!unregister && !RegistryUsable()) return 1;
  const std::string chosen = library.empty() ? DefaultServerLibrary() : library;
  const HRESULT hr = platform::CallServerRegistration(chosen, unregister);
  if (FAILED(hr)) {
    const std::string registry = platform::RegistryLastErrorText();
    return Fail(platform::ComLastErrorText() + (registry.empty() ? "" : ": " + registry));
  }
  // Registered inside an installation image: record the paths the files will have once
  // the image is the system's root.
  if (!unregister && !root.empty()) {
    std::error_code error;
    std::string prefix = fs::weakly_canonical(root, error).string();
    while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
    if (prefix != "/") {
      const LONG rc = StripPrefix(kClassesRoot, platform::FromUtf8(prefix));
      if (rc != ERROR_SUCCESS)
        return Fail("cannot record the installed paths: " + platform::RegistryLastErrorText());
    }
  }
  std::error_code ignored;
  const std::string path = fs::weakly_canonical(chosen, ignored).string();
  std::printf("%s: %s in %s succeeded (registry %s)\n", unregister ? "unregistered" : "registered",
              unregister ? "DllUnregisterServer" : "DllRegisterServer", path.c_str(),
              platform::RegistryFilePath().c_str());
  // Not unloaded: the server may have left threads behind, and the process ends now.
  return 0;
}

int RunSimulator(const std::vector<std::string>& arguments) {
  const std::string program = Installed("zanth-sim", ZANTH_SIM_BUILD_PATH);
  std::vector<char*> argv;
  std::string name = "zanth-sim";
  argv.push_back(name.data());
  std::vector<std::string> copies = arguments;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::fflush(stdout);
  ::execv(program.c_str(), argv.data());
  return Fail("cannot run the virtual printer " + program + ": " + std::strerror(errno));
}

}  // namespace zanth::cli

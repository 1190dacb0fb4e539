// A stand-in in-process server whose registration entry points touch the registry,
// so that zanth-reg's register and unregister commands can be checked end to end.
#include <cstdlib>

#include "platform/registry.h"

namespace {
constexpr wchar_t kKey[] = L"CLSID\\{00000000-0000-0000-0000-0000000000FA}\\InprocServer32";
constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005);  // E_FAIL
}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {
  if (std::getenv("ZANTH_FAKE_SERVER_FAIL")) return kFail;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return kFail;
  const wchar_t model[] = L"Apartment";
  const LONG rc = RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model),
                                 sizeof(model));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? 0 : kFail;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
  return RegDeleteTreeW(HKEY_CLASSES_ROOT, L"CLSID\\{00000000-0000-0000-0000-0000000000FA}") == ERROR_SUCCESS
             ? 0
             : kFail;
}

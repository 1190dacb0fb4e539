// COM activation: ProgIDs and classes from the registry store, servers loaded by dlopen.
#include <dlfcn.h>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/com.h"
#include "platform/registry.h"

namespace {

// A plain buffer: a thread_local std::string would drag this file, and with it the
// registry, into every program that links the platform library.
thread_local char g_lastErrorText[512];

void SetLastErrorText(const std::string& text) {
  const size_t length = std::min(text.size(), sizeof g_lastErrorText - 1);
  text.copy(g_lastErrorText, length);
  g_lastErrorText[length] = '\0';
}

}  // namespace

std::string platform::ComLastErrorText() { return g_lastErrorText; }

namespace {

// The default (unnamed) REG_SZ value of HKEY_CLASSES_ROOT\path.
bool ReadClassesRootDefault(const std::wstring& path, std::wstring& text) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0;
  DWORD size = 0;
  bool ok = RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
            type == REG_SZ;
  if (ok) {
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    ok = RegQueryValueExW(key, nullptr, nullptr, &type,
                          reinterpret_cast<BYTE*>(buffer.data()), &bytes) == ERROR_SUCCESS &&
         type == REG_SZ;
    if (ok) text.assign(buffer.c_str());
  }
  RegCloseKey(key);
  return ok;
}

using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);

// Libraries stay loaded for the life of the process, as on Windows without
// CoFreeUnusedLibraries: objects and class factories may outlive any one caller.
std::mutex g_librariesMutex;
std::map<std::string, void*> g_libraries;

// Loads path (once) and finds the export named entryName in it.
HRESULT LoadServerEntry(const std::string& path, const char* entryName, void*& entry) {
  std::lock_guard<std::mutex> lock(g_librariesMutex);
  void*& handle = g_libraries[path];
  if (!handle) {
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* why = dlerror();
      SetLastErrorText("cannot load " + path + ": " + (why ? why : "unknown error"));
      g_libraries.erase(path);
      return CO_E_DLLNOTFOUND;
    }
  }
  entry = dlsym(handle, entryName);
  if (!entry) {
    SetLastErrorText(path + " has no " + entryName);
    return CO_E_ERRORINDLL;
  }
  return S_OK;
}

}  // namespace

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
  if (!progId || !clsid) return E_INVALIDARG;
  SetLastErrorText("");
  std::wstring text;
  if (*progId == L'\0' || !ReadClassesRootDefault(std::wstring(progId) + L"\\CLSID", text)) {
    SetLastErrorText("ProgID " + platform::ToUtf8(progId) + " is not registered");
    return CO_E_CLASSSTRING;
  }
  if (!platform::ParseGuid(text, *clsid)) {
    SetLastErrorText("ProgID " + platform::ToUtf8(progId) + " names a malformed CLSID");
    return CO_E_CLASSSTRING;
  }
  return S_OK;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void*, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  SetLastErrorText("");
  if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  std::wstring path;
  if (!ReadClassesRootDefault(L"CLSID\\" + platform::FormatGuid(clsid) + L"\\InprocServer32",
                              path) ||
      path.empty()) {
    SetLastErrorText("class " + platform::ToUtf8(platform::FormatGuid(clsid)) + " is not registered");
    return REGDB_E_CLASSNOTREG;
  }
  void* entry = nullptr;
  const HRESULT hr = LoadServerEntry(platform::ToUtf8(path), "DllGetClassObject", entry);
  if (FAILED(hr)) return hr;
  return reinterpret_cast<GetClassObjectFn>(entry)(clsid, riid, object);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(outer, riid, object);
  factory->Release();
  return hr;
}

namespace platform {

HRESULT CallServerRegistration(const std::string& library, bool unregister) {
  SetLastErrorText("");
  // The absolute path: the server records where it lives. A bare file name means the
  // file here, as for regsvr32, not a search of the library path.
  char resolved[PATH_MAX];
  const std::string path =
      ::realpath(library.c_str(), resolved) ? std::string(resolved) : library;
  const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  void* entry = nullptr;
  HRESULT hr = LoadServerEntry(path, entryName, entry);
  if (FAILED(hr)) return hr;
  using RegistrationFn = HRESULT (*)();
  hr = reinterpret_cast<RegistrationFn>(entry)();
  if (FAILED(hr)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    SetLastErrorText(std::string(entryName) + " in " + path + " failed: HRESULT " + code);
  }
  return hr;
}

}  // namespace platform

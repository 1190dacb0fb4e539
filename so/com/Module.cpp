#include "Module.h"

#include <dlfcn.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cwctype>

#include "SoIdentifiers.h"
#include "TeskOposPrinterSO.h"
#include "platform/registry.h"
#include "platform/wtext.h"

namespace so_module {
namespace {

std::atomic<LONG> g_lockCount{0};
// DllInstall(..., "user") switches this call and all later ones to per-user registration.
std::atomic<bool> g_perUser{false};

// OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
// OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST, as a full control declares.
constexpr unsigned kOleMisc = 0x1 | 0x10 | 0x80 | 0x100 | 0x20000;

class ClassFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // The factory lives as long as the module; its references only keep the module locked.
  ULONG AddRef() override {
    Lock();
    return 2;
  }
  ULONG Release() override {
    Unlock();
    return 1;
  }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    CTeskOposPrinterSO* instance = new (std::nothrow) CTeskOposPrinterSO();
    if (!instance) return E_OUTOFMEMORY;
    const HRESULT hr = instance->QueryInterface(riid, object);
    instance->Release();
    return hr;
  }
  HRESULT LockServer(BOOL lock) override {
    if (lock) Lock();
    else Unlock();
    return S_OK;
  }
};

ClassFactory g_factory;

struct Root {
  HKEY key;
  const wchar_t* classes;
};

Root ClassesRoot(bool perUser) {
  return perUser ? Root{HKEY_CURRENT_USER, L"Software\\Classes\\"}
                 : Root{HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\"};
}

// Creates root\path and sets its default value (when given) and one named value.
LONG WriteKey(const Root& root, const std::wstring& path, const wchar_t* defaultValue,
              const wchar_t* valueName = nullptr, const std::wstring& value = {}) {
  HKEY key = nullptr;
  const std::wstring full = root.classes + path;
  LONG error = RegCreateKeyExW(root.key, full.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_WRITE, nullptr, &key, nullptr);
  if (error != ERROR_SUCCESS) return error;
  auto set = [&](const wchar_t* name, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  };
  if (defaultValue) error = set(nullptr, defaultValue);
  if (error == ERROR_SUCCESS && valueName) error = set(valueName, value);
  RegCloseKey(key);
  return error;
}

LONG DeleteTree(const Root& root, const std::wstring& path) {
  const std::wstring full = root.classes + path;
  const LONG error = RegDeleteTreeW(root.key, full.c_str());
  return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}

HRESULT ToHresult(LONG error) {
  return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
}

std::wstring Folder(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'/');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

void Lock() { ++g_lockCount; }
void Unlock() { --g_lockCount; }
LONG LockCount() { return g_lockCount.load(); }

std::string ModulePath() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&DllGetClassObject), &info) || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  return realpath(info.dli_fname, resolved) ? std::string(resolved) : std::string(info.dli_fname);
}

HRESULT Register(bool perUser, const std::wstring& modulePath) {
  const Root root = ClassesRoot(perUser);
  const std::wstring clsid = platform::FormatGuid(CLSID_TeskOposPrinterSO);
  const std::wstring libid = platform::FormatGuid(LIBID_OPosPrinterSOLib);
  const std::wstring iid = platform::FormatGuid(IID_ITeskOposPrinterSO);
  const std::wstring progId = kSoProgId;
  const std::wstring independent = kSoVersionIndependentProgId;
  const std::wstring classKey = L"CLSID\\" + clsid;
  const std::wstring typeLibKey = L"TypeLib\\" + libid + L"\\1.0";
  const std::wstring interfaceKey = L"Interface\\" + iid;
  // Automation's proxy/stub for dual interfaces (PSOAInterface).
  const std::wstring proxyStub = L"{00020424-0000-0000-C000-000000000046}";

  LONG error = DeleteTree(root, classKey);  // the class key is recreated from scratch
  const auto step = [&](LONG result) {
    if (error == ERROR_SUCCESS) error = result;
  };
  // Type library, as registering it writes the keys.
  step(WriteKey(root, typeLibKey, L"OPosPrinterSOLib"));
  step(WriteKey(root, typeLibKey + L"\\409\\win32", modulePath.c_str()));
  step(WriteKey(root, typeLibKey + L"\\FLAGS", L"0"));
  step(WriteKey(root, typeLibKey + L"\\HELPDIR", Folder(modulePath).c_str()));
  step(WriteKey(root, interfaceKey, L"ITeskOposPrinterSO"));
  step(WriteKey(root, interfaceKey + L"\\ProxyStubClsid", proxyStub.c_str()));
  step(WriteKey(root, interfaceKey + L"\\ProxyStubClsid32", proxyStub.c_str()));
  step(WriteKey(root, interfaceKey + L"\\TypeLib", libid.c_str(), L"Version", L"1.0"));
  // The class's own keys.
  step(WriteKey(root, progId, L"ZanthOposPrinterSO Class"));
  step(WriteKey(root, progId + L"\\CLSID", clsid.c_str()));
  step(WriteKey(root, progId + L"\\Insertable", nullptr));
  step(WriteKey(root, independent, L"ZanthOposPrinterSO Class"));
  step(WriteKey(root, independent + L"\\CurVer", progId.c_str()));
  step(WriteKey(root, classKey, L"OposPrinterSO Class"));
  step(WriteKey(root, classKey + L"\\ProgID", progId.c_str()));
  step(WriteKey(root, classKey + L"\\VersionIndependentProgID", independent.c_str()));
  step(WriteKey(root, classKey + L"\\Programmable", nullptr));
  step(WriteKey(root, classKey + L"\\InprocServer32", modulePath.c_str(), L"ThreadingModel",
                L"Apartment"));
  step(WriteKey(root, classKey + L"\\Control", nullptr));
  step(WriteKey(root, classKey + L"\\Insertable", nullptr));
  step(WriteKey(root, classKey + L"\\ToolboxBitmap32", (modulePath + L", 106").c_str()));
  step(WriteKey(root, classKey + L"\\MiscStatus", L"0"));
  step(WriteKey(root, classKey + L"\\MiscStatus\\1", std::to_wstring(kOleMisc).c_str()));
  step(WriteKey(root, classKey + L"\\TypeLib", libid.c_str()));
  step(WriteKey(root, classKey + L"\\Version", L"1.0"));
  return ToHresult(error);
}

HRESULT Unregister(bool perUser) {
  const Root root = ClassesRoot(perUser);
  const std::wstring libid = platform::FormatGuid(LIBID_OPosPrinterSOLib);
  LONG error = ERROR_SUCCESS;
  const auto step = [&](LONG result) {
    if (error == ERROR_SUCCESS) error = result;
  };
  step(DeleteTree(root, kSoProgId));
  step(DeleteTree(root, kSoVersionIndependentProgId));
  step(DeleteTree(root, L"CLSID\\" + platform::FormatGuid(CLSID_TeskOposPrinterSO)));
  step(DeleteTree(root, L"Interface\\" + platform::FormatGuid(IID_ITeskOposPrinterSO)));
  step(DeleteTree(root, L"TypeLib\\" + libid));
  return ToHresult(error);
}

}  // namespace so_module

SO_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_TeskOposPrinterSO) return CLASS_E_CLASSNOTAVAILABLE;
  return so_module::g_factory.QueryInterface(riid, object);
}

SO_EXPORT HRESULT DllCanUnloadNow() { return so_module::LockCount() == 0 ? S_OK : S_FALSE; }

SO_EXPORT HRESULT DllRegisterServer() {
  const std::string path = so_module::ModulePath();
  if (path.empty()) return SELFREG_E_CLASS;
  return so_module::Register(so_module::g_perUser, platform::FromUtf8(path));
}

SO_EXPORT HRESULT DllUnregisterServer() { return so_module::Unregister(so_module::g_perUser); }

SO_EXPORT HRESULT DllInstall(BOOL install, LPCWSTR commandLine) {
  // "user" over five characters: the terminator counts, so "users" does not match.
  if (commandLine) {
    const wchar_t* user = L"user";
    bool same = true;
    for (int i = 0; i < 5 && same; ++i) {
      same = std::towlower(static_cast<wint_t>(commandLine[i])) == static_cast<wint_t>(user[i]);
      if (commandLine[i] == L'\0') break;
    }
    if (same) so_module::g_perUser = true;
  }
  if (!install) return DllUnregisterServer();
  const HRESULT hr = DllRegisterServer();
  if (FAILED(hr)) DllUnregisterServer();
  return hr;
}

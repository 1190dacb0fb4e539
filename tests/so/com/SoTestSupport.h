// Helpers for tests that drive the built service-object library through its exports.
#pragma once

#include <dlfcn.h>

#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "OposConstants.h"
#include "platform/com.h"
#include "platform/registry.h"
#include "support/TempRegistry.h"

namespace zanth::test {

// The library as a client finds it: loaded with dlopen, called through its exports.
class ServiceLibrary {
 public:
  using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
  using NoArgFn = HRESULT (*)();
  using InstallFn = HRESULT (*)(BOOL, LPCWSTR);

  ServiceLibrary() {
    const char* build = std::getenv("ZANTH_BUILD_DIR");
    path_ = std::string(build ? build : ".") + "/so/libZanthSO.so";
    handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) return;
    getClassObject = reinterpret_cast<GetClassObjectFn>(dlsym(handle_, "DllGetClassObject"));
    canUnloadNow = reinterpret_cast<NoArgFn>(dlsym(handle_, "DllCanUnloadNow"));
    registerServer = reinterpret_cast<NoArgFn>(dlsym(handle_, "DllRegisterServer"));
    unregisterServer = reinterpret_cast<NoArgFn>(dlsym(handle_, "DllUnregisterServer"));
    install = reinterpret_cast<InstallFn>(dlsym(handle_, "DllInstall"));
  }
  // Stays loaded: objects of earlier tests may still be released later in the process.
  ServiceLibrary(const ServiceLibrary&) = delete;
  ServiceLibrary& operator=(const ServiceLibrary&) = delete;

  bool Loaded() const { return handle_ && getClassObject && canUnloadNow && registerServer &&
                               unregisterServer && install; }
  const std::string& Path() const { return path_; }

  // A new service object through the class factory (nullptr on failure).
  IDispatch* Create() const {
    static const CLSID kClsid = {0x36D4C79D, 0x819F, 0x40E4,
                                 {0xA1, 0xA2, 0xA7, 0xBB, 0x9B, 0x9D, 0x78, 0xA2}};
    IClassFactory* factory = nullptr;
    if (FAILED(getClassObject(kClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
      return nullptr;
    }
    IDispatch* object = nullptr;
    factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
    factory->Release();
    return object;
  }

  GetClassObjectFn getClassObject = nullptr;
  NoArgFn canUnloadNow = nullptr;
  NoArgFn registerServer = nullptr;
  NoArgFn unregisterServer = nullptr;
  InstallFn install = nullptr;

 private:
  std::string path_;
  void* handle_ = nullptr;
};

inline const ServiceLibrary& Library() {
  static ServiceLibrary library;
  return library;
}

// Arguments first to last, as the method declares them; owns the strings.
struct Args {
  Args(std::initializer_list<VARIANT> list) : values(list) {}
  ~Args() {
    for (VARIANT& v : values) {
      if (v.vt == VT_BSTR) VariantClear(&v);
    }
  }
  Args(const Args&) = delete;
  Args& operator=(const Args&) = delete;
  std::vector<VARIANT> values;
};

// Invoke by DISPID the way the standard control objects do: the result in pVarResult.
inline HRESULT Call(IDispatch* object, DISPID id, const Args& args, VARIANT* result,
                    UINT* argError = nullptr) {
  std::vector<VARIANT> reversed(args.values.rbegin(), args.values.rend());
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                    static_cast<UINT>(reversed.size()), 0};
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                        nullptr, argError);
}

// The LONG result of a call (-999 when the call itself failed).
inline LONG CallLong(IDispatch* object, DISPID id, const Args& args) {
  platform::Variant result;
  if (FAILED(Call(object, id, args, result.Get())) || result->vt != VT_I4) return -999;
  return result->lVal;
}

inline LONG GetNumber(IDispatch* object, LONG index) {
  return CallLong(object, 7, {platform::MakeI4(index)});
}

inline std::wstring GetString(IDispatch* object, LONG index) {
  platform::Variant result;
  if (FAILED(Call(object, 9, {platform::MakeI4(index)}, result.Get())) ||
      result->vt != VT_BSTR) {
    return L"<failed>";
  }
  return platform::FromBstr(result->bstrVal);
}

inline LONG Open(IDispatch* object, const std::wstring& classKey, const std::wstring& device) {
  return CallLong(object, 11,
                  {platform::MakeBstr(classKey), platform::MakeBstr(device),
                   platform::MakeDispatch(nullptr)});
}

constexpr wchar_t kPrinterRoot[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\";
constexpr wchar_t kDrawerRoot[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\";

// A printer entry on the "FILE" port writing to outputFile (created empty).
inline void AddFilePrinter(const std::wstring& name, const std::string& outputFile,
                           const std::wstring& model = L"TM-T88IV") {
  std::ofstream(outputFile).close();
  const std::wstring key = kPrinterRoot + name;
  TempRegistry::SetString(key, L"", L"ZanthOposPrinterU1.13");
  TempRegistry::SetString(key, L"PortType", L"FILE");
  TempRegistry::SetString(key, L"DriverModel", model);
  TempRegistry::SetString(key, L"DriverName", L"Zanth");
  TempRegistry::SetString(key, L"PortSettings", platform::FromUtf8(outputFile));
  TempRegistry::SetString(key, L"OutputBufSize", L"4096");
  TempRegistry::SetString(key, L"BitMapMode", L"1");
  TempRegistry::SetString(key, L"WriteTimeout", L"1000");
  TempRegistry::SetString(key, L"ReadTimeout", L"1000");
  TempRegistry::SetString(key, L"DeviceDescription", L"Test printer");
  TempRegistry::SetString(key, L"Notes", L"");
}

inline void AddDrawer(const std::wstring& name, const std::wstring& printerName,
                      const std::wstring& capDrawStatus = L"1") {
  const std::wstring key = kDrawerRoot + name;
  TempRegistry::SetString(key, L"", L"ZanthOposPrinterU1.13");
  TempRegistry::SetString(key, L"OpenVoltage", L"1");
  TempRegistry::SetString(key, L"CapDrawStatus", capDrawStatus);
  TempRegistry::SetString(key, L"DrawerPin", L"0");
  TempRegistry::SetString(key, L"PrinterName", printerName);
  TempRegistry::SetString(key, L"SignalOffTime", L"100");
  TempRegistry::SetString(key, L"SignalOnTime", L"50");
  TempRegistry::SetString(key, L"WaitForDrawerCloseTimeOut", L"500");
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace zanth::test

// A service object for control-object tests: it answers the standard method names, logs
// every call with its argument types, and behaves as environment variables say:
// FAKE_SO_LOG (log file), FAKE_SO_VERSION, FAKE_SO_MISSING (a method name it lacks),
// FAKE_SO_OPEN_RC and FAKE_SO_OPEN_RESULT (a failing OpenService and its GetOpenResult).
#include <algorithm>
#include <atomic>
#include <initializer_list>
#include <vector>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/com.h"

namespace {

const wchar_t* const kNames[] = {
    L"COFreezeEvents", L"GetPropertyNumber", L"SetPropertyNumber", L"GetPropertyString",
    L"SetPropertyString", L"OpenService", L"CheckHealth", L"ClaimDevice", L"ClearOutput",
    L"CloseService", L"DirectIO", L"ReleaseDevice", L"BeginInsertion", L"BeginRemoval",
    L"CutPaper", L"EndInsertion", L"EndRemoval", L"PrintBarCode", L"PrintBitmap",
    L"PrintImmediate", L"PrintNormal", L"PrintTwoNormal", L"RotatePrint", L"SetBitmap",
    L"SetLogo", L"TransactionPrint", L"ValidateData", L"ChangePrintSide", L"MarkFeed",
    L"ResetStatistics", L"RetrieveStatistics", L"UpdateStatistics", L"CompareFirmwareVersion",
    L"UpdateFirmware", L"ClearPrintArea", L"PageModePrint", L"PrintMemoryBitmap",
    L"DrawRuledLine", L"OpenDrawer", L"WaitForDrawerClose", L"GetOpenResult",
    L"PrintLine", L"PrintCurveText",
};
constexpr DISPID kBase = 100;

LONG EnvNumber(const char* name, LONG fallback) {
  const char* value = std::getenv(name);
  return value ? static_cast<LONG>(std::atol(value)) : fallback;
}

std::string Describe(const VARIANT& v) {
  switch (v.vt) {
    case VT_I4: return "I4:" + std::to_string(v.lVal);
    case VT_BOOL: return "BOOL:" + std::to_string(v.boolVal);
    case VT_BSTR: return v.bstrVal ? "BSTR:" + platform::ToUtf8(platform::FromBstr(v.bstrVal))
                                   : "BSTR:null";
    case VT_DISPATCH: return v.pdispVal ? "DISPATCH" : "DISPATCH:null";
    case VT_BYREF | VT_I4: return "REF_I4:" + std::to_string(*v.plVal);
    case VT_BYREF | VT_BSTR: return "REF_BSTR:" + platform::ToUtf8(platform::FromBstr(*v.pbstrVal));
    default: return "VT:" + std::to_string(v.vt);
  }
}

class FakeSo final : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) {
      Log("Destroyed");
      if (receiver_) receiver_->Release();
      delete this;
    }
    return left;
  }
  HRESULT GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
    const char* missing = std::getenv("FAKE_SO_MISSING");
    const std::wstring name = names[0];
    if (missing && platform::FromUtf8(missing) == name) return DISP_E_UNKNOWNNAME;
    for (size_t i = 0; i < std::size(kNames); ++i) {
      if (name == kNames[i]) {
        ids[0] = kBase + static_cast<DISPID>(i);
        return S_OK;
      }
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO*, UINT*) override {
    const size_t index = static_cast<size_t>(id - kBase);
    if (index >= std::size(kNames)) return DISP_E_MEMBERNOTFOUND;
    const std::wstring name = kNames[index];
    std::string line = platform::ToUtf8(name) + " flags=" + std::to_string(flags);
    for (UINT i = 0; i < params->cArgs; ++i) line += " " + Describe(params->rgvarg[i]);
    line += result ? " result" : " noresult";
    Log(line);

    LONG value = 0;
    if (name == L"OpenService") {
      receiver_ = params->rgvarg[0].pdispVal;
      if (receiver_) receiver_->AddRef();
      value = EnvNumber("FAKE_SO_OPEN_RC", 0);
    } else if (name == L"GetOpenResult") {
      value = EnvNumber("FAKE_SO_OPEN_RESULT", 0);
    } else if (name == L"GetPropertyNumber") {
      value = params->rgvarg[0].lVal == 8 ? EnvNumber("FAKE_SO_VERSION", 1013001) : 6;
    } else if (name == L"GetPropertyString") {
      if (result) {
        VariantInit(result);
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocString(L"fake text");
      }
      return S_OK;
    } else if (name == L"DirectIO") {
      // In and out by reference: the control object's caller sees what is written here.
      *params->rgvarg[1].plVal += 1;
      const std::wstring text = platform::FromBstr(*params->rgvarg[0].pbstrVal) + L"!";
      SysReAllocString(params->rgvarg[0].pbstrVal, text.c_str());
      if (params->rgvarg[2].lVal == 999) FireEvents();
    }
    if (result) {
      VariantInit(result);
      result->vt = VT_I4;
      result->lVal = value;
    }
    return S_OK;
  }

 private:
  static void Log(const std::string& line) {
    const char* path = std::getenv("FAKE_SO_LOG");
    if (!path) return;
    if (FILE* file = std::fopen(path, "a")) {
      std::fprintf(file, "%s\n", line.c_str());
      std::fclose(file);
    }
  }

  // Calls the control object's event methods by name, as a service object does.
  void FireEvents() {
    if (!receiver_) return;
    auto call = [&](const wchar_t* method, std::initializer_list<VARIANT> args) {
      std::wstring name = method;
      LPOLESTR names[] = {name.data()};
      DISPID id = DISPID_UNKNOWN;
      if (FAILED(receiver_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id))) {
        Log("event " + platform::ToUtf8(name) + " unknown");
        return;
      }
      std::vector<VARIANT> reversed(args.begin(), args.end());
      std::reverse(reversed.begin(), reversed.end());
      DISPPARAMS p{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
      const HRESULT hr = receiver_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                           &p, nullptr, nullptr, nullptr);
      Log("event " + platform::ToUtf8(name) + " hr=" + std::to_string(hr));
    };
    call(L"SOStatusUpdate", {platform::MakeI4(1234)});
    call(L"SOOutputComplete", {platform::MakeI4(77)});
    LONG response = 11;
    call(L"SOError", {platform::MakeI4(114), platform::MakeI4(203), platform::MakeI4(1),
                      platform::MakeI4Ref(&response)});
    Log("response " + std::to_string(response));
    LONG data = 5;
    BSTR text = SysAllocString(L"io");
    call(L"SODirectIO", {platform::MakeI4(3), platform::MakeI4Ref(&data), platform::MakeBstrRef(&text)});
    Log("directio " + std::to_string(data) + " " + platform::ToUtf8(platform::FromBstr(text)));
    SysFreeString(text);
  }

  std::atomic<ULONG> refs_{1};
  IDispatch* receiver_ = nullptr;
};

class Factory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown*, REFIID riid, void** object) override {
    FakeSo* so = new FakeSo();
    const HRESULT hr = so->QueryInterface(riid, object);
    so->Release();
    return hr;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID, REFIID riid,
                                                                           void** object) {
  return g_factory.QueryInterface(riid, object);
}

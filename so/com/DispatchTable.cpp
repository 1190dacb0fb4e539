#include "DispatchTable.h"

#include <algorithm>
#include <array>

#include "platform/wtext.h"

namespace so_dispatch {
namespace {

using enum Arg;

constexpr Arg kNone[] = {Long};  // placeholder storage; spans of it are taken empty
constexpr Arg kL[] = {Long};
constexpr Arg kB[] = {Bool};
constexpr Arg kS[] = {String};
constexpr Arg kSRef[] = {StringRef};
constexpr Arg kLL[] = {Long, Long};
constexpr Arg kLS[] = {Long, String};
constexpr Arg kSLRef[] = {String, LongRef};
constexpr Arg kLSS[] = {Long, String, String};
constexpr Arg kSSD[] = {String, String, Dispatch};
constexpr Arg kDirectIO[] = {Long, LongRef, StringRef};
constexpr Arg kLLLL[] = {Long, Long, Long, Long};
constexpr Arg kLSLL[] = {Long, String, Long, Long};
constexpr Arg kLLLS[] = {Long, Long, Long, String};
constexpr Arg kLLSLL[] = {Long, Long, String, Long, Long};
constexpr Arg kLSLLL[] = {Long, String, Long, Long, Long};
constexpr Arg kLSLLLL[] = {Long, String, Long, Long, Long, Long};
constexpr Arg kBarCode[] = {Long, String, Long, Long, Long, Long, Long};

constexpr std::span<const Arg> kNoArgs(kNone, 0);

// DISPIDs are those of the type library; the control objects look them up by name.
const Method kMethods[] = {
    {6, L"COFreezeEvents", kB, Out::Long},
    {7, L"GetPropertyNumber", kL, Out::Long},
    {8, L"SetPropertyNumber", kLL, Out::Long},
    {9, L"GetPropertyString", kL, Out::String},
    {10, L"SetPropertyString", kLS, Out::Long},
    {11, L"OpenService", kSSD, Out::Long},
    {12, L"CheckHealth", kL, Out::Long},
    {13, L"ClaimDevice", kL, Out::Long},
    {14, L"ClearOutput", kNoArgs, Out::Long},
    {15, L"CloseService", kNoArgs, Out::Long},
    {16, L"DirectIO", kDirectIO, Out::Long},
    {17, L"ReleaseDevice", kNoArgs, Out::Long},
    {18, L"BeginRemoval", kL, Out::Long},
    {19, L"CutPaper", kL, Out::Long},
    {20, L"EndInsertion", kNoArgs, Out::Long},
    {21, L"EndRemoval", kNoArgs, Out::Long},
    {22, L"PrintBarCode", kBarCode, Out::Long},
    {23, L"PrintBitmap", kLSLL, Out::Long},
    {24, L"PrintImmediate", kLS, Out::Long},
    {25, L"PrintNormal", kLS, Out::Long},
    {26, L"PrintTwoNormal", kLSS, Out::Long},
    {27, L"RotatePrint", kLL, Out::Long},
    {28, L"SetBitmap", kLLSLL, Out::Long},
    {29, L"SetLogo", kLS, Out::Long},
    {30, L"TransactionPrint", kLL, Out::Long},
    {31, L"ValidateData", kLS, Out::Long},
    {32, L"ChangePrintSide", kL, Out::Long},
    {33, L"MarkFeed", kL, Out::Long},
    {34, L"ResetStatistics", kS, Out::Long},
    {35, L"RetrieveStatistics", kSRef, Out::Long},
    {36, L"UpdateStatistics", kS, Out::Long},
    {37, L"CompareFirmwareVersion", kSLRef, Out::Long},
    {38, L"UpdateFirmware", kS, Out::Long},
    {39, L"ClearPrintArea", kNoArgs, Out::Long},
    {40, L"PageModePrint", kL, Out::Long},
    {41, L"PrintMemoryBitmap", kLSLLL, Out::Long},
    {42, L"DrawRuledLine", kLSLLLL, Out::Long},
    {43, L"BeginInsertion", kL, Out::Long},
    {44, L"GetOpenResult", kNoArgs, Out::Long},
    {120, L"OpenDrawer", kNoArgs, Out::Long},
    {121, L"WaitForDrawerClose", kLLLL, Out::Long},
    {603, L"PrintLine", kLS, Out::Long},
    {604, L"PrintCurveText", kLLLS, Out::Long},
};
static_assert(std::size(kMethods) == 43);

// One decoded argument; owns what decoding had to allocate.
struct Value {
  LONG number = 0;
  BSTR text = nullptr;
  bool ownsText = false;
  IDispatch* dispatch = nullptr;
  bool ownsDispatch = false;
  LONG* numberRef = nullptr;
  BSTR* textRef = nullptr;

  Value() = default;
  Value(const Value&) = delete;
  Value& operator=(const Value&) = delete;
  ~Value() {
    if (ownsText) SysFreeString(text);
    if (ownsDispatch && dispatch) dispatch->Release();
  }
};

HRESULT Decode(Arg kind, VARIANT& v, Value& out) {
  const VARTYPE base = static_cast<VARTYPE>(v.vt & ~VT_BYREF);
  const bool byRef = (v.vt & VT_BYREF) != 0;
  if (byRef && !v.byref) return DISP_E_TYPEMISMATCH;
  switch (kind) {
    case Long:
    case Bool:
    case LongRef: {
      if (kind == LongRef && v.vt == (VT_BYREF | VT_I4)) {
        out.numberRef = v.plVal;
        return S_OK;
      }
      VARIANT converted;
      VariantInit(&converted);
      const HRESULT hr = VariantChangeType(&converted, &v, 0, kind == Bool ? VT_BOOL : VT_I4);
      if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
      out.number = kind == Bool ? converted.boolVal : converted.lVal;
      out.numberRef = &out.number;
      return S_OK;
    }
    case String:
    case StringRef: {
      if (base == VT_BSTR) {
        BSTR* where = byRef ? v.pbstrVal : &v.bstrVal;
        if (kind == StringRef && byRef) {
          out.textRef = where;
        } else if (kind == StringRef) {
          // A by-value string for an in/out argument: the callee works on a copy.
          out.text = SysAllocStringLen(*where, SysStringLen(*where));
          out.ownsText = true;
          out.textRef = &out.text;
        } else {
          out.text = *where;
        }
        return S_OK;
      }
      VARIANT converted;
      VariantInit(&converted);
      if (FAILED(VariantChangeType(&converted, &v, 0, VT_BSTR))) return DISP_E_TYPEMISMATCH;
      out.text = converted.bstrVal;
      out.ownsText = true;
      out.textRef = &out.text;
      return S_OK;
    }
    case Dispatch: {
      if (base == VT_EMPTY || base == VT_NULL) return S_OK;
      if (base == VT_DISPATCH) {
        out.dispatch = byRef ? *v.ppdispVal : v.pdispVal;
        return S_OK;
      }
      if (base == VT_UNKNOWN) {
        IUnknown* unknown = byRef ? *v.ppunkVal : v.punkVal;
        if (!unknown) return S_OK;
        if (FAILED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&out.dispatch)))) {
          return DISP_E_TYPEMISMATCH;
        }
        out.ownsDispatch = true;
        return S_OK;
      }
      return DISP_E_TYPEMISMATCH;
    }
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT Call(ITeskOposPrinterSO* t, DISPID id, Value* a, LONG* rc, BSTR* text) {
  auto L = [&](int i) { return *a[i].numberRef; };
  auto S = [&](int i) { return a[i].textRef ? *a[i].textRef : a[i].text; };
  switch (id) {
    case 6: return t->COFreezeEvents(static_cast<VARIANT_BOOL>(L(0)), rc);
    case 7: return t->GetPropertyNumber(L(0), rc);
    case 8: return t->SetPropertyNumber(L(0), L(1), rc);
    case 9: return t->GetPropertyString(L(0), text);
    case 10: return t->SetPropertyString(L(0), S(1), rc);
    case 11: return t->OpenService(S(0), S(1), a[2].dispatch, rc);
    case 12: return t->CheckHealth(L(0), rc);
    case 13: return t->ClaimDevice(L(0), rc);
    case 14: return t->ClearOutput(rc);
    case 15: return t->CloseService(rc);
    case 16: return t->DirectIO(L(0), a[1].numberRef, a[2].textRef, rc);
    case 17: return t->ReleaseDevice(rc);
    case 18: return t->BeginRemoval(L(0), rc);
    case 19: return t->CutPaper(L(0), rc);
    case 20: return t->EndInsertion(rc);
    case 21: return t->EndRemoval(rc);
    case 22: return t->PrintBarCode(L(0), S(1), L(2), L(3), L(4), L(5), L(6), rc);
    case 23: return t->PrintBitmap(L(0), S(1), L(2), L(3), rc);
    case 24: return t->PrintImmediate(L(0), S(1), rc);
    case 25: return t->PrintNormal(L(0), S(1), rc);
    case 26: return t->PrintTwoNormal(L(0), S(1), S(2), rc);
    case 27: return t->RotatePrint(L(0), L(1), rc);
    case 28: return t->SetBitmap(L(0), L(1), S(2), L(3), L(4), rc);
    case 29: return t->SetLogo(L(0), S(1), rc);
    case 30: return t->TransactionPrint(L(0), L(1), rc);
    case 31: return t->ValidateData(L(0), S(1), rc);
    case 32: return t->ChangePrintSide(L(0), rc);
    case 33: return t->MarkFeed(L(0), rc);
    case 34: return t->ResetStatistics(S(0), rc);
    case 35: return t->RetrieveStatistics(a[0].textRef, rc);
    case 36: return t->UpdateStatistics(S(0), rc);
    case 37: return t->CompareFirmwareVersion(S(0), a[1].numberRef, rc);
    case 38: return t->UpdateFirmware(S(0), rc);
    case 39: return t->ClearPrintArea(rc);
    case 40: return t->PageModePrint(L(0), rc);
    case 41: return t->PrintMemoryBitmap(L(0), S(1), L(2), L(3), L(4), rc);
    case 42: return t->DrawRuledLine(L(0), S(1), L(2), L(3), L(4), L(5), rc);
    case 43: return t->BeginInsertion(L(0), rc);
    case 44: return t->GetOpenResult(rc);
    case 120: return t->OpenDrawer(rc);
    case 121: return t->WaitForDrawerClose(L(0), L(1), L(2), L(3), rc);
    case 603: return t->PrintLine(L(0), S(1), rc);
    case 604: return t->PrintCurveText(L(0), L(1), L(2), S(3), rc);
    default: return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace

std::span<const Method> Methods() { return kMethods; }

const Method* FindMethod(DISPID id) {
  for (const Method& m : kMethods) {
    if (m.id == id) return &m;
  }
  return nullptr;
}

const Method* FindMethod(std::wstring_view name) {
  for (const Method& m : kMethods) {
    if (platform::EqualsNoCase(m.name, name)) return &m;
  }
  return nullptr;
}

HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, DISPID* dispids) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (count == 0) return S_OK;
  if (!names || !dispids) return E_INVALIDARG;
  const Method* method = names[0] ? FindMethod(std::wstring_view(names[0])) : nullptr;
  dispids[0] = method ? method->id : DISPID_UNKNOWN;
  for (UINT i = 1; i < count; ++i) dispids[i] = DISPID_UNKNOWN;
  return method && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT Invoke(ITeskOposPrinterSO* target, DISPID member, REFIID riid, WORD flags,
               DISPPARAMS* params, VARIANT* result, UINT* argError) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  const Method* method = FindMethod(member);
  if (!method) return DISP_E_MEMBERNOTFOUND;
  // Scripting hosts call methods with DISPATCH_METHOD | DISPATCH_PROPERTYGET.
  if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  if (!params) return E_INVALIDARG;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  const UINT declared = static_cast<UINT>(method->args.size());
  if (params->cArgs != declared && params->cArgs != declared + 1) return DISP_E_BADPARAMCOUNT;
  if (params->cArgs > 0 && !params->rgvarg) return E_INVALIDARG;

  std::array<Value, 8> values;
  for (UINT i = 0; i < declared; ++i) {
    const UINT slot = params->cArgs - 1 - i;
    if (FAILED(Decode(method->args[i], params->rgvarg[slot], values[i]))) {
      if (argError) *argError = slot;
      return DISP_E_TYPEMISMATCH;
    }
  }

  // The final out-argument passed by reference sits in rgvarg[0].
  LONG* outNumber = nullptr;
  BSTR* outText = nullptr;
  if (params->cArgs == declared + 1) {
    VARIANT& out = params->rgvarg[0];
    const VARTYPE wanted = VT_BYREF | (method->out == Out::Long ? VT_I4 : VT_BSTR);
    if (out.vt != wanted || !out.byref) {
      if (argError) *argError = 0;
      return DISP_E_TYPEMISMATCH;
    }
    if (method->out == Out::Long) {
      outNumber = out.plVal;
    } else {
      outText = out.pbstrVal;
    }
  }

  LONG number = 0;
  BSTR text = nullptr;
  const HRESULT hr = Call(target, member, values.data(), &number, &text);
  if (FAILED(hr)) {
    SysFreeString(text);
    return hr;
  }
  if (method->out == Out::Long) {
    if (outNumber) *outNumber = number;
    if (result) {
      VariantInit(result);
      result->vt = VT_I4;
      result->lVal = number;
    }
  } else {
    if (result) {
      VariantInit(result);
      result->vt = VT_BSTR;
      result->bstrVal = outText ? SysAllocStringLen(text, SysStringLen(text)) : text;
    }
    if (outText) {
      // An out-string slot the caller reused still holds its old string: free it.
      SysFreeString(*outText);
      *outText = text;
    } else if (!result) {
      SysFreeString(text);
    }
  }
  return S_OK;
}

}  // namespace so_dispatch

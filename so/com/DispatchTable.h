// The names, fixed DISPIDs and argument shapes of ITeskOposPrinterSO, and the late-bound
// call path that decodes DISPPARAMS onto the interface's methods.
#pragma once

#include <span>
#include <string_view>

#include "ITeskOposPrinterSO.h"

namespace so_dispatch {

// How one declared argument travels in DISPPARAMS.
enum class Arg {
  Long,     // VT_I4 or anything that coerces to it
  Bool,     // VARIANT_BOOL; integers coerce (non-zero is true)
  String,   // VT_BSTR (null is the empty string), by value or by reference
  Dispatch, // VT_DISPATCH, VT_UNKNOWN answering IDispatch, or empty
  LongRef,  // in/out: VT_BYREF|VT_I4 (a by-value number is read and its result dropped)
  StringRef // in/out: VT_BYREF|VT_BSTR (likewise)
};

// The final out-argument: the OPOS result, or the value of a Get method.
enum class Out { Long, String };

struct Method {
  DISPID id;
  const wchar_t* name;
  std::span<const Arg> args;  // declared order, final out-argument excluded
  Out out;
};

std::span<const Method> Methods();
const Method* FindMethod(DISPID id);
// Case-insensitive, as OLE Automation names are.
const Method* FindMethod(std::wstring_view name);

// IDispatch::GetIDsOfNames over the table: only the method name (first entry) is
// known; argument names are not, they get DISPID_UNKNOWN and DISP_E_UNKNOWNNAME.
HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, DISPID* dispids);

// IDispatch::Invoke onto target. The final out-argument is either left out (its value
// comes back in result) or passed last as VT_BYREF|VT_I4 / VT_BYREF|VT_BSTR (it is
// written there, and into result as well). Errors: DISP_E_MEMBERNOTFOUND,
// DISP_E_BADPARAMCOUNT, DISP_E_TYPEMISMATCH (argError names the rgvarg index),
// DISP_E_NONAMEDARGS, DISP_E_UNKNOWNINTERFACE, E_INVALIDARG.
HRESULT Invoke(ITeskOposPrinterSO* target, DISPID member, REFIID riid, WORD flags,
               DISPPARAMS* params, VARIANT* result, UINT* argError);

}  // namespace so_dispatch

// A minimal COM and OLE Automation with the Windows binary layout.
//
// Interfaces are classes of pure virtual functions in their documented order and have
// no virtual destructor, so a client written only from the COM rules can drive a
// library through dlopen. GUID, VARIANT and DISPPARAMS have the 32-bit Windows field
// order (VARIANT: vt, three reserved words, an 8-byte union). There are no apartments:
// an object is called from the thread that uses it, activation reads the registry store
// (registry.h) and loads in-process servers with dlopen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/wintypes.h"
#include "platform/wtext.h"

using SCODE = LONG;
using DISPID = LONG;
using LCID = DWORD;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using LONGLONG = std::int64_t;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using OLECHAR = wchar_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// HRESULTs keep their Windows bit patterns.
constexpr HRESULT MakeHresult(std::uint32_t bits) { return static_cast<HRESULT>(bits); }
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeHresult(0x80004001u);
constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002u);
constexpr HRESULT E_POINTER = MakeHresult(0x80004003u);
constexpr HRESULT E_FAIL = MakeHresult(0x80004005u);
constexpr HRESULT E_UNEXPECTED = MakeHresult(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = MakeHresult(0x80070057u);
constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHresult(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHresult(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHresult(0x80040154u);
constexpr HRESULT CO_E_CLASSSTRING = MakeHresult(0x800401F3u);
constexpr HRESULT CO_E_DLLNOTFOUND = MakeHresult(0x800401F8u);
constexpr HRESULT CO_E_ERRORINDLL = MakeHresult(0x800401F9u);
constexpr HRESULT SELFREG_E_CLASS = MakeHresult(0x80040201u);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = MakeHresult(0x80020001u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHresult(0x80020003u);
constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeHresult(0x80020004u);
constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHresult(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHresult(0x80020006u);
constexpr HRESULT DISP_E_NONAMEDARGS = MakeHresult(0x80020007u);
constexpr HRESULT DISP_E_BADVARTYPE = MakeHresult(0x80020008u);
constexpr HRESULT DISP_E_EXCEPTION = MakeHresult(0x80020009u);
constexpr HRESULT DISP_E_OVERFLOW = MakeHresult(0x8002000Au);
constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHresult(0x8002000Eu);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
// Win32 error code as HRESULT (FACILITY_WIN32).
constexpr HRESULT HRESULT_FROM_WIN32(LONG error) {
  return error <= 0 ? error
                    : MakeHresult((static_cast<std::uint32_t>(error) & 0xFFFFu) | 0x80070000u);
}

constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER |
                             CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

bool operator==(const GUID& a, const GUID& b);
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }

extern const IID IID_NULL;
extern const IID IID_IUnknown;       // {00000000-0000-0000-C000-000000000046}
extern const IID IID_IClassFactory;  // {00000001-0000-0000-C000-000000000046}
extern const IID IID_IDispatch;      // {00020400-0000-0000-C000-000000000046}

class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
};

class IClassFactory : public IUnknown {
 public:
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;
};

// Type information is never provided on this platform (no type library files).
class ITypeInfo;

// VARIANT types used by OLE Automation callers.
enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_BYREF = 0x4000,
};

class IDispatch;

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    BYTE* pbVal;
    SHORT* piVal;
    LONG* plVal;
    double* pdblVal;
    VARIANT_BOOL* pboolVal;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    VARIANT* pvarVal;
    void* byref;
    char cVal;
    USHORT uiVal;
    ULONG ulVal;
    std::uint64_t ullVal;
    std::int32_t intVal;
    std::uint32_t uintVal;
  };
};
static_assert(sizeof(VARIANT) == 16 && offsetof(VARIANT, lVal) == 8);
using VARIANTARG = VARIANT;

// Arguments in reverse order: rgvarg[0] is the last parameter.
struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};

constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;
constexpr DISPID DISPID_UNKNOWN = -1;

class IDispatch : public IUnknown {
 public:
  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                DISPID* dispids) = 0;
  virtual HRESULT Invoke(DISPID member, REFIID riid, LCID locale, WORD flags,
                         DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                         UINT* argError) = 0;
};

// VARIANT handling with the OLE Automation rules: clearing frees a BSTR and releases an
// interface it owns; by-reference variants own nothing.
void VariantInit(VARIANTARG* variant);
HRESULT VariantClear(VARIANTARG* variant);
// Clears dest, then copies src (a BSTR is duplicated, an interface gets a reference).
HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src);
// Supports targets VT_I4, VT_BOOL and VT_BSTR from the integer types, VT_BOOL, VT_EMPTY,
// VT_BSTR (decimal text) and one level of VT_BYREF; anything else gives
// DISP_E_TYPEMISMATCH, an integer out of the LONG range DISP_E_OVERFLOW. dest may be src.
HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, WORD flags, VARTYPE vt);

// GUID text in the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);  // CO_E_CLASSSTRING when malformed
int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int capacity);  // chars with NUL, 0 if small

// No apartments on this platform; these only count for symmetry with Windows code.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

// Activation through the registry: HKEY_CLASSES_ROOT\<ProgID>\CLSID and
// HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32 (the shared library's path). Only
// in-process servers exist. Errors: CO_E_CLASSSTRING (unknown ProgID), REGDB_E_CLASSNOTREG
// (no such class), CO_E_DLLNOTFOUND (library missing or not loadable), CO_E_ERRORINDLL (no
// DllGetClassObject export), or what the library returns. Libraries stay loaded.
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* serverInfo, REFIID riid,
                         void** object);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object);

namespace platform {

// Parses the braced GUID form (case-insensitive hex); false for anything else.
bool ParseGuid(std::wstring_view text, GUID& guid);
// Upper-case braced form, as the registry keeps CLSIDs.
std::wstring FormatGuid(const GUID& guid);

// Text of the last activation failure on this thread (dlopen's message and so on).
std::string ComLastErrorText();

// regsvr32's job: loads the in-process server library (by its absolute path, so it
// records where it lives; it stays loaded, as activation keeps libraries) and calls its
// DllRegisterServer, or DllUnregisterServer. CO_E_DLLNOTFOUND, CO_E_ERRORINDLL or the
// entry's own HRESULT; ComLastErrorText() says why.
HRESULT CallServerRegistration(const std::string& library, bool unregister = false);

// Holds one reference to an interface.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr& other) : ptr_(other.ptr_) {
    if (ptr_) ptr_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : ptr_(other.ptr_) { other.ptr_ = nullptr; }
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(ptr_, other.ptr_);
    return *this;
  }
  // Takes a pointer that already carries the reference.
  static ComPtr Adopt(T* ptr) {
    ComPtr result;
    result.ptr_ = ptr;
    return result;
  }
  void Reset() {
    if (ptr_) {
      T* old = ptr_;
      ptr_ = nullptr;
      old->Release();
    }
  }
  T* Get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  // For out-parameters: releases the current pointer first.
  T** Put() {
    Reset();
    return &ptr_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

 private:
  T* ptr_ = nullptr;
};

// Owns one BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::wstring_view text)
      : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(text_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& other) noexcept : text_(other.text_) { other.text_ = nullptr; }
  Bstr& operator=(Bstr&& other) noexcept {
    std::swap(text_, other.text_);
    return *this;
  }
  BSTR Get() const { return text_; }
  BSTR* Put() {
    SysFreeString(text_);
    text_ = nullptr;
    return &text_;
  }
  BSTR Detach() {
    BSTR text = text_;
    text_ = nullptr;
    return text;
  }
  std::wstring Str() const { return FromBstr(text_); }

 private:
  BSTR text_ = nullptr;
};

// Owns one VARIANT (cleared on destruction).
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  ~Variant() { VariantClear(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* Get() { return &v_; }
  const VARIANT* Get() const { return &v_; }
  VARIANT* operator->() { return &v_; }

 private:
  VARIANT v_;
};

// VARIANT builders for argument arrays (the caller clears them).
VARIANT MakeI4(LONG value);
VARIANT MakeBool(bool value);
VARIANT MakeBstr(std::wstring_view text);  // a new BSTR
VARIANT MakeDispatch(IDispatch* dispatch);  // no reference added
VARIANT MakeI4Ref(LONG* value);
VARIANT MakeBstrRef(BSTR* value);

}  // namespace platform

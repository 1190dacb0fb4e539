// COM and OLE Automation stand-ins: GUIDs, VARIANTs and activation through the registry.
#include "platform/com.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

namespace {

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

bool IsIntegerType(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT:
    case VT_BOOL: case VT_EMPTY:
      return true;
    default:
      return false;
  }
}

// The value of an integer variant (by value or one level by reference) as 64 bits.
bool ReadInteger(const VARIANT& v, LONGLONG& out, bool& unsignedOverflow) {
  unsignedOverflow = false;
  const bool byRef = (v.vt & VT_BYREF) != 0;
  const VARTYPE base = static_cast<VARTYPE>(v.vt & ~VT_BYREF);
  if (byRef && !v.byref) return false;
  switch (base) {
    case VT_EMPTY: if (byRef) return false; out = 0; return true;
    case VT_I1: out = byRef ? *static_cast<const signed char*>(v.byref) : static_cast<signed char>(v.cVal); return true;
    case VT_UI1: out = byRef ? *v.pbVal : v.bVal; return true;
    case VT_I2: out = byRef ? *v.piVal : v.iVal; return true;
    case VT_UI2: out = byRef ? *static_cast<const USHORT*>(v.byref) : v.uiVal; return true;
    case VT_BOOL: out = byRef ? *v.pboolVal : v.boolVal; return true;
    case VT_I4: case VT_INT: out = byRef ? *v.plVal : v.lVal; return true;
    case VT_UI4: case VT_UINT: out = byRef ? *static_cast<const ULONG*>(v.byref) : v.ulVal; return true;
    case VT_I8: out = byRef ? *static_cast<const LONGLONG*>(v.byref) : v.llVal; return true;
    case VT_UI8: {
      const std::uint64_t u = byRef ? *static_cast<const std::uint64_t*>(v.byref) : v.ullVal;
      if (u > static_cast<std::uint64_t>(LLONG_MAX)) unsignedOverflow = true;
      out = static_cast<LONGLONG>(u);
      return true;
    }
    default:
      return false;
  }
}

// Decimal text as OLE Automation converts it to a number (surrounding blanks allowed).
bool ParseDecimal(const std::wstring& text, LONGLONG& out) {
  const wchar_t* begin = text.c_str();
  wchar_t* end = nullptr;
  errno = 0;
  const long long value = std::wcstoll(begin, &end, 10);
  if (end == begin || errno == ERANGE) return false;
  while (*end == L' ' || *end == L'\t') ++end;
  if (*end != L'\0') return false;
  out = value;
  return true;
}

}  // namespace

void VariantInit(VARIANTARG* variant) {
  if (!variant) return;
  std::memset(variant, 0, sizeof(VARIANT));
  variant->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* variant) {
  if (!variant) return E_INVALIDARG;
  if (!(variant->vt & VT_BYREF)) {
    switch (variant->vt) {
      case VT_BSTR: SysFreeString(variant->bstrVal); break;
      case VT_DISPATCH: if (variant->pdispVal) variant->pdispVal->Release(); break;
      case VT_UNKNOWN: if (variant->punkVal) variant->punkVal->Release(); break;
      default: break;
    }
  }
  VariantInit(variant);
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (dest == src) return S_OK;
  VARIANT copy = *src;
  if (src->vt == VT_BSTR && src->bstrVal) {
    copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
    if (!copy.bstrVal) return E_OUTOFMEMORY;
  } else if (src->vt == VT_DISPATCH && src->pdispVal) {
    src->pdispVal->AddRef();
  } else if (src->vt == VT_UNKNOWN && src->punkVal) {
    src->punkVal->AddRef();
  }
  VariantClear(dest);
  *dest = copy;
  return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, WORD, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  const VARTYPE srcBase = static_cast<VARTYPE>(src->vt & ~VT_BYREF);
  const bool srcByRef = (src->vt & VT_BYREF) != 0;
  if (srcByRef && !src->byref) return E_INVALIDARG;

  if (vt == VT_BSTR) {
    std::wstring text;
    if (srcBase == VT_BSTR) {
      text = platform::FromBstr(srcByRef ? *src->pbstrVal : src->bstrVal);
    } else {
      LONGLONG value = 0;
      bool overflow = false;
      if (!ReadInteger(*src, value, overflow) || overflow) return DISP_E_TYPEMISMATCH;
      if (srcBase == VT_BOOL) {
        text = value ? L"True" : L"False";
      } else if (srcBase != VT_EMPTY) {
        text = std::to_wstring(value);
      }
    }
    BSTR converted = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!converted) return E_OUTOFMEMORY;
    VariantClear(dest);
    dest->vt = VT_BSTR;
    dest->bstrVal = converted;
    return S_OK;
  }

  if (vt != VT_I4 && vt != VT_BOOL) return DISP_E_BADVARTYPE;
  LONGLONG value = 0;
  bool overflow = false;
  if (srcBase == VT_BSTR) {
    if (!ParseDecimal(platform::FromBstr(srcByRef ? *src->pbstrVal : src->bstrVal), value)) {
      return DISP_E_TYPEMISMATCH;
    }
  } else if (!IsIntegerType(srcBase) || !ReadInteger(*src, value, overflow)) {
    return DISP_E_TYPEMISMATCH;
  }
  if (vt == VT_I4) {
    if (overflow || value < INT32_MIN || value > INT32_MAX) return DISP_E_OVERFLOW;
    VariantClear(dest);
    dest->vt = VT_I4;
    dest->lVal = static_cast<LONG>(value);
  } else {
    VariantClear(dest);
    dest->vt = VT_BOOL;
    dest->boolVal = (value != 0 || overflow) ? VARIANT_TRUE : VARIANT_FALSE;
  }
  return S_OK;
}

namespace platform {

bool ParseGuid(std::wstring_view text, GUID& guid) {
  // {8-4-4-4-12}
  if (text.size() != 38 || text.front() != L'{' || text.back() != L'}') return false;
  const std::wstring_view body = text.substr(1, 36);
  std::uint8_t bytes[16];
  size_t byte = 0;
  for (size_t i = 0; i < body.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (body[i] != L'-') return false;
      ++i;
      continue;
    }
    const int high = HexDigit(body[i]);
    const int low = HexDigit(body[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[byte++] = static_cast<std::uint8_t>(high * 16 + low);
    i += 2;
  }
  guid.Data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
               (std::uint32_t{bytes[2]} << 8) | bytes[3];
  guid.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  guid.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  std::memcpy(guid.Data4, bytes + 8, 8);
  return true;
}

std::wstring FormatGuid(const GUID& guid) {
  wchar_t buffer[39];
  std::swprintf(buffer, 39, L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1,
                guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
                guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return buffer;
}

VARIANT MakeI4(LONG value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

VARIANT MakeBool(bool value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

VARIANT MakeBstr(std::wstring_view text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return v;
}

VARIANT MakeDispatch(IDispatch* dispatch) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DISPATCH;
  v.pdispVal = dispatch;
  return v;
}

VARIANT MakeI4Ref(LONG* value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_I4;
  v.plVal = value;
  return v;
}

VARIANT MakeBstrRef(BSTR* value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_BSTR;
  v.pbstrVal = value;
  return v;
}

}  // namespace platform

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
  if (!clsid) return E_INVALIDARG;
  if (!text || !platform::ParseGuid(text, *clsid)) return CO_E_CLASSSTRING;
  return S_OK;
}

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int capacity) {
  const std::wstring text = platform::FormatGuid(guid);
  if (!buffer || capacity < static_cast<int>(text.size()) + 1) return 0;
  std::wmemcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<int>(text.size()) + 1;
}

HRESULT CoInitialize(void*) { return S_OK; }
void CoUninitialize() {}


// Drives a service object through IDispatch the way a foreign caller might build its calls:
// any DISPID and flags, any argument count, VARIANTs of any type (values, by-reference
// slots, strings, a sink object), named arguments, with and without a result slot. The
// object must answer every call with an HRESULT and never crash, leak or touch memory it was
// not given. The registry is an empty file, so opens fail fast without a device.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "Module.h"
#include "SoIdentifiers.h"
#include "platform/com.h"

namespace {

// An event sink that accepts every call.
class NullSink final : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID, void** object) override {
    *object = this;
    return S_OK;
  }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return S_OK; }
};

NullSink sink;

constexpr DISPID kDispidPropertyPut = -3;  // the named argument of a property put

class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Done() const { return pos_ >= size_; }
  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::int32_t Int() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | Byte();
    return static_cast<std::int32_t>(v);
  }
  std::wstring Text() {
    std::wstring text;
    for (std::size_t n = Byte() % 40; n > 0; --n) text += static_cast<wchar_t>(Byte());
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// One argument with the storage its by-reference forms point at.
struct Arg {
  VARIANT v;
  LONG longSlot = 0;
  BSTR stringSlot = nullptr;
  VARIANT_BOOL boolSlot = 0;
};

void Fill(Reader& in, Arg& arg) {
  VariantInit(&arg.v);
  switch (in.Byte() % 10) {
    case 0: break;  // VT_EMPTY
    case 1: arg.v.vt = VT_I4; arg.v.lVal = in.Int(); break;
    case 2: arg.v.vt = VT_BOOL; arg.v.boolVal = (in.Byte() & 1) ? VARIANT_TRUE : VARIANT_FALSE; break;
    case 3: {
      const std::wstring text = in.Text();
      arg.v.vt = VT_BSTR;
      arg.v.bstrVal = (in.Byte() & 7) ? SysAllocStringLen(text.data(), static_cast<UINT>(text.size())) : nullptr;
      break;
    }
    case 4: arg.longSlot = in.Int(); arg.v.vt = VT_BYREF | VT_I4; arg.v.plVal = &arg.longSlot; break;
    case 5: {
      const std::wstring text = in.Text();
      arg.stringSlot = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      arg.v.vt = VT_BYREF | VT_BSTR;
      arg.v.pbstrVal = &arg.stringSlot;
      break;
    }
    case 6: arg.v.vt = VT_DISPATCH; arg.v.pdispVal = (in.Byte() & 1) ? &sink : nullptr; break;
    case 7: arg.v.vt = VT_I2; arg.v.iVal = static_cast<SHORT>(in.Int()); break;
    case 8: arg.v.vt = VT_BYREF | VT_BOOL; arg.v.pboolVal = &arg.boolSlot; break;
    default: arg.v.vt = static_cast<VARTYPE>(in.Byte() | 0x40); arg.v.lVal = in.Int(); break;  // a type no one uses
  }
}

void Release(Arg& arg) {
  if (arg.v.vt == (VT_BYREF | VT_BSTR)) SysFreeString(arg.stringSlot);  // the callee may have replaced it
  else if (arg.v.vt == VT_BSTR) SysFreeString(arg.v.bstrVal);
}

IDispatch* CreateObject() {
  IClassFactory* factory = nullptr;
  if (FAILED(DllGetClassObject(CLSID_TeskOposPrinterSO, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
    std::abort();
  IDispatch* object = nullptr;
  factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
  factory->Release();
  if (!object) std::abort();
  return object;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static char path[] = "/tmp/zanth-fuzz-registry-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) std::abort();
  close(fd);
  setenv("OPOS_REGISTRY", path, 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Reader in(data, size);
  IDispatch* object = CreateObject();
  for (int call = 0; call < 16 && !in.Done(); ++call) {
    if (in.Byte() % 4 == 0) {  // a name look-up
      std::wstring name = in.Text();
      LPOLESTR names[] = {name.data()};
      DISPID id = 0;
      (void)object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
      continue;
    }
    const std::uint8_t pick = in.Byte();
    const DISPID member = (pick & 0x80) ? in.Int() : static_cast<DISPID>(pick & 0x7F);
    const WORD flags = static_cast<WORD>(in.Byte() & 0x0F);
    std::vector<Arg> args(in.Byte() % 8);
    for (Arg& arg : args) Fill(in, arg);
    std::vector<VARIANT> packed;
    for (Arg& arg : args) packed.push_back(arg.v);
    DISPID named = kDispidPropertyPut;
    const std::uint8_t shape = in.Byte();
    DISPPARAMS params{packed.empty() ? nullptr : packed.data(), (shape & 1) ? &named : nullptr,
                      static_cast<UINT>(packed.size()), (shape & 1) && !packed.empty() ? 1u : 0u};
    VARIANT result;
    VariantInit(&result);
    UINT argError = 0;
    (void)object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                         (shape & 2) ? &result : nullptr, nullptr, (shape & 4) ? &argError : nullptr);
    VariantClear(&result);
    for (Arg& arg : args) Release(arg);
  }
  object->Release();
  return 0;
}

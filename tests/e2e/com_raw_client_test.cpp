// A client that knows only the COM rules: it loads the library with dlopen, asks its
// DllGetClassObject for the class factory, and drives the object through IDispatch::Invoke
// by DISPID with VARIANTs, DISPPARAMS and BSTRs of its own. Nothing of the platform layer
// or the service object's headers is used for the calls; the test harness only writes
// the device entry.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "support/SimFifoPrinter.h"
#include "support/TempRegistry.h"

namespace raw {

// --- The binary contract, written from the COM rules --------------------------------------

using HRESULT = std::int32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using DISPID = std::int32_t;
using BSTR = wchar_t*;

struct GUID {
  std::uint32_t d1;
  std::uint16_t d2, d3;
  std::uint8_t d4[8];
};

struct VARIANT {
  std::uint16_t vt, r1, r2, r3;
  union {
    LONG lVal;
    std::int16_t boolVal;
    BSTR bstrVal;
    void* pdispVal;
    LONG* plVal;
    std::int64_t pad;  // the union is 8 bytes
  };
};
static_assert(sizeof(VARIANT) == 16);

struct DISPPARAMS {
  VARIANT* rgvarg;
  DISPID* rgdispidNamedArgs;
  std::uint32_t cArgs;
  std::uint32_t cNamedArgs;
};

constexpr std::uint16_t VT_EMPTY = 0, VT_I4 = 3, VT_BSTR = 8, VT_DISPATCH = 9, VT_BOOL = 11,
                        VT_BYREF = 0x4000;
constexpr std::uint16_t DISPATCH_METHOD = 1;

// Interfaces as vtables of plain functions; `self` is the interface pointer.
struct IUnknownVtbl {
  HRESULT (*QueryInterface)(void* self, const GUID* iid, void** out);
  ULONG (*AddRef)(void* self);
  ULONG (*Release)(void* self);
};
struct IClassFactoryVtbl {
  IUnknownVtbl unknown;
  HRESULT (*CreateInstance)(void* self, void* outer, const GUID* iid, void** out);
  HRESULT (*LockServer)(void* self, std::int32_t lock);
};
struct IDispatchVtbl {
  IUnknownVtbl unknown;
  HRESULT (*GetTypeInfoCount)(void* self, std::uint32_t* count);
  HRESULT (*GetTypeInfo)(void* self, std::uint32_t index, std::uint32_t lcid, void** info);
  HRESULT (*GetIDsOfNames)(void* self, const GUID* iid, wchar_t** names, std::uint32_t count,
                           std::uint32_t lcid, DISPID* ids);
  HRESULT (*Invoke)(void* self, DISPID id, const GUID* iid, std::uint32_t lcid,
                    std::uint16_t flags, DISPPARAMS* params, VARIANT* result, void* excepInfo,
                    std::uint32_t* argError);
};
template <class Vtbl>
const Vtbl& V(void* object) {
  return **static_cast<Vtbl**>(object);
}

const GUID kNull = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
const GUID kIClassFactory = {0x00000001, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kIDispatch = {0x00020400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kClsid = {0x36D4C79D, 0x819F, 0x40E4, {0xA1, 0xA2, 0xA7, 0xBB, 0x9B, 0x9D, 0x78, 0xA2}};

// BSTR: malloc'ed; the 32-bit byte length just before the characters, the block starting
// 8 bytes before them (keeps wchar_t alignment), a NUL after them.
BSTR AllocBstr(const std::wstring& text) {
  const std::uint32_t bytes = static_cast<std::uint32_t>(text.size() * sizeof(wchar_t));
  auto* block = static_cast<unsigned char*>(std::malloc(8 + bytes + sizeof(wchar_t)));
  std::memcpy(block + 4, &bytes, 4);
  auto* chars = reinterpret_cast<wchar_t*>(block + 8);
  std::memcpy(chars, text.data(), bytes);
  chars[text.size()] = L'\0';
  return chars;
}
void FreeBstr(BSTR text) {
  if (text) std::free(reinterpret_cast<unsigned char*>(text) - 8);
}
std::wstring BstrText(BSTR text) {
  if (!text) return {};
  std::uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<unsigned char*>(text) - 4, 4);
  return std::wstring(text, bytes / sizeof(wchar_t));
}

VARIANT I4(LONG value) {
  VARIANT v{};
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}
VARIANT Text(const std::wstring& text) {
  VARIANT v{};
  v.vt = VT_BSTR;
  v.bstrVal = AllocBstr(text);
  return v;
}

// One method call by DISPID: arguments first to last; pRC passed as the last argument by
// reference, the way the type library declares it.
HRESULT CallWithRc(void* dispatch, DISPID id, std::initializer_list<VARIANT> args, LONG* rc) {
  VARIANT slots[9];
  std::uint32_t count = 0;
  slots[count].vt = VT_BYREF | VT_I4;  // rgvarg[0]: the last parameter
  slots[count].plVal = rc;
  ++count;
  for (auto it = std::rbegin(args); it != std::rend(args); ++it) slots[count++] = *it;
  DISPPARAMS params{slots, nullptr, count, 0};
  const HRESULT hr = V<IDispatchVtbl>(dispatch).Invoke(dispatch, id, &kNull, 0x0400,
                                                       DISPATCH_METHOD, &params, nullptr,
                                                       nullptr, nullptr);
  for (std::uint32_t i = 1; i < count; ++i) {
    if (slots[i].vt == VT_BSTR) FreeBstr(slots[i].bstrVal);
  }
  return hr;
}

}  // namespace raw

namespace {

TEST(ComRawClient, OpensClaimsEnablesPrintsAndCloses) {
  zanth::test::TempRegistry registry;
  // The printer answers the status reads at enable, so paper and cover are known.
  zanth::test::SimFifoPrinter printer(registry.Folder());
  const std::wstring key = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\RawP";
  const std::wstring outputW = printer.PortSettings();
  for (auto [name, value] : {std::pair<std::wstring, std::wstring>{L"", L"ZanthOposPrinterU1.13"},
                             {L"PortType", L"FILE"}, {L"DriverModel", L"TM-T88IV"},
                             {L"DriverName", L"Raw"}, {L"PortSettings", outputW},
                             {L"OutputBufSize", L"4096"}, {L"BitMapMode", L"1"},
                             {L"WriteTimeout", L"1000"}, {L"ReadTimeout", L"1000"},
                             {L"DeviceDescription", L"Raw"}, {L"Notes", L""}}) {
    ASSERT_TRUE(zanth::test::TempRegistry::SetString(key, name, value));
  }

  const char* build = std::getenv("ZANTH_BUILD_DIR");
  const std::string path = std::string(build ? build : ".") + "/so/libZanthSO.so";
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  using GetClassObject = raw::HRESULT (*)(const raw::GUID*, const raw::GUID*, void**);
  using NoArgs = raw::HRESULT (*)();
  auto getClassObject = reinterpret_cast<GetClassObject>(dlsym(library, "DllGetClassObject"));
  auto canUnloadNow = reinterpret_cast<NoArgs>(dlsym(library, "DllCanUnloadNow"));
  auto registerServer = reinterpret_cast<NoArgs>(dlsym(library, "DllRegisterServer"));
  ASSERT_TRUE(getClassObject && canUnloadNow && registerServer);
  ASSERT_EQ(registerServer(), 0);

  void* factory = nullptr;
  ASSERT_EQ(getClassObject(&raw::kClsid, &raw::kIClassFactory, &factory), 0);
  void* so = nullptr;
  ASSERT_EQ(raw::V<raw::IClassFactoryVtbl>(factory).CreateInstance(factory, nullptr,
                                                                   &raw::kIDispatch, &so),
            0);
  raw::V<raw::IClassFactoryVtbl>(factory).unknown.Release(factory);

  // Names answer with the type library's DISPIDs.
  wchar_t name[] = L"PrintNormal";
  wchar_t* names[] = {name};
  raw::DISPID printNormal = 0;
  ASSERT_EQ(raw::V<raw::IDispatchVtbl>(so).GetIDsOfNames(so, &raw::kNull, names, 1, 0x0800,
                                                         &printNormal),
            0);
  EXPECT_EQ(printNormal, 25);

  raw::LONG rc = -1;
  raw::VARIANT noReceiver{};
  noReceiver.vt = raw::VT_DISPATCH;
  ASSERT_EQ(raw::CallWithRc(so, 11, {raw::Text(L"POSPrinter"), raw::Text(L"RawP"), noReceiver},
                            &rc),
            0);
  EXPECT_EQ(rc, 0);  // OpenService
  ASSERT_EQ(raw::CallWithRc(so, 13, {raw::I4(1000)}, &rc), 0);
  EXPECT_EQ(rc, 0);  // ClaimDevice
  ASSERT_EQ(raw::CallWithRc(so, 8, {raw::I4(3), raw::I4(1)}, &rc), 0);
  EXPECT_EQ(rc, 0);  // DeviceEnabled = 1
  ASSERT_EQ(raw::CallWithRc(so, printNormal, {raw::I4(2), raw::Text(L"Hello COM\n")}, &rc), 0);
  const raw::LONG printed = rc;

  // A property through the standard control objects' way: the value in pVarResult.
  raw::VARIANT index = raw::I4(1000004);
  raw::DISPPARAMS params{&index, nullptr, 1, 0};
  raw::VARIANT result{};
  ASSERT_EQ(raw::V<raw::IDispatchVtbl>(so).Invoke(so, 9, &raw::kNull, 0x0400, raw::DISPATCH_METHOD,
                                                  &params, &result, nullptr, nullptr),
            0);
  ASSERT_EQ(result.vt, raw::VT_BSTR);
  EXPECT_EQ(raw::BstrText(result.bstrVal), L"POS Printer OPOS Service Object");
  raw::FreeBstr(result.bstrVal);  // the library's BSTR, freed by the client's own rule

  EXPECT_EQ(printed, 0);  // PrintNormal on the receipt

  ASSERT_EQ(raw::CallWithRc(so, 8, {raw::I4(3), raw::I4(0)}, &rc), 0);
  EXPECT_EQ(rc, 0);  // DeviceEnabled = 0
  ASSERT_EQ(raw::CallWithRc(so, 17, {}, &rc), 0);
  EXPECT_EQ(rc, 0);  // ReleaseDevice
  ASSERT_EQ(raw::CallWithRc(so, 15, {}, &rc), 0);
  EXPECT_EQ(rc, 0);  // CloseService
  ASSERT_EQ(raw::CallWithRc(so, 15, {}, &rc), 0);
  EXPECT_EQ(rc, 101);  // closed already

  EXPECT_EQ(canUnloadNow(), 1);  // S_FALSE: the object is alive
  EXPECT_EQ(raw::V<raw::IDispatchVtbl>(so).unknown.Release(so), 0u);
  EXPECT_EQ(canUnloadNow(), 0);

  EXPECT_TRUE(printer.WaitForText("Hello COM"));
}

}  // namespace

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
#include <cwchar>
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
    BSTR* pbstrVal;
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

// BSTR: one malloc'ed block that starts with the 32-bit byte length; the characters
// follow 4 bytes in, then a NUL; freeing frees the block's start.
BSTR AllocBstr(const std::wstring& text) {
  const std::uint32_t bytes = static_cast<std::uint32_t>(text.size() * sizeof(wchar_t));
  auto* block = static_cast<unsigned char*>(std::malloc(4 + bytes + sizeof(wchar_t)));
  std::memcpy(block, &bytes, 4);
  auto* chars = reinterpret_cast<wchar_t*>(block + 4);
  std::memcpy(chars, text.data(), bytes);
  chars[text.size()] = L'\0';
  return chars;
}
void FreeBstr(BSTR text) {
  if (text) std::free(reinterpret_cast<unsigned char*>(text) - 4);
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

// One printer entry on a FILE port to the virtual printer, and the library loaded and
// registered the way a client finds it. The printer answers the status reads at enable,
// so paper and cover are known.
class ComRawClient : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring key = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\RawP";
    for (auto [name, value] :
         {std::pair<std::wstring, std::wstring>{L"", L"ZanthOposPrinterU1.13"},
          {L"PortType", L"FILE"}, {L"DriverModel", L"TM-T88IV"}, {L"DriverName", L"Raw"},
          {L"PortSettings", printer_.PortSettings()}, {L"OutputBufSize", L"4096"},
          {L"BitMapMode", L"1"}, {L"WriteTimeout", L"1000"}, {L"ReadTimeout", L"1000"},
          {L"DeviceDescription", L"Raw"}, {L"Notes", L""}}) {
      ASSERT_TRUE(zanth::test::TempRegistry::SetString(key, name, value));
    }
    const char* build = std::getenv("ZANTH_BUILD_DIR");
    const std::string path = std::string(build ? build : ".") + "/so/libZanthSO.so";
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
    getClassObject_ = reinterpret_cast<GetClassObject>(dlsym(library_, "DllGetClassObject"));
    canUnloadNow_ = reinterpret_cast<NoArgs>(dlsym(library_, "DllCanUnloadNow"));
    auto registerServer = reinterpret_cast<NoArgs>(dlsym(library_, "DllRegisterServer"));
    ASSERT_TRUE(getClassObject_ && canUnloadNow_ && registerServer);
    ASSERT_EQ(registerServer(), 0);

    void* factory = nullptr;
    ASSERT_EQ(getClassObject_(&raw::kClsid, &raw::kIClassFactory, &factory), 0);
    ASSERT_EQ(raw::V<raw::IClassFactoryVtbl>(factory).CreateInstance(factory, nullptr,
                                                                     &raw::kIDispatch, &so_),
              0);
    raw::V<raw::IClassFactoryVtbl>(factory).unknown.Release(factory);
  }

  void TearDown() override {
    if (so_) raw::V<raw::IDispatchVtbl>(so_).unknown.Release(so_);
  }

  // OpenService, ClaimDevice and DeviceEnabled = 1.
  void OpenClaimEnable() {
    raw::LONG rc = -1;
    raw::VARIANT noReceiver{};
    noReceiver.vt = raw::VT_DISPATCH;
    ASSERT_EQ(raw::CallWithRc(so_, 11, {raw::Text(L"POSPrinter"), raw::Text(L"RawP"), noReceiver},
                              &rc),
              0);
    ASSERT_EQ(rc, 0);  // OpenService
    ASSERT_EQ(raw::CallWithRc(so_, 13, {raw::I4(1000)}, &rc), 0);
    ASSERT_EQ(rc, 0);  // ClaimDevice
    ASSERT_EQ(raw::CallWithRc(so_, 8, {raw::I4(3), raw::I4(1)}, &rc), 0);
    ASSERT_EQ(rc, 0);  // DeviceEnabled = 1
  }

  using GetClassObject = raw::HRESULT (*)(const raw::GUID*, const raw::GUID*, void**);
  using NoArgs = raw::HRESULT (*)();

  zanth::test::TempRegistry registry_;
  zanth::test::SimFifoPrinter printer_{registry_.Folder()};
  void* library_ = nullptr;
  GetClassObject getClassObject_ = nullptr;
  NoArgs canUnloadNow_ = nullptr;
  void* so_ = nullptr;
};

TEST_F(ComRawClient, OpensClaimsEnablesPrintsAndCloses) {
  // Names answer with the type library's DISPIDs.
  wchar_t name[] = L"PrintNormal";
  wchar_t* names[] = {name};
  raw::DISPID printNormal = 0;
  ASSERT_EQ(raw::V<raw::IDispatchVtbl>(so_).GetIDsOfNames(so_, &raw::kNull, names, 1, 0x0800,
                                                          &printNormal),
            0);
  EXPECT_EQ(printNormal, 25);

  OpenClaimEnable();
  raw::LONG rc = -1;
  ASSERT_EQ(raw::CallWithRc(so_, printNormal, {raw::I4(2), raw::Text(L"Hello COM\n")}, &rc), 0);
  EXPECT_EQ(rc, 0);  // PrintNormal on the receipt

  ASSERT_EQ(raw::CallWithRc(so_, 8, {raw::I4(3), raw::I4(0)}, &rc), 0);
  EXPECT_EQ(rc, 0);  // DeviceEnabled = 0
  ASSERT_EQ(raw::CallWithRc(so_, 17, {}, &rc), 0);
  EXPECT_EQ(rc, 0);  // ReleaseDevice
  ASSERT_EQ(raw::CallWithRc(so_, 15, {}, &rc), 0);
  EXPECT_EQ(rc, 0);  // CloseService
  ASSERT_EQ(raw::CallWithRc(so_, 15, {}, &rc), 0);
  EXPECT_EQ(rc, 101);  // closed already

  EXPECT_EQ(canUnloadNow_(), 1);  // S_FALSE: the object is alive
  EXPECT_EQ(raw::V<raw::IDispatchVtbl>(so_).unknown.Release(so_), 0u);
  so_ = nullptr;
  EXPECT_EQ(canUnloadNow_(), 0);

  EXPECT_TRUE(printer_.WaitForText("Hello COM"));
}

// Every string property of an open printer, read both ways the OLE Automation rules
// allow. The library's strings are freed by the client's own rule, and in the by-reference
// read the library frees the client's string it replaces; a block laid out differently on
// either side aborts in free() (or is reported by the address sanitizer).
struct StringProperty {
  raw::LONG index;
  const wchar_t* name;
  const wchar_t* text;  // nullptr: any text, but the same both ways
};

constexpr StringProperty kStringProperties[] = {
    {1000001, L"CheckHealthText", nullptr},
    {1000002, L"DeviceDescription", L"POS Printer"},
    {1000003, L"DeviceName", nullptr},
    {1000004, L"ServiceObjectDescription", L"POS Printer OPOS Service Object"},
    {1008001, L"CharacterSetList", nullptr},
    {1008002, L"JrnLineCharsList", L""},
    {1008003, L"RecLineCharsList", nullptr},
    {1008004, L"SlpLineCharsList", L""},
    {1008005, L"ErrorString", nullptr},
    {1008006, L"FontTypefaceList", L"A,B"},
    {1008007, L"RecBarCodeRotationList", nullptr},
    {1008008, L"SlpBarCodeRotationList", L""},
    {1008009, L"RecBitmapRotationList", nullptr},
    {1008010, L"SlpBitmapRotationList", L""},
    {1008011, L"PageModeArea", L"512,1000"},
    {1008012, L"PageModePrintArea", nullptr},
};

TEST_F(ComRawClient, EveryStringPropertyIsFreedByTheClientsRuleAndFreesTheClientsString) {
  OpenClaimEnable();
  for (const StringProperty& p : kStringProperties) {
    SCOPED_TRACE(testing::Message() << "property " << p.index);
    // The control objects' way: the value comes back in pVarResult.
    raw::VARIANT index = raw::I4(p.index);
    raw::DISPPARAMS params{&index, nullptr, 1, 0};
    raw::VARIANT result{};
    ASSERT_EQ(raw::V<raw::IDispatchVtbl>(so_).Invoke(so_, 9, &raw::kNull, 0x0400,
                                                     raw::DISPATCH_METHOD, &params, &result,
                                                     nullptr, nullptr),
              0);
    ASSERT_EQ(result.vt, raw::VT_BSTR);
    const std::wstring byResult = raw::BstrText(result.bstrVal);
    if (result.bstrVal) {
      // The length in front counts exactly the characters before the NUL.
      EXPECT_EQ(byResult.size(), std::wcslen(result.bstrVal));
    }
    raw::FreeBstr(result.bstrVal);
    if (p.text) {
      EXPECT_EQ(byResult, p.text);
    }

    // By reference: the slot holds a string of the client's, which the library frees.
    raw::BSTR slot = raw::AllocBstr(L"the client's own string");
    raw::VARIANT args[2]{};
    args[0].vt = raw::VT_BYREF | raw::VT_BSTR;
    args[0].pbstrVal = &slot;
    args[1] = raw::I4(p.index);
    raw::DISPPARAMS refParams{args, nullptr, 2, 0};
    ASSERT_EQ(raw::V<raw::IDispatchVtbl>(so_).Invoke(so_, 9, &raw::kNull, 0x0400,
                                                     raw::DISPATCH_METHOD, &refParams, nullptr,
                                                     nullptr, nullptr),
              0);
    EXPECT_EQ(raw::BstrText(slot), byResult);
    raw::FreeBstr(slot);
  }
  raw::LONG rc = -1;
  ASSERT_EQ(raw::CallWithRc(so_, 15, {}, &rc), 0);
  EXPECT_EQ(rc, 0);  // CloseService
}

}  // namespace

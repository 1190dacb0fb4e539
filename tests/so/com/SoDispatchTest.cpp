// The service object's late-bound interface, driven through the built library's exports:
// names and DISPIDs, both ways of passing the final out-argument, refused methods, the
// closed instance, and bad input that must give COM or OPOS codes, never a crash.
#include <gtest/gtest.h>

#include "so/com/SoTestSupport.h"

namespace zanth::test {
namespace {

using platform::MakeBool;
using platform::MakeBstr;
using platform::MakeBstrRef;
using platform::MakeDispatch;
using platform::MakeI4;
using platform::MakeI4Ref;

class SoDispatch : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library().Loaded()) << dlerror();
    so_ = Library().Create();
    ASSERT_NE(so_, nullptr);
  }
  void TearDown() override {
    if (so_) so_->Release();
  }
  TempRegistry registry_;
  IDispatch* so_ = nullptr;
};

struct NameCase {
  const wchar_t* name;
  DISPID id;
};

// Every name the standard POSPrinter and CashDrawer control objects look up, plus the
// optional GetOpenResult and the service object's own extras.
const NameCase kNames[] = {
    {L"COFreezeEvents", 6}, {L"GetPropertyNumber", 7}, {L"SetPropertyNumber", 8},
    {L"GetPropertyString", 9}, {L"SetPropertyString", 10}, {L"OpenService", 11},
    {L"CheckHealth", 12}, {L"ClaimDevice", 13}, {L"ClearOutput", 14}, {L"CloseService", 15},
    {L"DirectIO", 16}, {L"ReleaseDevice", 17}, {L"BeginRemoval", 18}, {L"CutPaper", 19},
    {L"EndInsertion", 20}, {L"EndRemoval", 21}, {L"PrintBarCode", 22}, {L"PrintBitmap", 23},
    {L"PrintImmediate", 24}, {L"PrintNormal", 25}, {L"PrintTwoNormal", 26},
    {L"RotatePrint", 27}, {L"SetBitmap", 28}, {L"SetLogo", 29}, {L"TransactionPrint", 30},
    {L"ValidateData", 31}, {L"ChangePrintSide", 32}, {L"MarkFeed", 33},
    {L"ResetStatistics", 34}, {L"RetrieveStatistics", 35}, {L"UpdateStatistics", 36},
    {L"CompareFirmwareVersion", 37}, {L"UpdateFirmware", 38}, {L"ClearPrintArea", 39},
    {L"PageModePrint", 40}, {L"PrintMemoryBitmap", 41}, {L"DrawRuledLine", 42},
    {L"BeginInsertion", 43}, {L"GetOpenResult", 44}, {L"OpenDrawer", 120},
    {L"WaitForDrawerClose", 121}, {L"PrintLine", 603}, {L"PrintCurveText", 604},
    {L"printnormal", 25}, {L"OPENSERVICE", 11},  // names are case-insensitive
};

class SoNames : public SoDispatch, public testing::WithParamInterface<NameCase> {};

TEST_P(SoNames, AnswerWithTheirDispid) {
  std::wstring name = GetParam().name;
  LPOLESTR names[] = {name.data()};
  DISPID id = 0;
  EXPECT_EQ(so_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id), S_OK);
  EXPECT_EQ(id, GetParam().id);
}

INSTANTIATE_TEST_SUITE_P(All, SoNames, testing::ValuesIn(kNames));

TEST_F(SoDispatch, UnknownNamesAndArgumentNames) {
  std::wstring unknown = L"Claim";  // the old name; this object only knows the new one
  std::wstring method = L"PrintNormal";
  std::wstring argument = L"Station";
  LPOLESTR one[] = {unknown.data()};
  DISPID ids[2] = {0, 0};
  EXPECT_EQ(so_->GetIDsOfNames(IID_NULL, one, 1, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
  LPOLESTR two[] = {method.data(), argument.data()};
  EXPECT_EQ(so_->GetIDsOfNames(IID_NULL, two, 2, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 25);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  LPOLESTR null[] = {nullptr};
  EXPECT_EQ(so_->GetIDsOfNames(IID_NULL, null, 1, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(so_->GetIDsOfNames(IID_NULL, nullptr, 1, 0, ids), E_INVALIDARG);
  EXPECT_EQ(so_->GetIDsOfNames(IID_IDispatch, one, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);
}

struct RefusedCase {
  DISPID id;
  std::vector<VARIANT> (*args)();
};

const RefusedCase kRefused[] = {
    {18, [] { return std::vector<VARIANT>{MakeI4(100)}; }},                       // BeginRemoval
    {20, [] { return std::vector<VARIANT>{}; }},                                  // EndInsertion
    {21, [] { return std::vector<VARIANT>{}; }},                                  // EndRemoval
    {26, [] { return std::vector<VARIANT>{MakeI4(3), MakeBstr(L"a"), MakeBstr(L"b")}; }},
    {31, [] { return std::vector<VARIANT>{MakeI4(2), MakeBstr(L"x")}; }},         // ValidateData
    {32, [] { return std::vector<VARIANT>{MakeI4(1)}; }},                         // ChangePrintSide
    {33, [] { return std::vector<VARIANT>{MakeI4(1)}; }},                         // MarkFeed
    {34, [] { return std::vector<VARIANT>{MakeBstr(L"")}; }},                     // ResetStatistics
    {36, [] { return std::vector<VARIANT>{MakeBstr(L"a=1")}; }},                  // UpdateStatistics
    {38, [] { return std::vector<VARIANT>{MakeBstr(L"fw.bin")}; }},               // UpdateFirmware
    {42, [] {
       return std::vector<VARIANT>{MakeI4(2), MakeBstr(L"0,100"), MakeI4(1), MakeI4(1),
                                   MakeI4(1), MakeI4(1)};
     }},                                                                            // DrawRuledLine
    {43, [] { return std::vector<VARIANT>{MakeI4(100)}; }},                       // BeginInsertion
};

class SoRefused : public SoDispatch, public testing::WithParamInterface<RefusedCase> {};

TEST_P(SoRefused, GiveIllegalOnAClosedInstanceBothWays) {
  std::vector<VARIANT> args = GetParam().args();
  // The standard control objects' way: no pRC argument, the code in pVarResult.
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                    static_cast<UINT>(reversed.size()), 0};
  platform::Variant result;
  ASSERT_EQ(so_->Invoke(GetParam().id, IID_NULL, 0, DISPATCH_METHOD, &params, result.Get(),
                        nullptr, nullptr),
            S_OK);
  EXPECT_EQ(result->vt, VT_I4);
  EXPECT_EQ(result->lVal, OPOS_E_ILLEGAL);
  // The type library's way: pRC as a last by-reference argument.
  LONG rc = -1;
  reversed.insert(reversed.begin(), MakeI4Ref(&rc));
  params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  ASSERT_EQ(so_->Invoke(GetParam().id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr,
                        nullptr),
            S_OK);
  EXPECT_EQ(rc, OPOS_E_ILLEGAL);
  for (VARIANT& v : args) VariantClear(&v);
}

INSTANTIATE_TEST_SUITE_P(All, SoRefused, testing::ValuesIn(kRefused));

TEST_F(SoDispatch, RefusedMethodsWithByReferenceArguments) {
  BSTR stats = SysAllocString(L"keep");
  EXPECT_EQ(CallLong(so_, 35, {MakeBstrRef(&stats)}), OPOS_E_ILLEGAL);  // RetrieveStatistics
  EXPECT_EQ(platform::FromBstr(stats), L"keep");
  SysFreeString(stats);
  LONG compare = 5;
  EXPECT_EQ(CallLong(so_, 37, {MakeBstr(L"fw"), MakeI4Ref(&compare)}), OPOS_E_ILLEGAL);
  EXPECT_EQ(compare, 5);
}

TEST_F(SoDispatch, ClosedInstanceAnswers) {
  EXPECT_EQ(GetNumber(so_, PIDX_ServiceObjectVersion), 1013001);
  EXPECT_EQ(GetNumber(so_, PIDX_ResultCode), OPOS_E_CLOSED);
  EXPECT_EQ(GetNumber(so_, PIDX_ResultCodeExtended), OPOS_E_CLOSED);
  EXPECT_EQ(GetNumber(so_, PIDX_State), OPOS_S_CLOSED);
  EXPECT_EQ(GetNumber(so_, PIDX_Claimed), 0);
  EXPECT_EQ(GetNumber(so_, PIDXPtr_ErrorLevel), 0);
  EXPECT_EQ(GetNumber(so_, PIDXPtr_ErrorStation), PTR_S_RECEIPT);
  EXPECT_EQ(GetNumber(so_, PIDXPtr_RecLineChars), 0);
  EXPECT_EQ(GetString(so_, PIDX_ServiceObjectDescription), L"POS Printer OPOS Service Object");
  EXPECT_EQ(GetString(so_, PIDX_DeviceDescription), L"POS Printer");
  EXPECT_EQ(GetString(so_, PIDX_DeviceName), L"[Error]");
  EXPECT_EQ(GetString(so_, PIDXPtr_ErrorString), L"[Error]");

  // Forwarded, state-checked methods: closed.
  EXPECT_EQ(CallLong(so_, 25, {MakeI4(PTR_S_RECEIPT), MakeBstr(L"x")}), OPOS_E_CLOSED);
  EXPECT_EQ(CallLong(so_, 19, {MakeI4(100)}), OPOS_E_CLOSED);
  EXPECT_EQ(CallLong(so_, 12, {MakeI4(OPOS_CH_INTERNAL)}), OPOS_E_CLOSED);
  EXPECT_EQ(CallLong(so_, 120, {}), OPOS_E_CLOSED);
  EXPECT_EQ(CallLong(so_, 13, {MakeI4(1000)}), OPOS_E_CLOSED);
  EXPECT_EQ(CallLong(so_, 17, {}), OPOS_E_CLOSED);
  EXPECT_EQ(CallLong(so_, 15, {}), OPOS_E_CLOSED);
  EXPECT_EQ(CallLong(so_, 14, {}), OPOS_E_CLOSED);
  EXPECT_EQ(CallLong(so_, 8, {MakeI4(PIDX_DeviceEnabled), MakeI4(1)}), OPOS_E_CLOSED);
  // The station is checked before the state for barcodes.
  EXPECT_EQ(CallLong(so_, 22, {MakeI4(PTR_S_JOURNAL), MakeBstr(L"123"), MakeI4(101), MakeI4(50),
                               MakeI4(2), MakeI4(-2), MakeI4(-11)}),
            OPOS_E_ILLEGAL);
  EXPECT_EQ(CallLong(so_, 44, {}), 0);  // GetOpenResult before any open
}

TEST_F(SoDispatch, DirectIOByReferenceOnAClosedInstanceLeavesTheArguments) {
  LONG data = 42;
  BSTR text = SysAllocString(L"in");
  EXPECT_EQ(CallLong(so_, 16, {MakeI4(1), MakeI4Ref(&data), MakeBstrRef(&text)}),
            OPOS_E_CLOSED);
  EXPECT_EQ(data, 42);
  EXPECT_EQ(platform::FromBstr(text), L"in");
  SysFreeString(text);
  // By value is read and its result dropped.
  EXPECT_EQ(CallLong(so_, 16, {MakeI4(1), MakeI4(0), MakeBstr(L"x")}), OPOS_E_CLOSED);
}

TEST_F(SoDispatch, FinalOutArgumentByReferenceAlsoForStrings) {
  BSTR value = SysAllocString(L"old");  // a reused slot: its string is freed, not leaked
  platform::Variant result;
  ASSERT_EQ(Call(so_, 9, {MakeI4(PIDX_DeviceDescription), MakeBstrRef(&value)}, result.Get()),
            S_OK);
  EXPECT_EQ(platform::FromBstr(value), L"POS Printer");
  ASSERT_EQ(result->vt, VT_BSTR);
  EXPECT_NE(result->bstrVal, value);
  SysFreeString(value);
  LONG version = 0;
  ASSERT_EQ(Call(so_, 7, {MakeI4(PIDX_ServiceObjectVersion), MakeI4Ref(&version)}, nullptr),
            S_OK);
  EXPECT_EQ(version, 1013001);
}

struct BadCallCase {
  const char* name;
  DISPID id;
  std::vector<VARIANT> (*args)();
  HRESULT expected;
  UINT argError;  // for DISP_E_TYPEMISMATCH: the rgvarg index
};

const BadCallCase kBadCalls[] = {
    {"unknown dispid", 5, [] { return std::vector<VARIANT>{}; }, DISP_E_MEMBERNOTFOUND, 0},
    {"dispid 605", 605, [] { return std::vector<VARIANT>{}; }, DISP_E_MEMBERNOTFOUND, 0},
    {"too few", 25, [] { return std::vector<VARIANT>{MakeI4(2)}; }, DISP_E_BADPARAMCOUNT, 0},
    {"too many", 14,
     [] { return std::vector<VARIANT>{MakeI4(1), MakeI4(2)}; }, DISP_E_BADPARAMCOUNT, 0},
    {"none for two", 8, [] { return std::vector<VARIANT>{}; }, DISP_E_BADPARAMCOUNT, 0},
    // rgvarg is reversed: the station (first) is at index 1, the data at 0.
    {"dispatch for long", 25,
     [] { return std::vector<VARIANT>{MakeDispatch(nullptr), MakeBstr(L"x")}; },
     DISP_E_TYPEMISMATCH, 1},
    {"text not a number", 25,
     [] { return std::vector<VARIANT>{MakeBstr(L"two"), MakeBstr(L"x")}; },
     DISP_E_TYPEMISMATCH, 1},
    {"dispatch for string", 25,
     [] { return std::vector<VARIANT>{MakeI4(2), MakeDispatch(nullptr)}; },
     DISP_E_TYPEMISMATCH, 0},
    {"long for dispatch", 11,
     [] { return std::vector<VARIANT>{MakeBstr(L"POSPrinter"), MakeBstr(L"P"), MakeI4(3)}; },
     DISP_E_TYPEMISMATCH, 0},
    {"by-value final out", 14, [] { return std::vector<VARIANT>{MakeI4(0)}; },
     DISP_E_TYPEMISMATCH, 0},
    {"null by-reference final out", 14, [] { return std::vector<VARIANT>{MakeI4Ref(nullptr)}; },
     DISP_E_TYPEMISMATCH, 0},
    {"string final out for number", 7,
     [] { return std::vector<VARIANT>{MakeI4(8), MakeBstrRef(nullptr)}; },
     DISP_E_TYPEMISMATCH, 0},
};

class SoBadCalls : public SoDispatch, public testing::WithParamInterface<BadCallCase> {};

TEST_P(SoBadCalls, GiveComErrors) {
  std::vector<VARIANT> args = GetParam().args();
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                    static_cast<UINT>(reversed.size()), 0};
  platform::Variant result;
  UINT argError = 99;
  EXPECT_EQ(so_->Invoke(GetParam().id, IID_NULL, 0, DISPATCH_METHOD, &params, result.Get(),
                        nullptr, &argError),
            GetParam().expected);
  if (GetParam().expected == DISP_E_TYPEMISMATCH) {
    EXPECT_EQ(argError, GetParam().argError);
  }
  EXPECT_EQ(result->vt, VT_EMPTY);
  for (VARIANT& v : args) VariantClear(&v);
}

INSTANTIATE_TEST_SUITE_P(All, SoBadCalls, testing::ValuesIn(kBadCalls),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& c : name) if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

TEST_F(SoDispatch, MalformedDispParams) {
  platform::Variant result;
  EXPECT_EQ(so_->Invoke(14, IID_NULL, 0, DISPATCH_METHOD, nullptr, result.Get(), nullptr, nullptr),
            E_INVALIDARG);
  DISPPARAMS noArray{nullptr, nullptr, 1, 0};
  EXPECT_EQ(so_->Invoke(19, IID_NULL, 0, DISPATCH_METHOD, &noArray, result.Get(), nullptr, nullptr),
            E_INVALIDARG);
  VARIANT arg = MakeI4(1);
  DISPID named = 0;
  DISPPARAMS withNames{&arg, &named, 1, 1};
  EXPECT_EQ(so_->Invoke(19, IID_NULL, 0, DISPATCH_METHOD, &withNames, result.Get(), nullptr,
                        nullptr),
            DISP_E_NONAMEDARGS);
  DISPPARAMS plain{&arg, nullptr, 1, 0};
  EXPECT_EQ(so_->Invoke(19, IID_IDispatch, 0, DISPATCH_METHOD, &plain, result.Get(), nullptr,
                        nullptr),
            DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(so_->Invoke(19, IID_NULL, 0, DISPATCH_PROPERTYPUT, &plain, result.Get(), nullptr,
                        nullptr),
            DISP_E_MEMBERNOTFOUND);
  // Scripting hosts add DISPATCH_PROPERTYGET to method calls.
  EXPECT_EQ(so_->Invoke(19, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &plain,
                        result.Get(), nullptr, nullptr),
            S_OK);
  EXPECT_EQ(result->lVal, OPOS_E_CLOSED);
}

TEST_F(SoDispatch, NullStringsAreEmptyStrings) {
  VARIANT nullText;
  VariantInit(&nullText);
  nullText.vt = VT_BSTR;  // bstrVal null
  EXPECT_EQ(CallLong(so_, 25, {MakeI4(PTR_S_RECEIPT), nullText}), OPOS_E_CLOSED);
  // An empty device name ends the open: 106 with OpenResult 402.
  EXPECT_EQ(CallLong(so_, 11, {MakeBstr(L"POSPrinter"), nullText, MakeDispatch(nullptr)}),
            OPOS_E_ILLEGAL);
  EXPECT_EQ(CallLong(so_, 44, {}), OPOS_ORS_NOTSUPPORTED);
  EXPECT_EQ(CallLong(so_, 11, {nullText, nullText, MakeDispatch(nullptr)}), OPOS_E_ILLEGAL);
}

TEST_F(SoDispatch, InterfacesAndTypeInfo) {
  IUnknown* unknown = nullptr;
  ASSERT_EQ(so_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(so_));  // one identity
  unknown->Release();
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(so_->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(so_->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  UINT count = 7;
  EXPECT_EQ(so_->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
}

TEST(SoModule, ClassFactoryAndUnloading) {
  ASSERT_TRUE(Library().Loaded()) << dlerror();
  const ServiceLibrary& library = Library();
  IClassFactory* factory = nullptr;
  EXPECT_EQ(library.getClassObject(IID_IDispatch, IID_IClassFactory,
                                   reinterpret_cast<void**>(&factory)),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(factory, nullptr);
  static const CLSID kClsid = {0x36D4C79D, 0x819F, 0x40E4,
                               {0xA1, 0xA2, 0xA7, 0xBB, 0x9B, 0x9D, 0x78, 0xA2}};
  ASSERT_EQ(library.getClassObject(kClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(library.canUnloadNow(), S_FALSE);  // the factory reference holds the module
  IUnknown* outer = factory;
  void* object = nullptr;
  EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, &object), S_OK);
  factory->Release();
  EXPECT_EQ(library.canUnloadNow(), S_FALSE);  // the object
  static_cast<IUnknown*>(object)->Release();
  EXPECT_EQ(library.canUnloadNow(), S_OK);
  ASSERT_EQ(library.getClassObject(kClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  EXPECT_EQ(library.canUnloadNow(), S_FALSE);
  ASSERT_EQ(library.getClassObject(kClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  EXPECT_EQ(library.canUnloadNow(), S_OK);
}

}  // namespace
}  // namespace zanth::test

// GUID text, VARIANT handling and the Windows binary layout of the COM stand-in.
#include <gtest/gtest.h>

#include <cstddef>

#include "platform/com.h"

namespace {

// Field offsets a client compiled from the COM rules relies on.
static_assert(offsetof(GUID, Data2) == 4 && offsetof(GUID, Data3) == 6 &&
              offsetof(GUID, Data4) == 8);
static_assert(offsetof(VARIANT, vt) == 0 && offsetof(VARIANT, wReserved3) == 6 &&
              offsetof(VARIANT, plVal) == 8);
static_assert(offsetof(DISPPARAMS, rgvarg) == 0 &&
              offsetof(DISPPARAMS, rgdispidNamedArgs) == sizeof(void*) &&
              offsetof(DISPPARAMS, cArgs) == 2 * sizeof(void*) &&
              offsetof(DISPPARAMS, cNamedArgs) == 2 * sizeof(void*) + 4);

struct GuidCase {
  const wchar_t* text;
  bool valid;
};

class GuidParse : public testing::TestWithParam<GuidCase> {};

TEST_P(GuidParse, AcceptsOnlyTheBracedForm) {
  GUID guid{};
  EXPECT_EQ(platform::ParseGuid(GetParam().text, guid), GetParam().valid) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GuidParse,
    testing::Values(GuidCase{L"{36D4C79D-819F-40E4-A1A2-A7BB9B9D78A2}", true},
                    GuidCase{L"{36d4c79d-819f-40e4-a1a2-a7bb9b9d78a2}", true},
                    GuidCase{L"36D4C79D-819F-40E4-A1A2-A7BB9B9D78A2", false},
                    GuidCase{L"{36D4C79D-819F-40E4-A1A2-A7BB9B9D78A}", false},
                    GuidCase{L"{36D4C79D-819F-40E4-A1A2-A7BB9B9D78A2 }", false},
                    GuidCase{L"{36D4C79D+819F-40E4-A1A2-A7BB9B9D78A2}", false},
                    GuidCase{L"{36D4C79D-819F-40E4-A1A2-A7BB9B9D78G2}", false},
                    GuidCase{L"", false}));

TEST(Guid, FieldsAndTextRoundTrip) {
  GUID guid{};
  ASSERT_TRUE(platform::ParseGuid(L"{791f9bd0-34e1-4f57-a938-7aa4984ccb02}", guid));
  EXPECT_EQ(guid.Data1, 0x791F9BD0u);
  EXPECT_EQ(guid.Data2, 0x34E1);
  EXPECT_EQ(guid.Data3, 0x4F57);
  EXPECT_EQ(guid.Data4[0], 0xA9);
  EXPECT_EQ(guid.Data4[7], 0x02);
  EXPECT_EQ(platform::FormatGuid(guid), L"{791F9BD0-34E1-4F57-A938-7AA4984CCB02}");

  wchar_t buffer[39];
  EXPECT_EQ(StringFromGUID2(guid, buffer, 39), 39);
  EXPECT_STREQ(buffer, L"{791F9BD0-34E1-4F57-A938-7AA4984CCB02}");
  EXPECT_EQ(StringFromGUID2(guid, buffer, 38), 0);
  CLSID back{};
  EXPECT_EQ(CLSIDFromString(buffer, &back), S_OK);
  EXPECT_TRUE(back == guid);
  EXPECT_EQ(CLSIDFromString(L"nonsense", &back), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromString(nullptr, &back), CO_E_CLASSSTRING);
}

TEST(Guid, StandardInterfaceIds) {
  EXPECT_EQ(platform::FormatGuid(IID_IUnknown), L"{00000000-0000-0000-C000-000000000046}");
  EXPECT_EQ(platform::FormatGuid(IID_IClassFactory), L"{00000001-0000-0000-C000-000000000046}");
  EXPECT_EQ(platform::FormatGuid(IID_IDispatch), L"{00020400-0000-0000-C000-000000000046}");
}

struct ChangeCase {
  const char* name;
  VARIANT (*make)();
  VARTYPE target;
  HRESULT hr;
  LONG number;  // VT_I4 result, or VT_BOOL result
};

LONG g_refValue = 77;
BSTR g_refText = nullptr;

const ChangeCase kChangeCases[] = {
    {"i4", [] { return platform::MakeI4(-5); }, VT_I4, S_OK, -5},
    {"bool true to i4", [] { return platform::MakeBool(true); }, VT_I4, S_OK, -1},
    {"empty to i4", [] { VARIANT v; VariantInit(&v); return v; }, VT_I4, S_OK, 0},
    {"i2", [] { VARIANT v; VariantInit(&v); v.vt = VT_I2; v.iVal = -300; return v; }, VT_I4, S_OK, -300},
    {"ui1", [] { VARIANT v; VariantInit(&v); v.vt = VT_UI1; v.bVal = 200; return v; }, VT_I4, S_OK, 200},
    {"i8 too big", [] { VARIANT v; VariantInit(&v); v.vt = VT_I8; v.llVal = 1LL << 40; return v; }, VT_I4, DISP_E_OVERFLOW, 0},
    {"by-ref i4", [] { return platform::MakeI4Ref(&g_refValue); }, VT_I4, S_OK, 77},
    {"by-ref null", [] { return platform::MakeI4Ref(nullptr); }, VT_I4, E_INVALIDARG, 0},
    {"decimal text", [] { return platform::MakeBstr(L" 1234 "); }, VT_I4, S_OK, 1234},
    {"not a number", [] { return platform::MakeBstr(L"12a"); }, VT_I4, DISP_E_TYPEMISMATCH, 0},
    {"null text", [] { VARIANT v; VariantInit(&v); v.vt = VT_BSTR; return v; }, VT_I4, DISP_E_TYPEMISMATCH, 0},
    {"dispatch", [] { return platform::MakeDispatch(nullptr); }, VT_I4, DISP_E_TYPEMISMATCH, 0},
    {"double", [] { VARIANT v; VariantInit(&v); v.vt = VT_R8; v.dblVal = 1.5; return v; }, VT_I4, DISP_E_TYPEMISMATCH, 0},
    {"i4 1 to bool", [] { return platform::MakeI4(1); }, VT_BOOL, S_OK, VARIANT_TRUE},
    {"i4 0 to bool", [] { return platform::MakeI4(0); }, VT_BOOL, S_OK, VARIANT_FALSE},
};

class ChangeType : public testing::TestWithParam<ChangeCase> {};

TEST_P(ChangeType, CoercesLikeAutomation) {
  const ChangeCase& c = GetParam();
  VARIANT src = c.make();
  VARIANT dest;
  VariantInit(&dest);
  EXPECT_EQ(VariantChangeType(&dest, &src, 0, c.target), c.hr) << c.name;
  if (c.hr == S_OK) {
    ASSERT_EQ(dest.vt, c.target) << c.name;
    EXPECT_EQ(c.target == VT_I4 ? dest.lVal : dest.boolVal, c.number) << c.name;
  } else {
    EXPECT_EQ(dest.vt, VT_EMPTY) << c.name;
  }
  VariantClear(&src);
  VariantClear(&dest);
}

INSTANTIATE_TEST_SUITE_P(Cases, ChangeType, testing::ValuesIn(kChangeCases),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& ch : name) if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

TEST(Variant, ChangeToTextAndInPlace) {
  VARIANT v = platform::MakeI4(-42);
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
  ASSERT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(platform::FromBstr(v.bstrVal), L"-42");
  VariantClear(&v);

  g_refText = SysAllocString(L"by reference");
  VARIANT ref = platform::MakeBstrRef(&g_refText);
  VARIANT text;
  VariantInit(&text);
  ASSERT_EQ(VariantChangeType(&text, &ref, 0, VT_BSTR), S_OK);
  EXPECT_EQ(platform::FromBstr(text.bstrVal), L"by reference");
  EXPECT_NE(text.bstrVal, g_refText);  // a copy, the caller keeps its own
  VariantClear(&text);
  VariantClear(&ref);  // by-reference: owns nothing
  EXPECT_EQ(platform::FromBstr(g_refText), L"by reference");
  SysFreeString(g_refText);
}

// Counts references so VariantCopy and VariantClear can be checked.
class CountingDispatch : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  ULONG refs = 1;
};

TEST(Variant, CopyDuplicatesStringsAndReferencesInterfaces) {
  VARIANT text = platform::MakeBstr(L"abc");
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(VariantCopy(&copy, &text), S_OK);
  EXPECT_NE(copy.bstrVal, text.bstrVal);
  EXPECT_EQ(platform::FromBstr(copy.bstrVal), L"abc");

  CountingDispatch dispatch;
  VARIANT d = platform::MakeDispatch(&dispatch);
  ASSERT_EQ(VariantCopy(&copy, &d), S_OK);  // frees the copied string first
  EXPECT_EQ(dispatch.refs, 2u);
  VariantClear(&copy);
  EXPECT_EQ(dispatch.refs, 1u);
  EXPECT_EQ(copy.vt, VT_EMPTY);
  VariantClear(&text);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

}  // namespace

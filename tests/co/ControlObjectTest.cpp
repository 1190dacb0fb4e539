// The control objects against a logging service object: the OpenResult table, and the
// calling convention of the standard control objects (results in pVarResult, by-reference
// DirectIO arguments, VT_BOOL for COFreezeEvents, booleans as 1 and 0), and events.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "CashDrawer.h"
#include "OposConstants.h"
#include "POSPrinter.h"
#include "support/TempRegistry.h"

namespace zanth::co {
namespace {

using test::TempRegistry;

constexpr wchar_t kFakeClsid[] = L"{5A0E8C1D-2B3F-4C5D-8E9F-0A1B2C3D4E5F}";
constexpr wchar_t kPtrClass[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter";
constexpr wchar_t kCashClass[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer";

std::wstring FakeLibrary() {
  const char* build = std::getenv("ZANTH_BUILD_DIR");
  return platform::FromUtf8(std::string(build ? build : ".") + "/tests/co/libzanth_fake_so.so");
}

class CoFake : public testing::Test {
 protected:
  void SetUp() override {
    log_ = registry_.Folder() + "/calls.log";
    setenv("FAKE_SO_LOG", log_.c_str(), 1);
    for (const char* name : {"FAKE_SO_VERSION", "FAKE_SO_MISSING", "FAKE_SO_OPEN_RC",
                             "FAKE_SO_OPEN_RESULT"}) {
      unsetenv(name);
    }
    const std::wstring classes = L"SOFTWARE\\Classes\\";
    TempRegistry::SetString(classes + L"Zanth.FakeSO\\CLSID", L"", kFakeClsid);
    TempRegistry::SetString(classes + L"CLSID\\" + kFakeClsid + L"\\InprocServer32", L"",
                            FakeLibrary());
    TempRegistry::SetString(std::wstring(kPtrClass) + L"\\F1", L"", L"Zanth.FakeSO");
    TempRegistry::SetString(kPtrClass, L"Front", L"F1");  // a logical name
    TempRegistry::SetString(std::wstring(kCashClass) + L"\\FD1", L"", L"Zanth.FakeSO");
  }
  std::vector<std::string> Calls() {
    std::ifstream in(log_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::string LastCall() {
    auto lines = Calls();
    return lines.empty() ? "" : lines.back();
  }
  bool Called(const std::string& prefix) {
    for (const std::string& line : Calls()) {
      if (line.rfind(prefix, 0) == 0) return true;
    }
    return false;
  }

  TempRegistry registry_;
  std::string log_;
};

struct OpenCase {
  const char* name;
  const wchar_t* device;
  void (*prepare)();
  LONG result;
  LONG openResult;
  bool serviceOpened;  // OpenService was called
};

const OpenCase kOpenCases[] = {
    {"empty name", L"", [] {}, OPOS_E_NOEXIST, OPOS_OR_REGBADNAME, false},
    {"name of 256", nullptr, [] {}, OPOS_E_NOEXIST, OPOS_OR_REGBADNAME, false},
    {"no device key", L"F9", [] {}, OPOS_E_NOEXIST, OPOS_OR_REGBADNAME, false},
    {"logical name of a missing device", L"Back",
     [] { TempRegistry::SetString(kPtrClass, L"Back", L"F9"); }, OPOS_E_NOEXIST,
     OPOS_OR_REGBADNAME, false},
    {"no ProgID", L"F2",
     [] { TempRegistry::SetString(std::wstring(kPtrClass) + L"\\F2", L"Notes", L"x"); },
     OPOS_E_NOSERVICE, OPOS_OR_REGPROGID, false},
    {"ProgID not a string", L"F2",
     [] { TempRegistry::SetDword(std::wstring(kPtrClass) + L"\\F2", L"", 5); },
     OPOS_E_NOSERVICE, OPOS_OR_REGPROGID, false},
    {"unregistered ProgID", L"F2",
     [] { TempRegistry::SetString(std::wstring(kPtrClass) + L"\\F2", L"", L"No.Such"); },
     OPOS_E_NOSERVICE, OPOS_OR_REGPROGID, false},
    {"library missing", L"F1",
     [] {
       TempRegistry::SetString(std::wstring(L"SOFTWARE\\Classes\\CLSID\\") + kFakeClsid +
                                   L"\\InprocServer32",
                               L"", L"/nonexistent/libgone.so");
     },
     OPOS_E_NOSERVICE, OPOS_OR_CREATE, false},
    {"early method missing", L"F1", [] { setenv("FAKE_SO_MISSING", "CutPaper", 1); },
     OPOS_E_NOSERVICE, OPOS_OR_BADIF, false},
    {"method of its release missing", L"F1",
     [] { setenv("FAKE_SO_MISSING", "DrawRuledLine", 1); }, OPOS_E_NOSERVICE, OPOS_OR_BADIF,
     true},
    {"release 1.12 without DrawRuledLine", L"F1",
     [] {
       setenv("FAKE_SO_MISSING", "DrawRuledLine", 1);
       setenv("FAKE_SO_VERSION", "1012000", 1);
     },
     OPOS_SUCCESS, 0, true},
    {"major version 2", L"F1", [] { setenv("FAKE_SO_VERSION", "2013000", 1); },
     OPOS_E_NOSERVICE, OPOS_OR_BADVERSION, true},
    {"service open fails with its reason", L"F1",
     [] {
       setenv("FAKE_SO_OPEN_RC", "106", 1);
       setenv("FAKE_SO_OPEN_RESULT", "403", 1);
     },
     OPOS_E_ILLEGAL, OPOS_ORS_CONFIG, true},
    {"service open fails without a reason", L"F1",
     [] {
       setenv("FAKE_SO_OPEN_RC", "111", 1);
       setenv("FAKE_SO_MISSING", "GetOpenResult", 1);
     },
     OPOS_E_FAILURE, OPOS_OR_FAILEDOPEN, true},
    {"logical name", L"Front", [] {}, OPOS_SUCCESS, 0, true},
};

class CoOpen : public CoFake, public testing::WithParamInterface<OpenCase> {};

TEST_P(CoOpen, GivesTheStandardOpenResult) {
  GetParam().prepare();
  POSPrinter printer;
  const std::wstring device = GetParam().device ? GetParam().device : std::wstring(256, L'F');
  EXPECT_EQ(printer.Open(device), GetParam().result);
  EXPECT_EQ(printer.OpenResult(), GetParam().openResult);
  EXPECT_EQ(printer.IsOpen(), GetParam().result == OPOS_SUCCESS);
  EXPECT_EQ(Called("OpenService"), GetParam().serviceOpened);
  if (GetParam().result == OPOS_SUCCESS) {
    EXPECT_EQ(printer.ResultCode(), 6);  // from the service object
  } else {
    EXPECT_EQ(printer.ResultCode(), OPOS_E_CLOSED);
    EXPECT_EQ(printer.State(), OPOS_S_CLOSED);
  }
  // A service object that opened and was then refused is closed again.
  if (GetParam().serviceOpened && GetParam().result == OPOS_E_NOSERVICE) {
    EXPECT_TRUE(Called("CloseService"));
  }
}

INSTANTIATE_TEST_SUITE_P(All, CoOpen, testing::ValuesIn(kOpenCases), [](const auto& info) {
  std::string name = info.param.name;
  for (char& c : name) if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
});

TEST_F(CoFake, AlreadyOpenAndClosedAnswers) {
  POSPrinter printer;
  EXPECT_EQ(printer.ResultCode(), OPOS_E_CLOSED);
  EXPECT_EQ(printer.ResultCodeExtended(), 0);
  EXPECT_EQ(printer.State(), OPOS_S_CLOSED);
  EXPECT_EQ(printer.RecLineChars(), 0);
  EXPECT_EQ(printer.DeviceName(), L"[Error]");
  EXPECT_FALSE(printer.FreezeEvents());
  EXPECT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"x"), OPOS_E_CLOSED);
  EXPECT_EQ(printer.Close(), OPOS_E_CLOSED);
  EXPECT_EQ(printer.ClaimDevice(0), OPOS_E_CLOSED);
  printer.SetDeviceEnabled(true);  // ignored
  EXPECT_TRUE(Calls().empty());

  ASSERT_EQ(printer.Open(L"F1"), OPOS_SUCCESS);
  EXPECT_EQ(printer.Open(L"F1"), OPOS_E_ILLEGAL);
  EXPECT_EQ(printer.OpenResult(), OPOS_OR_ALREADYOPEN);
  EXPECT_EQ(printer.ResultCode(), OPOS_E_ILLEGAL);
  EXPECT_EQ(printer.ControlObjectVersion(), 1013001);
  EXPECT_EQ(printer.Close(), OPOS_SUCCESS);
  EXPECT_EQ(LastCall(), "Destroyed");
}

TEST_F(CoFake, CallsLikeTheStandardControlObjects) {
  POSPrinter printer;
  ASSERT_EQ(printer.Open(L"Front"), OPOS_SUCCESS);
  auto calls = Calls();
  // Arguments are logged rgvarg[0] first: the last parameter first.
  EXPECT_NE(std::find(calls.begin(), calls.end(),
                      "OpenService flags=1 DISPATCH BSTR:F1 BSTR:POSPrinter result"),
            calls.end());
  EXPECT_NE(std::find(calls.begin(), calls.end(), "GetPropertyNumber flags=1 I4:8 result"),
            calls.end());

  EXPECT_EQ(printer.ClaimDevice(1000), OPOS_SUCCESS);
  EXPECT_EQ(LastCall(), "ClaimDevice flags=1 I4:1000 result");
  printer.SetDeviceEnabled(true);
  EXPECT_EQ(LastCall(), "SetPropertyNumber flags=1 I4:1 I4:3 result");
  printer.SetDeviceEnabled(false);
  EXPECT_EQ(LastCall(), "SetPropertyNumber flags=1 I4:0 I4:3 result");
  printer.SetFreezeEvents(true);
  EXPECT_EQ(LastCall(), "SetPropertyNumber flags=1 I4:1 I4:4 result");
  printer.SetAsyncMode(1);
  EXPECT_EQ(LastCall(), "SetPropertyNumber flags=1 I4:1 I4:8001 result");
  EXPECT_EQ(printer.ErrorString(), L"fake text");
  EXPECT_EQ(LastCall(), "GetPropertyString flags=1 I4:1008005 result");
  printer.SetPageModePrintArea(L"0,0,100,100");
  EXPECT_EQ(LastCall(), "SetPropertyString flags=1 BSTR:0,0,100,100 I4:1008012 result");

  LONG data = 5;
  std::wstring text = L"abc";
  EXPECT_EQ(printer.DirectIO(7, data, text), OPOS_SUCCESS);
  EXPECT_EQ(LastCall(), "DirectIO flags=1 REF_BSTR:abc REF_I4:5 I4:7 result");
  EXPECT_EQ(data, 6);
  EXPECT_EQ(text, L"abc!");

  EXPECT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L""), OPOS_SUCCESS);
  EXPECT_EQ(LastCall(), "PrintNormal flags=1 BSTR: I4:2 result");  // never a null BSTR
  EXPECT_EQ(printer.PrintBarCode(PTR_S_RECEIPT, L"123", PTR_BCS_Code128, 50, 2, PTR_BC_CENTER,
                                 PTR_BC_TEXT_NONE),
            OPOS_SUCCESS);
  EXPECT_EQ(LastCall(), "PrintBarCode flags=1 I4:-11 I4:-2 I4:2 I4:50 I4:110 BSTR:123 I4:2 result");
  std::wstring stats = L"s";
  EXPECT_EQ(printer.RetrieveStatistics(stats), OPOS_SUCCESS);
  EXPECT_EQ(LastCall(), "RetrieveStatistics flags=1 REF_BSTR:s result");
  LONG compare = 9;
  EXPECT_EQ(printer.CompareFirmwareVersion(L"fw", compare), OPOS_SUCCESS);
  EXPECT_EQ(LastCall(), "CompareFirmwareVersion flags=1 REF_I4:9 BSTR:fw result");
  EXPECT_EQ(printer.ReleaseDevice(), OPOS_SUCCESS);
  EXPECT_EQ(LastCall(), "ReleaseDevice flags=1 result");
  EXPECT_EQ(printer.Close(), OPOS_SUCCESS);
}

// PrintLine and PrintCurveText are no standard methods: looked up by name, and 104 without
// a call when the service object lacks one.
TEST_F(CoFake, OwnMethodsGoByName) {
  struct Case {
    const char* missing;
    LONG lineResult;
    const char* lastCall;
  };
  const Case cases[] = {
      {nullptr, OPOS_SUCCESS, "PrintLine flags=1 BSTR:0,100 I4:2 result"},
      {"PrintLine", OPOS_E_NOSERVICE, "PrintCurveText flags=1 BSTR:ab I4:8 I4:1 I4:2 result"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.missing ? c.missing : "none missing");
    if (c.missing) setenv("FAKE_SO_MISSING", c.missing, 1);
    POSPrinter printer;
    EXPECT_EQ(printer.PrintLine(PTR_S_RECEIPT, L"0,100"), OPOS_E_CLOSED);
    ASSERT_EQ(printer.Open(L"F1"), OPOS_SUCCESS);
    EXPECT_EQ(printer.PrintCurveText(PTR_S_RECEIPT, 1, 8, L"ab"), OPOS_SUCCESS);
    EXPECT_EQ(LastCall(), "PrintCurveText flags=1 BSTR:ab I4:8 I4:1 I4:2 result");
    EXPECT_EQ(printer.PrintLine(PTR_S_RECEIPT, L"0,100"), c.lineResult);
    EXPECT_EQ(printer.PrintLine(PTR_S_RECEIPT, L"0,100"), c.lineResult);  // from the cache
    EXPECT_EQ(LastCall(), c.lastCall);
    if (c.lineResult != OPOS_SUCCESS) {
      EXPECT_EQ(printer.ResultCode(), c.lineResult);
    }
    EXPECT_EQ(printer.Close(), OPOS_SUCCESS);
  }
}

TEST_F(CoFake, CashDrawerUsesItsClassAndTable) {
  CashDrawer drawer;
  ASSERT_EQ(drawer.Open(L"FD1"), OPOS_SUCCESS);
  EXPECT_TRUE(Called("OpenService flags=1 DISPATCH BSTR:FD1 BSTR:CashDrawer result"));
  EXPECT_EQ(drawer.OpenDrawer(), OPOS_SUCCESS);
  EXPECT_EQ(LastCall(), "OpenDrawer flags=1 result");
  EXPECT_EQ(drawer.WaitForDrawerClose(1, 2, 3, 4), OPOS_SUCCESS);
  EXPECT_EQ(LastCall(), "WaitForDrawerClose flags=1 I4:4 I4:3 I4:2 I4:1 result");
  drawer.DrawerOpened();
  EXPECT_EQ(LastCall(), "GetPropertyNumber flags=1 I4:1001 result");
}

TEST_F(CoFake, EventsBecomeCallbacks) {
  POSPrinter printer;
  std::vector<std::string> seen;
  printer.Callbacks().statusUpdate = [&](LONG data) { seen.push_back("status " + std::to_string(data)); };
  printer.Callbacks().outputComplete = [&](LONG id) { seen.push_back("output " + std::to_string(id)); };
  printer.Callbacks().error = [&](LONG rc, LONG rce, LONG locus, LONG& response) {
    seen.push_back("error " + std::to_string(rc) + " " + std::to_string(rce) + " " +
                   std::to_string(locus) + " " + std::to_string(response));
    response = OPOS_ER_CLEAR;
  };
  printer.Callbacks().directIO = [&](LONG number, LONG& data, std::wstring& text) {
    seen.push_back("directio " + std::to_string(number) + " " + std::to_string(data));
    data = 99;
    text = L"back";
  };
  ASSERT_EQ(printer.Open(L"F1"), OPOS_SUCCESS);
  LONG data = 0;
  std::wstring text;
  ASSERT_EQ(printer.DirectIO(999, data, text), OPOS_SUCCESS);
  EXPECT_EQ(seen, (std::vector<std::string>{"status 1234", "output 77", "error 114 203 1 11",
                                            "directio 3 5"}));
  EXPECT_TRUE(Called("response 12"));
  EXPECT_TRUE(Called("directio 99 back"));

  // An exclusive device delivers nothing between release and the next claim.
  ASSERT_EQ(printer.ClaimDevice(0), OPOS_SUCCESS);
  ASSERT_EQ(printer.ReleaseDevice(), OPOS_SUCCESS);
  seen.clear();
  ASSERT_EQ(printer.DirectIO(999, data, text), OPOS_SUCCESS);
  EXPECT_TRUE(seen.empty());
  EXPECT_TRUE(Called("event SOStatusUpdate hr=0"));  // the service object cannot tell
}

TEST_F(CoFake, CashDrawerKnowsNoErrorOrOutputEvents) {
  CashDrawer drawer;
  LONG status = 0;
  drawer.Callbacks().statusUpdate = [&](LONG data) { status = data; };
  ASSERT_EQ(drawer.Open(L"FD1"), OPOS_SUCCESS);
  LONG data = 0;
  std::wstring text;
  ASSERT_EQ(drawer.DirectIO(999, data, text), OPOS_SUCCESS);
  EXPECT_EQ(status, 1234);
  EXPECT_TRUE(Called("event SOError unknown"));
  EXPECT_TRUE(Called("event SOOutputComplete unknown"));
}

}  // namespace
}  // namespace zanth::co

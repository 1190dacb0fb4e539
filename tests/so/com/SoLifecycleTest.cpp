// Opening, sharing, claiming and enabling a printer on the file port through the
// late-bound interface: owners and attached instances, printer and drawer roles.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "so/com/SoTestSupport.h"

namespace zanth::test {
namespace {

using platform::MakeBool;
using platform::MakeBstr;
using platform::MakeDispatch;
using platform::MakeI4;

class SoLifecycle : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library().Loaded()) << dlerror();
    output_ = registry_.Folder() + "/printer.out";
    AddFilePrinter(L"P1", output_);
  }
  void TearDown() override {
    for (IDispatch* so : objects_) so->Release();
  }
  IDispatch* NewSo() {
    IDispatch* so = Library().Create();
    if (so) objects_.push_back(so);
    return so;
  }
  static LONG SetNumber(IDispatch* so, LONG index, LONG value) {
    return CallLong(so, 8, {MakeI4(index), MakeI4(value)});
  }
  static LONG Claim(IDispatch* so) { return CallLong(so, 13, {MakeI4(1000)}); }
  static LONG Release(IDispatch* so) { return CallLong(so, 17, {}); }
  static LONG Close(IDispatch* so) { return CallLong(so, 15, {}); }
  static LONG OpenResult(IDispatch* so) { return CallLong(so, 44, {}); }

  TempRegistry registry_;
  std::string output_;
  std::vector<IDispatch*> objects_;
};

TEST_F(SoLifecycle, OpenClaimEnableAndBack) {
  IDispatch* so = NewSo();
  ASSERT_EQ(Open(so, L"POSPrinter", L"P1"), OPOS_SUCCESS);
  EXPECT_EQ(OpenResult(so), 0);
  EXPECT_EQ(GetNumber(so, PIDX_ResultCode), 0);  // nothing set it yet: reads as success
  EXPECT_EQ(GetNumber(so, PIDX_ResultCodeExtended), 0);
  EXPECT_EQ(GetNumber(so, PIDXPtr_ErrorLevel), 1);
  EXPECT_EQ(GetString(so, PIDXPtr_ErrorString), L"");
  EXPECT_EQ(Open(so, L"POSPrinter", L"P1"), OPOS_SUCCESS);  // already open

  EXPECT_EQ(SetNumber(so, PIDX_DeviceEnabled, 1), OPOS_E_NOTCLAIMED);
  ASSERT_EQ(Claim(so), OPOS_SUCCESS);
  EXPECT_EQ(GetNumber(so, PIDX_Claimed), 1);
  ASSERT_EQ(SetNumber(so, PIDX_DeviceEnabled, 1), OPOS_SUCCESS);
  EXPECT_EQ(GetNumber(so, PIDX_DeviceEnabled), 1);
  EXPECT_EQ(GetNumber(so, PIDX_ResultCode), OPOS_SUCCESS);
  ASSERT_EQ(SetNumber(so, PIDX_DeviceEnabled, 0), OPOS_SUCCESS);
  EXPECT_EQ(GetNumber(so, PIDX_DeviceEnabled), 0);
  ASSERT_EQ(Release(so), OPOS_SUCCESS);
  EXPECT_EQ(GetNumber(so, PIDX_Claimed), 0);
  ASSERT_EQ(Close(so), OPOS_SUCCESS);
  EXPECT_EQ(GetNumber(so, PIDX_State), OPOS_S_CLOSED);
  EXPECT_EQ(Close(so), OPOS_E_CLOSED);
}

TEST_F(SoLifecycle, StateCheckOrderAgainstStationCheckOrder) {
  IDispatch* so = NewSo();
  ASSERT_EQ(Open(so, L"POSPrinter", L"P1"), OPOS_SUCCESS);
  ASSERT_EQ(Claim(so), OPOS_SUCCESS);
  // Disabled: PrintNormal checks the state first, PrintBarCode the station first.
  EXPECT_EQ(CallLong(so, 25, {MakeI4(PTR_S_JOURNAL), MakeBstr(L"text")}), OPOS_E_DISABLED);
  EXPECT_EQ(GetNumber(so, PIDX_ResultCode), OPOS_E_DISABLED);
  EXPECT_EQ(CallLong(so, 22, {MakeI4(PTR_S_JOURNAL), MakeBstr(L"12345"), MakeI4(PTR_BCS_Code128),
                              MakeI4(50), MakeI4(2), MakeI4(PTR_BC_CENTER), MakeI4(PTR_BC_TEXT_NONE)}),
            OPOS_E_ILLEGAL);
  EXPECT_EQ(GetNumber(so, PIDX_ResultCode), OPOS_E_ILLEGAL);
  EXPECT_EQ(GetNumber(so, PIDX_ResultCodeExtended), 301);
  // The other station-first methods, and one station-second method while enabled.
  EXPECT_EQ(CallLong(so, 24, {MakeI4(PTR_S_SLIP), MakeBstr(L"x")}), OPOS_E_ILLEGAL);
  EXPECT_EQ(CallLong(so, 23, {MakeI4(PTR_S_SLIP), MakeBstr(L"a.bmp"), MakeI4(0), MakeI4(0)}),
            OPOS_E_ILLEGAL);
  ASSERT_EQ(SetNumber(so, PIDX_DeviceEnabled, 1), OPOS_SUCCESS);
  EXPECT_EQ(CallLong(so, 25, {MakeI4(PTR_S_JOURNAL), MakeBstr(L"text")}), OPOS_E_ILLEGAL);
  EXPECT_EQ(GetNumber(so, PIDX_ResultCodeExtended), 301);
}

TEST_F(SoLifecycle, SecondInstanceAttachesWithoutASecondPort) {
  IDispatch* owner = NewSo();
  IDispatch* second = NewSo();
  ASSERT_EQ(Open(owner, L"POSPrinter", L"P1"), OPOS_SUCCESS);
  // Without its port file a new engine could not open: attaching needs none.
  ASSERT_EQ(std::remove(output_.c_str()), 0);
  EXPECT_EQ(Open(second, L"POSPrinter", L"P1"), OPOS_SUCCESS);
  EXPECT_EQ(OpenResult(second), 0);
  EXPECT_EQ(GetNumber(second, PIDX_ResultCode), 0);
  // A third, unrelated instance that needs its own engine does fail on the missing file.
  IDispatch* fresh = NewSo();
  AddFilePrinter(L"P2", registry_.Folder() + "/p2.out");
  ASSERT_EQ(std::remove((registry_.Folder() + "/p2.out").c_str()), 0);
  EXPECT_EQ(Open(fresh, L"POSPrinter", L"P2"), OPOS_E_ILLEGAL);
  EXPECT_EQ(OpenResult(fresh), OPOS_ORS_NOPORT);
}

TEST_F(SoLifecycle, ClaimAndEnableCombineOverTwoClients) {
  IDispatch* owner = NewSo();
  IDispatch* second = NewSo();
  ASSERT_EQ(Open(owner, L"POSPrinter", L"P1"), OPOS_SUCCESS);
  ASSERT_EQ(Open(second, L"POSPrinter", L"P1"), OPOS_SUCCESS);
  ASSERT_EQ(Claim(owner), OPOS_SUCCESS);
  ASSERT_EQ(Claim(second), OPOS_SUCCESS);
  ASSERT_EQ(SetNumber(owner, PIDX_DeviceEnabled, 1), OPOS_SUCCESS);
  ASSERT_EQ(SetNumber(second, PIDX_DeviceEnabled, 1), OPOS_SUCCESS);
  EXPECT_EQ(GetNumber(second, PIDX_DeviceEnabled), 1);

  // The second client disables: the engine stays enabled for the owner.
  ASSERT_EQ(SetNumber(second, PIDX_DeviceEnabled, 0), OPOS_SUCCESS);
  EXPECT_EQ(GetNumber(second, PIDX_DeviceEnabled), 0);
  EXPECT_EQ(GetNumber(owner, PIDX_DeviceEnabled), 1);
  // The owner disables too: now the engine is disabled.
  ASSERT_EQ(SetNumber(owner, PIDX_DeviceEnabled, 0), OPOS_SUCCESS);
  EXPECT_EQ(GetNumber(owner, PIDX_DeviceEnabled), 0);
  EXPECT_EQ(CallLong(owner, 19, {MakeI4(100)}), OPOS_E_DISABLED);

  // The first release leaves the engine claimed for the other client.
  ASSERT_EQ(Release(second), OPOS_SUCCESS);
  EXPECT_EQ(GetNumber(second, PIDX_Claimed), 0);
  EXPECT_EQ(GetNumber(owner, PIDX_Claimed), 1);
  ASSERT_EQ(Release(owner), OPOS_SUCCESS);
  EXPECT_EQ(GetNumber(owner, PIDX_Claimed), 0);

  // The owner closes first; the attached instance keeps the engine.
  ASSERT_EQ(Close(owner), OPOS_SUCCESS);
  ASSERT_EQ(Claim(second), OPOS_SUCCESS);
  ASSERT_EQ(SetNumber(second, PIDX_DeviceEnabled, 1), OPOS_SUCCESS);
  ASSERT_EQ(SetNumber(second, PIDX_DeviceEnabled, 0), OPOS_SUCCESS);
  ASSERT_EQ(Close(second), OPOS_SUCCESS);  // disables nothing more, releases, closes
  EXPECT_EQ(GetNumber(second, PIDX_Claimed), 0);
  EXPECT_EQ(GetNumber(second, PIDX_State), OPOS_S_CLOSED);
}

TEST_F(SoLifecycle, ReleasedObjectsLeaveTheDeviceFree) {
  IDispatch* first = Library().Create();
  ASSERT_EQ(Open(first, L"POSPrinter", L"P1"), OPOS_SUCCESS);
  ASSERT_EQ(Claim(first), OPOS_SUCCESS);
  ASSERT_EQ(SetNumber(first, PIDX_DeviceEnabled, 1), OPOS_SUCCESS);
  first->Release();  // destruction disables, releases and closes
  IDispatch* next = NewSo();
  ASSERT_EQ(std::remove(output_.c_str()), 0);
  // Nothing shares the old engine any more: a new open needs the port again.
  EXPECT_EQ(Open(next, L"POSPrinter", L"P1"), OPOS_E_ILLEGAL);
  EXPECT_EQ(OpenResult(next), OPOS_ORS_NOPORT);
}

TEST_F(SoLifecycle, CashDrawerWithItsPrinterClosedBecomesTheOwner) {
  AddDrawer(L"D1", L"P1");
  IDispatch* drawer = NewSo();
  ASSERT_EQ(Open(drawer, L"CashDrawer", L"D1"), OPOS_SUCCESS);
  EXPECT_EQ(OpenResult(drawer), 0);
  EXPECT_EQ(GetString(drawer, PIDX_ServiceObjectDescription),
            L"POS CashDrawer OPOS Service Object");
  EXPECT_EQ(GetString(drawer, PIDX_DeviceDescription), L"POS CashDrawer");
  EXPECT_EQ(GetNumber(drawer, PIDXCash_CapStatus), 1);
  // The printer instance now attaches to the drawer's engine: no port needed.
  ASSERT_EQ(std::remove(output_.c_str()), 0);
  IDispatch* printer = NewSo();
  EXPECT_EQ(Open(printer, L"POSPrinter", L"P1"), OPOS_SUCCESS);
  std::ofstream(output_).close();  // the port is opened again at the claim
  // The drawer's health check texts, after the state check.
  EXPECT_EQ(CallLong(drawer, 12, {MakeI4(OPOS_CH_INTERNAL)}), OPOS_E_NOTCLAIMED);
  ASSERT_EQ(Claim(drawer), OPOS_SUCCESS);
  ASSERT_EQ(SetNumber(drawer, PIDX_DeviceEnabled, 1), OPOS_SUCCESS);
  EXPECT_EQ(CallLong(drawer, 12, {MakeI4(OPOS_CH_INTERNAL)}), OPOS_SUCCESS);
  EXPECT_EQ(GetString(drawer, PIDX_CheckHealthText), L"Internal HealthCheck: Successful.");
  EXPECT_EQ(CallLong(drawer, 12, {MakeI4(7)}), OPOS_E_EXTENDED);
  EXPECT_EQ(GetString(drawer, PIDX_CheckHealthText),
            L"Illegal Health Check Level!\r\nOPOS_E_ILLEGAL");
  EXPECT_EQ(GetNumber(drawer, PIDX_ResultCodeExtended), 300);
}

TEST_F(SoLifecycle, DrawerWithoutStatusCapabilityCannotWait) {
  AddDrawer(L"D0", L"P1", L"0");
  IDispatch* drawer = NewSo();
  ASSERT_EQ(Open(drawer, L"CashDrawer", L"D0"), OPOS_SUCCESS);
  ASSERT_EQ(Claim(drawer), OPOS_SUCCESS);
  ASSERT_EQ(SetNumber(drawer, PIDX_DeviceEnabled, 1), OPOS_SUCCESS);
  EXPECT_EQ(CallLong(drawer, 121, {MakeI4(1000), MakeI4(800), MakeI4(100), MakeI4(100)}),
            OPOS_E_EXTENDED);
  EXPECT_EQ(GetNumber(drawer, PIDX_ResultCodeExtended), 300);
  EXPECT_EQ(GetNumber(drawer, PIDXCash_DrawerOpened), 0);
}

TEST_F(SoLifecycle, FreezeEventsReadsTrueForVariantTrue) {
  IDispatch* so = NewSo();
  ASSERT_EQ(Open(so, L"POSPrinter", L"P1"), OPOS_SUCCESS);
  EXPECT_EQ(CallLong(so, 6, {MakeBool(true)}), OPOS_SUCCESS);  // VT_BOOL -1
  EXPECT_EQ(GetNumber(so, PIDX_FreezeEvents), 1);
  EXPECT_EQ(CallLong(so, 6, {MakeBool(false)}), OPOS_SUCCESS);
  EXPECT_EQ(GetNumber(so, PIDX_FreezeEvents), 0);
  EXPECT_EQ(SetNumber(so, PIDX_FreezeEvents, 1), OPOS_SUCCESS);
  EXPECT_EQ(GetNumber(so, PIDX_FreezeEvents), 1);
  EXPECT_EQ(SetNumber(so, PIDX_FreezeEvents, 0), OPOS_SUCCESS);
  EXPECT_EQ(GetNumber(so, PIDX_FreezeEvents), 0);
}

struct OpenFailure {
  const char* name;
  const wchar_t* classKey;
  const wchar_t* device;
  void (*prepare)(const std::string& folder);
  LONG result;
  LONG openResult;
};

const OpenFailure kOpenFailures[] = {
    {"empty name", L"POSPrinter", L"", [](const std::string&) {}, OPOS_E_ILLEGAL,
     OPOS_ORS_NOTSUPPORTED},
    {"no printer entry", L"POSPrinter", L"Nope", [](const std::string&) {}, OPOS_E_ILLEGAL,
     OPOS_ORS_CONFIG},
    {"unreadable value", L"POSPrinter", L"P1",
     [](const std::string&) {
       TempRegistry::SetDword(std::wstring(kPrinterRoot) + L"P1", L"Notes", 1);
     },
     OPOS_E_ILLEGAL, OPOS_ORS_CONFIG},
    {"unknown port type", L"POSPrinter", L"P1",
     [](const std::string&) {
       TempRegistry::SetString(std::wstring(kPrinterRoot) + L"P1", L"PortType", L"file");
     },
     OPOS_E_ILLEGAL, OPOS_ORS_CONFIG},
    {"unknown model", L"POSPrinter", L"P1",
     [](const std::string&) {
       TempRegistry::SetString(std::wstring(kPrinterRoot) + L"P1", L"DriverModel", L"tm-t88iv");
     },
     OPOS_E_ILLEGAL, OPOS_ORS_NOTSUPPORTED},
    {"port file missing", L"POSPrinter", L"P1",
     [](const std::string& folder) { std::remove((folder + "/printer.out").c_str()); },
     OPOS_E_ILLEGAL, OPOS_ORS_NOPORT},
    // Any class key but "POSPrinter" is the drawer role and looks for a drawer entry.
    {"other class key", L"LineDisplay", L"P1", [](const std::string&) {}, OPOS_E_ILLEGAL,
     OPOS_ORS_CONFIG},
    {"drawer entry missing", L"CashDrawer", L"D9", [](const std::string&) {}, OPOS_E_ILLEGAL,
     OPOS_ORS_CONFIG},
    {"drawer's printer missing", L"CashDrawer", L"D1",
     [](const std::string&) { AddDrawer(L"D1", L"NoSuchPrinter"); }, OPOS_E_NOSERVICE,
     OPOS_ORS_CONFIG},
    {"drawer value unreadable", L"CashDrawer", L"D1",
     [](const std::string&) {
       AddDrawer(L"D1", L"P1");
       TempRegistry::DeleteValue(std::wstring(kDrawerRoot) + L"D1", L"SignalOnTime");
     },
     OPOS_E_NOSERVICE, OPOS_ORS_CONFIG},
};

class SoOpenFailures : public SoLifecycle, public testing::WithParamInterface<OpenFailure> {};

TEST_P(SoOpenFailures, ReportTheRoleCodeAndTheStage) {
  GetParam().prepare(registry_.Folder());
  IDispatch* so = NewSo();
  EXPECT_EQ(Open(so, GetParam().classKey, GetParam().device), GetParam().result);
  EXPECT_EQ(OpenResult(so), GetParam().openResult);
  EXPECT_EQ(GetNumber(so, PIDX_ResultCode), OPOS_E_CLOSED);  // still closed
  EXPECT_EQ(CallLong(so, 13, {MakeI4(0)}), OPOS_E_CLOSED);
}

INSTANTIATE_TEST_SUITE_P(All, SoOpenFailures, testing::ValuesIn(kOpenFailures),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& c : name) if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

TEST_F(SoLifecycle, OtherClassKeyOpensADrawerEntry) {
  AddDrawer(L"D1", L"P1");
  IDispatch* so = NewSo();
  ASSERT_EQ(Open(so, L"Drawer", L"D1"), OPOS_SUCCESS);
  EXPECT_EQ(GetString(so, PIDX_DeviceDescription), L"POS CashDrawer");
}

}  // namespace
}  // namespace zanth::test

// What registration writes into the registry store, what unregistration leaves, per-user
// installation, and activation through the written keys.
#include <gtest/gtest.h>

#include <set>

#include "so/com/SoTestSupport.h"

namespace zanth::test {
namespace {

// Every key (as "path") and value (as "path|name=data") under root\path, recursively.
void Walk(HKEY root, const std::wstring& path, std::set<std::wstring>& out) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  out.insert(path);
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256;
    BYTE data[2048];
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) {
      break;
    }
    std::wstring text = type == REG_SZ ? std::wstring(reinterpret_cast<wchar_t*>(data))
                                       : L"<type " + std::to_wstring(type) + L">";
    out.insert(path + L"|" + std::wstring(name, nameLength) + L"=" + text);
  }
  std::vector<std::wstring> children;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256;
    if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    children.emplace_back(name, nameLength);
  }
  RegCloseKey(key);
  for (const std::wstring& child : children) Walk(root, path + L"\\" + child, out);
}

std::set<std::wstring> Expected(const std::wstring& base, const std::wstring& module) {
  const std::wstring clsid = base + L"\\CLSID\\{36D4C79D-819F-40E4-A1A2-A7BB9B9D78A2}";
  const std::wstring progId = base + L"\\ZanthOposPrinterU1.13";
  const std::wstring independent = base + L"\\ZanthOposPrinterU1";
  const std::wstring typeLib = base + L"\\TypeLib\\{4575CE65-A534-4753-87B4-C0891A38160B}";
  const std::wstring iface = base + L"\\Interface\\{791F9BD0-34E1-4F57-A938-7AA4984CCB02}";
  const std::wstring folder = module.substr(0, module.find_last_of(L'/'));
  const std::wstring psoa = L"{00020424-0000-0000-C000-000000000046}";
  return {
      base,
      progId, progId + L"|=ZanthOposPrinterSO Class",
      progId + L"\\CLSID", progId + L"\\CLSID|={36D4C79D-819F-40E4-A1A2-A7BB9B9D78A2}",
      progId + L"\\Insertable",
      independent, independent + L"|=ZanthOposPrinterSO Class",
      independent + L"\\CurVer", independent + L"\\CurVer|=ZanthOposPrinterU1.13",
      base + L"\\CLSID",
      clsid, clsid + L"|=OposPrinterSO Class",
      clsid + L"\\ProgID", clsid + L"\\ProgID|=ZanthOposPrinterU1.13",
      clsid + L"\\VersionIndependentProgID",
      clsid + L"\\VersionIndependentProgID|=ZanthOposPrinterU1",
      clsid + L"\\Programmable",
      clsid + L"\\InprocServer32", clsid + L"\\InprocServer32|=" + module,
      clsid + L"\\InprocServer32|ThreadingModel=Apartment",
      clsid + L"\\Control",
      clsid + L"\\Insertable",
      clsid + L"\\ToolboxBitmap32", clsid + L"\\ToolboxBitmap32|=" + module + L", 106",
      clsid + L"\\MiscStatus", clsid + L"\\MiscStatus|=0",
      clsid + L"\\MiscStatus\\1", clsid + L"\\MiscStatus\\1|=131473",
      clsid + L"\\TypeLib", clsid + L"\\TypeLib|={4575CE65-A534-4753-87B4-C0891A38160B}",
      clsid + L"\\Version", clsid + L"\\Version|=1.0",
      base + L"\\TypeLib", typeLib,
      typeLib + L"\\1.0", typeLib + L"\\1.0|=OPosPrinterSOLib",
      typeLib + L"\\1.0\\409", typeLib + L"\\1.0\\409\\win32",
      typeLib + L"\\1.0\\409\\win32|=" + module,
      typeLib + L"\\1.0\\FLAGS", typeLib + L"\\1.0\\FLAGS|=0",
      typeLib + L"\\1.0\\HELPDIR", typeLib + L"\\1.0\\HELPDIR|=" + folder,
      base + L"\\Interface", iface, iface + L"|=ITeskOposPrinterSO",
      iface + L"\\ProxyStubClsid", iface + L"\\ProxyStubClsid|=" + psoa,
      iface + L"\\ProxyStubClsid32", iface + L"\\ProxyStubClsid32|=" + psoa,
      iface + L"\\TypeLib", iface + L"\\TypeLib|={4575CE65-A534-4753-87B4-C0891A38160B}",
      iface + L"\\TypeLib|Version=1.0",
  };
}

std::wstring ModulePath() {
  char resolved[PATH_MAX];
  return platform::FromUtf8(realpath(Library().Path().c_str(), resolved) ? resolved : "");
}

class SoRegistration : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Library().Loaded()) << dlerror(); }
  TempRegistry registry_;
};

TEST_F(SoRegistration, WritesExactlyTheClassKeysAndRemovesThem) {
  ASSERT_EQ(Library().registerServer(), S_OK);
  std::set<std::wstring> written;
  Walk(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes", written);
  const std::set<std::wstring> expected = Expected(L"SOFTWARE\\Classes", ModulePath());
  for (const std::wstring& item : expected) EXPECT_TRUE(written.count(item)) << "missing " << platform::ToUtf8(item);
  for (const std::wstring& item : written) EXPECT_TRUE(expected.count(item)) << "extra " << platform::ToUtf8(item);
  std::set<std::wstring> user;
  Walk(HKEY_CURRENT_USER, L"Software\\Classes", user);
  EXPECT_TRUE(user.empty());

  // Registering again recreates the class key: a stale subkey goes.
  HKEY stale = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                            L"SOFTWARE\\Classes\\CLSID\\{36D4C79D-819F-40E4-A1A2-A7BB9B9D78A2}\\Stale",
                            0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &stale, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(stale);
  ASSERT_EQ(Library().registerServer(), S_OK);
  written.clear();
  Walk(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes", written);
  EXPECT_EQ(written, expected);

  ASSERT_EQ(Library().unregisterServer(), S_OK);
  written.clear();
  Walk(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes", written);
  // Only the shared parent folders stay, empty, as on Windows.
  EXPECT_EQ(written, (std::set<std::wstring>{L"SOFTWARE\\Classes", L"SOFTWARE\\Classes\\CLSID",
                                             L"SOFTWARE\\Classes\\TypeLib",
                                             L"SOFTWARE\\Classes\\Interface"}));
  // Unregistering what is not there is no error.
  EXPECT_EQ(Library().unregisterServer(), S_OK);
}

TEST_F(SoRegistration, ActivationByProgIdOnlyAfterRegistration) {
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(L"ZanthOposPrinterU1.13", &clsid), CO_E_CLASSSTRING);
  ASSERT_EQ(Library().registerServer(), S_OK);
  ASSERT_EQ(CLSIDFromProgID(L"ZANTHOPOSPRINTERU1.13", &clsid), S_OK);  // keys ignore case
  EXPECT_EQ(platform::FormatGuid(clsid), L"{36D4C79D-819F-40E4-A1A2-A7BB9B9D78A2}");
  IDispatch* so = nullptr;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch,
                             reinterpret_cast<void**>(&so)),
            S_OK);
  EXPECT_EQ(GetNumber(so, PIDX_ServiceObjectVersion), 1013001);
  so->Release();

  ASSERT_EQ(Library().unregisterServer(), S_OK);
  EXPECT_EQ(CLSIDFromProgID(L"ZanthOposPrinterU1.13", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch,
                             reinterpret_cast<void**>(&so)),
            REGDB_E_CLASSNOTREG);
}

TEST_F(SoRegistration, MissingLibraryIsReportedNotFatal) {
  ASSERT_EQ(Library().registerServer(), S_OK);
  ASSERT_TRUE(TempRegistry::SetString(
      L"SOFTWARE\\Classes\\CLSID\\{36D4C79D-819F-40E4-A1A2-A7BB9B9D78A2}\\InprocServer32", L"",
      platform::FromUtf8(registry_.Folder()) + L"/gone.so"));
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(L"ZanthOposPrinterU1.13", &clsid), S_OK);
  IUnknown* object = nullptr;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            CO_E_DLLNOTFOUND);
  EXPECT_EQ(object, nullptr);
  EXPECT_NE(platform::ComLastErrorText().find("gone.so"), std::string::npos);
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr), E_POINTER);
}

// Both in one test: the per-user switch lasts for the rest of the process.
TEST_F(SoRegistration, InstallPerUserOnlyForTheExactWordUser) {
  ASSERT_EQ(Library().install(TRUE, L"users"), S_OK);  // five characters: not "user"
  std::set<std::wstring> machine;
  Walk(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes", machine);
  EXPECT_EQ(machine, Expected(L"SOFTWARE\\Classes", ModulePath()));
  ASSERT_EQ(Library().install(FALSE, nullptr), S_OK);

  ASSERT_EQ(Library().install(TRUE, L"USER"), S_OK);
  std::set<std::wstring> user;
  Walk(HKEY_CURRENT_USER, L"Software\\Classes", user);
  EXPECT_EQ(user, Expected(L"Software\\Classes", ModulePath()));
  machine.clear();
  Walk(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\ZanthOposPrinterU1.13", machine);
  EXPECT_TRUE(machine.empty());
  // HKEY_CLASSES_ROOT sees the per-user class.
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(L"ZanthOposPrinterU1.13", &clsid), S_OK);
  // Later plain calls stay per user.
  ASSERT_EQ(Library().unregisterServer(), S_OK);
  user.clear();
  Walk(HKEY_CURRENT_USER, L"Software\\Classes\\ZanthOposPrinterU1.13", user);
  EXPECT_TRUE(user.empty());
  ASSERT_EQ(Library().install(TRUE, nullptr), S_OK);
  user.clear();
  Walk(HKEY_CURRENT_USER, L"Software\\Classes\\ZanthOposPrinterU1", user);
  EXPECT_FALSE(user.empty());
}

}  // namespace
}  // namespace zanth::test

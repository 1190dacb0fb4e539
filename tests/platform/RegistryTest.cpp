// The registry calls over the file store, in one process.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "RegTestUtil.h"
#include "TempDir.h"

namespace {

using testing_support::GetDword;
using testing_support::GetString;
using testing_support::Key;
using testing_support::ReadFileBytes;
using testing_support::SetDword;
using testing_support::SetString;
using testing_support::WriteFileBytes;

class Registry : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.Path().empty()); }

  // Points the store at a copy of the file, which it must parse afresh: what a second
  // process would see.
  void ReopenFromDisk() {
    const std::string copy = dir_.File("copy" + std::to_string(++copies_) + ".reg");
    std::filesystem::copy_file(file_, copy);
    ::setenv("OPOS_REGISTRY", copy.c_str(), 1);
  }

  HKEY Create(HKEY root, const wchar_t* path, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, disposition),
              ERROR_SUCCESS)
        << platform::RegistryLastErrorText();
    return key;
  }

  LONG Open(HKEY root, const wchar_t* path, HKEY* key, REGSAM access = KEY_READ) {
    return RegOpenKeyExW(root, path, 0, access, key);
  }

  testing_support::TempDir dir_;
  std::string file_ = dir_.File("sub/dir/registry.reg");
  testing_support::ScopedRegistryFile reg_{file_};
  int copies_ = 0;
};

TEST_F(Registry, MissingFileIsEmptyAndReadsDoNotCreateIt) {
  Key key;
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OLEforRetail", key.Out()), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.Get(), nullptr);
  Key root;
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, L"", root.Out()), ERROR_SUCCESS);
  wchar_t name[32];
  DWORD length = 32;
  EXPECT_EQ(RegEnumKeyExW(HKEY_LOCAL_MACHINE, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  EXPECT_FALSE(std::filesystem::exists(file_));
}

TEST_F(Registry, FirstWriteCreatesFolderAndFileAndReportsDisposition) {
  DWORD disposition = 0;
  Key key(Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OLEforRetail\\ServiceOPOS", &disposition));
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  EXPECT_TRUE(std::filesystem::exists(file_));
  Key again(Create(HKEY_LOCAL_MACHINE, L"software\\oleforretail\\serviceopos", &disposition));
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  const std::string bytes = ReadFileBytes(file_);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE") << "written UTF-16LE with a BOM";
  ReopenFromDisk();
  Key reread;
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OLEforRetail\\ServiceOPOS", reread.Out()), ERROR_SUCCESS);
}

TEST_F(Registry, ValuesOfEveryTypeSurviveTheFile) {
  Key key(Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T"));
  const std::wstring multi(L"COM1\0COM2\0\0", 11);
  const BYTE blob[] = {0, 1, 0xFF, 0x80};
  ASSERT_EQ(SetString(key.Get(), L"Port", L"COM1"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key.Get(), nullptr, L"ZanthOposPrinterU1.13"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key.Get(), L"Expand", L"%TEMP%\\x", REG_EXPAND_SZ), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key.Get(), L"Lines", L"a\r\nb\tc \"q\" \\ \U0001F600"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key.Get(), L"Baud", 19200), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key.Get(), L"Ports", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi.data()),
                           static_cast<DWORD>(multi.size() * sizeof(wchar_t))),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key.Get(), L"Blob", 0, REG_BINARY, blob, sizeof(blob)), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key.Get(), L"Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);

  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass == 0 ? "in memory" : "from the file");
    Key k;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T", k.Out()), ERROR_SUCCESS);
    DWORD type = 0;
    EXPECT_EQ(GetString(k.Get(), L"Port", &type), L"COM1");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(GetString(k.Get(), L""), L"ZanthOposPrinterU1.13");
    EXPECT_EQ(GetString(k.Get(), nullptr), L"ZanthOposPrinterU1.13");
    EXPECT_EQ(GetString(k.Get(), L"Expand", &type), L"%TEMP%\\x");
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(GetString(k.Get(), L"Lines"), L"a\r\nb\tc \"q\" \\ \U0001F600");
    EXPECT_EQ(GetDword(k.Get(), L"Baud"), 19200u);
    std::wstring back(16, L'x');
    DWORD size = static_cast<DWORD>(back.size() * sizeof(wchar_t));
    ASSERT_EQ(RegQueryValueExW(k.Get(), L"Ports", nullptr, &type, reinterpret_cast<BYTE*>(back.data()), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(back.substr(0, size / sizeof(wchar_t)), multi);
    BYTE data[8];
    size = sizeof(data);
    ASSERT_EQ(RegQueryValueExW(k.Get(), L"Blob", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(std::vector<BYTE>(data, data + size), std::vector<BYTE>(blob, blob + sizeof(blob)));
    size = 99;
    ASSERT_EQ(RegQueryValueExW(k.Get(), L"Empty", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    ReopenFromDisk();
  }
}

TEST_F(Registry, QuerySizesFollowWin32) {
  Key key(Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T"));
  ASSERT_EQ(SetString(key.Get(), L"Name", L"abc"), ERROR_SUCCESS);
  const DWORD needed = 4 * sizeof(wchar_t);  // "abc" and its terminator
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExW(key.Get(), L"Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, needed);
  BYTE small[8];
  size = sizeof(small);
  EXPECT_EQ(RegQueryValueExW(key.Get(), L"Name", nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, needed);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(RegQueryValueExW(key.Get(), L"Name", nullptr, nullptr, small, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExW(key.Get(), L"Name", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key.Get(), L"Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_NE(platform::RegistryLastErrorText().find("Missing"), std::string::npos);
}

// Values set with a type and size the store refuses, or reads of the wrong type.
struct BadSetCase {
  const char* name;
  DWORD type;
  DWORD size;
  bool nullData;
};
void PrintTo(const BadSetCase& c, std::ostream* os) { *os << c.name; }
const BadSetCase kBadSets[] = {
    {"ShortDword", REG_DWORD, 2, false},
    {"LongDword", REG_DWORD, 8, false},
    {"TextNotWholeCharacters", REG_SZ, 6, false},
    {"MultiNotWholeCharacters", REG_MULTI_SZ, 5, false},
    {"NullDataWithSize", REG_BINARY, 4, true},
};

class RegistryBadSet : public Registry, public testing::WithParamInterface<BadSetCase> {};

TEST_P(RegistryBadSet, IsRefusedAndKeepsTheOldValue) {
  const auto& c = GetParam();
  Key key(Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T"));
  ASSERT_EQ(SetDword(key.Get(), L"V", 7), ERROR_SUCCESS);
  const BYTE data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(RegSetValueExW(key.Get(), L"V", 0, c.type, c.nullData ? nullptr : data, c.size),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetDword(key.Get(), L"V"), 7u);
}

INSTANTIATE_TEST_SUITE_P(All, RegistryBadSet, testing::ValuesIn(kBadSets),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Registry, WrongTypeReadsReportTheStoredType) {
  Key key(Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T"));
  ASSERT_EQ(SetString(key.Get(), L"Baud", L"9600"), ERROR_SUCCESS);  // text where a number belongs
  ASSERT_EQ(SetDword(key.Get(), L"Port", 1), ERROR_SUCCESS);         // a number where text belongs
  DWORD type = 0, value = 0, size = sizeof(value);
  EXPECT_EQ(RegQueryValueExW(key.Get(), L"Baud", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(GetDword(key.Get(), L"Baud"), std::nullopt);
  DWORD portType = 0;
  auto port = GetString(key.Get(), L"Port", &portType);
  EXPECT_EQ(portType, static_cast<DWORD>(REG_DWORD));
}

TEST_F(Registry, TextWithoutTerminatorGetsOne) {
  Key key(Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T"));
  const wchar_t text[] = {L'a', L'b'};
  ASSERT_EQ(RegSetValueExW(key.Get(), L"S", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text)),
            ERROR_SUCCESS);
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExW(key.Get(), L"S", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 3 * sizeof(wchar_t));
}

TEST_F(Registry, NamesCompareWithoutCaseAndKeepTheirSpelling) {
  Key key(Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OLEforRetail\\\u00C9t\u00E9"));
  ASSERT_EQ(SetString(key.Get(), L"PortName", L"COM1"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key.Get(), L"PORTNAME", L"COM2"), ERROR_SUCCESS);  // same value
  Key other;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, L"software\\OLEFORRETAIL\\\u00E9T\u00C9", other.Out()), ERROR_SUCCESS);
  EXPECT_EQ(GetString(other.Get(), L"portname"), L"COM2");
  wchar_t name[64];
  DWORD length = 64;
  ASSERT_EQ(RegEnumValueW(other.Get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(name), L"PortName");
  EXPECT_EQ(RegEnumValueW(other.Get(), 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  Key parent;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\oleforretail", parent.Out()), ERROR_SUCCESS);
  length = 64;
  ASSERT_EQ(RegEnumKeyExW(parent.Get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(name), L"\u00C9t\u00E9");
  EXPECT_EQ(length, 3u);
}

TEST_F(Registry, OddCharactersInNamesSurviveTheFile) {
  const wchar_t* keyNames[] = {L"a]b", L"[x]", L"q\"uote", L"eq=ual", L"semi;colon", L" spaced ",
                               L"-dash", L"@", L"\u65E5\u672C", L"\U0001F600", L"tab\there"};
  const wchar_t* valueNames[] = {L"\"", L"back\\slash\\", L"=", L"]", L"@", L"-", L"\u00E9\u00E8",
                                 L"x\" = \"y", L";", L"\\\""};
  for (const wchar_t* k : keyNames) {
    Key key(Create(HKEY_CURRENT_USER, (std::wstring(L"Software\\Odd\\") + k).c_str()));
    for (const wchar_t* v : valueNames) ASSERT_EQ(SetString(key.Get(), v, std::wstring(k) + v), ERROR_SUCCESS);
  }
  ReopenFromDisk();
  for (const wchar_t* k : keyNames) {
    Key key;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, (std::wstring(L"Software\\Odd\\") + k).c_str(), key.Out()), ERROR_SUCCESS)
        << platform::ToUtf8(k) << ": " << platform::RegistryLastErrorText();
    for (const wchar_t* v : valueNames)
      EXPECT_EQ(GetString(key.Get(), v), std::wstring(k) + v) << platform::ToUtf8(k) << " / " << platform::ToUtf8(v);
  }
}

TEST_F(Registry, LineBreaksInNamesAreRefused) {
  Key key(Create(HKEY_CURRENT_USER, L"Software\\T"));
  EXPECT_EQ(SetString(key.Get(), L"a\nb", L"x"), ERROR_INVALID_PARAMETER);
  HKEY bad = nullptr;
  EXPECT_EQ(RegCreateKeyExW(key.Get(), L"a\r\nb", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &bad, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(bad, nullptr);
}

TEST_F(Registry, EnumerationListsSubkeysInOrderAndValuesAsSet) {
  Key key(Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter"));
  for (const wchar_t* name : {L"Zeta", L"alpha", L"Mid"}) Key(Create(key.Get(), name));
  ASSERT_EQ(SetString(key.Get(), L"Receipt", L"Zeta"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key.Get(), L"Count", 3), ERROR_SUCCESS);
  std::vector<std::wstring> keys;
  for (DWORD i = 0;; ++i) {
    wchar_t name[64];
    DWORD length = 64;
    wchar_t cls[4] = L"zz";
    DWORD clsLength = 4;
    BYTE fileTime[8];
    const LONG rc = RegEnumKeyExW(key.Get(), i, name, &length, nullptr, cls, &clsLength, fileTime);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(rc, ERROR_SUCCESS);
    EXPECT_EQ(clsLength, 0u);
    keys.push_back(name);
  }
  EXPECT_EQ(keys, (std::vector<std::wstring>{L"alpha", L"Mid", L"Zeta"}));
  wchar_t tiny[3];
  DWORD tinyLength = 3;
  EXPECT_EQ(RegEnumKeyExW(key.Get(), 2, tiny, &tinyLength, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);

  wchar_t name[64];
  DWORD length = 64, type = 0, size = 0;
  ASSERT_EQ(RegEnumValueW(key.Get(), 0, name, &length, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(name), L"Receipt");
  EXPECT_EQ(length, 7u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 5 * sizeof(wchar_t));
  BYTE small[2];
  size = sizeof(small);
  length = 64;
  EXPECT_EQ(RegEnumValueW(key.Get(), 1, name, &length, nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  length = 64;
  EXPECT_EQ(RegEnumValueW(key.Get(), 2, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(Registry, DeletingKeysAndValues) {
  Key base(Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T"));
  Key(Create(base.Get(), L"A\\B\\C"));
  Key(Create(base.Get(), L"Leaf"));
  ASSERT_EQ(SetString(base.Get(), L"V", L"x"), ERROR_SUCCESS);
  Key deep;
  ASSERT_EQ(Open(base.Get(), L"A\\B", deep.Out(), KEY_ALL_ACCESS), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteKeyW(base.Get(), L"A"), ERROR_ACCESS_DENIED) << "has subkeys";
  EXPECT_EQ(RegDeleteKeyW(base.Get(), L"Missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyW(base.Get(), L"leaf"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, L""), ERROR_ACCESS_DENIED) << "a root stays";
  EXPECT_EQ(RegDeleteTreeW(base.Get(), L"A"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeW(base.Get(), L"A"), ERROR_FILE_NOT_FOUND);
  // A handle outlives its key: calls through it report the deletion.
  EXPECT_EQ(SetString(deep.Get(), L"V", L"x"), ERROR_KEY_DELETED);
  EXPECT_EQ(GetString(deep.Get(), L"V"), std::nullopt);

  EXPECT_EQ(RegDeleteValueW(base.Get(), L"V"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(base.Get(), L"V"), ERROR_FILE_NOT_FOUND);

  Key(Create(base.Get(), L"X\\Y"));
  ASSERT_EQ(SetString(base.Get(), L"W", L"x"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeW(base.Get(), nullptr), ERROR_SUCCESS);  // empties, keeps the key
  wchar_t name[16];
  DWORD length = 16;
  EXPECT_EQ(RegEnumKeyExW(base.Get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(GetString(base.Get(), L"W"), std::nullopt);
  ReopenFromDisk();
  Key reread;
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T", reread.Out()), ERROR_SUCCESS);
  Key gone;
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T\\A", gone.Out()), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, ClassesRootMergesUserOverMachineAndWritesToMachine) {
  {
    Key lm(Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\Zanth.SO"));
    ASSERT_EQ(SetString(lm.Get(), L"", L"machine"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(lm.Get(), L"OnlyMachine", L"m"), ERROR_SUCCESS);
    Key(Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\CLSID"));
    Key cu(Create(HKEY_CURRENT_USER, L"Software\\Classes\\zanth.so"));
    ASSERT_EQ(SetString(cu.Get(), L"", L"user"), ERROR_SUCCESS);
    Key(Create(HKEY_CURRENT_USER, L"Software\\Classes\\AUser"));
  }
  Key cr;
  ASSERT_EQ(Open(HKEY_CLASSES_ROOT, L"Zanth.SO", cr.Out(), KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_EQ(GetString(cr.Get(), L""), L"user");
  EXPECT_EQ(GetString(cr.Get(), L"OnlyMachine"), L"m");
  std::vector<std::wstring> names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[64];
    DWORD length = 64;
    if (RegEnumKeyExW(HKEY_CLASSES_ROOT, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::wstring>{L"AUser", L"CLSID", L"zanth.so"}));

  ASSERT_EQ(SetString(cr.Get(), L"Written", L"w"), ERROR_SUCCESS);
  Key created(Create(HKEY_CLASSES_ROOT, L"CLSID\\{1}\\InprocServer32"));
  Key lm;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\Zanth.SO", lm.Out()), ERROR_SUCCESS);
  EXPECT_EQ(GetString(lm.Get(), L"Written"), L"w");
  Key lmCreated;
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\CLSID\\{1}\\InprocServer32", lmCreated.Out()),
            ERROR_SUCCESS);
  Key notInUser;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, L"Software\\Classes\\CLSID", notInUser.Out()), ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, L"zanth.so"), ERROR_SUCCESS);  // gone from the merged view
  Key gone;
  EXPECT_EQ(Open(HKEY_CLASSES_ROOT, L"Zanth.SO", gone.Out()), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, BadHandlesAndAccessAreRefused) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  Key readOnly;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T", readOnly.Out(), KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(SetString(readOnly.Get(), L"V", L"x"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueW(readOnly.Get(), L"V"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetString(key, L"V", L"x"), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, DamagedFileFailsClearlyAndIsNeverOverwritten) {
  std::filesystem::create_directories(dir_.File("sub/dir"));
  const std::string damaged =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n\"a\"=dword:zz\r\n";
  WriteFileBytes(file_, damaged);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T", 0, KEY_READ, &key), ERROR_BADDB);
  const std::string text = platform::RegistryLastErrorText();
  EXPECT_NE(text.find(file_), std::string::npos) << text;
  EXPECT_NE(text.find("line 4"), std::string::npos) << text;
  EXPECT_NE(text.find("dword"), std::string::npos) << text;
  EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_BADDB);
  EXPECT_EQ(SetString(HKEY_CURRENT_USER, L"V", L"x"), ERROR_BADDB);
  EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE"), ERROR_BADDB);
  const std::string import = dir_.File("import.reg");
  WriteFileBytes(import, "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n");
  EXPECT_EQ(platform::ImportRegFile(import), ERROR_BADDB);
  EXPECT_EQ(ReadFileBytes(file_), damaged);

  // Repaired by hand, it works again.
  WriteFileBytes(file_, "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n\"a\"=dword:10\r\n");
  Key repaired;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T", 0, KEY_READ, repaired.Out()), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(repaired.Get(), L"a"), 16u);
  EXPECT_EQ(platform::RegistryLastErrorText(), "");
}

TEST_F(Registry, TruncatedFileIsDamagedNotEmpty) {
  Key key(Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T"));
  ASSERT_EQ(SetString(key.Get(), L"Port", L"COM1"), ERROR_SUCCESS);
  const std::string whole = ReadFileBytes(file_);
  WriteFileBytes(file_, whole.substr(0, whole.size() - 20));  // cut inside the value line
  EXPECT_EQ(GetString(key.Get(), L"Port"), std::nullopt);
  EXPECT_EQ(SetString(key.Get(), L"Port", L"COM2"), ERROR_BADDB);
  EXPECT_EQ(ReadFileBytes(file_), whole.substr(0, whole.size() - 20));
}

TEST_F(Registry, FailedWriteReportsAndLosesNothing) {
  Key key(Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T"));
  ASSERT_EQ(SetString(key.Get(), L"Kept", L"k"), ERROR_SUCCESS);
  const std::string before = ReadFileBytes(file_);
  // A folder where the lock file belongs blocks every write, even for root.
  ASSERT_TRUE(std::filesystem::create_directory(file_ + ".lock2"));
  std::filesystem::remove(file_ + ".lock");
  std::filesystem::rename(file_ + ".lock2", file_ + ".lock");
  EXPECT_EQ(SetString(key.Get(), L"V", L"x"), ERROR_CANTWRITE);
  EXPECT_NE(platform::RegistryLastErrorText().find(".lock"), std::string::npos) << platform::RegistryLastErrorText();
  EXPECT_EQ(GetString(key.Get(), L"V"), std::nullopt);
  EXPECT_EQ(GetString(key.Get(), L"Kept"), L"k");
  EXPECT_EQ(ReadFileBytes(file_), before);
}

TEST_F(Registry, ARegistryFileReachedByALinkStaysALink) {
  const std::string real = dir_.File("real/registry.reg");
  std::filesystem::create_directories(dir_.File("real"));
  std::filesystem::create_directories(dir_.File("sub/dir"));
  std::filesystem::create_symlink(real, file_);
  Key key(Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T"));
  ASSERT_EQ(SetString(key.Get(), L"V", L"x"), ERROR_SUCCESS);
  EXPECT_TRUE(std::filesystem::is_symlink(file_));
  EXPECT_TRUE(std::filesystem::is_regular_file(real));
  ReopenFromDisk();
  EXPECT_EQ(GetString(key.Get(), L"V"), L"x");
}

TEST_F(Registry, ImportAndExportWindowsFile) {
  // As regedit on Windows exports it: UTF-16LE with BOM, CRLF, comments, default
  // values, dword, multi-string over continuation lines, expand string, empty key.
  const std::wstring exported =
      L"Windows Registry Editor Version 5.00\r\n"
      L"\r\n"
      L"; POS printer set-up\r\n"
      L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter]\r\n"
      L"\"Receipt\"=\"Zanth-T88\"\r\n"
      L"\r\n"
      L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\Zanth-T88]\r\n"
      L"@=\"ZanthOposPrinterU1.13\"\r\n"
      L"\"PortType\"=\"Serial\"\r\n"
      L"\"PortSettings\"=\"COM1:19200,N,8,1\"\r\n"
      L"\"Timeout\"=dword:00001388\r\n"
      L"\"Models\"=hex(7):54,00,38,00,38,00,49,00,56,00,00,00,4b,00,31,00,35,00,00,00,\\\r\n"
      L"  00,00\r\n"
      L"\"LogoPath\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\r\n"
      L"\r\n"
      L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer]\r\n"
      L"\r\n"
      L"[HKEY_CLASSES_ROOT\\ZanthOposPrinterU1.13\\CLSID]\r\n"
      L"@=\"{11111111-2222-3333-4444-555555555555}\"\r\n"
      L"\r\n";
  const std::string source = dir_.File("windows.reg");
  WriteFileBytes(source, testing_support::Utf16LeWithBom(exported));
  ASSERT_EQ(platform::ImportRegFile(source), ERROR_SUCCESS) << platform::RegistryLastErrorText();

  Key dev;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\Zanth-T88", dev.Out()),
            ERROR_SUCCESS);
  EXPECT_EQ(GetString(dev.Get(), nullptr), L"ZanthOposPrinterU1.13");
  EXPECT_EQ(GetString(dev.Get(), L"PortSettings"), L"COM1:19200,N,8,1");
  EXPECT_EQ(GetDword(dev.Get(), L"Timeout"), 5000u);
  DWORD type = 0;
  EXPECT_EQ(GetString(dev.Get(), L"Models", &type), std::wstring(L"T88IV\0K15\0", 10));
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
  EXPECT_EQ(GetString(dev.Get(), L"LogoPath", &type), L"%TEMP%");
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  Key drawer;
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer", drawer.Out()),
            ERROR_SUCCESS);
  Key clsid;
  ASSERT_EQ(Open(HKEY_CLASSES_ROOT, L"ZanthOposPrinterU1.13\\CLSID", clsid.Out()), ERROR_SUCCESS);
  EXPECT_EQ(GetString(clsid.Get(), nullptr), L"{11111111-2222-3333-4444-555555555555}");

  // Exported back, the OLEforRetail part reads as the same keys and values.
  const std::string out = dir_.File("out.reg");
  ASSERT_EQ(platform::ExportRegFile(out, L"HKEY_LOCAL_MACHINE\\software\\OLEforRetail"), ERROR_SUCCESS);
  std::vector<platform::RegistryKey> original, back;
  std::string error;
  ASSERT_TRUE(platform::ParseRegFile(testing_support::Utf16LeWithBom(exported), original, error)) << error;
  ASSERT_TRUE(platform::ParseRegFile(ReadFileBytes(out), back, error)) << error;
  original.pop_back();  // the HKEY_CLASSES_ROOT key lies outside the exported root
  std::erase_if(back, [&](const platform::RegistryKey& k) {  // parents with nothing of their own
    return k.values.empty() && std::none_of(original.begin(), original.end(),
                                            [&](const auto& o) { return o.path == k.path; });
  });
  auto byPath = [](const auto& a, const auto& b) { return platform::ToUpper(a.path) < platform::ToUpper(b.path); };
  std::sort(original.begin(), original.end(), byPath);
  ASSERT_EQ(back.size(), original.size());
  for (size_t i = 0; i < back.size(); ++i) {
    EXPECT_EQ(back[i].path, original[i].path);
    ASSERT_EQ(back[i].values.size(), original[i].values.size()) << platform::ToUtf8(back[i].path);
    for (size_t v = 0; v < back[i].values.size(); ++v) {
      EXPECT_EQ(back[i].values[v].name, original[i].values[v].name);
      EXPECT_EQ(back[i].values[v].type, original[i].values[v].type);
      EXPECT_EQ(back[i].values[v].data, original[i].values[v].data);
    }
  }
  const std::string classes = dir_.File("classes.reg");
  ASSERT_EQ(platform::ExportRegFile(classes, L"HKEY_CLASSES_ROOT\\ZanthOposPrinterU1.13"), ERROR_SUCCESS);
  ASSERT_TRUE(platform::ParseRegFile(ReadFileBytes(classes), back, error)) << error;
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[1].path, L"HKEY_CLASSES_ROOT\\ZanthOposPrinterU1.13\\CLSID");
  EXPECT_EQ(platform::ExportRegFile(classes, L"HKEY_LOCAL_MACHINE\\Nothing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(platform::ExportRegFile(classes, L"HKEY_NOWHERE"), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, ImportDeletesKeysAndValuesAndRejectsBadFiles) {
  Key key(Create(HKEY_CURRENT_USER, L"Software\\T\\Sub"));
  ASSERT_EQ(SetString(key.Get(), L"Keep", L"k"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key.Get(), L"Drop", L"d"), ERROR_SUCCESS);
  Key(Create(HKEY_CURRENT_USER, L"Software\\Old\\Deep"));
  const std::string source = dir_.File("changes.reg");
  WriteFileBytes(source,
                 "Windows Registry Editor Version 5.00\n\n[-HKEY_CURRENT_USER\\Software\\Old]\n\n"
                 "[HKEY_CURRENT_USER\\Software\\T\\Sub]\n\"Drop\"=-\n\"New\"=dword:00000001\n");
  ASSERT_EQ(platform::ImportRegFile(source), ERROR_SUCCESS) << platform::RegistryLastErrorText();
  EXPECT_EQ(GetString(key.Get(), L"Keep"), L"k");
  EXPECT_EQ(GetString(key.Get(), L"Drop"), std::nullopt);
  EXPECT_EQ(GetDword(key.Get(), L"New"), 1u);
  Key old;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, L"Software\\Old", old.Out()), ERROR_FILE_NOT_FOUND);

  const std::string before = ReadFileBytes(file_);
  WriteFileBytes(source, "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\X]\n\"a\"=bogus\n");
  EXPECT_EQ(platform::ImportRegFile(source), ERROR_INVALID_DATA);
  EXPECT_NE(platform::RegistryLastErrorText().find("line 4"), std::string::npos) << platform::RegistryLastErrorText();
  EXPECT_EQ(platform::ImportRegFile(dir_.File("none.reg")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ReadFileBytes(file_), before) << "a failed import changes nothing";
}

TEST_F(Registry, ThreadsShareTheStoreSafely) {
  Key key(Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T"));
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      const std::wstring name = L"V" + std::to_wstring(t);
      for (DWORD i = 0; i < 30; ++i) {
        if (SetDword(key.Get(), name.c_str(), i) != ERROR_SUCCESS) ++failures;
        if (GetDword(key.Get(), name.c_str()) != i) ++failures;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  ReopenFromDisk();
  for (int t = 0; t < 3; ++t) EXPECT_EQ(GetDword(key.Get(), (L"V" + std::to_wstring(t)).c_str()), 29u);
}

}  // namespace

namespace {

// A snapshot holds one version of the file for this thread's reads; writes go on around it.
TEST_F(Registry, ReadSnapshotKeepsOneVersionUntilRefreshed) {
  Key key(Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Snap"));
  ASSERT_EQ(SetString(key.Get(), L"Version", L"A"), ERROR_SUCCESS);
  {
    platform::RegistryReadSnapshot snapshot;
    ASSERT_EQ(SetString(key.Get(), L"Version", L"B"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key.Get(), L"Added", L"x"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(key.Get(), L"Version"), L"A");
    EXPECT_EQ(GetString(key.Get(), L"Added"), std::nullopt);
    {
      platform::RegistryReadSnapshot inner;  // a nested snapshot sees the newest version
      EXPECT_EQ(GetString(key.Get(), L"Version"), L"B");
    }
    EXPECT_EQ(GetString(key.Get(), L"Version"), L"A");
    // Another thread is not held by this thread's snapshot.
    std::optional<std::wstring> seen;
    std::thread([&] { seen = GetString(key.Get(), L"Version"); }).join();
    EXPECT_EQ(seen, L"B");
    EXPECT_TRUE(snapshot.Refresh());
    EXPECT_EQ(GetString(key.Get(), L"Added"), L"x");
    EXPECT_FALSE(snapshot.Refresh());
  }
  EXPECT_EQ(GetString(key.Get(), L"Version"), L"B");
  // The writes under the snapshot reached the file.
  ReopenFromDisk();
  Key again;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Snap", again.Out()), ERROR_SUCCESS);
  EXPECT_EQ(GetString(again.Get(), L"Version"), L"B");
  EXPECT_EQ(GetString(again.Get(), L"Added"), L"x");
}

}  // namespace

// Several processes on one registry file: readers never see half a file, writers never
// lose each other's changes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "RegTestUtil.h"
#include "TempDir.h"

namespace {

using testing_support::GetDword;
using testing_support::GetString;
using testing_support::Key;
using testing_support::SetDword;
using testing_support::SetString;

// Runs body in a child process; its return value becomes the exit status.
template <typename F>
pid_t Spawn(F body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  return pid;
}

int WaitExit(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

HKEY CreateKey(const wchar_t* path) {
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  return key;
}

class RegistryProcesses : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.Path().empty()); }
  testing_support::TempDir dir_;
  std::string file_ = dir_.File("registry.reg");
  testing_support::ScopedRegistryFile reg_{file_};
};

TEST_F(RegistryProcesses, ReaderNeverSeesAPartialFileWhileAnotherProcessRewritesIt) {
  constexpr DWORD kWrites = 200;
  {
    Key key(CreateKey(L"SOFTWARE\\T"));
    ASSERT_NE(key.Get(), nullptr);
    ASSERT_EQ(SetString(key.Get(), L"Sentinel", L"alive"), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key.Get(), L"Counter", 0), ERROR_SUCCESS);
  }
  const pid_t writer = Spawn([] {
    Key key(CreateKey(L"SOFTWARE\\T"));
    if (!key.Get()) return 2;
    for (DWORD i = 1; i <= kWrites; ++i) {
      if (SetDword(key.Get(), L"Counter", i) != ERROR_SUCCESS) return 3;
      // The file grows and shrinks so that a torn read would show.
      if (i % 4 == 0 && SetString(key.Get(), L"Padding", std::wstring(i % 7 * 300, L'x')) != ERROR_SUCCESS) return 4;
    }
    return 0;
  });
  ASSERT_GT(writer, 0);

  Key key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T", 0, KEY_READ, key.Out()), ERROR_SUCCESS);
  DWORD last = 0;
  int reads = 0, failures = 0, rawFailures = 0;
  std::string firstFailure;
  int status = -1;
  for (;;) {
    int raw = 0;
    const pid_t done = ::waitpid(writer, &raw, WNOHANG);
    const auto counter = GetDword(key.Get(), L"Counter");
    const auto sentinel = GetString(key.Get(), L"Sentinel");
    ++reads;
    if (!counter || sentinel != L"alive" || *counter < last) {
      if (failures++ == 0) firstFailure = platform::RegistryLastErrorText();
    } else {
      last = *counter;
    }
    // The raw file, read as any other program would, is always a whole export.
    std::vector<platform::RegistryKey> keys;
    std::string error;
    if (!platform::ParseRegFile(testing_support::ReadFileBytes(file_), keys, error)) ++rawFailures;
    if (done == writer) {
      status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
      break;
    }
  }
  EXPECT_EQ(status, 0);
  EXPECT_EQ(failures, 0) << firstFailure;
  EXPECT_EQ(rawFailures, 0);
  EXPECT_GT(reads, 10);
  EXPECT_EQ(GetDword(key.Get(), L"Counter"), kWrites) << "the last write is seen";
}

TEST_F(RegistryProcesses, ConcurrentWritersLoseNoChanges) {
  constexpr int kValues = 50;
  auto writer = [](const wchar_t* prefix) {
    return [prefix] {
      Key key(CreateKey(L"SOFTWARE\\Shared"));
      if (!key.Get()) return 2;
      for (int i = 0; i < kValues; ++i) {
        const std::wstring name = prefix + std::to_wstring(i);
        if (SetDword(key.Get(), name.c_str(), static_cast<DWORD>(i)) != ERROR_SUCCESS) return 3;
      }
      return 0;
    };
  };
  const pid_t a = Spawn(writer(L"a"));
  const pid_t b = Spawn(writer(L"b"));
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  EXPECT_EQ(WaitExit(a), 0);
  EXPECT_EQ(WaitExit(b), 0);
  Key key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Shared", 0, KEY_READ, key.Out()), ERROR_SUCCESS);
  int missing = 0;
  for (const wchar_t* prefix : {L"a", L"b"}) {
    for (int i = 0; i < kValues; ++i) {
      const std::wstring name = prefix + std::to_wstring(i);
      if (GetDword(key.Get(), name.c_str()) != static_cast<DWORD>(i)) ++missing;
    }
  }
  EXPECT_EQ(missing, 0);
}

TEST_F(RegistryProcesses, AKeyDeletedElsewhereIsReportedThroughOpenHandles) {
  Key key(CreateKey(L"SOFTWARE\\Gone"));
  ASSERT_EQ(SetString(key.Get(), L"V", L"x"), ERROR_SUCCESS);
  const pid_t deleter = Spawn([] { return RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Gone") == ERROR_SUCCESS ? 0 : 1; });
  ASSERT_EQ(WaitExit(deleter), 0);
  EXPECT_EQ(RegQueryValueExW(key.Get(), L"V", nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(SetString(key.Get(), L"V", L"y"), ERROR_KEY_DELETED) << "a write does not bring it back";
  Key reopened;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Gone", 0, KEY_READ, reopened.Out()), ERROR_FILE_NOT_FOUND);
}

}  // namespace

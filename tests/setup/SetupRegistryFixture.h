// A registry file of the test's own with helpers to lay out device entries.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "platform/wtext.h"
#include "setup/SetupCore.h"
#include "support/TempRegistry.h"

namespace zanth::test {

class SetupRegistry : public testing::Test {
 protected:
  static std::wstring Class(setup::DeviceKind kind) { return setup::ClassKeyPath(kind); }

  // A device entry with its default value (ProgID) and logical names.
  static void AddEntry(setup::DeviceKind kind, const std::wstring& name, const std::wstring& progId,
                       std::initializer_list<std::wstring> logicalNames = {}) {
    ASSERT_TRUE(setup::WriteString(setup::DeviceKeyPath(kind, name), L"", progId).ok());
    for (const std::wstring& logical : logicalNames)
      ASSERT_TRUE(setup::WriteString(Class(kind), logical, name).ok());
  }
  static void AddPrinter(const std::wstring& name, std::initializer_list<std::wstring> logicalNames = {},
                         const std::wstring& progId = L"ZanthOposPrinterU1.13") {
    AddEntry(setup::DeviceKind::Printer, name, progId, logicalNames);
  }

  // Every string value of a key, by name.
  static std::map<std::wstring, std::wstring> Values(const std::wstring& key) {
    std::map<std::wstring, std::wstring> values;
    for (const setup::StringValue& value : setup::ListStringValues(key)) values[value.name] = value.data;
    return values;
  }

  // Makes every later write fail: a folder where the lock file belongs blocks writes, even
  // for root.
  void BlockWrites() {
    const std::string lock = registry_.Path() + ".lock";
    std::filesystem::remove(lock);
    ASSERT_TRUE(std::filesystem::create_directory(lock));
  }

  TempRegistry registry_;
};

}  // namespace zanth::test

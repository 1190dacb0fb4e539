// The library's dynamic symbol table holds exactly the designed exports: the five server
// functions and the three engine classes. Anything else there (the registry, BSTR and
// VARIANT stand-ins, standard-library instances) could be interposed by the host process.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Demangled names of the defined dynamic symbols, as `nm -D --defined-only -C` lists them.
std::vector<std::string> DefinedDynamicSymbols() {
  // Appended, not joined with +: GCC 12 at -O1 warns falsely about the joined temporary.
  std::string command = "nm -D --defined-only -C '";
  command += ZANTH_SO_FILE;
  command += "'";
  std::vector<std::string> names;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return names;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe)) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    // "address type name"; the name may hold blanks ("vtable for ...").
    const auto first = text.find(' ');
    const auto second = first == std::string::npos ? first : text.find(' ', first + 1);
    if (second != std::string::npos) names.push_back(text.substr(second + 1));
  }
  if (pclose(pipe) != 0) names.clear();
  return names;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

const char* const kServerExports[] = {"DllCanUnloadNow", "DllGetClassObject", "DllInstall",
                                      "DllRegisterServer", "DllUnregisterServer"};
const char* const kClasses[] = {"Tesk::Printer::CPrinterBase", "Tesk::Printer::CTM_T88IV",
                                "Tesk::Printer::CModelK15"};

bool IsDesigned(const std::string& name) {
  for (const char* server : kServerExports)
    if (name == server) return true;
  for (const std::string cls : kClasses) {
    if (StartsWith(name, cls + "::")) return true;
    for (const char* prefix : {"vtable for ", "typeinfo for ", "typeinfo name for "})
      if (name == prefix + cls) return true;
  }
  return false;
}

TEST(LibraryExports, OnlyTheServerFunctionsAndTheEngineClassesAreExported) {
  const auto names = DefinedDynamicSymbols();
  ASSERT_FALSE(names.empty()) << "nm could not read " << ZANTH_SO_FILE;
  std::string unexpected;
  for (const auto& name : names)
    if (!IsDesigned(name)) unexpected += "\n  " + name;
  EXPECT_TRUE(unexpected.empty()) << "exported without design:" << unexpected;
}

// What must be there, and what the host must never be able to interpose.
struct Expectation {
  const char* name;  // the demangled name, or its start when prefix is set
  bool prefix;
  bool exported;
};

const Expectation kExpectations[] = {
    {"DllCanUnloadNow", false, true},
    {"DllGetClassObject", false, true},
    {"DllInstall", false, true},
    {"DllRegisterServer", false, true},
    {"DllUnregisterServer", false, true},
    {"Tesk::Printer::CPrinterBase::OpenServiceW(", true, true},
    {"Tesk::Printer::CTM_T88IV::CTM_T88IV(", true, true},
    {"Tesk::Printer::CModelK15::CModelK15(", true, true},
    {"Tesk::Printer::CModelK15::operator=(", true, true},
    {"vtable for Tesk::Printer::CTM_T88IV", false, true},
    {"RegOpenKeyExW", false, false},
    {"SysAllocString", false, false},
    {"SysFreeString", false, false},
    {"VariantClear", false, false},
    {"CoCreateInstance", false, false},
    {"ZBarcode_Create", false, false},
    {"std::", true, false},
    {"Tesk::IO::", true, false},
};

TEST(LibraryExports, DesignedNamesArePresentAndPlatformNamesAbsent) {
  const auto names = DefinedDynamicSymbols();
  ASSERT_FALSE(names.empty()) << "nm could not read " << ZANTH_SO_FILE;
  for (const auto& e : kExpectations) {
    SCOPED_TRACE(e.name);
    bool found = false;
    for (const auto& name : names)
      if (e.prefix ? StartsWith(name, e.name) : name == e.name) found = true;
    EXPECT_EQ(found, e.exported);
  }
}

}  // namespace

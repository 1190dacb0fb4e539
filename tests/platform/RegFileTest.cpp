// The .reg text format: what it accepts, what it rejects, what it writes.
#include <gtest/gtest.h>

#include <cstring>

#include "RegTestUtil.h"

namespace {

using platform::RegistryKey;
using platform::RegistryValue;

const std::string kHead = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n";

std::vector<BYTE> Units(const std::wstring& text) {  // wchar_t text with its terminator
  const auto* p = reinterpret_cast<const BYTE*>(text.c_str());
  return std::vector<BYTE>(p, p + (text.size() + 1) * sizeof(wchar_t));
}

std::vector<BYTE> MultiUnits(const std::wstring& joined) {  // joined holds its own NULs
  const auto* p = reinterpret_cast<const BYTE*>(joined.data());
  return std::vector<BYTE>(p, p + joined.size() * sizeof(wchar_t));
}

// One value line after kHead and what it parses to.
struct ValueLineCase {
  const char* name;
  std::string line;
  std::wstring valueName;
  DWORD type;
  std::vector<BYTE> data;
};

void PrintTo(const ValueLineCase& c, std::ostream* os) { *os << c.name; }

const ValueLineCase kValueLines[] = {
    {"String", "\"Port\"=\"COM1\"", L"Port", REG_SZ, Units(L"COM1")},
    {"EscapedString", "\"Path\"=\"C:\\\\Program Files\\\\\\\"x\\\"\"", L"Path", REG_SZ,
     Units(L"C:\\Program Files\\\"x\"")},
    {"UnknownEscapeKeepsBackslash", "\"P\"=\"C:\\Temp\"", L"P", REG_SZ, Units(L"C:\\Temp")},
    {"EmptyString", "\"E\"=\"\"", L"E", REG_SZ, Units(L"")},
    {"DefaultValue", "@=\"ZanthOposPrinterU1.13\"", L"", REG_SZ, Units(L"ZanthOposPrinterU1.13")},
    {"SpacesAroundEquals", "\"A\" = \"b\"", L"A", REG_SZ, Units(L"b")},
    {"QuoteAndEqualsInName", "\"a\\\"=b]\"=\"c\"", L"a\"=b]", REG_SZ, Units(L"c")},
    {"Utf8Text", "\"Caf\xC3\xA9\"=\"\xE6\x97\xA5\"", L"Caf\u00E9", REG_SZ, Units(L"\u65E5")},
    {"Dword", "\"Baud\"=dword:00002580", L"Baud", REG_DWORD, {0x80, 0x25, 0x00, 0x00}},
    {"DwordShortUpper", "\"D\"=dword:FF", L"D", REG_DWORD, {0xFF, 0x00, 0x00, 0x00}},
    {"Binary", "\"B\"=hex:01,ab,FF", L"B", REG_BINARY, {0x01, 0xAB, 0xFF}},
    {"EmptyBinary", "\"B\"=hex:", L"B", REG_BINARY, {}},
    {"BinaryTrailingComma", "\"B\"=hex:01,02,", L"B", REG_BINARY, {0x01, 0x02}},
    {"Qword", "\"Q\"=hex(b):01,00,00,00,00,00,00,00", L"Q", 11, {1, 0, 0, 0, 0, 0, 0, 0}},
    {"None", "\"N\"=hex(0):", L"N", REG_NONE, {}},
    {"MultiString", "\"M\"=hex(7):41,00,00,00,42,00,43,00,00,00,00,00", L"M", REG_MULTI_SZ,
     MultiUnits(std::wstring(L"A\0BC\0\0", 6))},
    {"MultiStringContinued", "\"M\"=hex(7):41,00,00,00,\\\r\n  42,00,00,00,\\\r\n  00,00", L"M", REG_MULTI_SZ,
     MultiUnits(std::wstring(L"A\0B\0\0", 5))},
    {"ExpandString", "\"X\"=hex(2):25,00,54,00,25,00,00,00", L"X", REG_EXPAND_SZ, Units(L"%T%")},
    {"SurrogatePairInHex1", "\"S\"=hex(1):3d,d8,00,de,00,00", L"S", REG_SZ, Units(L"\U0001F600")},
    {"DeleteValue", "\"Old\"=-", L"Old", platform::kRegDeleteValueMark, {}},
};

class ValueLine : public testing::TestWithParam<ValueLineCase> {};

TEST_P(ValueLine, Parses) {
  const auto& c = GetParam();
  std::vector<RegistryKey> keys;
  std::string error;
  ASSERT_TRUE(platform::ParseRegFile(kHead + c.line + "\r\n", keys, error)) << error;
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].path, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\T");
  ASSERT_EQ(keys[0].values.size(), 1u);
  EXPECT_EQ(keys[0].values[0].name, c.valueName);
  EXPECT_EQ(keys[0].values[0].type, c.type);
  EXPECT_EQ(keys[0].values[0].data, c.data);
}

INSTANTIATE_TEST_SUITE_P(All, ValueLine, testing::ValuesIn(kValueLines),
                         [](const auto& info) { return std::string(info.param.name); });

// Text that is not a registry export, with the line and reason the error must name.
struct BadFileCase {
  const char* name;
  std::string text;
  const char* expected;  // a substring of the error
};

void PrintTo(const BadFileCase& c, std::ostream* os) { *os << c.name; }

const BadFileCase kBadFiles[] = {
    {"Empty", "", "line 1: empty file"},
    {"NoHeader", "hello\r\n", "line 1: not a registry file"},
    {"HalfWrittenHeader", "Windows Registry Ed", "line 1: not a registry file"},
    {"ValueBeforeKey", "Windows Registry Editor Version 5.00\r\n\"a\"=\"b\"\r\n", "line 2: value before"},
    {"UnknownRoot", "Windows Registry Editor Version 5.00\r\n[HKEY_NOWHERE\\x]\r\n", "line 2: unknown root"},
    {"UnclosedKey", kHead + "[HKEY_LOCAL_MACHINE\\x\r\n", "line 4: key line without ']'"},
    {"BadDword", kHead + "\"a\"=dword:xyz\r\n", "line 4: bad hex digit"},
    {"LongDword", kHead + "\"a\"=dword:123456789\r\n", "line 4: dword needs"},
    {"BadHexByte", kHead + "\"a\"=hex:01,zz\r\n", "line 4: bad hex byte"},
    {"HexGap", kHead + "\"a\"=hex:01,,02\r\n", "line 4: bad hex byte"},
    {"ThreeDigitHex", kHead + "\"a\"=hex:123\r\n", "line 4: bad hex byte"},
    {"BadHexType", kHead + "\"a\"=hex(zz):01\r\n", "line 4: bad hex(type)"},
    {"UnterminatedString", kHead + "\"a\"=\"abc\r\n", "line 4: unterminated string"},
    {"UnterminatedName", kHead + "\"abc=\"x\r\n", "line 4: expected '='"},
    {"NoEquals", kHead + "\"a\" \"b\"\r\n", "line 4: expected '='"},
    {"JunkAfterString", kHead + "\"a\"=\"b\" junk\r\n", "line 4: text after the closing quote"},
    {"UnknownData", kHead + "\"a\"=qword:1\r\n", "line 4: unrecognised value data"},
    {"Junk", kHead + "\"a\"=\"b\"\r\nrandom junk\r\n", "line 5: unexpected text"},
    {"ValueUnderDeletedKey", "Windows Registry Editor Version 5.00\r\n[-HKEY_LOCAL_MACHINE\\x]\r\n\"a\"=\"b\"\r\n",
     "line 3: value under a deleted"},
    {"ErrorAfterContinuation", kHead + "\"a\"=hex:01,\\\r\n  02\r\n\"b\"=bad\r\n", "line 6: unrecognised"},
    // Files cut short inside a value are damaged, never read as a shorter value.
    {"CutInsideDword", kHead + "\"a\"=dword:000", "line 4: the file ends inside this value"},
    {"CutAfterHexComma", kHead + "\"a\"=hex:01,02,", "line 4: the file ends inside this value"},
    {"CutAfterContinuation", kHead + "\"a\"=hex:01,02,\\\r\n", "line 4: the value is cut short"},
    {"CutInsideString", kHead + "\"PortSettings\"=\"127.0.0.1:91\"", "line 4: the file ends inside this value"},
};

class BadFile : public testing::TestWithParam<BadFileCase> {};

TEST_P(BadFile, IsRejectedWithLineAndReason) {
  const auto& c = GetParam();
  std::vector<RegistryKey> keys(1);
  std::string error;
  EXPECT_FALSE(platform::ParseRegFile(c.text, keys, error));
  EXPECT_NE(error.find(c.expected), std::string::npos) << error;
  EXPECT_TRUE(keys.empty());
}

INSTANTIATE_TEST_SUITE_P(All, BadFile, testing::ValuesIn(kBadFiles),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RegFile, ReadsWhatWindowsWritesAndOddSpellings) {
  // UTF-16LE with BOM, CRLF, comments, a key without values, a deleted key, lower-case
  // root, doubled backslash, a UTF-8 BOM variant and a REGEDIT4 variant.
  const std::wstring text =
      L"Windows Registry Editor Version 5.00\r\n\r\n"
      L"; exported from the shop PC\r\n"
      L"[hkey_local_machine\\SOFTWARE\\\\OLEforRetail]\r\n\r\n"
      L"[-HKEY_CURRENT_USER\\Software\\Old]\r\n\r\n"
      L"[HKEY_CLASSES_ROOT\\Zanth.Thing]\r\n"
      L"  @=\"x\"  \r\n";
  for (const std::string& bytes :
       {testing_support::Utf16LeWithBom(text), "\xEF\xBB\xBF" + platform::ToUtf8(text), platform::ToUtf8(text)}) {
    std::vector<RegistryKey> keys;
    std::string error;
    ASSERT_TRUE(platform::ParseRegFile(bytes, keys, error)) << error;
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].path, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail");
    EXPECT_TRUE(keys[0].values.empty());
    EXPECT_EQ(keys[1].path, L"-HKEY_CURRENT_USER\\Software\\Old");
    EXPECT_EQ(keys[2].path, L"HKEY_CLASSES_ROOT\\Zanth.Thing");
    ASSERT_EQ(keys[2].values.size(), 1u);
    EXPECT_EQ(keys[2].values[0].name, L"");
  }
  std::vector<RegistryKey> keys;
  std::string error;
  ASSERT_TRUE(platform::ParseRegFile("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"n\"=\"caf\xE9\"\r\n", keys, error))
      << error;
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].values[0].data, Units(L"caf\u00E9"));  // ANSI file, code page 1252
}

std::string AsUtf8(const std::string& utf16WithBom) {
  std::vector<RegistryKey> ignored;
  std::wstring text;
  for (size_t i = 2; i + 1 < utf16WithBom.size(); i += 2)
    text += static_cast<wchar_t>(static_cast<BYTE>(utf16WithBom[i]) | static_cast<BYTE>(utf16WithBom[i + 1]) << 8);
  return platform::ToUtf8(text);
}

TEST(RegFile, FormatsAsRegeditDoes) {
  std::vector<BYTE> longBinary(40);
  for (size_t i = 0; i < longBinary.size(); ++i) longBinary[i] = static_cast<BYTE>(i);
  const DWORD baud = 19200;
  const std::vector<RegistryKey> keys = {
      {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\Zanth",
       {
           {L"Port", REG_SZ, Units(L"C:\\dev\\\"p\"")},
           {L"", REG_SZ, Units(L"ZanthOposPrinterU1.13")},  // default value goes first
           {L"Baud", REG_DWORD, std::vector<BYTE>(reinterpret_cast<const BYTE*>(&baud),
                                                  reinterpret_cast<const BYTE*>(&baud) + 4)},
           {L"Lines", REG_SZ, Units(L"a\r\nb")},  // a line break cannot be quoted
           {L"List", REG_MULTI_SZ, MultiUnits(std::wstring(L"A\0\0", 3))},
           {L"Blob", REG_BINARY, longBinary},
           {L"Gone", platform::kRegDeleteValueMark, {}},
       }},
      {L"-HKEY_CURRENT_USER\\Software\\Old", {}},
  };
  const std::string bytes = platform::FormatRegFile(keys);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  const std::string expected =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\Zanth]\r\n"
      "@=\"ZanthOposPrinterU1.13\"\r\n"
      "\"Port\"=\"C:\\\\dev\\\\\\\"p\\\"\"\r\n"
      "\"Baud\"=dword:00004b00\r\n"
      "\"Lines\"=hex(1):61,00,0d,00,0a,00,62,00,00,00\r\n"
      "\"List\"=hex(7):41,00,00,00,00,00\r\n"
      // 80 columns at most with the backslash; continuation lines indented by two.
      "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
      "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27\r\n"
      "\"Gone\"=-\r\n"
      "\r\n"
      "[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
      "\r\n";
  EXPECT_EQ(AsUtf8(bytes), expected);
  // And it reads back to the same keys.
  std::vector<RegistryKey> again;
  std::string error;
  ASSERT_TRUE(platform::ParseRegFile(bytes, again, error)) << error;
  ASSERT_EQ(again.size(), 2u);
  ASSERT_EQ(again[0].values.size(), keys[0].values.size());
  for (const auto& value : keys[0].values) {
    bool found = false;
    for (const auto& back : again[0].values) {
      if (back.name == value.name) {
        found = true;
        EXPECT_EQ(back.type, value.type) << platform::ToUtf8(value.name);
        EXPECT_EQ(back.data, value.data) << platform::ToUtf8(value.name);
      }
    }
    EXPECT_TRUE(found) << platform::ToUtf8(value.name);
  }
}

}  // namespace

// Code-page conversion with Win32 semantics.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/codepage.h"
#include "platform/wtext.h"

namespace {

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
    out += ' ';
  }
  return out;
}

std::string Encode(UINT cp, const std::wstring& text, BOOL* usedDefault = nullptr,
                   const char* defaultChar = nullptr, DWORD flags = 0) {
  const int needed = WideCharToMultiByte(cp, flags, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, defaultChar, usedDefault);
  if (needed <= 0) return "<fail " + std::to_string(GetLastError()) + ">";
  std::string out(static_cast<size_t>(needed), '\0');
  const int written = WideCharToMultiByte(cp, flags, text.data(), static_cast<int>(text.size()),
                                          out.data(), needed, defaultChar, usedDefault);
  EXPECT_EQ(written, needed);
  return out;
}

std::wstring Decode(UINT cp, const std::string& bytes, DWORD flags = 0) {
  const int needed = MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()),
                                         nullptr, 0);
  if (needed <= 0) return L"<fail>";
  std::wstring out(static_cast<size_t>(needed), L'\0');
  EXPECT_EQ(MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()),
                                out.data(), needed),
            needed);
  return out;
}

// Text that each code page carries exactly, both ways.
struct RoundTripCase {
  const char* name;
  UINT codePage;
  const wchar_t* wide;
  const char* bytes;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }

const RoundTripCase kRoundTrips[] = {
    {"Euro1252", 1252, L"\u20AC5", "\x80" "5"},
    {"Euro858", 858, L"\u20AC", "\xD5"},
    {"BoxDrawing437", 437, L"\u2554\u2550\u2557\u2502\u00E9", "\xC9\xCD\xBB\xB3\x82"},
    {"Arabic864", 864, L"\uFEB3\u0660\u066A", "\xD3\xB0%"},   // 0x25 is the Arabic percent
    {"Arabic1256", 1256, L"\u0645\u0631\u062D\u0628\u0627", "\xE3\xD1\xCD\xC8\xC7"},
    {"Arabic720", 720, L"\u0627\u00E9\u2588", "\x9F\x82\xDB"},  // built-in table
    {"Japanese932", 932, L"\u65E5\u672C\uFF71\\", "\x93\xFA\x96\x7B\xB1\\"},
    {"Chinese936", 936, L"\u4E2D\u6587\u20AC", "\xD6\xD0\xCE\xC4\x80"},
    {"Korean949", 949, L"\uD55C\uAE00", "\xC7\xD1\xB1\xDB"},
    {"Chinese950", 950, L"\u4E2D\u6587", "\xA4\xA4\xA4\xE5"},
    {"Cyrillic866", 866, L"\u041F\u0440\u0438", "\x8F\xE0\xA8"},
    {"Greek737", 737, L"\u0391\u03C9", "\x80\xE0"},
    {"Hebrew862", 862, L"\u05D0", "\x80"},
    {"Latin852", 852, L"\u0159", "\xFD"},
    {"Thai874", 874, L"\u0E01", "\xA1"},
    {"Central1250", 1250, L"\u0159\u0160", "\xF8\x8A"},
    {"Cyrillic1251", 1251, L"\u0416", "\xC6"},
    {"Greek1253", 1253, L"\u03A9", "\xD9"},
    {"Vietnamese1258", 1258, L"\u0111", "\xF0"},
    {"Hole1252", 1252, L"\u0081\u008D", "\x81\x8D"},  // Windows keeps 1252's holes as C1
    {"Utf8", CP_UTF8, L"\u00E9\U0001F600", "\xC3\xA9\xF0\x9F\x98\x80"},
    {"AsciiEverywhere437", 437, L"Total 12.50", "Total 12.50"},
};

class RoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, EncodesAndDecodesExactly) {
  const auto& c = GetParam();
  ASSERT_TRUE(IsValidCodePage(c.codePage));
  BOOL usedDefault = TRUE;
  const std::string bytes = Encode(c.codePage, c.wide, c.codePage == CP_UTF8 ? nullptr : &usedDefault);
  EXPECT_EQ(Hex(bytes), Hex(c.bytes));
  if (c.codePage != CP_UTF8) {
    EXPECT_FALSE(usedDefault);
  }
  EXPECT_EQ(platform::ToUtf8(Decode(c.codePage, c.bytes)), platform::ToUtf8(c.wide));
  EXPECT_EQ(Hex(platform::WideToCodePage(c.wide, c.codePage)), Hex(c.bytes));
  EXPECT_EQ(platform::CodePageToWide(c.bytes, c.codePage), c.wide);
}

INSTANTIATE_TEST_SUITE_P(All, RoundTrip, testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.name); });

// Characters a code page lacks become the default character.
struct UnmappableCase {
  const char* name;
  UINT codePage;
  const wchar_t* wide;
  const char* defaultChar;
  DWORD flags;
  const char* bytes;
  bool usedDefault;
};

void PrintTo(const UnmappableCase& c, std::ostream* os) { *os << c.name; }

const UnmappableCase kUnmappable[] = {
    {"EuroIn437", 437, L"\u20AC1", nullptr, 0, "?1", true},
    {"KanjiIn1252", 1252, L"a\u65E5b", nullptr, 0, "a?b", true},
    {"OwnDefault", 1252, L"\u65E5\u672C", "*", 0, "**", true},
    {"EmptyDefaultIsQuestionMark", 1252, L"\u65E5", "", 0, "?", true},
    {"EuroIn932", 932, L"x\u20ACy", nullptr, 0, "x?y", true},
    {"HangulIn936", 936, L"\uD55C", "#", 0, "#", true},
    {"LoneSurrogateIn932", 932, L"\xD800", nullptr, 0, "?", true},
    {"NothingMissing", 1252, L"abc", nullptr, 0, "abc", false},
    {"AsciiPercentBestFitIn864", 864, L"%", nullptr, 0, "%", false},
    {"AsciiPercentNoBestFit864", 864, L"%", nullptr, WC_NO_BEST_FIT_CHARS, "?", true},
};

class Unmappable : public testing::TestWithParam<UnmappableCase> {};

TEST_P(Unmappable, UsesTheDefaultCharacter) {
  const auto& c = GetParam();
  BOOL usedDefault = c.usedDefault ? FALSE : TRUE;  // must be overwritten
  EXPECT_EQ(Encode(c.codePage, c.wide, &usedDefault, c.defaultChar, c.flags), c.bytes);
  EXPECT_EQ(usedDefault != FALSE, c.usedDefault);
}

INSTANTIATE_TEST_SUITE_P(All, Unmappable, testing::ValuesIn(kUnmappable),
                         [](const auto& info) { return std::string(info.param.name); });

// Bytes that are not text in the code page.
struct InvalidBytesCase {
  const char* name;
  UINT codePage;
  std::string bytes;
  const wchar_t* lenient;  // without MB_ERR_INVALID_CHARS
};

void PrintTo(const InvalidBytesCase& c, std::ostream* os) { *os << c.name; }

const InvalidBytesCase kInvalidBytes[] = {
    {"Utf8BadLead", CP_UTF8, "a\xFF" "b", L"a\uFFFDb"},
    {"Utf8Overlong", CP_UTF8, "\xC0\xAF", L"\uFFFD\uFFFD"},
    {"Utf8Truncated", CP_UTF8, "a\xE2\x82", L"a\uFFFD\uFFFD"},
    {"Sjis932CutLeadByte", 932, "a\x93", L"a\uFFFD"},
    {"Hole864", 864, "a\xFF", L"a\uFFFD"},
    {"Hole1253", 1253, "\xAA", L"\uFFFD"},
};

class InvalidBytes : public testing::TestWithParam<InvalidBytesCase> {};

TEST_P(InvalidBytes, ReplaceOrFailOnRequest) {
  const auto& c = GetParam();
  EXPECT_EQ(platform::ToUtf8(Decode(c.codePage, c.bytes)), platform::ToUtf8(c.lenient));
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(c.codePage, MB_ERR_INVALID_CHARS, c.bytes.data(),
                                static_cast<int>(c.bytes.size()), nullptr, 0),
            0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

INSTANTIATE_TEST_SUITE_P(All, InvalidBytes, testing::ValuesIn(kInvalidBytes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CodePage, MinusOneLengthConvertsTheTerminatorToo) {
  char out[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(WideCharToMultiByte(1252, 0, L"ab", -1, nullptr, 0, nullptr, nullptr), 3);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, L"ab", -1, out, sizeof(out), nullptr, nullptr), 3);
  EXPECT_EQ(std::string(out, 4), std::string("ab\0x", 4));
  wchar_t wide[8];
  EXPECT_EQ(MultiByteToWideChar(932, 0, "\x93\xFA" "a", -1, nullptr, 0), 3);
  EXPECT_EQ(MultiByteToWideChar(932, 0, "\x93\xFA" "a", -1, wide, 8), 3);
  EXPECT_EQ(std::wstring(wide), L"\u65E5a");
}

TEST(CodePage, TooSmallBufferFailsWithInsufficientBuffer) {
  char out[2];
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(932, 0, L"\u65E5\u672C", 2, out, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  wchar_t wide[1];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "ab", 2, wide, 1), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(CodePage, BadArgumentsAndUnknownCodePagesFail) {
  char out[4];
  wchar_t wide[4];
  struct Row {
    const char* what;
    int result;
  };
  const Row rows[] = {
      {"unknown code page", WideCharToMultiByte(1234, 0, L"a", 1, out, 4, nullptr, nullptr)},
      {"unknown code page decoding", MultiByteToWideChar(99999, 0, "a", 1, wide, 4)},
      {"UTF-16 is not a multi-byte code page", WideCharToMultiByte(1200, 0, L"a", 1, out, 4, nullptr, nullptr)},
      {"zero length", WideCharToMultiByte(1252, 0, L"a", 0, out, 4, nullptr, nullptr)},
      {"length below -1", MultiByteToWideChar(1252, 0, "a", -2, wide, 4)},
      {"null source", WideCharToMultiByte(1252, 0, nullptr, 1, out, 4, nullptr, nullptr)},
      {"null output with a size", MultiByteToWideChar(1252, 0, "a", 1, nullptr, 4)},
      {"negative output size", WideCharToMultiByte(1252, 0, L"a", 1, out, -1, nullptr, nullptr)},
      {"default char with UTF-8", WideCharToMultiByte(CP_UTF8, 0, L"a", 1, out, 4, "?", nullptr)},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(row.result, 0) << row.what;
  }
  SetLastError(0);
  WideCharToMultiByte(1234, 0, L"a", 1, out, 4, nullptr, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(IsValidCodePage(1234));
  EXPECT_FALSE(IsValidCodePage(CP_ACP));
  EXPECT_EQ(platform::IconvNameForCodePage(1234), nullptr);
  EXPECT_STREQ(platform::IconvNameForCodePage(1252), "WINDOWS-1252");
  EXPECT_EQ(platform::WideToCodePage(L"a", 1234), "");
  EXPECT_EQ(platform::CodePageToWide("a", 1234), L"");
}

TEST(CodePage, EveryListedCodePageIsAvailable) {
  const UINT required[] = {437, 720, 737, 775, 850, 852, 855, 857, 858, 860, 861, 862, 863, 864,
                           865, 866, 869, 874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254,
                           1255, 1256, 1257, 1258, 65001};
  for (UINT cp : required) {
    EXPECT_TRUE(IsValidCodePage(cp)) << cp;
    EXPECT_EQ(Decode(cp, "Abc"), L"Abc") << cp;
  }
}

class AnsiCodePage : public testing::Test {
 protected:
  void TearDown() override { ::unsetenv("OPOS_ANSI_CODEPAGE"); }
};

TEST_F(AnsiCodePage, DefaultsTo1252AndFollowsTheEnvironment) {
  ::unsetenv("OPOS_ANSI_CODEPAGE");
  EXPECT_EQ(GetACP(), 1252u);
  EXPECT_EQ(Encode(CP_ACP, L"\u20AC"), "\x80");
  ::setenv("OPOS_ANSI_CODEPAGE", "1251", 1);
  EXPECT_EQ(GetACP(), 1251u);
  EXPECT_EQ(Encode(CP_ACP, L"\u0416"), "\xC6");
  for (const char* bad : {"", "abc", "1234", "12x", "-5", "0"}) {
    ::setenv("OPOS_ANSI_CODEPAGE", bad, 1);
    EXPECT_EQ(GetACP(), 1252u) << '"' << bad << '"';
  }
}

TEST(CodePage, EveryByteOfASingleByteCodePageRoundTrips) {
  for (UINT cp : {437u, 720u, 850u, 858u, 866u, 1252u, 1256u}) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    const std::wstring wide = Decode(cp, all);
    ASSERT_EQ(wide.size(), all.size()) << cp;
    EXPECT_EQ(Hex(Encode(cp, wide)), Hex(all)) << cp;
  }
}

TEST(CodePage, ConcurrentConversionsAgree) {
  const std::wstring text = L"\u65E5\u672C \u20AC 12.50 \u2554\u2557";
  const std::string expected932 = Encode(932, text);
  const std::string expected1252 = Encode(1252, text);
  std::vector<std::thread> threads;
  std::atomic<int> mismatches{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) {
        if (platform::WideToCodePage(text, 932) != expected932) ++mismatches;
        if (platform::WideToCodePage(text, 1252) != expected1252) ++mismatches;
        if (platform::CodePageToWide(expected932, 932).size() != text.size()) ++mismatches;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace

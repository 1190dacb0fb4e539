// "Language.ini" look-ups in both encodings and the choice of section.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/wtext.h"
#include "setup/LanguageFile.h"

namespace zanth::test {
namespace {

std::string Utf16WithBom(const std::wstring& text) {
  std::string bytes = "\xFF\xFE";
  for (wchar_t c : text) {
    if (c > 0xFFFF) {
      const unsigned v = static_cast<unsigned>(c) - 0x10000;
      for (unsigned unit : {0xD800 + (v >> 10), 0xDC00 + (v & 0x3FF)}) bytes += char(unit & 0xFF), bytes += char(unit >> 8);
    } else {
      bytes += char(c & 0xFF), bytes += char(c >> 8);
    }
  }
  return bytes;
}

const std::wstring kIni =
    L"; texts\r\n[LanguageCollect]\r\nList=1033,2052\r\nDefaultLanguageID=1033\r\nDefaultLanguageName=English\r\n"
    L"[2052]\r\nFormD_btnQuit = 退出\r\nFormD_MSG_Quit=\"确定退出吗？\"\r\nEmoji=\U0001F5A8\r\n"
    L"[1033]\r\nFormD_btnQuit=Quit\r\nFormD_btnQuit=Ignored second\r\n";

TEST(SetupLanguage, BothEncodingsReadAlike) {
  for (const std::string& bytes : {"\xEF\xBB\xBF" + platform::ToUtf8(kIni), platform::ToUtf8(kIni), Utf16WithBom(kIni)}) {
    SCOPED_TRACE(bytes.substr(0, 3));
    setup::LanguageFile file;
    file.Parse(bytes);
    EXPECT_EQ(file.Get(L"2052", L"formd_btnquit"), L"退出");
    EXPECT_EQ(file.Get(L"2052", L"FormD_MSG_Quit"), L"确定退出吗？");
    EXPECT_EQ(file.Get(L"2052", L"Emoji"), L"\U0001F5A8");
    EXPECT_EQ(file.Get(L"1033", L"FormD_btnQuit"), L"Quit");
    EXPECT_EQ(file.Get(L"1033", L"Missing"), L"");
    EXPECT_EQ(file.Get(L"9999", L"FormD_btnQuit"), L"");
  }
}

TEST(SetupLanguage, SectionChoice) {
  setup::LanguageFile file;
  file.Parse(platform::ToUtf8(kIni));
  const struct {
    std::wstring id, expected;
  } cases[] = {{L"2052", L"2052"}, {L"1033", L"1033"}, {L"1041", L"1033"}, {L"", L"1033"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.id));
    EXPECT_EQ(setup::ChooseLanguage(file, {c.id, L"System"}).sectionId, c.expected);
  }
  EXPECT_EQ(setup::ChooseLanguage(file, {L"1041", L"Japanese"}).name, L"English");
  setup::LanguageFile missing;
  EXPECT_FALSE(missing.Load("/nonexistent/Language.ini"));
  EXPECT_EQ(setup::Texts(&missing, L"1033")("FormD_btnQuit"), L"");
}

TEST(SetupLanguage, LocaleToLanguageId) {
  const struct {
    const char* locale;
    int id;
  } cases[] = {{"zh_CN.UTF-8", 2052}, {"en_GB.utf8@euro", 2057}, {"de", 1031}, {"pt_XX", 2070}, {"C", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale);
    EXPECT_EQ(setup::LanguageIdOfLocale(c.locale), c.id);
  }
  setenv("ZANTH_SETUP_LANGID", "2052", 1);
  EXPECT_EQ(setup::SystemLanguage().sectionId, L"2052");
  unsetenv("ZANTH_SETUP_LANGID");
}

}  // namespace
}  // namespace zanth::test

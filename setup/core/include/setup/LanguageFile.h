// "Language.ini": the tool's texts, one section per Windows language id, read with plain
// section/key look-ups (names compare without letter case; an absent key is empty).
#pragma once

#include <map>
#include <string>

namespace zanth::setup {

class LanguageFile {
 public:
  // Reads the file (UTF-8, or UTF-16LE with a BOM). A missing file reads as empty.
  bool Load(const std::string& path);
  // Parses file contents.
  void Parse(const std::string& bytes);
  std::wstring Get(const std::wstring& section, const std::wstring& key) const;

 private:
  // Upper-cased section name -> upper-cased key -> text.
  std::map<std::wstring, std::map<std::wstring, std::wstring>> sections_;
};

struct LanguageChoice {
  std::wstring sectionId;  // the section the texts come from, e.g. "1033"
  std::wstring name;       // the language's name
};

// The system's language as a Windows language id and name: ZANTH_SETUP_LANGID when set
// (a decimal id), else the locale of LC_ALL, LC_MESSAGES or LANG ("zh_CN.UTF-8" -> 2052);
// 1033 (English, United States) when none says otherwise.
LanguageChoice SystemLanguage();
// Windows language id of a POSIX locale name; 0 when unknown.
int LanguageIdOfLocale(const std::string& locale);

// The section to use: the system's id when it occurs inside the file's "List", else the
// file's "DefaultLanguageID" and "DefaultLanguageName".
LanguageChoice ChooseLanguage(const LanguageFile& file, const LanguageChoice& system);

// The texts of one language.
class Texts {
 public:
  Texts() = default;
  Texts(const LanguageFile* file, std::wstring section) : file_(file), section_(std::move(section)) {}
  std::wstring operator()(const std::string& key) const;

 private:
  const LanguageFile* file_ = nullptr;
  std::wstring section_;
};

}  // namespace zanth::setup

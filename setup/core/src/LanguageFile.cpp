// "Language.ini" reading and the choice of its section.
#include "setup/LanguageFile.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/wtext.h"

namespace zanth::setup {

namespace {

std::wstring Decode(const std::string& bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::wstring text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      unsigned unit = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
      if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
        const unsigned low =
            static_cast<unsigned char>(bytes[i + 2]) | static_cast<unsigned char>(bytes[i + 3]) << 8;
        if (low >= 0xDC00 && low < 0xE000) {
          unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          i += 2;
        }
      }
      text.push_back(static_cast<wchar_t>(unit));
    }
    return text;
  }
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
    return platform::FromUtf8(std::string_view(bytes).substr(3));
  return platform::FromUtf8(bytes);
}

std::wstring Strip(std::wstring_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && (text[begin] == L' ' || text[begin] == L'\t' || text[begin] == L'\r')) ++begin;
  while (end > begin && (text[end - 1] == L' ' || text[end - 1] == L'\t' || text[end - 1] == L'\r')) --end;
  return std::wstring(text.substr(begin, end - begin));
}

struct LocaleRow {
  const char* locale;  // "ll_CC" or a language alone
  int id;
  const wchar_t* name;
};

constexpr LocaleRow kLocales[] = {
    {"en_US", 1033, L"English (United States)"}, {"en_GB", 2057, L"English (United Kingdom)"},
    {"en_AU", 3081, L"English (Australia)"},     {"en_CA", 4105, L"English (Canada)"},
    {"zh_CN", 2052, L"Chinese (Simplified, PRC)"}, {"zh_TW", 1028, L"Chinese (Traditional, Taiwan)"},
    {"zh_HK", 3076, L"Chinese (Traditional, Hong Kong SAR)"}, {"zh_SG", 4100, L"Chinese (Simplified, Singapore)"},
    {"ja_JP", 1041, L"Japanese (Japan)"},        {"ko_KR", 1042, L"Korean (Korea)"},
    {"de_DE", 1031, L"German (Germany)"},        {"de_AT", 3079, L"German (Austria)"},
    {"de_CH", 2055, L"German (Switzerland)"},    {"fr_FR", 1036, L"French (France)"},
    {"fr_CA", 3084, L"French (Canada)"},         {"fr_BE", 2060, L"French (Belgium)"},
    {"es_ES", 3082, L"Spanish (Spain)"},         {"es_MX", 2058, L"Spanish (Mexico)"},
    {"it_IT", 1040, L"Italian (Italy)"},         {"pt_BR", 1046, L"Portuguese (Brazil)"},
    {"pt_PT", 2070, L"Portuguese (Portugal)"},   {"nl_NL", 1043, L"Dutch (Netherlands)"},
    {"ru_RU", 1049, L"Russian (Russia)"},        {"pl_PL", 1045, L"Polish (Poland)"},
    {"cs_CZ", 1029, L"Czech (Czech Republic)"},  {"tr_TR", 1055, L"Turkish (Turkey)"},
    {"ar_SA", 1025, L"Arabic (Saudi Arabia)"},   {"he_IL", 1037, L"Hebrew (Israel)"},
    {"th_TH", 1054, L"Thai (Thailand)"},         {"vi_VN", 1066, L"Vietnamese (Vietnam)"},
    {"sv_SE", 1053, L"Swedish (Sweden)"},        {"da_DK", 1030, L"Danish (Denmark)"},
    {"fi_FI", 1035, L"Finnish (Finland)"},       {"nb_NO", 1044, L"Norwegian, Bokmål (Norway)"},
    {"el_GR", 1032, L"Greek (Greece)"},          {"hu_HU", 1038, L"Hungarian (Hungary)"},
    {"id_ID", 1057, L"Indonesian (Indonesia)"},  {"ms_MY", 1086, L"Malay (Malaysia)"},
    {"uk_UA", 1058, L"Ukrainian (Ukraine)"},
    // A language without its country takes its main country.
    {"en", 1033, nullptr}, {"zh", 2052, nullptr}, {"ja", 1041, nullptr}, {"ko", 1042, nullptr},
    {"de", 1031, nullptr}, {"fr", 1036, nullptr}, {"es", 3082, nullptr}, {"it", 1040, nullptr},
    {"pt", 2070, nullptr}, {"nl", 1043, nullptr}, {"ru", 1049, nullptr}, {"pl", 1045, nullptr},
    {"cs", 1029, nullptr}, {"tr", 1055, nullptr}, {"ar", 1025, nullptr}, {"he", 1037, nullptr},
    {"th", 1054, nullptr}, {"vi", 1066, nullptr}, {"sv", 1053, nullptr}, {"da", 1030, nullptr},
    {"fi", 1035, nullptr}, {"nb", 1044, nullptr}, {"el", 1032, nullptr}, {"hu", 1038, nullptr},
    {"id", 1057, nullptr}, {"ms", 1086, nullptr}, {"uk", 1058, nullptr},
};

std::wstring NameOfId(int id) {
  for (const LocaleRow& row : kLocales)
    if (row.id == id && row.name) return row.name;
  return {};
}

}  // namespace

bool LanguageFile::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    sections_.clear();
    return false;
  }
  Parse(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
  return true;
}

void LanguageFile::Parse(const std::string& bytes) {
  sections_.clear();
  std::wistringstream lines(Decode(bytes));
  std::wstring line;
  std::map<std::wstring, std::wstring>* section = nullptr;
  while (std::getline(lines, line)) {
    const std::wstring text = Strip(line);
    if (text.empty() || text[0] == L';') continue;
    if (text[0] == L'[') {
      const size_t close = text.find(L']');
      const std::wstring name = Strip(text.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
      section = &sections_[platform::ToUpper(name)];
      continue;
    }
    const size_t equals = text.find(L'=');
    if (!section || equals == std::wstring::npos) continue;
    const std::wstring key = platform::ToUpper(Strip(text.substr(0, equals)));
    std::wstring value = Strip(text.substr(equals + 1));
    // A value in matching quotes loses them, as profile reads do.
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    // The first occurrence of a key wins, as profile reads find it.
    section->emplace(key, value);
  }
}

std::wstring LanguageFile::Get(const std::wstring& section, const std::wstring& key) const {
  const auto s = sections_.find(platform::ToUpper(section));
  if (s == sections_.end()) return {};
  const auto k = s->second.find(platform::ToUpper(key));
  return k == s->second.end() ? std::wstring() : k->second;
}

int LanguageIdOfLocale(const std::string& locale) {
  // "zh_CN.UTF-8@variant": the language and country matter.
  std::string name = locale.substr(0, locale.find_first_of(".@"));
  for (const LocaleRow& row : kLocales)
    if (name == row.locale) return row.id;
  name = name.substr(0, name.find('_'));
  for (const LocaleRow& row : kLocales)
    if (name == row.locale) return row.id;
  return 0;
}

LanguageChoice SystemLanguage() {
  int id = 0;
  if (const char* forced = std::getenv("ZANTH_SETUP_LANGID"); forced && *forced) {
    id = std::atoi(forced);
  } else {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* value = std::getenv(variable);
      if (!value || !*value) continue;
      id = LanguageIdOfLocale(value);
      break;
    }
  }
  if (id <= 0) id = 1033;
  return {std::to_wstring(id), NameOfId(id)};
}

LanguageChoice ChooseLanguage(const LanguageFile& file, const LanguageChoice& system) {
  const std::wstring list = file.Get(L"LanguageCollect", L"List");
  if (!system.sectionId.empty() && list.find(system.sectionId) != std::wstring::npos) return system;
  return {file.Get(L"LanguageCollect", L"DefaultLanguageID"),
          file.Get(L"LanguageCollect", L"DefaultLanguageName")};
}

std::wstring Texts::operator()(const std::string& key) const {
  if (!file_) return {};
  return file_->Get(section_, platform::FromUtf8(key));
}

}  // namespace zanth::setup

// Feeds arbitrary bytes to the "Language.ini" reader. Names compare without letter case,
// a plain ASCII file reads the same in UTF-8 and in UTF-16 with a byte-order mark, and the
// language chosen is always the system's own or the file's default.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "setup/LanguageFile.h"

namespace {

using zanth::setup::LanguageFile;

void Check(bool ok) {
  if (!ok) std::abort();
}

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring Cased(const std::wstring& text, bool upper) {
  std::wstring out = text;
  for (wchar_t& c : out)
    if (c < 0x80) c = static_cast<wchar_t>(upper ? std::toupper(c) : std::tolower(c));
  return out;
}

// Section and key names as the text spells them: "[name]" and "key=" on each line.
std::vector<std::pair<std::wstring, std::wstring>> NamesIn(const std::string& text) {
  std::vector<std::pair<std::wstring, std::wstring>> names;
  std::wstring section;
  std::size_t start = 0;
  while (start < text.size() && names.size() < 8) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const std::size_t open = line.find('['), close = line.find(']');
    if (open != std::string::npos && close != std::string::npos && open < close) {
      section = Widen(line.substr(open + 1, close - open - 1));
    } else if (const std::size_t equals = line.find('='); equals != std::string::npos) {
      names.emplace_back(section, Widen(line.substr(0, equals)));
    }
  }
  return names;
}

bool PlainAscii(const std::uint8_t* data, std::size_t size) {
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) return false;
  for (std::size_t i = 0; i < size; ++i)
    if (data[i] == 0 || data[i] >= 0x80) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  LanguageFile file;
  file.Parse(bytes);
  const auto names = NamesIn(bytes);
  for (const auto& [section, key] : names) {
    const std::wstring text = file.Get(section, key);
    Check(file.Get(Cased(section, true), Cased(key, false)) == text);
    Check(file.Get(Cased(section, false), Cased(key, true)) == text);
  }
  if (PlainAscii(data, size)) {
    std::string wide = "\xFF\xFE";
    for (char c : bytes) wide += std::string{c, '\0'};
    LanguageFile utf16;
    utf16.Parse(wide);
    for (const auto& [section, key] : names) Check(utf16.Get(section, key) == file.Get(section, key));
  }
  const std::wstring fallback = file.Get(L"LanguageCollect", L"DefaultLanguageID");
  for (const wchar_t* system : {L"1033", L"2052", L"", L"0"}) {
    const auto chosen = zanth::setup::ChooseLanguage(file, {system, L"System"});
    Check(chosen.sectionId == system || chosen.sectionId == fallback);
    zanth::setup::Texts texts(&file, chosen.sectionId);
    (void)texts("FormD_btnQuit");
  }
  return 0;
}

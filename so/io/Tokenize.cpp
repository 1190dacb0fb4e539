#include "Tokenize.h"

namespace Tesk::IO {

std::vector<std::wstring> Tokenize(const std::wstring& text, const std::wstring& delimiters) {
  // The two blanks are the system's own message text.
  if (text.empty() || delimiters.empty()) throw SettingsError("tokenize: empty  string");
  std::vector<std::wstring> fields;
  std::size_t start = text.find_first_not_of(delimiters);
  while (start != std::wstring::npos) {
    std::size_t end = text.find_first_of(delimiters, start);
    fields.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
    if (end == std::wstring::npos) break;
    start = text.find_first_not_of(delimiters, end);
  }
  return fields;
}

}  // namespace Tesk::IO

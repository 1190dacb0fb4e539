// Splitting of "PortSettings" strings, and the error every settings parser throws.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace Tesk::IO {

// Thrown by the tokenizer and by SetSettingsString; the open that parses catches it.
class SettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The maximal runs of characters between delimiters, in order; empty runs are
// dropped ("a,,b," gives a and b). Throws SettingsError "tokenize: empty  string"
// when the text or the delimiter set is empty.
std::vector<std::wstring> Tokenize(const std::wstring& text, const std::wstring& delimiters);

}  // namespace Tesk::IO

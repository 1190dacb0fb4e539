// Feeds arbitrary settings strings to each port type's grammar and to the tokenizer. A bad
// string may only be refused with SettingsError (the open catches it); anything else that
// escapes would reach the application's process. What is accepted stays within its limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "PortFactory.h"
#include "PortSettingsBase.h"
#include "Tokenize.h"

namespace {

const wchar_t* const kTypes[] = {L"COM", L"LPT", L"USB", L"TCP/IP", L"FILE"};

// Bytes become characters one by one; a 0xFF byte makes the next two one wide character,
// so text beyond Latin-1 is reached too.
std::wstring Widen(const std::uint8_t* data, std::size_t size) {
  std::wstring text;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF && i + 2 < size) {
      text += static_cast<wchar_t>(data[i + 1] << 8 | data[i + 2]);
      i += 2;
    } else {
      text += static_cast<wchar_t>(data[i]);
    }
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::wstring text = Widen(data + 1, size - 1);
  const wchar_t* type = kTypes[data[0] % 5];
  auto settings = Tesk::IO::CreatePortSettings(type);
  try {
    settings->SetSettingsString(text);
    if (settings->GetPortName().size() > Tesk::IO::CPortSettingsBase::kMaxPortName) std::abort();
    if (settings->GetPortType() != type) std::abort();
    (void)settings->GetSettingsString();
  } catch (const Tesk::IO::SettingsError&) {
  }
  // The tokenizer: the first half of the text splits the second half.
  const std::wstring delimiters = text.substr(0, text.size() / 4);
  const std::wstring body = text.substr(text.size() / 4);
  try {
    for (const std::wstring& token : Tesk::IO::Tokenize(body, delimiters)) {
      if (token.empty() || token.find_first_of(delimiters) != std::wstring::npos) std::abort();
    }
  } catch (const Tesk::IO::SettingsError&) {
    if (!body.empty() && !delimiters.empty()) std::abort();  // only empty input is refused
  }
  return 0;
}

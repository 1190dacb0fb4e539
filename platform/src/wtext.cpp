#include "platform/wtext.h"

#include <cstdlib>
#include <cstring>
#include <cwctype>

#include <locale.h>
#include <wctype.h>

namespace {

// The block starts with the 32-bit byte length; the characters follow at once, 4 bytes
// in, as every module that shares BSTRs with us lays them out (wchar_t needs no more
// alignment than that).
constexpr size_t kHeader = sizeof(std::uint32_t);

BSTR AllocBstr(const wchar_t* text, UINT length) {
  const size_t bytes = static_cast<size_t>(length) * sizeof(wchar_t);
  if (bytes > 0xFFFFFFF0u) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(kHeader + bytes + sizeof(wchar_t)));
  if (!block) return nullptr;
  const std::uint32_t byteLength = static_cast<std::uint32_t>(bytes);
  std::memcpy(block, &byteLength, sizeof(byteLength));
  auto* chars = reinterpret_cast<wchar_t*>(block + kHeader);
  if (text) {
    std::memcpy(chars, text, bytes);
  } else {
    std::memset(chars, 0, bytes);
  }
  chars[length] = L'\0';
  return chars;
}

}  // namespace

BSTR SysAllocString(const wchar_t* text) {
  if (!text) return nullptr;
  return AllocBstr(text, static_cast<UINT>(std::wcslen(text)));
}

BSTR SysAllocStringLen(const wchar_t* text, UINT length) { return AllocBstr(text, length); }

UINT SysStringByteLen(BSTR text) {
  if (!text) return 0;
  std::uint32_t byteLength;
  std::memcpy(&byteLength, reinterpret_cast<unsigned char*>(text) - sizeof(byteLength),
              sizeof(byteLength));
  return byteLength;
}

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(wchar_t); }

void SysFreeString(BSTR text) {
  if (text) std::free(reinterpret_cast<unsigned char*>(text) - kHeader);
}

BOOL SysReAllocString(BSTR* target, const wchar_t* text) {
  if (!target) return FALSE;
  BSTR copy = text ? SysAllocString(text) : nullptr;
  if (text && !copy) return FALSE;
  SysFreeString(*target);
  *target = copy;
  return TRUE;
}

namespace platform {

std::string ToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t wc : text) {
    auto c = static_cast<std::uint32_t>(wc);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::wstring FromUtf8(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra;
    std::uint32_t c;
    if (lead < 0x80) { extra = 0; c = lead; }
    else if ((lead & 0xE0) == 0xC0) { extra = 1; c = lead & 0x1F; }
    else if ((lead & 0xF0) == 0xE0) { extra = 2; c = lead & 0x0F; }
    else if ((lead & 0xF8) == 0xF0) { extra = 3; c = lead & 0x07; }
    else { out += L'\uFFFD'; ++i; continue; }
    if (extra > 0 && i + extra >= text.size()) {  // truncated sequence
      out += L'\uFFFD';
      ++i;
      continue;
    }
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      const auto b = static_cast<unsigned char>(text[i + k]);
      if ((b & 0xC0) != 0x80) { ok = false; break; }
      c = (c << 6) | (b & 0x3F);
    }
    static constexpr std::uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (!ok || c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out += L'\uFFFD';
      ++i;
      continue;
    }
    out += static_cast<wchar_t>(c);
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

namespace {

// Windows upper-cases all of Unicode when it compares names; towupper in the "C" locale
// knows only ASCII, so the built-in C.UTF-8 locale is used when the C library has it.
wint_t UpperChar(wchar_t c) {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  const auto wc = static_cast<wint_t>(c);
  return utf8 ? towupper_l(wc, utf8) : std::towupper(wc);
}

}  // namespace

std::wstring ToUpper(std::wstring_view text) {
  std::wstring out(text);
  for (auto& c : out) c = static_cast<wchar_t>(UpperChar(c));
  return out;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && UpperChar(a[i]) != UpperChar(b[i])) return false;
  }
  return true;
}

}  // namespace platform

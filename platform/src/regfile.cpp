// The Windows registry-export (.reg) text format: parsing and formatting.
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/registry.h"
#include "platform/wtext.h"

namespace platform {

namespace {

constexpr wchar_t kHeader5[] = L"Windows Registry Editor Version 5.00";
constexpr wchar_t kHeader4[] = L"REGEDIT4";

// The roots a .reg file may name, in their canonical spelling.
constexpr const wchar_t* kRootNames[] = {L"HKEY_LOCAL_MACHINE", L"HKEY_CURRENT_USER",
                                          L"HKEY_CLASSES_ROOT", L"HKEY_USERS",
                                          L"HKEY_CURRENT_CONFIG"};

std::wstring Utf16ToWide(const BYTE* bytes, size_t size, bool bigEndian) {
  std::wstring out;
  out.reserve(size / 2);
  for (size_t i = 0; i + 1 < size + (size & 1); i += 2) {
    const unsigned lo = bytes[i];
    const unsigned hi = i + 1 < size ? bytes[i + 1] : 0;
    unsigned unit = bigEndian ? (lo << 8 | hi) : (hi << 8 | lo);
    // Join surrogate pairs; a lone surrogate stays as it is, so nothing is lost.
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < size) {
      const unsigned lo2 = bytes[i + 2], hi2 = bytes[i + 3];
      const unsigned next = bigEndian ? (lo2 << 8 | hi2) : (hi2 << 8 | lo2);
      if (next >= 0xDC00 && next < 0xE000) {
        out += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        i += 2;
        continue;
      }
    }
    out += static_cast<wchar_t>(unit);
  }
  return out;
}

std::string WideToUtf16Le(std::wstring_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  auto put = [&out](unsigned unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  };
  for (wchar_t wc : text) {
    auto c = static_cast<std::uint32_t>(wc);
    if (c > 0x10FFFF) c = 0xFFFD;
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
  }
  return out;
}

std::vector<BYTE> WideUnitsToBytes(std::wstring_view text) {
  const auto* p = reinterpret_cast<const BYTE*>(text.data());
  return std::vector<BYTE>(p, p + text.size() * sizeof(wchar_t));
}

std::wstring BytesToWideUnits(const std::vector<BYTE>& data) {
  std::wstring out(data.size() / sizeof(wchar_t), L'\0');
  if (!out.empty()) std::memcpy(out.data(), data.data(), out.size() * sizeof(wchar_t));
  return out;
}

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The file's bytes as text: UTF-16 with a BOM, UTF-8 (with or without BOM), or, for
// old REGEDIT4 files that are not valid UTF-8, the ANSI code page.
std::wstring DecodeFileText(const std::string& bytes) {
  const auto* b = reinterpret_cast<const BYTE*>(bytes.data());
  if (bytes.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE)
    return Utf16ToWide(b + 2, bytes.size() - 2, false);
  if (bytes.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF)
    return Utf16ToWide(b + 2, bytes.size() - 2, true);
  std::string_view text(bytes);
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::wstring wide = FromUtf8(text);
  if (ToUtf8(wide) != text) {
    std::wstring ansi = CodePageToWide(text, GetACP());
    if (!ansi.empty()) return ansi;
  }
  return wide;
}

std::wstring_view Trim(std::wstring_view s) {
  while (!s.empty() && (s.front() == L' ' || s.front() == L'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == L' ' || s.back() == L'\t')) s.remove_suffix(1);
  return s;
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Reads a quoted string starting at text[pos] == '"'. Only \\ and \" are escapes, as
// regedit writes them; any other backslash is kept, so a hand-written "C:\Temp" survives.
bool ReadQuoted(std::wstring_view text, size_t& pos, std::wstring& out) {
  out.clear();
  for (size_t i = pos + 1; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'"') {
      pos = i + 1;
      return true;
    }
    if (c == L'\\' && i + 1 < text.size() && (text[i + 1] == L'\\' || text[i + 1] == L'"')) {
      out += text[++i];
    } else {
      out += c;
    }
  }
  return false;
}

struct LineError {
  size_t line;
  std::string reason;
};

// "HKEY_LOCAL_MACHINE\\a\\b" with the root checked and spelled canonically and empty
// components (doubled or trailing backslashes) dropped.
bool NormaliseKeyPath(std::wstring_view path, std::wstring& out, std::string& reason) {
  std::vector<std::wstring_view> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring_view::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  if (parts.empty()) {
    reason = "empty key path";
    return false;
  }
  const wchar_t* root = nullptr;
  for (const wchar_t* name : kRootNames)
    if (EqualsNoCase(parts[0], name)) root = name;
  if (!root) {
    reason = "unknown root key '" + ToUtf8(parts[0]) + "'";
    return false;
  }
  out = root;
  for (size_t i = 1; i < parts.size(); ++i) {
    out += L'\\';
    out += parts[i];
  }
  return true;
}

bool ParseHexBytes(std::wstring_view text, std::vector<BYTE>& out) {
  out.clear();
  text = Trim(text);
  if (text.empty()) return true;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L',', start);
    if (end == std::wstring_view::npos) end = text.size();
    const std::wstring_view token = Trim(text.substr(start, end - start));
    if (token.empty()) {
      if (end != text.size()) return false;  // only a trailing comma may leave a gap
    } else {
      if (token.size() > 2) return false;
      int value = 0;
      for (wchar_t c : token) {
        const int d = HexDigit(c);
        if (d < 0) return false;
        value = value * 16 + d;
      }
      out.push_back(static_cast<BYTE>(value));
    }
    start = end + 1;
  }
  return true;
}

// The data after '=' of one value line.
bool ParseValueData(std::wstring_view data, bool ansiFile, RegistryValue& value,
                    std::string& reason) {
  if (data == L"-") {
    value.type = kRegDeleteValueMark;
    value.data.clear();
    return true;
  }
  if (!data.empty() && data.front() == L'"') {
    size_t pos = 0;
    std::wstring text;
    if (!ReadQuoted(data, pos, text)) {
      reason = "unterminated string";
      return false;
    }
    if (!Trim(data.substr(pos)).empty()) {
      reason = "text after the closing quote";
      return false;
    }
    text += L'\0';
    value.type = REG_SZ;
    value.data = WideUnitsToBytes(text);
    return true;
  }
  std::wstring lower;
  for (wchar_t c : data.substr(0, 16)) lower += static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  if (lower.rfind(L"dword:", 0) == 0) {
    const std::wstring_view digits = Trim(data.substr(6));
    if (digits.empty() || digits.size() > 8) {
      reason = "dword needs 1 to 8 hex digits";
      return false;
    }
    DWORD v = 0;
    for (wchar_t c : digits) {
      const int d = HexDigit(c);
      if (d < 0) {
        reason = "bad hex digit in dword";
        return false;
      }
      v = v * 16 + static_cast<DWORD>(d);
    }
    value.type = REG_DWORD;
    value.data.assign(reinterpret_cast<const BYTE*>(&v), reinterpret_cast<const BYTE*>(&v) + 4);
    return true;
  }
  if (lower.rfind(L"hex", 0) == 0) {
    size_t pos = 3;
    DWORD type = REG_BINARY;
    if (pos < data.size() && data[pos] == L'(') {
      const size_t close = data.find(L')', pos);
      if (close == std::wstring_view::npos || close == pos + 1 || close > pos + 9) {
        reason = "bad hex(type)";
        return false;
      }
      type = 0;
      for (size_t i = pos + 1; i < close; ++i) {
        const int d = HexDigit(data[i]);
        if (d < 0) {
          reason = "bad hex(type)";
          return false;
        }
        type = type * 16 + static_cast<DWORD>(d);
      }
      pos = close + 1;
    }
    if (pos >= data.size() || data[pos] != L':') {
      reason = "expected ':' after hex";
      return false;
    }
    std::vector<BYTE> bytes;
    if (!ParseHexBytes(data.substr(pos + 1), bytes)) {
      reason = "bad hex byte list";
      return false;
    }
    value.type = type;
    if (IsStringType(type)) {
      // Text values hold wchar_t units in memory; the file carries UTF-16LE (or the
      // ANSI code page in a REGEDIT4 file).
      std::wstring units;
      if (ansiFile) {
        std::string ansi(bytes.begin(), bytes.end());
        units = ansi.empty() ? std::wstring() : CodePageToWide(ansi, GetACP());
      } else {
        units = Utf16ToWide(bytes.data(), bytes.size(), false);
      }
      value.data = WideUnitsToBytes(units);
    } else {
      value.data = std::move(bytes);
    }
    return true;
  }
  reason = "unrecognised value data '" + ToUtf8(data.substr(0, 40)) + "'";
  return false;
}

std::wstring Escape(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size() + 2);
  for (wchar_t c : text) {
    if (c == L'\\' || c == L'"') out += L'\\';
    out += c;
  }
  return out;
}

// regedit keeps lines within 80 columns: "xx," tokens, a trailing backslash, and
// continuation lines indented by two spaces.
void AppendHex(std::wstring& out, std::wstring line, const std::vector<BYTE>& bytes) {
  static const wchar_t* digits = L"0123456789abcdef";
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::wstring token{digits[bytes[i] >> 4], digits[bytes[i] & 15]};
    if (i + 1 < bytes.size()) token += L',';
    if (line.size() + token.size() > 79) {
      out += line;
      out += L"\\\r\n";
      line = L"  ";
    }
    line += token;
  }
  out += line;
  out += L"\r\n";
}

void AppendValue(std::wstring& out, const RegistryValue& value) {
  std::wstring line = value.name.empty() ? L"@=" : L"\"" + Escape(value.name) + L"\"=";
  if (value.type == kRegDeleteValueMark) {
    out += line + L"-\r\n";
    return;
  }
  if (value.type == REG_SZ && value.data.size() % sizeof(wchar_t) == 0) {
    std::wstring text = BytesToWideUnits(value.data);
    if (!text.empty() && text.back() == L'\0') {
      text.pop_back();
      // A quoted string cannot hold a NUL or a line break; such text goes out as hex(1).
      if (text.find_first_of(std::wstring(L"\0\r\n", 3)) == std::wstring::npos) {
        out += line + L"\"" + Escape(text) + L"\"\r\n";
        return;
      }
    }
  }
  if (value.type == REG_DWORD && value.data.size() == 4) {
    DWORD v;
    std::memcpy(&v, value.data.data(), 4);
    wchar_t buf[16];
    std::swprintf(buf, 16, L"dword:%08x", v);
    out += line + buf + L"\r\n";
    return;
  }
  std::vector<BYTE> bytes = value.data;
  if (IsStringType(value.type)) {
    const std::string utf16 = WideToUtf16Le(BytesToWideUnits(value.data));
    bytes.assign(utf16.begin(), utf16.end());
  }
  if (value.type == REG_BINARY) {
    line += L"hex:";
  } else {
    wchar_t buf[16];
    std::swprintf(buf, 16, L"hex(%x):", value.type);
    line += buf;
  }
  AppendHex(out, std::move(line), bytes);
}

}  // namespace

bool ParseRegFile(const std::string& bytes, std::vector<RegistryKey>& keys, std::string& error) {
  keys.clear();
  error.clear();
  const std::wstring text = DecodeFileText(bytes);
  std::vector<std::wstring_view> lines;
  {
    size_t start = 0;
    std::wstring_view all(text);
    while (start < all.size()) {
      size_t end = all.find(L'\n', start);
      if (end == std::wstring_view::npos) end = all.size();
      std::wstring_view line = all.substr(start, end - start);
      if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);
      lines.push_back(line);
      start = end + 1;
    }
  }
  // Every complete export ends its last line; a file that stops inside a value was cut short.
  const bool endsWithLineEnd = !text.empty() && text.back() == L'\n';
  auto fail = [&](size_t line, const std::string& reason) {
    error = "line " + std::to_string(line) + ": " + reason;
    keys.clear();
    return false;
  };
  size_t i = 0;
  while (i < lines.size() && Trim(lines[i]).empty()) ++i;
  if (i == lines.size()) return fail(1, "empty file, expected \"Windows Registry Editor Version 5.00\"");
  const std::wstring_view header = Trim(lines[i]);
  if (header != kHeader5 && header != kHeader4)
    return fail(i + 1, "not a registry file: expected \"Windows Registry Editor Version 5.00\"");
  const bool ansiFile = header == kHeader4;
  ++i;

  bool inDeletedKey = false;
  for (; i < lines.size(); ++i) {
    const size_t lineNo = i + 1;
    std::wstring_view line = Trim(lines[i]);
    if (line.empty() || line.front() == L';') continue;
    if (line == kHeader5 || line == kHeader4) continue;  // concatenated exports
    if (line.front() == L'[') {
      const size_t close = line.rfind(L']');
      if (close == std::wstring_view::npos) return fail(lineNo, "key line without ']'");
      // Not trimmed: key names may begin or end with spaces.
      std::wstring_view inner = line.substr(1, close - 1);
      const bool remove = !inner.empty() && inner.front() == L'-';
      if (remove) inner.remove_prefix(1);
      std::wstring path;
      std::string reason;
      if (!NormaliseKeyPath(inner, path, reason)) return fail(lineNo, reason);
      keys.push_back(RegistryKey{remove ? L"-" + path : path, {}});
      inDeletedKey = remove;
      continue;
    }
    if (line.front() != L'"' && line.front() != L'@')
      return fail(lineNo, "unexpected text '" + ToUtf8(line.substr(0, 40)) + "'");
    if (keys.empty()) return fail(lineNo, "value before the first [key] line");
    if (inDeletedKey) return fail(lineNo, "value under a deleted [-key]");
    RegistryValue value;
    size_t pos = 0;
    if (line.front() == L'@') {
      pos = 1;
    } else if (!ReadQuoted(line, pos, value.name)) {
      return fail(lineNo, "unterminated value name");
    }
    while (pos < line.size() && (line[pos] == L' ' || line[pos] == L'\t')) ++pos;
    if (pos >= line.size() || line[pos] != L'=') return fail(lineNo, "expected '=' after the value name");
    std::wstring data(Trim(line.substr(pos + 1)));
    // Long hex values continue on the next lines after a trailing backslash.
    while (!data.empty() && data.front() != L'"' && data.back() == L'\\' && i + 1 < lines.size()) {
      data.pop_back();
      data += Trim(lines[++i]);
    }
    // A file cut short inside a value must not read as a shorter value.
    if (!data.empty() && data.front() != L'"' && data.back() == L'\\')
      return fail(lineNo, "the value is cut short (its byte list continues past the end of the file)");
    if (i + 1 == lines.size() && !endsWithLineEnd)
      return fail(lineNo, "the file ends inside this value (cut short)");
    std::string reason;
    if (!ParseValueData(data, ansiFile, value, reason)) return fail(lineNo, reason);
    keys.back().values.push_back(std::move(value));
  }
  return true;
}

std::string FormatRegFile(const std::vector<RegistryKey>& keys) {
  std::wstring text = kHeader5;
  text += L"\r\n\r\n";
  for (const RegistryKey& key : keys) {
    text += L"[" + key.path + L"]\r\n";
    // regedit writes the default value first.
    for (const RegistryValue& value : key.values)
      if (value.name.empty()) AppendValue(text, value);
    for (const RegistryValue& value : key.values)
      if (!value.name.empty()) AppendValue(text, value);
    text += L"\r\n";
  }
  return "\xFF\xFE" + WideToUtf16Le(text);
}

}  // namespace platform

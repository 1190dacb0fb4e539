// Small helpers for registry tests: typed reads and writes, file bytes, UTF-16 text.
#pragma once

#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

#include "platform/registry.h"
#include "platform/wtext.h"

namespace testing_support {

inline LONG SetString(HKEY key, const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
  return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

inline LONG SetDword(HKEY key, const wchar_t* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

// The raw data of a value with its type; nullopt when the query fails.
inline std::optional<std::wstring> GetString(HKEY key, const wchar_t* name, DWORD* typeOut = nullptr) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  std::wstring text(size / sizeof(wchar_t), L'\0');
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  if (typeOut) *typeOut = type;
  if (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

inline std::optional<DWORD> GetDword(HKEY key, const wchar_t* name) {
  DWORD type = 0, value = 0, size = sizeof(value);
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD)
    return std::nullopt;
  return value;
}

inline std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Text as Windows writes .reg files: UTF-16LE with a BOM.
inline std::string Utf16LeWithBom(const std::wstring& text) {
  std::string out = "\xFF\xFE";
  for (wchar_t c : text) {
    auto u = static_cast<std::uint32_t>(c);
    auto put = [&](std::uint32_t unit) {
      out += static_cast<char>(unit & 0xFF);
      out += static_cast<char>(unit >> 8);
    };
    if (u >= 0x10000) {
      put(0xD800 + ((u - 0x10000) >> 10));
      put(0xDC00 + ((u - 0x10000) & 0x3FF));
    } else {
      put(u);
    }
  }
  return out;
}

// RAII key handle.
class Key {
 public:
  Key() = default;
  explicit Key(HKEY key) : key_(key) {}
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* Out() { return &key_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace testing_support

// Wide text helpers and BSTR with the Windows memory layout.
#pragma once

#include <string>
#include <string_view>

#include "platform/wintypes.h"

// A BSTR points at the characters of a malloc'ed block that starts with their 32-bit
// byte length, 4 bytes before them; a NUL follows them and SysFreeString frees
// (char*)b - 4. A null BSTR is the empty string.
using BSTR = wchar_t*;

BSTR SysAllocString(const wchar_t* text);
BSTR SysAllocStringLen(const wchar_t* text, UINT length);  // text may be null: zeroed
UINT SysStringLen(BSTR text);                              // characters; 0 for null
UINT SysStringByteLen(BSTR text);                          // bytes; 0 for null
void SysFreeString(BSTR text);                             // null is fine
// Replaces *target with a copy of text; returns FALSE when out of memory.
BOOL SysReAllocString(BSTR* target, const wchar_t* text);

namespace platform {

// UTF-8 <-> wide (UTF-32). Invalid UTF-8 bytes become U+FFFD; never throws on bad input.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

// Case-insensitive comparison the way Windows compares registry key names.
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
std::wstring ToUpper(std::wstring_view text);

// A BSTR as a wide string (null gives the empty string).
inline std::wstring FromBstr(BSTR text) {
  return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

}  // namespace platform

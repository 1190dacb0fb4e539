// Windows code-page conversion on glibc iconv.
#pragma once

#include <string>
#include <string_view>

#include "platform/wintypes.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_OEMCP = 1;
constexpr UINT CP_UTF8 = 65001;

constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x00000400;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;

// Win32 shapes and semantics: a source length of -1 means NUL-terminated (the NUL is
// converted too); an output size of 0 asks for the size needed. Returns the number of
// bytes or characters written (or needed), 0 on failure with GetLastError set
// (ERROR_INVALID_PARAMETER for an unknown code page, ERROR_INSUFFICIENT_BUFFER,
// ERROR_NO_UNICODE_TRANSLATION). Characters the code page lacks become the default
// character ('?' when none is given) and set *usedDefaultChar.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength,
                        LPSTR multi, int multiSize, LPCSTR defaultChar,
                        BOOL* usedDefaultChar);
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multi, int multiLength,
                        LPWSTR wide, int wideSize);

// The system ANSI code page: 1252, or the number in OPOS_ANSI_CODEPAGE.
UINT GetACP();
BOOL IsValidCodePage(UINT codePage);

namespace platform {

// Convenience forms over the two calls above; on failure they return an empty string.
std::string WideToCodePage(std::wstring_view text, UINT codePage);
std::wstring CodePageToWide(std::string_view bytes, UINT codePage);

// The iconv name for a Windows code page, or nullptr when there is none.
const char* IconvNameForCodePage(UINT codePage);

}  // namespace platform

// Identifiers under which the service object is registered and found.
#pragma once

#include "platform/com.h"

// {36D4C79D-819F-40E4-A1A2-A7BB9B9D78A2}
inline constexpr CLSID CLSID_TeskOposPrinterSO = {
    0x36D4C79D, 0x819F, 0x40E4, {0xA1, 0xA2, 0xA7, 0xBB, 0x9B, 0x9D, 0x78, 0xA2}};
// {791F9BD0-34E1-4F57-A938-7AA4984CCB02}
inline constexpr IID IID_ITeskOposPrinterSO = {
    0x791F9BD0, 0x34E1, 0x4F57, {0xA9, 0x38, 0x7A, 0xA4, 0x98, 0x4C, 0xCB, 0x02}};
// Type library OPosPrinterSOLib {4575CE65-A534-4753-87B4-C0891A38160B}, version 1.0.
inline constexpr GUID LIBID_OPosPrinterSOLib = {
    0x4575CE65, 0xA534, 0x4753, {0x87, 0xB4, 0xC0, 0x89, 0x1A, 0x38, 0x16, 0x0B}};
// {704EB19B-728A-4319-B8A5-978AC0CCEEDB}
inline constexpr GUID APPID_OPosPrinterSO = {
    0x704EB19B, 0x728A, 0x4319, {0xB8, 0xA5, 0x97, 0x8A, 0xC0, 0xCC, 0xEE, 0xDB}};

inline constexpr wchar_t kSoProgId[] = L"ZanthOposPrinterU1.13";
inline constexpr wchar_t kSoVersionIndependentProgId[] = L"ZanthOposPrinterU1";

// Windows code-page conversion: table lookups for single-byte code pages (the print
// data hot path), glibc iconv for the double-byte ones, our own UTF-8 codec for 65001.
#include "platform/codepage.h"

#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/wtext.h"

namespace {

enum class Kind { kSingleByte, kMultiByte, kUtf8 };

struct CodePageInfo {
  UINT codePage;
  const char* iconvName;  // nullptr: built-in table
  Kind kind;
};

// Windows code-page numbers and the glibc converters with the same mapping. The
// WINDOWS-125x and CP9xx converters are Microsoft's variants (CP932 is Shift_JIS with
// the NEC and IBM extensions, CP936 is GBK with the euro at 0x80).
constexpr CodePageInfo kCodePages[] = {
    {437, "CP437", Kind::kSingleByte},   {720, nullptr, Kind::kSingleByte},
    {737, "CP737", Kind::kSingleByte},   {775, "CP775", Kind::kSingleByte},
    {850, "CP850", Kind::kSingleByte},   {852, "CP852", Kind::kSingleByte},
    {855, "CP855", Kind::kSingleByte},   {857, "CP857", Kind::kSingleByte},
    {858, "CP858", Kind::kSingleByte},   {860, "CP860", Kind::kSingleByte},
    {861, "CP861", Kind::kSingleByte},   {862, "CP862", Kind::kSingleByte},
    {863, "CP863", Kind::kSingleByte},   {864, "CP864", Kind::kSingleByte},
    {865, "CP865", Kind::kSingleByte},   {866, "CP866", Kind::kSingleByte},
    {869, "CP869", Kind::kSingleByte},   {874, "WINDOWS-874", Kind::kSingleByte},
    {932, "CP932", Kind::kMultiByte},    {936, "CP936", Kind::kMultiByte},
    {949, "CP949", Kind::kMultiByte},    {950, "CP950", Kind::kMultiByte},
    {1250, "WINDOWS-1250", Kind::kSingleByte}, {1251, "WINDOWS-1251", Kind::kSingleByte},
    {1252, "WINDOWS-1252", Kind::kSingleByte}, {1253, "WINDOWS-1253", Kind::kSingleByte},
    {1254, "WINDOWS-1254", Kind::kSingleByte}, {1255, "WINDOWS-1255", Kind::kSingleByte},
    {1256, "WINDOWS-1256", Kind::kSingleByte}, {1257, "WINDOWS-1257", Kind::kSingleByte},
    {1258, "WINDOWS-1258", Kind::kSingleByte}, {20127, "ASCII", Kind::kSingleByte},
    {20866, "KOI8-R", Kind::kSingleByte},      {21866, "KOI8-U", Kind::kSingleByte},
    {28591, "ISO-8859-1", Kind::kSingleByte},  {28592, "ISO-8859-2", Kind::kSingleByte},
    {28593, "ISO-8859-3", Kind::kSingleByte},  {28594, "ISO-8859-4", Kind::kSingleByte},
    {28595, "ISO-8859-5", Kind::kSingleByte},  {28596, "ISO-8859-6", Kind::kSingleByte},
    {28597, "ISO-8859-7", Kind::kSingleByte},  {28598, "ISO-8859-8", Kind::kSingleByte},
    {28599, "ISO-8859-9", Kind::kSingleByte},  {28603, "ISO-8859-13", Kind::kSingleByte},
    {28605, "ISO-8859-15", Kind::kSingleByte}, {54936, "GB18030", Kind::kMultiByte},
    {65001, "UTF-8", Kind::kUtf8},
};
constexpr size_t kCodePageCount = std::size(kCodePages);

// Code page 720 (Arabic, DOS), which glibc lacks: bytes 0x80-0xFF.
constexpr char16_t kCp720High[128] = {
    0x0080, 0x0081, 0x00E9, 0x00E2, 0x0084, 0x00E0, 0x0086, 0x00E7, 0x00EA, 0x00EB, 0x00E8,
    0x00EF, 0x00EE, 0x008D, 0x008E, 0x008F, 0x0090, 0x0651, 0x0652, 0x00F4, 0x00A4, 0x0640,
    0x00FB, 0x00F9, 0x0621, 0x0622, 0x0623, 0x0624, 0x00A3, 0x0625, 0x0626, 0x0627, 0x0628,
    0x0629, 0x062A, 0x062B, 0x062C, 0x062D, 0x062E, 0x062F, 0x0630, 0x0631, 0x0632, 0x0633,
    0x0634, 0x0635, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562,
    0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534,
    0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560,
    0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x0636, 0x0637, 0x0638,
    0x0639, 0x063A, 0x0641, 0x00B5, 0x0642, 0x0643, 0x0644, 0x0645, 0x0646, 0x0647, 0x0648,
    0x0649, 0x064A, 0x2261, 0x064B, 0x064C, 0x064D, 0x064E, 0x064F, 0x0650, 0x2248, 0x00B0,
    0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

constexpr wchar_t kNoChar = static_cast<wchar_t>(0xFFFFFFFF);
constexpr wchar_t kReplacement = L'\uFFFD';

// Both directions of a single-byte code page, built once from iconv.
struct SingleByteTable {
  std::array<wchar_t, 256> toWide;
  std::array<std::int16_t, 256> fromLatin;                // U+0000-U+00FF -> byte or -1
  std::vector<std::pair<wchar_t, BYTE>> fromOther;        // sorted by character
  std::array<std::int16_t, 128> asciiBestFit;             // WC_NO_BEST_FIT_CHARS off only

  int Encode(wchar_t c, bool bestFit) const {
    const auto u = static_cast<std::uint32_t>(c);
    if (u < 256) {
      if (fromLatin[u] >= 0) return fromLatin[u];
      return (bestFit && u < 128) ? asciiBestFit[u] : -1;
    }
    auto it = std::lower_bound(fromOther.begin(), fromOther.end(), std::make_pair(c, BYTE{0}));
    return (it != fromOther.end() && it->first == c) ? it->second : -1;
  }
};

const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);

struct IconvCloser {
  std::unordered_map<std::uint64_t, iconv_t> descriptors;
  ~IconvCloser() {
    for (auto& [key, cd] : descriptors) iconv_close(cd);
  }
};

// iconv descriptors carry shift state, so each thread keeps its own; opening one costs
// far more than a conversion, so they live as long as the thread.
iconv_t CachedIconv(UINT codePage, bool toWide, const char* name) {
  thread_local IconvCloser cache;
  const std::uint64_t key = (static_cast<std::uint64_t>(codePage) << 1) | (toWide ? 1 : 0);
  auto it = cache.descriptors.find(key);
  if (it != cache.descriptors.end()) {
    iconv(it->second, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    return it->second;
  }
  iconv_t cd = toWide ? iconv_open("WCHAR_T", name) : iconv_open(name, "WCHAR_T");
  if (cd == kNoIconv) return cd;
  cache.descriptors.emplace(key, cd);
  return cd;
}

std::unique_ptr<SingleByteTable> BuildSingleByteTable(const CodePageInfo& info) {
  auto table = std::make_unique<SingleByteTable>();
  if (!info.iconvName) {  // 720
    for (int b = 0; b < 128; ++b) table->toWide[b] = static_cast<wchar_t>(b);
    for (int b = 128; b < 256; ++b) table->toWide[b] = static_cast<wchar_t>(kCp720High[b - 128]);
  } else {
    iconv_t cd = iconv_open("WCHAR_T", info.iconvName);
    if (cd == kNoIconv) return nullptr;
    for (int b = 0; b < 256; ++b) {
      char in = static_cast<char>(b);
      wchar_t out[2];
      char* inPtr = &in;
      size_t inLeft = 1;
      auto* outPtr = reinterpret_cast<char*>(out);
      size_t outLeft = sizeof(out);
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
      // 1258 holds a base letter back waiting for a combining mark; flush it out.
      if (rc != static_cast<size_t>(-1)) rc = iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
      if (rc != static_cast<size_t>(-1) && inLeft == 0 && outLeft == sizeof(out) - sizeof(wchar_t)) {
        table->toWide[b] = out[0];
      } else if (b >= 0x80 && b < 0xA0) {
        // Windows fills the C1 holes of its single-byte tables (1252's 0x81, 0x8D...)
        // with the C1 control of the same number, so they round-trip.
        table->toWide[b] = static_cast<wchar_t>(b);
      } else {
        table->toWide[b] = kNoChar;
      }
    }
    iconv_close(cd);
  }
  table->fromLatin.fill(-1);
  table->asciiBestFit.fill(-1);
  for (int b = 0; b < 256; ++b) {
    const wchar_t c = table->toWide[b];
    if (c == kNoChar) continue;
    const auto u = static_cast<std::uint32_t>(c);
    if (u < 256) {
      if (table->fromLatin[u] < 0) table->fromLatin[u] = static_cast<std::int16_t>(b);
    } else {
      table->fromOther.emplace_back(c, static_cast<BYTE>(b));
    }
  }
  // Keep the lowest byte for a character that several bytes decode to.
  std::stable_sort(table->fromOther.begin(), table->fromOther.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  table->fromOther.erase(std::unique(table->fromOther.begin(), table->fromOther.end(),
                                     [](const auto& a, const auto& b) { return a.first == b.first; }),
                         table->fromOther.end());
  // Best fit: a code page that moved an ASCII character (864 shows the Arabic percent
  // sign at 0x25) still prints the ASCII one from that byte.
  for (int u = 0; u < 128; ++u)
    if (table->fromLatin[u] < 0) table->asciiBestFit[u] = static_cast<std::int16_t>(u);
  return table;
}

struct SingleByteSlot {
  std::once_flag once;
  std::unique_ptr<SingleByteTable> table;
};

std::array<SingleByteSlot, kCodePageCount>& SingleByteSlots() {
  static auto* slots = new std::array<SingleByteSlot, kCodePageCount>;  // lives to exit
  return *slots;
}

const SingleByteTable* SingleByteTableFor(size_t index) {
  SingleByteSlot& slot = SingleByteSlots()[index];
  std::call_once(slot.once, [&] { slot.table = BuildSingleByteTable(kCodePages[index]); });
  return slot.table.get();
}

// Resolves CP_ACP and CP_OEMCP; returns the table index or -1.
int FindCodePage(UINT codePage) {
  if (codePage == CP_ACP) codePage = GetACP();
  if (codePage == CP_OEMCP) codePage = 437;  // the OEM code page of the US locale
  for (size_t i = 0; i < kCodePageCount; ++i)
    if (kCodePages[i].codePage == codePage) return static_cast<int>(i);
  return -1;
}

bool CodePageUsable(int index) {
  const CodePageInfo& info = kCodePages[index];
  switch (info.kind) {
    case Kind::kUtf8: return true;
    case Kind::kSingleByte: return SingleByteTableFor(static_cast<size_t>(index)) != nullptr;
    case Kind::kMultiByte: return CachedIconv(info.codePage, true, info.iconvName) != kNoIconv;
  }
  return false;
}

// Encoding and decoding proper; they report failure through the error code.
LONG Encode(int index, std::wstring_view text, DWORD flags, const char* defaultChar,
            bool& usedDefault, std::string& out) {
  const CodePageInfo& info = kCodePages[index];
  out.clear();
  out.reserve(text.size() + text.size() / 4);
  if (info.kind == Kind::kUtf8) {
    out = platform::ToUtf8(text);  // unpaired surrogates become U+FFFD, as on Windows
    return ERROR_SUCCESS;
  }
  const char fallback = (defaultChar && *defaultChar) ? *defaultChar : '?';
  if (info.kind == Kind::kSingleByte) {
    const SingleByteTable* table = SingleByteTableFor(static_cast<size_t>(index));
    if (!table) return ERROR_INVALID_PARAMETER;
    const bool bestFit = (flags & WC_NO_BEST_FIT_CHARS) == 0;
    // One byte per character, written in place: this is the print data's hot path.
    out.resize(text.size());
    char* next = out.data();
    for (wchar_t c : text) {
      const int b = table->Encode(c, bestFit);
      if (b >= 0) {
        *next++ = static_cast<char>(b);
      } else {
        *next++ = fallback;
        usedDefault = true;
      }
    }
    return ERROR_SUCCESS;
  }
  iconv_t cd = CachedIconv(info.codePage, false, info.iconvName);
  if (cd == kNoIconv) return ERROR_INVALID_PARAMETER;
  auto* in = reinterpret_cast<char*>(const_cast<wchar_t*>(text.data()));
  size_t inLeft = text.size() * sizeof(wchar_t);
  std::string chunk(4 * text.size() + 16, '\0');
  while (inLeft > 0) {
    char* outPtr = chunk.data();
    size_t outLeft = chunk.size();
    const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(chunk.data(), chunk.size() - outLeft);
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ: a character the code page lacks (or a lone surrogate); EINVAL cannot
    // happen with whole wchar_t units but is treated the same.
    out += fallback;
    usedDefault = true;
    in += sizeof(wchar_t);
    inLeft -= std::min(inLeft, sizeof(wchar_t));
  }
  char* outPtr = chunk.data();
  size_t outLeft = chunk.size();
  iconv(cd, nullptr, nullptr, &outPtr, &outLeft);  // flush any shift state
  out.append(chunk.data(), chunk.size() - outLeft);
  return ERROR_SUCCESS;
}

LONG Decode(int index, std::string_view bytes, DWORD flags, std::wstring& out) {
  const CodePageInfo& info = kCodePages[index];
  const bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
  out.clear();
  out.reserve(bytes.size());
  if (info.kind == Kind::kUtf8) {
    out = platform::FromUtf8(bytes);
    // FromUtf8 is canonical on valid input, so a changed round trip means bad bytes.
    if (strict && platform::ToUtf8(out) != bytes) return ERROR_NO_UNICODE_TRANSLATION;
    return ERROR_SUCCESS;
  }
  if (info.kind == Kind::kSingleByte) {
    const SingleByteTable* table = SingleByteTableFor(static_cast<size_t>(index));
    if (!table) return ERROR_INVALID_PARAMETER;
    for (char b : bytes) {
      const wchar_t c = table->toWide[static_cast<unsigned char>(b)];
      if (c != kNoChar) {
        out += c;
      } else if (strict) {
        return ERROR_NO_UNICODE_TRANSLATION;
      } else {
        out += kReplacement;
      }
    }
    return ERROR_SUCCESS;
  }
  iconv_t cd = CachedIconv(info.codePage, true, info.iconvName);
  if (cd == kNoIconv) return ERROR_INVALID_PARAMETER;
  auto* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  std::wstring chunk(bytes.size() + 4, L'\0');
  while (inLeft > 0) {
    auto* outPtr = reinterpret_cast<char*>(chunk.data());
    size_t outLeft = chunk.size() * sizeof(wchar_t);
    const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(chunk.data(), chunk.size() - outLeft / sizeof(wchar_t));
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ (an invalid sequence) or EINVAL (a lead byte cut off at the end): one bad
    // byte becomes one replacement character and decoding resumes after it.
    if (strict) return ERROR_NO_UNICODE_TRANSLATION;
    out += kReplacement;
    ++in;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return ERROR_SUCCESS;
}

int Fail(LONG error) {
  SetLastError(static_cast<DWORD>(error));
  return 0;
}

}  // namespace

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR multi,
                        int multiSize, LPCSTR defaultChar, BOOL* usedDefaultChar) {
  if (!wide || wideLength == 0 || wideLength < -1 || multiSize < 0 || (multiSize > 0 && !multi))
    return Fail(ERROR_INVALID_PARAMETER);
  const int index = FindCodePage(codePage);
  if (index < 0) return Fail(ERROR_INVALID_PARAMETER);
  // UTF-8 has no default character; Windows refuses one.
  if (kCodePages[index].kind == Kind::kUtf8 && (defaultChar || usedDefaultChar))
    return Fail(ERROR_INVALID_PARAMETER);
  const size_t length = wideLength == -1 ? std::wcslen(wide) + 1 : static_cast<size_t>(wideLength);
  std::string out;
  bool usedDefault = false;
  if (LONG rc = Encode(index, std::wstring_view(wide, length), flags, defaultChar, usedDefault, out);
      rc != ERROR_SUCCESS)
    return Fail(rc);
  if (out.size() > 0x7FFFFFFF) return Fail(ERROR_INVALID_PARAMETER);
  if (usedDefaultChar) *usedDefaultChar = usedDefault ? TRUE : FALSE;
  if (multiSize == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(multiSize)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(multi, out.data(), out.size());
  return static_cast<int>(out.size());
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multi, int multiLength, LPWSTR wide,
                        int wideSize) {
  if (!multi || multiLength == 0 || multiLength < -1 || wideSize < 0 || (wideSize > 0 && !wide))
    return Fail(ERROR_INVALID_PARAMETER);
  const int index = FindCodePage(codePage);
  if (index < 0) return Fail(ERROR_INVALID_PARAMETER);
  const size_t length = multiLength == -1 ? std::strlen(multi) + 1 : static_cast<size_t>(multiLength);
  std::wstring out;
  if (LONG rc = Decode(index, std::string_view(multi, length), flags, out); rc != ERROR_SUCCESS)
    return Fail(rc);
  if (out.size() > 0x7FFFFFFF) return Fail(ERROR_INVALID_PARAMETER);
  if (wideSize == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(wideSize)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::wmemcpy(wide, out.data(), out.size());
  return static_cast<int>(out.size());
}

UINT GetACP() {
  // Read on every call: cheap, and a test or a tool may change it at run time.
  const char* text = std::getenv("OPOS_ANSI_CODEPAGE");
  if (text && *text) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (end && *end == '\0' && value > 1 && value <= 65535) {
      for (const auto& info : kCodePages)
        if (info.codePage == value) return static_cast<UINT>(value);
    }
  }
  return 1252;
}

BOOL IsValidCodePage(UINT codePage) {
  // CP_ACP and CP_OEMCP are aliases for calls, not code pages of their own.
  if (codePage == CP_ACP || codePage == CP_OEMCP) return FALSE;
  const int index = FindCodePage(codePage);
  return (index >= 0 && CodePageUsable(index)) ? TRUE : FALSE;
}

namespace platform {

std::string WideToCodePage(std::wstring_view text, UINT codePage) {
  std::string out;
  const int index = FindCodePage(codePage);
  if (index < 0 || text.empty()) return out;
  bool usedDefault = false;
  if (Encode(index, text, 0, nullptr, usedDefault, out) != ERROR_SUCCESS) out.clear();
  return out;
}

std::wstring CodePageToWide(std::string_view bytes, UINT codePage) {
  std::wstring out;
  const int index = FindCodePage(codePage);
  if (index < 0 || bytes.empty()) return out;
  if (Decode(index, bytes, 0, out) != ERROR_SUCCESS) out.clear();
  return out;
}

const char* IconvNameForCodePage(UINT codePage) {
  const int index = FindCodePage(codePage);
  return index < 0 ? nullptr : kCodePages[index].iconvName;
}

}  // namespace platform

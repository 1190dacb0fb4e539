// Drawing helpers: image operations, TrueType glyphs, zint symbols and the PNG writer.
#include "Render.h"

#include <iconv.h>
#include <png.h>
#include <zint.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb/stb_truetype.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// Dot loops teach a coverage-guided fuzzer nothing and dominate its time: keep them out of
// its instrumentation.
#if defined(__clang__)
#define ZANTH_DOT_LOOP __attribute__((no_sanitize("coverage")))
#else
#define ZANTH_DOT_LOOP
#endif

namespace zanth::sim {

ZANTH_DOT_LOOP int Image::CountBlack(int x0, int y0, int x1, int y1) const {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, width);
  y1 = std::min(y1, height);
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) n += dots[std::size_t(y) * width + x] != 0;
  return n;
}

ZANTH_DOT_LOOP bool Image::BlackBounds(int& x0, int& y0, int& x1, int& y1) const {
  x0 = width;
  y0 = height;
  x1 = -1;
  y1 = -1;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (dots[std::size_t(y) * width + x]) {
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
      }
  if (x1 < 0) return false;
  ++x1;
  ++y1;
  return true;
}

namespace {

bool WriteGreyPng(const Image& image, const std::string& path, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (image.Empty()) return fail("empty image");
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return fail("cannot create " + path + ": " + std::strerror(errno));
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, nullptr);
    std::fclose(file);
    return fail("libpng initialisation failed");
  }
  std::vector<png_byte> row(std::size_t(image.width));
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return fail("libpng failed writing " + path);
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), 8, PNG_COLOR_TYPE_GRAY,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) row[std::size_t(x)] = image.dots[std::size_t(y) * image.width + x] ? 0 : 255;
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(file) != 0) return fail("cannot finish " + path);
  return true;
}

}  // namespace

bool WritePng(const Image& image, const std::string& path, std::string* error, int border) {
  border = std::clamp(border, 0, 1000);
  if (border == 0 || image.Empty()) return WriteGreyPng(image, path, error);
  Image bordered(image.width + 2 * border, image.height + 2 * border);
  render::Blit(bordered, image, border, border);
  return WriteGreyPng(bordered, path, error);
}

namespace render {

namespace {

// Eight dots a step: receipts and pages are blitted whole, often, and a dot a step was a
// quarter of the fuzzer's time under AddressSanitizer.
ZANTH_DOT_LOOP void OrDots(std::uint8_t* d, const std::uint8_t* s, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t a, b;
    std::memcpy(&a, d + i, 8);
    std::memcpy(&b, s + i, 8);
    a |= b;
    std::memcpy(d + i, &a, 8);
  }
  for (; i < n; ++i) d[i] |= s[i];
}

}  // namespace

ZANTH_DOT_LOOP void Blit(Image& dst, const Image& src, int x, int y) {
  int sx0 = std::max(0, -x), sy0 = std::max(0, -y);
  int sx1 = std::min(src.width, dst.width - x), sy1 = std::min(src.height, dst.height - y);
  if (sx0 >= sx1) return;
  for (int sy = sy0; sy < sy1; ++sy) {
    const std::uint8_t* s = src.dots.data() + std::size_t(sy) * src.width;
    std::uint8_t* d = dst.dots.data() + std::size_t(y + sy) * dst.width + x;
    OrDots(d + sx0, s + sx0, std::size_t(sx1 - sx0));
  }
}

ZANTH_DOT_LOOP Image Scale(const Image& src, int sx, int sy) {
  sx = std::clamp(sx, 1, 8);
  sy = std::clamp(sy, 1, 8);
  if (sx == 1 && sy == 1) return src;
  Image out(src.width * sx, src.height * sy);
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) out.dots[std::size_t(y) * out.width + x] = src.dots[std::size_t(y / sy) * src.width + x / sx];
  return out;
}

ZANTH_DOT_LOOP Image Rotate180(const Image& src) {
  Image out(src.width, src.height);
  for (int y = 0; y < src.height; ++y)
    for (int x = 0; x < src.width; ++x)
      out.dots[std::size_t(src.height - 1 - y) * out.width + (src.width - 1 - x)] = src.dots[std::size_t(y) * src.width + x];
  return out;
}

ZANTH_DOT_LOOP Image RotateCw(const Image& src) {
  Image out(src.height, src.width);
  for (int y = 0; y < src.height; ++y)
    for (int x = 0; x < src.width; ++x)
      out.dots[std::size_t(x) * out.width + (src.height - 1 - y)] = src.dots[std::size_t(y) * src.width + x];
  return out;
}

ZANTH_DOT_LOOP Image RotateCcw(const Image& src) {
  Image out(src.height, src.width);
  for (int y = 0; y < src.height; ++y)
    for (int x = 0; x < src.width; ++x)
      out.dots[std::size_t(src.width - 1 - x) * out.width + y] = src.dots[std::size_t(y) * src.width + x];
  return out;
}

ZANTH_DOT_LOOP Image RotateBy(const Image& src, double radians) {
  int side = int(std::ceil(std::hypot(src.width, src.height))) + 1;
  Image out(side, side);
  double c = std::cos(radians), s = std::sin(radians);
  double cx = side / 2.0, cy = side / 2.0, sx = src.width / 2.0, sy = src.height / 2.0;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      // The source dot that lands here: turn back by the angle.
      double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
      int ux = int(std::floor(dx * c + dy * s + sx)), uy = int(std::floor(-dx * s + dy * c + sy));
      if (src.At(ux, uy)) out.Set(x, y);
    }
  return out;
}

ZANTH_DOT_LOOP void Invert(Image& image) {
  for (auto& d : image.dots) d = d ? 0 : 1;
}

ZANTH_DOT_LOOP Image FromRaster(const std::uint8_t* data, std::size_t size, int widthDots, int height, int clipWidth) {
  Image out(std::min(widthDots, clipWidth), height);
  std::size_t rowBytes = std::size_t(widthDots + 7) / 8;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < out.width; ++x) {
      std::size_t i = std::size_t(y) * rowBytes + std::size_t(x) / 8;
      if (i < size && (data[i] & (0x80 >> (x % 8)))) out.Set(x, y);
    }
  return out;
}

ZANTH_DOT_LOOP Image FromColumns(const std::uint8_t* data, std::size_t size, int columns, int bytesPerColumn) {
  Image out(columns, bytesPerColumn * 8);
  for (int x = 0; x < columns; ++x)
    for (int b = 0; b < bytesPerColumn; ++b) {
      std::size_t i = std::size_t(x) * bytesPerColumn + b;
      if (i >= size) continue;
      for (int bit = 0; bit < 8; ++bit)
        if (data[i] & (0x80 >> bit)) out.Set(x, b * 8 + bit);
    }
  return out;
}

// A font file and its rasterised glyphs, one per font file and process: printers come and
// go in tests and fuzzing, and rasterising the same glyphs for each new one was most of the
// cost of a short stream.
struct GlyphSource::Face {
  std::vector<std::uint8_t> data;
  std::optional<stbtt_fontinfo> info;  // empty without a readable font
  std::mutex mutex;
  std::map<std::tuple<char32_t, int, int>, Image> glyphs;  // never erased: references stay valid

  explicit Face(const std::string& path);
  Image Rasterise(char32_t cp, int w, int h);
};

GlyphSource::Face::Face(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return;
  std::streamsize size = in.tellg();
  if (size <= 0 || size >= (64 << 20)) return;
  data.resize(std::size_t(size));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(data.data()), size)) {
    data.clear();
    return;
  }
  stbtt_fontinfo font;
  int offset = stbtt_GetFontOffsetForIndex(data.data(), 0);
  if (offset >= 0 && stbtt_InitFont(&font, data.data(), offset)) info = font;
}

Image GlyphSource::Face::Rasterise(char32_t cp, int w, int h) {
  Image cell(w, h);
  if (cp <= 0x20 || w <= 1 || h <= 1) return cell;
  // Without a font, or a character the font lacks (katakana in a Latin font), a box marks
  // the character's place; "?" stays for bytes the code table does not define.
  int glyph = info ? stbtt_FindGlyphIndex(&*info, int(cp)) : 0;
  if (glyph == 0) {
    for (int x = 1; x < w - 1; ++x) cell.Set(x, 2), cell.Set(x, h - 3);
    for (int y = 2; y < h - 2; ++y) cell.Set(1, y), cell.Set(w - 2, y);
    return cell;
  }
  const stbtt_fontinfo* f = &*info;
  int ascent = 0, descent = 0, gap = 0, advance = 0, lsb = 0;
  stbtt_GetFontVMetrics(f, &ascent, &descent, &gap);
  stbtt_GetGlyphHMetrics(f, glyph, &advance, &lsb);
  float scale = std::min(float(h) / float(ascent - descent), advance > 0 ? float(w) / float(advance) : 1.0f);
  int x0, y0, x1, y1;
  stbtt_GetGlyphBitmapBox(f, glyph, scale, scale, &x0, &y0, &x1, &y1);
  int bw = x1 - x0, bh = y1 - y0;
  if (bw <= 0 || bh <= 0 || bw >= 4096 || bh >= 4096) return cell;
  std::vector<unsigned char> gray(std::size_t(bw) * bh);
  stbtt_MakeGlyphBitmap(f, gray.data(), bw, bh, bw, scale, scale, glyph);
  float fontHeight = float(ascent - descent) * scale;
  int top = int(std::lround((float(h) - fontHeight) / 2.0f));
  int baseline = top + int(std::lround(float(ascent) * scale));
  int left = int(std::lround((float(w) - float(advance) * scale) / 2.0f));
  for (int y = 0; y < bh; ++y)
    for (int x = 0; x < bw; ++x)
      if (gray[std::size_t(y) * bw + x] >= 110) cell.Set(left + x0 + x, baseline + y0 + y);
  return cell;
}

GlyphSource::GlyphSource(const std::string& fontPath) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<Face>> faces;
  std::lock_guard<std::mutex> lock(mutex);
  auto& face = faces[fontPath];
  if (!face) face = std::make_shared<Face>(fontPath);
  face_ = face;
}

GlyphSource::~GlyphSource() = default;

bool GlyphSource::HasFont() const { return face_->info.has_value(); }

const Image& GlyphSource::Glyph(char32_t cp, int w, int h) {
  std::lock_guard<std::mutex> lock(face_->mutex);
  auto key = std::make_tuple(cp, w, h);
  auto it = face_->glyphs.find(key);
  if (it == face_->glyphs.end()) it = face_->glyphs.emplace(key, face_->Rasterise(cp, w, h)).first;
  return it->second;
}

namespace {

// ESC t numbers of the printer's code tables and the iconv names of the same pages. Tables
// iconv lacks are built in below (1, 32) or print "?" (12 PC853, 41 to 43, 53).
const char* CodeTableCharset(int table) {
  switch (table) {
    case 0: return "CP437";
    case 2: return "CP850";
    case 3: return "CP860";
    case 4: return "CP863";
    case 5: return "CP865";
    case 11: return "CP851";
    case 13: return "CP857";
    case 14: return "CP737";
    case 15: return "ISO-8859-7";
    case 16: return "CP1252";
    case 17: return "CP866";
    case 18: return "CP852";
    case 19: return "CP858";
    case 20: case 21: case 22: case 23: case 24: case 25: case 26: return "CP874";  // the Thai tables
    case 30: case 31: return "TCVN";
    case 33: return "CP775";
    case 34: return "CP855";
    case 35: return "CP861";
    case 36: return "CP862";
    case 37: return "CP864";
    case 38: return "CP869";
    case 39: return "ISO-8859-2";
    case 40: return "ISO-8859-15";
    case 44: return "CP1125";
    case 45: return "CP1250";
    case 46: return "CP1251";
    case 47: return "CP1253";
    case 48: return "CP1254";
    case 49: return "CP1255";
    case 50: return "CP1256";
    case 51: return "CP1257";
    case 52: return "RK1048";
    default: return nullptr;
  }
}

// PC720 (Arabic), bytes 0x80 to 0xFF; "?" where the page has no character.
constexpr char32_t kPc720[128] = {
    0x3F, 0x3F, 0x00E9, 0x00E2, 0x3F, 0x00E0, 0x3F, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x3F, 0x3F, 0x3F,
    0x3F, 0x0651, 0x0652, 0x00F4, 0x00A4, 0x0640, 0x00FB, 0x00F9, 0x0621, 0x0622, 0x0623, 0x0624, 0x00A3, 0x0625, 0x0626, 0x0627,
    0x0628, 0x0629, 0x062A, 0x062B, 0x062C, 0x062D, 0x062E, 0x062F, 0x0630, 0x0631, 0x0632, 0x0633, 0x0634, 0x0635, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x0636, 0x0637, 0x0638, 0x0639, 0x063A, 0x0641, 0x00B5, 0x0642, 0x0643, 0x0644, 0x0645, 0x0646, 0x0647, 0x0648, 0x0649, 0x064A,
    0x2261, 0x064B, 0x064C, 0x064D, 0x064E, 0x064F, 0x0650, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

// Tables without iconv: 1 is katakana (JIS X 0201 in A1..DF), 32 PC720, 255 the user-defined
// page, blank where no character was downloaded.
bool BuiltInTable(int table, std::array<char32_t, 128>& map) {
  switch (table) {
    case 1:
      for (int b = 0xA1; b <= 0xDF; ++b) map[std::size_t(b - 0x80)] = char32_t(0xFF61 + (b - 0xA1));
      map[0xA0 - 0x80] = U' ';
      return true;
    case 32:
      std::copy(std::begin(kPc720), std::end(kPc720), map.begin());
      return true;
    case 255:
      map.fill(U' ');
      return true;
    default: return false;
  }
}

}  // namespace

char32_t DecodeCodeTable(int table, std::uint8_t byte) {
  if (byte < 0x80) return byte;
  static std::mutex mutex;
  static std::map<int, std::array<char32_t, 128>> tables;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = tables.find(table);
  if (it == tables.end()) {
    std::array<char32_t, 128> map;
    map.fill(U'?');
    if (BuiltInTable(table, map)) {
    } else if (const char* charset = CodeTableCharset(table)) {
      iconv_t cd = iconv_open("UTF-32LE", charset);
      if (cd != iconv_t(-1)) {
        for (int b = 0x80; b < 0x100; ++b) {
          char in = char(b);
          std::uint8_t outBytes[8] = {};
          char* inp = &in;
          char* outp = reinterpret_cast<char*>(outBytes);
          std::size_t inLeft = 1, outLeft = sizeof outBytes;
          iconv(cd, nullptr, nullptr, nullptr, nullptr);
          if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != std::size_t(-1) && outLeft <= 4)
            map[std::size_t(b - 0x80)] = char32_t(outBytes[0] | (outBytes[1] << 8) | (outBytes[2] << 16) | (outBytes[3] << 24));
        }
        iconv_close(cd);
      }
    }
    it = tables.emplace(table, map).first;
  }
  return it->second[std::size_t(byte - 0x80)];
}

namespace {

// Owns a zint symbol for one encode.
struct Symbol {
  zint_symbol* s = ZBarcode_Create();
  ~Symbol() {
    if (s) ZBarcode_Delete(s);
  }
};

bool ModuleSet(const zint_symbol* s, int row, int col) {
  return (s->encoded_data[row][col >> 3] >> (col & 7)) & 1;
}

// Draws every module of an encoded symbol as mw x rowHeight dots.
Image DrawModules(const zint_symbol* s, int mw, int rowHeight) {
  int rows = std::clamp(s->rows, 0, 200), cols = std::clamp(s->width, 0, 1152);
  Image out(cols * mw, rows * rowHeight);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c)
      if (ModuleSet(s, r, c))
        for (int y = 0; y < rowHeight; ++y)
          for (int x = 0; x < mw; ++x) out.Set(c * mw + x, r * rowHeight + y);
  return out;
}

bool Encode(Symbol& sym, const std::string& data, std::string* error) {
  if (!sym.s) {
    if (error) *error = "zint could not allocate a symbol";
    return false;
  }
  if (data.empty()) {
    if (error) *error = "no data";
    return false;
  }
  int rc = ZBarcode_Encode(sym.s, reinterpret_cast<const unsigned char*>(data.data()), int(data.size()));
  if (rc >= ZINT_ERROR) {
    if (error) *error = std::string("zint: ") + sym.s->errtxt;
    return false;
  }
  return true;
}

bool AllDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Code 128 data in the printer's notation: "{A", "{B", "{C" select a code set, in set C each
// byte is a pair of digits, "{1".."{4" are function characters, "{S" a shift, "{{" a brace.
std::string DecodeCode128(const std::vector<std::uint8_t>& data) {
  std::string out;
  char set = 'B';
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::uint8_t b = data[i];
    if (b == '{' && i + 1 < data.size()) {
      std::uint8_t s = data[++i];
      if (s == 'A' || s == 'B' || s == 'C') set = char(s);
      else if (s == '{') out += '{';
      continue;
    }
    if (set == 'C') {
      if (b < 100) {
        out += char('0' + b / 10);
        out += char('0' + b % 10);
      }
    } else {
      out += char(b);
    }
  }
  return out;
}

}  // namespace

// The check digit of an EAN/UPC number: weights 3 and 1 from the right.
char CheckDigit(const std::string& digits) {
  int sum = 0, weight = 3;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    sum += (*it - '0') * weight;
    weight = 4 - weight;
  }
  return char('0' + (10 - sum % 10) % 10);
}

// Digits of a GS1 application identifier starting `ai`, and the length of its field when
// fixed (0 = variable, ended by FNC1 or the data), after the GS1 table of predefined lengths.
std::pair<int, int> Gs1Identifier(const std::string& ai) {
  int two = std::stoi(ai.substr(0, 2));
  switch (two) {
    case 0: return {2, 18};
    case 1: case 2: case 3: return {2, 14};
    case 4: return {2, 16};
    case 11: case 12: case 13: case 14: case 15: case 16: case 17: case 18: case 19: return {2, 6};
    case 20: return {2, 2};
    case 31: case 32: case 33: case 34: case 35: case 36: return {4, 6};
    case 41: return {3, 13};
    default: break;
  }
  if ((two >= 23 && two <= 25) || (two >= 40 && two <= 49)) return {3, 0};
  if (two >= 70 && two <= 89) return {4, 0};
  return {2, 0};
}

// GS1 data as the printer takes it, either "(01)0123...(10)AB" or bare identifiers and fields
// with "{1" ending a variable field, in the bracketed form the encoder reads. Empty when it
// cannot be read as identifiers and fields.
std::string Gs1Brackets(const std::vector<std::uint8_t>& data) {
  std::string out;
  if (!data.empty() && data.front() == '(') {
    for (std::size_t i = 0; i < data.size(); ++i) {
      char ch = char(data[i]);
      if (ch == '{' && i + 1 < data.size()) {
        ++i;  // FNC1: the bracket of the next identifier ends the field
        continue;
      }
      out += ch == '(' ? '[' : ch == ')' ? ']' : ch;
    }
    return out;
  }
  std::string text(data.begin(), data.end());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, 2, "{1") == 0) {
      i += 2;
      continue;
    }
    if (i + 2 > text.size() || !std::isdigit(static_cast<unsigned char>(text[i])) ||
        !std::isdigit(static_cast<unsigned char>(text[i + 1])))
      return {};
    auto [aiDigits, fixed] = Gs1Identifier(text.substr(i, 2));
    if (i + std::size_t(aiDigits) > text.size()) return {};
    out += "[" + text.substr(i, std::size_t(aiDigits)) + "]";
    i += std::size_t(aiDigits);
    std::size_t end = fixed ? std::min(text.size(), i + std::size_t(fixed)) : std::min(text.find("{1", i), text.size());
    out += text.substr(i, end - i);
    i = end;
  }
  return out;
}

std::string BarcodeText(int system, const std::vector<std::uint8_t>& data) {
  if (system >= 0 && system <= 6) system += 65;
  if (system == 73) return DecodeCode128(data);
  std::string text(data.begin(), data.end());
  // The human-readable line of EAN-13, EAN-8 and UPC-A carries the check digit the printer adds.
  std::size_t bare = system == 65 ? 11 : system == 67 ? 12 : system == 68 ? 7 : 0;
  if (bare && text.size() == bare && AllDigits(text)) text += CheckDigit(text);
  if (system == 74 || system == 78) {
    std::string gs1 = Gs1Brackets(data);
    if (!gs1.empty()) {
      for (auto& ch : gs1) ch = ch == '[' ? '(' : ch == ']' ? ')' : ch;
      return gs1;
    }
  }
  if (system >= 75 && system <= 77 && AllDigits(text) && text.size() == 13) return "(01)" + text + CheckDigit(text);
  return text;
}

Image Barcode1D(int system, const std::vector<std::uint8_t>& data, int moduleWidth, int height, std::string* error) {
  if (system >= 0 && system <= 6) system += 65;  // format 1 numbers map onto format 2
  // The encoder takes the data as sent (Code 128 without its selectors, EAN/UPC with or
  // without the check digit); HRI additions stay out of it.
  std::string text = system == 73 ? DecodeCode128(data) : std::string(data.begin(), data.end());
  Symbol sym;
  if (!sym.s) return {};
  int type = 0;
  switch (system) {
    case 65: type = BARCODE_UPCA; break;
    case 66: type = BARCODE_UPCE; break;
    case 67: type = text.size() == 13 ? BARCODE_EANX_CHK : BARCODE_EANX; break;
    case 68: type = text.size() == 8 ? BARCODE_EANX_CHK : BARCODE_EANX; break;
    case 69:
      if (text.size() >= 2 && text.front() == '*' && text.back() == '*') text = text.substr(1, text.size() - 2);
      type = BARCODE_CODE39;
      break;
    case 70: type = BARCODE_C25INTER; break;
    case 71:
      type = BARCODE_CODABAR;
      if (!text.empty() && !std::isalpha(static_cast<unsigned char>(text.front()))) text = "A" + text + "A";
      break;
    case 72: type = BARCODE_CODE93; break;
    case 74:
    case 78:
      type = system == 74 ? BARCODE_GS1_128 : BARCODE_DBAR_EXP;
      text = Gs1Brackets(data);
      if (text.empty()) {
        if (error) *error = "GS1 data that is not identifiers and fields";
        return {};
      }
      break;
    case 75: case 76: case 77:
      // GTIN-13 without its check digit; the truncated form is the omnidirectional one cut short.
      if (!AllDigits(text) || text.size() != 13) {
        if (error) *error = "GS1 DataBar takes 13 digits";
        return {};
      }
      type = system == 77 ? BARCODE_DBAR_LTD : BARCODE_DBAR_OMN;
      break;
    case 73: type = BARCODE_CODE128; break;
    default:
      if (error) *error = "unknown barcode system " + std::to_string(system);
      return {};
  }
  sym.s->symbology = type;
  sym.s->input_mode = (type == BARCODE_GS1_128 || type == BARCODE_DBAR_EXP) ? GS1_MODE : DATA_MODE;
  if (!Encode(sym, text, error)) return {};
  if (system == 76) height = std::min(height, 13 * std::clamp(moduleWidth, 1, 8));
  int rows = std::max(sym.s->rows, 1);
  int rowHeight = std::max(1, std::clamp(height, 1, 2000) / rows);
  return DrawModules(sym.s, std::clamp(moduleWidth, 1, 8), rowHeight);
}

Image QrCode(const std::vector<std::uint8_t>& data, const QrParams& params, std::string* error) {
  Symbol sym;
  if (!sym.s) return {};
  sym.s->symbology = BARCODE_QRCODE;
  sym.s->input_mode = DATA_MODE;
  int ec = params.errorCorrection;
  if (ec >= 48 && ec <= 51) sym.s->option_1 = ec - 47;
  if (!Encode(sym, std::string(data.begin(), data.end()), error)) return {};
  int m = std::clamp(params.moduleSize, 1, 16);
  return DrawModules(sym.s, m, m);
}

Image Pdf417(const std::vector<std::uint8_t>& data, const Pdf417Params& params, std::string* error) {
  Symbol sym;
  if (!sym.s) return {};
  sym.s->symbology = params.truncated ? BARCODE_PDF417COMP : BARCODE_PDF417;
  sym.s->input_mode = DATA_MODE;
  if (params.errorLevel >= 0 && params.errorLevel <= 8) sym.s->option_1 = params.errorLevel;
  if (params.columns >= 1 && params.columns <= 30) sym.s->option_2 = params.columns;
  if (!Encode(sym, std::string(data.begin(), data.end()), error)) return {};
  int mw = std::clamp(params.moduleWidth, 1, 8);
  return DrawModules(sym.s, mw, mw * std::clamp(params.rowHeight, 1, 8));
}

}  // namespace render
}  // namespace zanth::sim

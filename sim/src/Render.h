// Drawing helpers of the virtual printer: glyphs, bitmaps, symbols (internal to sim/).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/Image.h"

namespace zanth::sim::render {

// Copies src onto dst at (x, y); black dots are ORed, so overlapping objects merge.
void Blit(Image& dst, const Image& src, int x, int y);
Image Scale(const Image& src, int sx, int sy);
Image Rotate180(const Image& src);
Image RotateCw(const Image& src);   // 90 degrees clockwise
Image RotateCcw(const Image& src);  // 90 degrees counter-clockwise
void Invert(Image& image);
// Turned by `radians` clockwise about its centre (nearest dot) into a square big enough for
// every angle, centred as the source was.
Image RotateBy(const Image& src, double radians);
// Rows of ceil(w / 8) bytes, bit 7 leftmost; dots right of clipWidth are dropped (paper edge).
Image FromRaster(const std::uint8_t* data, std::size_t size, int widthDots, int height, int clipWidth = 1 << 16);
// Columns of `bytesPerColumn` bytes, bit 7 of the first byte the top dot.
Image FromColumns(const std::uint8_t* data, std::size_t size, int columns, int bytesPerColumn);

// Monospace glyph source: a TrueType font rasterised into the printer's character cells,
// or, when no font file can be read, a plain box per character so layout still shows.
class GlyphSource {
 public:
  explicit GlyphSource(const std::string& fontPath);
  ~GlyphSource();
  GlyphSource(const GlyphSource&) = delete;
  GlyphSource& operator=(const GlyphSource&) = delete;
  bool HasFont() const;
  // The glyph of a Unicode code point in a cell of w x h dots (cached). Safe from several
  // threads: the printers of one process share a font's glyphs.
  const Image& Glyph(char32_t codepoint, int w, int h);

 private:
  struct Face;
  std::shared_ptr<Face> face_;
};

// Code table (ESC t n) byte to Unicode; bytes below 0x80 are ASCII.
char32_t DecodeCodeTable(int table, std::uint8_t byte);

// A one-dimensional barcode drawn from the GS k system number and data: modules of
// `moduleWidth` dots, `height` dots tall. Empty image and a reason when the data does not encode.
Image Barcode1D(int system, const std::vector<std::uint8_t>& data, int moduleWidth, int height,
                std::string* error);
// Human-readable text of a GS k data field (Code 128 selectors removed).
std::string BarcodeText(int system, const std::vector<std::uint8_t>& data);

struct QrParams {
  int moduleSize = 3;
  int errorCorrection = 48;  // 48..51: L, M, Q, H
};
Image QrCode(const std::vector<std::uint8_t>& data, const QrParams& params, std::string* error);

struct Pdf417Params {
  int columns = 0;           // 0 automatic
  int rows = 0;
  int moduleWidth = 3;
  int rowHeight = 3;         // in module widths
  int errorLevel = -1;       // 0..8, -1 automatic
  bool truncated = false;
};
Image Pdf417(const std::vector<std::uint8_t>& data, const Pdf417Params& params, std::string* error);

}  // namespace zanth::sim::render

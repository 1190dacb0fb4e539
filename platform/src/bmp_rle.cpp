// BI_RLE8 / BI_RLE4 BMP decoding. Pixels the encoding skips (delta and early line ends)
// are left transparent, so they print white like a logo's background.
#include "bmp_rle.h"

#include <algorithm>
#include <cstdint>

namespace platform::detail {
namespace {

std::uint32_t U16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
std::uint32_t U32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr std::uint32_t kRle8 = 1, kRle4 = 2;
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 25;

}  // namespace

RleBmp DecodeRleBmp(const std::uint8_t* data, std::size_t size, bool sizeOnly, int* width,
                    int* height, std::vector<std::uint8_t>* rgba, std::string* reason) {
  // 14-byte file header, then at least the 40-byte BITMAPINFOHEADER.
  if (size < 54 || data[0] != 'B' || data[1] != 'M') return RleBmp::kNotRle;
  const std::uint32_t headerSize = U32(data + 14);
  if (headerSize < 40) return RleBmp::kNotRle;
  const std::uint32_t compression = U32(data + 30);
  const std::uint32_t bits = U16(data + 28);
  if (!((compression == kRle8 && bits == 8) || (compression == kRle4 && bits == 4)))
    return RleBmp::kNotRle;
  auto damaged = [&](const char* why) {
    if (reason) *reason = why;
    return RleBmp::kDamaged;
  };
  const auto w = static_cast<std::int32_t>(U32(data + 18));
  const auto h = static_cast<std::int32_t>(U32(data + 22));
  // RLE bitmaps are always stored bottom-up; a negative height is invalid for them.
  if (w <= 0 || h <= 0) return damaged("RLE BMP with a bad size");
  if (std::int64_t{w} * h > kMaxPixels || w > 65535 || h > 65535)
    return damaged("RLE BMP too large");
  *width = w;
  *height = h;
  if (sizeOnly) return RleBmp::kDecoded;

  const std::uint32_t offset = U32(data + 10);
  const std::uint32_t colours = U32(data + 46) ? U32(data + 46) : (1u << bits);
  const std::size_t paletteStart = 14 + static_cast<std::size_t>(headerSize);
  if (colours > 256 || paletteStart + colours * 4 > size || offset >= size || offset < paletteStart)
    return damaged("RLE BMP with a bad palette or data offset");
  const std::uint8_t* palette = data + paletteStart;

  rgba->assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4, 0);
  auto put = [&](std::int64_t x, std::int64_t y, std::uint32_t index) {
    if (x < 0 || x >= w || y < 0 || y >= h) return;  // runs past the edge are clipped
    std::uint8_t* px = rgba->data() + ((static_cast<std::size_t>(h - 1 - y) * w) + x) * 4;
    if (index < colours) {
      const std::uint8_t* entry = palette + index * 4;  // B, G, R, reserved
      px[0] = entry[2];
      px[1] = entry[1];
      px[2] = entry[0];
    }
    px[3] = 255;
  };
  std::int64_t x = 0, y = 0;
  std::size_t p = offset;
  while (p + 1 < size) {
    const std::uint32_t count = data[p], value = data[p + 1];
    p += 2;
    if (count > 0) {  // a run: one index (RLE8) or two alternating nibbles (RLE4)
      for (std::uint32_t i = 0; i < count; ++i, ++x)
        put(x, y, compression == kRle8 ? value : ((i & 1) ? value & 0x0F : value >> 4));
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      return RleBmp::kDecoded;
    } else if (value == 2) {  // delta: move right and up
      if (p + 1 >= size) break;
      x += data[p];
      y += data[p + 1];
      p += 2;
    } else {  // absolute run of `value` pixels, padded to a 16-bit boundary
      const std::size_t bytes = compression == kRle8 ? value : (value + 1) / 2;
      if (p + bytes > size) break;
      for (std::uint32_t i = 0; i < value; ++i, ++x) {
        const std::uint8_t b = data[p + (compression == kRle8 ? i : i / 2)];
        put(x, y, compression == kRle8 ? b : ((i & 1) ? b & 0x0F : b >> 4));
      }
      p += bytes + (bytes & 1);
    }
    if (y >= h) return RleBmp::kDecoded;
  }
  // Data that stops without its end marker: what arrived is kept, as Windows draws it.
  return RleBmp::kDecoded;
}

}  // namespace platform::detail

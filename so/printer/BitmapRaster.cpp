// Error diffusion over an 8-bit error line, and an ordered-dither alternative.
#include "BitmapRaster.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Tesk::Printer {
namespace {

// The classic 8 x 8 ordered-dither (Bayer) matrix, values 0..63.
constexpr std::uint8_t kBayer8[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};

constexpr std::uint8_t kDle = 0x10;
constexpr std::uint8_t kDleReplacement = 0x20;

float Luminance(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  // Each product and sum rounded to single precision on its own (no fused multiply-add).
  const float red = 0.29891f * static_cast<float>(r);
  const float green = 0.58661f * static_cast<float>(g);
  const float blue = 0.11448f * static_cast<float>(b);
  return red + green + blue;
}

int Gray(const std::uint8_t* px, float gamma) {
  const float y = Luminance(px[0], px[1], px[2]);
  if (gamma == 1.0f) return static_cast<int>(255.0f * y / 255.0f);
  return static_cast<int>(255.0f * std::pow(y / 255.0f, gamma));
}

}  // namespace

int GrayOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  const std::uint8_t px[3] = {red, green, blue};
  return Gray(px, 1.0f);
}

void RasterizeImage(const platform::RgbImage& image, const int* columnTable, int targetWidth,
                    int scaledHeight, float scale, int bytesPerRow, std::uint8_t* raster,
                    DitherMode mode, float gamma) {
  if (image.width <= 0 || image.height <= 0 || targetWidth <= 0 || scaledHeight <= 0 ||
      scale <= 0.0f)
    return;
  std::vector<std::int8_t> error(static_cast<size_t>(targetWidth), 0);
  for (int j = 0; j < scaledHeight; ++j) {
    const int sourceRow = std::min(static_cast<int>(static_cast<float>(j) / scale), image.height - 1);
    std::uint8_t* out = raster + static_cast<size_t>(j) * static_cast<size_t>(bytesPerRow);
    int c5 = 0, c3 = 0;
    unsigned byte = 0;
    int bits = 0;
    for (int i = 0; i < targetWidth; ++i) {
      const int g = Gray(image.Pixel(columnTable[i], sourceRow), gamma);
      bool black;
      if (mode == DitherMode::kOrdered) {
        black = g < kBayer8[j & 7][i & 7] * 4 + 2;
      } else {
        const int v = g + ((error[static_cast<size_t>(i)] + c5) >> 4);
        black = v < 128;
        const int t = v >= 128 ? v - 255 : v;
        if (i > 0) error[static_cast<size_t>(i - 1)] = static_cast<std::int8_t>(error[static_cast<size_t>(i - 1)] + t);
        error[static_cast<size_t>(i)] = static_cast<std::int8_t>(7 * t + c3);
        c5 = 5 * t;
        c3 = 3 * t;
      }
      byte = (byte << 1) | (black ? 1u : 0u);
      if (++bits == 8) {
        *out++ = byte == kDle ? kDleReplacement : static_cast<std::uint8_t>(byte);
        byte = 0;
        bits = 0;
      }
    }
    if (bits > 0) {
      byte <<= 8 - bits;
      *out = byte == kDle ? kDleReplacement : static_cast<std::uint8_t>(byte);
    }
  }
}

}  // namespace Tesk::Printer

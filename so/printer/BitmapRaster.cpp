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

constexpr float kRedWeight = 0.29891f, kGreenWeight = 0.58661f, kBlueWeight = 0.11448f;

// The gray value of a luminance: the one place the formula's last steps are written.
int GrayOfLuminance(float y, float gamma) {
  if (gamma == 1.0f) return static_cast<int>(255.0f * y / 255.0f);
  return static_cast<int>(255.0f * std::pow(y / 255.0f, gamma));
}

// Each weight times each channel value, rounded to single precision on its own as the
// formula rounds it (no fused multiply-add), and the gray of every pixel whose three
// channels are equal. The sum is still formed per pixel, red + green, then + blue.
struct GrayTables {
  float red[256], green[256], blue[256];
  std::uint8_t level[256];

  explicit GrayTables(float gamma) {
    for (int v = 0; v < 256; ++v) {
      const float value = static_cast<float>(v);
      red[v] = kRedWeight * value;
      green[v] = kGreenWeight * value;
      blue[v] = kBlueWeight * value;
      level[v] = static_cast<std::uint8_t>(GrayOfLuminance(red[v] + green[v] + blue[v], gamma));
    }
  }
  int Gray(const std::uint8_t* px, float gamma) const {
    if (px[0] == px[1] && px[1] == px[2]) return level[px[0]];
    return GrayOfLuminance(red[px[0]] + green[px[1]] + blue[px[2]], gamma);
  }
};

std::uint8_t Packed(unsigned byte) {
  return byte == kDle ? kDleReplacement : static_cast<std::uint8_t>(byte);
}

}  // namespace

int GrayOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  const float y = kRedWeight * static_cast<float>(red) + kGreenWeight * static_cast<float>(green) +
                  kBlueWeight * static_cast<float>(blue);
  return GrayOfLuminance(y, 1.0f);
}

void RasterizeImage(const platform::RgbImage& image, const int* columnTable, int targetWidth,
                    int scaledHeight, float scale, int bytesPerRow, std::uint8_t* raster,
                    DitherMode mode, float gamma) {
  if (image.width <= 0 || image.height <= 0 || targetWidth <= 0 || scaledHeight <= 0 ||
      scale <= 0.0f)
    return;
  const GrayTables tables(gamma);
  const size_t width = static_cast<size_t>(targetWidth);
  // One row of gray values, made again only when the source row changes (an enlarged
  // image repeats rows). The error line keeps a slot in front of the first column, so the
  // left neighbour of every column can take its share without a test.
  std::vector<std::uint8_t> gray(width);
  std::vector<std::int8_t> errorLine(width + 1, 0);
  std::int8_t* const error = errorLine.data() + 1;
  int grayRow = -1;

  for (int j = 0; j < scaledHeight; ++j) {
    const int sourceRow = std::min(static_cast<int>(static_cast<float>(j) / scale), image.height - 1);
    if (sourceRow != grayRow) {
      const std::uint8_t* row = image.Pixel(0, sourceRow);
      for (size_t i = 0; i < width; ++i)
        gray[i] = static_cast<std::uint8_t>(
            tables.Gray(row + static_cast<size_t>(columnTable[i]) * 3, gamma));
      grayRow = sourceRow;
    }
    std::uint8_t* out = raster + static_cast<size_t>(j) * static_cast<size_t>(bytesPerRow);
    const std::uint8_t* g = gray.data();

    if (mode == DitherMode::kOrdered) {
      int threshold[8];
      for (int k = 0; k < 8; ++k) threshold[k] = kBayer8[j & 7][k] * 4 + 2;
      size_t i = 0;
      for (; i + 8 <= width; i += 8) {
        unsigned byte = 0;
        for (int k = 0; k < 8; ++k) byte = (byte << 1) | (g[i + k] < threshold[k] ? 1u : 0u);
        *out++ = Packed(byte);
      }
      if (i < width) {
        unsigned byte = 0;
        const int rest = static_cast<int>(width - i);
        for (int k = 0; k < rest; ++k) byte = (byte << 1) | (g[i + k] < threshold[k] ? 1u : 0u);
        *out = Packed(byte << (8 - rest));
      }
      continue;
    }

    // Error diffusion: 7/16 to the right (carried in c5 for the next column, together
    // with what the row above left there), 3/16 down-left, 5/16 down, 1/16 down-right.
    // The share a column keeps for the row below is complete only once its right
    // neighbour added its 1/16: until then it stays in a register (pending), not in the
    // line.
    int c5 = 0, c3 = 0;
    std::int8_t pending = 0;
    auto step = [&](size_t i) -> unsigned {
      const int v = g[i] + ((error[i] + c5) >> 4);
      const int t = v >= 128 ? v - 255 : v;
      error[i - 1] = static_cast<std::int8_t>(pending + t);
      pending = static_cast<std::int8_t>(7 * t + c3);
      c5 = 5 * t;
      c3 = 3 * t;
      return v < 128 ? 1u : 0u;
    };
    size_t i = 0;
    for (; i + 8 <= width; i += 8) {
      unsigned byte = 0;
#pragma GCC unroll 8
      for (size_t k = 0; k < 8; ++k) byte = (byte << 1) | step(i + k);
      *out++ = Packed(byte);
    }
    if (i < width) {
      unsigned byte = 0;
      const int rest = static_cast<int>(width - i);
      for (int k = 0; k < rest; ++k) byte = (byte << 1) | step(i + static_cast<size_t>(k));
      *out = Packed(byte << (8 - rest));
    }
    error[width - 1] = pending;
    // The slot in front of the first column is no column's: its share is dropped.
    errorLine[0] = 0;
  }
}

}  // namespace Tesk::Printer

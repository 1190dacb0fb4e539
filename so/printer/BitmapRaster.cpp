// Error diffusion over an 8-bit error line, and an ordered-dither alternative.
#include "BitmapRaster.h"

#include <algorithm>
#include <cmath>
#include <cstring>
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

constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// Eight dots (0 or 1 each, leftmost first) a byte; a short last byte is filled with white.
void PackRow(const std::uint8_t* dots, size_t width, std::uint8_t* out) {
  size_t i = 0;
  for (; i + 8 <= width; i += 8) {
    // The eight dots as the bytes of one word, first dot lowest: the multiplication moves
    // dot k to bit 63 - k without carries, so the top byte holds them leftmost-first.
    std::uint64_t word = 0;
    std::memcpy(&word, dots + i, 8);
    if constexpr (!kLittleEndian) word = __builtin_bswap64(word);
    *out++ = Packed(static_cast<unsigned>((word * 0x8040201008040201ULL) >> 56));
  }
  if (i < width) {
    unsigned byte = 0;
    const int rest = static_cast<int>(width - i);
    for (int k = 0; k < rest; ++k) byte = (byte << 1) | dots[i + static_cast<size_t>(k)];
    *out = Packed(byte << (8 - rest));
  }
}

// One row's error diffusion: 7/16 of a column's error to the right (carried in c5 for the
// next column, with what the row above left there), 3/16 down-left, 5/16 down, 1/16
// down-right. The share a column keeps for the row below is complete only once its right
// neighbour added its 1/16: until then it is pending, not in the error line.
struct Diffusion {
  int c5 = 0, c3 = 0;
  std::int8_t pending = 0;

  // The dot of column i (1 black); the error line has a slot before column 0.
  std::uint8_t Step(const std::uint8_t* gray, std::int8_t* error, size_t i) {
    std::int8_t* const at = error + i;
    const int v = gray[i] + ((at[0] + c5) >> 4);
    const int t = v >= 128 ? v - 255 : v;
    at[-1] = static_cast<std::int8_t>(pending + t);
    pending = static_cast<std::int8_t>(7 * t + c3);
    c5 = 5 * t;
    c3 = 3 * t;
    return v < 128 ? 1 : 0;
  }
};

// The gray rows in use, made again only when a source row is not among them (an
// enlarged image repeats rows).
class GrayRows {
 public:
  GrayRows(const platform::RgbImage& image, const int* columns, size_t width, float gamma)
      : image_(image), columns_(columns), width_(width), gamma_(gamma), tables_(gamma) {
    for (auto& row : rows_) row.gray.resize(width);
  }
  // The gray row of sourceRow, keeping the row given by keep (or nullptr) intact.
  const std::uint8_t* Get(int sourceRow, const std::uint8_t* keep) {
    for (const Row& row : rows_)
      if (row.source == sourceRow) return row.gray.data();
    Row& row = rows_[0].gray.data() == keep ? rows_[1] : rows_[0];
    const std::uint8_t* pixels = image_.Pixel(0, sourceRow);
    for (size_t i = 0; i < width_; ++i)
      row.gray[i] = static_cast<std::uint8_t>(
          tables_.Gray(pixels + static_cast<size_t>(columns_[i]) * 3, gamma_));
    row.source = sourceRow;
    return row.gray.data();
  }

 private:
  struct Row {
    int source = -1;
    std::vector<std::uint8_t> gray;
  };
  const platform::RgbImage& image_;
  const int* columns_;
  size_t width_;
  float gamma_;
  GrayTables tables_;
  Row rows_[2];
};

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
  const size_t width = static_cast<size_t>(targetWidth);
  GrayRows grayRows(image, columnTable, width, gamma);
  auto sourceRowOf = [&](int j) {
    return std::min(static_cast<int>(static_cast<float>(j) / scale), image.height - 1);
  };
  auto outputRow = [&](int j) {
    return raster + static_cast<size_t>(j) * static_cast<size_t>(bytesPerRow);
  };
  std::vector<std::uint8_t> dots(2 * width);
  std::uint8_t* const dotsA = dots.data();
  std::uint8_t* const dotsB = dots.data() + width;

  if (mode == DitherMode::kOrdered) {
    for (int j = 0; j < scaledHeight; ++j) {
      const std::uint8_t* gray = grayRows.Get(sourceRowOf(j), nullptr);
      const std::uint8_t* threshold = kBayer8[j & 7];
      for (size_t i = 0; i < width; ++i) dotsA[i] = gray[i] < threshold[i & 7] * 4 + 2 ? 1 : 0;
      PackRow(dotsA, width, outputRow(j));
    }
    return;
  }

  std::vector<std::int8_t> errorLine(width + 1, 0);
  std::int8_t* const error = errorLine.data() + 1;
  // Two rows at a time, the second one column behind the first: column i of the second
  // row needs the shares the first left at i - 1, i and i + 1, which are complete once
  // the first row has done column i + 1. The two rows' carries are independent, so the
  // processor works on both at once.
  for (int j = 0; j < scaledHeight; j += 2) {
    const std::uint8_t* grayA = grayRows.Get(sourceRowOf(j), nullptr);
    Diffusion a;
    if (j + 1 == scaledHeight) {
      for (size_t i = 0; i < width; ++i) dotsA[i] = a.Step(grayA, error, i);
      error[width - 1] = a.pending;
      PackRow(dotsA, width, outputRow(j));
      break;
    }
    const std::uint8_t* grayB = grayRows.Get(sourceRowOf(j + 1), grayA);
    Diffusion b;
    dotsA[0] = a.Step(grayA, error, 0);
    for (size_t i = 1; i < width; ++i) {
      dotsA[i] = a.Step(grayA, error, i);
      dotsB[i - 1] = b.Step(grayB, error, i - 1);
    }
    error[width - 1] = a.pending;
    dotsB[width - 1] = b.Step(grayB, error, width - 1);
    error[width - 1] = b.pending;
    PackRow(dotsA, width, outputRow(j));
    PackRow(dotsB, width, outputRow(j + 1));
  }
}

}  // namespace Tesk::Printer

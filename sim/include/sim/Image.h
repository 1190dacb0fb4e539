// One-bit images of the virtual printer's paper: what tests inspect and what goes to PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zanth::sim {

// width x height dots, row-major, one byte per dot: 1 = black (burnt), 0 = white.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> dots;

  Image() = default;
  Image(int w, int h) : width(w < 0 ? 0 : w), height(h < 0 ? 0 : h), dots(std::size_t(width) * height, 0) {}
  bool Empty() const { return width == 0 || height == 0; }
  bool At(int x, int y) const {
    return x >= 0 && y >= 0 && x < width && y < height && dots[std::size_t(y) * width + x] != 0;
  }
  void Set(int x, int y, bool black = true) {
    if (x >= 0 && y >= 0 && x < width && y < height) dots[std::size_t(y) * width + x] = black ? 1 : 0;
  }
  // Black dots inside [x0, x1) x [y0, y1), clipped to the image.
  int CountBlack(int x0, int y0, int x1, int y1) const;
  int CountBlack() const { return CountBlack(0, 0, width, height); }
  // Bounding box of the black dots; false when the image is all white.
  bool BlackBounds(int& x0, int& y0, int& x1, int& y1) const;
};

// Writes an 8-bit grey PNG (black dots 0, white 255), with `border` white dots on every side
// (a quiet zone for barcode readers). Returns false with a reason on failure.
bool WritePng(const Image& image, const std::string& path, std::string* error = nullptr, int border = 0);

}  // namespace zanth::sim

// Image files made on the spot for tests: 24-bit and run-length BMPs written byte by byte,
// and PNGs with an alpha channel.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace zanth::test {

struct Rgba {
  std::uint8_t r = 255, g = 255, b = 255, a = 255;
};
using PixelFn = std::function<Rgba(int x, int y)>;

inline void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

// BITMAPFILEHEADER + BITMAPINFOHEADER for a bottom-up image.
inline std::vector<std::uint8_t> BmpHeaders(int width, int height, int bits, int compression,
                                            std::uint32_t dataSize, int paletteColours) {
  std::vector<std::uint8_t> out;
  const std::uint32_t offset = 14 + 40 + 4 * static_cast<std::uint32_t>(paletteColours);
  out.push_back('B');
  out.push_back('M');
  PutLe(out, offset + dataSize, 4);
  PutLe(out, 0, 4);
  PutLe(out, offset, 4);
  PutLe(out, 40, 4);
  PutLe(out, static_cast<std::uint32_t>(width), 4);
  PutLe(out, static_cast<std::uint32_t>(height), 4);
  PutLe(out, 1, 2);
  PutLe(out, static_cast<std::uint32_t>(bits), 2);
  PutLe(out, static_cast<std::uint32_t>(compression), 4);
  PutLe(out, dataSize, 4);
  PutLe(out, 2835, 4);
  PutLe(out, 2835, 4);
  PutLe(out, static_cast<std::uint32_t>(paletteColours), 4);
  PutLe(out, 0, 4);
  return out;
}

inline bool WriteBmp24(const std::string& path, int width, int height, const PixelFn& pixel) {
  const int stride = (width * 3 + 3) / 4 * 4;
  std::vector<std::uint8_t> out =
      BmpHeaders(width, height, 24, 0, static_cast<std::uint32_t>(stride * height), 0);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const Rgba p = pixel(x, y);
      out.push_back(p.b);
      out.push_back(p.g);
      out.push_back(p.r);
    }
    for (int pad = width * 3; pad < stride; ++pad) out.push_back(0);
  }
  return WriteBytes(path, out);
}

inline bool WritePngRgba(const std::string& path, int width, int height, const PixelFn& pixel) {
  std::vector<std::uint8_t> rgba;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgba p = pixel(x, y);
      rgba.insert(rgba.end(), {p.r, p.g, p.b, p.a});
    }
  }
  return stbi_write_png(path.c_str(), width, height, 4, rgba.data(), width * 4) != 0;
}

}  // namespace zanth::test

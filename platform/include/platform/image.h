// Image files (BMP, PNG, JPEG, GIF) decoded to RGB pixels, standing in for the Windows image
// class. Transparent pixels come out composited over white, so a logo with a transparent
// background prints white there.
//
// Any thread; no shared state. Nothing here throws; a failure is a status with a reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // row-major, 3 bytes (R, G, B) per pixel

  const std::uint8_t* Pixel(int x, int y) const {
    return rgb.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x) * 3;
  }
};

enum class ImageStatus {
  kOk,
  kNoFile,      // missing, unreadable, or not a regular file
  kNotAnImage,  // not a format this loader reads, or damaged
  kTooLarge,    // more pixels than kMaxImagePixels, or a side above kMaxImageSide
};

// Decoding allocates 4 bytes a pixel; beyond this the request is refused before decoding.
constexpr std::int64_t kMaxImagePixels = std::int64_t{1} << 25;  // 32 Mi pixels, 128 MiB
constexpr int kMaxImageSide = 65535;                            // GS 8 L sizes are 16-bit

// Reads a whole image file. reason (optional) receives a short text on failure.
ImageStatus LoadImageFile(const std::string& path, RgbImage& image, std::string* reason = nullptr);
// The size only, from the headers (a damaged body is found by the loader).
ImageStatus ReadImageFileSize(const std::string& path, int* width, int* height,
                              std::string* reason = nullptr);
// The same from bytes in memory.
ImageStatus DecodeImage(const std::uint8_t* data, std::size_t size, RgbImage& image,
                        std::string* reason = nullptr);
ImageStatus DecodeImageSize(const std::uint8_t* data, std::size_t size, int* width, int* height,
                            std::string* reason = nullptr);

}  // namespace platform

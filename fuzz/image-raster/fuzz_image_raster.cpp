// Image bytes through the loader and the rasteriser. The first byte picks the printed
// width (0: as is, else 3 dots per unit, at most a 576-dot line); the rest is the file.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "BitmapRaster.h"
#include "platform/image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int widthUnits = data[0];
  platform::RgbImage image;
  int w = 0, h = 0;
  if (platform::DecodeImageSize(data + 1, size - 1, &w, &h) != platform::ImageStatus::kOk) return 0;
  // Keeps each run fast; the size limits themselves are the loader's and are checked above.
  if (static_cast<long long>(w) * h > (1 << 18)) return 0;  // 512 x 512, the photo benchmark's size
  if (platform::DecodeImage(data + 1, size - 1, image) != platform::ImageStatus::kOk) return 0;
  if (image.width != w || image.height != h || image.rgb.size() != std::size_t(w) * h * 3) std::abort();

  const int target = widthUnits == 0 ? image.width : std::min(widthUnits * 3, 576);
  const float scale = static_cast<float>(target) / static_cast<float>(image.width);
  const float scaled = static_cast<float>(image.height) * scale;
  if (!(scaled < 4096.0f)) return 0;
  const int rows = static_cast<int>(scaled);
  const int widthOut = (target + 7) / 8 * 8;
  std::vector<int> columns(static_cast<std::size_t>(widthOut));
  for (int i = 0; i < widthOut; ++i)
    columns[static_cast<std::size_t>(i)] = std::min(static_cast<int>(static_cast<float>(i) / scale), image.width - 1);
  std::vector<std::uint8_t> raster(static_cast<std::size_t>(widthOut / 8) * rows, 0);
  Tesk::Printer::RasterizeImage(image, columns.data(), target, rows, scale, widthOut / 8, raster.data());
  for (std::uint8_t b : raster) {
    if (b == 0x10) std::abort();  // a DLE in image data would start a real-time command
  }
  return 0;
}

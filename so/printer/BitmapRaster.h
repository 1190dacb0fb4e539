// Colour pixels to printer dots: the gray formula, the dithering and the packing that fix
// which dots a bitmap prints. Built without floating-point contraction (see CMakeLists.txt)
// so the same image gives the same dots on every compiler and machine.
#pragma once

#include <cstdint>

#include "platform/image.h"

namespace Tesk::Printer {

enum class DitherMode { kErrorDiffusion, kOrdered };

// Renders targetWidth x scaledHeight dots into raster: rows of bytesPerRow bytes, top to
// bottom, leftmost dot in bit 7, set = black, zeroed by the caller. Output column i reads
// source column columnTable[i]; output row j reads source row truncate(j / scale). No byte
// of the result is 0x10 (DLE): such a byte is sent as 0x20.
void RasterizeImage(const platform::RgbImage& image, const int* columnTable, int targetWidth,
                    int scaledHeight, float scale, int bytesPerRow, std::uint8_t* raster,
                    DitherMode mode = DitherMode::kErrorDiffusion, float gamma = 1.0f);

// The gray value 0..255 of one pixel, as the rasteriser computes it (gamma 1).
int GrayOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

}  // namespace Tesk::Printer

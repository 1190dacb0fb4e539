// Run-length encoded BMP files (BI_RLE8, BI_RLE4), common for logos, which stb_image
// refuses; decoded here into RGBA so the rest of the loader treats them like any image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::detail {

enum class RleBmp { kNotRle, kDecoded, kDamaged };

// kNotRle when the bytes are not an RLE BMP (another loader's job). With sizeOnly the
// pixels are left alone and only width and height are read.
RleBmp DecodeRleBmp(const std::uint8_t* data, std::size_t size, bool sizeOnly, int* width,
                    int* height, std::vector<std::uint8_t>* rgba, std::string* reason);

}  // namespace platform::detail

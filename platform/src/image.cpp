// Image loading with stb_image (the four formats a receipt logo comes in), plus the RLE
// BMPs stb refuses. Alpha is composited over white here, once, for every caller.
#include "platform/image.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "bmp_rle.h"

#include "stb_image_config.h"

namespace platform {
namespace {

// Files above this are not images anyone prints (a raw 32-Mi-pixel BMP is 96 MiB).
constexpr long long kMaxFileBytes = 128LL << 20;

ImageStatus Fail(ImageStatus status, std::string* reason, const std::string& text) {
  if (reason) *reason = text;
  return status;
}

ImageStatus ReadFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string* reason) {
  struct stat info {};
  // Only regular files: a directory opens for reading on Linux but holds no image.
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
    return Fail(ImageStatus::kNoFile, reason, "no such image file");
  if (info.st_size > kMaxFileBytes) return Fail(ImageStatus::kTooLarge, reason, "image file too large");
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return Fail(ImageStatus::kNoFile, reason, "image file cannot be opened");
  bytes.resize(static_cast<size_t>(info.st_size));
  const size_t got = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), file.get());
  bytes.resize(got);
  return ImageStatus::kOk;
}

ImageStatus CheckSize(int width, int height, std::string* reason) {
  if (width <= 0 || height <= 0) return Fail(ImageStatus::kNotAnImage, reason, "image has no pixels");
  if (width > kMaxImageSide || height > kMaxImageSide ||
      std::int64_t{width} * height > kMaxImagePixels)
    return Fail(ImageStatus::kTooLarge, reason, "image too large");
  return ImageStatus::kOk;
}

// stb_image 2.27 (Debian's) trusts a JPEG's Huffman segments in two ways that go past its
// tables: a DHT segment declaring more than 256 codes (2.28 refuses it) and a scan decoding
// with a table no DHT segment defined (the table is uninitialised memory). The segments are
// checked here before stb sees them, as stb reads them: every marker segment of the file,
// scans skipped over their entropy-coded data, bytes past the end read as zeros.
// Returns why the file is refused, or nullptr to leave the rest to stb.
const char* JpegHuffmanTablesFault(const std::uint8_t* data, std::size_t size) {
  const auto at = [&](std::size_t i) -> unsigned { return i < size ? data[i] : 0u; };
  // stb takes any number of fill bytes (FF) before the start-of-image marker.
  std::size_t p = 0;
  while (p < size && data[p] == 0xFF) ++p;
  if (p < 1 || p >= size || data[p] != 0xD8) return nullptr;  // not a JPEG
  ++p;
  bool defined[2][4] = {};  // [DC, AC][table]
  bool progressive = false, framed = false;
  while (p + 1 < size) {
    if (data[p] != 0xFF) {  // entropy-coded data of a scan: find the next marker
      ++p;
      continue;
    }
    const std::uint8_t marker = data[p + 1];
    if (marker == 0xFF) {  // fill byte
      ++p;
      continue;
    }
    p += 2;
    // Stuffed zero, restart markers and markers without a length carry no segment.
    if (marker == 0x00 || (marker >= 0xD0 && marker <= 0xD8) || marker == 0x01) continue;
    if (marker == 0xD9) return nullptr;
    if (p + 2 > size) return nullptr;  // cut off: stb reports it
    const std::size_t length = (std::size_t{data[p]} << 8) | data[p + 1];
    if (length < 2) return nullptr;
    if (marker == 0xC4) {
      // Tables follow one another while the segment has bytes left, the last one read
      // whole even when it runs past the declared length.
      long left = static_cast<long>(length) - 2;
      std::size_t q = p + 2;
      while (left > 0 && q < size) {
        const unsigned kind = data[q] >> 4, table = data[q] & 15;
        if (kind > 1 || table > 3) return nullptr;  // stb refuses the header
        std::size_t codes = 0;
        for (std::size_t i = q + 1; i <= q + 16; ++i) codes += at(i);
        if (codes > 256) return "bad JPEG Huffman table";
        defined[kind][table] = true;
        q += 17 + codes;
        left -= static_cast<long>(17 + codes);
      }
      p = q;
      continue;
    }
    if (marker >= 0xC0 && marker <= 0xC2 && !framed) {  // the frame stb decodes
      framed = true;
      progressive = marker == 0xC2;
    } else if (marker == 0xDA) {
      // Which tables the scan decodes with: a baseline scan both of each component's;
      // a progressive scan the DC table in a first DC scan only (refinement reads plain
      // bits), the AC table in an AC scan.
      const unsigned components = at(p + 2);
      if (components < 1 || components > 4) return nullptr;  // stb refuses the scan
      const std::size_t spectral = p + 3 + 2 * std::size_t{components};
      const bool dcScan = at(spectral) == 0, firstPass = (at(spectral + 2) >> 4) == 0;
      const bool needsDc = !progressive || (dcScan && firstPass);
      const bool needsAc = !progressive || !dcScan;
      for (unsigned c = 0; c < components; ++c) {
        const unsigned dc = at(p + 4 + 2 * c) >> 4, ac = at(p + 4 + 2 * c) & 15;
        if (dc > 3 || ac > 3) return nullptr;  // stb refuses the selector
        if ((needsDc && !defined[0][dc]) || (needsAc && !defined[1][ac]))
          return "JPEG scan uses a Huffman table the file does not define";
      }
    }
    p += length;
  }
  return nullptr;
}

// stb_image grows its buffer to a chunk's declared length before it reads the chunk, so a few
// bytes that declare a gigabyte make it allocate one. A PNG chunk longer than what is left of
// the file is damaged: refused before stb sees it.
bool PngChunksFit(const std::uint8_t* data, std::size_t size) {
  static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (size < 8 || !std::equal(kSignature, kSignature + 8, data)) return true;  // not a PNG
  std::size_t p = 8;
  while (p + 8 <= size) {
    const std::size_t length = (std::size_t{data[p]} << 24) | (std::size_t{data[p + 1]} << 16) |
                               (std::size_t{data[p + 2]} << 8) | data[p + 3];
    const bool end = std::equal(data + p + 4, data + p + 8, "IEND");
    // Length, type, data and CRC.
    if (length > size - p - 8 || size - p - 8 - length < 4) return end && length == 0;
    if (end) return true;
    p += 12 + length;
  }
  return true;  // cut off between chunks: stb reports it
}

// RGBA to RGB over a white background: c' = (c a + 255 (255 - a)) / 255, rounded.
void CompositeOverWhite(const std::uint8_t* rgba, int width, int height, RgbImage& image) {
  image.width = width;
  image.height = height;
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  image.rgb.resize(pixels * 3);
  std::uint8_t* out = image.rgb.data();
  for (size_t i = 0; i < pixels; ++i, rgba += 4, out += 3) {
    const unsigned a = rgba[3];
    for (int c = 0; c < 3; ++c)
      out[c] = static_cast<std::uint8_t>((rgba[c] * a + 255u * (255u - a) + 127u) / 255u);
  }
}

}  // namespace

ImageStatus DecodeImageSize(const std::uint8_t* data, std::size_t size, int* width, int* height,
                            std::string* reason) {
  int w = 0, h = 0;
  std::string rleReason;
  const auto rle = detail::DecodeRleBmp(data, size, true, &w, &h, nullptr, &rleReason);
  if (rle == detail::RleBmp::kDamaged) return Fail(ImageStatus::kNotAnImage, reason, rleReason);
  if (rle == detail::RleBmp::kNotRle) {
    // Even the header reader builds the Huffman tables.
    if (const char* fault = JpegHuffmanTablesFault(data, size))
      return Fail(ImageStatus::kNotAnImage, reason, fault);
    if (!PngChunksFit(data, size))
      return Fail(ImageStatus::kNotAnImage, reason, "PNG chunk runs past the end of the file");
    int channels = 0;
    if (size == 0 || size > static_cast<std::size_t>(INT32_MAX) ||
        !stbi_info_from_memory(data, static_cast<int>(size), &w, &h, &channels))
      return Fail(ImageStatus::kNotAnImage, reason, "not a BMP, PNG, JPEG or GIF image");
  }
  const ImageStatus status = CheckSize(w, h, reason);
  if (status != ImageStatus::kOk) return status;
  if (width) *width = w;
  if (height) *height = h;
  return ImageStatus::kOk;
}

ImageStatus DecodeImage(const std::uint8_t* data, std::size_t size, RgbImage& image,
                        std::string* reason) {
  int w = 0, h = 0;
  ImageStatus status = DecodeImageSize(data, size, &w, &h, reason);
  if (status != ImageStatus::kOk) return status;
  std::vector<std::uint8_t> rle;
  std::string rleReason;
  if (detail::DecodeRleBmp(data, size, false, &w, &h, &rle, &rleReason) == detail::RleBmp::kDecoded) {
    CompositeOverWhite(rle.data(), w, h, image);
    return ImageStatus::kOk;
  }
  int channels = 0;
  std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
      stbi_load_from_memory(data, static_cast<int>(size), &w, &h, &channels, 4), &stbi_image_free);
  if (!pixels) {
    const char* why = stbi_failure_reason();
    return Fail(ImageStatus::kNotAnImage, reason,
                std::string("image cannot be decoded: ") + (why ? why : "unknown"));
  }
  CompositeOverWhite(pixels.get(), w, h, image);
  return ImageStatus::kOk;
}

ImageStatus LoadImageFile(const std::string& path, RgbImage& image, std::string* reason) {
  std::vector<std::uint8_t> bytes;
  const ImageStatus status = ReadFile(path, bytes, reason);
  if (status != ImageStatus::kOk) return status;
  return DecodeImage(bytes.data(), bytes.size(), image, reason);
}

ImageStatus ReadImageFileSize(const std::string& path, int* width, int* height,
                              std::string* reason) {
  std::vector<std::uint8_t> bytes;
  const ImageStatus status = ReadFile(path, bytes, reason);
  if (status != ImageStatus::kOk) return status;
  return DecodeImageSize(bytes.data(), bytes.size(), width, height, reason);
}

}  // namespace platform

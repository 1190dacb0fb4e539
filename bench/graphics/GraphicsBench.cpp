// A 512 x 512 grayscale photo already decoded to its printer command (gray, dither, pack,
// GS 8 L around it); decoding a 512 x 512 PNG beside it; PrintBarCode of a Code 128 and a
// QR Code to a file port, which is the caller's whole wait.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "BitmapRaster.h"
#include "CmdHelperBase.h"
#include "ModelTMT88IV.h"
#include "OposConstants.h"
#include "PortSettings.h"
#include "support/ImageFiles.h"

namespace {

constexpr int kSide = 512;

// Smooth shading with fine texture, as a photo has: every gray level occurs.
BYTE PhotoGray(int x, int y) {
  const double v = 127.5 + 80.0 * std::sin(x * 0.031) * std::cos(y * 0.027) + 40.0 * std::sin((x + y) * 0.31);
  return static_cast<BYTE>(std::clamp(v, 0.0, 255.0));
}

platform::RgbImage Photo() {
  platform::RgbImage image;
  image.width = image.height = kSide;
  image.rgb.resize(size_t(kSide) * kSide * 3);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      BYTE* p = &image.rgb[(size_t(y) * kSide + x) * 3];
      p[0] = p[1] = p[2] = PhotoGray(x, y);
    }
  return image;
}

void BM_GrayPhotoToRasterCommand(benchmark::State& state) {
  const platform::RgbImage image = Photo();
  CCmdHelperBase builder;
  PrinterBuffer raster(32, 32), command(32, 32);
  std::vector<int> columns(kSide);
  for (auto _ : state) {
    for (int i = 0; i < kSide; ++i) columns[size_t(i)] = i;
    raster.Clear();
    raster.Resize(kSide / 8 * kSide, 0);
    Tesk::Printer::RasterizeImage(image, columns.data(), kSide, kSide, 1.0f, kSide / 8, raster.Data());
    command.Clear();
    builder.StoreRasterGraphicsHeader(command, raster.Size(), kSide, kSide);
    command.AppendBytes(raster.Data(), raster.Size());
    builder.PrintBufferedGraphics(command);
    benchmark::DoNotOptimize(command.Data());
  }
}
BENCHMARK(BM_GrayPhotoToRasterCommand)->Unit(benchmark::kMillisecond);

void BM_DecodePng512(benchmark::State& state) {
  std::vector<BYTE> gray(size_t(kSide) * kSide);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) gray[size_t(y) * kSide + x] = PhotoGray(x, y);
  std::vector<BYTE> png;
  stbi_write_png_to_func(
      [](void* context, void* data, int size) {
        auto* out = static_cast<std::vector<BYTE>*>(context);
        out->insert(out->end(), static_cast<BYTE*>(data), static_cast<BYTE*>(data) + size);
      },
      &png, kSide, kSide, 1, gray.data(), kSide);
  platform::RgbImage image;
  for (auto _ : state) {
    if (platform::DecodeImage(png.data(), png.size(), image) != platform::ImageStatus::kOk) {
      state.SkipWithError("PNG did not decode");
      break;
    }
    benchmark::DoNotOptimize(image.rgb.data());
  }
  state.counters["png_bytes"] = static_cast<double>(png.size());
}
BENCHMARK(BM_DecodePng512)->Unit(benchmark::kMillisecond);

class FilePrinter : public Tesk::Printer::CTM_T88IV {
 public:
  FilePrinter() : CTM_T88IV(L"TM-T88IV") {}
  void AssumePaperPresent() { lastStatus_ = Tesk::Printer::tagPrinterStatus{}; }
};

void PrintBarCodeLoop(benchmark::State& state, const std::wstring& data, LONG symbology, LONG height,
                      LONG width) {
  Tesk::IO::FilePortSettings settings;
  settings.SetSettingsString(L"/dev/null,/nonexistent-input");
  FilePrinter printer;
  LONG result = 0;
  printer.SetPortSettings(&settings, &result);
  printer.OpenServiceW(L"bench", nullptr, &result);
  printer.ClaimDevice(0, &result);
  printer.AssumePaperPresent();
  for (auto _ : state) {
    printer.PrintBarCode(PTR_S_RECEIPT, data, symbology, height, width, PTR_BC_CENTER,
                         PTR_BC_TEXT_BELOW, &result);
    if (result != 0) {
      state.SkipWithError("PrintBarCode failed");
      break;
    }
  }
  printer.ReleaseDevice(&result);
  printer.CloseService(&result);
}

void BM_PrintBarCodeCode128(benchmark::State& state) {
  PrintBarCodeLoop(state, L"ZANTH-0042-1234567", PTR_BCS_Code128, 80, 400);
}
BENCHMARK(BM_PrintBarCodeCode128)->Unit(benchmark::kMicrosecond);

void BM_PrintBarCodeQr(benchmark::State& state) {
  PrintBarCodeLoop(state, L"https://example.com/receipt/2026-12-09/0042", PTR_BCS_QRCODE, 200, 0);
}
BENCHMARK(BM_PrintBarCodeQr)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

// Speed of our PNG and GIF codecs on a 1920 x 1080 photo-like picture.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "base/stream.h"
#include "formats/bmp/dib_image.h"
#include "formats/gif/color_quantizer.h"
#include "formats/gif/gif_graphic.h"
#include "formats/png/png_graphic.h"

namespace tessane {
namespace {

/// Smooth light and colour gradients, a few soft-edged shapes and sensor-like noise: many
/// thousands of distinct colours, as in a photograph.
DibImage MakePhotoLikePicture(int32_t width, int32_t height) {
  DibImage bitmap;
  bitmap.SetPixelFormat(DibFormat::k32Bit);
  bitmap.SetSize(width, height);
  std::mt19937 random(2024);
  std::normal_distribution<double> noise(0.0, 2.5);
  for (int32_t y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(bitmap.ScanLine(y));
    for (int32_t x = 0; x < width; ++x) {
      const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
      double r = 40 + 150 * v + 30 * std::sin(u * 7.0);
      double g = 70 + 110 * (1 - v) * u + 25 * std::cos(v * 5.0 + u * 3.0);
      double b = 120 + 100 * (1 - v) - 40 * u;
      const double dx = u - 0.62, dy = v - 0.45;
      const double disc = std::exp(-(dx * dx + dy * dy) * 40.0);  // a bright round object
      r += 90 * disc;
      g += 60 * disc;
      b -= 50 * disc;
      if (std::sin(u * 40.0) * std::cos(v * 23.0) > 0.6) g -= 35;  // texture
      auto channel = [&](double value) {
        const long c = std::lround(value + noise(random));
        return static_cast<uint32_t>(std::clamp(c, 0L, 255L));
      };
      row[x] = 0xFF000000u | (channel(r) << 16) | (channel(g) << 8) | channel(b);
    }
  }
  return bitmap;
}

const DibImage& Photo() {
  static const DibImage photo = MakePhotoLikePicture(1920, 1080);
  return photo;
}

std::vector<uint8_t> EncodePng(const DibImage& bitmap) {
  PngGraphic png;
  png.SetFilters(PngGraphic::kPngFilterSub | PngGraphic::kPngFilterUp);
  png.SetCompressionLevel(8);
  png.Assign(bitmap);
  MemoryStream out;
  png.SaveToStream(out);
  return out.TakeBytes();
}

void BM_PngEncode(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) bytes = EncodePng(Photo()).size();
  state.counters["file_bytes"] = static_cast<double>(bytes);
  state.SetItemsProcessed(state.iterations() * 1920 * 1080);
}
BENCHMARK(BM_PngEncode)->Unit(benchmark::kMillisecond);

void BM_PngDecode(benchmark::State& state) {
  const std::vector<uint8_t> file = EncodePng(Photo());
  for (auto _ : state) {
    ReadOnlyMemoryStream in(file.data(), file.size());
    PngGraphic png;
    png.LoadFromStream(in);
    benchmark::DoNotOptimize(png.Pixels().data());
  }
  state.SetItemsProcessed(state.iterations() * 1920 * 1080);
}
BENCHMARK(BM_PngDecode)->Unit(benchmark::kMillisecond);

void BM_GifEncode(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) {
    GifGraphic gif;
    gif.SetColorReduction(8);
    gif.Assign(Photo());
    MemoryStream out;
    gif.SaveToStream(out);
    bytes = out.Bytes().size();
  }
  state.counters["file_bytes"] = static_cast<double>(bytes);
  state.SetItemsProcessed(state.iterations() * 1920 * 1080);
}
BENCHMARK(BM_GifEncode)->Unit(benchmark::kMillisecond);

// The parts of the GIF encoding: palette alone, and palette plus mapping.
void BM_GifOctreePalette(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(BuildOctreePalette(Photo()).data());
}
BENCHMARK(BM_GifOctreePalette)->Unit(benchmark::kMillisecond);

void BM_GifReduceBitmap(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ReduceBitmap(Photo(), 8, 0)->ScanLine(0));
}
BENCHMARK(BM_GifReduceBitmap)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessane

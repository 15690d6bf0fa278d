// Resampler speed, measured against the cost of decoding the same picture size with
// libjpeg-turbo: each resampler case reports x_decode, its time as a multiple of one full-scale
// 4000 x 3000 decode (float DCT, as the program decodes), both in CPU time of the thread.

#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "pixels/argb_image.h"
#include "raster/filters.h"
#include "raster/kernel_resampler.h"
#include "raster/kernels.h"
#include "raster/stretch.h"

namespace tessane {
namespace {

constexpr int kPhotoW = 4000, kPhotoH = 3000;

// A photo-like RGB picture: soft gradients and large shapes, fine texture and sensor noise, so
// that neither the encoder nor the resamplers meet unusually easy data.
std::vector<uint8_t> SyntheticPhoto(int w, int h) {
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  std::mt19937 rng(1234);
  std::normal_distribution<float> noise(0.0f, 4.0f);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const float fx = static_cast<float>(x) / w, fy = static_cast<float>(y) / h;
      float r = 90 + 110 * fy + 30 * std::sin(fx * 7.0f + fy * 3.0f);
      float g = 70 + 80 * fx + 40 * std::cos(fy * 9.0f) * std::sin(fx * 4.0f);
      float b = 150 - 100 * fy + 25 * std::sin((fx + fy) * 13.0f);
      const float dx = fx - 0.6f, dy = fy - 0.45f;
      if (dx * dx + dy * dy < 0.04f) {  // a disc with a sharp rim
        r = 230 - 60 * fy;
        g = 190;
        b = 60;
      }
      const float texture = 12 * std::sin(x * 0.37f) * std::sin(y * 0.23f);
      const float n = noise(rng);
      uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = static_cast<uint8_t>(std::clamp(r + texture + n, 0.0f, 255.0f));
      p[1] = static_cast<uint8_t>(std::clamp(g + texture + n, 0.0f, 255.0f));
      p[2] = static_cast<uint8_t>(std::clamp(b + texture + n, 0.0f, 255.0f));
    }
  return rgb;
}

struct Photo {
  std::vector<uint8_t> rgb;
  std::vector<uint8_t> jpeg;
};

const Photo& ThePhoto() {
  static const Photo photo = [] {
    Photo p;
    p.rgb = SyntheticPhoto(kPhotoW, kPhotoH);
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = kPhotoW;
    c.image_height = kPhotoH;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 75, TRUE);
    c.dct_method = JDCT_FLOAT;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
      JSAMPROW row = &p.rgb[static_cast<size_t>(c.next_scanline) * kPhotoW * 3];
      jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    p.jpeg.assign(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return p;
  }();
  return photo;
}

// Decodes the JPEG at full scale into RGB rows, returning a checksum so nothing is elided.
unsigned DecodeOnce(J_DCT_METHOD method) {
  const Photo& photo = ThePhoto();
  jpeg_decompress_struct d{};
  jpeg_error_mgr err{};
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, photo.jpeg.data(), static_cast<unsigned long>(photo.jpeg.size()));
  jpeg_read_header(&d, TRUE);
  d.dct_method = method;
  d.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d);
  std::vector<uint8_t> row(static_cast<size_t>(d.output_width) * d.output_components);
  unsigned sum = 0;
  while (d.output_scanline < d.output_height) {
    JSAMPROW r = row.data();
    jpeg_read_scanlines(&d, &r, 1);
    sum += row[d.output_scanline % row.size()];
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return sum;
}

// CPU seconds of this thread: the ratios stay meaningful on a busy machine.
double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// CPU seconds of one float-DCT decode: the best of five, measured once.
double DecodeSeconds() {
  static const double seconds = [] {
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
      const double t0 = ThreadSeconds();
      benchmark::DoNotOptimize(DecodeOnce(JDCT_FLOAT));
      best = std::min(best, ThreadSeconds() - t0);
    }
    return best;
  }();
  return seconds;
}

// The photo scaled (nearest) to w x h as a 32-bit bitmap, made once per size.
const ArgbImage& Source(int w, int h) {
  static std::vector<std::pair<std::pair<int, int>, std::unique_ptr<ArgbImage>>> cache;
  for (auto& [size, bitmap] : cache)
    if (size == std::pair{w, h}) return *bitmap;
  const Photo& photo = ThePhoto();
  auto b = std::make_unique<ArgbImage>();
  b->Resize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p =
          &photo.rgb[(static_cast<size_t>(y) * kPhotoH / h * kPhotoW + x * kPhotoW / w) * 3];
      b->Row(y)[x] = Color32(p[0], p[1], p[2]);
    }
  cache.emplace_back(std::pair{w, h}, std::move(b));
  return *cache.back().second;
}

void BM_JpegDecode4000x3000(benchmark::State& state) {
  const auto method = static_cast<J_DCT_METHOD>(state.range(0));
  ThePhoto();
  for (auto _ : state) benchmark::DoNotOptimize(DecodeOnce(method));
  state.SetLabel(method == JDCT_FLOAT ? "float DCT (the program's)" : "islow DCT");
}
BENCHMARK(BM_JpegDecode4000x3000)->Arg(JDCT_FLOAT)->Arg(JDCT_ISLOW)->Unit(benchmark::kMillisecond);

// Args: filter, source width, source height, destination width, destination height.
void BM_Stretch(benchmark::State& state) {
  const auto filter = static_cast<Filter>(state.range(0));
  const int sw = static_cast<int>(state.range(1)), sh = static_cast<int>(state.range(2));
  const int dw = static_cast<int>(state.range(3)), dh = static_cast<int>(state.range(4));
  const ArgbImage& src = Source(sw, sh);
  const std::unique_ptr<Resampler> resampler = MakeResampler(filter);
  ArgbImage dst;
  dst.Resize(dw, dh);
  const double decode = DecodeSeconds();
  double total = 0;
  for (auto _ : state) {
    const double t0 = ThreadSeconds();
    StretchTo(src, dst, dst.Bounds(), src.Bounds(), *resampler);
    total += ThreadSeconds() - t0;
    benchmark::DoNotOptimize(dst.Bits());
  }
  const std::string_view name = InfoOf(filter).name;
  state.SetLabel(name.empty() ? std::string("box kernel") : std::string(name));
  state.counters["x_decode"] = total / static_cast<double>(state.iterations()) / decode;
}

void StretchCases(benchmark::internal::Benchmark* b) {
  for (Filter filter : {Filter::kLanczos3, Filter::kMitchell, Filter::kBSpline, Filter::kBoxKernel,
                        Filter::kBox, Filter::kNone}) {
    b->Args({static_cast<int>(filter), 4000, 3000, 320, 240});
    b->Args({static_cast<int>(filter), 500, 375, 320, 240});
  }
  for (Filter filter : {Filter::kLanczos3, Filter::kTriangle, Filter::kNone})
    b->Args({static_cast<int>(filter), 320, 240, 1920, 1440});
  // What the batch job meets on 16:9 photographs after the JPEG decoding scale.
  b->Args({static_cast<int>(Filter::kLanczos3), 960, 540, 320, 180});
  b->Args({static_cast<int>(Filter::kLanczos3), 1920, 1080, 1024, 576});
}
BENCHMARK(BM_Stretch)->Apply(StretchCases)->Unit(benchmark::kMillisecond);

// The Lanczos kernel resampling through each of its fast paths, for tuning the choice between
// them. Args: path (KernelPath), source width, source height, destination width and height.
void BM_KernelPath(benchmark::State& state) {
  const auto path = static_cast<KernelPath>(state.range(0));
  const int sw = static_cast<int>(state.range(1)), sh = static_cast<int>(state.range(2));
  const int dw = static_cast<int>(state.range(3)), dh = static_cast<int>(state.range(4));
  const ArgbImage& src = Source(sw, sh);
  ArgbImage dst;
  dst.Resize(dw, dh);
  const LanczosKernel kernel;
  for (auto _ : state) {
    KernelResampleVia(path, dst, dst.Bounds(), dst.Bounds(), src, src.Bounds(), kernel);
    benchmark::DoNotOptimize(dst.Bits());
  }
  static const char* const kNames[] = {
      "auto", "reference", "portable-vfirst", "portable-hfirst", "avx2-vfirst", "avx2-hfirst"};
  state.SetLabel(kNames[state.range(0)]);
}

void KernelPathCases(benchmark::internal::Benchmark* b) {
  for (int path : {0, 4, 5})
    for (auto [sw, sh, dw, dh] :
         {std::array{960, 540, 320, 180}, std::array{1920, 1080, 1024, 576},
          std::array{2560, 1440, 1024, 576}, std::array{500, 375, 320, 240}})
      b->Args({path, sw, sh, dw, dh});
}
BENCHMARK(BM_KernelPath)->Apply(KernelPathCases)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessane

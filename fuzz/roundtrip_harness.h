#pragma once
// Shared parts of the writer round-trip targets: a small random bitmap built from the fuzz bytes,
// and the comparison that aborts (a finding) when the picture read back differs.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "formats/bmp/dib_image.h"

namespace tessane::fuzz {

/// Every pixel format a bitmap can have.
inline const std::vector<DibFormat> kEveryPixelFormat = {
    DibFormat::k1Bit,  DibFormat::k4Bit,  DibFormat::k8Bit, DibFormat::k15Bit,
    DibFormat::k16Bit, DibFormat::k24Bit, DibFormat::k32Bit};

/// Fills `bitmap` with a random picture of at most `max_side` x `max_side` pixels in one of
/// `formats`. Paletted pictures get a colour table of 1..2^bpp entries and only indices inside
/// it; the others use at most `max_colors` distinct pixel values. The bitmap is never marked
/// transparent.
inline void MakeRandomBitmap(FuzzedDataProvider& in, const std::vector<DibFormat>& formats,
                             int32_t max_side, int max_colors, DibImage& bitmap) {
  const DibFormat format = formats[in.ConsumeIntegralInRange<size_t>(0, formats.size() - 1)];
  const int32_t width = in.ConsumeIntegralInRange<int32_t>(1, max_side);
  const int32_t height = in.ConsumeIntegralInRange<int32_t>(1, max_side);
  bitmap.SetPixelFormat(format);
  bitmap.SetSize(width, height);
  const int bpp = BitsPerPixel(format);
  if (bpp <= 8) {
    const int entries = in.ConsumeIntegralInRange<int>(1, 1 << bpp);
    std::vector<PaletteEntry> palette(entries);
    for (auto& q : palette)
      q = PaletteColor(in.ConsumeIntegral<uint8_t>(), in.ConsumeIntegral<uint8_t>(),
                       in.ConsumeIntegral<uint8_t>());
    bitmap.SetPalette(palette);
    for (int32_t y = 0; y < height; ++y) {
      uint8_t* row = bitmap.ScanLine(y);
      for (int32_t x = 0; x < width; ++x) {
        const unsigned index = in.ConsumeIntegral<uint8_t>() % entries;
        const int bit = x * bpp;
        const int shift = 8 - bpp - bit % 8;
        row[bit / 8] =
            static_cast<uint8_t>((row[bit / 8] & ~(((1u << bpp) - 1) << shift)) | (index << shift));
      }
    }
    return;
  }
  std::vector<uint32_t> colors(in.ConsumeIntegralInRange<int>(1, max_colors));
  for (auto& c : colors) c = in.ConsumeIntegral<uint32_t>();
  const int bytes = bpp / 8;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t c = colors[in.ConsumeIntegralInRange<size_t>(0, colors.size() - 1)];
      for (int b = 0; b < bytes; ++b) row[x * bytes + b] = static_cast<uint8_t>(c >> (8 * b));
    }
  }
}

/// The bitmap's pixels as $AARRGGBB, rows top-down.
inline std::vector<uint32_t> BitmapPixels(const DibImage& bitmap) {
  std::vector<uint32_t> pixels(static_cast<size_t>(bitmap.Width()) * bitmap.Height());
  for (int32_t y = 0; y < bitmap.Height(); ++y)
    bitmap.ToColor32Row(y, pixels.data() + static_cast<size_t>(y) * bitmap.Width());
  return pixels;
}

/// Reports a failed round trip and aborts, so libFuzzer records the input.
[[noreturn]] inline void RoundTripFailed(const char* what) {
  std::fprintf(stderr, "round trip failed: %s\n", what);
  std::abort();
}

/// Aborts unless both pictures have the same size and every pixel agrees under `mask`
/// (0x00FFFFFF compares colour only, 0xFFFFFFFF alpha too).
inline void ExpectSamePixels(int32_t width, int32_t height, const std::vector<uint32_t>& expected,
                             int32_t got_width, int32_t got_height,
                             const std::vector<uint32_t>& got, uint32_t mask) {
  if (width != got_width || height != got_height) RoundTripFailed("size differs");
  if (got.size() != expected.size()) RoundTripFailed("pixel count differs");
  for (size_t i = 0; i < expected.size(); ++i) {
    if ((expected[i] & mask) != (got[i] & mask)) {
      std::fprintf(stderr, "pixel %zu: wrote %08x, read %08x\n", i, expected[i], got[i]);
      RoundTripFailed("pixel differs");
    }
  }
}

}  // namespace tessane::fuzz

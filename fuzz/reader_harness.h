#pragma once
// The one harness every reader fuzz target uses: load the input from memory with one graphic
// class, then paint it into a 32-bit bitmap the way the resize job does. Errors the program
// reports (tessane::Exception) are an expected outcome; anything else - a crash, a sanitizer
// report, another exception escaping - is a finding.

#include <cstddef>
#include <cstdint>

#include "base/errors.h"
#include "base/stream.h"
#include "formats/format_registry.h"
#include "formats/graphic.h"
#include "formats/picture.h"
#include "pixels/argb_image.h"

namespace tessane::fuzz {

/// Pictures larger than this are loaded but not painted: painting one is legitimate, but it only
/// costs the fuzzer time and memory without reaching new code.
inline constexpr int64_t kMaxPaintedPixels = int64_t{4} << 20;

/// How many pixels an input declares, for targets whose library would allocate them first.
using DeclaredPixels = int64_t (*)(const uint8_t* data, size_t size);

/// Loads `data` into a graphic made by `create` and paints it into an ArgbImage. With
/// `declared`, inputs declaring more than kMaxPaintedPixels are skipped before loading.
inline void LoadAndPaint(GraphicFactory create, const uint8_t* data, size_t size,
                         DeclaredPixels declared = nullptr) {
  if (declared != nullptr && declared(data, size) > kMaxPaintedPixels) return;
  Picture picture;
  ReadOnlyMemoryStream stream(data, size);
  try {
    picture.LoadFromStream(create(), stream);
  } catch (const Exception&) {
    return;
  }
  if (int64_t{picture.Width()} * picture.Height() > kMaxPaintedPixels) return;
  ArgbImage bitmap;
  try {
    PictureToArgb(picture, bitmap);
  } catch (const Exception&) {
  }
}

}  // namespace tessane::fuzz

/// Defines the libFuzzer entry point of a reader target for graphic class `Cls`.
#define TESSANE_READER_FUZZ_TARGET(Cls)                                     \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { \
    ::tessane::fuzz::LoadAndPaint(::tessane::MakeGraphic<Cls>, data, size); \
    return 0;                                                               \
  }

/// As TESSANE_READER_FUZZ_TARGET, skipping inputs that `DeclaredFn` finds too large.
#define TESSANE_CAPPED_READER_FUZZ_TARGET(Cls, DeclaredFn)                              \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {             \
    ::tessane::fuzz::LoadAndPaint(::tessane::MakeGraphic<Cls>, data, size, DeclaredFn); \
    return 0;                                                                           \
  }

// Fuzz target: a PNG read row by row against the same file decoded whole (CRCs fixed first).
// What the whole decoding refuses the row reader refuses too, and what the row reader reads has
// the whole decoding's pixels. (The row reader may refuse more: zlib is stricter
// than libdeflate, and a resize job then decodes the picture whole.) Scaling from the rows must
// give the pixels of scaling the decoded bitmap.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/errors.h"
#include "base/stream.h"
#include "formats/png/png_graphic.h"
#include "fuzz/png_crc.h"
#include "pixels/argb_image.h"
#include "raster/kernel_resampler.h"

namespace {

[[noreturn]] void Disagree(const char* what) {
  std::fprintf(stderr, "row reader and whole decoding disagree: %s\n", what);
  std::abort();
}

// A bitmap handed out row by row, for the scaling comparison.
class ImageRows : public tessane::RowSource {
 public:
  explicit ImageRows(const tessane::ArgbImage& image) : image_(image) {}
  int32_t Width() const override { return image_.Width(); }
  int32_t Height() const override { return image_.Height(); }
  const tessane::Argb32* NextRow(int32_t y) override { return image_.Row(y); }
  void Finish() override {}

 private:
  const tessane::ArgbImage& image_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tessane;
  const std::vector<uint8_t> png = fuzz::WithPngCrcsFixed(data, size);
  PngGraphic whole;
  std::string whole_error;
  try {
    MemoryStream stream(png);
    whole.LoadFromStream(stream);
  } catch (const Exception& e) {
    whole_error = e.what();
  }

  PngGraphic later;
  later.SetDecodeLater(true);
  std::string rows_error;
  ArgbImage image;
  std::unique_ptr<RowSource> rows;
  try {
    MemoryStream stream(png);
    later.LoadFromStream(stream);
    rows = OpenPngRows(later.Chunks());
    if (!rows) return 0;  // interlaced: always decoded whole
    image.Resize(rows->Width(), rows->Height());
    for (int32_t y = 0; y < rows->Height(); ++y) {
      const Argb32* row = rows->NextRow(y);
      std::copy(row, row + rows->Width(), image.Row(y));
    }
    rows->Finish();
  } catch (const Exception& e) {
    rows_error = e.what();
  }
  if (!whole_error.empty() && rows_error.empty()) Disagree("rows read from a refused file");
  if (!rows_error.empty()) return 0;
  const std::vector<uint32_t>& pixels = whole.Pixels();
  for (int32_t y = 0; y < image.Height(); ++y)
    for (int32_t x = 0; x < image.Width(); ++x)
      if (image.Row(y)[x] != pixels[static_cast<size_t>(y) * image.Width() + x])
        Disagree("pixels");

  // Scaling to a third of each side (at least one pixel) from rows and from the bitmap.
  KernelResampler resampler;
  resampler.SetKernel(std::make_unique<LanczosKernel>());
  ArgbImage from_bitmap, from_rows;
  from_bitmap.Resize(std::max(1, image.Width() / 3), std::max(1, image.Height() / 3));
  from_rows.Resize(from_bitmap.Width(), from_bitmap.Height());
  if (from_bitmap.Width() == image.Width() && from_bitmap.Height() == image.Height()) return 0;
  resampler.Stretch(from_bitmap, from_bitmap.Bounds(), from_bitmap.Bounds(), image, image.Bounds());
  ImageRows image_rows(image);
  if (!resampler.StretchRows(from_rows, image_rows)) return 0;
  for (int32_t y = 0; y < from_rows.Height(); ++y)
    if (!std::equal(from_rows.Row(y), from_rows.Row(y) + from_rows.Width(), from_bitmap.Row(y)))
      Disagree("scaled pixels");
  return 0;
}

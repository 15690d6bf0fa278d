#include "jobs/resize_extras.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "base/cancel.h"
#include "base/errors.h"
#include "base/stream.h"
#include "formats/bmp/dib_image.h"
#include "formats/picture.h"
#include "pixels/argb_image.h"

namespace tessane {

namespace {
// An ICC profile for RGB data: its header's colour space is 'RGB '.
bool DescribesRgb(const std::vector<uint8_t>& icc) {
  return icc.size() >= 128 && std::memcmp(&icc[16], "RGB ", 4) == 0;
}
}  // namespace

SourceFacts ReadSourceFacts(const Graphic& graphic, const ResizeExtras& extras) {
  const PictureFacts& picture = graphic.Facts();
  SourceFacts facts;
  // HEIF, AVIF and JPEG XL come out of their decoders upright already: their EXIF orientation
  // is never applied a second time.
  if (extras.auto_orient && !picture.orientation_applied) facts.orientation = picture.orientation;
  if (!extras.strip) {
    if (extras.keep_metadata) facts.metadata = picture.metadata;
    // The profile goes with the pixels it describes, unless they come out as something else:
    // CMYK and grey pictures are decoded to RGB.
    facts.metadata.icc =
        DescribesRgb(picture.icc) ? picture.metadata.icc : std::vector<std::vector<uint8_t>>{};
  }
  facts.reset_orientation = extras.auto_orient || picture.orientation_applied;
  return facts;
}

void AssignOverBackground(ArgbImage& bitmap, const Picture& picture, uint32_t rgb) {
  Graphic* graphic = picture.graphic();
  const Argb32 background = 0xFF000000u | (rgb & 0x00FFFFFFu);
  const DibImage* kind = graphic != nullptr ? graphic->AsBitmap() : nullptr;
  if (graphic == nullptr || kind == nullptr) {
    if (graphic == nullptr || graphic->Width() <= 0 || graphic->Height() <= 0) {
      PictureToArgb(picture, bitmap);
      return;
    }
    // Drawn graphics leave the destination where they are transparent and blend partly
    // transparent pixels over it.
    // Whole-picture passes: a stop of the work is honoured between them.
    bitmap.Resize(graphic->Width(), graphic->Height());
    ThrowIfCancelled();
    bitmap.Fill(background);
    ThrowIfCancelled();
    graphic->Draw(bitmap.Surface(), Rect{0, 0, picture.Width(), picture.Height()});
    ThrowIfCancelled();
    bitmap.SetAllAlpha(255);
    return;
  }

  PictureToArgb(picture, bitmap);
  if (bitmap.IsEmpty()) return;
  const size_t n = static_cast<size_t>(bitmap.Width()) * bitmap.Height();
  Argb32* p = bitmap.Bits();
  if (kind->PixelFormat() == DibFormat::k32Bit) {
    bool anyAlpha = false;
    for (int32_t y = 0; y < kind->Height() && !anyAlpha; ++y) {
      const uint8_t* row = kind->ScanLine(y);
      for (int32_t x = 0; x < kind->Width(); ++x)
        if (row[4 * x + 3] != 0) {
          anyAlpha = true;
          break;
        }
    }
    if (!anyAlpha) {
      // Only the transparent colour, if any, is see-through.
      const Argb32 key = ToColor32(static_cast<int32_t>(kind->TransparentColor())) & 0x00FFFFFFu;
      for (size_t i = 0; i < n; ++i)
        p[i] = (kind->Transparent() && (p[i] & 0x00FFFFFFu) == key) ? (p[i] & 0x00FFFFFFu)
                                                                    : (p[i] | 0xFF000000u);
    }
  }
  for (size_t i = 0; i < n; ++i) {
    const uint32_t a = p[i] >> 24;
    if (a == 255) continue;
    Argb32 out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
      const uint32_t s = (p[i] >> shift) & 0xFF;
      const uint32_t b = (background >> shift) & 0xFF;
      out |= ((s * a + b * (255 - a) + 127) / 255) << shift;
    }
    p[i] = out;
  }
}

std::vector<uint8_t> AddMetadata(std::vector<uint8_t> encoded, bool jpegOutput,
                                 const SourceMetadata& metadata, bool resetOrientation,
                                 int32_t width, int32_t height) {
  if (metadata.Empty()) return encoded;
  const std::vector<uint8_t> exif =
      metadata.exif.empty() ? std::vector<uint8_t>{}
                            : PrepareExifForOutput(metadata.exif, resetOrientation, width, height);
  return jpegOutput ? SpliceJpegMetadata(std::move(encoded), exif, metadata)
                    : SplicePngMetadata(std::move(encoded), exif, metadata);
}

void CopyModificationTime(const std::string& source, const std::string& dest) {
  struct stat info {};
  if (::stat(source.c_str(), &info) != 0) {
    throw FileSystemError(
        Format("Cannot read the time of \"%s\". %s", source.c_str(), std::strerror(errno)));
  }
  const struct timespec times[2] = {{0, UTIME_OMIT}, info.st_mtim};
  if (::utimensat(AT_FDCWD, dest.c_str(), times, 0) != 0) {
    throw FileSystemError(
        Format("Cannot set the time of \"%s\". %s", dest.c_str(), std::strerror(errno)));
  }
}

}  // namespace tessane

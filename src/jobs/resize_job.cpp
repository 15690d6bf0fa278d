#include "jobs/resize_job.h"

#include <algorithm>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "base/muldiv.h"
#include "base/paths.h"
#include "formats/bmp/bmp_writer.h"
#include "formats/gif/gif_graphic.h"
#include "formats/jpeg2000/jpeg2000_graphic.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/metafile/metafile_writer.h"
#include "formats/picture.h"
#include "formats/png/png_graphic.h"
#include "formats/format_registry.h"
#include "raster/orientation.h"
#include "jobs/unique_file_name.h"
#include "pixels/argb_image.h"
#include "raster/stretch.h"

namespace tessane {

uint8_t StretchFilterForListPosition(uint8_t position) {
  // The list's labels name these resamplers; 255 (no item selected) and anything beyond the
  // list fall back to the kernel resampler's box kernel.
  static constexpr uint8_t kByPosition[] = {0, 1, 2, 3, 4, 4, 5, 6};
  return position < sizeof kByPosition ? kByPosition[position] : 7;
}

ResizeJob::ResizeJob(std::string sourceName, std::string destName, uint8_t sizeMode,
                         uint8_t filter, int32_t size)
    : source_name(std::move(sourceName)),
      dest_name(std::move(destName)),
      size(size),
      size_mode(sizeMode),
      filter(filter) {}

ResizeJob::~ResizeJob() = default;

void ResizeJob::ProcessFile() {
  RegisterStandardFormats();
  const std::string filter = LowerCaseAscii(PictureFilter());
  const std::string ext = LowerCaseAscii(ExtractFileExt(source_name));
  if (!ContainsText(filter, ext)) return;

  picture_ = std::make_unique<Picture>();
  picture_->LoadPicture(source_name);
  facts_ = ReadSourceFacts(source_name, picture_->graphic(), extras);
  int32_t width = picture_->Width();
  int32_t height = picture_->Height();
  if (OrientationSwapsSides(facts_.Orientation)) std::swap(width, height);
  if (size_mode == kSizePercent) size = MulDivWord(size, std::max(width, height), 100);

  if (auto* jpeg = dynamic_cast<JpegGraphic*>(picture_->graphic())) {
    switch (JpegScaleDenominator(width, height, size)) {
      case 8: jpeg->SetScale(JpegScale::jsEighth); break;
      case 4: jpeg->SetScale(JpegScale::jsQuarter); break;
      case 2: jpeg->SetScale(JpegScale::jsHalf); break;
      default: jpeg->SetScale(JpegScale::jsFullSize);
    }
  }
  ScaleAndSave();
}

int JpegScaleDenominator(int32_t width, int32_t height, int32_t size) {
  if (size == 0) throw FloatDivisionByZeroError("Floating point division by zero");
  const double r = std::min(static_cast<double>(width) / size, static_cast<double>(height) / size);
  return r > 8 ? 8 : r > 4 ? 4 : r > 2 ? 2 : 1;
}

Rect TargetRectFor(int32_t width, int32_t height, int32_t size, uint8_t sizeMode) {
  Rect rect;
  switch (sizeMode) {
    case kSizeLargest:
    case kSizePercent:
      if (width > height) {
        rect.Right = size;
        rect.Bottom = MulDivWord(size, height, width);
      } else {
        rect.Bottom = size;
        rect.Right = MulDivWord(size, width, height);
      }
      break;
    case kSizeWidth:
      rect.Right = size;
      rect.Bottom = MulDivWord(size, height, width);
      break;
    case kSizeHeight:
      rect.Bottom = size;
      rect.Right = MulDivWord(size, width, height);
      break;
    default: break;
  }
  if (rect.IsEmpty()) rect = Rect{rect.Left - 1, rect.Top - 1, rect.Right + 1, rect.Bottom + 1};
  return rect;
}

Rect ResizeJob::TargetRect() const {
  int32_t width = picture_->Width();
  int32_t height = picture_->Height();
  // Sizes apply to the picture as it will be turned upright.
  if (OrientationSwapsSides(facts_.Orientation)) std::swap(width, height);
  if (extras.ShrinkOnly && width > 0 && height > 0) {
    const int32_t limited = size_mode == kSizeWidth    ? width
                            : size_mode == kSizeHeight ? height
                                                    : std::max(width, height);
    if (limited <= size) return Rect{0, 0, width, height};
  }
  return TargetRectFor(width, height, size, size_mode);
}

void ResizeJob::ScaleAndSave() {
  const Rect rect = TargetRect();
  try {
    ScalePicture(*picture_, rect.Right, rect.Bottom);
  } catch (const std::exception& e) {
    // A failed scaling step is not the end: the picture is saved as it stands.
    scale_error_ = e.what();
  }
  SavePicture();
}

namespace {
// The decoder's complaint about the data it was given, when it had one.
std::string DamageOf(const Picture& picture) {
  if (const auto* jpeg = dynamic_cast<const JpegGraphic*>(picture.graphic()))
    return jpeg->DecodeWarning();
  return {};
}
}  // namespace

void ResizeJob::ScalePicture(Picture& picture, int32_t targetWidth, int32_t targetHeight) {
  ArgbImage destination;
  ArgbImage source;
  if (extras.Background)
    AssignOverBackground(source, picture, *extras.Background);
  else
    PictureToArgb(picture, source);
  if (std::string damage = DamageOf(picture); !damage.empty()) warnings_.push_back(std::move(damage));
  OrientBitmap(source, facts_.Orientation);
  const int32_t w = source.Width();
  const int32_t h = source.Height();
  Rect sourceRect{0, 0, w, h};
  destination.Resize(targetWidth, targetHeight);
  if (crop && h <= w && 2 * int64_t{w} < 3 * int64_t{h}) {
    const int32_t band = MulDiv(w, 9, 16);
    const int32_t top = (h - band) / 2;
    sourceRect = Rect{0, top, w, top + band};
    destination.Resize(targetWidth, MulDiv(targetWidth, 9, 16));
  }
  const std::unique_ptr<Resampler> resampler = MakeResampler(StretchFilterForListPosition(filter));
  StretchTo(source, destination, destination.Bounds(), sourceRect, *resampler);
  ArgbToPicture(destination, picture);
}

namespace {

enum class Writer { None, Bmp, Jpeg, Png, Gif, Jpeg2000, Metafile };

Writer WriterForExtension(const std::string& ext) {
  if (ext == ".bmp") return Writer::Bmp;
  if (ext == ".jpg") return Writer::Jpeg;
  if (ext == ".png") return Writer::Png;
  if (ext == ".gif") return Writer::Gif;
  if (ext == ".jp2") return Writer::Jpeg2000;
  if (ext.find("mf") != std::string::npos) return Writer::Metafile;
  return Writer::None;
}

void Encode(Writer writer, Picture& picture, const std::string& ext, ByteStream& out) {
  switch (writer) {
    case Writer::Bmp: WriteBmp(picture.EnsureBitmap(), out); break;
    case Writer::Jpeg: {
      JpegGraphic jpeg;
      jpeg.SetQuality(75);
      jpeg.Assign(picture.EnsureBitmap());
      jpeg.SaveToStream(out);
      break;
    }
    case Writer::Png: {
      PngGraphic png;
      png.SetFilters(PngGraphic::kPngFilterSub | PngGraphic::kPngFilterUp);
      png.SetCompressionLevel(8);
      png.Assign(picture.EnsureBitmap());
      png.SaveToStream(out);
      break;
    }
    case Writer::Gif: {
      GifGraphic gif;
      gif.SetColorReduction(8);
      gif.Assign(picture.EnsureBitmap());
      gif.SaveToStream(out);
      break;
    }
    case Writer::Jpeg2000: {
      Jpeg2000Graphic jp2;
      jp2.SetLossless(false);
      jp2.SetQuality(90);
      jp2.Assign(picture.EnsureBitmap());
      jp2.SaveToStream(out);
      break;
    }
    case Writer::Metafile: {
      // The frame takes the picture's size as it stands before its bitmap is requested.
      const int32_t width = picture.Width();
      const int32_t height = picture.Height();
      WriteMetafile(&picture.EnsureBitmap(), width, height, ext == ".emf", out);
      break;
    }
    case Writer::None: break;
  }
}

}  // namespace

void ResizeJob::SavePicture() {
  // The picture goes with this step, whatever happens in it.
  const std::unique_ptr<Picture> picture = std::move(picture_);

  const std::string original = dest_name;
  if (overwrite) {
    if (FileExists(dest_name) && IsReadOnlyFile(dest_name))
      throw FileSystemError(Format("Error: Unable to delete file.[%s]", dest_name.c_str()));
  } else {
    dest_name = UniqueFileName(original);
  }

  const std::string ext = LowerCaseAscii(ExtractFileExt(dest_name));
  const Writer writer = WriterForExtension(ext);
  if (writer == Writer::None) return;
  if (picture->EnsureBitmap().Empty()) {
    // Nothing to write: no zero-length or blank outputs after a failed scaling step.
    throw InvalidImageError(scale_error_.empty() ? Format("Cannot scale \"%s\"", source_name.c_str())
                                               : scale_error_);
  }
  if (!scale_error_.empty()) warnings_.push_back("Not scaled: " + scale_error_);
  if (extras.Strict && !warnings_.empty()) throw InvalidImageError(warnings_.front());

  AtomicFile output(dest_name);
  if (!facts_.Metadata.Empty() && (writer == Writer::Jpeg || writer == Writer::Png)) {
    MemoryStream encoded;
    Encode(writer, *picture, ext, encoded);
    const DibImage& bitmap = picture->EnsureBitmap();
    const std::vector<uint8_t> bytes =
        AddMetadata(encoded.TakeBytes(), writer == Writer::Jpeg, facts_.Metadata,
                    extras.AutoOrient, bitmap.Width(), bitmap.Height());
    output.Stream().WriteBuffer(bytes.data(), bytes.size());
  } else {
    Encode(writer, *picture, ext, output.Stream());
  }
  if (cancel && cancel->load()) throw AbortError("Interrupted");
  if (overwrite)
    output.Commit();
  else
    dest_name = CommitUnique(output, original);
  written_ = true;
  if (extras.KeepDate) CopyModificationTime(source_name, dest_name);
}

}  // namespace tessane

#include "jobs/resize_work.h"

#include <algorithm>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "base/muldiv.h"
#include "base/paths.h"
#include "formats/bmp_writer.h"
#include "formats/gif_image.h"
#include "formats/jpeg2000_bitmap.h"
#include "formats/jpeg_image.h"
#include "formats/metafile_writer.h"
#include "formats/picture.h"
#include "formats/png_image.h"
#include "formats/registry.h"
#include "jobs/orientation.h"
#include "jobs/unique_file_name.h"
#include "raster/bitmap32.h"

namespace tessane {

uint8_t StretchFilterForListPosition(uint8_t position) {
  // The list's labels name these resamplers; 255 (no item selected) and anything beyond the
  // list fall back to the kernel resampler's box kernel.
  static constexpr uint8_t kByPosition[] = {0, 1, 2, 3, 4, 4, 5, 6};
  return position < sizeof kByPosition ? kByPosition[position] : 7;
}

TResizeWork::TResizeWork(std::string sourceName, std::string destName, uint8_t sizeMode,
                         uint8_t filter, int32_t size)
    : FSourceName(std::move(sourceName)),
      FDestName(std::move(destName)),
      FSize(size),
      FSizeMode(sizeMode),
      FFilter(filter) {}

TResizeWork::~TResizeWork() = default;

void TResizeWork::ProcessFile() {
  RegisterStandardFormats();
  const std::string filter = LowerCaseAscii(PictureFilter());
  const std::string ext = LowerCaseAscii(ExtractFileExt(FSourceName));
  if (!ContainsText(filter, ext)) return;

  FPicture = std::make_unique<TPicture>();
  FPicture->LoadPicture(FSourceName);
  facts_ = ReadSourceFacts(FSourceName, FPicture->Graphic(), FExtras);
  int32_t width = FPicture->Width();
  int32_t height = FPicture->Height();
  if (OrientationSwapsSides(facts_.Orientation)) std::swap(width, height);
  if (FSizeMode == smPercent) FSize = MulDivWord(FSize, std::max(width, height), 100);

  if (auto* jpeg = dynamic_cast<TJPEGImage*>(FPicture->Graphic())) {
    switch (JpegScaleDenominator(width, height, FSize)) {
      case 8: jpeg->SetScale(TJPEGScale::jsEighth); break;
      case 4: jpeg->SetScale(TJPEGScale::jsQuarter); break;
      case 2: jpeg->SetScale(TJPEGScale::jsHalf); break;
      default: jpeg->SetScale(TJPEGScale::jsFullSize);
    }
  }
  ScaleAndSave();
}

int JpegScaleDenominator(int32_t width, int32_t height, int32_t size) {
  if (size == 0) throw EZeroDivide("Floating point division by zero");
  const double r = std::min(static_cast<double>(width) / size, static_cast<double>(height) / size);
  return r > 8 ? 8 : r > 4 ? 4 : r > 2 ? 2 : 1;
}

TRect TargetRectFor(int32_t width, int32_t height, int32_t size, uint8_t sizeMode) {
  TRect rect;
  switch (sizeMode) {
    case smLargest:
    case smPercent:
      if (width > height) {
        rect.Right = size;
        rect.Bottom = MulDivWord(size, height, width);
      } else {
        rect.Bottom = size;
        rect.Right = MulDivWord(size, width, height);
      }
      break;
    case smWidth:
      rect.Right = size;
      rect.Bottom = MulDivWord(size, height, width);
      break;
    case smHeight:
      rect.Bottom = size;
      rect.Right = MulDivWord(size, width, height);
      break;
    default: break;
  }
  if (rect.IsEmpty()) rect = TRect{rect.Left - 1, rect.Top - 1, rect.Right + 1, rect.Bottom + 1};
  return rect;
}

TRect TResizeWork::TargetRect() const {
  int32_t width = FPicture->Width();
  int32_t height = FPicture->Height();
  // Sizes apply to the picture as it will be turned upright.
  if (OrientationSwapsSides(facts_.Orientation)) std::swap(width, height);
  if (FExtras.ShrinkOnly && width > 0 && height > 0) {
    const int32_t limited = FSizeMode == smWidth    ? width
                            : FSizeMode == smHeight ? height
                                                    : std::max(width, height);
    if (limited <= FSize) return TRect{0, 0, width, height};
  }
  return TargetRectFor(width, height, FSize, FSizeMode);
}

void TResizeWork::ScaleAndSave() {
  const TRect rect = TargetRect();
  try {
    ScalePicture(*FPicture, rect.Right, rect.Bottom);
  } catch (const std::exception& e) {
    // A failed scaling step is not the end: the picture is saved as it stands.
    scale_error_ = e.what();
  }
  SavePicture();
}

namespace {
// The decoder's complaint about the data it was given, when it had one.
std::string DamageOf(const TPicture& picture) {
  if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(picture.Graphic()))
    return jpeg->DecodeWarning();
  return {};
}
}  // namespace

void TResizeWork::ScalePicture(TPicture& picture, int32_t targetWidth, int32_t targetHeight) {
  TBitmap32 destination;
  TBitmap32 source;
  if (FExtras.Background)
    AssignOverBackground(source, picture, *FExtras.Background);
  else
    source.Assign(picture);
  if (std::string damage = DamageOf(picture); !damage.empty()) warnings_.push_back(std::move(damage));
  OrientBitmap(source, facts_.Orientation);
  const int32_t w = source.Width();
  const int32_t h = source.Height();
  TRect sourceRect{0, 0, w, h};
  destination.Resize(targetWidth, targetHeight);
  if (FCrop && h <= w && 2 * int64_t{w} < 3 * int64_t{h}) {
    const int32_t band = MulDiv(w, 9, 16);
    const int32_t top = (h - band) / 2;
    sourceRect = TRect{0, top, w, top + band};
    destination.Resize(targetWidth, MulDiv(targetWidth, 9, 16));
  }
  if (FFilter != 0) source.SetStretchFilter(StretchFilterForListPosition(FFilter));
  source.StretchTo(destination, destination.Bounds(), sourceRect);
  destination.AssignTo(picture);
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

void Encode(Writer writer, TPicture& picture, const std::string& ext, TStream& out) {
  switch (writer) {
    case Writer::Bmp: WriteBmp(picture.PictureBitmap(), out); break;
    case Writer::Jpeg: {
      TJPEGImage jpeg;
      jpeg.SetQuality(75);
      jpeg.Assign(picture.PictureBitmap());
      jpeg.SaveToStream(out);
      break;
    }
    case Writer::Png: {
      TPNGObject png;
      png.SetFilters(TPNGObject::pfSub | TPNGObject::pfUp);
      png.SetCompressionLevel(8);
      png.Assign(picture.PictureBitmap());
      png.SaveToStream(out);
      break;
    }
    case Writer::Gif: {
      TGIFImage gif;
      gif.SetColorReduction(8);
      gif.Assign(picture.PictureBitmap());
      gif.SaveToStream(out);
      break;
    }
    case Writer::Jpeg2000: {
      TJpeg2000Bitmap jp2;
      jp2.SetLossless(false);
      jp2.SetQuality(90);
      jp2.Assign(picture.PictureBitmap());
      jp2.SaveToStream(out);
      break;
    }
    case Writer::Metafile: {
      // The frame takes the picture's size as it stands before its bitmap is requested.
      const int32_t width = picture.Width();
      const int32_t height = picture.Height();
      WriteMetafile(&picture.PictureBitmap(), width, height, ext == ".emf", out);
      break;
    }
    case Writer::None: break;
  }
}

}  // namespace

void TResizeWork::SavePicture() {
  // The picture goes with this step, whatever happens in it.
  const std::unique_ptr<TPicture> picture = std::move(FPicture);

  const std::string original = FDestName;
  if (FOverwrite) {
    if (FileExists(FDestName) && IsReadOnlyFile(FDestName))
      throw EInOutError(Format("Error: Unable to delete file.[%s]", FDestName.c_str()));
  } else {
    FDestName = UniqueFileName(original);
  }

  const std::string ext = LowerCaseAscii(ExtractFileExt(FDestName));
  const Writer writer = WriterForExtension(ext);
  if (writer == Writer::None) return;
  if (picture->PictureBitmap().Empty()) {
    // Nothing to write: no zero-length or blank outputs after a failed scaling step.
    throw EInvalidGraphic(scale_error_.empty() ? Format("Cannot scale \"%s\"", FSourceName.c_str())
                                               : scale_error_);
  }
  if (!scale_error_.empty()) warnings_.push_back("Not scaled: " + scale_error_);
  if (FExtras.Strict && !warnings_.empty()) throw EInvalidGraphic(warnings_.front());

  TAtomicFile output(FDestName);
  if (!facts_.Metadata.Empty() && (writer == Writer::Jpeg || writer == Writer::Png)) {
    TMemoryStream encoded;
    Encode(writer, *picture, ext, encoded);
    const TBitmap& bitmap = picture->PictureBitmap();
    const std::vector<uint8_t> bytes =
        AddMetadata(encoded.TakeBytes(), writer == Writer::Jpeg, facts_.Metadata,
                    FExtras.AutoOrient, bitmap.Width(), bitmap.Height());
    output.Stream().WriteBuffer(bytes.data(), bytes.size());
  } else {
    Encode(writer, *picture, ext, output.Stream());
  }
  if (FCancel && FCancel->load()) throw EAbort("Interrupted");
  if (FOverwrite)
    output.Commit();
  else
    FDestName = CommitUnique(output, original);
  written_ = true;
  if (FExtras.KeepDate) CopyModificationTime(FSourceName, FDestName);
}

}  // namespace tessane

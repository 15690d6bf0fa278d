#include "jobs/resize_job.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "base/atomic_file.h"
#include "base/cancel.h"
#include "base/errors.h"
#include "base/muldiv.h"
#include "base/paths.h"
#include "formats/bmp/dib_image.h"
#include "formats/picture.h"
#include "formats/format_registry.h"
#include "formats/picture_need.h"
#include "jobs/alpha_output.h"
#include "jobs/encoder_metadata.h"
#include "jobs/run_files.h"
#include "raster/orientation.h"
#include "jobs/srgb_conversion.h"
#include "jobs/shared_source.h"
#include "jobs/unique_file_name.h"
#include "pixels/argb_image.h"
#include "raster/filters.h"
#include "raster/stretch.h"

namespace tessane {

ResizeJob::ResizeJob(ResizeRequest request) : ResizeRequest(std::move(request)) {}

ResizeJob::~ResizeJob() = default;

void ResizeJob::ProcessFile() {
  // Reading, decoding and scaling poll the flag too, so a stop need not wait for them.
  const CancelScope stoppable(cancel);
  RegisterStandardFormats();
  const std::string filter = LowerCaseAscii(PictureFilter());
  const std::string ext = LowerCaseAscii(ExtractFileExt(source_name));
  if (!ContainsText(filter, ext)) return;
  // An empty file loads as an empty picture, which no size can be computed from: said plainly
  // rather than as the division that fails on it.
  if (!shared_source || !shared_source->picture) {
    struct stat st;
    if (::stat(source_name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0)
      throw InvalidImageError("Empty file");
  }

  ReserveMemory();
  if (shared_source) {
    if (!shared_source->picture) {
      auto picture = std::make_unique<Picture>();
      picture->LoadPicture(source_name);
      shared_source->facts = ReadSourceFacts(*picture->graphic(), extras);
      shared_source->width = picture->Width();
      shared_source->height = picture->Height();
      shared_source->picture = std::move(picture);
    }
    loaded_ = shared_source->picture.get();
    facts_ = shared_source->facts;
    // An earlier size may have left its decoding scale; this one starts from the full size.
    loaded_->graphic()->SetScaleDenominator(1);
  } else {
    picture_ = std::make_unique<Picture>();
    picture_->LoadPicture(source_name, /*decodeLater=*/true);
    facts_ = ReadSourceFacts(*picture_->graphic(), extras);
    loaded_ = picture_.get();
  }
  ReserveAfterLoading();
  Graphic& graphic = *loaded_->graphic();
  source_facts_ = graphic.Facts();
  int32_t width = shared_source ? shared_source->width : loaded_->Width();
  int32_t height = shared_source ? shared_source->height : loaded_->Height();
  if (OrientationSwapsSides(facts_.orientation)) std::swap(width, height);
  if (size_mode == kSizePercent) size = MulDivWord(size, std::max(width, height), 100);

  if (const std::vector<int>& scales = graphic.Facts().scales; scales.size() > 1) {
    const int wanted = extras.box ? BoxJpegScaleDenominator(width, height, *extras.box)
                                  : JpegScaleDenominator(width, height, size);
    // The coarsest scale the reader offers that still leaves enough pixels.
    scale_ = 1;
    for (const int offered : scales)
      if (offered <= wanted) scale_ = std::max(scale_, offered);
    graphic.SetScaleDenominator(scale_);
  }
  loaded_width_ = loaded_->Width();
  loaded_height_ = loaded_->Height();
  if (shared_source) {
    if (const auto it = shared_source->by_scale.find(scale_); it != shared_source->by_scale.end()) {
      loaded_width_ = it->second.width;
      loaded_height_ = it->second.height;
    }
  }
  if (extras.convert_to_srgb) {
    colour_ = SrgbConversion::ForSource(graphic, warnings_);
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
        rect.right = size;
        rect.bottom = MulDivWord(size, height, width);
      } else {
        rect.bottom = size;
        rect.right = MulDivWord(size, width, height);
      }
      break;
    case kSizeWidth:
      rect.right = size;
      rect.bottom = MulDivWord(size, height, width);
      break;
    case kSizeHeight:
      rect.bottom = size;
      rect.right = MulDivWord(size, width, height);
      break;
    default: break;
  }
  if (rect.IsEmpty()) rect = Rect{rect.left - 1, rect.top - 1, rect.right + 1, rect.bottom + 1};
  return rect;
}

Rect ResizeJob::TargetRect() const {
  int32_t width = loaded_width_;
  int32_t height = loaded_height_;
  // Sizes apply to the picture as it will be turned upright.
  if (OrientationSwapsSides(facts_.orientation)) std::swap(width, height);
  return TargetRectOf(width, height, size);
}

Rect ResizeJob::TargetRectOf(int32_t width, int32_t height, int32_t sizeValue) const {
  if (extras.box) return BoxTargetRect(width, height, *extras.box, extras.shrink_only);
  if (extras.shrink_only && width > 0 && height > 0) {
    const int32_t limited = size_mode == kSizeWidth    ? width
                            : size_mode == kSizeHeight ? height
                                                    : std::max(width, height);
    if (limited <= sizeValue) return Rect{0, 0, width, height};
  }
  return TargetRectFor(width, height, sizeValue, size_mode);
}

namespace {

// Bytes per output pixel an encoder holds beside the bitmap it is given (its converted
// planes, its working buffers and the encoded file), by output extension.
// libaom's frame buffers and lookahead take about a hundred bytes a pixel (measured).
double EncoderBytesPerPixel(const std::string& ext, bool lossless) {
  if (ext == ".jpg" || ext == ".jpeg") return 2;
  if (ext == ".webp") return lossless ? 32 : 14;
  if (ext == ".avif") return 128;
  if (ext == ".gif") return 4;
  return 6;
}

int64_t Area(int64_t width, int64_t height) {
  return std::max<int64_t>(width, 1) * std::max<int64_t>(height, 1);
}

}  // namespace

// Whether the work may go the rows way (ScaleFromRows) as far as it is known before loading;
// the picture's own orientation is known only after.
bool ResizeJob::MayScaleFromRows() const {
  // A picture its orientation turns after all goes to the whole decoding, which reserves its
  // own share first (ScaleAndSave).
  return !shared_source && !extras.background && !extras.box && !crop && !extras.convert_to_srgb &&
         !KeepsAlpha();
}

// Every copy the work holds at its peak: the decoder's (the file's bytes, the library's
// buffers, the graphic's pixels), the 32-bit picture (unless the graphic hands its own pixels
// over), the resampler's intermediate of the
// target's width by the source's height, the scaled picture and the bitmap made of it, and the
// encoder's buffers. The sides are tried both ways, as the picture's orientation may turn them.
int64_t ResizeJob::PeakNeed(const DecodeNeed& need, bool rows) const {
  const std::string ext = LowerCaseAscii(ExtractFileExt(dest_name));
  int64_t peak = 0;
  for (const bool turned : {false, true}) {
    const int32_t width = static_cast<int32_t>(turned ? need.height : need.width);
    const int32_t height = static_cast<int32_t>(turned ? need.width : need.height);
    int32_t sizeValue = size;
    Rect target{0, 0, width, height};
    int scale = 1;
    try {
      if (size_mode == kSizePercent) sizeValue = MulDivWord(size, std::max(width, height), 100);
      target = TargetRectOf(width, height, sizeValue);
      if (need.dct_scaled)
        scale = extras.box ? BoxJpegScaleDenominator(width, height, *extras.box)
                           : JpegScaleDenominator(width, height, sizeValue);
    } catch (const std::exception&) {
      // The work fails on these as well; the estimate takes the picture's own size.
    }
    const int64_t target_width = std::abs(target.Width()),
                  target_height = std::abs(target.Height());
    const int64_t scaled_width = (width + scale - 1) / scale;
    const int64_t scaled_height = (height + scale - 1) / scale;
    const int64_t output = Area(target_width, target_height);
    const int64_t encoder = static_cast<int64_t>(EncoderBytesPerPixel(ext, extras.lossless) *
                                                 static_cast<double>(output));
    const int64_t tail = 2 * 4 * output + encoder;
    const int64_t picture = need.hands_over_pixels ? 0 : 4 * Area(scaled_width, scaled_height);
    int64_t whole = need.WholeAt(scale) + picture + 4 * Area(target_width, scaled_height) + tail;
    // Laid over a colour or kept with alpha, the picture passes through one more 32-bit copy.
    if (extras.background || KeepsAlpha() || extras.convert_to_srgb)
      whole += 4 * Area(scaled_width, scaled_height);
    // Several sizes of one source keep its picture and its bitmaps between them.
    if (shared_source) whole += 2 * Area(scaled_width, scaled_height);
    int64_t chosen = whole;
    if (rows) {
      // The resampler's band: the source rows one destination row draws on (32-bit), and as
      // many rows scaled across (summed in up to 16 bytes a pixel); the widest kernel reaches
      // four rows of the scale's ratio to each side.
      const int64_t band_rows = 8 * (height / std::max<int64_t>(target_height, 1) + 2);
      chosen = need.rows + band_rows * (4 * Area(width, 1) + 16 * Area(target_width, 1)) + tail;
    }
    peak = std::max(peak, chosen);
  }
  return peak;
}

void ResizeJob::ReserveMemory() {
  if (budget == nullptr) return;
  // A picture an earlier size loaded is weighed by what it holds (ReserveAfterLoading).
  if (shared_source && shared_source->picture) return;
  std::optional<DecodeNeed> need = ProbeDecodeNeed(source_name, file_size_);
  if (!need) {
    // No header this reader's probe knows: the file's bytes are all that is known before
    // loading, and a file the budget cannot hold is not read at all.
    if (file_size_ > budget->Bytes()) {
      throw OutOfResourcesError(
          Format("A file of %s needs more memory than the memory budget of %s",
                 FormatMemorySize(file_size_).c_str(), FormatMemorySize(budget->Bytes()).c_str()));
    }
    // The picture is loaded alone, then weighed (ReserveAfterLoading).
    reservation_ = budget->Reserve(budget->Bytes(), cancel);
    return;
  }
  probed_ = true;
  const int64_t whole = PeakNeed(*need, false);
  const bool rows = need->rows > 0 && MayScaleFromRows();
  const int64_t chosen = rows ? std::min(whole, PeakNeed(*need, true)) : whole;
  if (!budget->Fits(chosen))
    throw OutOfResourcesError(
        OverBudgetMessage(need->width, need->height, chosen, budget->Bytes()));
  whole_need_ = whole;
  reservation_ = budget->Reserve(chosen, cancel);
  reserved_most_ = std::max(reserved_most_, reservation_.Bytes());
}

void ResizeJob::ReserveAfterLoading() {
  if (budget == nullptr || probed_) return;
  DecodeNeed need;
  // A shared picture may have handed its pixels to an earlier size: its sides are kept apart.
  need.width = shared_source ? shared_source->width : loaded_->Width();
  need.height = shared_source ? shared_source->height : loaded_->Height();
  need.fixed = 2 * file_size_;
  need.per_pixel = 8;
  const int64_t peak = PeakNeed(need, false);
  if (!budget->Fits(peak))
    throw OutOfResourcesError(OverBudgetMessage(need.width, need.height, peak, budget->Bytes()));
  if (reservation_.Bytes() > 0)
    reservation_.ShrinkTo(peak);
  else
    reservation_ = budget->Reserve(peak, cancel);
  whole_need_ = peak;
  reserved_most_ = std::max(reserved_most_, reservation_.Bytes());
}

void ResizeJob::ScaleAndSave() {
  const Rect rect = TargetRect();
  if (!ScaleFromRows(rect.right, rect.bottom)) {
    // The whole decoding takes more than the rows did: its share is reserved first.
    if (budget != nullptr && reservation_.Bytes() < whole_need_) {
      if (!budget->Fits(whole_need_))
        throw OutOfResourcesError(
            OverBudgetMessage(loaded_->Width(), loaded_->Height(), whole_need_, budget->Bytes()));
      reservation_ = MemoryBudget::Reservation();
      reservation_ = budget->Reserve(whole_need_, cancel);
      reserved_most_ = std::max(reserved_most_, reservation_.Bytes());
    }
    // What loading left undecoded is decoded before the scaling step, so that a damaged file
    // fails as it does on loading instead of being saved as it stands.
    if (Graphic* graphic = loaded_->graphic()) graphic->DecodeNow();
    // A shared picture stays as it is for the other sizes; this size's pixels go into a new one.
    if (shared_source) picture_ = std::make_unique<Picture>();
    try {
      ScalePicture(*picture_, rect.right, rect.bottom);
    } catch (const AbortError&) {
      throw;
    } catch (const std::exception& e) {
      // A failed scaling step is not the end: the picture is saved as it stands.
      scale_error_ = e.what();
    }
  }
  SavePicture();
}

// A large picture that needs nothing but scaling goes from the decoder's rows straight into the
// resampler, which keeps only the band of rows a destination row needs: the bitmap is never
// held whole. The pixels are those ScalePicture gives. Damaged data are left to the decoding of
// the whole picture, whose messages (and whose reading of what it accepts) stay the ones loading
// has always given.
bool ResizeJob::ScaleFromRows(int32_t targetWidth, int32_t targetHeight) {
  Graphic* graphic = picture_ ? picture_->graphic() : nullptr;
  const bool onlyScaling = !shared_source && graphic != nullptr && !extras.background &&
                           !extras.box && !crop && !colour_ && !KeepsAlpha() &&
                           facts_.orientation < 2 && targetWidth > 0 && targetHeight > 0 &&
                           (targetWidth != graphic->Width() || targetHeight != graphic->Height());
  if (!onlyScaling) return false;
  const std::unique_ptr<RowSource> rows = graphic->OpenRows();
  if (!rows) return false;
  ArgbImage destination;
  destination.Resize(targetWidth, targetHeight);
  try {
    if (!MakeResampler(filter)->StretchRows(destination, *rows)) return false;
    rows->Finish();
  } catch (const InvalidImageError&) {
    return false;
  }
  ArgbToPicture(destination, *picture_);
  return true;
}

namespace {
// The decoder's complaint about the data it was given, when it had one.
std::string DamageOf(const Picture& picture) {
  return picture.graphic() ? picture.graphic()->Facts().decode_warning : std::string{};
}
}  // namespace

// WebP and AVIF outputs take the alpha channel along; the others are laid over a colour.
bool ResizeJob::KeepsAlpha() const {
  return !extras.background && OutputKeepsAlpha(dest_name);
}

std::string ResizeJob::PrepareSource(ArgbImage& source, const Picture& picture) {
  // Each step below is a pass over the whole picture: a stop is honoured between them.
  ThrowIfCancelled();
  if (extras.background) {
    // Laid under the picture in its own colours, so that the conversion gives the colour asked.
    const uint32_t background =
        colour_ ? colour_->SourceColourFor(*extras.background) : *extras.background;
    AssignOverBackground(source, picture, background);
  } else if (!(KeepsAlpha() && AssignKeepingAlpha(source, picture))) {
    PictureToArgb(picture, source);
  }
  std::string damage = DamageOf(picture);
  ThrowIfCancelled();
  // The output holds sRGB pixels then: the source's profile would misdescribe them.
  if (colour_ && colour_->Apply(source, warnings_)) facts_.metadata.icc.clear();
  ThrowIfCancelled();
  OrientBitmap(source, facts_.orientation);
  return damage;
}

void ResizeJob::ScalePicture(Picture& picture, int32_t targetWidth, int32_t targetHeight) {
  ArgbImage destination;
  ArgbImage own;
  ArgbImage* shared = nullptr;
  std::string damage;
  if (shared_source) {
    const auto [it, fresh] = shared_source->by_scale.try_emplace(scale_);
    if (fresh) {
      it->second.width = loaded_width_;
      it->second.height = loaded_height_;
      try {
        it->second.damage = PrepareSource(it->second.bitmap, *loaded_);
        it->second.to_srgb = facts_.metadata.icc.empty() && !shared_source->facts.metadata.icc.empty();
      } catch (...) {
        shared_source->by_scale.erase(it);
        throw;
      }
    }
    shared = &it->second.bitmap;
    if (it->second.to_srgb) facts_.metadata.icc.clear();
    damage = it->second.damage;
  } else {
    damage = PrepareSource(own, picture);
  }
  ArgbImage& source = shared ? *shared : own;
  if (!damage.empty()) warnings_.push_back(std::move(damage));
  const int32_t w = source.Width();
  const int32_t h = source.Height();
  Rect sourceRect{0, 0, w, h};
  destination.Resize(targetWidth, targetHeight);
  if (extras.box) {
    sourceRect = BoxSourceRect(w, h, *extras.box, extras.shrink_only);
  } else if (crop && h <= w && 2 * int64_t{w} < 3 * int64_t{h}) {
    const int32_t band = MulDiv(w, 9, 16);
    const int32_t top = (h - band) / 2;
    sourceRect = Rect{0, top, w, top + band};
    destination.Resize(targetWidth, MulDiv(targetWidth, 9, 16));
  }
  const std::unique_ptr<Resampler> resampler = MakeResampler(filter);
  // A copy at the same size keeps every pixel exactly, as it would without alpha.
  const bool sameSize = destination.Width() == sourceRect.Width() &&
                        destination.Height() == sourceRect.Height();
  const bool premultiplied = KeepsAlpha() && !sameSize && PremultiplyAlpha(source);
  StretchTo(source, destination, destination.Bounds(), sourceRect, *resampler);
  if (premultiplied) UnpremultiplyAlpha(destination);
  ArgbToPicture(destination, picture);
}

void ResizeJob::SavePicture() {
  // The picture goes with this step, whatever happens in it.
  const std::unique_ptr<Picture> picture = std::move(picture_);
  if (name_for_size) dest_name = name_for_size(picture->Width(), picture->Height());

  const std::string original = dest_name;
  if (overwrite) {
    if (run_files) run_files->CheckOutput(dest_name, source_name);
    if (FileExists(dest_name) && IsReadOnlyFile(dest_name))
      throw FileSystemError(Format("Error: Unable to delete file.[%s]", dest_name.c_str()));
  } else {
    dest_name = UniqueFileName(original, run_files.get());
  }

  const WriterFormat* writer = FindWriter(LowerCaseAscii(ExtractFileExt(dest_name)));
  if (writer == nullptr) return;
  const DibImage& bitmap = picture->EnsureBitmap();
  if (bitmap.Empty()) {
    // Nothing to write: no zero-length or blank outputs after a failed scaling step.
    throw InvalidImageError(scale_error_.empty() ? Format("Cannot scale \"%s\"", source_name.c_str())
                                               : scale_error_);
  }
  if (!scale_error_.empty()) warnings_.push_back("Not scaled: " + scale_error_);
  if (extras.strict && !warnings_.empty()) throw InvalidImageError(warnings_.front());

  if (run_files) run_files->TidyFolder(ExtractFilePath(dest_name));
  AtomicFile output(dest_name);
  EncodeSettings settings;
  settings.quality = extras.quality;
  settings.lossless = extras.lossless;
  if (!facts_.metadata.Empty() && writer->metadata == MetadataCarrier::kEncoder) {
    OutputMetadata metadata = MetadataForEncoder(facts_.metadata, facts_.reset_orientation,
                                                 bitmap.Width(), bitmap.Height());
    settings.exif = std::move(metadata.exif);
    settings.icc = std::move(metadata.icc);
    settings.xmp = std::move(metadata.xmp);
  }
  if (!facts_.metadata.Empty() && (writer->metadata == MetadataCarrier::kJpegSegments ||
                                   writer->metadata == MetadataCarrier::kPngChunks)) {
    MemoryStream encoded;
    writer->encode(bitmap, settings, encoded);
    const std::vector<uint8_t> bytes =
        AddMetadata(encoded.TakeBytes(), writer->metadata == MetadataCarrier::kJpegSegments,
                    facts_.metadata, facts_.reset_orientation, bitmap.Width(), bitmap.Height());
    output.Stream().WriteBuffer(bytes.data(), bytes.size());
  } else {
    writer->encode(bitmap, settings, output.Stream());
  }
  if (cancel && cancel->load()) throw AbortError("Interrupted");
  if (overwrite) {
    // Checked again: the name may have been given to a file of the batch meanwhile.
    const bool replacesSource = run_files && run_files->CheckOutput(dest_name, source_name);
    output.Commit();
    if (replacesSource) run_files->AddSource(dest_name);
  } else {
    dest_name = CommitUnique(output, original, run_files.get());
  }
  written_ = true;
  // The picture's memory is given back once the output is in place.
  reservation_ = MemoryBudget::Reservation();
  if (extras.keep_date) CopyModificationTime(source_name, dest_name);
}

}  // namespace tessane

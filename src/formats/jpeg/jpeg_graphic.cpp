#include "formats/jpeg/jpeg_graphic.h"

#include <cstring>
#include <new>

#include "base/cancel.h"
#include "base/errors.h"
#include "base/stream.h"
#include "formats/jpeg/jpeg_codec.h"
#include "formats/jpeg/jpeg_writer.h"
#include "formats/metadata/exif_date.h"
#include "pixels/argb_image.h"

namespace tessane {

namespace {

// The library's message number, and its own words for it when there are any.
[[noreturn]] void Fail(int code, const jpeg::Diagnostics& diagnostics) {
  ThrowIfCancelled();  // the decoder was stopped, not given a damaged file
  if (diagnostics.error[0] == 0) throw InvalidImageError(Format("JPEG error #%d", code));
  throw InvalidImageError(Format("JPEG error #%d: %s", code, diagnostics.error));
}

int Denominator(JpegScale scale) {
  switch (scale) {
    case JpegScale::kFullSize:
      return 1;
    case JpegScale::kHalf:
      return 2;
    case JpegScale::kQuarter:
      return 4;
    case JpegScale::kEighth:
      return 8;
  }
  return 1;
}

int32_t Scaled(int32_t side, JpegScale scale) {
  const int32_t n = Denominator(scale);
  return (side + n - 1) / n;
}

// The decoder's callbacks: they run inside libjpeg and must not throw.
bool BeginDecoded(void* context, int width, int height) noexcept {
  auto* bitmap = static_cast<DibImage*>(context);
  try {
    bitmap->SetPixelFormat(DibFormat::k24Bit);
    bitmap->SetSize(width, height);
    return true;
  } catch (...) {
    return false;
  }
}

void DecodedRow(void* context, int y, const uint8_t* rgb) noexcept {
  auto* bitmap = static_cast<DibImage*>(context);
  uint8_t* row = bitmap->ScanLine(y);
  for (int32_t x = 0; x < bitmap->Width(); ++x) {
    row[3 * x] = rgb[3 * x + 2];
    row[3 * x + 1] = rgb[3 * x + 1];
    row[3 * x + 2] = rgb[3 * x];
  }
}

// The colour transform of an Adobe APP14 segment before the picture data (2: YCCK); -1 without
// one.
int AdobeTransform(const std::vector<uint8_t>& data) {
  size_t at = 2;
  while (at + 4 <= data.size() && data[at] == 0xFF) {
    const uint8_t marker = data[at + 1];
    if (marker == 0xDA || marker == 0xD9) break;
    const size_t length = size_t{data[at + 2]} << 8 | data[at + 3];
    if (length < 2 || at + 2 + length > data.size()) break;
    if (marker == 0xEE && length >= 14 && std::memcmp(&data[at + 4], "Adobe", 5) == 0)
      return data[at + 4 + 11];
    at += 2 + length;
  }
  return -1;
}

}  // namespace

JpegGraphic::JpegGraphic() = default;
JpegGraphic::~JpegGraphic() = default;

void JpegGraphic::LoadFromStream(ByteStream& stream) {
  std::vector<uint8_t> bytes = stream.ReadAll();
  jpeg::HeaderInfo info;
  jpeg::Diagnostics diagnostics;
  if (!bytes.empty()) {
    if (const int code = jpeg::ReadHeader(bytes.data(), bytes.size(), &info, &diagnostics))
      Fail(code, diagnostics);
  }
  data_ = std::move(bytes);
  stored_width_ = info.width;
  stored_height_ = info.height;
  grayscale_ = info.grayscale;
  progressive_ = info.progressive;
  decoded_.reset();
  assigned_.reset();
  ReadFacts(info.components);
}

// Everything but the decode warning comes from the header segments, read from the kept bytes.
void JpegGraphic::ReadFacts(int components) {
  facts_ = PictureFacts{};
  ReadOnlyMemoryStream stream(data_.data(), data_.size());
  facts_.metadata = ReadJpegMetadata(stream);
  facts_.orientation = ExifOrientation(facts_.metadata.exif);
  facts_.capture_date = ExifDateTimeOriginal(facts_.metadata.exif);
  facts_.icc = AssembleIccProfile(facts_.metadata.icc);
  if (components == 4)
    facts_.colour_model = AdobeTransform(data_) == 2 ? ColourModel::kYcck : ColourModel::kCmyk;
  if (!data_.empty()) facts_.scales = {1, 2, 4, 8};
}

void JpegGraphic::SetScaleDenominator(int denominator) {
  SetScale(denominator >= 8   ? JpegScale::kEighth
           : denominator >= 4 ? JpegScale::kQuarter
           : denominator >= 2 ? JpegScale::kHalf
                              : JpegScale::kFullSize);
}

int JpegGraphic::DecodeInks(const InkRows& rows) const {
  if (facts_.colour_model == ColourModel::kRgb || data_.empty() || assigned_) return -1;
  jpeg::DecodeSink sink;
  sink.context = rows.context;
  sink.begin = rows.begin;
  sink.row = [](void*, int, const uint8_t*) noexcept {};
  sink.cmyk_row = rows.row;
  return jpeg::Decode(data_.data(), data_.size(), Denominator(scale_), sink);
}

int32_t JpegGraphic::Width() const {
  if (assigned_) return assigned_->Width();
  return Scaled(stored_width_, scale_);
}

int32_t JpegGraphic::Height() const {
  if (assigned_) return assigned_->Height();
  return Scaled(stored_height_, scale_);
}

void JpegGraphic::SetScale(JpegScale scale) {
  if (scale == scale_) return;
  scale_ = scale;
  decoded_.reset();
}

void JpegGraphic::Decode() {
  auto bitmap = std::make_unique<DibImage>();
  jpeg::DecodeSink sink;
  sink.context = bitmap.get();
  sink.begin = BeginDecoded;
  sink.row = DecodedRow;
  jpeg::Diagnostics diagnostics;
  if (const int code =
          jpeg::Decode(data_.data(), data_.size(), Denominator(scale_), sink, &diagnostics))
    Fail(code, diagnostics);
  decoded_ = std::move(bitmap);
  facts_.decode_warning = diagnostics.warning;
}

void JpegGraphic::ConvertTo(ArgbImage& image) {
  if (!DecodeStraightInto(image)) DrawToArgb(image);
}

bool JpegGraphic::DecodeStraightInto(ArgbImage& image) {
  const int32_t w = Width(), h = Height();
  if (w <= 0 || h <= 0 || (w == image.Width() && h == image.Height())) return false;
  // Every pixel is about to be written, so the buffer need not be cleared first; it is cleared
  // whenever the decoder does not fill it, as drawing would have found it.
  image.ResizeForOverwrite(w, h);
  if (image.IsEmpty()) return false;
  const size_t bytes = static_cast<size_t>(w) * h * sizeof(Argb32);
  bool decoded = false;
  try {
    decoded = DecodeInto(image.Surface());
  } catch (const AbortError&) {
    throw;  // the work is dropped with its pixels: no need to touch a large buffer again
  } catch (...) {
    std::memset(image.Bits(), 0, bytes);
    throw;
  }
  if (!decoded) std::memset(image.Bits(), 0, bytes);
  return decoded;
}

bool JpegGraphic::DecodeInto(const ArgbView& target) {
  if (assigned_ || decoded_ || data_.empty() || target.IsEmpty() || target.width != Width() ||
      target.height != Height() || target.stride < target.width)
    return false;
  struct Target {
    const ArgbView* surface;
    static uint8_t* Begin(void* context, int width, int height, ptrdiff_t* stride) noexcept {
      const ArgbView& s = *static_cast<Target*>(context)->surface;
      if (width != s.width || height != s.height) return nullptr;
      *stride = static_cast<ptrdiff_t>(s.stride) * 4;
      return reinterpret_cast<uint8_t*>(s.bits);
    }
  } context{&target};
  jpeg::BgraSink sink;
  sink.context = &context;
  sink.begin = Target::Begin;
  jpeg::Diagnostics diagnostics;
  const int code =
      jpeg::DecodeBgra(data_.data(), data_.size(), Denominator(scale_), sink, &diagnostics);
  if (code == jpeg::kNoDirectPath) return false;
  if (code != 0) Fail(code, diagnostics);
  facts_.decode_warning = diagnostics.warning;
  return true;
}

void JpegGraphic::Draw(const ArgbView& target, const Rect& rect) {
  if (assigned_) {
    assigned_->Draw(target, rect);
    return;
  }
  if (data_.empty()) return;
  if (!decoded_) Decode();
  decoded_->Draw(target, rect);
}

void JpegGraphic::Assign(const DibImage& bitmap) {
  auto copy = std::make_unique<DibImage>();
  copy->Assign(bitmap);
  assigned_ = std::move(copy);
  data_.clear();
  stored_width_ = stored_height_ = 0;
  grayscale_ = progressive_ = false;
  decoded_.reset();
}

void JpegGraphic::SaveToStream(ByteStream& stream) {
  if (!assigned_) {
    stream.WriteBuffer(data_.data(), data_.size());
    return;
  }
  EncodeJpeg(*assigned_, JpegOptions{.quality = quality_}, stream);
}

}  // namespace tessane

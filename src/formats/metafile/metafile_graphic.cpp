#include "formats/metafile/metafile_graphic.h"

#include <QImage>
#include <algorithm>
#include <cstring>
#include <limits>

#include "base/byte_view.h"
#include "base/errors.h"
#include "formats/metafile/emf_player.h"
#include "formats/metafile/wmf_player.h"

namespace tessane {

namespace {

__extension__ typedef __int128 Int128;

constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kEmfHeadBytes = 100;
constexpr size_t kEmfMinHeaderRecord = 88;
constexpr size_t kPlaceableBytes = 22;
constexpr size_t kWmfHeaderBytes = 18;
// The reference screen that Windows metafiles are converted on.
constexpr int64_t kScreenPixelsX = 1920, kScreenPixelsY = 1080;
constexpr int64_t kScreenMmX = 508, kScreenMmY = 286;
constexpr int64_t kScreenDpi = 96;

[[noreturn]] void Invalid() {
  throw InvalidImageError("Metafile is not valid");
}

// num / den rounded to nearest, halves away from zero; den > 0.
Int128 RoundDiv(Int128 num, Int128 den) {
  return num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
}

// A picture size that fits the picture model: neither negative nor beyond 32 bits.
int32_t CheckedSize(Int128 value) {
  if (value < 0 || value > std::numeric_limits<int32_t>::max()) Invalid();
  return static_cast<int32_t>(value);
}

// Pixel size of a length in 0.01 mm on a device of `pixels` per `millimetres`.
int32_t DevicePixels(Int128 hundredthsMm, int64_t pixels, int64_t millimetres) {
  return CheckedSize(RoundDiv(hundredthsMm * pixels, Int128{millimetres} * 100));
}

}  // namespace

void MetafileGraphic::LoadFromStream(ByteStream& stream) {
  std::vector<uint8_t> head(kEmfHeadBytes);
  head.resize(stream.Read(head.data(), head.size()));
  const ByteView view(head.data(), head.size());
  if (head.size() == kEmfHeadBytes && stream.Remaining() > 0 && view.U32(0) == 1 &&
      view.U32(40) == kEmfSignature) {
    LoadEnhanced(stream, head);
    return;
  }
  if (view.Has(0, kPlaceableBytes) && view.U32(0) == kPlaceableKey) {
    LoadPlaceable(stream, head);
    return;
  }
  Invalid();
}

void MetafileGraphic::LoadEnhanced(ByteStream& stream, const std::vector<uint8_t>& head) {
  const ByteView h(head.data(), head.size());
  const uint32_t headerRecord = h.U32(4);
  const uint32_t total = h.U32(48);
  // The whole metafile must be there and hold its own header record.
  if (total < kEmfHeadBytes || headerRecord < kEmfMinHeaderRecord || headerRecord > total ||
      static_cast<uint64_t>(stream.Remaining()) < total - kEmfHeadBytes)
    Invalid();
  const int64_t devicePx = h.I32(72), devicePy = h.I32(76);
  const int64_t deviceMmX = h.I32(80), deviceMmY = h.I32(84);
  if (devicePx <= 0 || devicePy <= 0 || deviceMmX <= 0 || deviceMmY <= 0) Invalid();
  const Int128 frameWidth = Int128{h.I32(32)} - h.I32(24);
  const Int128 frameHeight = Int128{h.I32(36)} - h.I32(28);
  const int32_t width = DevicePixels(frameWidth, devicePx, deviceMmX);
  const int32_t height = DevicePixels(frameHeight, devicePy, deviceMmY);
  const int32_t mmWidth = CheckedSize(frameWidth), mmHeight = CheckedSize(frameHeight);

  std::vector<uint8_t> data(total);
  std::memcpy(data.data(), head.data(), kEmfHeadBytes);
  stream.ReadBuffer(data.data() + kEmfHeadBytes, total - kEmfHeadBytes);

  enhanced_ = true;
  data_ = std::move(data);
  placeable_ = {};
  left_ = top_ = right_ = bottom_ = 0;
  width_ = width;
  height_ = height;
  mm_width_ = mmWidth;
  mm_height_ = mmHeight;
}

void MetafileGraphic::LoadPlaceable(ByteStream& stream, const std::vector<uint8_t>& head) {
  const ByteView h(head.data(), head.size());
  uint16_t checksum = 0;
  for (size_t i = 0; i < 10; ++i) checksum ^= h.U16(i * 2);
  if (checksum != h.U16(20)) Invalid();

  std::vector<uint8_t> records(head.begin() + kPlaceableBytes, head.end());
  const std::vector<uint8_t> rest = stream.ReadAll();
  records.insert(records.end(), rest.begin(), rest.end());
  // The Windows metafile header: memory or disk type, nine words long, version 1 or 3.
  const ByteView r(records.data(), records.size());
  if (!r.Has(0, kWmfHeaderBytes)) Invalid();
  const uint16_t type = r.U16(0), headerWords = r.U16(2), version = r.U16(4);
  if ((type != 1 && type != 2) || headerWords != kWmfHeaderBytes / 2 ||
      (version != 0x100 && version != 0x300))
    Invalid();

  const int16_t left = h.I16(6), top = h.I16(8), right = h.I16(10), bottom = h.I16(12);
  const uint16_t unitsPerInch = h.U16(14);
  const int64_t inch = unitsPerInch == 0 ? kScreenDpi : unitsPerInch;
  const Int128 mmWidth = RoundDiv(Int128{right - left} * 2540, inch);
  const Int128 mmHeight = RoundDiv(Int128{bottom - top} * 2540, inch);
  int32_t width, height;
  if (unitsPerInch != 0) {
    width = CheckedSize(RoundDiv(mmWidth * kScreenDpi, 2540));
    height = CheckedSize(RoundDiv(mmHeight * kScreenDpi, 2540));
  } else {
    // Without units per inch the size is that of the file converted to an enhanced metafile on
    // the reference screen: a frame of exactly the size in 0.01 mm, measured in screen pixels.
    width = DevicePixels(mmWidth, kScreenPixelsX, kScreenMmX);
    height = DevicePixels(mmHeight, kScreenPixelsY, kScreenMmY);
  }

  enhanced_ = false;
  data_ = std::move(records);
  std::copy_n(head.begin(), kPlaceableBytes, placeable_.begin());
  left_ = left;
  top_ = top;
  right_ = right;
  bottom_ = bottom;
  width_ = width;
  height_ = height;
  mm_width_ = CheckedSize(mmWidth);
  mm_height_ = CheckedSize(mmHeight);
}

void MetafileGraphic::SaveToStream(ByteStream& stream) {
  if (data_.empty()) return;
  if (!enhanced_) stream.WriteBuffer(placeable_.data(), placeable_.size());
  stream.WriteBuffer(data_.data(), data_.size());
}

void MetafileGraphic::Draw(const ArgbView& target, const Rect& rect) {
  if (target.IsEmpty() || rect.IsEmpty() || data_.empty() || width_ <= 0 || height_ <= 0) return;
  // Rectangles beyond this cannot be pixel coordinates and would overflow the arithmetic.
  constexpr int64_t kLimit = int64_t{1} << 30;
  for (int64_t v :
       {int64_t{rect.left}, int64_t{rect.top}, int64_t{rect.right}, int64_t{rect.bottom}})
    if (v < -kLimit || v > kLimit) return;
  // The surface has the memory layout of a non-premultiplied ARGB32 image.
  QImage image(reinterpret_cast<uchar*>(target.bits), target.width, target.height,
               static_cast<qsizetype>(target.stride) * 4, QImage::Format_ARGB32);
  const QRect area(rect.left, rect.top, rect.Width(), rect.Height());
  const ByteView bytes(data_.data(), data_.size());
  if (enhanced_) {
    PlayEnhancedMetafile(bytes, image, area, QSize(width_, height_));
  } else {
    PlayWindowsMetafile(bytes, image, area,
                        QRectF(left_, top_, double(right_) - left_, double(bottom_) - top_));
  }
}

}  // namespace tessane

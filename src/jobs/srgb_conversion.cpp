#include "jobs/srgb_conversion.h"

#include <lcms2.h>

#include <cstring>

#include "base/errors.h"
#include "formats/graphic.h"
#include "pixels/argb_image.h"

namespace tessane {

namespace {

struct ProfileCloser {
  void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct TransformDeleter {
  void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;
using Transform = std::unique_ptr<void, TransformDeleter>;

// Grey held in the first byte of a 32-bit pixel: the decoders give grey as equal blue, green
// and red.
constexpr cmsUInt32Number kGreyInBgra =
    COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(3);
// Perceptual: what photo software applies by default, and the only intent every CMYK printer
// profile is made for. Matrix profiles fall back to relative colorimetric.
constexpr cmsUInt32Number kIntent = INTENT_PERCEPTUAL;

enum class Kind { kRgb, kGrey, kCmykJpeg };

std::string NotApplied(const std::string& why) {
  return "Colour profile not applied: " + why;
}

// Collects a CMYK JPEG's rows as sRGB; runs inside libjpeg, so nothing here throws.
struct CmykTarget {
  void* transform = nullptr;
  int width = 0;
  int height = 0;
  std::vector<uint32_t>* pixels = nullptr;
};

}  // namespace

struct SrgbConversion::Impl {
  Kind kind = Kind::kRgb;
  Profile source;
  Transform to_srgb;
  const Graphic* inks = nullptr;  // kCmykJpeg: the picture, decoded again for its inks
};

SrgbConversion::SrgbConversion(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SrgbConversion::~SrgbConversion() = default;

std::unique_ptr<SrgbConversion> SrgbConversion::ForProfile(const std::vector<uint8_t>& icc,
                                                           std::vector<std::string>& warnings) {
  auto impl = std::make_unique<Impl>();
  impl->source.reset(cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size())));
  if (!impl->source) {
    warnings.push_back(NotApplied("the embedded ICC profile cannot be read"));
    return nullptr;
  }
  cmsUInt32Number input = 0;
  switch (cmsGetColorSpace(impl->source.get())) {
    case cmsSigRgbData:
      impl->kind = Kind::kRgb;
      input = TYPE_BGRA_8;
      break;
    case cmsSigGrayData:
      impl->kind = Kind::kGrey;
      input = kGreyInBgra;
      break;
    case cmsSigCmykData:
      impl->kind = Kind::kCmykJpeg;
      input = TYPE_CMYK_8;
      break;
    default:
      warnings.push_back(NotApplied("the profile is for neither RGB, grey nor CMYK pictures"));
      return nullptr;
  }
  const Profile srgb(cmsCreate_sRGBProfile());
  impl->to_srgb.reset(
      cmsCreateTransform(impl->source.get(), input, srgb.get(), TYPE_BGRA_8, kIntent, 0));
  if (!impl->to_srgb) {
    warnings.push_back(NotApplied("no conversion to sRGB can be made from the embedded profile"));
    return nullptr;
  }
  return std::unique_ptr<SrgbConversion>(new SrgbConversion(std::move(impl)));
}

std::unique_ptr<SrgbConversion> SrgbConversion::ForSource(const Graphic& graphic,
                                                          std::vector<std::string>& warnings) {
  const PictureFacts& facts = graphic.Facts();
  if (facts.icc.empty()) return nullptr;
  const bool cmyk_jpeg = facts.colour_model != ColourModel::kRgb;
  std::unique_ptr<SrgbConversion> conversion = ForProfile(facts.icc, warnings);
  if (!conversion) return nullptr;
  if (cmyk_jpeg != (conversion->impl_->kind == Kind::kCmykJpeg)) {
    warnings.push_back(NotApplied(cmyk_jpeg ? "a CMYK picture with a profile for other colours"
                                            : "a CMYK profile on a picture that is not CMYK"));
    return nullptr;
  }
  if (cmyk_jpeg) conversion->impl_->inks = &graphic;
  return conversion;
}

uint32_t SrgbConversion::SourceColourFor(uint32_t rgb) const {
  if (impl_->kind == Kind::kCmykJpeg) return rgb;  // JPEG pictures are opaque
  const Profile srgb(cmsCreate_sRGBProfile());
  const bool grey = impl_->kind == Kind::kGrey;
  const Transform back(cmsCreateTransform(srgb.get(), TYPE_RGB_8, impl_->source.get(),
                                          grey ? TYPE_GRAY_8 : TYPE_RGB_8, kIntent, 0));
  if (!back) return rgb;
  const uint8_t in[3] = {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                         static_cast<uint8_t>(rgb)};
  uint8_t out[3] = {};
  cmsDoTransform(back.get(), in, out, 1);
  if (grey) out[1] = out[2] = out[0];
  return uint32_t{out[0]} << 16 | uint32_t{out[1]} << 8 | out[2];
}

bool SrgbConversion::Apply(ArgbImage& bitmap, std::vector<std::string>& warnings) const {
  if (bitmap.IsEmpty()) return false;
  const int32_t width = bitmap.Width();
  const int32_t height = bitmap.Height();
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);

  if (impl_->kind == Kind::kCmykJpeg) {
    // Decoded into a buffer of its own: a failure leaves the bitmap as it was.
    std::vector<uint32_t> pixels(count);
    CmykTarget target{impl_->to_srgb.get(), width, height, &pixels};
    InkRows sink;
    sink.context = &target;
    sink.begin = [](void* context, int w, int h) noexcept {
      const auto* t = static_cast<CmykTarget*>(context);
      return w == t->width && h == t->height;
    };
    sink.row = [](void* context, int y, const uint8_t* cmyk) noexcept {
      auto* t = static_cast<CmykTarget*>(context);
      uint32_t* row = t->pixels->data() + static_cast<size_t>(y) * t->width;
      cmsDoTransform(t->transform, cmyk, row, static_cast<cmsUInt32Number>(t->width));
    };
    const int code = impl_->inks->DecodeInks(sink);
    if (code != 0) {
      warnings.push_back(NotApplied(Format("JPEG error #%d", code)));
      return false;
    }
    Argb32* bits = bitmap.Bits();
    for (size_t i = 0; i < count; ++i) bits[i] = pixels[i] | 0xFF000000u;
    return true;
  }

  if (impl_->kind == Kind::kGrey) {
    const Argb32* bits = bitmap.Bits();
    for (size_t i = 0; i < count; ++i) {
      const uint32_t c = bits[i];
      if (((c >> 16) & 0xFF) != (c & 0xFF) || ((c >> 8) & 0xFF) != (c & 0xFF)) {
        warnings.push_back(NotApplied("a grey profile on a picture in colour"));
        return false;
      }
    }
  }
  std::vector<uint32_t> converted(static_cast<size_t>(width));
  for (int32_t y = 0; y < height; ++y) {
    Argb32* row = bitmap.Row(y);
    cmsDoTransform(impl_->to_srgb.get(), row, converted.data(),
                   static_cast<cmsUInt32Number>(width));
    for (int32_t x = 0; x < width; ++x)
      row[x] = (converted[x] & 0x00FFFFFFu) | (row[x] & 0xFF000000u);
  }
  return true;
}

}  // namespace tessane

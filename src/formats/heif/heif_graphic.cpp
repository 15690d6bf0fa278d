#include "formats/heif/heif_graphic.h"

#include <libheif/heif.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "base/limits.h"
#include "formats/heif/heif_canvas.h"

namespace tessane {


namespace {

struct ContextFree {
  void operator()(heif_context* p) const { heif_context_free(p); }
};
struct HandleFree {
  void operator()(heif_image_handle* p) const { heif_image_handle_release(p); }
};
struct ImageFree {
  void operator()(heif_image* p) const { heif_image_release(p); }
};
struct OptionsFree {
  void operator()(heif_decoding_options* p) const { heif_decoding_options_free(p); }
};

// libheif's words, without the line break some of its messages end with.
std::string Reason(const heif_error& error) {
  std::string reason = error.message != nullptr ? error.message : "";
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
  return reason;
}

// The metadata blocks of one type (and content type, when given), each read whole; blocks that
// cannot be read are left out.
std::vector<std::vector<uint8_t>> MetadataBlocks(const heif_image_handle* handle, const char* type,
                                                 const char* content_type) {
  std::vector<std::vector<uint8_t>> blocks;
  const int count = heif_image_handle_get_number_of_metadata_blocks(handle, type);
  if (count <= 0) return blocks;
  std::vector<heif_item_id> ids(static_cast<size_t>(count));
  const int listed =
      heif_image_handle_get_list_of_metadata_block_IDs(handle, type, ids.data(), count);
  for (int i = 0; i < listed; ++i) {
    if (content_type != nullptr) {
      const char* content = heif_image_handle_get_metadata_content_type(handle, ids[i]);
      if (content == nullptr || std::strcmp(content, content_type) != 0) continue;
    }
    std::vector<uint8_t> block(heif_image_handle_get_metadata_size(handle, ids[i]));
    if (block.empty() ||
        heif_image_handle_get_metadata(handle, ids[i], block.data()).code != heif_error_Ok)
      continue;
    blocks.push_back(std::move(block));
  }
  return blocks;
}

// An Exif item starts with the offset of the TIFF header after its own four bytes.
std::vector<uint8_t> TiffOfExifItem(const std::vector<uint8_t>& item) {
  if (item.size() < 4) return {};
  const size_t offset =
      size_t{item[0]} << 24 | size_t{item[1]} << 16 | size_t{item[2]} << 8 | item[3];
  if (offset >= item.size() - 4) return {};
  return std::vector<uint8_t>(item.begin() + 4 + static_cast<ptrdiff_t>(offset), item.end());
}

}  // namespace

void HeifGraphic::Decode(ByteStream& stream) {
  // Registers the built-in decoders once for the process; the matching heif_deinit would only
  // matter for a library that unloads plug-ins.
  static std::once_flag init_once;
  std::call_once(init_once, [] { heif_init(nullptr); });

  const char* label = Label();
  const std::vector<uint8_t> bytes = stream.ReadAll();
  std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
  if (!context) Fail(label, "out of memory");
  // libheif refuses larger sides while it parses, before any decoder sees the data.
  heif_context_set_maximum_image_size_limit(context.get(), static_cast<int>(kMaxPictureSide));
  heif_error error =
      heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr);
  if (error.code != heif_error_Ok) Fail(label, Reason(error));

  heif_image_handle* raw_handle = nullptr;
  error = heif_context_get_primary_image_handle(context.get(), &raw_handle);
  std::unique_ptr<heif_image_handle, HandleFree> handle(raw_handle);
  if (error.code != heif_error_Ok || !handle) Fail(label, Reason(error));

  // The sides after the file's own rotation: checked before anything is decoded.
  const int64_t width = heif_image_handle_get_width(handle.get());
  const int64_t height = heif_image_handle_get_height(handle.get());
  if (width <= 0 || height <= 0 || !PictureSizeAllowed(width, height)) {
    AllocatePixels(width, height, label);  // throws with the sides in the message
  }
  // libheif sizes a grid or overlay by its own data, not by the size checked above.
  if (std::string problem = CheckDerivedCanvases(bytes.data(), bytes.size()); !problem.empty())
    Fail(label, problem);

  std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
  if (!options) Fail(label, "out of memory");
  options->convert_hdr_to_8bit = 1;
  // AV1 pictures go to libaom: libheif's dav1d glue loses a buffer on every damaged picture.
  // The id only picks among the AV1 decoders; should a libheif refuse it for other codecs, the
  // default decoder takes over.
  options->decoder_id = "aom";
  // Opaque pictures come as RGB: a quarter less for libheif to write than RGBA.
  const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
  const heif_chroma chroma = alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
  const int64_t bytes_per_pixel = alpha ? 4 : 3;
  heif_image* raw_image = nullptr;
  error = heif_decode_image(handle.get(), &raw_image, heif_colorspace_RGB, chroma, options.get());
  if (error.code == heif_error_Unsupported_feature &&
      error.subcode == heif_suberror_Unsupported_codec) {
    options->decoder_id = nullptr;
    error = heif_decode_image(handle.get(), &raw_image, heif_colorspace_RGB, chroma, options.get());
  }
  std::unique_ptr<heif_image, ImageFree> image(raw_image);
  if (error.code != heif_error_Ok || !image) Fail(label, Reason(error));

  int stride = 0;
  const uint8_t* plane =
      heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  if (plane == nullptr || heif_image_get_width(image.get(), heif_channel_interleaved) != width ||
      heif_image_get_height(image.get(), heif_channel_interleaved) != height ||
      heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8 ||
      stride < bytes_per_pixel * width)
    Fail(label, "unexpected decoded layout");

  std::vector<uint8_t> profile;
  if (const size_t size = heif_image_handle_get_raw_color_profile_size(handle.get()); size > 0) {
    profile.resize(size);
    if (heif_image_handle_get_raw_color_profile(handle.get(), profile.data()).code != heif_error_Ok)
      profile.clear();
  }

  uint32_t* out = AllocatePixels(width, height, label);
  for (int64_t y = 0; y < height; ++y) {
    const uint8_t* in = plane + static_cast<size_t>(y) * static_cast<size_t>(stride);
    if (alpha) {
      for (int64_t x = 0; x < width; ++x, in += 4)
        *out++ = uint32_t{in[3]} << 24 | uint32_t{in[0]} << 16 | uint32_t{in[1]} << 8 | in[2];
    } else {
      for (int64_t x = 0; x < width; ++x, in += 3)
        *out++ = 0xFF000000u | uint32_t{in[0]} << 16 | uint32_t{in[1]} << 8 | in[2];
    }
  }
  SetIccFacts(facts_, std::move(profile));
  for (const auto& item : MetadataBlocks(handle.get(), "Exif", nullptr)) {
    if (const std::vector<uint8_t> tiff = TiffOfExifItem(item); !tiff.empty()) {
      SetExifFacts(facts_, tiff);
      break;
    }
  }
  for (const auto& packet : MetadataBlocks(handle.get(), "mime", "application/rdf+xml")) {
    SetXmpFacts(facts_, packet);
    break;
  }
  // libheif applies the file's rotation and mirror boxes; an EXIF orientation only describes
  // the stored pixels.
  facts_.orientation_applied = true;
}

}  // namespace tessane

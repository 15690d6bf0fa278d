#pragma once
// The size of the primary image a HEIF or AVIF input declares, for the capped fuzz targets: a
// few bytes of HEVC or AV1 data may declare a picture that is legitimate but slow to decode.

#include <libheif/heif.h>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tessane::fuzz {

inline int64_t HeifDeclaredPixels(const uint8_t* data, size_t size) {
  std::unique_ptr<heif_context, void (*)(heif_context*)> context(heif_context_alloc(),
                                                                 heif_context_free);
  if (!context ||
      heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr).code !=
          heif_error_Ok)
    return -1;
  heif_image_handle* handle = nullptr;
  if (heif_context_get_primary_image_handle(context.get(), &handle).code != heif_error_Ok)
    return -1;
  const int64_t pixels =
      int64_t{heif_image_handle_get_width(handle)} * heif_image_handle_get_height(handle);
  heif_image_handle_release(handle);
  return pixels;
}

}  // namespace tessane::fuzz

#include "app/preview.h"

#include <cstring>

#include "formats/picture.h"
#include "pixels/argb_image.h"

namespace tessane {

QImage RenderPreview(const std::string& path) {
  Picture picture;
  picture.LoadPicture(path);
  ArgbImage bitmap;
  PictureToArgb(picture, bitmap);
  if (bitmap.IsEmpty()) return {};
  const bool opaque = picture.graphic()->AsBitmap() != nullptr;
  QImage image(bitmap.Width(), bitmap.Height(),
               opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
  if (image.isNull()) return {};
  for (int32_t y = 0; y < bitmap.Height(); ++y)
    std::memcpy(image.scanLine(y), bitmap.Row(y), static_cast<size_t>(bitmap.Width()) * 4);
  return image;
}

}  // namespace tessane

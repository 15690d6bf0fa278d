#include "formats/picture.h"

#include "base/errors.h"
#include "base/paths.h"
#include "formats/format_registry.h"
#include "pixels/argb_image.h"

namespace tessane {

Picture::Picture() { RegisterStandardFormats(); }

Picture::~Picture() = default;

void Picture::LoadPicture(const std::string& fileName, bool decodeLater) {
  std::string ext = ExtractFileExt(fileName);
  if (!ext.empty()) ext.erase(0, 1);
  const FileFormat* format = FindFormat(ext);
  if (format == nullptr)
    throw InvalidImageError(Format("Unknown picture file extension (.%s)", ext.c_str()));
  std::unique_ptr<Graphic> graphic = format->create();
  graphic->SetDecodeLater(decodeLater);
  graphic->LoadFromFile(fileName);
  graphic_ = std::move(graphic);
}

void Picture::LoadFromStream(std::unique_ptr<Graphic> graphic, ByteStream& stream) {
  graphic->LoadFromStream(stream);
  graphic_ = std::move(graphic);
}

DibImage& Picture::EnsureBitmap() {
  if (auto* bitmap = dynamic_cast<DibImage*>(graphic_.get())) return *bitmap;
  auto bitmap = std::make_unique<DibImage>();
  DibImage& result = *bitmap;
  graphic_ = std::move(bitmap);
  return result;
}

void PictureToArgb(const Picture& picture, ArgbImage& image) {
  if (Graphic* graphic = picture.graphic())
    graphic->ConvertTo(image);
  else
    image.Resize(0, 0);
}

void ArgbToPicture(const ArgbImage& image, Picture& picture) {
  picture.EnsureBitmap().Assign(image);
}

void ArgbToGraphic(const ArgbImage& image, Graphic& graphic) {
  if (auto* bitmap = dynamic_cast<DibImage*>(&graphic)) {
    bitmap->Assign(image);
    return;
  }
  throw ConversionError(Format("Cannot assign a %s to a %s", "TBitmap32", "TGraphic"));
}

}  // namespace tessane

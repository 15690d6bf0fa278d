#include "formats/picture.h"

#include "base/errors.h"
#include "base/paths.h"
#include "formats/registry.h"

namespace tessane {

TPicture::TPicture() { RegisterStandardFormats(); }

TPicture::~TPicture() = default;

void TPicture::LoadPicture(const std::string& fileName) {
  std::string ext = ExtractFileExt(fileName);
  if (!ext.empty()) ext.erase(0, 1);
  const TGraphicClass* cls = FindFormatClass(ext);
  if (cls == nullptr || cls->Create == nullptr)
    throw EInvalidGraphic(Format("Unknown picture file extension (.%s)", ext.c_str()));
  std::unique_ptr<TGraphic> graphic = cls->Create();
  graphic->LoadFromFile(fileName);
  graphic_ = std::move(graphic);
}

void TPicture::LoadFromStream(const TGraphicClass& cls, TStream& stream) {
  std::unique_ptr<TGraphic> graphic = cls.Create();
  graphic->LoadFromStream(stream);
  graphic_ = std::move(graphic);
}

TBitmap& TPicture::PictureBitmap() {
  if (graphic_ && graphic_->InheritsFrom(TBitmap::Class)) return static_cast<TBitmap&>(*graphic_);
  auto bitmap = std::make_unique<TBitmap>();
  TBitmap& result = *bitmap;
  graphic_ = std::move(bitmap);
  return result;
}

}  // namespace tessane

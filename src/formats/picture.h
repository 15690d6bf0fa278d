#pragma once
// Picture: holds at most one graphic, loads a file by its extension through the registry.

#include <memory>
#include <string>

#include "formats/bmp/dib_image.h"
#include "formats/graphic.h"

namespace tessane {

class Picture {
 public:
  /// An empty picture; makes sure the format registry is filled.
  Picture();
  ~Picture();
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  /// Replaces the held graphic by one of the class registered for the file's extension, loaded
  /// from the file. Unknown extension: InvalidImageError "Unknown picture file extension (.%s)".
  /// On any failure the held graphic stays as it was. With decodeLater the graphic may leave its
  /// pixels undecoded (Graphic::SetDecodeLater) until Graphic::DecodeNow or OpenRows.
  void LoadPicture(const std::string& fileName, bool decodeLater = false);
  /// Loads `graphic` from the stream and holds it (the fuzzers and tests use it). On failure the
  /// held graphic stays as it was.
  void LoadFromStream(std::unique_ptr<Graphic> graphic, ByteStream& stream);

  Graphic* graphic() const { return graphic_.get(); }
  /// Takes ownership of `graphic` (nullptr empties the picture).
  void SetGraphic(std::unique_ptr<Graphic> graphic) { graphic_ = std::move(graphic); }
  std::unique_ptr<Graphic> ReleaseGraphic() { return std::move(graphic_); }

  int32_t Width() const { return graphic_ ? graphic_->Width() : 0; }
  int32_t Height() const { return graphic_ ? graphic_->Height() : 0; }

  /// The held graphic when it is a bitmap kind; otherwise the graphic is discarded and replaced
  /// by a new, empty DibImage, which is returned.
  DibImage& EnsureBitmap();

 private:
  std::unique_ptr<Graphic> graphic_;
};

/// Converts the picture's graphic into `image` (Graphic::ConvertTo); an empty picture empties
/// the image.
void PictureToArgb(const Picture& picture, ArgbImage& image);
/// The picture's bitmap (EnsureBitmap) becomes a 32-bit DibImage of the image's size with the
/// same pixel words, alpha included.
void ArgbToPicture(const ArgbImage& image, Picture& picture);
/// A bitmap kind as ArgbToPicture; any other graphic throws ConversionError
/// "Cannot assign a TBitmap32 to a <class>".
void ArgbToGraphic(const ArgbImage& image, Graphic& graphic);

}  // namespace tessane

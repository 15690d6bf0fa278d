#pragma once
// TPicture: holds at most one graphic, loads a file by its extension through the registry.

#include <memory>
#include <string>

#include "formats/bitmap.h"
#include "formats/graphic.h"

namespace tessane {

class TPicture {
 public:
  /// An empty picture; makes sure the format registry is filled.
  TPicture();
  ~TPicture();
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;

  /// Replaces the held graphic by one of the class registered for the file's extension, loaded
  /// from the file. Unknown extension: EInvalidGraphic "Unknown picture file extension (.%s)".
  /// On any failure the held graphic stays as it was.
  void LoadPicture(const std::string& fileName);
  /// Loads with an explicit class (the fuzzers and tests use it).
  void LoadFromStream(const TGraphicClass& cls, TStream& stream);

  TGraphic* Graphic() const { return graphic_.get(); }
  /// Takes ownership of `graphic` (nullptr empties the picture).
  void SetGraphic(std::unique_ptr<TGraphic> graphic) { graphic_ = std::move(graphic); }
  std::unique_ptr<TGraphic> ReleaseGraphic() { return std::move(graphic_); }

  int32_t Width() const { return graphic_ ? graphic_->Width() : 0; }
  int32_t Height() const { return graphic_ ? graphic_->Height() : 0; }

  /// The held graphic when it is a bitmap kind; otherwise the graphic is discarded and replaced
  /// by a new, empty TBitmap, which is returned.
  TBitmap& PictureBitmap();

 private:
  std::unique_ptr<TGraphic> graphic_;
};

}  // namespace tessane

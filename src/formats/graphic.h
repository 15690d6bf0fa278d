#pragma once
// The graphic hierarchy: every readable format is a Graphic that loads from a stream, reports
// its size and draws itself into a rectangle of a 32-bit surface.

#include <cstdint>
#include <memory>
#include <string>

#include "base/geometry.h"
#include "base/stream.h"
#include "formats/picture_facts.h"
#include "pixels/argb_view.h"
#include "pixels/row_source.h"

namespace tessane {

class ArgbImage;
class DibImage;

/// Receives a picture's inks (4 bytes a pixel, C M Y K with Adobe's inverted storage undone)
/// row by row; called inside the decoder, so nothing may throw.
struct InkRows {
  void* context = nullptr;
  /// The decoded size; false stops the decoding.
  bool (*begin)(void* context, int width, int height) noexcept = nullptr;
  void (*row)(void* context, int y, const uint8_t* cmyk) noexcept = nullptr;
};

class Graphic {
 public:
  virtual ~Graphic() = default;

  /// Opens the file for reading and loads from the start of it to its end.
  virtual void LoadFromFile(const std::string& path);
  virtual void LoadFromStream(ByteStream& stream) = 0;
  /// Asks the next load to check the file but leave decoding its pixels until they are first
  /// needed (DecodeNow, OpenRows, drawing); formats that always decode at once ignore it.
  virtual void SetDecodeLater(bool later) { (void)later; }
  /// Decodes what loading left for later, throwing the errors a load that decodes would throw.
  virtual void DecodeNow() {}
  /// The picture's rows one at a time, without decoding it whole, where the format can hand
  /// them out so and decoding was left for later; null otherwise. The graphic outlives them.
  virtual std::unique_ptr<RowSource> OpenRows() { return nullptr; }
  /// Writes the graphic in its own format.
  virtual void SaveToStream(ByteStream& stream) = 0;
  /// Creates or truncates the file, then SaveToStream.
  void SaveToFile(const std::string& path);

  /// What loading learnt of the picture beyond its pixels.
  const PictureFacts& Facts() const { return facts_; }
  /// Decodes at 1/denominator of the stored size from now on, for one of Facts().scales; pixels
  /// decoded at another scale are dropped. Others are ignored.
  virtual void SetScaleDenominator(int denominator) { (void)denominator; }
  /// For pictures stored as inks (ColourModel kCmyk, kYcck): decodes them again at the current
  /// scale into `rows`. Returns 0, or the decoder's error code; -1 when there are no inks.
  virtual int DecodeInks(const InkRows& rows) const {
    (void)rows;
    return -1;
  }
  /// The graphic as a bitmap, when it is one (the kinds that hold their pixels as a DIB).
  virtual DibImage* AsBitmap() { return nullptr; }
  const DibImage* AsBitmap() const { return const_cast<Graphic*>(this)->AsBitmap(); }

  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  bool Empty() const { return Width() <= 0 || Height() <= 0; }

  /// Draws the graphic into `rect` of the surface (parts outside the surface are clipped).
  /// What is left unpainted, or blended, depends on the class's transparency rules.
  virtual void Draw(const ArgbView& target, const Rect& rect) = 0;

  /// Converts the graphic into `image` at the graphic's size, the way a picture is converted
  /// for scaling. The default is DrawToArgb; bitmap kinds copy their pixels, icons and metafiles
  /// leave what they do not cover transparent (DrawOverTwoBackgrounds). Errors of the drawing
  /// pass out unchanged.
  virtual void ConvertTo(ArgbImage& image);
  /// As ConvertTo, keeping the alpha of a picture that has transparency, for outputs that hold
  /// it. False, with the image untouched, where the graphic has no such conversion.
  virtual bool ConvertKeepingAlpha(ArgbImage& image) {
    (void)image;
    return false;
  }
  /// Draws the graphic into `image` sized to it, over transparent black, and makes the result
  /// opaque: transparent parts come out black, partly transparent ones blended over black.
  void DrawToArgb(ArgbImage& image);

 protected:
  Graphic() = default;
  /// Filled by each reader while it loads; loading starts from a fresh record.
  PictureFacts facts_;
  /// Draws the graphic over opaque white and over opaque red: where both give the same colour
  /// the pixel is that colour, opaque; elsewhere it keeps the colour drawn over white, with
  /// alpha 0.
  void DrawOverTwoBackgrounds(ArgbImage& image);
};

}  // namespace tessane

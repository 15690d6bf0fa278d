#pragma once
// The graphic hierarchy: every readable format is a Graphic that loads from a stream, reports
// its size and draws itself into a rectangle of a 32-bit surface.

#include <cstdint>
#include <string>

#include "base/geometry.h"
#include "base/stream.h"
#include "pixels/argb_view.h"

namespace tessane {

class ArgbImage;

class Graphic {
 public:
  virtual ~Graphic() = default;

  /// Opens the file for reading and loads from the start of it to its end.
  virtual void LoadFromFile(const std::string& path);
  virtual void LoadFromStream(ByteStream& stream) = 0;
  /// Writes the graphic in its own format.
  virtual void SaveToStream(ByteStream& stream) = 0;
  /// Creates or truncates the file, then SaveToStream.
  void SaveToFile(const std::string& path);

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
  /// Draws the graphic into `image` sized to it, over transparent black, and makes the result
  /// opaque: transparent parts come out black, partly transparent ones blended over black.
  void DrawToArgb(ArgbImage& image);

 protected:
  Graphic() = default;
  /// Draws the graphic over opaque white and over opaque red: where both give the same colour
  /// the pixel is that colour, opaque; elsewhere it keeps the colour drawn over white, with
  /// alpha 0.
  void DrawOverTwoBackgrounds(ArgbImage& image);
};

}  // namespace tessane

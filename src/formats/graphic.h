#pragma once
// The graphic hierarchy: every readable format is a Graphic that loads from a stream, reports
// its size and draws itself into a rectangle of a 32-bit surface.

#include <cstdint>
#include <string>

#include "base/geometry.h"
#include "base/stream.h"
#include "formats/argb_view.h"

namespace tessane {

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

 protected:
  Graphic() = default;
};

}  // namespace tessane

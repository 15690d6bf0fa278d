#pragma once
// The graphic hierarchy: every readable format is a Graphic that loads from a stream, reports
// its size and draws itself into a rectangle of a 32-bit surface.

#include <cstdint>
#include <memory>
#include <string>

#include "base/geometry.h"
#include "base/stream.h"
#include "pixels/argb_view.h"

namespace tessane {

class ArgbImage;
class Graphic;

/// A class reference: creates graphics without arguments and knows its base class, so the
/// registry can ask "is this class a Graphic / a DibImage".
struct GraphicClass {
  const char* Name;
  const GraphicClass* Parent;                // nullptr for Graphic itself
  std::unique_ptr<Graphic> (*Create)();      // nullptr for abstract classes

  bool InheritsFrom(const GraphicClass& other) const {
    for (const GraphicClass* c = this; c != nullptr; c = c->Parent)
      if (c == &other) return true;
    return false;
  }
};

/// Declares the class reference of a graphic class (in its class body).
#define TESSANE_GRAPHIC_CLASS()                 \
  static const ::tessane::GraphicClass Class;  \
  const ::tessane::GraphicClass& ClassType() const override { return Class; }

/// Defines the class reference of a concrete graphic class (in its .cpp, namespace tessane).
/// `DisplayName` is the name messages such as "%s cannot be saved" show.
#define TESSANE_DEFINE_GRAPHIC_CLASS(Name, Base, DisplayName)                  \
  const ::tessane::GraphicClass Name::Class{                                  \
      DisplayName, &Base::Class,                                                     \
      []() -> std::unique_ptr<::tessane::Graphic> { return std::make_unique<Name>(); }};

class Graphic {
 public:
  static const GraphicClass Class;
  virtual ~Graphic() = default;
  virtual const GraphicClass& ClassType() const { return Class; }
  const char* ClassName() const { return ClassType().Name; }
  bool InheritsFrom(const GraphicClass& c) const { return ClassType().InheritsFrom(c); }

  /// Opens the file for reading and loads from the start of it to its end.
  virtual void LoadFromFile(const std::string& path);
  virtual void LoadFromStream(ByteStream& stream) = 0;
  /// Writes the graphic in its own format. The default refuses (InvalidImageOperationError).
  virtual void SaveToStream(ByteStream& stream);
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

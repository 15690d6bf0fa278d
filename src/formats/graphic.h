#pragma once
// The graphic hierarchy: every readable format is a TGraphic that loads from a stream, reports
// its size and draws itself into a rectangle of a 32-bit surface.

#include <cstdint>
#include <memory>
#include <string>

#include "base/geometry.h"
#include "base/stream.h"
#include "formats/surface.h"

namespace tessane {

class TGraphic;

/// A class reference: creates graphics without arguments and knows its base class, so the
/// registry can ask "is this class a TGraphic / a TBitmap".
struct TGraphicClass {
  const char* Name;
  const TGraphicClass* Parent;                // nullptr for TGraphic itself
  std::unique_ptr<TGraphic> (*Create)();      // nullptr for abstract classes

  bool InheritsFrom(const TGraphicClass& other) const {
    for (const TGraphicClass* c = this; c != nullptr; c = c->Parent)
      if (c == &other) return true;
    return false;
  }
};

/// Declares the class reference of a graphic class (in its class body).
#define TESSANE_GRAPHIC_CLASS()                 \
  static const ::tessane::TGraphicClass Class;  \
  const ::tessane::TGraphicClass& ClassType() const override { return Class; }

/// Defines the class reference of a concrete graphic class (in its .cpp, namespace tessane).
#define TESSANE_DEFINE_GRAPHIC_CLASS(Name, Base)                               \
  const ::tessane::TGraphicClass Name::Class{                                  \
      #Name, &Base::Class,                                                     \
      []() -> std::unique_ptr<::tessane::TGraphic> { return std::make_unique<Name>(); }};

class TGraphic {
 public:
  static const TGraphicClass Class;
  virtual ~TGraphic() = default;
  virtual const TGraphicClass& ClassType() const { return Class; }
  const char* ClassName() const { return ClassType().Name; }
  bool InheritsFrom(const TGraphicClass& c) const { return ClassType().InheritsFrom(c); }

  /// Opens the file for reading and loads from the start of it to its end.
  virtual void LoadFromFile(const std::string& path);
  virtual void LoadFromStream(TStream& stream) = 0;
  /// Writes the graphic in its own format. The default refuses (EInvalidGraphicOperation).
  virtual void SaveToStream(TStream& stream);
  /// Creates or truncates the file, then SaveToStream.
  void SaveToFile(const std::string& path);

  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  bool Empty() const { return Width() <= 0 || Height() <= 0; }

  /// Draws the graphic into `rect` of the surface (parts outside the surface are clipped).
  /// What is left unpainted, or blended, depends on the class's transparency rules.
  virtual void Draw(const TSurface& target, const TRect& rect) = 0;

 protected:
  TGraphic() = default;
};

}  // namespace tessane

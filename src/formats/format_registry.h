#pragma once
// The registry of readable formats: extension -> caption + reader factory, and the filter text
// built from it (the file dialog's type list and the acceptance text for source files).

#include <memory>
#include <string>
#include <vector>

#include "formats/graphic.h"

namespace tessane {

/// Creates an empty graphic of one reader class.
using GraphicFactory = std::unique_ptr<Graphic> (*)();

template <class T>
std::unique_ptr<Graphic> MakeGraphic() {
  return std::make_unique<T>();
}

struct FileFormat {
  std::string ext;  // without the dot, lower case
  std::string caption;
  GraphicFactory create = nullptr;
};

class FormatRegistry {
 public:
  /// Appends an entry; duplicates are kept (an older one still shows in the filter text).
  void Add(const std::string& ext, const std::string& caption, GraphicFactory create);
  /// Newest entry for the extension (any letter case, without the dot), or nullptr.
  const FileFormat* FindExt(const std::string& ext) const;
  /// The filter text and the mask list over every entry, newest first.
  void BuildFilter(std::string& filter, std::string& masks) const;
  const std::vector<FileFormat>& Entries() const { return entries_; }

 private:
  std::vector<FileFormat> entries_;
};

/// The process-wide registry; created with the four base entries on first use.
FormatRegistry& Formats();
void RegisterFormat(const std::string& ext, const std::string& caption, GraphicFactory create);
/// The newest registration for the extension, or nullptr.
const FileFormat* FindFormat(const std::string& ext);
/// The filter text of every registration (built anew on each call).
std::string PictureFilter();

/// Makes the start-up registrations (JPEG, the additional readers, JPEG 2000, GIF, PNG) once;
/// safe to call from any thread, later calls do nothing.
void RegisterStandardFormats();

}  // namespace tessane

#pragma once
// The registry of readable formats: extension -> graphic class + caption, and the filter text
// built from it (the file dialog's type list and the acceptance text for source files).

#include <string>
#include <vector>

#include "formats/graphic.h"

namespace tessane {

struct FileFormat {
  const GraphicClass* ClassRef = nullptr;
  std::string Ext;      // without the dot, lower case
  std::string Caption;
  bool needs_fonts = false;  // drawing may need the font database (a QGuiApplication)
};

class FormatRegistry {
 public:
  /// Appends an entry; duplicates are kept.
  void Add(const std::string& ext, const std::string& caption, const GraphicClass& cls,
           bool needsFonts = false);
  /// Newest entry for the extension (any letter case, without the dot), or nullptr.
  const GraphicClass* FindExt(const std::string& ext) const;
  /// True when the newest entry for the extension needs fonts to be drawn.
  bool NeedsFonts(const std::string& ext) const;
  /// The filter text and the mask list over every entry whose class derives from `base`.
  void BuildFilter(const GraphicClass& base, std::string& filter, std::string& masks) const;
  const std::vector<FileFormat>& Entries() const { return entries_; }

 private:
  const FileFormat* Find(const std::string& ext) const;

  std::vector<FileFormat> entries_;
};

/// The process-wide registry; created with the four base entries on first use.
FormatRegistry& Formats();
void RegisterFormat(const std::string& ext, const std::string& caption, const GraphicClass& cls,
                    bool needsFonts = false);
const GraphicClass* FindFormatClass(const std::string& ext);
/// Whether a file of this extension (without the dot, any letter case) may need fonts to be
/// drawn: a program without a QGuiApplication makes one before it converts such a file.
bool FormatNeedsFonts(const std::string& ext);
/// The filter text of every registered class derived from `base` (built anew on each call).
std::string PictureFilter(const GraphicClass& base = Graphic::Class);

/// Makes the start-up registrations (JPEG, the additional readers, JPEG 2000, GIF, PNG) once;
/// safe to call from any thread, later calls do nothing.
void RegisterStandardFormats();

}  // namespace tessane

#pragma once
// The registry of readable formats: extension -> graphic class + caption, and the filter text
// built from it (the file dialog's type list and the acceptance text for source files). Beside
// it, the table of the formats the resize job writes.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/stream.h"
#include "formats/graphic.h"

namespace tessane {

struct FileFormat {
  const GraphicClass* ClassRef = nullptr;
  std::string Ext;      // without the dot, lower case
  std::string Caption;
};

class FormatRegistry {
 public:
  /// Appends an entry; duplicates are kept.
  void Add(const std::string& ext, const std::string& caption, const GraphicClass& cls);
  /// Newest entry for the extension (any letter case, without the dot), or nullptr.
  const GraphicClass* FindExt(const std::string& ext) const;
  /// The filter text and the mask list over every entry whose class derives from `base`.
  void BuildFilter(const GraphicClass& base, std::string& filter, std::string& masks) const;
  const std::vector<FileFormat>& Entries() const { return entries_; }

 private:
  std::vector<FileFormat> entries_;
};

/// The process-wide registry; created with the four base entries on first use.
FormatRegistry& Formats();
void RegisterFormat(const std::string& ext, const std::string& caption, const GraphicClass& cls);
const GraphicClass* FindFormatClass(const std::string& ext);
/// The filter text of every registered class derived from `base` (built anew on each call).
std::string PictureFilter(const GraphicClass& base = Graphic::Class);

class DibImage;

/// What a source's metadata can be carried in.
enum class MetadataCarrier : uint8_t { kNone, kJpegSegments, kPngChunks };

/// An output format of the resize job.
struct WriterFormat {
  std::string_view ext;      // ".jpg": the output file extension that selects this writer
  std::string_view caption;
  /// Writes the bitmap with the resize job's settings.
  void (*encode)(const DibImage& bitmap, ByteStream& out);
  MetadataCarrier metadata = MetadataCarrier::kNone;
};

/// The output formats the window and tessane-cli offer, in the window's order.
std::span<const WriterFormat> OutputFormats();
/// The writer of an output extension (lower case, with its dot): an offered format's, and for
/// any other extension with "mf" in it the Windows metafile writer; nullptr for the rest,
/// which are not written.
const WriterFormat* FindWriter(std::string_view ext);
/// The offered extensions joined (".jpg.png..."): a source whose extension occurs in it keeps
/// its format.
std::string OutputExtensionsText();

/// Makes the start-up registrations (JPEG, the additional readers, JPEG 2000, GIF, PNG) once;
/// safe to call from any thread, later calls do nothing.
void RegisterStandardFormats();

}  // namespace tessane

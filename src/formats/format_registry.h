#pragma once
// The registry of readable formats: extension -> caption + reader factory, and the filter text
// built from it (the file dialog's type list and the acceptance text for source files). Beside
// it, the table of the formats the resize job writes.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/stream.h"
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
  bool needs_fonts = false;  // drawing may need the font database (a QGuiApplication)
};

class FormatRegistry {
 public:
  /// Appends an entry; duplicates are kept (an older one still shows in the filter text).
  void Add(const std::string& ext, const std::string& caption, GraphicFactory create,
           bool needsFonts = false);
  /// Newest entry for the extension (any letter case, without the dot), or nullptr.
  const FileFormat* FindExt(const std::string& ext) const;
  /// The filter text and the mask list over every entry, newest first.
  void BuildFilter(std::string& filter, std::string& masks) const;
  const std::vector<FileFormat>& Entries() const { return entries_; }

 private:
  const FileFormat* Find(const std::string& ext) const;

  std::vector<FileFormat> entries_;
};

/// The process-wide registry; created with the four base entries on first use.
FormatRegistry& Formats();
void RegisterFormat(const std::string& ext, const std::string& caption, GraphicFactory create,
                    bool needsFonts = false);
/// The newest registration for the extension, or nullptr.
const FileFormat* FindFormat(const std::string& ext);
/// Whether a file of this extension (without the dot, any letter case) may need fonts to be
/// drawn: a program without a QGuiApplication makes one before it converts such a file.
bool FormatNeedsFonts(const std::string& ext);
/// The filter text of every registration (built anew on each call).
std::string PictureFilter();

class DibImage;

/// What a source's metadata can be carried in: spliced into the encoded JPEG or PNG, or handed
/// to the encoder, which places it itself.
enum class MetadataCarrier : uint8_t { kNone, kJpegSegments, kPngChunks, kEncoder };

/// What the resize job asks of a writer beyond the pixels.
struct EncodeSettings {
  std::optional<int> quality;  // 1..100 for JPEG, WebP and AVIF; unset: each format's default
  bool lossless = false;       // WebP only
  // Only for writers whose metadata carrier is kEncoder; empty parts are left out.
  std::vector<uint8_t> exif;  // a TIFF structure
  std::vector<uint8_t> icc;   // a whole ICC profile
  std::vector<uint8_t> xmp;   // the main XMP packet
};

/// An output format of the resize job.
struct WriterFormat {
  std::string_view ext;  // ".jpg": the output file extension that selects this writer
  std::string_view caption;
  void (*encode)(const DibImage& bitmap, const EncodeSettings& settings, ByteStream& out);
  MetadataCarrier metadata = MetadataCarrier::kNone;
  bool keeps_alpha = false;  // the alpha channel is written, not laid over a colour
};

/// The output formats the window offers, in its order.
std::span<const WriterFormat> OutputFormats();
/// The output formats tessane-cli offers: the window's, then WebP and AVIF.
std::span<const WriterFormat> CommandLineOutputFormats();
/// The writer of an output extension (lower case, with its dot): an offered format's, and for
/// any other extension with "mf" in it the Windows metafile writer; nullptr for the rest,
/// which are not written.
const WriterFormat* FindWriter(std::string_view ext);
/// tessane-cli's extensions joined (".jpg.png..."): a source whose extension occurs in it keeps
/// its format.
std::string OutputExtensionsText();

/// Makes the start-up registrations (JPEG, the additional readers, JPEG 2000, GIF, PNG) once;
/// safe to call from any thread, later calls do nothing.
void RegisterStandardFormats();

}  // namespace tessane

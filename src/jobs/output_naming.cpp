#include "jobs/output_naming.h"

#include "base/paths.h"
#include "formats/format_registry.h"

namespace tessane {

namespace {
std::string OutputFolder(const std::string& source, const std::string& destFolder) {
  return destFolder.empty() ? ExtractFilePath(source) : IncludeTrailingSeparator(destFolder);
}
}  // namespace

std::string ResizeOutputPath(const std::string& source, const OutputNaming& naming) {
  const std::string sourceExt = LowerCaseAscii(ExtractFileExt(source));
  std::string name = ExtractFileName(source);

  if (sourceExt == ".jpeg") name = ChangeFileExt(name, ".jpg");
  if (naming.output_index > 0)
    name = ChangeFileExt(name, naming.output_ext);
  else if (!ContainsText(OutputExtensionsText(), sourceExt))
    // Tested on the source's extension, so a ".jpeg" source takes the default format too.
    name = ChangeFileExt(name, naming.default_format);

  if (naming.addition == 0) {
    name = naming.addition_text + name;
  } else if (naming.addition == 1) {
    // Before the first dot, not the extension's: my.photo.jpg becomes my_t.photo.jpg.
    const size_t dot = name.find('.');
    name.insert(dot == std::string::npos ? 0 : dot, naming.addition_text);
  }
  return OutputFolder(source, naming.dest_folder) + name;
}

std::string CopyOutputPath(const std::string& source, const std::string& destFolder) {
  if (destFolder.empty()) return source;
  return IncludeTrailingSeparator(destFolder) + ExtractFileName(source);
}

}  // namespace tessane

#pragma once
// Where a batch puts each output: the destination path of a resize job (new extension, name
// addition, output folder) and of a fast copy.

#include <string>

namespace tessane {

/// The window's naming options as a resize job's destination depends on them.
struct OutputNaming {
  std::string dest_folder;     // empty: the output goes beside its source
  int output_index = 0;        // 0 keeps the source's format, above 0 forces output_ext
  std::string output_ext;      // ".jpg", ".png", ... ("" while output_index is 0)
  std::string default_format;  // extension for sources that no writer handles ("" when none)
  int addition = 2;           // 0 prefix, 1 postfix, 2 none
  std::string addition_text;          // the prefix or postfix text
};

/// Destination of a resize job: ".jpeg" sources become ".jpg"; a forced output format replaces
/// the extension; with the source's format kept, an extension that is not one of the writable
/// ones takes default_format; then the addition and the folder (dest_folder or the source's own).
std::string ResizeOutputPath(const std::string& source, const OutputNaming& naming);

/// Destination of a fast copy: the source's file name in destFolder, or the source path itself
/// when destFolder is empty.
std::string CopyOutputPath(const std::string& source, const std::string& destFolder);

}  // namespace tessane

#pragma once
// Where a batch puts each output: the destination path of a resize job (new extension, name
// addition, output folder) and of a fast copy.

#include <string>

namespace tessane {

/// The window's naming options as a resize job's destination depends on them.
struct OutputNaming {
  std::string DestFolder;     // empty: the output goes beside its source
  int OutputIndex = 0;        // 0 keeps the source's format, above 0 forces OutputExt
  std::string OutputExt;      // ".jpg", ".png", ... ("" while OutputIndex is 0)
  std::string DefaultFormat;  // extension for sources that no writer handles ("" when none)
  int Addition = 2;           // 0 prefix, 1 postfix, 2 none
  std::string Thing;          // the prefix or postfix text
};

/// Destination of a resize job: ".jpeg" sources become ".jpg"; a forced output format replaces
/// the extension; with the source's format kept, an extension that is not one of the writable
/// ones takes DefaultFormat; then the addition and the folder (DestFolder or the source's own).
std::string ResizeOutputPath(const std::string& source, const OutputNaming& naming);

/// Destination of a fast copy: the source's file name in destFolder, or the source path itself
/// when destFolder is empty.
std::string CopyOutputPath(const std::string& source, const std::string& destFolder);

}  // namespace tessane

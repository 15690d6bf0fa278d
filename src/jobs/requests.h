#pragma once
// What the window and tessane-cli hand to a job: one request per file, made from the batch's
// settings by the same functions on both sides.

#include <cstdint>
#include <memory>
#include <string>

#include "jobs/output_naming.h"
#include "jobs/resize_extras.h"
#include "raster/filters.h"

namespace tessane {

class RunFiles;

/// Size modes of a resize job.
enum : uint8_t { kSizeLargest = 0, kSizeWidth = 1, kSizeHeight = 2, kSizePercent = 3 };

/// One file's resize work.
struct ResizeRequest {
  std::string source_name;
  std::string dest_name;  // replaced by the unique name when overwrite is false
  uint8_t size_mode = kSizeLargest;
  int32_t size = 320;  // pixels, or a percentage in kSizePercent
  Filter filter = kDefaultFilter;
  bool crop = false;       // cut landscape pictures to 16:9
  bool overwrite = false;  // replace an existing output instead of numbering the new one
  /// Behaviour beyond the window's; all off by default.
  ResizeExtras extras;
  /// The batch's shared record (files no output replaces, numbers claimed); may be null.
  std::shared_ptr<RunFiles> run_files;
};

/// One file's fast copy.
struct CopyRequest {
  std::string source_name;
  std::string dest_name;    // replaced by the numbered free name when taken and !overwrite
  int32_t buffer_size = 0;  // bytes per read; 0 or less means 8192
  bool overwrite = false;   // replace an existing destination (never a read-only one)
  bool copy_attrs = false;  // give the copy the source's permission bits (see CopiedPermissions)
  bool copy_times = false;  // give the copy the source's modification and access times
  std::shared_ptr<RunFiles> run_files;  // as ResizeRequest's
};

/// A batch's settings, as the window's controls or tessane-cli's flags give them.
struct BatchSettings {
  OutputNaming naming;  // its dest_folder serves copies too
  uint8_t size_mode = kSizeLargest;
  int32_t size = 320;
  Filter filter = kDefaultFilter;
  bool crop = false;
  bool resize_overwrite = false;
  ResizeExtras extras;
  int32_t buffer_size = 0;
  bool copy_overwrite = false;
  bool copy_attrs = false;
  bool copy_times = false;
  /// One for the whole batch, filled with its sources before the first job; may be null.
  std::shared_ptr<RunFiles> run_files;
};

/// The resize request for one source: its destination named by the batch's naming rules.
ResizeRequest MakeResizeRequest(const std::string& source, const BatchSettings& settings);
/// The copy request for one source: the source's name in the destination folder.
CopyRequest MakeCopyRequest(const std::string& source, const BatchSettings& settings);

}  // namespace tessane

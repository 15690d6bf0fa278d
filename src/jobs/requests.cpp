#include "jobs/requests.h"

namespace tessane {

ResizeRequest MakeResizeRequest(const std::string& source, const BatchSettings& settings) {
  return ResizeRequest{.source_name = source,
                       .dest_name = ResizeOutputPath(source, settings.naming),
                       .size_mode = settings.size_mode,
                       .size = settings.size,
                       .filter = settings.filter,
                       .crop = settings.crop,
                       .overwrite = settings.resize_overwrite,
                       .extras = settings.extras,
                       .run_files = settings.run_files};
}

CopyRequest MakeCopyRequest(const std::string& source, const BatchSettings& settings) {
  return CopyRequest{.source_name = source,
                     .dest_name = CopyOutputPath(source, settings.naming.dest_folder),
                     .buffer_size = settings.buffer_size,
                     .overwrite = settings.copy_overwrite,
                     .copy_attrs = settings.copy_attrs,
                     .copy_times = settings.copy_times,
                     .run_files = settings.run_files};
}

}  // namespace tessane

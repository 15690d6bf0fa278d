#pragma once
// The hook through which a graphic hands over the ICC profile its file carries, for readers
// whose files the job cannot look into itself (the job reads JPEG, PNG and TIFF profiles from
// the file). A reader's graphic derives from it and fills the profile while it loads.

#include <cstdint>
#include <vector>

namespace tessane {

class EmbeddedIccProfile {
 public:
  virtual ~EmbeddedIccProfile() = default;
  /// The profile as stored in the file; empty when there is none.
  virtual const std::vector<uint8_t>& IccProfile() const = 0;
};

}  // namespace tessane

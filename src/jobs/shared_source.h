#pragma once
// What the resize works of one source's several sizes share, so that the file is loaded once
// and its pixels decoded once per JPEG scale (once for any other picture).

#include <map>
#include <memory>
#include <string>

#include "formats/picture.h"
#include "jobs/resize_extras.h"
#include "pixels/argb_image.h"

namespace tessane {

struct SharedSource {
  struct Pixels {
    ArgbImage bitmap;    // upright, over the background, ready to be scaled
    std::string damage;  // the decoder's complaint, if any
    bool to_srgb = false;  // converted from the source's profile, which no longer describes it
  };
  std::unique_ptr<Picture> picture;
  SourceFacts facts;
  std::map<int, Pixels> by_scale;  // by JPEG scale denominator; 1 for other pictures
};

}  // namespace tessane

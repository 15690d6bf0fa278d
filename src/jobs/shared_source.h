#pragma once
// What the resize works of one source's several sizes share, so that the file is loaded once
// and its pixels decoded once per JPEG scale (once for any other picture).

#include <cstdint>
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
    int32_t width = 0;     // the picture's sides at this scale, as loaded (before turning)
    int32_t height = 0;
  };
  std::unique_ptr<Picture> picture;
  // Its sides at full scale: a picture that hands its pixels over to the first bitmap made
  // from it is empty for the sizes after the first.
  int32_t width = 0;
  int32_t height = 0;
  SourceFacts facts;
  std::map<int, Pixels> by_scale;  // by JPEG scale denominator; 1 for other pictures
};

}  // namespace tessane

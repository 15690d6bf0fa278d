#include "base/allocator.h"

#include <cstdlib>  // defines __GLIBC__ on glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tessane {

void KeepLargeBlocksForReuse() {
#if defined(__GLIBC__)
  // By default glibc maps a block above a threshold it keeps adjusting afresh from the kernel
  // and unmaps it on free, and gives the top of the heap back beyond twice that threshold: every
  // picture's bitmaps, file bytes and decoder arrays then fault in zeroed pages anew, which
  // costs a batch of photographs a tenth of its time. Blocks up to 32 MiB (glibc's largest
  // threshold: an 8-megapixel bitmap) now come from the heap, and up to 256 MiB of free heap top
  // stays for the next picture (a HEIF photo's decoder planes and image come to more than 64);
  // larger pictures still get mappings of their own. The peak stays that of the largest picture.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

}  // namespace tessane

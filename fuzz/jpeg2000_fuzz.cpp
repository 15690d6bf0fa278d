// Fuzz target: the TJpeg2000Bitmap reader, loaded from memory and painted.
#include "formats/jpeg2000_bitmap.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TJpeg2000Bitmap)

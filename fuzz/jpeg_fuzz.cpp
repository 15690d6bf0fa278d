// Fuzz target: the TJPEGImage reader, loaded from memory and painted.
#include "formats/jpeg_image.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TJPEGImage)

// Fuzz target: the DibImage reader, loaded from memory and painted.
#include "formats/bmp/dib_image.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::DibImage)

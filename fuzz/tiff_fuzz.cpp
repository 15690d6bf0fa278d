// Fuzz target: the TiffGraphic reader, loaded from memory and painted.
#include "formats/tiff/tiff_graphic.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TiffGraphic)

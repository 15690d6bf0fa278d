// Fuzz target: the JpegGraphic reader, loaded from memory and painted.
#include "formats/jpeg/jpeg_graphic.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::JpegGraphic)

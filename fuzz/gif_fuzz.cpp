// Fuzz target: the GifGraphic reader, loaded from memory and painted.
#include "formats/gif/gif_graphic.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::GifGraphic)

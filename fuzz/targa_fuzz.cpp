// Fuzz target: the TgaGraphic reader, loaded from memory and painted.
#include "formats/tga/tga_graphic.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TgaGraphic)

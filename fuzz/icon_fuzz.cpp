// Fuzz target: the IconGraphic reader, loaded from memory and painted.
#include "formats/ico/icon_graphic.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::IconGraphic)

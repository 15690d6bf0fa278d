// Fuzz target: the PcdGraphic reader, loaded from memory and painted.
#include "formats/pcd/pcd_graphic.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::PcdGraphic)

// Fuzz target: the TPCDGraphic reader, loaded from memory and painted.
#include "formats/pcd.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TPCDGraphic)

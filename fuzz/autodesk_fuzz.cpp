// Fuzz target: the AutodeskGraphic reader, loaded from memory and painted.
#include "formats/autodesk/autodesk_graphic.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::AutodeskGraphic)

// Fuzz target: the HaloCutGraphic reader, loaded from memory and painted.
#include "formats/halo_cut/halo_cut_graphic.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::HaloCutGraphic)

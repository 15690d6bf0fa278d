#include "raster/color32.h"

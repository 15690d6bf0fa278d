#include "raster/argb32.h"

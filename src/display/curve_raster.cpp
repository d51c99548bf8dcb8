#include "display/curve_raster.h"

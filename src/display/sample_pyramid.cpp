#include "display/sample_pyramid.h"

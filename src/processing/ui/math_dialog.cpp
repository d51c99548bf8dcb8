#include "processing/ui/math_dialog.h"

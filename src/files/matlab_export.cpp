#include "files/matlab_export.h"

namespace tavril {}  // namespace tavril

#include "config/config_file.h"

namespace tavril {}  // namespace tavril

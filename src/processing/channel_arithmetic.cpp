#include "processing/channel_arithmetic.h"

namespace tavril {}  // namespace tavril

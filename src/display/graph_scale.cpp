#include "display/graph_scale.h"

namespace tavril {}  // namespace tavril

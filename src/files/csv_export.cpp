#include "files/csv_export.h"

namespace tavril {}  // namespace tavril
